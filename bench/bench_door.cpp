// Bytes on the wire and latency of the real game, driven through the virtual caller over a telnet
// socket as a BBS starts it.
//
//   bench_door [--door PATH] [--keys N]
//
// For each screen update caused by one key the door's write calls and written bytes are read
// from /proc/<pid>/io (syscw, wchar) before the key and once the update has arrived and the door
// has gone quiet; the bytes themselves are split into text (with its colour sequences) and the
// cursor placement and clearing sequences, whose shortest forms give the byte floor. Latency runs
// from the key's send to the moment the update shows on the virtual screen; its floor is the
// round trip of the same number of bytes through a socket to a process that only answers.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "bench_common.h"
#include "data/records.h"
#include "market/market.h"
#include "vcaller/caller.h"

namespace {

using bench::now_ms;

constexpr const char* kEnterPrompt = "Press [ENTER] to continue...";
constexpr int kSettleMs = 15;  // quiet time after an update before the door's counters are read
constexpr int kMenuRow = 15;   // first main-menu item row

// ---- the door's own counters ----

struct DoorIo {
    long writes = 0;  // write system calls
    long bytes = 0;   // bytes written
};

DoorIo door_io(pid_t pid) {
    DoorIo io;
    std::ifstream in("/proc/" + std::to_string(pid) + "/io");
    std::string key;
    long value = 0;
    while (in >> key >> value) {
        if (key == "syscw:") io.writes = value;
        if (key == "wchar:") io.bytes = value;
    }
    return io;
}

// ---- what an update is made of ----

int digits(int value) {
    return value >= 100 ? 3 : value >= 10 ? 2 : 1;
}

// The bytes of an update split by kind. Cursor placement (CSI ... H) and clearing (CSI 2 J,
// CSI K) are counted as sent and in their shortest forms: ESC [ H for the top left corner,
// ESC [ r H for column 1, ESC [ r ; c H otherwise, ESC [ 2 J, ESC [ K. Telnet commands and
// doubled IAC bytes are overhead. Everything else is the screens' own text, colours included.
struct Composition {
    size_t total = 0;
    size_t text = 0;
    size_t cursor = 0, cursor_shortest = 0, cursor_moves = 0;
    size_t clear = 0, clear_shortest = 0;
    size_t telnet = 0;
    size_t floor() const { return text + cursor_shortest + clear_shortest; }
};

Composition analyse(std::string_view bytes) {
    Composition c;
    c.total = bytes.size();
    for (size_t i = 0; i < bytes.size();) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte == 0xFF && i + 1 < bytes.size()) {  // telnet: IAC IAC, IAC x, IAC x opt
            const auto command = static_cast<unsigned char>(bytes[i + 1]);
            const size_t length = command == 0xFF ? 2 : (command >= 0xFB ? 3 : 2);
            c.telnet += command == 0xFF ? 1 : length;
            c.text += command == 0xFF ? 1 : 0;
            i += length;
            continue;
        }
        if (byte == 0x1B && i + 1 < bytes.size() && bytes[i + 1] == '[') {
            size_t end = i + 2;
            while (end < bytes.size() &&
                   (std::isdigit(static_cast<unsigned char>(bytes[end])) || bytes[end] == ';')) {
                ++end;
            }
            if (end < bytes.size()) {
                const size_t length = end + 1 - i;
                const std::string params(bytes.substr(i + 2, end - i - 2));
                const char final_byte = bytes[end];
                if (final_byte == 'H') {
                    int row = 1, col = 1;
                    std::sscanf(params.c_str(), "%d;%d", &row, &col);
                    if (row < 1) row = 1;
                    if (col < 1) col = 1;
                    size_t shortest = 3;
                    if (row != 1 || col != 1) shortest += static_cast<size_t>(digits(row));
                    if (col != 1) shortest += 1 + static_cast<size_t>(digits(col));
                    c.cursor += length;
                    c.cursor_shortest += shortest;
                    ++c.cursor_moves;
                } else if (final_byte == 'J' || final_byte == 'K') {
                    c.clear += length;
                    c.clear_shortest += final_byte == 'J' ? 4 : 3;
                } else {
                    c.text += length;  // colours and the markers' cursor steps are the texts'
                }
                i += length;
                continue;
            }
        }
        ++c.text;
        ++i;
    }
    return c;
}

// ---- one update ----

struct Update {
    double ms = 0;     // key sent to update shown
    DoorIo door;       // the door's writes and bytes for it
    std::string sent;  // bytes received, telnet included
};

[[noreturn]] void give_up(VirtualCaller& caller, const std::string& what) {
    std::fprintf(stderr, "bench_door: %s did not show\n%s\n%s", what.c_str(),
                 caller.screen().dump().c_str(), caller.stderr_text().c_str());
    std::exit(1);
}

// Sends keys and waits until text shows at row and column; then lets the door go quiet and
// takes its counters.
Update press(VirtualCaller& caller, std::string_view keys, std::string_view text, int row,
             int col) {
    caller.drain(0);
    const DoorIo before = door_io(caller.pid());
    const size_t from = caller.raw_output().size();
    Update update;
    const double start = now_ms();
    caller.type(keys);
    if (!caller.wait_for(text, row, col)) give_up(caller, std::string(text));
    update.ms = now_ms() - start;
    caller.drain(kSettleMs);
    const DoorIo after = door_io(caller.pid());
    update.door = {after.writes - before.writes, after.bytes - before.bytes};
    update.sent = caller.raw_output().substr(from);
    return update;
}

// Erases a row of the caller's own screen (cursor and colours kept), so that the next update's
// text on that row can be waited for even when it is the same as before.
void blank_row(VirtualCaller& caller, int row) {
    caller.screen().feed(
        "\x1b"
        "7\x1b[" +
        std::to_string(row + 1) +
        ";1H\x1b[2K\x1b"
        "8");
}

std::string marker(int mode) {
    if (mode == 0) return "[+]";
    std::string mark = "[";
    mark += cp437_glyph(0x04);
    mark += "]";
    return mark;
}

// ---- sessions ----

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// A game directory with the shipped text screens and a configuration whose sysop is nobody
// who plays here, so that no message is logged (a remote session pauses after each).
std::string prepare_directory() {
    const std::string dir = make_temp_dir("bench");
    if (dir.empty()) {
        std::perror("bench_door: temporary directory");
        std::exit(1);
    }
    for (const char* name :
         {"quonda.new", "quonda.doc", "quonda.ttn", "quonda.tti", "quonda.ttc"}) {
        write_file(dir + "/" + name, read_file(std::string(BULLMOOR_SOURCE_DIR) + "/dist/" + name));
    }
    write_file(dir + "/quonda.cfg",
               "Bench BBS\r\nquonda.doc\r\nquonda.bul\r\nNOBODY\r\nsecret\r\n");
    return dir;
}

CallerOptions caller_options(const std::string& door, const std::string& dir,
                             const std::string& name) {
    CallerOptions o;
    o.door = door;
    o.work_dir = dir;
    o.user_name = name;
    return o;
}

void expect(VirtualCaller& caller, std::string_view text, int row, int col) {
    if (!caller.wait_for(text, row, col)) give_up(caller, std::string(text));
}

// A new player's way in, up to the prompt before the price-change report.
std::unique_ptr<VirtualCaller> sign_on_new_player(const std::string& door, const std::string& dir,
                                                  const std::string& name, int mode) {
    auto caller = std::make_unique<VirtualCaller>(caller_options(door, dir, name));
    if (!caller->start()) std::exit(1);
    expect(*caller, kEnterPrompt, 23, 2);
    caller->type("\r");
    expect(*caller, "Please select graphics mode (0-2): ", 10, 8);
    caller->type(std::to_string(mode));
    expect(*caller, kEnterPrompt, 23, 2);
    caller->type("\r");
    expect(*caller, "Enter desired function (1-3): ", 10, 2);
    caller->type("3\r");
    expect(*caller, kEnterPrompt, 23, 2);
    return caller;
}

// ---- printing ----

void print_wire(const char* label, const Update& u) {
    const Composition c = analyse(u.sent);
    std::printf("  %-40s %6zu B  floor %6zu B  ratio %5.2fx | %2ld writes  floor 1  ratio %5.2fx\n",
                label, c.total, c.floor(), static_cast<double>(c.total) / c.floor(), u.door.writes,
                static_cast<double>(u.door.writes));
    if (static_cast<size_t>(u.door.bytes) != c.total) {
        std::printf("  %-40s (the door wrote %ld bytes, the caller received %zu)\n", "",
                    u.door.bytes, c.total);
    }
    std::printf(
        "  %-40s text %zu, cursor %zu in %zu moves (shortest %zu), clearing %zu "
        "(shortest %zu), telnet %zu\n",
        "", c.text, c.cursor, c.cursor_moves, c.cursor_shortest, c.clear, c.clear_shortest,
        c.telnet);
}

struct Latency {
    std::vector<double> ms;
    size_t bytes = 0;  // size of the update, for the round-trip floor
    long most_writes = 0;
    void add(const Update& u) {
        ms.push_back(u.ms);
        bytes = std::max(bytes, u.sent.size());
        most_writes = std::max(most_writes, u.door.writes);
    }
};

// ---- floors of the latency ----

// The round trip of one key to a process that answers each byte read with `reply` bytes, over
// a socketpair, with the same wait (poll, then read) the caller uses: medians over `count`.
std::vector<double> socket_round_trips(size_t reply, int count) {
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) std::exit(1);
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        const std::string answer(reply, 'x');
        char key;
        while (read(fds[1], &key, 1) == 1) {
            if (write(fds[1], answer.data(), answer.size()) < 0) break;
        }
        _exit(0);
    }
    close(fds[1]);
    std::vector<double> times;
    std::vector<char> buffer(reply + 8192);
    for (int i = 0; i < count; ++i) {
        const double start = now_ms();
        if (write(fds[0], "2", 1) != 1) break;
        size_t got = 0;
        while (got < reply) {
            pollfd p{fds[0], POLLIN, 0};
            poll(&p, 1, 5000);
            const ssize_t n = read(fds[0], buffer.data(), buffer.size());
            if (n <= 0) break;
            got += static_cast<size_t>(n);
        }
        times.push_back(now_ms() - start);
    }
    close(fds[0]);
    waitpid(child, nullptr, 0);
    return times;
}

// Process start to the first bytes of a program that writes `reply` bytes to the socket it is
// handed as soon as it runs: this program itself, started with --answer.
std::vector<double> process_starts(const char* self, size_t reply, int count) {
    std::vector<double> times;
    for (int i = 0; i < count; ++i) {
        int fds[2];
        if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) std::exit(1);
        const double start = now_ms();
        const pid_t child = fork();
        if (child == 0) {
            close(fds[0]);
            const std::string fd = std::to_string(fds[1]), size = std::to_string(reply);
            execl(self, self, "--answer", fd.c_str(), size.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        std::vector<char> buffer(reply + 8192);
        size_t got = 0;
        while (got < reply) {
            pollfd p{fds[0], POLLIN, 0};
            poll(&p, 1, 5000);
            const ssize_t n = read(fds[0], buffer.data(), buffer.size());
            if (n <= 0) break;
            got += static_cast<size_t>(n);
        }
        times.push_back(now_ms() - start);
        close(fds[0]);
        waitpid(child, nullptr, 0);
    }
    return times;
}

int answer(int fd, size_t size) {
    const std::string bytes(size, 'x');
    return write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(size) ? 0 : 1;
}

void print_latency(const char* label, const Latency& l, double target_ms) {
    const double floor = bench::median(socket_round_trips(l.bytes, static_cast<int>(l.ms.size())));
    char note[96];
    std::snprintf(note, sizeof note, "worst %.3f ms, target median < %g ms (%zu keys)",
                  bench::worst(l.ms), target_ms, l.ms.size());
    bench::print_row(label, bench::median(l.ms), floor, "ms", note);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--answer") == 0) {
        return answer(std::atoi(argv[2]), static_cast<size_t>(std::atol(argv[3])));
    }
    std::string door = std::string(BULLMOOR_BINARY_DIR) + "/bullmoor";
    int keys = 200;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--door" && i + 1 < argc) {
            door = argv[++i];
        } else if (arg == "--keys" && i + 1 < argc) {
            keys = std::max(2, std::atoi(argv[++i]));
        } else {
            std::fprintf(stderr, "usage: %s [--door PATH] [--keys N]\n", argv[0]);
            return 2;
        }
    }
    signal(SIGPIPE, SIG_IGN);
    const std::string dir = prepare_directory();

    MarketRecord market{};
    (void)build_default_market(market);
    int graphs = 0;  // price graphs of company 0, one page each
    for (int k = 0; k < kKindCount; ++k) graphs += market.companies[0].total[k] != 0;

    std::printf("Bytes on the wire: %s over a telnet socket; each update is what one key causes.\n",
                door.c_str());
    std::printf(
        "Byte floor: the screens' texts with the shortest cursor and clearing sequences. "
        "Write floor: one per update.\n");
    Latency moves, redraws, trading_opens, trades;
    const int modes[] = {0, 1, 2};
    for (int mode : modes) {
        const std::string name = "Bench Mode" + std::to_string(mode);
        auto session = sign_on_new_player(door, dir, name, mode);
        VirtualCaller& c = *session;
        const std::string mark = marker(mode);
        char label[64];

        const Update report = press(c, "\r", kEnterPrompt, 22, 26);
        std::snprintf(label, sizeof label, "mode %d price-change report", mode);
        print_wire(label, report);

        (void)press(c, "\r", mark, kMenuRow, 30);
        expect(c, "MAIN COMMAND MENU", 14, 31);
        for (int i = 0; i < (mode == 2 ? keys / 4 : 5); ++i) {
            blank_row(c, kMenuRow);
            const Update redraw = press(c, "*", mark, kMenuRow, 30);
            if (i == 0) {
                std::snprintf(label, sizeof label, "mode %d full redraw ('*', main menu)", mode);
                print_wire(label, redraw);
            }
            if (mode == 2) redraws.add(redraw);
        }
        for (int i = 0; i < (mode == 2 ? keys : 10); ++i) {
            const Update move = press(c, i % 2 ? "8" : "2", mark, kMenuRow + (i % 2 ? 0 : 1), 30);
            if (i == 0) {
                std::snprintf(label, sizeof label, "mode %d selection-marker move", mode);
                print_wire(label, move);
            }
            if (mode == 2) moves.add(move);
        }

        // Company profile of the first company: the first page, with its first graph.
        (void)press(c, "2", mark, kMenuRow + 1, 30);
        (void)press(c, "\r", "Select a company...", 23, 2);
        const Update profile = press(c, "\r", kEnterPrompt, 23, 2);
        std::snprintf(label, sizeof label, "mode %d company profile with graph", mode);
        print_wire(label, profile);
        for (int g = 1; g < graphs; ++g) {
            blank_row(c, 23);
            (void)press(c, "\r", kEnterPrompt, 23, 2);
        }
        (void)press(c, "\r", "MAIN COMMAND MENU", 14, 31);
        expect(c, mark, kMenuRow + 1, 30);
        if (mode == 0) {
            // This one leaves properly, so that it can come back as a returning player.
            (void)press(c, "1", mark, kMenuRow + 6, 30);
            (void)press(c, "\r", "Sure you want to quit (Y/[N]): ", 23, 2);
            c.type("y\r");
            expect(c, "Press [ENTER] to exit...", -1, -1);
            c.type("\r");
            if (c.wait_exit() != 0) give_up(c, "a normal end");
        }
        if (mode != 2) continue;

        // Opening the trading menu, and back (Quit Trading is its last item).
        (void)press(c, "2", mark, kMenuRow + 2, 30);
        for (int i = 0; i < keys / 4; ++i) {
            const Update open = press(c, "\r", mark, kMenuRow, 30);
            if (i == 0) print_wire("mode 2 opening the trading menu", open);
            trading_opens.add(open);
            (void)press(c, "1", mark, kMenuRow + 6, 30);
            (void)press(c, "\r", mark, kMenuRow + 2, 30);
        }

        // Trades: buy one common share of the first company, then sell it again.
        (void)press(c, "\r", mark, kMenuRow, 30);
        for (int i = 0; i < keys / 10; ++i) {
            const bool selling = i % 2 == 1;
            if (selling) (void)press(c, "2", mark, kMenuRow + 1, 30);
            (void)press(c, "\r", "Select a company...", 23, 2);
            (void)press(c, "\r", "Select a stock type...", 23, 2);
            (void)press(c, "2", mark, 17, 30);
            (void)press(c, "\r", "Enter quantity to trade", 23, 2);
            c.type("1");
            c.drain(kSettleMs);
            const Update trade = press(c, "\r", kEnterPrompt, 23, 2);
            if (i == 0) print_wire("mode 2 completed trade (Enter)", trade);
            trades.add(trade);
            (void)press(c, "\r", mark, kMenuRow + (selling ? 1 : 0), 30);
            if (selling) (void)press(c, "8", mark, kMenuRow, 30);
        }
    }

    // A returning player's title screen (with the start-up's file work before it): the key test
    // after each line of the title file is a key read, and the kit sends what it holds at each.
    {
        VirtualCaller c(caller_options(door, dir, "Bench Mode0"));
        if (!c.start()) return 1;
        expect(c, kEnterPrompt, 23, 2);
        blank_row(c, 23);
        const Update title = press(c, "\r", kEnterPrompt, 23, 2);
        print_wire("returning player's title screen", title);
    }

    // Sign-on: process start to the sign-on screen.
    Latency sign_on;
    Update first_sign_on;
    for (int i = 0; i < 20; ++i) {
        VirtualCaller caller(caller_options(door, dir, "Bench Signon"));
        const double start = now_ms();
        if (!caller.start()) return 1;
        expect(caller, kEnterPrompt, 23, 2);
        Update u;
        u.ms = now_ms() - start;
        caller.drain(kSettleMs);
        u.door = door_io(caller.pid());
        u.sent = caller.raw_output();
        sign_on.add(u);
        if (i == 0) first_sign_on = u;
    }
    print_wire("sign-on screen (from process start)", first_sign_on);

    std::printf(
        "\nLatency: key sent to the update on the virtual screen (mode 2). Floor: the same\n"
        "bytes answering one key through a socket from a process that does nothing else.\n");
    print_latency("menu move", moves, 1);
    print_latency("full redraw ('*')", redraws, 1);
    print_latency("opening the trading menu", trading_opens, 1);
    print_latency("completed trade (Enter)", trades, 1);
    char self[4096];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) return 1;
    self[length] = '\0';
    const std::vector<double> starts = process_starts(self, sign_on.bytes, 20);
    char note[96];
    std::snprintf(note, sizeof note, "worst %.3f ms, target < 10 ms (%zu starts)",
                  bench::worst(sign_on.ms), sign_on.ms.size());
    bench::print_row("process start to sign-on screen", bench::median(sign_on.ms),
                     bench::median(starts), "ms", note);
    remove_tree(dir);
    return 0;
}

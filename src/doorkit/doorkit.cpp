// The door kit: connection set-up from the drop file or the local console, buffered output, key
// input with telnet filtering and escape decoding, and the carrier, inactivity and time conditions.
//
// Defaults: inactivity time-out 200 seconds (od_control.od_inactivity, 0 turns it off); a lone
// Escape counts as a key after 250 ms; the minutes left from the drop file count down once a minute
// of wall time; under five minutes left the kit delivers kOdTimeWarning once, with none left it
// delivers kOdTimeUp at every read. Carrier loss comes from end of stream, a read or write error
// (reset, EPIPE, EIO on a pseudo-terminal), SIGHUP, or SIGTERM in a remote session; SIGPIPE is
// ignored. A local session has security 255 and a whole day of minutes.
#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <string>
#include <vector>

#include "doorkit/console.h"
#include "doorkit/dropfile.h"
#include "doorkit/keys.h"
#include "doorkit/opendoors.h"
#include "doorkit/settings.h"
#include "doorkit/telnet.h"

OdControl od_control;

namespace {

using Clock = std::chrono::steady_clock;
using Ms = std::chrono::milliseconds;

constexpr int kLocalSecurity = 255;
constexpr int kLocalMinutes = 24 * 60;
constexpr int kWarningMinutes = 5;            // below this many minutes left: one warning
constexpr int kLongestPollMs = 1000;          // waits wake up this often to check the clocks
constexpr int kStuckWriteMs = 60 * 1000;      // a caller not taking output this long has gone
constexpr size_t kOutputFlushSize = 1 << 16;  // flush early only for very long texts
constexpr unsigned char kCarrierLostKey = 0xFF;

struct Kit {
    bool ready = false;   // od_init or od_attach done
    bool remote = false;  // a caller on a connection (not the local console)
    int in_fd = -1;
    int out_fd = -1;
    bool telnet = false;        // telnet on the connection
    bool utf8 = false;          // translate CP437 output to UTF-8 (local console)
    bool lost = false;          // carrier lost
    bool input_closed = false;  // no more reads from in_fd
    bool warned = false;        // time warning delivered
    bool skip_pauses = false;
    int inactivity_ms = 0;  // override of od_control.od_inactivity
    std::string out;        // bytes waiting to be sent, already escaped / translated
    InputFilter filter;
    KeyDecoder decoder;
    std::deque<OdInputEvent> keys;
    Clock::time_point last_key;     // last key from the caller, for inactivity
    Clock::time_point last_byte;    // last byte, for the lone-Escape wait
    Clock::time_point minute_mark;  // start of the current minute of the caller's time
    uint64_t bytes_sent = 0;
    uint64_t writes = 0;
};

Kit kit;
volatile sig_atomic_t g_hangup = 0;

void on_hangup(int) {
    g_hangup = 1;
}

void fail(const std::string& reason) {
    std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, reason.c_str());
    console_restore();
    std::_Exit(1);
}

void write_all(const char* data, size_t size) {
    while (size > 0 && !kit.lost) {
        ssize_t n = write(kit.out_fd, data, size);
        if (n > 0) {
            data += n;
            size -= static_cast<size_t>(n);
            kit.bytes_sent += static_cast<uint64_t>(n);
            ++kit.writes;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{kit.out_fd, POLLOUT, 0};
            if (poll(&p, 1, kStuckWriteMs) == 0) kit.lost = true;
        } else {
            kit.lost = true;  // EPIPE, ECONNRESET, EIO: the caller is gone
        }
    }
}

// Appends bytes for the caller in the connection's form.
void queue_output(const char* bytes, size_t length) {
    std::string_view text(bytes, length);
    std::string translated;
    if (kit.utf8) {
        cp437_to_utf8(text, translated);
        text = translated;
    }
    if (kit.telnet)
        telnet_escape(text, kit.out);
    else
        kit.out.append(text);
    if (kit.out.size() >= kOutputFlushSize) od_flush();
}

int inactivity_ms() {
    if (kit.inactivity_ms > 0) return kit.inactivity_ms;
    return od_control.od_inactivity > 0 ? od_control.od_inactivity * 1000 : 0;
}

// A typed byte that could pass for a condition code becomes harmless: 0xFF (a no-break space in
// CP437) becomes a space, 0xFC to 0xFE are dropped.
void queue_key(const OdInputEvent& event) {
    if (event.event_type == kEventCharacter && event.key_press >= kOdTimeUp) {
        if (event.key_press == 0xFF) kit.keys.push_back({kEventCharacter, ' '});
        return;
    }
    kit.keys.push_back(event);
}

void take_bytes(const unsigned char* data, size_t size) {
    std::vector<OdInputEvent> events;
    bool data_seen = false;  // telnet chatter alone is no sign of a caller at the keyboard
    for (size_t i = 0; i < size; ++i) {
        int byte = kit.filter.feed(data[i]);
        if (byte < 0) continue;
        data_seen = true;
        kit.decoder.feed(static_cast<unsigned char>(byte), events);
    }
    for (const auto& event : events) queue_key(event);
    if (data_seen) kit.last_byte = kit.last_key = Clock::now();
}

void connection_gone() {
    if (kit.remote) kit.lost = true;
    kit.input_closed = true;
}

// Reads what the caller has sent, waiting up to timeout_ms for the first byte.
void pump(int timeout_ms) {
    if (g_hangup && kit.remote) kit.lost = true;
    if (!kit.ready || kit.lost || kit.input_closed) {
        if (timeout_ms > 0) poll(nullptr, 0, timeout_ms);
        return;
    }
    pollfd p{kit.in_fd, POLLIN, 0};
    int ready = poll(&p, 1, timeout_ms);
    if (ready <= 0) return;
    if (p.revents & POLLNVAL) {
        connection_gone();
        return;
    }
    unsigned char buffer[4096];
    ssize_t n = read(kit.in_fd, buffer, sizeof buffer);
    if (n > 0)
        take_bytes(buffer, static_cast<size_t>(n));
    else if (n == 0)
        connection_gone();
    else if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)
        connection_gone();
}

bool carrier_lost() {
    if (od_control.od_force_local || !kit.remote) return false;
    if (g_hangup) kit.lost = true;
    return kit.lost;
}

// Counts the caller's minutes down; the game may have lowered user_timelimit meanwhile.
void count_minutes() {
    auto now = Clock::now();
    while (now - kit.minute_mark >= std::chrono::minutes(1)) {
        kit.minute_mark += std::chrono::minutes(1);
        if (od_control.user_timelimit > 0) --od_control.user_timelimit;
    }
}

// The next event that is due now: carrier loss, the time conditions, then typed keys.
bool next_event(OdInputEvent* event) {
    if (carrier_lost()) {
        *event = {kEventCharacter, kCarrierLostKey};
        return true;
    }
    count_minutes();
    if (od_control.user_timelimit <= 0) {
        *event = {kEventCharacter, kOdTimeUp};
        return true;
    }
    if (od_control.user_timelimit < kWarningMinutes && !kit.warned) {
        kit.warned = true;
        *event = {kEventCharacter, kOdTimeWarning};
        return true;
    }
    if (kit.keys.empty()) return false;
    *event = kit.keys.front();
    kit.keys.pop_front();
    return true;
}

int ms_until(Clock::time_point when) {
    auto left = std::chrono::duration_cast<Ms>(when - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

void reset_session_state() {
    kit.out.clear();
    kit.keys.clear();
    kit.filter = InputFilter(kit.telnet);
    kit.decoder = KeyDecoder();
    kit.lost = false;
    kit.input_closed = false;
    kit.warned = false;
    g_hangup = 0;
    kit.last_key = kit.last_byte = kit.minute_mark = Clock::now();
    kit.ready = true;
}

void flush_at_exit() {
    od_flush();
}

void install_handlers() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    signal(SIGPIPE, SIG_IGN);
    struct sigaction sa {};
    sa.sa_handler = on_hangup;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGHUP, &sa, nullptr);
}

// Registered after the console's own restoration so that it runs first: the last screen goes
// out while the terminal is still raw.
void flush_at_exit_once() {
    static bool registered = false;
    if (!registered) std::atexit(flush_at_exit);
    registered = true;
}

// In a remote session SIGTERM (the BBS or the system ending the door) counts as a hang-up: the
// next read reports no carrier and the game ends normally, saving as on carrier loss. Installed
// after the console's handlers, which would otherwise end the process unsaved.
void treat_sigterm_as_hangup() {
    struct sigaction sa {};
    sa.sa_handler = on_hangup;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTERM, &sa, nullptr);
}

bool descriptor_open(int fd) {
    return fd >= 0 && fcntl(fd, F_GETFD) != -1;
}

void init_remote() {
    if (od_control.info_path[0] == '\0') fail("no drop file given");
    DropInfo info;
    std::string error;
    if (read_drop_file(od_control.info_path, &info, &error) != 0) fail(error);

    int fd = od_control.od_open_handle;
    if (fd < -1) fail("bad socket descriptor");
    if (fd >= 0 && od_control.od_use_socket) {
        if (!descriptor_open(fd)) fail("bad socket descriptor " + std::to_string(fd));
        kit.in_fd = kit.out_fd = fd;
        kit.telnet = true;
    } else {
        if (fd >= 0 && !descriptor_open(fd)) fail("bad socket descriptor " + std::to_string(fd));
        if (!descriptor_open(STDIN_FILENO) || !descriptor_open(STDOUT_FILENO)) {
            fail("standard input or output is closed");
        }
        kit.in_fd = STDIN_FILENO;
        kit.out_fd = STDOUT_FILENO;
        kit.telnet = false;
        od_control.od_use_socket = 0;
        console_enter_raw(STDIN_FILENO);  // a pseudo-terminal from the BBS: keys unbuffered
    }
    std::snprintf(od_control.user_name, sizeof od_control.user_name, "%s", info.name.c_str());
    od_control.user_security = info.security;
    od_control.user_timelimit = info.minutes;
    if (od_control.od_node == 0) od_control.od_node = info.node;
    od_control.remote = 1;
    kit.remote = true;
    kit.utf8 = false;
    treat_sigterm_as_hangup();
}

void init_local() {
    const passwd* pw = getpwuid(getuid());
    const char* name = pw != nullptr ? pw->pw_name : getlogin();
    std::snprintf(od_control.user_name, sizeof od_control.user_name, "%s",
                  name != nullptr ? name : "Sysop");
    od_control.user_security = kLocalSecurity;
    od_control.user_timelimit = kLocalMinutes;
    od_control.remote = 0;
    kit.remote = false;
    kit.telnet = false;
    kit.in_fd = STDIN_FILENO;
    kit.out_fd = STDOUT_FILENO;
    console_enter_raw(STDIN_FILENO);
    od_control.od_utf8_local = locale_is_utf8() ? 1 : 0;
    kit.utf8 = od_control.od_utf8_local != 0;
}

}  // namespace

void od_init() {
    install_handlers();
    std::string early = std::move(kit.out);  // text sent before the kit was up
    // Read before the connection is up, so a problem is logged without a remote caller's pause.
    const DoorSettings settings = load_door_settings();
    if (od_control.od_com_method == 2 || od_control.info_path[0] != '\0')
        init_remote();
    else
        init_local();
    apply_door_settings(settings);
    if (kit.remote && settings.cp437_to_utf8) kit.utf8 = *settings.cp437_to_utf8;
    reset_session_state();
    flush_at_exit_once();
    if (kit.telnet) kit.out.append(kTelnetGreeting, sizeof kTelnetGreeting - 1);
    queue_output(early.data(), early.size());
}

void od_attach(int input_fd, int output_fd, bool telnet) {
    install_handlers();
    kit.in_fd = input_fd;
    kit.out_fd = output_fd;
    kit.telnet = telnet;
    kit.utf8 = false;
    kit.remote = true;
    od_control.remote = 1;
    od_control.od_force_local = 0;
    od_control.od_open_handle = input_fd;
    od_control.od_use_socket = telnet ? 1 : 0;
    reset_session_state();
    if (telnet) kit.out.append(kTelnetGreeting, sizeof kTelnetGreeting - 1);
}

void od_detach() {
    od_flush();
    kit.ready = false;
    kit.in_fd = kit.out_fd = -1;
    kit.out.clear();
    kit.keys.clear();
}

void od_set_skip_pauses(bool skip) {
    kit.skip_pauses = skip;
}
void od_set_inactivity_ms(int milliseconds) {
    kit.inactivity_ms = milliseconds;
}
uint64_t od_bytes_sent() {
    return kit.bytes_sent;
}
uint64_t od_writes() {
    return kit.writes;
}

void od_flush() {
    if (!kit.ready || kit.out.empty()) return;
    if (kit.lost) {
        kit.out.clear();
        return;
    }
    std::string pending;
    pending.swap(kit.out);
    write_all(pending.data(), pending.size());
}

void od_disp_emu(const char* text, int /*remote_echo*/) {
    if (text != nullptr) queue_output(text, std::strlen(text));
}

void od_disp(const char* bytes, int length) {
    if (bytes != nullptr && length > 0) queue_output(bytes, static_cast<size_t>(length));
}

// ESC [ H for the top left corner, ESC [ r H for column 1, else ESC [ r ; c H.
void od_set_cursor(int row, int column) {
    if (row < 1) row = 1;
    if (column < 1) column = 1;
    char sequence[32];
    if (row == 1 && column == 1)
        std::snprintf(sequence, sizeof sequence, "\x1b[H");
    else if (column == 1)
        std::snprintf(sequence, sizeof sequence, "\x1b[%dH", row);
    else
        std::snprintf(sequence, sizeof sequence, "\x1b[%d;%dH", row, column);
    od_disp_emu(sequence, 1);
}

// Not every terminal homes the cursor on ESC [ 2 J, so the home sequence follows.
void od_clr_scr() {
    od_disp_emu("\x1b[2J\x1b[H", 1);
}

void od_clr_line() {
    od_disp_emu("\x1b[K", 1);
}

bool od_carrier() {
    if (od_control.od_force_local || !kit.remote) return true;
    if (!kit.lost) pump(0);
    return !carrier_lost();
}

bool od_get_input(OdInputEvent* event, int timeout_ms, int /*flags*/) {
    // Output goes out before a read that may wait for the caller. A test for a key that does
    // not wait (the title screen makes one after each line) leaves it buffered, so that the
    // screen still goes out in one write.
    if (timeout_ms != 0) od_flush();
    auto deadline = Clock::now() + Ms(timeout_ms < 0 ? 0 : timeout_ms);
    for (;;) {
        pump(0);
        if (next_event(event)) return true;
        auto now = Clock::now();
        int idle_limit = inactivity_ms();
        if (idle_limit > 0 && now - kit.last_key >= Ms(idle_limit)) {
            kit.last_key = now;  // the next time-out counts from here
            *event = {kEventCharacter, kOdInactive};
            return true;
        }
        if (kit.decoder.pending() && now - kit.last_byte >= Ms(kEscapeWaitMs)) {
            std::vector<OdInputEvent> events;
            kit.decoder.flush(events);
            for (const auto& e : events) queue_key(e);
            continue;
        }
        if (timeout_ms >= 0 && now >= deadline) return false;
        int wait = kLongestPollMs;
        if (timeout_ms >= 0) wait = std::min(wait, ms_until(deadline));
        if (idle_limit > 0) wait = std::min(wait, ms_until(kit.last_key + Ms(idle_limit)));
        if (kit.decoder.pending()) {
            wait = std::min(wait, ms_until(kit.last_byte + Ms(kEscapeWaitMs)));
        }
        pump(wait);
    }
}

char od_get_key(int wait) {
    OdInputEvent event;
    for (;;) {
        if (!od_get_input(&event, wait ? -1 : 0, 0)) return 0;
        if (event.event_type == kEventCharacter) return static_cast<char>(event.key_press);
        // od_get_key reports characters only; extended keys are passed over
    }
}

// A condition key ends the input: the buffer then holds that single byte, so the caller can tell
// it from typed text (typed bytes never reach 0xFC). Carrier loss leaves the text typed so far.
void od_input_str(char* buffer, int max_length, unsigned char min_char, unsigned char max_char) {
    int length = 0;
    buffer[0] = '\0';
    for (;;) {
        auto key = static_cast<unsigned char>(od_get_key(1));
        if (!od_carrier()) break;
        if (key >= kOdTimeUp && key != kCarrierLostKey) {
            buffer[0] = static_cast<char>(key);
            buffer[1] = '\0';
            return;
        }
        if (key == '\r' || key == '\n') break;
        if (key == 8 || key == 127) {
            if (length > 0) {
                --length;
                od_disp_emu("\b \b", 1);
            }
        } else if (key >= min_char && key <= max_char && length < max_length) {
            buffer[length++] = static_cast<char>(key);
            od_disp(reinterpret_cast<const char*>(&key), 1);
        }
    }
    buffer[length] = '\0';
    od_disp_emu("\r\n", 1);
    od_flush();
}

void od_sleep(int milliseconds) {
    od_flush();
    if (kit.skip_pauses || milliseconds <= 0) return;
    auto until = Clock::now() + Ms(milliseconds);
    while (Clock::now() < until) poll(nullptr, 0, ms_until(until));
}

// Paging the sysop. Outside the paging hours the caller is told when they are. Within them a
// paging line runs for od_page_seconds with a bell and a dot each second; nobody can answer from
// inside a door on a Unix BBS, so the caller then reads "No response" and the page is recorded as
// one line in od_page_log (time, node, caller), where the sysop finds it. Both endings pause three
// seconds so the caller can read them before the screen is redrawn.
void od_page() {
    time_t now = std::time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    int minute = local.tm_hour * 60 + local.tm_min;
    int start = od_control.od_page_start_min;
    int end = od_control.od_page_end_min;
    bool in_hours =
        start <= end ? minute >= start && minute < end : minute >= start || minute < end;
    char line[160];
    if (!in_hours) {
        std::snprintf(line, sizeof line,
                      "Sorry, the sysop can only be paged from %02d:%02d to %02d:%02d.\r\n",
                      start / 60, start % 60, end / 60, end % 60);
        od_disp_emu(line, 1);
        od_sleep(3000);
        return;
    }
    od_disp_emu("Paging the sysop", 1);
    for (int second = 0; second < od_control.od_page_seconds; ++second) {
        od_disp_emu("\a.", 1);
        od_sleep(1000);
    }
    od_disp_emu("\r\n      No response. Your page has been left for the sysop.\r\n", 1);
    // Created owner-only, like every file of the game.
    const int log_fd = open(od_control.od_page_log, O_WRONLY | O_APPEND | O_CREAT, 0600);
    if (FILE* log = log_fd >= 0 ? fdopen(log_fd, "a") : nullptr) {
        char stamp[32];
        std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
        std::fprintf(log, "%s node %d: %s paged the sysop\n", stamp, od_control.od_node,
                     od_control.user_name);
        std::fclose(log);
    } else if (log_fd >= 0) {
        close(log_fd);
    }
    od_sleep(3000);
}

void od_exit(int exit_code) {
    od_flush();
    console_restore();
    std::exit(exit_code);
}

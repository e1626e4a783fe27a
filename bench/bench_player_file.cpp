// Player file at scale: the day-rollover path of session start (the locked rollover: load, daily
// update, save, day log, player-file pass; then the lookup of the last player) and the session-end
// path (the commit of market and caller's record, then the bulletin) over quonda.plr files of
// 1,000 to 100,000 players, each beside the plain sequential I/O of the same bytes in this
// process, and the peak memory of a process that runs both paths once, per file size.
//
//   bench_player_file [--dir DIR] [--runs N] [SIZE...]
//
// Files live in a fresh directory under DIR (default /tmp) that is removed at the end. Figures
// are medians over N runs (default 7) with the files in the page cache, as they are on a BBS
// that is in use.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_common.h"
#include "data/codec.h"
#include "data/dates.h"
#include "data/records.h"
#include "data/session_state.h"
#include "market/market.h"
#include "session/session.h"
#include "session/shared_files.h"

namespace {

int g_syncs = 0;    // fsync and fdatasync calls made by the code under measurement
int g_renames = 0;  // rename calls made by it

}  // namespace

// The game's libraries are linked into this program, so these definitions take the place of the
// C library's for them: each call is counted, then made. The floors make as many syncs and
// renames as the step they stand beside, so a step that starts syncing or replacing its file
// gets a floor that does the same.
extern "C" int fsync(int fd) {
    ++g_syncs;
    return static_cast<int>(syscall(SYS_fsync, fd));
}
extern "C" int fdatasync(int fd) {
    ++g_syncs;
    return static_cast<int>(syscall(SYS_fdatasync, fd));
}
extern "C" int rename(const char* from, const char* to) noexcept {
    ++g_renames;
    return static_cast<int>(syscall(SYS_rename, from, to));
}

namespace {

using bench::now_ms;

constexpr const char* kToday = "Jun 01 2024";       // a new month: bonds mature, dividends paid
constexpr const char* kMarketDate = "May 31 2024";  // the market as the last session left it
constexpr const char* kPristine = "pristine.plr";   // the generated file, copied in before each run
constexpr const char* kDayLog = "quonda.day";
constexpr size_t kFloorBlock = 1 << 20;  // block size of the plain-I/O floors
constexpr int kGenerateBlockRecords = 1024;

// ---- generated players ----

// A small deterministic generator, so every run measures the same files.
struct Lcg {
    uint64_t state;
    uint32_t next() {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<uint32_t>(state >> 33);
    }
    int range(int low, int high) { return low + static_cast<int>(next() % (high - low + 1)); }
};

constexpr const char* kFirstNames[] = {"JOHN",   "MARY",  "ROBERT", "LINDA", "JAMES", "SUSAN",
                                       "DAVID",  "KAREN", "PAUL",   "NANCY", "MARK",  "LISA",
                                       "GEORGE", "BETTY", "FRANK",  "HELEN"};
constexpr const char* kLastNames[] = {"SMITH",  "JOHNSON",  "BROWN",  "TAYLOR",  "MILLER", "WILSON",
                                      "MOORE",  "ANDERSON", "THOMAS", "JACKSON", "WHITE",  "HARRIS",
                                      "MARTIN", "GARCIA",   "CLARK",  "LEWIS"};

// The date text of `days` days before today.
void date_before_today(int days, char* out) {
    std::tm day{};
    day.tm_year = 2024 - 1900;
    day.tm_mon = 5;  // June
    day.tm_mday = 1 - days;
    day.tm_hour = 12;
    std::mktime(&day);
    std::strftime(out, kDateSize, "%b %d %Y", &day);
}

// A player who has been on within the last 30 days, holding several issues of three to six
// companies, some of them short in common stock.
PlayerRecord make_player(int index, const MarketRecord& market, Lcg& rng) {
    PlayerRecord p{};
    std::snprintf(p.name, sizeof p.name, "%s %s %d", kFirstNames[rng.next() % 16],
                  kLastNames[rng.next() % 16], index);
    date_before_today(rng.range(1, 30), p.last_played);
    if (rng.next() % 4 == 0)
        std::snprintf(p.last_traded, sizeof p.last_traded, "%s", kNeverDate);
    else
        std::memcpy(p.last_traded, p.last_played, kDateSize);
    p.seconds_played = rng.range(60, 200000);
    p.times_played = static_cast<int16_t>(rng.range(1, 400));
    p.graphics_mode = static_cast<int16_t>(rng.range(0, 2));
    p.cash = rng.range(0, 60000);
    int32_t worth = p.cash;
    for (int c = 0; c < kCompanyCount; ++c) {
        for (int k = 0; k < kKindCount; ++k) {
            p.holdings[c].last_price[k] = market.companies[c].price[k][0];
        }
    }
    const int companies = rng.range(3, 6);
    for (int i = 0; i < companies; ++i) {
        const int c = static_cast<int>(rng.next() % kCompanyCount);
        const CompanyRecord& company = market.companies[c];
        Holding& h = p.holdings[c];
        for (int k = 0; k < kKindCount; ++k) {
            if (company.total[k] == 0 || rng.next() % 2) continue;
            h.count[k] = rng.range(1, 5000);
            worth += h.count[k] * company.price[k][0];
        }
        if (company.total[kCommon] != 0 && rng.next() % 5 == 0) {
            h.short_count = rng.range(10, 500);
            h.short_price = static_cast<int16_t>(company.price[kCommon][0] + rng.range(-5, 5));
        }
    }
    p.net_worth = worth;
    return p;
}

// Writes `count` players to path in blocks; returns the last player's name.
std::string generate_player_file(const char* path, int count, const MarketRecord& market) {
    Lcg rng{static_cast<uint64_t>(count)};
    std::vector<unsigned char> block(static_cast<size_t>(kGenerateBlockRecords) * kPlayerBytes);
    const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0) {
        std::perror(path);
        std::exit(1);
    }
    std::string last;
    for (int i = 0; i < count;) {
        int in_block = 0;
        for (; in_block < kGenerateBlockRecords && i < count; ++in_block, ++i) {
            const PlayerRecord player = make_player(i, market, rng);
            encode_player(player, block.data() + static_cast<size_t>(in_block) * kPlayerBytes);
            last = player.name;
        }
        const auto bytes = static_cast<size_t>(in_block) * kPlayerBytes;
        if (write(fd, block.data(), bytes) != static_cast<ssize_t>(bytes)) {
            std::perror(path);
            std::exit(1);
        }
    }
    close(fd);
    return last;
}

// The market as yesterday's last session saved it.
MarketRecord yesterdays_market() {
    MarketRecord market{};
    (void)build_default_market(market);
    std::snprintf(market.date, sizeof market.date, "%s", kMarketDate);
    return market;
}

// The clock stands at noon today, so that the rollover's own look at the clock agrees.
std::time_t noon_today() {
    std::tm day{};
    day.tm_year = 2024 - 1900;
    day.tm_mon = 5;
    day.tm_mday = 1;
    day.tm_hour = 12;
    day.tm_isdst = -1;
    return std::mktime(&day);
}

// ---- plain sequential I/O: the floors, and the untimed restores ----

unsigned char g_block[kFloorBlock];

void fail(const char* what) {
    std::perror(what);
    std::exit(1);
}

// Reads the whole file in large blocks (into `into` when given); returns the bytes read.
size_t plain_read(const char* path, std::vector<unsigned char>* into = nullptr) {
    const int fd = open(path, O_RDONLY);
    if (fd < 0) return 0;
    size_t total = 0;
    for (ssize_t n; (n = read(fd, g_block, sizeof g_block)) > 0;) {
        if (into != nullptr) into->insert(into->end(), g_block, g_block + n);
        total += static_cast<size_t>(n);
    }
    close(fd);
    return total;
}

// How a step wrote: the syncs and renames it made.
struct StepIo {
    int syncs = 0;
    int renames = 0;
};

// Syncs as a step makes them: the first on the file written, any further ones on the directory
// (a replaced file's rename is made durable that way).
void plain_sync_file(int fd, const StepIo& io) {
    if (io.syncs > 0) (void)syscall(SYS_fsync, fd);
}
void plain_sync_directory(const StepIo& io) {
    if (io.syncs < 2) return;
    const int dir = open(".", O_RDONLY | O_DIRECTORY);
    for (int i = 1; i < io.syncs; ++i) (void)syscall(SYS_fsync, dir);
    close(dir);
}

// Writes a whole file: in place, or through a scratch file renamed over it when io has a
// rename. `copy_from` names a file to copy in large blocks; otherwise bytes/size are written.
void plain_write_file(const char* path, const char* copy_from, const unsigned char* bytes,
                      size_t size, const StepIo& io) {
    const char* target = io.renames > 0 ? "floor.tmp" : path;
    const int out = open(target, O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (out < 0) fail(target);
    if (copy_from != nullptr) {
        const int in = open(copy_from, O_RDONLY);
        if (in < 0) fail(copy_from);
        for (ssize_t n; (n = read(in, g_block, sizeof g_block)) > 0;) {
            if (write(out, g_block, static_cast<size_t>(n)) != n) fail(target);
        }
        close(in);
    } else if (write(out, bytes, size) != static_cast<ssize_t>(size)) {
        fail(target);
    }
    plain_sync_file(out, io);
    close(out);
    if (io.renames > 0 && syscall(SYS_rename, target, path) != 0) fail(path);
    plain_sync_directory(io);
}

// Writes size bytes at offset of an existing file, with the syncs of io.
void plain_write_at(const char* path, const unsigned char* bytes, size_t size, long offset,
                    const StepIo& io) {
    const int fd = open(path, O_WRONLY);
    if (fd < 0 || pwrite(fd, bytes, size, offset) != static_cast<ssize_t>(size)) fail(path);
    plain_sync_file(fd, io);
    close(fd);
    plain_sync_directory(io);
}

// How a floor writes one of its files.
enum class Write {
    kInPlace,   // in place
    kWhole,     // whole, replaced through a scratch file when the step renamed as many files
    kReplaced,  // whole, always through a scratch file (the pass never writes over its input)
};

// The syncs and renames a step made, handed out over the files its floor writes: renames first
// to the files always replaced, then in order to the other whole ones; a replaced file takes two
// syncs (the file, then the directory), any other one; what is left syncs the directory again.
std::vector<StepIo> share_io(StepIo total, const std::vector<Write>& files) {
    std::vector<StepIo> io(files.size());
    for (size_t i = 0; i < files.size(); ++i) {
        if (files[i] == Write::kReplaced) {
            io[i].renames = 1;
            total.renames = std::max(0, total.renames - 1);
        }
    }
    for (size_t i = 0; i < files.size(); ++i) {
        if (files[i] == Write::kWhole && total.renames > 0) {
            io[i].renames = 1;
            --total.renames;
        }
    }
    for (size_t i = 0; i < files.size(); ++i) {
        io[i].syncs = std::min(total.syncs, io[i].renames > 0 ? 2 : 1);
        total.syncs -= io[i].syncs;
    }
    if (!io.empty()) io.back().syncs += total.syncs;
    return io;
}

long file_size(const char* path) {
    struct stat info {};
    return stat(path, &info) == 0 ? static_cast<long>(info.st_size) : -1;
}

// A day log as a market that has run for a while leaves it: full, the oldest day to go next.
void write_full_day_log(const MarketRecord& market) {
    std::vector<unsigned char> log(static_cast<size_t>(kDayLogEntries) * kMarketDayBytes);
    for (int i = 0; i < kDayLogEntries; ++i) {
        unsigned char* entry = log.data() + static_cast<size_t>(i) * kMarketDayBytes;
        std::memcpy(entry, kNeverDate, std::strlen(kNeverDate));
        encode_market(market, entry + kDateSize);
    }
    plain_write_file(kDayLog, nullptr, log.data(), log.size(), StepIo{});
}

void restore_files(const MarketRecord& market) {
    unsigned char bytes[kMarketBytes];
    encode_market(market, bytes);
    plain_write_file("quonda.dat", nullptr, bytes, sizeof bytes, StepIo{});
    plain_write_file("quonda.plr", kPristine, nullptr, 0, StepIo{});
    write_full_day_log(market);
}

// ---- the two paths ----

struct Run {
    std::vector<double> ms;  // per step
    std::vector<StepIo> io;  // per step
};

// What the runs of one file size share.
struct Scenario {
    int players = 0;
    std::string last_name;  // the lookup's target, the file's last record
    int32_t caller_offset;  // the session end's caller, in the middle of the file
    MarketRecord yesterday{};
    long day_log_bytes = 0;   // quonda.day after a rollover
    long bulletin_bytes = 0;  // the bulletin's length
};

// The state a rollover hands to the session end.
struct Session {
    MarketRecord market{};
    PlayerRecord stored{};  // the caller's record as quonda.plr holds it after the rollover
};

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "bench_player_file: %s failed\n", what);
        std::exit(1);
    }
}

// Times each step, noting the syncs and renames it makes.
template <class Step>
Run time_steps(int steps, Step step) {
    Run run{std::vector<double>(static_cast<size_t>(steps)),
            std::vector<StepIo>(static_cast<size_t>(steps))};
    double t = now_ms();
    for (int i = 0; i < steps; ++i) {
        g_syncs = g_renames = 0;
        step(i);
        const double after = now_ms();
        run.ms[static_cast<size_t>(i)] = after - t;
        run.io[static_cast<size_t>(i)] = StepIo{g_syncs, g_renames};
        t = after;
    }
    return run;
}

constexpr int kRolloverSteps = 2;
constexpr const char* kRolloverNames[kRolloverSteps] = {"rollover: bring_market_to_today",
                                                        "rollover: find_player (last record)"};
constexpr int kEndSteps = 2;
constexpr const char* kEndNames[kEndSteps] = {"end: commit_session", "end: write_bulletin"};

// Session start's day rollover and lookup, as the game runs them.
Run run_rollover(const Scenario& s, Session& session) {
    char today[kDateSize];
    char previous[kDateSize];
    std::snprintf(today, sizeof today, "%s", kToday);
    bool prices_move = true;
    bool updated = false;
    int loaded = -9;
    int found = -9;
    int32_t offset = 0;
    PlayerRecord last{};
    const Run run = time_steps(kRolloverSteps, [&](int step) {
        if (step == 0)
            loaded = bring_market_to_today(session.market, today, previous, prices_move, updated);
        else
            found = find_player(s.last_name.c_str(), last, offset);
    });
    check(loaded == 0 && updated, "day rollover");
    check(found == 1 && offset == static_cast<int32_t>(s.players - 1) * kPlayerBytes,
          "lookup of the last player");
    // What session start notes for the merge at session end: the market and the caller's record.
    unsigned char bytes[kPlayerBytes];
    const int fd = open("quonda.plr", O_RDONLY);
    if (fd < 0 || pread(fd, bytes, kPlayerBytes, s.caller_offset) != kPlayerBytes) fail("caller");
    close(fd);
    decode_player(bytes, session.stored);
    return run;
}

// Session end's writes and bulletin for a caller who leaves with a little more cash.
Run run_session_end(const Scenario& s, Session& session) {
    note_market_baseline(session.market);
    note_player_baseline(&session.stored);
    PlayerRecord caller = session.stored;
    caller.cash += 100;
    std::memcpy(caller.last_played, kToday, kDateSize);
    int32_t offset = s.caller_offset;
    const Run run = time_steps(kEndSteps, [&](int step) {
        if (step == 0)
            (void)commit_session(session.market, caller, offset, session.stored.cash);
        else
            write_bulletin();
    });
    forget_session_baselines();
    check(offset == s.caller_offset, "session end");
    return run;
}

// The player-file pass alone, for the breakdown.
Run run_pass(const Scenario& s) {
    MarketRecord market = s.yesterday;
    (void)run_daily_update(market, kToday, true);
    return time_steps(1, [&](int) {
        check(player_file_pass(market, kToday, kMarketDate) == 0, "player-file pass");
    });
}

// The floors: the same bytes moved with plain calls in large blocks, with the syncs and renames
// of the step beside them; the daily update and the merging are computation and have none.
Run floor_rollover(const std::vector<StepIo>& io, const Scenario& s) {
    std::vector<unsigned char> market_bytes, day_log;
    return time_steps(kRolloverSteps, [&](int step) {
        if (step == 0) {
            plain_read("quonda.dat", &market_bytes);
            plain_read(kDayLog, &day_log);
            day_log.resize(static_cast<size_t>(s.day_log_bytes));
            const std::vector<StepIo> files =
                share_io(io[0], {Write::kWhole, Write::kWhole, Write::kReplaced});
            plain_write_file("quonda.dat", nullptr, market_bytes.data(), market_bytes.size(),
                             files[0]);
            plain_write_file(kDayLog, nullptr, day_log.data(), day_log.size(), files[1]);
            plain_write_file("quonda.plr", "quonda.plr", nullptr, 0, files[2]);
        } else {
            (void)plain_read("quonda.plr");
        }
    });
}

Run floor_session_end(const std::vector<StepIo>& io, const Scenario& s, const Session& session) {
    unsigned char record[kPlayerBytes];
    encode_player(session.stored, record);
    std::vector<unsigned char> market_bytes;
    const std::vector<unsigned char> bulletin(static_cast<size_t>(s.bulletin_bytes), ' ');
    return time_steps(kEndSteps, [&](int step) {
        if (step == 0) {
            plain_read("quonda.dat", &market_bytes);
            const std::vector<StepIo> files = share_io(io[0], {Write::kInPlace, Write::kWhole});
            plain_write_at("quonda.plr", record, kPlayerBytes, s.caller_offset, files[0]);
            plain_write_file("quonda.dat", nullptr, market_bytes.data(), market_bytes.size(),
                             files[1]);
        } else {
            (void)plain_read("quonda.plr");
            plain_write_file("quonda.bul", nullptr, bulletin.data(), bulletin.size(), io[1]);
        }
    });
}

Run floor_pass(const std::vector<StepIo>& io) {
    return time_steps(1, [&](int) {
        plain_write_file("quonda.plr", "quonda.plr", nullptr, 0,
                         share_io(io[0], {Write::kReplaced})[0]);
    });
}

double total(const Run& run) {
    double sum = 0;
    for (double ms : run.ms) sum += ms;
    return sum;
}

// Medians per step and of the whole path, over the runs.
struct Summary {
    std::vector<double> step;
    double whole = 0;
    std::vector<StepIo> io;
};

Summary summarize(const std::vector<Run>& runs) {
    Summary s;
    const size_t steps = runs.front().ms.size();
    std::vector<double> wholes;
    for (size_t i = 0; i < steps; ++i) {
        std::vector<double> values;
        for (const Run& run : runs) values.push_back(run.ms[i]);
        s.step.push_back(bench::median(values));
    }
    for (const Run& run : runs) wholes.push_back(total(run));
    s.whole = bench::median(wholes);
    s.io = runs.front().io;
    return s;
}

// The lookup's target (the last record) and the session end's caller (the middle record), from
// the generated file.
Scenario describe(int players) {
    Scenario s;
    s.players = players;
    s.yesterday = yesterdays_market();
    s.caller_offset = static_cast<int32_t>(players / 2) * kPlayerBytes;
    unsigned char bytes[kPlayerBytes];
    PlayerRecord last{};
    const int fd = open(kPristine, O_RDONLY);
    if (fd < 0 || pread(fd, bytes, kPlayerBytes, static_cast<off_t>(players - 1) * kPlayerBytes) !=
                      kPlayerBytes) {
        fail(kPristine);
    }
    close(fd);
    decode_player(bytes, last);
    s.last_name = last.name;
    return s;
}

// Runs both paths once in a process of its own (over files already in place) and returns its
// peak resident memory in KiB.
long peak_memory_kib(const char* self, int players) {
    const std::string size = std::to_string(players);
    const pid_t child = fork();
    if (child == 0) {
        execl(self, self, "--memory-child", size.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (child < 0 || wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "bench_player_file: the memory run failed\n");
        std::exit(1);
    }
    return usage.ru_maxrss;
}

int memory_child(int players) {
    const Scenario s = describe(players);
    Session session;
    (void)run_rollover(s, session);
    (void)run_session_end(s, session);
    return 0;
}

void print_steps(const char* const* names, const Summary& op, const Summary& floor) {
    for (size_t i = 0; i < op.step.size(); ++i) {
        char note[48] = "";
        if (op.io[i].syncs > 0 || op.io[i].renames > 0) {
            std::snprintf(note, sizeof note, "(%d syncs, %d renames)", op.io[i].syncs,
                          op.io[i].renames);
        }
        bench::print_row(names[i], op.step[i], floor.step[i], "ms", note);
    }
}

struct Options {
    std::string dir = "/tmp";
    int runs = 7;
    std::vector<int> sizes;
};

Options parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--dir" && i + 1 < argc) {
            o.dir = argv[++i];
        } else if (arg == "--runs" && i + 1 < argc) {
            o.runs = std::max(1, std::atoi(argv[++i]));
        } else if (std::atoi(arg.c_str()) > 0) {
            o.sizes.push_back(std::atoi(arg.c_str()));
        } else {
            std::fprintf(stderr, "usage: %s [--dir DIR] [--runs N] [SIZE...]\n", argv[0]);
            std::exit(2);
        }
    }
    if (o.sizes.empty()) o.sizes = {1000, 10000, 100000};
    return o;
}

}  // namespace

int main(int argc, char** argv) {
    set_clock_source([] { return noon_today(); });
    if (argc == 3 && std::strcmp(argv[1], "--memory-child") == 0) {
        return memory_child(std::atoi(argv[2]));
    }
    const Options options = parse(argc, argv);
    std::string pattern = options.dir + "/bullmoor-bench-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr || chdir(pattern.c_str()) != 0) fail(pattern.c_str());
    char self[4096];
    const ssize_t self_length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (self_length <= 0) fail("/proc/self/exe");
    self[self_length] = '\0';

    std::printf("Player file at scale: medians of %d runs, files in the page cache, in %s\n",
                options.runs, options.dir.c_str());
    std::printf(
        "Floors: the same bytes with plain open/read/write/rename in %zu KiB blocks,\n"
        "with as many syncs and renames as the step beside them.\n"
        "bring_market_to_today: load, daily update, save, day log and player-file pass\n"
        "under quonda.dat's lock; commit_session: the market merged and put in place, the\n"
        "caller's record written at its offset.\n",
        kFloorBlock / 1024);
    std::vector<long> peaks;
    std::vector<double> rollover_ratios, end_ratios;
    for (int players : options.sizes) {
        (void)generate_player_file(kPristine, players, yesterdays_market());
        Scenario s = describe(players);
        // A first run warms the cache and tells how many syncs and renames each step makes and
        // how long the day log and the bulletin come out.
        restore_files(s.yesterday);
        Session first;
        const Run first_rollover = run_rollover(s, first);
        s.day_log_bytes = file_size(kDayLog);
        const Run first_end = run_session_end(s, first);
        s.bulletin_bytes = file_size("quonda.bul");
        restore_files(s.yesterday);
        const Run first_pass = run_pass(s);

        std::vector<Run> rollover, rollover_floor, end, end_floor, pass, pass_floor;
        for (int r = 0; r < options.runs; ++r) {
            restore_files(s.yesterday);
            rollover_floor.push_back(floor_rollover(first_rollover.io, s));
            restore_files(s.yesterday);
            Session session;
            rollover.push_back(run_rollover(s, session));
            end_floor.push_back(floor_session_end(first_end.io, s, session));
            end.push_back(run_session_end(s, session));
            restore_files(s.yesterday);
            pass_floor.push_back(floor_pass(first_pass.io));
            restore_files(s.yesterday);
            pass.push_back(run_pass(s));
        }
        const Summary ro = summarize(rollover), rf = summarize(rollover_floor);
        const Summary eo = summarize(end), ef = summarize(end_floor);
        const Summary po = summarize(pass), pf = summarize(pass_floor);

        std::printf("\n%d players, quonda.plr %.1f MB\n", players,
                    static_cast<double>(players) * kPlayerBytes / 1e6);
        print_steps(kRolloverNames, ro, rf);
        bench::print_row("DAY ROLLOVER, whole path", ro.whole, rf.whole, "ms", "target <= 2x");
        print_steps(kEndNames, eo, ef);
        bench::print_row("SESSION END, whole path", eo.whole, ef.whole, "ms", "target <= 2x");
        bench::print_row("(player_file_pass alone)", po.whole, pf.whole, "ms");
        rollover_ratios.push_back(ro.whole / rf.whole);
        end_ratios.push_back(eo.whole / ef.whole);

        restore_files(s.yesterday);
        peaks.push_back(peak_memory_kib(self, players));
    }

    std::printf("\nPeak memory of one process running both paths once (getrusage ru_maxrss),\n");
    std::printf("beside the peak at %d players:\n", options.sizes.front());
    for (size_t i = 0; i < peaks.size(); ++i) {
        char label[64];
        std::snprintf(label, sizeof label, "peak RSS, %d players", options.sizes[i]);
        bench::print_row(label, static_cast<double>(peaks[i]) / 1024,
                         static_cast<double>(peaks.front()) / 1024, "MiB", "target: no growth");
    }

    std::printf(
        "\nAt %d players: day rollover %.2fx its floor, session end %.2fx (target <= 2x); "
        "peak memory %.2fx that at %d players.\n",
        options.sizes.back(), rollover_ratios.back(), end_ratios.back(),
        static_cast<double>(peaks.back()) / static_cast<double>(peaks.front()),
        options.sizes.front());
    if (chdir("/") != 0) fail("/");
    std::error_code ignored;
    std::filesystem::remove_all(pattern, ignored);
    return 0;
}

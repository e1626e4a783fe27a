// Faults around a session of the real game: hang-ups at the reads of start and play, signals, a
// caller gone from pipes, files that are directories or unreadable; what reached the data files.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "data/codec.h"
#include "data/file_access.h"
#include "market/market.h"
#include "session/session.h"
#include "vcaller/caller.h"

namespace {

constexpr const char* kToday = "Jun 15 2024";
constexpr const char* kYesterday = "Jun 14 2024";
constexpr const char* kCaller = "TEST CALLER";
constexpr const char* kEnter = "Press [ENTER] to continue...";
constexpr const char* kPassword = "SECRET9";

// Who calls: no record, played yesterday, wiped out (net worth 50, 50 common shares of company 3),
// or short 10 WWI at $10, far under its price: the margin call closes the position.
enum class Caller { kNew, kReturning, kWipedOut, kShortCalled };

std::string slurp(const std::string& path) {
    std::ostringstream bytes;
    bytes << std::ifstream(path, std::ios::binary).rdbuf();
    return bytes.str();
}

void write(const std::string& name, const std::string& bytes) {
    std::ofstream(name, std::ios::binary | std::ios::trunc) << bytes;
}

ino_t inode(const char* name) {
    struct stat info {};
    return stat(name, &info) == 0 ? info.st_ino : 0;
}

std::string snapshot() {
    return slurp("quonda.dat") + slurp("quonda.plr");
}

// A fresh working directory with the game's text files, entered for the case and removed after.
struct Dir {
    const std::string dir = make_temp_dir("faults");
    Dir() {
        std::filesystem::current_path(dir);
        for (const char* f : {"quonda.new", "quonda.doc", "quonda.ttn", "quonda.tti", "quonda.ttc"})
            write(f, slurp(std::string(BULLMOOR_SOURCE_DIR) + "/dist/" + f));
    }
    ~Dir() {
        std::filesystem::current_path(BULLMOOR_BINARY_DIR);
        chmod(dir.c_str(), 0700);
        remove_tree(dir);
    }
};

// quonda.dat (the default exchange on market_date, without the caller's shares in `available`) and
// quonda.plr holding the caller's record.
void save(Caller who, const char* market_date) {
    MarketRecord market{};
    (void)build_default_market(market);
    std::snprintf(market.date, sizeof market.date, "%s", market_date);
    PlayerRecord p{};
    std::snprintf(p.name, sizeof p.name, "%s", kCaller);
    std::snprintf(p.last_played, kDateSize, "%s", kYesterday);
    p.times_played = 3;
    p.cash = p.net_worth = who == Caller::kWipedOut ? 50 : 1000;
    p.holdings[3].count[kCommon] = who == Caller::kWipedOut ? 50 : 0;
    market.companies[3].available[kCommon] -= p.holdings[3].count[kCommon];
    p.holdings[2].short_count = p.holdings[2].short_price = who == Caller::kShortCalled ? 10 : 0;
    ASSERT_EQ(0, save_market(market));
    write("quonda.plr", "");
    ASSERT_TRUE(who == Caller::kNew || rewrite_player(p, 0) == 0);
}

// One step of a call: the keys typed, then the text the door answers with.
using Steps = std::vector<std::pair<std::string, std::string>>;
Steps operator+(Steps a, const Steps& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Waits for the sign-on screen, then takes the steps (no keys: more of the answer before).
::testing::AssertionResult walk(VirtualCaller& caller, const Steps& steps) {
    size_t from = 0, at = 0;
    for (const auto& [keys, text] : Steps{{"", kEnter}} + steps) {
        if (!keys.empty()) from = caller.raw_output().size();
        caller.type(keys);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while ((at = caller.raw_output().find(text, from)) == std::string::npos) {
            if (std::chrono::steady_clock::now() > deadline)
                return ::testing::AssertionFailure() << "expected \"" << text << "\"\n"
                                                     << caller.screen().dump();
            caller.drain(20);
        }
        from = at + text.size();
    }
    return ::testing::AssertionSuccess();
}

const Steps kPriceReport = {{"\r", kEnter}, {"\r", "PRICE CHANGES SINCE YOU WERE LAST ON"}};
const Steps kMainMenu = kPriceReport + Steps{{"\r", "Current cash:"}};
const Steps kQuit = {{"1\r", "Sure you want to quit"}, {"y\r", "Press [ENTER] to exit..."}};
// A call ends at a read: the caller hangs up, a signal comes, or the caller presses Enter.
constexpr int kHangUp = 0, kEnterKey = -1;
struct Call {
    const char* name;  // the read, or the file that is a directory
    Steps steps;       // to that read
    Caller who = Caller::kReturning;
    int exit_code = 0;
    int mode = 0;       // graphics mode saved; -1: nothing saved at all
    int end = kHangUp;  // kHangUp, kEnterKey or a signal
    Link link = Link::kSocket;
    bool directory = false;        // name is a directory in place of that file
    const char* logged = nullptr;  // in quonda.err, or on the screen when that is the directory
};

// Runs the call in a fresh directory (the market dated today, so that start writes nothing, but
// with the pass's output a directory on a market day) and checks what reached the files.
void run_call(const Call& c) {
    SCOPED_TRACE(c.name);
    const Dir d;
    const std::string directory = c.directory ? c.name : "";
    // The caller is named as the sysop, so the editor is open to them with kPassword.
    write("quonda.cfg", std::string("BBS\nquonda.doc\nquonda.bul\n") + kCaller + "\n" + kPassword);
    save(c.who, directory == "quonda.tmp" ? kYesterday : kToday);
    if (c.directory) std::remove(c.name);
    ASSERT_TRUE(!c.directory || mkdir(c.name, 0700) == 0);
    const std::string before = snapshot(), market_before = slurp("quonda.dat");
    const ino_t market_inode = inode("quonda.dat");
    CallerOptions o;
    o.door = std::string(BULLMOOR_BINARY_DIR) + "/tests/bullmoor_test";
    o.work_dir = d.dir;
    o.faketime = "2024-06-15 10:00:00";  // within the default paging hours
    o.link = c.link;
    VirtualCaller caller(o);
    ASSERT_TRUE(caller.start());
    ASSERT_TRUE(walk(caller, c.steps));
    caller.drain(50);
    if (c.end > 0) kill(caller.pid(), c.end);
    if (c.end == kHangUp) caller.hang_up();
    if (c.end == kEnterKey) caller.type("\r");
    EXPECT_EQ(c.exit_code, caller.wait_exit());
    const bool log_file = directory != "quonda.err" && inode("quonda.err") != 0;
    const std::string log = log_file ? slurp("quonda.err") : caller.raw_output();
    EXPECT_TRUE(c.logged == nullptr || log.find(c.logged) != std::string::npos) << log;
    if (c.mode < 0) {
        EXPECT_EQ(market_inode, inode("quonda.dat")) << "the market was written";
        EXPECT_TRUE(snapshot() == before) << "quonda.dat or quonda.plr changed";
        EXPECT_EQ(0u, inode("quonda.bul"));
        return;
    }
    // The market saved (twice on a market day: its inode may come back), or whole if that failed.
    EXPECT_TRUE(directory != "quonda.dat.tmp" || slurp("quonda.dat") == market_before);
    EXPECT_TRUE(directory == "quonda.dat.tmp" || directory == "quonda.tmp" ||
                market_inode != inode("quonda.dat"))
        << "the market was not saved";
    // A returning player keeps the record; a new or rebuilt one has $2000 and 10 IGM, no ALG.
    PlayerRecord stored{};
    int32_t offset = 0;
    ASSERT_EQ(1, find_player(kCaller, stored, offset));
    const bool returning = c.who == Caller::kReturning;
    EXPECT_STREQ(kToday, stored.last_played);
    EXPECT_EQ(c.mode, stored.graphics_mode);
    EXPECT_EQ(returning ? 4 : 1, stored.times_played);
    EXPECT_EQ(returning ? 1000 : 2000, stored.cash);
    EXPECT_EQ(returning ? 0 : 10, stored.holdings[0].count[kCommon]);
    EXPECT_EQ(0, stored.holdings[3].count[kCommon]);
    EXPECT_EQ(0u, slurp("quonda.dat").find(kToday)) << "the market's date";
}

// Before the caller is found and after the start-up reports, the session ends normally and saves;
// a caller lost at the start-up reports ends it with exit code 1 and changes nothing.
TEST(Faults, CallerLostAtAReadSavesWhatTheSessionHadAndNothingMore) {
    const Steps trading = {{"22\r", "STOCK TRADING MENU"}, {"\r\r", "STOCK TYPE SELECTION MENU"}};
    const Steps editor = {{"\x05", "Enter password: "},
                          {std::string(kPassword) + "\r", "MAIN EDITOR MENU"},
                          {"\r", "PLAYER EDIT MENU"}};
    using enum Caller;
    const Call calls[] = {
        {"wiped-out notice", {{"\r", "Notice, you are wiped out."}}, kWipedOut},
        {"new player text", {{"\r", "Please select graphics mode"}, {"2", kEnter}}, kNew, 0, 2},
        {"price report", kPriceReport, kReturning, 1, -1},
        {"margin call", kPriceReport + Steps{{"\r", "NOTICE: MARGIN CALL"}}, kShortCalled, 1, -1},
        {"quantity line", kMainMenu + trading + Steps{{"2\r", "Enter quantity to trade"}}},
        {"player editor, holding quonda.plr", kMainMenu + editor},
        {"exit prompt, after a page",
         kMainMenu + Steps{{"222\r", "Your page has been left"}} + kQuit},
        {"SIGHUP on a socket", kMainMenu, kReturning, 0, 0, SIGHUP},
        {"SIGTERM on a pseudo-terminal", kMainMenu, kReturning, 0, 0, SIGTERM, Link::kStdPty},
        {"caller gone from pipes", kMainMenu, kReturning, 0, 0, kHangUp, Link::kStdPipes},
    };
    for (const Call& c : calls) run_call(c);
}

// A directory where a file should be: the message and an end, never a hang, no save half done.
// With quonda.dat or quonda.plr the session ends at once (exit code 1), else the caller plays.
TEST(Faults, DirectoryInPlaceOfAFileGivesTheMessageAndNeverHangs) {
    const std::tuple<const char*, int, const char*> files[] = {
        {"quonda.dat", 1, "Error [41] - Can't read market info file (quonda.dat)"},
        {"quonda.plr", 1, "Error [43] - Can't open player file (quonda.plr)."},
        {"quonda.cfg", 0, "Warning [40] - Cant't read config file (quonda.cfg)."},
        {"quonda.ttn", 0, "Error [42] - Can't locate title screen file (quonda.ttn)."},
        {"quonda.err", 0, "SCORING SUMMARY"},
        {"quonda.bul", 0, nullptr},
        {"quonda.tmp", 0, nullptr},  // on a market day: the pass's output
        {"quonda.dat.tmp", 0, nullptr},
    };
    for (const auto& [file, exit_code, logged] : files)
        run_call({file, exit_code == 1 ? Steps{} : kMainMenu + kQuit, Caller::kReturning, exit_code,
                  exit_code == 1 ? -1 : 0, kEnterKey, Link::kSocket, true, logged});
}

// Each operation in a child that can neither read the files (mode 000) nor write the directory
// (root drops to an unprivileged user first); the result is the exit code, an alarm ends a hang.
TEST(Faults, UnreadableFilesFailAtOnceAndChangeNothing) {
    static MarketRecord market;
    static PlayerRecord player;
    static int32_t offset;
    const std::pair<int (*)(), int> cases[] = {
        {[] { return load_market(market); }, -1},
        {[] { return find_player(kCaller, player, offset); }, -1},
        {[] { return save_market(market); }, -2},
        {[] { return rewrite_player(player, 0); }, -2},
        {[] { return player_file_pass(market, kToday, kYesterday); }, -1},
        {[] { return log_error(false, "Error - test entry."); }, 0},
    };
    const Dir d;
    save(Caller::kReturning, kYesterday);
    write("quonda.err", "x\n");
    const std::string before = snapshot();
    for (const char* f : {"quonda.dat", "quonda.plr", "quonda.err"}) ASSERT_EQ(0, chmod(f, 0));
    ASSERT_EQ(0, chmod(".", 0555));
    for (size_t i = 0; i < std::size(cases); ++i) {
        const pid_t pid = fork();
        if (pid == 0) {
            alarm(20);
            if (geteuid() == 0 &&
                (setresgid(65534, 65534, 65534) != 0 || setresuid(65534, 65534, 65534) != 0))
                _exit(100);
            _exit(cases[i].first() + 10);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFEXITED(status)) << "case " << i << " ended by signal " << WTERMSIG(status);
        EXPECT_EQ(cases[i].second, WEXITSTATUS(status) - 10) << "case " << i;
    }
    chmod(".", 0700);
    for (const char* name : {"quonda.dat", "quonda.plr"}) chmod(name, 0600);
    EXPECT_TRUE(snapshot() == before) << "quonda.dat or quonda.plr changed";
    EXPECT_EQ(0u, inode("quonda.dat.tmp") + inode("quonda.tmp")) << "a temporary was left";
}

}  // namespace

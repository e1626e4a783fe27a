// Faults around a session of the real game, driven by the virtual caller: hang-ups at the reads of
// session start and play, signals, a caller gone from pipes, files that are directories or cannot
// be read, and the modes of created files. Each case checks what reached quonda.dat and quonda.plr.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
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

// The default exchange on the given date; on these trends a market day moves no price.
MarketRecord market_dated(const char* date) {
    MarketRecord market{};
    (void)build_default_market(market);
    std::snprintf(market.date, sizeof market.date, "%s", date);
    market.general_trend = 5;
    for (CompanyRecord& company : market.companies) std::fill_n(company.trend, kKindCount, 3);
    return market;
}

// Who calls: no record, played yesterday, wiped out (net worth 50, 50 common shares of company
// 3), refused (traded today), or holding a short position that the margin call closes.
enum class Caller { kNew, kReturning, kWipedOut, kTradedToday, kShortCalled };

PlayerRecord stored_player(Caller who, const MarketRecord& market) {
    PlayerRecord p{};
    std::snprintf(p.name, sizeof p.name, "%s", kCaller);
    std::snprintf(p.last_played, sizeof p.last_played, "%s", kYesterday);
    std::snprintf(p.last_traded, sizeof p.last_traded, "%s",
                  who == Caller::kTradedToday ? kToday : kYesterday);
    p.times_played = 3;
    p.cash = p.net_worth = who == Caller::kWipedOut ? 50 : 1000;
    for (int c = 0; c < kCompanyCount; ++c) {
        for (int k = 0; k < kKindCount; ++k)
            p.holdings[c].last_price[k] = market.companies[c].price[k][0];
    }
    if (who == Caller::kWipedOut) p.holdings[3].count[kCommon] = 50;
    if (who == Caller::kShortCalled) p.holdings[2].short_count = 10;
    if (who == Caller::kShortCalled) p.holdings[2].short_price = 1;  // called at any price
    return p;
}

std::string slurp(const std::string& path) {
    std::ostringstream bytes;
    bytes << std::ifstream(path, std::ios::binary).rdbuf();
    return bytes.str();
}

// A fresh working directory with the game's text files, removed at the end.
struct Dir {
    const std::string dir = make_temp_dir("faults");
    Dir() {
        for (const char* name :
             {"quonda.new", "quonda.doc", "quonda.ttn", "quonda.tti", "quonda.ttc"})
            write(name, slurp(std::string(BULLMOOR_SOURCE_DIR) + "/dist/" + name));
    }
    ~Dir() {
        chmod(dir.c_str(), 0700);
        remove_tree(dir);
    }
    std::string path(const std::string& name) const { return dir + "/" + name; }
    std::string read(const std::string& name) const { return slurp(path(name)); }
    std::string snapshot() const { return read("quonda.dat") + read("quonda.plr"); }
    void write(const std::string& name, const std::string& bytes) const {
        std::ofstream(path(name), std::ios::binary | std::ios::trunc) << bytes;
    }
    ino_t inode(const std::string& name) const {
        struct stat info {};
        return stat(path(name).c_str(), &info) == 0 ? info.st_ino : 0;
    }
    // quonda.dat on market_date and quonda.plr holding the caller's record (none when new).
    // The market holds none of the caller's shares as available.
    void save(Caller who, const char* market_date) const {
        MarketRecord market = market_dated(market_date);
        if (who == Caller::kWipedOut) market.companies[3].available[kCommon] -= 50;
        ASSERT_EQ(0, save_market(market, path("quonda.dat").c_str()));
        write("quonda.plr", "");
        if (who != Caller::kNew) {
            ASSERT_EQ(0, rewrite_player(stored_player(who, market), 0, path("quonda.plr").c_str()));
        }
    }
    MarketRecord market() const {
        MarketRecord m{};
        EXPECT_EQ(0, load_market(m, path("quonda.dat").c_str()));
        return m;
    }
    PlayerRecord player() const {
        PlayerRecord p{};
        int32_t offset = 0;
        EXPECT_EQ(1, find_player(kCaller, p, offset, path("quonda.plr").c_str()));
        return p;
    }
};

// One step of a call: the keys typed, then the text the door answers with.
using Steps = std::vector<std::pair<std::string, std::string>>;
Steps operator+(Steps a, const Steps& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Waits for the sign-on screen, then takes the steps; the door is left waiting at the last read.
// A step with no keys waits for more of the answer before it.
::testing::AssertionResult walk(VirtualCaller& caller, const Steps& steps) {
    size_t from = 0, at = 0;
    for (const auto& [keys, text] : Steps{{"", kEnter}} + steps) {
        if (!keys.empty()) from = caller.raw_output().size();
        caller.type(keys);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while ((at = caller.raw_output().find(text, from)) == std::string::npos) {
            if (std::chrono::steady_clock::now() > deadline) {
                return ::testing::AssertionFailure() << "expected \"" << text << "\"\n"
                                                     << caller.screen().dump();
            }
            caller.drain(20);
        }
        from = at + text.size();
    }
    return ::testing::AssertionSuccess();
}

CallerOptions options(const Dir& d, Link link = Link::kSocket) {
    CallerOptions o;
    o.door = std::string(BULLMOOR_BINARY_DIR) + "/tests/bullmoor_test";
    o.work_dir = d.dir;
    o.faketime = "2024-06-15 10:00:00";  // within the default paging hours
    o.link = link;
    return o;
}

// A new player's graphics choice, then the new-player text of 30 lines up to its first page end,
// or to its end.
Steps new_player_text(const char* mode_key, bool to_the_end) {
    Steps steps = {{"\r", "Please select graphics mode (0-2): "},
                   {mode_key, "NEW PLAYER LINE 17"},
                   {"", kEnter}};
    return to_the_end ? steps + Steps{{"\r", "NEW PLAYER LINE 30"}, {"", kEnter}} : steps;
}
const Steps kCapture =
    new_player_text("0", true) + Steps{{"\r", "Enter desired function (1-3): "},
                                       {"2\r", "Setup your capture, then press ENTER..."}};
const Steps kPriceReport = {{"\r", kEnter}, {"\r", "PRICE CHANGES SINCE YOU WERE LAST ON"}};
const Steps kMainMenu = kPriceReport + Steps{{"\r", "Current cash:"}};
const Steps kQuit = {{"1\r", "Sure you want to quit (Y/[N]): "},
                     {"y\r", "Press [ENTER] to exit..."}};
const Steps kTrading = kMainMenu + Steps{{"22\r", "STOCK TRADING MENU"}};
const Steps kEditor = kMainMenu + Steps{{"\x05", "Enter password: "},
                                        {std::string(kPassword) + "\r", "MAIN EDITOR MENU"}};
const Steps kHistory =
    kEditor +
    Steps{{"2\r", "COMPANY EDIT MENU"}, {"2\r", "COMPANY PROFILE MENU"}, {"222\r", "REPLACE MODE"}};

// The caller leaves at a read (hangs up, or a signal comes). Before the caller is found and after
// the start-up reports, the session ends normally and saves; a refused caller and a caller lost
// at the start-up reports (exit code 1) change nothing.
TEST(Faults, CallerLostAtAReadSavesWhatTheSessionHadAndNothingMore) {
    const struct {
        const char* name;
        Caller who;
        Steps steps;  // to the read where the caller is lost
        int exit_code = 0;
        int mode = 0;  // graphics mode saved; -1: nothing saved at all
        Link link = Link::kSocket;
        int signal = 0;  // 0: the caller hangs up
    } cases[] = {
        {"wiped-out notice", Caller::kWipedOut, {{"\r", "Notice, you are wiped out."}}},
        {"refusal", Caller::kTradedToday, {{"\r", "You have already traded stocks today."}}, 0, -1},
        {"new player pager", Caller::kNew, new_player_text("2", false), 0, 2},
        {"capture setup", Caller::kNew, kCapture},
        {"after title", Caller::kReturning, {{"\r", kEnter}}},
        {"price report", Caller::kReturning, kPriceReport, 1, -1},
        {"margin call", Caller::kShortCalled, kPriceReport + Steps{{"\r", "NOTICE: MARGIN CALL"}},
         1, -1},
        {"trading menu", Caller::kReturning, kTrading},
        {"quantity line", Caller::kReturning,
         kTrading +
             Steps{{"\r\r", "STOCK TYPE SELECTION MENU"}, {"2\r", "Enter quantity to trade"}}},
        {"help page", Caller::kReturning,
         kMainMenu + Steps{{"22222\r", "MAIN HELP MENU"}, {"\r", kEnter}}},
        {"player editor, holding quonda.plr", Caller::kReturning,
         kEditor + Steps{{"\r", "PLAYER EDIT MENU"}}},
        {"history editor", Caller::kReturning, kHistory},
        {"exit prompt, after a page", Caller::kReturning,
         kMainMenu + Steps{{"222\r", "Your page has been left"}} + kQuit},
        {"SIGHUP on a socket", Caller::kReturning, kMainMenu, 0, 0, Link::kSocket, SIGHUP},
        {"SIGTERM on a socket", Caller::kReturning, kMainMenu, 0, 0, Link::kSocket, SIGTERM},
        {"SIGTERM on a pseudo-terminal", Caller::kReturning, kMainMenu, 0, 0, Link::kStdPty,
         SIGTERM},
        {"caller gone from pipes", Caller::kReturning, kMainMenu, 0, 0, Link::kStdPipes},
    };
    std::string new_text;
    for (int line = 1; line <= 30; ++line)
        new_text += "NEW PLAYER LINE " + std::to_string(line) + "\r\n";
    const mode_t old_mask = umask(0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Dir d;
        d.write("quonda.new", new_text);
        // The caller is named as the sysop, so the editor is open to them with kPassword.
        d.write("quonda.cfg",
                std::string("BBS\nquonda.doc\nquonda.bul\n") + kCaller + "\n" + kPassword);
        d.save(c.who, kToday);  // no market day: start writes nothing
        const MarketRecord start = d.market();
        const std::string before = d.snapshot();
        const ino_t market_inode = d.inode("quonda.dat");
        VirtualCaller caller(options(d, c.link));
        ASSERT_TRUE(caller.start());
        ASSERT_TRUE(walk(caller, c.steps));
        caller.drain(50);
        if (c.signal != 0) kill(caller.pid(), c.signal);
        if (c.signal == 0) caller.hang_up();
        EXPECT_EQ(c.exit_code, caller.wait_exit());
        EXPECT_EQ(std::string::npos, d.read("quonda.err").find(kPassword));
        if (c.mode < 0) {
            EXPECT_EQ(market_inode, d.inode("quonda.dat")) << "the market was written";
            EXPECT_TRUE(d.snapshot() == before) << "quonda.dat or quonda.plr changed";
            EXPECT_EQ(0u, d.inode("quonda.bul"));
            continue;
        }
        EXPECT_NE(market_inode, d.inode("quonda.dat")) << "the market was not saved";
        EXPECT_NE(std::string::npos, d.read("quonda.bul").find(kCaller));
        const PlayerRecord stored = d.player();
        const MarketRecord saved = d.market();
        EXPECT_STREQ(kToday, stored.last_played);
        EXPECT_EQ(c.mode, stored.graphics_mode);
        // A returning player keeps the record; a new or rebuilt one has $2000 and 10 common
        // shares of companies 0 and 7 from the market, where a wiped-out player's 50 shares of
        // company 3 are back.
        const bool returning = c.who == Caller::kReturning;
        EXPECT_EQ(returning ? 4 : 1, stored.times_played);
        EXPECT_EQ(returning ? 1000 : 2000, stored.cash);
        const int gift = returning ? 0 : 10, back = c.who == Caller::kWipedOut ? 50 : 0;
        const auto available = [](const MarketRecord& m, int company) {
            return m.companies[company].available[kCommon];
        };
        EXPECT_EQ(gift, stored.holdings[0].count[kCommon]);
        EXPECT_EQ(0, stored.holdings[3].count[kCommon]);
        EXPECT_EQ(available(start, 0) - gift, available(saved, 0));
        EXPECT_EQ(available(start, 7) - gift, available(saved, 7));
        EXPECT_EQ(available(start, 3) + back, available(saved, 3));
        // Every file the door wrote is the owner's only (umask 0: modes exactly as asked).
        for (const char* name : {"quonda.dat", "quonda.bul", "quonda.err", "doorpage.log"}) {
            struct stat info {};
            if (stat(d.path(name).c_str(), &info) == 0) {
                EXPECT_EQ(0600u, info.st_mode & 0777) << name;
            }
        }
    }
    umask(old_mask);
}

// A directory where a file should be: the message (in quonda.err, or on the caller's screen when
// the log is the directory) and an end, never a hang. A failed save is none half done.
TEST(Faults, DirectoryInPlaceOfAFileGivesTheMessageAndNeverHangs) {
    const struct {
        const char* directory;
        const char* logged;
        int exit_code;  // 1: at once, after the sign-on screen; 0: the caller plays and quits
    } cases[] = {
        {"quonda.dat", "Error [41] - Can't read market info file (quonda.dat)", 1},
        {"quonda.plr", "Error [43] - Can't open player file (quonda.plr).", 1},
        {"quonda.cfg", "Warning [40] - Cant't read config file (quonda.cfg).", 0},
        {"quonda.ttn", "Error [42] - Can't locate title screen file (quonda.ttn).", 0},
        {"quonda.err", "SCORING SUMMARY", 0},
        {"quonda.bul", "Cant't read config file", 0},
        {"quonda.tmp", "Cant't read config file", 0},  // on a market day: the pass's output
        {"quonda.dat.tmp", "Cant't read config file", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.directory);
        const Dir d;
        const std::string name = c.directory;
        d.save(Caller::kReturning, name == "quonda.tmp" ? kYesterday : kToday);
        std::remove(d.path(name).c_str());
        ASSERT_EQ(0, mkdir(d.path(name).c_str(), 0700));
        const std::string before = d.snapshot(), market_before = d.read("quonda.dat");
        VirtualCaller caller(options(d));
        ASSERT_TRUE(caller.start());
        ASSERT_TRUE(walk(caller, c.exit_code == 1 ? Steps{} : kMainMenu + kQuit));
        caller.type("\r");
        EXPECT_EQ(c.exit_code, caller.wait_exit());
        const bool logged = name != "quonda.err" && d.inode("quonda.err") != 0;
        const std::string log = logged ? d.read("quonda.err") : caller.raw_output();
        EXPECT_NE(std::string::npos, log.find(c.logged)) << log;
        if (c.exit_code == 1) {
            EXPECT_TRUE(d.snapshot() == before) << "quonda.dat or quonda.plr changed";
            continue;
        }
        // No save half done; on the market day the update ran but the pass could not: quonda.plr
        // still holds the one record, saved at the end.
        EXPECT_TRUE(name != "quonda.dat.tmp" || d.read("quonda.dat") == market_before);
        EXPECT_STREQ(kToday, d.market().date);
        EXPECT_EQ(static_cast<size_t>(kPlayerBytes), d.read("quonda.plr").size());
        EXPECT_STREQ(kToday, d.player().last_played);
    }
}

MarketRecord g_market;
PlayerRecord g_player;
int32_t g_offset;

// Each operation runs in a child that can neither read the files (mode 000) nor write the
// directory (as root it drops to an unprivileged user first). Its result comes back as the exit
// code; an alarm turns a hang into a failure.
TEST(Faults, UnreadableFilesFailAtOnceAndChangeNothing) {
    const struct {
        const char* name;
        int (*operation)();
        int expected;
    } cases[] = {
        {"load_market", [] { return load_market(g_market); }, -1},
        {"find_player", [] { return find_player(kCaller, g_player, g_offset); }, -1},
        {"save_market", [] { return save_market(g_market); }, -2},
        {"rewrite_player", [] { return rewrite_player(g_player, 0); }, -2},
        {"player_file_pass", [] { return player_file_pass(g_market, kToday, kYesterday); }, -1},
        {"log_error", [] { return log_error(false, "Error - test entry."); }, 0},
    };
    const Dir d;
    d.save(Caller::kReturning, kYesterday);
    g_market = market_dated(kToday);
    g_player = stored_player(Caller::kReturning, g_market);
    d.write("quonda.err", "x\n");
    const std::string before = d.snapshot();
    for (const char* name : {"quonda.dat", "quonda.plr", "quonda.err"})
        ASSERT_EQ(0, chmod(d.path(name).c_str(), 0));
    ASSERT_EQ(0, chmod(d.dir.c_str(), 0555));
    for (const auto& c : cases) {
        const pid_t pid = fork();
        if (pid == 0) {
            alarm(20);
            if (geteuid() == 0 &&
                (setresgid(65534, 65534, 65534) != 0 || setresuid(65534, 65534, 65534) != 0))
                _exit(100);
            _exit(chdir(d.dir.c_str()) != 0 ? 101 : c.operation() + 10);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFEXITED(status)) << c.name << " ended by signal " << WTERMSIG(status);
        EXPECT_EQ(c.expected, WEXITSTATUS(status) - 10) << c.name;
    }
    chmod(d.dir.c_str(), 0700);
    for (const char* name : {"quonda.dat", "quonda.plr"}) chmod(d.path(name).c_str(), 0600);
    EXPECT_TRUE(d.snapshot() == before) << "quonda.dat or quonda.plr changed";
    EXPECT_EQ(0u, d.inode("quonda.dat.tmp") + d.inode("quonda.tmp")) << "a temporary was left";
}

}  // namespace

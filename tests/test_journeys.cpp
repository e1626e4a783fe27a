// Whole sessions of the real game, driven by the virtual caller over a socket in a temporary
// working directory with a set clock: a first visit, a returning player after a market day, a
// margin call's wipe-out, refusals, time-outs, the main menu on screen and the editor login.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "data/codec.h"
#include "data/dates.h"
#include "data/records.h"
#include "market/market.h"
#include "session/time_control.h"
#include "vcaller/caller.h"

namespace {

constexpr const char* kToday = "2024-06-15 10:00:00";  // a Saturday; date text "Jun 15 2024"
constexpr const char* kTodayText = "Jun 15 2024";
constexpr const char* kYesterdayText = "Jun 14 2024";
constexpr const char* kCaller = "TEST CALLER";  // the virtual caller's "Test Caller", upper case
constexpr const char* kEnterPrompt = "Press [ENTER] to continue...";
constexpr const char* kAsciiTitle = "T H E   S T O C K";  // the title screen's art in mode 0
constexpr const char* kIbmTitle = "\u2554\u2550\u2550";   // and in modes 1 and 2

void set_text(char* field, size_t size, const char* text) {
    std::memset(field, 0, size);
    std::memcpy(field, text, strnlen(text, size - 1));
}

// The default exchange dated `date`, on trends (3, general 5) at which a market day moves no price.
MarketRecord market_dated(const char* date) {
    MarketRecord market{};
    (void)build_default_market(market);
    set_text(market.date, sizeof market.date, date);
    market.general_trend = 5;
    for (CompanyRecord& company : market.companies) std::fill_n(company.trend, kKindCount, 3);
    return market;
}

// A returning player who last played and traded yesterday, prices noted at the market's.
PlayerRecord returning_player(const MarketRecord& market) {
    PlayerRecord player{};
    set_text(player.name, sizeof player.name, kCaller);
    set_text(player.last_played, sizeof player.last_played, kYesterdayText);
    set_text(player.last_traded, sizeof player.last_traded, kYesterdayText);
    player.times_played = 3;
    player.cash = 1000;
    player.net_worth = 5000;  // well above a wipe-out
    for (int c = 0; c < kCompanyCount; ++c) {
        for (int k = 0; k < kKindCount; ++k)
            player.holdings[c].last_price[k] = market.companies[c].price[k][0];
    }
    return player;
}

std::string contents(const std::string& path) {
    std::ostringstream bytes;
    bytes << std::ifstream(path, std::ios::binary).rdbuf();
    return bytes.str();
}

void write_file(const std::string& name, const std::string& bytes) {
    std::ofstream(name, std::ios::binary | std::ios::trunc) << bytes;
}

// Each journey in its own working directory, entered for the test, with the game's text files.
class Journey : public ::testing::Test {
  protected:
    void SetUp() override {
        // Under AddressSanitizer the door (which inherits this) must accept libfaketime first.
        const char* asan = std::getenv("ASAN_OPTIONS");
        setenv("ASAN_OPTIONS",
               (std::string(asan != nullptr ? asan : "") + ":verify_asan_link_order=0").c_str(), 1);
        std::filesystem::current_path(dir_);
        for (const char* f : {"quonda.new", "quonda.doc", "quonda.ttn", "quonda.tti", "quonda.ttc"})
            write_file(f, contents(std::string(BULLMOOR_SOURCE_DIR) + "/dist/" + f));
    }
    void TearDown() override {
        std::filesystem::current_path(BULLMOOR_BINARY_DIR);
        remove_tree(dir_);
    }
    static void save(const MarketRecord& market, const PlayerRecord& player) {
        ASSERT_EQ(0, save_market(market));
        write_file("quonda.plr", "");
        ASSERT_EQ(0, rewrite_player(player, 0));
    }
    // Today's market and the returning caller, changed by `change` first.
    static void save_returning(
        const std::function<void(MarketRecord&, PlayerRecord&)>& change = nullptr) {
        MarketRecord market = market_dated(kTodayText);
        PlayerRecord player = returning_player(market);
        if (change != nullptr) change(market, player);
        save(market, player);
    }
    // The caller's record, which quonda.plr holds alone.
    static PlayerRecord stored() {
        PlayerRecord p{};
        int32_t at = 0;
        EXPECT_EQ(1, find_player(kCaller, p, at));
        EXPECT_EQ(contents("quonda.plr").size(), static_cast<size_t>(kPlayerBytes));
        return p;
    }
    CallerOptions options(const char* clock = kToday) const {
        CallerOptions o;
        o.door = std::string(BULLMOOR_BINARY_DIR) + "/tests/bullmoor_test";
        o.work_dir = dir_;
        o.faketime = clock;
        return o;
    }

    const std::string dir_ = make_temp_dir("journey");
};

// Starts the door and passes the sign-on screen.
void sign_on(VirtualCaller& caller) {
    ASSERT_TRUE(caller.start());
    ASSERT_TRUE(caller.shows("Requires ANSI/VT100 support", 5, 0));
    ASSERT_TRUE(caller.shows(kEnterPrompt, 23, 2));
    caller.type("\r");
}

// From a returning player's title screen to the price report's Enter prompt.
void title_and_price_report(VirtualCaller& caller, const char* art = kAsciiTitle) {
    ASSERT_TRUE(caller.shows(art));
    ASSERT_TRUE(caller.shows(kEnterPrompt, 23, 2));
    caller.type("\r");
    ASSERT_TRUE(caller.shows("PRICE CHANGES SINCE YOU WERE LAST ON", 4, 20));
    ASSERT_TRUE(caller.shows(kEnterPrompt, 22, 26));
}

void to_main_menu(VirtualCaller& caller) {
    ASSERT_NO_FATAL_FAILURE(sign_on(caller));
    ASSERT_NO_FATAL_FAILURE(title_and_price_report(caller));
    caller.type("\r");
    ASSERT_TRUE(caller.shows("MAIN COMMAND MENU", 14, 31));
    ASSERT_TRUE(caller.shows("Current cash:", 23, 2));
}

// Exit BMR (End, Enter), confirm, and leave the scoring summary.
void quit(VirtualCaller& caller) {
    caller.type("1\r");
    ASSERT_TRUE(caller.shows("Sure you want to quit (Y/[N]): ", 23, 2));
    caller.type("y\r");
    ASSERT_TRUE(caller.shows("SCORING SUMMARY"));
    ASSERT_TRUE(caller.shows("Press [ENTER] to exit..."));
    caller.type("\r");
}

// Waits (at least 5 s) until the bytes received after `from` hold text.
::testing::AssertionResult sent_after(VirtualCaller& caller, size_t from, const std::string& text) {
    for (int polls = 0; caller.raw_output().find(text, from) == std::string::npos; ++polls) {
        if (polls == 100)
            return ::testing::AssertionFailure() << "expected " << text << caller.screen().dump();
        caller.drain(50);
    }
    return ::testing::AssertionSuccess();
}

TEST_F(Journey, NewPlayerFirstVisit) {
    VirtualCaller caller(options());
    ASSERT_NO_FATAL_FAILURE(sign_on(caller));
    ASSERT_TRUE(caller.shows("PLAYER GRAPHICS MODE SETTINGS", 4, 8));
    ASSERT_TRUE(caller.shows("[2] IBM exteded w/color", 8, 13));
    ASSERT_TRUE(caller.shows("Please select graphics mode (0-2): ", 10, 8));
    caller.type("x92");  // only 0, 1 and 2 are taken
    ASSERT_TRUE(caller.shows("Welcome to Bullmoor, the stock exchange of this board.", 4, 2));
    ASSERT_TRUE(caller.shows(kEnterPrompt, 23, 2));
    const VirtualScreen& s = caller.screen();
    EXPECT_EQ(s.text(1, 32, 15), "B U L L M O O R") << s.dump();
    caller.type("\r");

    // The documentation menu asks again after a wrong choice; a capture sends the whole file.
    ASSERT_TRUE(caller.shows("Enter desired function (1-3): ", 10, 2));
    caller.type("9\r");
    ASSERT_TRUE(caller.shows("Enter desired function (1-3): ", 11, 2));
    caller.type("2\r");
    ASSERT_TRUE(caller.shows("Setup your capture, then press ENTER..."));
    const size_t from = caller.raw_output().size();
    caller.type("\r");
    ASSERT_TRUE(sent_after(caller, from, "Documentation complete, terminate capture then press"));
    EXPECT_EQ(caller.raw_output().find(contents("quonda.doc"), from), from);
    caller.type("\r");
    ASSERT_TRUE(caller.shows(kEnterPrompt, 23, 2));
    EXPECT_FALSE(s.contains("Editor access granted")) << s.dump();
    caller.type("\r");

    ASSERT_TRUE(caller.shows("PRICE CHANGES SINCE YOU WERE LAST ON", 4, 20));
    ASSERT_TRUE(caller.shows(kEnterPrompt, 22, 26));
    EXPECT_EQ(s.text(8, 12, 3) + s.text(8, 21, 27), "IGM      -         0.00       ") << s.dump();
    caller.type("\r");
    // The gift shares: 10 IGM at 145 and 10 MMC at 26.
    ASSERT_TRUE(caller.shows("Current cash: $2000", 23, 2));
    EXPECT_EQ(s.text(2, 8, 3) + s.text(2, 32, 12) + s.text(9, 8, 3) + s.text(9, 32, 12),
              "IGM     10/$145MMC     10/$ 26")
        << s.dump();
    ASSERT_NO_FATAL_FAILURE(quit(caller));
    EXPECT_EQ(caller.wait_exit(), 0) << caller.stderr_text();

    const PlayerRecord p = stored();
    EXPECT_EQ(p.graphics_mode, 2);
    EXPECT_EQ(p.net_worth, 3710);  // 2000 + 10 x 145 + 10 x 26
    EXPECT_EQ(std::string(p.last_played) + "/" + p.last_traded, "Jun 15 2024/Jan 01 1900");
    EXPECT_EQ(0u, contents("quonda.dat").find(kTodayText)) << "the market's date";
}

TEST_F(Journey, ReturningPlayerAfterSplitsCrashesAndAMonthEnd) {
    // Yesterday was May 31: today's update splits IGM (common and preferred at 1000, split price
    // 400), crashes SSI's options (-50) and BBM's common (-100, a rebirth), and starts June.
    MarketRecord start = market_dated("May 31 2024");
    start.companies[0].price[kCommon][0] = start.companies[0].price[kPreferred][0] = 1000;
    start.companies[8].price[kOptions][0] = -50;
    start.companies[9].price[kCommon][0] = -100;
    PlayerRecord p = returning_player(start);
    set_text(p.last_played, 12, "May 31 2024");
    set_text(p.last_traded, 12, "May 31 2024");
    p.holdings[0].count[kCommon] = 100;
    p.holdings[0].count[kPreferred] = 10;
    p.holdings[8].count[kOptions] = 30;
    p.holdings[9].count[kCommon] = 50;
    p.holdings[9].short_count = 10;
    p.holdings[9].short_price = 41;
    p.holdings[3].count[kBonds] = 2;
    p.holdings[1].last_price[kCommon] = 80;  // now 75
    p.holdings[7].last_price[kCommon] = 20;  // now 26
    save(start, p);

    VirtualCaller caller(options("2024-06-01 10:00:00"));
    ASSERT_NO_FATAL_FAILURE(sign_on(caller));
    ASSERT_NO_FATAL_FAILURE(title_and_price_report(caller));
    const VirtualScreen& s = caller.screen();
    SCOPED_TRACE(s.dump());
    // Rows 8..19 are companies 0..11; cells start at columns 21, 34, 48 and 61.
    EXPECT_EQ(s.text(8, 21, 47), "  SPLIT        SPLIT         SPLIT        SPLIT");
    EXPECT_EQ(s.text(9, 34, 7) + s.text(11, 61, 7) + s.text(15, 34, 7), "  -5.00   0.00   6.00");
    EXPECT_EQ(s.text(16, 21, 20), "CRASHED         0.00");
    EXPECT_EQ(s.text(17, 21, 20) + s.text(17, 54, 1), "CRASHED      CRASHED-");
    caller.type("\r");

    // 1000 + 615 (short BBM settled: 410 + 205) + 2000 (two ALG bonds at the guaranteed 1000)
    // + 2000 (IGM common dividend: 500 x 200 / 50) + 400 (IGM preferred: 500 x 20 / 25).
    ASSERT_TRUE(caller.shows("Current cash: $6015", 23, 2));
    EXPECT_EQ(s.text(2, 32, 12), "    200/$500");
    ASSERT_NO_FATAL_FAILURE(quit(caller));
    EXPECT_EQ(caller.wait_exit(), 0);

    const PlayerRecord q = stored();
    EXPECT_EQ(q.cash, 6015);
    EXPECT_EQ(q.holdings[0].count[kCommon], 200);
    EXPECT_EQ(q.holdings[0].count[kPreferred], 20);
    EXPECT_EQ(q.holdings[8].count[kOptions] + q.holdings[9].count[kCommon], 0);
    EXPECT_EQ(q.holdings[9].short_count + q.holdings[3].count[kBonds], 0);
}

// CCC's common at 70 calls 100 short at 50 (cost 7000): with no cash and one IGM share the caller
// is wiped out, the session ends normally, and the next visit starts afresh in the caller's mode.
TEST_F(Journey, AMarginCallWipesOutAndTheNextVisitStartsAfresh) {
    save_returning([](MarketRecord& m, PlayerRecord& p) {
        m.companies[6].price[kCommon][0] = 70;
        p.holdings[6].short_count = 100;
        p.holdings[6].short_price = 50;
        p.holdings[0].count[kCommon] = 1;
        p.cash = 0;
        p.graphics_mode = 1;
    });
    VirtualCaller caller(options());
    ASSERT_NO_FATAL_FAILURE(sign_on(caller));
    ASSERT_NO_FATAL_FAILURE(title_and_price_report(caller, kIbmTitle));
    caller.type("\r");
    ASSERT_TRUE(caller.shows("NOTICE: MARGIN CALL", 4, 29));
    ASSERT_TRUE(caller.shows(kEnterPrompt));
    const VirtualScreen& s = caller.screen();
    EXPECT_EQ(s.text(8, 26, 35), "CCC              100        7000.00") << s.dump();
    EXPECT_EQ(s.text(9, 0, 51), "        Insufficient Funds, selling holdings in IGM");
    EXPECT_EQ(s.text(11, 0, 45), "        Insufficient Funds, you are wiped out") << s.dump();
    caller.type("\r");
    ASSERT_TRUE(caller.shows("Press [ENTER] to exit..."));
    caller.type("\r");
    EXPECT_EQ(caller.wait_exit(), 0);
    const PlayerRecord wiped = stored();
    EXPECT_EQ(wiped.cash + wiped.net_worth + wiped.holdings[0].count[kCommon], 0);
    EXPECT_EQ(wiped.holdings[6].short_count, 0);

    VirtualCaller again(options("2024-06-15 11:00:00"));
    ASSERT_NO_FATAL_FAILURE(sign_on(again));
    ASSERT_TRUE(sent_after(again, 0, " Notice, you are wiped out. Creating new portfolio..."));
    ASSERT_TRUE(again.shows(kEnterPrompt, 23, 2));
    again.type("\r");
    ASSERT_NO_FATAL_FAILURE(title_and_price_report(again, kIbmTitle));
    EXPECT_EQ(again.raw_output().find("PLAYER GRAPHICS MODE SETTINGS"), std::string::npos);
    again.type("\r");
    ASSERT_TRUE(again.shows("Current cash: $2000", 23, 2));
    ASSERT_NO_FATAL_FAILURE(quit(again));
    EXPECT_EQ(again.wait_exit(), 0);
    EXPECT_EQ(stored().graphics_mode, 1);
}

// quonda.tim: tiers at rules[0], 100, ... 700; the first's minutes, games, wait, all-day period.
std::string time_control_bytes(const int16_t (&rules)[5]) {
    if (rules[0] < 0) return std::string(100, '\0');  // a file too short
    std::string out;
    auto put = [&](int32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    put(0, 4);
    put(86399, 4);
    for (int field = 0; field < 4; ++field) {
        for (int t = 0; t < 8; ++t) put(t == 0 ? rules[field] : field == 0 ? 100 * t : 0, 2);
    }
    for (int period = 0; period < 8; ++period) {
        put(0, 4);
        for (int t = 0; t < 8; ++t) put(period == 0 && t == 0 ? rules[4] : 0, 2);
    }
    return out;
}

// Refusals end with exit code 1 and save nothing; the one for a trade today waits for Enter. A
// caller who hangs up at the sign-on screen on a market day ends with 0, and nothing is written.
TEST_F(Journey, RefusalsAndAnEarlyHangUpWriteNothing) {
    const std::string later = "\r\n        Try again later.\r\n";
    const std::string tmrw = "\r\n        Try again tomorrow.\r\n";
    const struct {
        int16_t tim[5];  // quonda.tim: first level, minutes, games and wait a day, period minutes
        int32_t ses[3];  // today's earlier sessions in quonda.ses: count, seconds, end of the last
        std::string told;  // what the caller is told; empty: the caller hangs up
    } cases[] = {
        {{10, 0, 5, 0, 60},
         {},
         "traded stocks today.\r\n        You may only do this once per day."},
        {{20, 0, 0, 0, 60}, {}, "        You do not have the access level to play this game.\r\n"},
        {{10, 0, 0, 0, 0}, {}, "access level to play during this time period." + later},
        {{-1}, {}, "Error [42] - Error in time control file (quonda.tim)."},
        {{10, 0, 2, 0, 60}, {2, 60, 3600}, "You have exceeded your daily game limit." + tmrw},
        {{10, 30, 0, 0, 60}, {1, 1800, 3600}, "You have exceeded your daily time limit." + tmrw},
        {{10, 0, 0, 15, 60}, {1, 60, 35700}, "not waited sufficient time between games." + later},
        {{}, {}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.told.empty() ? "hang-up" : c.told);
        const bool hang_up = c.told.empty(),
                   traded_today = c.told.find("traded") != std::string::npos;
        for (const char* name : {"quonda.tim", kSessionEndFile}) std::remove(name);
        const MarketRecord start = market_dated(hang_up ? kYesterdayText : kTodayText);
        PlayerRecord p = returning_player(start);
        if (traded_today) set_text(p.last_traded, 12, kTodayText);
        if (c.ses[0] > 0) set_text(p.last_played, 12, kTodayText);
        for (int i = 0; i < c.ses[0]; ++i)
            store_session_end(kCaller, kTodayText, c.ses[2], c.ses[1] / c.ses[0]);
        save(start, p);
        if (c.tim[0] != 0) write_file("quonda.tim", time_control_bytes(c.tim));
        const std::string before =
            contents("quonda.dat") + contents("quonda.plr") + contents(kSessionEndFile);
        VirtualCaller caller(options());
        ASSERT_TRUE(caller.start());
        ASSERT_TRUE(caller.shows(kEnterPrompt, 23, 2));  // the sign-on screen
        caller.type(hang_up ? "" : traded_today ? "\r\r" : "\r");
        if (hang_up) caller.hang_up();
        EXPECT_EQ(caller.wait_exit(), hang_up ? 0 : 1) << caller.screen().dump();
        EXPECT_NE(caller.raw_output().find(c.told), std::string::npos);
        EXPECT_EQ(caller.raw_output().find("SCORING SUMMARY"), std::string::npos);
        EXPECT_TRUE(contents("quonda.dat") + contents("quonda.plr") + contents(kSessionEndFile) ==
                    before);
        EXPECT_EQ(contents("quonda.bul"), "");
    }
}

// Left alone at the main menu or the quit question, the session ends normally and saves. The door's
// clock runs 40 times fast (poll time-outs too), so the 200-second inactivity limit takes 5 s.
TEST_F(Journey, ATimeOutEndsNormallyWithTheRecordSaved) {
    const std::pair<const char*, bool> cases[] = {
        {"No keyboard activity, termination game...", false},
        {"ERROR - NO TERMINAL ACTIVITY, TERMINATING GAME!!!", true}};
    for (const auto& [message, at_quit_question] : cases) {
        SCOPED_TRACE(message);
        save_returning();
        CallerOptions o = options();
        o.env = {{"FAKETIME", std::string("@") + kToday + " x40"}, {"DONT_FAKE_MONOTONIC", "0"}};
        VirtualCaller caller(o);
        ASSERT_NO_FATAL_FAILURE(to_main_menu(caller));
        if (at_quit_question) caller.type("1\r");
        EXPECT_TRUE(!at_quit_question || caller.wait_for("Sure you want to quit (Y/[N]): ", 23, 2));
        const size_t idle_from = caller.raw_output().size();
        ASSERT_TRUE(caller.shows("Press [ENTER] to exit...", -1, -1, 30000));
        EXPECT_NE(caller.raw_output().find(message, idle_from), std::string::npos);
        caller.type("\r");
        EXPECT_EQ(caller.wait_exit(), 0);
        EXPECT_EQ(stored().times_played, 4);
    }
}

// The main menu's screen with the cursor on item, in mode 0 (bars of "=", marker "[+]") or 1 (bars
// of "\u2550", marker "[\u2666]"), without colour.
::testing::AssertionResult standard_screen(VirtualCaller& caller, int mode, int item) {
    const VirtualScreen& s = caller.screen();
    const std::string bar = mode == 0 ? "=" : "\u2550", marker = mode == 0 ? "[+]" : "[\u2666]";
    const std::string names[] = {"Brokers Report", "Company Profile", "Trade Stocks",
                                 "Page SysOp",     "Change graphics", "Help",
                                 "Exit BMR"};
    std::string items, expected;
    for (int i = 0; i < 7; ++i) {
        items +=
            s.text(15 + i, 30, 3) + s.text(15 + i, 34, static_cast<int>(names[i].size())) + "|";
        expected += (i == item ? marker : "[ ]") + names[i] + "|";
    }
    const bool ok = s.text(0, 2, 1) + s.text(14, 2, 1) + s.text(22, 2, 1) == bar + bar + bar &&
                    s.text(14, 31, 17) == "MAIN COMMAND MENU" && s.text(2, 8, 3) == "IGM" &&
                    items == expected && s.bold(15 + item, 31) && s.bg(14, 10) != 2 &&
                    s.text(23, 0, 21) == "  Current cash: $1000";
    if (ok) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "mode " << mode << ", item " << item << "\n"
                                         << s.dump();
}

// The sysop (by name) at the main menu in mode 0: a cursor key, a change to mode 1 with the whole
// screen back in it; then three wrong passwords for the editor end the session normally, logged.
TEST_F(Journey, MainMenuKeysGraphicsChangeAndThreeWrongPasswords) {
    save_returning();
    write_file("quonda.cfg", "Test BBS\r\nquonda.doc\r\nquonda.bul\r\nTest Caller\r\nSecret\r\n");
    VirtualCaller caller(options());
    ASSERT_NO_FATAL_FAILURE(to_main_menu(caller));
    EXPECT_NE(caller.raw_output().find("Editor access granted...\r\n"
                                       "Enter CTRL E in main menu to enter the editor."),
              std::string::npos);
    ASSERT_TRUE(standard_screen(caller, 0, 0));
    caller.type("\x1b[B");  // the keys arrive as the terminal sends them
    ASSERT_TRUE(caller.shows("[+]", 16, 30));
    caller.type("111\x1b[A\x1b[A\r");  // Change graphics
    ASSERT_TRUE(caller.shows("GRAPHICS SELECTION MENU", 14, 28));
    caller.type("2\r");
    ASSERT_TRUE(caller.shows("MAIN COMMAND MENU", 14, 31));
    ASSERT_TRUE(caller.shows("Current cash: $1000", 23, 2));
    caller.drain(100);
    EXPECT_TRUE(standard_screen(caller, 1, 4));

    caller.type("7");  // the login comes back to this item
    ASSERT_TRUE(caller.shows("[\u2666]", 15, 30));
    for (const char* attempt : {"secret", "SECRET", "Secret "}) {
        caller.type("\x05");
        ASSERT_TRUE(caller.shows("Enter password: ", 23, 2));
        EXPECT_EQ(caller.screen().text(15, 30, 3), "[\u2666]");
        EXPECT_FALSE(caller.screen().bold(15, 31)) << caller.screen().dump();
        const size_t before = caller.raw_output().size();
        caller.type(std::string(attempt) + "\r");
        ASSERT_TRUE(sent_after(caller, before, "  Wrong password.  Access Denied!\a"));
        EXPECT_TRUE(std::string(attempt) == "Secret " ||
                    caller.wait_for("Current cash: $1000", 23, 2));
    }
    ASSERT_TRUE(sent_after(caller, 0, "  Too many attempts, aborting game!\a"));
    ASSERT_TRUE(caller.shows("SCORING SUMMARY"));
    caller.type("\r");
    EXPECT_EQ(caller.wait_exit(), 0);
    const std::string entry = "Jun 15 2024   TEST CALLER\n->Unauthorized attempt to enter editor!";
    EXPECT_EQ(contents("quonda.err"), entry + entry + entry);
    EXPECT_EQ(stored().graphics_mode, 1);  // a normal end: saved
}

}  // namespace

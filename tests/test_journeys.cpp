// Whole sessions of the real game, driven by the virtual caller over a socket in a temporary
// working directory with a set clock: a first visit, a returning player after a market day,
// margin calls, refusals, hang-ups and time-outs, the main menu on screen and the editor login.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

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

class Journey : public ::testing::Test {
  protected:
    void SetUp() override {
        // Under AddressSanitizer the door has to accept libfaketime loaded ahead of the
        // sanitizer's runtime; the door inherits this process's environment.
        const char* asan = std::getenv("ASAN_OPTIONS");
        if (asan == nullptr || std::strstr(asan, "verify_asan_link_order") == nullptr) {
            const std::string options = std::string(asan != nullptr ? asan : "");
            setenv("ASAN_OPTIONS", (options + ":verify_asan_link_order=0").c_str(), 1);
        }
        ASSERT_FALSE(dir_.empty());
        for (const char* name :
             {"quonda.new", "quonda.doc", "quonda.ttn", "quonda.tti", "quonda.ttc"}) {
            write_file(name, read_file(std::string(BULLMOOR_SOURCE_DIR) + "/dist/" + name));
        }
    }
    void TearDown() override { remove_tree(dir_); }

    static std::string read_file(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::string contents(const std::string& name) const { return read_file(dir_ + "/" + name); }
    void write_file(const std::string& name, const std::string& bytes) const {
        std::ofstream(dir_ + "/" + name, std::ios::binary | std::ios::trunc) << bytes;
    }

    // The default exchange dated `date`, every traded trend 3 and the general trend 5: on
    // those trends every entry of the price-move table is 0, so a market day moves no price.
    static MarketRecord market_dated(const char* date) {
        MarketRecord market{};
        (void)build_default_market(market);
        set_text(market.date, sizeof market.date, date);
        market.general_trend = 5;
        for (CompanyRecord& company : market.companies) {
            for (int16_t& trend : company.trend) trend = 3;
        }
        return market;
    }
    // A returning player who last played and traded yesterday, prices noted at the market's.
    static PlayerRecord returning_player(const MarketRecord& market, const char* name = kCaller) {
        PlayerRecord player{};
        set_text(player.name, sizeof player.name, name);
        set_text(player.last_played, sizeof player.last_played, kYesterdayText);
        set_text(player.last_traded, sizeof player.last_traded, kYesterdayText);
        player.times_played = 3;
        player.cash = 1000;
        player.net_worth = 5000;
        for (int c = 0; c < kCompanyCount; ++c) {
            for (int k = 0; k < kKindCount; ++k) {
                player.holdings[c].last_price[k] = market.companies[c].price[k][0];
            }
        }
        return player;
    }
    void save(const MarketRecord& market, const std::vector<PlayerRecord>& players) const {
        std::string bytes(kMarketBytes, '\0');
        encode_market(market, reinterpret_cast<unsigned char*>(bytes.data()));
        write_file("quonda.dat", bytes);
        bytes.assign(players.size() * kPlayerBytes, '\0');
        for (size_t i = 0; i < players.size(); ++i) {
            encode_player(players[i], reinterpret_cast<unsigned char*>(&bytes[i * kPlayerBytes]));
        }
        write_file("quonda.plr", bytes);
    }
    // Today's market and the returning caller, changed by `change` first.
    void save_returning(
        const std::function<void(MarketRecord&, PlayerRecord&)>& change = nullptr) const {
        MarketRecord market = market_dated(kTodayText);
        PlayerRecord player = returning_player(market);
        if (change != nullptr) change(market, player);
        save(market, {player});
    }
    MarketRecord market() const {
        const std::string bytes = contents("quonda.dat");
        MarketRecord market{};
        EXPECT_EQ(bytes.size(), static_cast<size_t>(kMarketBytes));
        if (bytes.size() == static_cast<size_t>(kMarketBytes)) {
            decode_market(reinterpret_cast<const unsigned char*>(bytes.data()), market);
        }
        return market;
    }
    std::vector<PlayerRecord> players() const {
        const std::string bytes = contents("quonda.plr");
        EXPECT_EQ(bytes.size() % kPlayerBytes, 0u);
        std::vector<PlayerRecord> out(bytes.size() / kPlayerBytes);
        for (size_t i = 0; i < out.size(); ++i) {
            decode_player(reinterpret_cast<const unsigned char*>(&bytes[i * kPlayerBytes]), out[i]);
        }
        return out;
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

void sign_on(VirtualCaller& caller) {
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

void to_main_menu(VirtualCaller& caller, const char* art = kAsciiTitle) {
    ASSERT_NO_FATAL_FAILURE(sign_on(caller));
    ASSERT_NO_FATAL_FAILURE(title_and_price_report(caller, art));
    caller.type("\r");
    ASSERT_TRUE(caller.shows("MAIN COMMAND MENU", 14, 31));
    ASSERT_TRUE(caller.shows("Current cash:", 23, 2));
}

// Exit BMR, confirm, and leave the scoring summary.
void quit(VirtualCaller& caller, const char* marker = "[+]") {
    caller.type("1");
    ASSERT_TRUE(caller.shows(marker, 21, 30));
    caller.type("\r");
    ASSERT_TRUE(caller.shows("Sure you want to quit (Y/[N]): ", 23, 2));
    caller.type("y\r");
    ASSERT_TRUE(caller.shows("SCORING SUMMARY"));
    ASSERT_TRUE(caller.shows("Press [ENTER] to exit..."));
    caller.type("\r");
}

// Waits until the bytes received after `from` hold text.
::testing::AssertionResult sent_after(VirtualCaller& caller, size_t from, const std::string& text) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (caller.raw_output().find(text, from) == std::string::npos) {
        if (std::chrono::steady_clock::now() > deadline) {
            return ::testing::AssertionFailure() << "expected \"" << text << "\" to be sent\n"
                                                 << caller.screen().dump();
        }
        caller.drain(50);
    }
    return ::testing::AssertionSuccess();
}

TEST_F(Journey, NewPlayerFirstVisit) {
    VirtualCaller caller(options());
    ASSERT_TRUE(caller.start());
    ASSERT_NO_FATAL_FAILURE(sign_on(caller));
    ASSERT_TRUE(caller.shows("PLAYER GRAPHICS MODE SETTINGS", 4, 8));
    ASSERT_TRUE(caller.shows("[2] IBM exteded w/color", 8, 13));
    ASSERT_TRUE(caller.shows("Please select graphics mode (0-2): ", 10, 8));
    caller.type("x9");  // only 0, 1 and 2 are taken
    caller.type("2");
    ASSERT_TRUE(caller.shows("Welcome to Bullmoor, the stock exchange of this board.", 4, 2));
    ASSERT_TRUE(caller.shows(kEnterPrompt, 23, 2));
    const VirtualScreen& s = caller.screen();
    EXPECT_EQ(s.text(1, 32, 15), "B U L L M O O R") << s.dump();
    caller.type("\r");

    // The documentation menu asks again after a wrong choice; a capture sends the whole file.
    ASSERT_TRUE(caller.shows("Documentation Capture/View", 4, 2));
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
    ASSERT_NO_FATAL_FAILURE(quit(caller, "[\u2666]"));
    EXPECT_EQ(caller.wait_exit(), 0) << caller.stderr_text();
    EXPECT_NE(caller.raw_output().find("TEST you started with a net worth of 3710."),
              std::string::npos);
    EXPECT_NE(caller.raw_output().find("Returning to BBS...."), std::string::npos);

    const std::vector<PlayerRecord> stored = players();
    ASSERT_EQ(stored.size(), 1u);  // the first player sits at offset 0
    const PlayerRecord& p = stored[0];
    EXPECT_STREQ(p.name, kCaller);
    EXPECT_EQ(p.graphics_mode, 2);
    EXPECT_EQ(p.cash, 2000);
    EXPECT_EQ(p.net_worth, 3710);  // 2000 + 10 x 145 + 10 x 26
    EXPECT_EQ(std::string(p.last_played) + "/" + p.last_traded, "Jun 15 2024/Jan 01 1900");
    EXPECT_EQ(p.times_played, 1);
    const MarketRecord m = market();
    EXPECT_STREQ(m.date, kTodayText);
    EXPECT_EQ(m.companies[0].available[kCommon], 2000000 - 10);
    EXPECT_EQ(m.companies[7].available[kCommon], 150000 - 10);
    EXPECT_NE(contents("quonda.bul").find("       TEST CALLER            3710"), std::string::npos)
        << contents("quonda.bul");
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
    PlayerRecord away = returning_player(start, "LONG GONE");
    set_text(away.last_played, 12, "Apr 30 2024");  // 32 days before today
    PlayerRecord recent = returning_player(start, "STILL HERE");
    set_text(recent.last_played, 12, "May 02 2024");  // exactly 30 days before today
    save(start, {away, p, recent});

    VirtualCaller caller(options("2024-06-01 10:00:00"));
    ASSERT_TRUE(caller.start());
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

    const std::vector<PlayerRecord> stored = players();
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_STREQ(stored[1].name, "STILL HERE");
    const PlayerRecord& q = stored[0];
    EXPECT_STREQ(q.name, kCaller);
    EXPECT_STREQ(q.last_played, "Jun 01 2024");
    EXPECT_EQ(q.cash, 6015);
    EXPECT_EQ(q.holdings[0].count[kCommon], 200);
    EXPECT_EQ(q.holdings[0].count[kPreferred], 20);
    EXPECT_EQ(q.holdings[0].split, 0);  // reported once
    EXPECT_EQ(q.holdings[0].last_price[kCommon], 500);
    EXPECT_EQ(q.holdings[8].count[kOptions] + q.holdings[9].count[kCommon], 0);
    EXPECT_EQ(q.holdings[9].short_count + q.holdings[3].count[kBonds], 0);
    const MarketRecord m = market();
    EXPECT_STREQ(m.date, "Jun 01 2024");
    EXPECT_EQ(m.companies[0].total[kCommon], 4000000);
}

// CCC's common at 70 calls 100 short at 50: cost 7000. With cash 1000 + the 2500 deposit, IGM
// (10 at 145), LST (20 at 75) and WWI (10 at 70) are sold: 7150, leaving 150; ALG is kept. With
// no cash and one IGM share to sell the caller is wiped out, and the next visit starts afresh.
TEST_F(Journey, MarginCallSellsOrWipesOutAndTheNextVisitStartsAfresh) {
    for (const bool holdings : {true, false}) {
        SCOPED_TRACE(holdings ? "sells" : "wipes out");
        save_returning([holdings](MarketRecord& m, PlayerRecord& p) {
            m.companies[6].price[kCommon][0] = 70;
            p.holdings[6].short_count = 100;
            p.holdings[6].short_price = 50;
            p.holdings[0].count[kCommon] = holdings ? 10 : 1;
            if (!holdings) {
                p.cash = 0;
                p.graphics_mode = 1;
                return;
            }
            p.holdings[2].count[kCommon] = 10;
            p.holdings[1].count[kCommon] = 20;
            p.holdings[3].count[kCommon] = 5;
        });
        VirtualCaller caller(options());
        ASSERT_TRUE(caller.start());
        ASSERT_NO_FATAL_FAILURE(sign_on(caller));
        ASSERT_NO_FATAL_FAILURE(title_and_price_report(caller));
        caller.type("\r");
        ASSERT_TRUE(caller.shows("NOTICE: MARGIN CALL", 4, 29));
        ASSERT_TRUE(caller.shows(kEnterPrompt));
        const VirtualScreen& s = caller.screen();
        EXPECT_EQ(s.text(8, 26, 35), "CCC              100        7000.00") << s.dump();
        EXPECT_EQ(s.text(9, 0, 51), "        Insufficient Funds, selling holdings in IGM");
        if (holdings) {
            EXPECT_EQ(s.text(10, 48, 3) + s.text(11, 48, 3), "LSTWWI") << s.dump();
            EXPECT_FALSE(s.contains("holdings in ALG") || s.contains("wiped out")) << s.dump();
            caller.type("\r");
            ASSERT_TRUE(caller.shows("Current cash: $150", 23, 2));
            ASSERT_NO_FATAL_FAILURE(quit(caller));
        } else {
            EXPECT_EQ(s.text(11, 0, 45), "        Insufficient Funds, you are wiped out")
                << s.dump();
            caller.type("\r");
            // The session ends normally: scoring and saving.
            ASSERT_TRUE(caller.shows("Press [ENTER] to exit..."));
            caller.type("\r");
        }
        EXPECT_EQ(caller.wait_exit(), 0);
        const PlayerRecord stored = players().at(0);
        EXPECT_EQ(stored.cash, holdings ? 150 : 0);
        EXPECT_EQ(stored.holdings[6].short_count + stored.holdings[0].count[kCommon], 0);
        EXPECT_EQ(stored.holdings[1].count[kCommon] + stored.holdings[2].count[kCommon], 0);
        EXPECT_EQ(stored.holdings[3].count[kCommon], holdings ? 5 : 0);
    }
    EXPECT_EQ(players().at(0).net_worth, 0);

    VirtualCaller again(options("2024-06-15 11:00:00"));
    ASSERT_TRUE(again.start());
    ASSERT_NO_FATAL_FAILURE(sign_on(again));
    ASSERT_TRUE(sent_after(again, 0, " Notice, you are wiped out. Creating new portfolio..."));
    ASSERT_TRUE(again.shows(kEnterPrompt, 23, 2));
    again.type("\r");
    // Not a new player: the title screen in the player's own mode, no graphics question.
    ASSERT_NO_FATAL_FAILURE(title_and_price_report(again, kIbmTitle));
    EXPECT_EQ(again.raw_output().find("PLAYER GRAPHICS MODE SETTINGS"), std::string::npos);
    again.type("\r");
    ASSERT_TRUE(again.shows("Current cash: $2000", 23, 2));
    ASSERT_NO_FATAL_FAILURE(quit(again, "[\u2666]"));
    EXPECT_EQ(again.wait_exit(), 0);
    ASSERT_EQ(players().size(), 1u);
    const PlayerRecord stored = players().at(0);
    EXPECT_EQ(stored.cash, 2000);
    EXPECT_EQ(stored.graphics_mode, 1);
    EXPECT_EQ(stored.holdings[0].count[kCommon] + stored.holdings[7].count[kCommon], 20);
    EXPECT_EQ(market().companies[0].available[kCommon], 2000000 - 10);
}

// Builds quonda.tim: tiers at 10, 100, ... 700, one period for the whole day.
std::string time_control_bytes(const int16_t (&rules)[5]) {
    const auto [first_level, daily_minutes, daily_games, wait_minutes, period_minutes] = rules;
    std::string out;
    auto put = [&](int32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    put(0, 4);
    put(86399, 4);
    for (int t = 0; t < 8; ++t) put(t == 0 ? first_level : 100 * t, 2);
    for (int32_t first : {daily_minutes, daily_games, wait_minutes}) {
        for (int t = 0; t < 8; ++t) put(t == 0 ? first : 0, 2);
    }
    for (int period = 0; period < 8; ++period) {
        put(0, 4);
        for (int t = 0; t < 8; ++t) put(period == 0 ? period_minutes : 0, 2);
    }
    return out;
}

const std::string kLater = "        Try again later.\r\n";
const std::string kTomorrow = "        Try again tomorrow.\r\n";

// Refusals end with exit code 1 and save nothing. A caller who hangs up at the sign-on on a
// market day ends with 0, and nothing is written either.
TEST_F(Journey, RefusalsAndAnEarlyHangUpWriteNothing) {
    const struct {
        std::string told;  // what the caller is told; empty: the caller hangs up
        int16_t tim[5]{};  // quonda.tim: first level, minutes, games and wait a day, period minutes
        int32_t
            ses[3]{};  // today's earlier sessions in quonda.ses: count, seconds, end of the last
        bool traded_today = false;  // the refusal waits for Enter
    } cases[] = {
        {"        Sorry,\r\n\r\n        You have already traded stocks today.\r\n"
         "        You may only do this once per day.\r\n" +
             kTomorrow,
         {10, 0, 5, 0, 60},
         {},
         true},
        {"        You do not have the access level to play this game.\r\n", {20, 0, 0, 0, 60}},
        {"        You do not have the access level to play during this time period.\r\n" + kLater,
         {10, 0, 0, 0, 0}},
        {"Error [42] - Error in time control file (quonda.tim).", {-1}},
        {"        You have exceeded your daily game limit.\r\n" + kTomorrow,
         {10, 0, 2, 0, 60},
         {2, 60, 3600}},
        {"        You have exceeded your daily time limit.\r\n" + kTomorrow,
         {10, 30, 0, 0, 60},
         {1, 1800, 3600}},
        {"        You have not waited sufficient time between games.\r\n" + kLater,
         {10, 0, 0, 15, 60},
         {1, 60, 36000 - 5 * 60}},
        {"", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.told.empty() ? "hang-up" : c.told);
        const bool hang_up = c.told.empty();
        for (const char* name : {"quonda.tim", kSessionEndFile}) remove_tree(dir_ + "/" + name);
        const MarketRecord start = market_dated(hang_up ? kYesterdayText : kTodayText);
        PlayerRecord p = returning_player(start);
        if (c.traded_today) set_text(p.last_traded, 12, kTodayText);
        if (c.ses[0] > 0) {
            set_text(p.last_played, 12, kTodayText);
            std::string note(kSessionEndBytes, '\0');
            std::memcpy(note.data(), kCaller, std::strlen(kCaller));
            const int32_t fields[] = {day_number(kTodayText), c.ses[2], c.ses[1], c.ses[0]};
            for (int b = 0; b < 16; ++b)
                note[32 + b] = static_cast<char>(fields[b / 4] >> b % 4 * 8);
            write_file(kSessionEndFile, note);
        }
        save(start, {p});
        if (c.tim[0] != 0) {
            write_file("quonda.tim",
                       c.tim[0] < 0 ? std::string(100, '\0') : time_control_bytes(c.tim));
        }
        const std::string before =
            contents("quonda.dat") + contents("quonda.plr") + contents(kSessionEndFile);

        VirtualCaller caller(options());
        ASSERT_TRUE(caller.start());
        ASSERT_NO_FATAL_FAILURE(sign_on(caller));
        if (c.traded_today || hang_up) {
            ASSERT_TRUE(caller.shows(kEnterPrompt, 23, 2));
        }
        if (c.traded_today) caller.type("\r");
        if (hang_up) caller.hang_up();
        EXPECT_EQ(caller.wait_exit(), hang_up ? 0 : 1) << caller.screen().dump();
        EXPECT_NE(caller.raw_output().find(c.told), std::string::npos);
        EXPECT_EQ(caller.raw_output().find("SCORING SUMMARY"), std::string::npos);
        EXPECT_TRUE(contents("quonda.dat") + contents("quonda.plr") + contents(kSessionEndFile) ==
                    before)
            << "a file was written";
        EXPECT_EQ(contents("quonda.bul"), "");
    }
}

// The caller is lost at the main menu, or leaves the keyboard alone there or at the quit
// question: the session ends normally, scoring and saving. For the time-out the door's clock runs
// 40 times fast (libfaketime scales its monotonic clock and poll time-outs too), so the door
// kit's 200-second inactivity limit comes after 5 seconds.
TEST_F(Journey, CarrierLossOrTimeOutEndsNormallyWithTheRecordSaved) {
    const struct {
        const char* message;  // nullptr: the caller hangs up
        bool at_quit_question;
    } cases[] = {{nullptr, false},
                 {"No keyboard activity, termination game...", false},
                 {"ERROR - NO TERMINAL ACTIVITY, TERMINATING GAME!!!", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message != nullptr ? c.message : "hang-up");
        remove_tree(dir_ + "/quonda.bul");
        save_returning();
        CallerOptions o = options();
        if (c.message != nullptr) {
            o.env.push_back({"FAKETIME", std::string("@") + kToday + " x40"});
            o.env.push_back({"DONT_FAKE_MONOTONIC", "0"});
        }
        VirtualCaller caller(o);
        ASSERT_TRUE(caller.start());
        ASSERT_NO_FATAL_FAILURE(to_main_menu(caller));
        if (c.at_quit_question) {
            caller.type("1\r");
            ASSERT_TRUE(caller.shows("Sure you want to quit (Y/[N]): ", 23, 2));
        }
        const size_t idle_from = caller.raw_output().size();
        if (c.message == nullptr) {
            caller.hang_up();
        } else {
            ASSERT_TRUE(caller.shows("Press [ENTER] to exit...", -1, -1, 30000));
            EXPECT_NE(caller.raw_output().find(c.message, idle_from), std::string::npos);
            caller.type("\r");
        }
        EXPECT_EQ(caller.wait_exit(), 0);
        const PlayerRecord stored = players().at(0);
        EXPECT_STREQ(stored.last_played, kTodayText);
        EXPECT_EQ(stored.times_played, 4);
        EXPECT_NE(contents("quonda.bul").find("TEST CALLER"), std::string::npos);
    }
}

// The fill glyph of heading bars, the item marker and the title art of each mode, as a CP437
// terminal shows them.
struct ModeLook {
    int mode;
    const char* fill;
    const char* marker;
    const char* title_art;
};
constexpr ModeLook kLooks[] = {{0, "=", "[+]", kAsciiTitle},
                               {1, "\u2550", "[\u2666]", kIbmTitle},
                               {2, " ", "[\u2666]", kIbmTitle}};

// The main menu's whole screen with the cursor on item.
::testing::AssertionResult standard_screen(VirtualCaller& caller, const ModeLook& look, int item) {
    const VirtualScreen& s = caller.screen();
    auto fail = [&](const std::string& what) {
        return ::testing::AssertionFailure() << what << " (mode " << look.mode << ")\n" << s.dump();
    };
    if (s.text(0, 36, 8) != "BULLMOOR" || s.text(1, 6, 7) != "Company") return fail("headings");
    if (s.text(0, 2, 1) + s.text(0, 77, 1) + s.text(14, 2, 1) !=
        std::string(look.fill) + look.fill + look.fill) {
        return fail("heading bar fill");
    }
    std::string symbols;
    for (int c = 0; c < kCompanyCount; ++c) symbols += s.text(2 + c, 8, 3) + " ";
    if (symbols != "IGM LST WWI ALG SBG FFD CCC MMC SSI BBM SXC WHS ") return fail(symbols);
    if (s.text(14, 31, 17) != "MAIN COMMAND MENU") return fail("menu heading");
    const std::string items[] = {"Brokers Report", "Company Profile", "Trade Stocks",
                                 "Page SysOp",     "Change graphics", "Help",
                                 "Exit BMR"};
    for (int i = 0; i < 7; ++i) {
        if (s.text(15 + i, 34, static_cast<int>(items[i].size())) != items[i] ||
            s.text(15 + i, 30, 3) != (i == item ? look.marker : "[ ]")) {
            return fail("item " + items[i]);
        }
    }
    if (!s.bold(15 + item, 31)) return fail("bright marker");
    if (s.text(22, 31, 18) != "MESSAGES & PROMPTS") return fail("message heading");
    if (s.text(23, 0, 21) != "  Current cash: $1000") return fail("cash line");
    if ((s.bg(14, 10) == 2) != (look.mode == 2)) return fail("green bar only in colour");
    return ::testing::AssertionSuccess();
}

class MainMenuScreen : public Journey, public ::testing::WithParamInterface<ModeLook> {};

TEST_P(MainMenuScreen, KeysRedrawAndGraphicsChange) {
    const ModeLook& look = GetParam();
    save_returning(
        [&](MarketRecord&, PlayerRecord& p) { p.graphics_mode = static_cast<int16_t>(look.mode); });
    VirtualCaller caller(options());
    ASSERT_TRUE(caller.start());
    ASSERT_NO_FATAL_FAILURE(to_main_menu(caller, look.title_art));
    ASSERT_TRUE(caller.shows("Current cash: $1000", 23, 2));
    ASSERT_TRUE(standard_screen(caller, look, 0));

    // Up on the first item and Down on the last change nothing; Down, End, Home and the cursor
    // keys move.
    const struct {
        const char* keys;
        int item;
    } moves[] = {{"82", 1}, {"1", 6}, {"28", 5}, {"7", 0}, {"\x1b[B\x1b[B\x1b[A", 1}};
    for (const auto& move : moves) {
        caller.type(move.keys);
        ASSERT_TRUE(caller.shows(look.marker, 15 + move.item, 30)) << move.keys;
    }
    ASSERT_TRUE(standard_screen(caller, look, 1));

    // The asterisk clears and redraws everything, the cursor staying on its item.
    const size_t before = caller.raw_output().size();
    caller.type("*");
    ASSERT_TRUE(sent_after(caller, before, "\x1b[2J"));
    ASSERT_TRUE(caller.wait_for("Current cash: $1000", 23, 2));
    caller.drain(100);
    EXPECT_TRUE(standard_screen(caller, look, 1));

    // Change graphics to the next mode: the whole screen comes back in it.
    const ModeLook& next = kLooks[(look.mode + 1) % 3];
    caller.type("111\x1b[A\x1b[A");  // to item 4
    ASSERT_TRUE(caller.shows(look.marker, 19, 30));
    caller.type("\r");
    ASSERT_TRUE(caller.shows("GRAPHICS SELECTION MENU", 14, 28));
    ASSERT_TRUE(caller.shows(look.marker, 16 + look.mode, 30));
    caller.type(next.mode == 0 ? "7\r" : "2\r");
    ASSERT_TRUE(caller.shows("MAIN COMMAND MENU", 14, 31));
    ASSERT_TRUE(caller.shows("Current cash: $1000", 23, 2));
    caller.drain(100);
    EXPECT_TRUE(standard_screen(caller, next, 4));
    ASSERT_NO_FATAL_FAILURE(quit(caller, next.marker));
    EXPECT_EQ(caller.wait_exit(), 0);
    EXPECT_EQ(players().at(0).graphics_mode, next.mode);
}

INSTANTIATE_TEST_SUITE_P(Modes, MainMenuScreen, ::testing::ValuesIn(kLooks),
                         [](const ::testing::TestParamInfo<ModeLook>& info) {
                             return "Mode" + std::to_string(info.param.mode);
                         });

TEST_F(Journey, ThreeWrongPasswordsEndTheSession) {
    save_returning();
    write_file("quonda.cfg", "Test BBS\r\nquonda.doc\r\nquonda.bul\r\nTest Caller\r\nSecret\r\n");
    VirtualCaller caller(options());
    ASSERT_TRUE(caller.start());
    ASSERT_NO_FATAL_FAILURE(to_main_menu(caller));
    EXPECT_NE(caller.raw_output().find("Editor access granted...\r\n"
                                       "Enter CTRL E in main menu to enter the editor."),
              std::string::npos);
    caller.type("2");  // the login comes back to this item
    ASSERT_TRUE(caller.shows("[+]", 16, 30));
    const char* attempts[] = {"secret", "SECRET", "Secret "};
    for (int i = 0; i < 3; ++i) {
        caller.type("\x05");
        ASSERT_TRUE(caller.shows("Enter password: ", 23, 2));
        EXPECT_EQ(caller.screen().text(16, 30, 3), "[+]");
        EXPECT_FALSE(caller.screen().bold(16, 31)) << caller.screen().dump();
        const size_t typed = caller.raw_output().size();
        caller.type(std::string(attempts[i]) + "\r");
        ASSERT_TRUE(sent_after(caller, typed, "  Wrong password.  Access Denied!\a"));
        if (i == 2) break;
        ASSERT_TRUE(caller.shows("Current cash: $1000", 23, 2));
        EXPECT_TRUE(caller.running());
    }
    ASSERT_TRUE(sent_after(caller, 0, "  Too many attempts, aborting game!\a"));
    ASSERT_TRUE(caller.shows("SCORING SUMMARY"));
    caller.type("\r");
    EXPECT_EQ(caller.wait_exit(), 0);
    const std::string entry = "Jun 15 2024   TEST CALLER\n->Unauthorized attempt to enter editor!";
    EXPECT_EQ(contents("quonda.err"), entry + entry + entry);
    EXPECT_STREQ(players().at(0).last_played, kTodayText);  // a normal end: saved
}

}  // namespace

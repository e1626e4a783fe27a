// Whole sessions of the real game, driven by the virtual caller over a socket in a temporary
// working directory with a set clock: first visits, returning players after market days,
// margin calls, refusals, hang-ups, the main menu on screen and the editor login.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
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

std::string door_path() {
    return std::string(BULLMOOR_BINARY_DIR) + "/tests/bullmoor_test";
}

void set_text(char* field, size_t size, const char* text) {
    std::memset(field, 0, size);
    std::memcpy(field, text, strnlen(text, size - 1));
}

// Under AddressSanitizer the door has to accept libfaketime loaded ahead of the sanitizer's
// runtime; the door inherits this process's environment.
void allow_preloaded_clock() {
    const char* current = std::getenv("ASAN_OPTIONS");
    std::string options = current != nullptr ? current : "";
    if (options.find("verify_asan_link_order") != std::string::npos) return;
    if (!options.empty()) options += ":";
    options += "verify_asan_link_order=0";
    setenv("ASAN_OPTIONS", options.c_str(), 1);
}

class Journey : public ::testing::Test {
  protected:
    void SetUp() override {
        allow_preloaded_clock();
        dir_ = make_temp_dir("journey");
        ASSERT_FALSE(dir_.empty());
        for (const char* name :
             {"quonda.new", "quonda.doc", "quonda.ttn", "quonda.tti", "quonda.ttc"}) {
            write_file(name, read_file(std::string(BULLMOOR_SOURCE_DIR) + "/dist/" + name));
        }
    }
    void TearDown() override { remove_tree(dir_); }

    std::string path(const std::string& name) const { return dir_ + "/" + name; }
    bool exists(const std::string& name) const {
        struct stat info {};
        return stat(path(name).c_str(), &info) == 0;
    }
    static std::string read_file(const std::string& full_path) {
        std::ifstream in(full_path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::string contents(const std::string& name) const { return read_file(path(name)); }
    void write_file(const std::string& name, const std::string& bytes) const {
        std::ofstream out(path(name), std::ios::binary | std::ios::trunc);
        out << bytes;
    }

    // The default exchange dated `date`, every traded trend 3 and the general trend 5: on
    // those trends every entry of the price-move table is 0, so a market day moves no price.
    static MarketRecord market_dated(const char* date) {
        MarketRecord market{};
        (void)build_default_market(market);
        set_text(market.date, sizeof market.date, date);
        market.general_trend = 5;
        for (CompanyRecord& company : market.companies) {
            for (int k = 0; k < kKindCount; ++k) company.trend[k] = 3;
        }
        return market;
    }
    void save(const MarketRecord& market) const {
        std::string bytes(kMarketBytes, '\0');
        encode_market(market, reinterpret_cast<unsigned char*>(bytes.data()));
        write_file("quonda.dat", bytes);
    }
    MarketRecord market() const {
        const std::string bytes = contents("quonda.dat");
        EXPECT_EQ(bytes.size(), static_cast<size_t>(kMarketBytes));
        MarketRecord market{};
        if (bytes.size() == static_cast<size_t>(kMarketBytes)) {
            decode_market(reinterpret_cast<const unsigned char*>(bytes.data()), market);
        }
        return market;
    }
    void save(const std::vector<PlayerRecord>& players) const {
        std::string bytes;
        for (const PlayerRecord& player : players) {
            std::string record(kPlayerBytes, '\0');
            encode_player(player, reinterpret_cast<unsigned char*>(record.data()));
            bytes += record;
        }
        write_file("quonda.plr", bytes);
    }
    std::vector<PlayerRecord> players() const {
        const std::string bytes = contents("quonda.plr");
        EXPECT_EQ(bytes.size() % kPlayerBytes, 0u);
        std::vector<PlayerRecord> out;
        for (size_t at = 0; at + kPlayerBytes <= bytes.size(); at += kPlayerBytes) {
            PlayerRecord player{};
            decode_player(reinterpret_cast<const unsigned char*>(bytes.data() + at), player);
            out.push_back(player);
        }
        return out;
    }
    // A returning player who last played and traded yesterday, prices noted at today's market.
    static PlayerRecord returning_player(const MarketRecord& market, const char* name = kCaller) {
        PlayerRecord player{};
        set_text(player.name, sizeof player.name, name);
        set_text(player.last_played, sizeof player.last_played, kYesterdayText);
        set_text(player.last_traded, sizeof player.last_traded, kYesterdayText);
        player.times_played = 3;
        player.seconds_played = 600;
        player.cash = 1000;
        player.net_worth = 5000;
        for (int c = 0; c < kCompanyCount; ++c) {
            for (int k = 0; k < kKindCount; ++k) {
                player.holdings[c].last_price[k] = market.companies[c].price[k][0];
            }
        }
        return player;
    }
    void write_config(const char* sysop, const char* password) const {
        write_file("quonda.cfg", std::string("Test BBS\r\nquonda.doc\r\nquonda.bul\r\n") + sysop +
                                     "\r\n" + password + "\r\n");
    }

    CallerOptions options(const char* clock = kToday) const {
        CallerOptions o;
        o.door = door_path();
        o.work_dir = dir_;
        o.faketime = clock;
        return o;
    }

    std::string dir_;
};

// Steps every session shares.
void sign_on(VirtualCaller& caller) {
    ASSERT_TRUE(caller.shows("Requires ANSI/VT100 support", 5, 0));
    ASSERT_TRUE(caller.shows(kEnterPrompt, 23, 2));
    caller.type("\r");
}

// A returning player's title screen (mode 0) and the Enter prompt after it.
void title_screen(VirtualCaller& caller, const char* art = "T H E   S T O C K") {
    ASSERT_TRUE(caller.shows(art));
    ASSERT_TRUE(caller.shows(kEnterPrompt, 23, 2));
    caller.type("\r");
}

void price_report(VirtualCaller& caller) {
    ASSERT_TRUE(caller.shows("PRICE CHANGES SINCE YOU WERE LAST ON", 4, 20));
    ASSERT_TRUE(caller.shows(kEnterPrompt, 22, 26));
}

void to_main_menu(VirtualCaller& caller) {
    ASSERT_NO_FATAL_FAILURE(sign_on(caller));
    ASSERT_NO_FATAL_FAILURE(title_screen(caller));
    ASSERT_NO_FATAL_FAILURE(price_report(caller));
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
    // The new-player text below the colour banner.
    ASSERT_TRUE(caller.shows("Welcome to Bullmoor, the stock exchange of this board.", 4, 2));
    ASSERT_TRUE(caller.shows(kEnterPrompt, 23, 2));
    EXPECT_EQ(caller.screen().text(1, 32, 15), "B U L L M O O R") << caller.screen().dump();
    caller.type("\r");

    ASSERT_TRUE(caller.shows("Documentation Capture/View", 4, 2));
    ASSERT_TRUE(caller.shows("Enter desired function (1-3): ", 10, 2));
    caller.type("9\r");
    ASSERT_TRUE(caller.shows("Enter desired function (1-3): ", 11, 2));
    caller.type("3\r");
    ASSERT_TRUE(caller.shows(kEnterPrompt, 23, 2));
    EXPECT_FALSE(caller.screen().contains("Editor access granted")) << caller.screen().dump();
    caller.type("\r");

    ASSERT_NO_FATAL_FAILURE(price_report(caller));
    EXPECT_EQ(caller.screen().text(8, 12, 3), "IGM");
    EXPECT_EQ(caller.screen().text(8, 21, 27), "      -         0.00       ")
        << caller.screen().dump();
    caller.type("\r");

    ASSERT_TRUE(caller.shows("MAIN COMMAND MENU", 14, 31));
    ASSERT_TRUE(caller.shows("Current cash: $2000", 23, 2));
    EXPECT_EQ(caller.screen().text(2, 8, 3), "IGM");
    EXPECT_EQ(caller.screen().text(2, 32, 12), "     10/$145") << caller.screen().dump();
    EXPECT_EQ(caller.screen().text(9, 8, 3), "MMC");
    EXPECT_EQ(caller.screen().text(9, 32, 12), "     10/$ 26") << caller.screen().dump();

    ASSERT_NO_FATAL_FAILURE(quit(caller, "[\u2666]"));
    EXPECT_TRUE(caller.raw_output().find("TEST you started with a net worth of 3710.") !=
                std::string::npos);
    EXPECT_EQ(caller.wait_exit(), 0) << caller.stderr_text();
    EXPECT_NE(caller.raw_output().find("Returning to BBS...."), std::string::npos);

    const std::vector<PlayerRecord> stored = players();
    ASSERT_EQ(stored.size(), 1u);  // the first player sits at offset 0
    const PlayerRecord& p = stored[0];
    EXPECT_STREQ(p.name, kCaller);
    EXPECT_EQ(p.graphics_mode, 2);
    EXPECT_EQ(p.cash, 2000);
    EXPECT_EQ(p.net_worth, 3710);  // 2000 + 10 x 145 + 10 x 26
    EXPECT_EQ(p.holdings[0].count[kCommon], 10);
    EXPECT_EQ(p.holdings[7].count[kCommon], 10);
    EXPECT_STREQ(p.last_played, kTodayText);
    EXPECT_STREQ(p.last_traded, "Jan 01 1900");
    EXPECT_EQ(p.times_played, 1);

    const MarketRecord m = market();
    EXPECT_STREQ(m.date, kTodayText);
    EXPECT_EQ(m.companies[0].available[kCommon], 2000000 - 10);
    EXPECT_EQ(m.companies[7].available[kCommon], 150000 - 10);
    EXPECT_EQ(m.companies[0].price[kCommon][0], 145);  // a brand-new market moves no price

    const std::string bulletin = contents("quonda.bul");
    EXPECT_NE(bulletin.find("T O P   1 0   T Y C O O N S"), std::string::npos) << bulletin;
    EXPECT_NE(bulletin.find("       TEST CALLER            3710"), std::string::npos) << bulletin;
    for (const char* name : {"quonda.dat", "quonda.plr", "quonda.bul"}) {
        struct stat info {};
        ASSERT_EQ(stat(path(name).c_str(), &info), 0) << name;
        EXPECT_EQ(info.st_mode & 0777, 0600u) << name;
    }
}

TEST_F(Journey, ReturningPlayerAfterSplitsCrashesAndAMonthEnd) {
    // Yesterday was May 31: today's update splits IGM (common and preferred at 1000, split price
    // 400), crashes SSI's options (-50) and BBM's common (-100, a rebirth), and starts June.
    MarketRecord start = market_dated("May 31 2024");
    start.companies[0].price[kCommon][0] = 1000;
    start.companies[0].price[kPreferred][0] = 1000;
    start.companies[8].price[kOptions][0] = -50;
    start.companies[9].price[kCommon][0] = -100;
    save(start);

    PlayerRecord caller_record = returning_player(start);
    set_text(caller_record.last_played, 12, "May 31 2024");
    set_text(caller_record.last_traded, 12, "May 31 2024");
    caller_record.holdings[0].count[kCommon] = 100;
    caller_record.holdings[0].count[kPreferred] = 10;
    caller_record.holdings[8].count[kOptions] = 30;
    caller_record.holdings[9].count[kCommon] = 50;
    caller_record.holdings[9].short_count = 10;
    caller_record.holdings[9].short_price = 41;
    caller_record.holdings[3].count[kBonds] = 2;
    caller_record.holdings[1].last_price[kCommon] = 80;  // now 75
    caller_record.holdings[7].last_price[kCommon] = 20;  // now 26
    PlayerRecord away = returning_player(start, "LONG GONE");
    set_text(away.last_played, 12, "Apr 30 2024");  // 32 days before today
    PlayerRecord recent = returning_player(start, "STILL HERE");
    set_text(recent.last_played, 12, "May 02 2024");  // exactly 30 days before today
    save(std::vector<PlayerRecord>{away, caller_record, recent});

    VirtualCaller caller(options("2024-06-01 10:00:00"));
    ASSERT_TRUE(caller.start());
    ASSERT_NO_FATAL_FAILURE(sign_on(caller));
    ASSERT_NO_FATAL_FAILURE(title_screen(caller));
    ASSERT_NO_FATAL_FAILURE(price_report(caller));
    const VirtualScreen& s = caller.screen();
    SCOPED_TRACE(s.dump());
    // Rows 8..19 are companies 0..11; cells start at columns 21, 34, 48 and 61.
    EXPECT_EQ(s.text(8, 21, 47),
              std::string("  SPLIT      ") + "  SPLIT       " + "  SPLIT      " + "  SPLIT");
    EXPECT_EQ(s.text(9, 34, 7), "  -5.00");
    EXPECT_EQ(s.text(11, 61, 7), "   0.00");
    EXPECT_EQ(s.text(15, 34, 7), "   6.00");
    EXPECT_EQ(s.text(16, 21, 20), "CRASHED         0.00");
    EXPECT_EQ(s.text(17, 21, 20), "CRASHED      CRASHED");
    EXPECT_EQ(s.text(17, 54, 1), "-");
    caller.type("\r");

    // 1000 + 615 (short BBM settled: 410 + 205) + 2000 (two ALG bonds at the guaranteed 1000)
    // + 2000 (IGM common dividend: 500 x 200 / 50) + 400 (IGM preferred: 500 x 20 / 25).
    ASSERT_TRUE(caller.shows("MAIN COMMAND MENU", 14, 31));
    ASSERT_TRUE(caller.shows("Current cash: $6015", 23, 2));
    EXPECT_EQ(caller.screen().text(2, 32, 12), "    200/$500") << caller.screen().dump();
    ASSERT_NO_FATAL_FAILURE(quit(caller));
    EXPECT_EQ(caller.wait_exit(), 0);

    const std::vector<PlayerRecord> stored = players();
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_STREQ(stored[0].name, kCaller);
    EXPECT_STREQ(stored[1].name, "STILL HERE");
    EXPECT_EQ(stored[1].cash, 1000);
    const PlayerRecord& p = stored[0];
    EXPECT_EQ(p.cash, 6015);
    EXPECT_EQ(p.holdings[0].count[kCommon], 200);
    EXPECT_EQ(p.holdings[0].count[kPreferred], 20);
    EXPECT_EQ(p.holdings[0].split, 0);  // reported once
    EXPECT_EQ(p.holdings[8].count[kOptions], 0);
    EXPECT_EQ(p.holdings[9].count[kCommon], 0);
    EXPECT_EQ(p.holdings[9].short_count, 0);
    EXPECT_EQ(p.holdings[3].count[kBonds], 0);
    EXPECT_EQ(p.holdings[0].last_price[kCommon], 500);
    EXPECT_STREQ(p.last_played, "Jun 01 2024");

    const MarketRecord m = market();
    EXPECT_STREQ(m.date, "Jun 01 2024");
    EXPECT_EQ(m.companies[0].total[kCommon], 4000000);
    EXPECT_EQ(m.companies[0].price[kCommon][0], 500);
    EXPECT_EQ(m.companies[0].price[kCommon][1], 1000);
    EXPECT_EQ(m.companies[9].price[kCommon][0], 10);  // reborn at its default
    EXPECT_EQ(m.companies[8].price[kOptions][0], 7);
}

struct MarginCase {
    const char* label;
    int32_t cash;
    bool holdings;  // IGM 10, LST 20, WWI 10 and ALG 5 common
};

TEST_F(Journey, MarginCallSellsHoldingsUntilTheCostIsCovered) {
    MarketRecord start = market_dated(kTodayText);
    start.companies[6].price[kCommon][0] = 70;  // CCC; 100 short at 50 are called at 70
    save(start);
    PlayerRecord p = returning_player(start);
    p.holdings[6].short_count = 100;
    p.holdings[6].short_price = 50;
    p.holdings[0].count[kCommon] = 10;
    p.holdings[1].count[kCommon] = 20;
    p.holdings[2].count[kCommon] = 10;
    p.holdings[3].count[kCommon] = 5;
    save(std::vector<PlayerRecord>{p});

    VirtualCaller caller(options());
    ASSERT_TRUE(caller.start());
    ASSERT_NO_FATAL_FAILURE(sign_on(caller));
    ASSERT_NO_FATAL_FAILURE(title_screen(caller));
    ASSERT_NO_FATAL_FAILURE(price_report(caller));
    caller.type("\r");
    ASSERT_TRUE(caller.shows("NOTICE: MARGIN CALL", 4, 29));
    ASSERT_TRUE(caller.shows(kEnterPrompt));
    const VirtualScreen& s = caller.screen();
    SCOPED_TRACE(s.dump());
    EXPECT_EQ(s.text(8, 26, 35), "CCC              100        7000.00");
    EXPECT_EQ(s.text(9, 0, 51), "        Insufficient Funds, selling holdings in IGM");
    EXPECT_EQ(s.text(10, 48, 3), "LST");
    EXPECT_EQ(s.text(11, 48, 3), "WWI");
    EXPECT_FALSE(s.contains("holdings in ALG"));
    EXPECT_FALSE(s.contains("wiped out"));
    caller.type("\r");

    // 1000 + 2500 deposit + 1450 + 1500 + 700 = 7150, less the 7000 cost.
    ASSERT_TRUE(caller.shows("Current cash: $150", 23, 2));
    ASSERT_NO_FATAL_FAILURE(quit(caller));
    EXPECT_EQ(caller.wait_exit(), 0);
    const PlayerRecord stored = players().at(0);
    EXPECT_EQ(stored.cash, 150);
    EXPECT_EQ(stored.holdings[6].short_count, 0);
    EXPECT_EQ(stored.holdings[0].count[kCommon], 0);
    EXPECT_EQ(stored.holdings[1].count[kCommon], 0);
    EXPECT_EQ(stored.holdings[2].count[kCommon], 0);
    EXPECT_EQ(stored.holdings[3].count[kCommon], 5);
}

TEST_F(Journey, MarginCallWipesOutAndTheNextVisitStartsAfresh) {
    MarketRecord start = market_dated(kTodayText);
    start.companies[6].price[kCommon][0] = 70;
    save(start);
    PlayerRecord p = returning_player(start);
    p.cash = 0;
    p.graphics_mode = 1;
    p.holdings[6].short_count = 100;
    p.holdings[6].short_price = 50;
    save(std::vector<PlayerRecord>{p});

    {
        VirtualCaller caller(options());
        ASSERT_TRUE(caller.start());
        ASSERT_NO_FATAL_FAILURE(sign_on(caller));
        ASSERT_NO_FATAL_FAILURE(title_screen(caller, "T H E   S T O C K"));
        ASSERT_NO_FATAL_FAILURE(price_report(caller));
        caller.type("\r");
        ASSERT_TRUE(caller.shows("        Insufficient Funds, you are wiped out", 10, 0));
        ASSERT_TRUE(caller.shows(kEnterPrompt));
        caller.type("\r");
        // The session ends normally: scoring and saving.
        ASSERT_TRUE(caller.shows("SCORING SUMMARY"));
        ASSERT_TRUE(caller.shows("Press [ENTER] to exit..."));
        caller.type("\r");
        EXPECT_EQ(caller.wait_exit(), 0);
    }
    PlayerRecord stored = players().at(0);
    EXPECT_EQ(stored.cash, 0);
    EXPECT_EQ(stored.net_worth, 0);
    EXPECT_EQ(stored.holdings[6].short_count, 0);

    VirtualCaller again(options("2024-06-15 11:00:00"));
    ASSERT_TRUE(again.start());
    const size_t signed_on = again.raw_output().size();
    ASSERT_NO_FATAL_FAILURE(sign_on(again));
    ASSERT_TRUE(
        sent_after(again, signed_on, " Notice, you are wiped out. Creating new portfolio..."));
    ASSERT_TRUE(again.shows(kEnterPrompt, 23, 2));
    again.type("\r");
    // Not a new player: the title screen in the player's own mode, no graphics question.
    ASSERT_NO_FATAL_FAILURE(title_screen(again, "\u2554\u2550\u2550\u2550"));
    EXPECT_FALSE(again.screen().contains("PLAYER GRAPHICS MODE SETTINGS"));
    ASSERT_NO_FATAL_FAILURE(price_report(again));
    again.type("\r");
    ASSERT_TRUE(again.shows("Current cash: $2000", 23, 2));
    ASSERT_NO_FATAL_FAILURE(quit(again, "[\u2666]"));
    EXPECT_EQ(again.wait_exit(), 0);
    stored = players().at(0);
    EXPECT_EQ(players().size(), 1u);
    EXPECT_EQ(stored.cash, 2000);
    EXPECT_EQ(stored.graphics_mode, 1);
    EXPECT_EQ(stored.holdings[0].count[kCommon], 10);
    EXPECT_EQ(stored.holdings[7].count[kCommon], 10);
    EXPECT_EQ(market().companies[0].available[kCommon], 2000000 - 10);
}

TEST_F(Journey, HangUpAtTheWipedOutNoticeSavesTheFreshPortfolio) {
    MarketRecord start = market_dated(kTodayText);
    start.companies[0].available[kCommon] -= 100;  // held by the player below
    save(start);
    PlayerRecord p = returning_player(start);
    p.net_worth = 99;
    p.cash = 0;
    p.holdings[0].count[kCommon] = 100;
    save(std::vector<PlayerRecord>{p});

    VirtualCaller caller(options());
    ASSERT_TRUE(caller.start());
    const size_t from = caller.raw_output().size();
    ASSERT_NO_FATAL_FAILURE(sign_on(caller));
    ASSERT_TRUE(sent_after(caller, from, " Notice, you are wiped out. Creating new portfolio..."));
    caller.hang_up();
    EXPECT_EQ(caller.wait_exit(), 0);
    // The 100 shares went back to the market and 10 came out again as the gift.
    const PlayerRecord stored = players().at(0);
    EXPECT_EQ(stored.cash, 2000);
    EXPECT_EQ(stored.holdings[0].count[kCommon], 10);
    EXPECT_EQ(stored.holdings[7].count[kCommon], 10);
    EXPECT_EQ(market().companies[0].available[kCommon], 2000000 - 10);
    EXPECT_EQ(market().companies[7].available[kCommon], 150000 - 10);
}

// Builds quonda.tim: tiers at 10, 100, ... 700, one period for the whole day.
std::string time_control_bytes(int16_t first_level, int16_t daily_minutes, int16_t daily_games,
                               int16_t wait_minutes, int16_t period_minutes) {
    std::string out;
    auto put16 = [&](int16_t v) {
        out += static_cast<char>(v & 0xFF);
        out += static_cast<char>((v >> 8) & 0xFF);
    };
    auto put32 = [&](int32_t v) {
        for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    put32(0);
    put32(86399);
    for (int t = 0; t < 8; ++t) put16(t == 0 ? first_level : static_cast<int16_t>(100 * t));
    for (int t = 0; t < 8; ++t) put16(t == 0 ? daily_minutes : 0);
    for (int t = 0; t < 8; ++t) put16(t == 0 ? daily_games : 0);
    for (int t = 0; t < 8; ++t) put16(t == 0 ? wait_minutes : 0);
    for (int period = 0; period < 8; ++period) {
        put32(0);
        for (int t = 0; t < 8; ++t) put16(period == 0 ? period_minutes : 0);
    }
    return out;
}

struct RefusalCase {
    const char* label;
    bool traded_today;
    std::string tim;                 // quonda.tim contents, empty for none
    int32_t games_today;             // sessions already played today (session-end store)
    int32_t seconds_today;           // seconds played today
    int32_t previous_end;            // when the last session ended, seconds after midnight
    std::vector<const char*> lines;  // what the caller is told
    bool needs_enter;
};

class Refusal : public Journey, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(Refusal, EndsWithExitCodeOneAndSavesNothing) {
    const RefusalCase& c = GetParam();
    save(market_dated(kTodayText));
    PlayerRecord p = returning_player(market_dated(kTodayText));
    if (c.traded_today) set_text(p.last_traded, 12, kTodayText);
    if (c.games_today > 0) {
        // Today's earlier sessions, as session end notes them in quonda.ses.
        set_text(p.last_played, 12, kTodayText);
        std::string note(kSessionEndBytes, '\0');
        std::memcpy(note.data(), kCaller, std::strlen(kCaller));
        const int32_t fields[] = {day_number(kTodayText), c.previous_end, c.seconds_today,
                                  c.games_today};
        for (int f = 0; f < 4; ++f) {
            for (int b = 0; b < 4; ++b) {
                note[32 + 4 * f + b] = static_cast<char>(fields[f] >> (8 * b));
            }
        }
        write_file(kSessionEndFile, note);
    }
    save(std::vector<PlayerRecord>{p});
    if (!c.tim.empty()) write_file("quonda.tim", c.tim);
    const std::string market_before = contents("quonda.dat");
    const std::string players_before = contents("quonda.plr");
    const bool had_store = exists(kSessionEndFile);
    const std::string store_before = contents(kSessionEndFile);

    VirtualCaller caller(options());
    ASSERT_TRUE(caller.start());
    ASSERT_NO_FATAL_FAILURE(sign_on(caller));
    if (c.needs_enter) {
        ASSERT_TRUE(caller.shows(kEnterPrompt, 23, 2));
        caller.type("\r");
    }
    EXPECT_EQ(caller.wait_exit(), 1) << caller.screen().dump();
    for (const char* line : c.lines) {
        EXPECT_NE(caller.raw_output().find(line), std::string::npos) << "missing: " << line;
    }
    EXPECT_EQ(contents("quonda.dat"), market_before);
    EXPECT_EQ(contents("quonda.plr"), players_before);
    EXPECT_EQ(exists(kSessionEndFile), had_store);
    EXPECT_EQ(contents(kSessionEndFile), store_before);
    EXPECT_FALSE(exists("quonda.bul"));
    EXPECT_EQ(caller.raw_output().find("SCORING SUMMARY"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, Refusal,
    ::testing::Values(
        RefusalCase{
            "traded today, even where the time rules allow another game",
            true,
            time_control_bytes(10, 0, 5, 0, 60),
            0,
            0,
            0,
            {"        Sorry,\r\n", "        You have already traded stocks today.\r\n",
             "        You may only do this once per day.\r\n", "        Try again tomorrow.\r\n"},
            true},
        RefusalCase{"level below the first tier",
                    false,
                    time_control_bytes(20, 0, 0, 0, 60),
                    0,
                    0,
                    0,
                    {"        You do not have the access level to play this game.\r\n"},
                    false},
        RefusalCase{"no play in this period",
                    false,
                    time_control_bytes(10, 0, 0, 0, 0),
                    0,
                    0,
                    0,
                    {"        You do not have the access level to play during this time "
                     "period.\r\n",
                     "        Try again later.\r\n"},
                    false},
        RefusalCase{"short time-control file",
                    false,
                    std::string(100, '\0'),
                    0,
                    0,
                    0,
                    {"Error [42] - Error in time control file (quonda.tim)."},
                    false},
        RefusalCase{"sessions used up today",
                    false,
                    time_control_bytes(10, 0, 2, 0, 60),
                    2,
                    60,
                    3600,
                    {"        You have exceeded your daily game limit.\r\n",
                     "        Try again tomorrow.\r\n"},
                    false},
        RefusalCase{"minutes used up today",
                    false,
                    time_control_bytes(10, 30, 0, 0, 60),
                    1,
                    1800,
                    3600,
                    {"        You have exceeded your daily time limit.\r\n",
                     "        Try again tomorrow.\r\n"},
                    false},
        RefusalCase{"too soon after the last session",
                    false,
                    time_control_bytes(10, 0, 0, 15, 60),
                    1,
                    60,
                    36000 - 5 * 60,
                    {"        You have not waited sufficient time between games.\r\n",
                     "        Try again later.\r\n"},
                    false}),
    [](const ::testing::TestParamInfo<RefusalCase>& info) {
        std::string name;
        for (const char* l = info.param.label; *l != '\0'; ++l) {
            if (std::isalnum(static_cast<unsigned char>(*l))) name += *l;
        }
        return name;
    });

TEST_F(Journey, ShortTimeControlFileIsLogged) {
    save(market_dated(kTodayText));
    save(std::vector<PlayerRecord>{returning_player(market_dated(kTodayText))});
    write_file("quonda.tim", std::string(100, '\0'));
    VirtualCaller caller(options());
    ASSERT_TRUE(caller.start());
    ASSERT_NO_FATAL_FAILURE(sign_on(caller));
    EXPECT_EQ(caller.wait_exit(), 1);
    // Without quonda.cfg the warning comes first, before the caller has a record.
    EXPECT_EQ(contents("quonda.err"),
              "Jun 15 2024   \nWarning [40] - Cant't read config file (quonda.cfg)."
              "Jun 15 2024   TEST CALLER\nError [42] - Error in time control file (quonda.tim).");
}

TEST_F(Journey, ShortMarketFileEndsTheSessionWithExitCodeOne) {
    write_file("quonda.dat", std::string(kMarketBytes - 1, '\0'));
    save(std::vector<PlayerRecord>{returning_player(market_dated(kTodayText))});
    write_config("SYSOP", "GATEKEEP");
    const std::string players_before = contents("quonda.plr");
    VirtualCaller caller(options());
    ASSERT_TRUE(caller.start());
    ASSERT_NO_FATAL_FAILURE(sign_on(caller));
    EXPECT_EQ(caller.wait_exit(), 1);
    EXPECT_EQ(contents("quonda.err"),
              "Jun 15 2024   \nError [41] - Can't read market info file (quonda.dat)\n\n");
    EXPECT_EQ(contents("quonda.dat").size(), static_cast<size_t>(kMarketBytes - 1));
    EXPECT_EQ(contents("quonda.plr"), players_before);
}

TEST_F(Journey, HangUpAtTheSignOnWritesNothing) {
    MarketRecord start = market_dated(kYesterdayText);
    save(start);
    save(std::vector<PlayerRecord>{returning_player(start)});
    const std::string market_before = contents("quonda.dat");
    const std::string players_before = contents("quonda.plr");

    VirtualCaller caller(options());
    ASSERT_TRUE(caller.start());
    ASSERT_TRUE(caller.shows(kEnterPrompt, 23, 2));
    caller.hang_up();
    EXPECT_EQ(caller.wait_exit(), 0);
    EXPECT_EQ(contents("quonda.dat"), market_before);
    EXPECT_EQ(contents("quonda.plr"), players_before);
    EXPECT_FALSE(exists("quonda.bul"));
}

TEST_F(Journey, TimeUsedUpAtTheSignOnWritesNothing) {
    MarketRecord start = market_dated(kYesterdayText);
    save(start);
    save(std::vector<PlayerRecord>{returning_player(start)});
    const std::string market_before = contents("quonda.dat");
    const std::string players_before = contents("quonda.plr");

    CallerOptions o = options();
    o.minutes = 0;
    VirtualCaller caller(o);
    ASSERT_TRUE(caller.start());
    EXPECT_EQ(caller.wait_exit(), 0);
    EXPECT_NE(caller.raw_output().find("ERROR - YOU HAVE USED ALL YOUR GAME TIME!!!"),
              std::string::npos);
    EXPECT_EQ(contents("quonda.dat"), market_before);
    EXPECT_EQ(contents("quonda.plr"), players_before);
}

// Where in a session the caller hangs up.
enum class HangUpAt { kGraphicsChoice, kDocumentationMenu, kMainMenu, kQuitConfirmation };

class HangUp : public Journey, public ::testing::WithParamInterface<HangUpAt> {};

TEST_P(HangUp, EndsNormallyWithTheRecordSaved) {
    const HangUpAt at = GetParam();
    const bool new_player = at == HangUpAt::kGraphicsChoice || at == HangUpAt::kDocumentationMenu;
    MarketRecord start = market_dated(kTodayText);
    save(start);
    if (!new_player) save(std::vector<PlayerRecord>{returning_player(start)});

    VirtualCaller caller(options());
    ASSERT_TRUE(caller.start());
    if (new_player) {
        ASSERT_NO_FATAL_FAILURE(sign_on(caller));
        ASSERT_TRUE(caller.shows("Please select graphics mode (0-2): ", 10, 8));
        if (at == HangUpAt::kDocumentationMenu) {
            caller.type("1");
            ASSERT_TRUE(caller.shows(kEnterPrompt, 23, 2));
            caller.type("\r");
            ASSERT_TRUE(caller.shows("Enter desired function (1-3): ", 10, 2));
        }
    } else {
        ASSERT_NO_FATAL_FAILURE(to_main_menu(caller));
        if (at == HangUpAt::kQuitConfirmation) {
            caller.type("1\r");
            ASSERT_TRUE(caller.shows("Sure you want to quit (Y/[N]): ", 23, 2));
        }
    }
    caller.hang_up();
    EXPECT_EQ(caller.wait_exit(), 0);

    const std::vector<PlayerRecord> stored = players();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_STREQ(stored[0].name, kCaller);
    EXPECT_STREQ(stored[0].last_played, kTodayText);
    EXPECT_EQ(stored[0].graphics_mode, at == HangUpAt::kDocumentationMenu ? 1 : 0);
    if (new_player) {
        EXPECT_EQ(stored[0].times_played, 1);
        EXPECT_EQ(stored[0].holdings[0].count[kCommon], 10);
        EXPECT_EQ(market().companies[0].available[kCommon], 2000000 - 10);
    }
    const std::string bulletin = contents("quonda.bul");
    EXPECT_NE(bulletin.find("TEST CALLER"), std::string::npos) << bulletin;
}

INSTANTIATE_TEST_SUITE_P(Reads, HangUp,
                         ::testing::Values(HangUpAt::kGraphicsChoice, HangUpAt::kDocumentationMenu,
                                           HangUpAt::kMainMenu, HangUpAt::kQuitConfirmation));

// A new player as far as the documentation menu.
void to_documentation_menu(VirtualCaller& caller) {
    ASSERT_NO_FATAL_FAILURE(sign_on(caller));
    ASSERT_TRUE(caller.shows("Please select graphics mode (0-2): ", 10, 8));
    caller.type("0");
    ASSERT_TRUE(caller.shows(kEnterPrompt, 23, 2));
    caller.type("\r");
    ASSERT_TRUE(caller.shows("Enter desired function (1-3): ", 10, 2));
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

TEST_F(Journey, DocumentationIsPagedAndTheFileIsFreeWhileTheCallerReads) {
    const std::vector<std::string> doc = lines_of(contents("quonda.doc"));
    ASSERT_GT(doc.size(), 60u);
    VirtualCaller caller(options());
    ASSERT_TRUE(caller.start());
    ASSERT_NO_FATAL_FAILURE(to_documentation_menu(caller));
    const size_t from = caller.raw_output().size();
    caller.type("1\r");

    // First page: 17 lines after the menu, scrolled up under the prompt on row 23.
    const char* pager = "                            Press [ENTER] to continue...";
    ASSERT_TRUE(caller.shows("Press [ENTER] to continue...", 23, 28));
    for (int i = 0; i < 17; ++i) {
        EXPECT_EQ(caller.screen().text(6 + i, 0, 80), (doc[i] + std::string(80, ' ')).substr(0, 80))
            << "line " << i << "\n"
            << caller.screen().dump();
    }
    // Nothing keeps quonda.doc locked while the caller sits at the prompt.
    const int fd = open(path("quonda.doc").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
    close(fd);

    // Later pages hold 20 lines each.
    const size_t first_page = caller.raw_output().size();
    caller.type("\r");
    ASSERT_TRUE(sent_after(caller, first_page, pager));
    ASSERT_TRUE(caller.shows("Press [ENTER] to continue...", 23, 28));
    EXPECT_EQ(caller.screen().text(22, 0, 80), (doc[36] + std::string(80, ' ')).substr(0, 80))
        << caller.screen().dump();
    size_t prompts = 2;
    const size_t expected_prompts = 1 + (doc.size() - 17) / 20;
    while (prompts < expected_prompts) {
        const size_t seen = caller.raw_output().size();
        caller.type("\r");
        ASSERT_TRUE(sent_after(caller, seen, pager)) << "prompt " << prompts + 1;
        ++prompts;
    }
    caller.type("\r");
    ASSERT_TRUE(caller.shows(kEnterPrompt, 23, 2));
    EXPECT_NE(caller.raw_output().find(doc.back(), from), std::string::npos);
    size_t count = 0;
    for (size_t at = caller.raw_output().find(pager, from); at != std::string::npos;
         at = caller.raw_output().find(pager, at + 1)) {
        ++count;
    }
    EXPECT_EQ(count, expected_prompts);
    caller.hang_up();
    EXPECT_EQ(caller.wait_exit(), 0);
}

TEST_F(Journey, DocumentationCaptureSendsTheWholeFile) {
    VirtualCaller caller(options());
    ASSERT_TRUE(caller.start());
    ASSERT_NO_FATAL_FAILURE(to_documentation_menu(caller));
    caller.type("2\r");
    ASSERT_TRUE(caller.shows("Setup your capture, then press ENTER...", 11, 2));
    const size_t from = caller.raw_output().size();
    caller.type("\r");
    ASSERT_TRUE(sent_after(caller, from,
                           "  Documentation complete, terminate capture then press ENTER..."));
    EXPECT_EQ(caller.raw_output().find(contents("quonda.doc"), from), from);
    caller.type("\r");
    ASSERT_TRUE(caller.shows(kEnterPrompt, 23, 2));
    caller.hang_up();
    EXPECT_EQ(caller.wait_exit(), 0);
}

TEST_F(Journey, MissingDocumentationIsReportedAndLogged) {
    for (const char* choice : {"1", "2"}) {
        SCOPED_TRACE(std::string("choice ") + choice);
        remove_tree(path("quonda.doc"));
        remove_tree(path("quonda.plr"));
        remove_tree(path("quonda.err"));
        write_config("SYSOP", "GATEKEEP");
        VirtualCaller caller(options());
        ASSERT_TRUE(caller.start());
        ASSERT_NO_FATAL_FAILURE(to_documentation_menu(caller));
        const size_t from = caller.raw_output().size();
        caller.type(std::string(choice) + "\r");
        const std::string message = std::string(choice[0] == '1' ? "Error [40]" : "Error [41]") +
                                    " - Can't locate documentation file (quonda.doc).";
        ASSERT_TRUE(sent_after(caller, from, message));
        ASSERT_TRUE(caller.shows(kEnterPrompt, 23, 2));
        EXPECT_EQ(contents("quonda.err"), "Jun 15 2024   TEST CALLER\n" + message);
        caller.hang_up();
        EXPECT_EQ(caller.wait_exit(), 0);
    }
}

TEST_F(Journey, LocalSessionIsNeverRefusedAndAlwaysGetsTheEditor) {
    const passwd* account = getpwuid(getuid());
    ASSERT_NE(account, nullptr);
    std::string name = account->pw_name;
    for (char& ch : name) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    MarketRecord start = market_dated(kTodayText);
    save(start);
    PlayerRecord p = returning_player(start, name.c_str());
    set_text(p.last_traded, sizeof p.last_traded, kTodayText);  // a remote caller is refused
    save(std::vector<PlayerRecord>{p});
    write_file("quonda.tim", time_control_bytes(20, 0, 0, 0, 60));  // and this would refuse too

    CallerOptions o = options();
    o.link = Link::kLocal;
    VirtualCaller caller(o);
    ASSERT_TRUE(caller.start());
    ASSERT_NO_FATAL_FAILURE(sign_on(caller));
    ASSERT_TRUE(caller.shows("Editor access granted..."));
    ASSERT_NO_FATAL_FAILURE(title_screen(caller));
    ASSERT_NO_FATAL_FAILURE(price_report(caller));
    caller.type("\r");
    ASSERT_TRUE(caller.shows("Current cash: $1000", 23, 2));
    ASSERT_NO_FATAL_FAILURE(quit(caller));
    EXPECT_EQ(caller.wait_exit(), 0);
    EXPECT_EQ(caller.raw_output().find("Returning to"), std::string::npos);
    EXPECT_STREQ(players().at(0).last_played, kTodayText);
    EXPECT_FALSE(exists("quonda.bul"));  // only remote sessions rewrite the bulletin
}

// The door's clock runs 40 times fast (libfaketime scales its monotonic clock and poll time-outs
// too), so the door kit's 200-second inactivity time-out comes after 5 seconds.
CallerOptions fast_clock(CallerOptions o) {
    o.env.push_back({"FAKETIME", std::string("@") + kToday + " x40"});
    o.env.push_back({"DONT_FAKE_MONOTONIC", "0"});
    return o;
}

class Inactivity : public Journey, public ::testing::WithParamInterface<bool> {};

TEST_P(Inactivity, AtTheMenuOrAPromptEndsNormallyWithTheRecordSaved) {
    const bool at_prompt = GetParam();
    MarketRecord start = market_dated(kTodayText);
    save(start);
    save(std::vector<PlayerRecord>{returning_player(start)});

    VirtualCaller caller(fast_clock(options()));
    ASSERT_TRUE(caller.start());
    ASSERT_NO_FATAL_FAILURE(to_main_menu(caller));
    if (at_prompt) {
        caller.type("1\r");
        ASSERT_TRUE(caller.shows("Sure you want to quit (Y/[N]): ", 23, 2));
    }
    const size_t idle_from = caller.raw_output().size();
    const char* message = at_prompt ? "ERROR - NO TERMINAL ACTIVITY, TERMINATING GAME!!!"
                                    : "No keyboard activity, termination game...";
    ASSERT_TRUE(caller.shows("SCORING SUMMARY", -1, -1, 30000));
    EXPECT_NE(caller.raw_output().find(message, idle_from), std::string::npos);
    ASSERT_TRUE(caller.shows("Press [ENTER] to exit..."));
    caller.type("\r");
    EXPECT_EQ(caller.wait_exit(), 0);
    const PlayerRecord stored = players().at(0);
    EXPECT_STREQ(stored.last_played, kTodayText);
    EXPECT_NE(contents("quonda.bul").find("TEST CALLER"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Reads, Inactivity, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? std::string("QuitPrompt") : "MainMenu";
                         });

TEST_F(Journey, AnEmptyAnswerToTheQuitQuestionKeepsPlaying) {
    MarketRecord start = market_dated(kTodayText);
    save(start);
    save(std::vector<PlayerRecord>{returning_player(start)});
    VirtualCaller caller(options());
    ASSERT_TRUE(caller.start());
    ASSERT_NO_FATAL_FAILURE(to_main_menu(caller));
    caller.type("1\r");
    ASSERT_TRUE(caller.shows("Sure you want to quit (Y/[N]): ", 23, 2));
    caller.type("\r");
    ASSERT_TRUE(caller.shows("Current cash: $1000", 23, 2));
    EXPECT_TRUE(caller.running());
    EXPECT_EQ(caller.screen().text(21, 30, 3), "[+]") << caller.screen().dump();
    ASSERT_NO_FATAL_FAILURE(quit(caller));
    EXPECT_EQ(caller.wait_exit(), 0);
}

// The fill glyph of heading bars and the item marker of each mode, as a CP437 terminal shows
// them.
struct ModeLook {
    int mode;
    const char* fill;
    const char* marker;
    const char* title_art;
};
constexpr ModeLook kLooks[] = {{0, "=", "[+]", "T H E   S T O C K"},
                               {1, "\u2550", "[\u2666]", "\u2554\u2550\u2550"},
                               {2, " ", "[\u2666]", "\u2554\u2550\u2550"}};

::testing::AssertionResult standard_screen(VirtualCaller& caller, const ModeLook& look, int item) {
    const VirtualScreen& s = caller.screen();
    auto fail = [&](const std::string& what) {
        return ::testing::AssertionFailure() << what << " (mode " << look.mode << ")\n" << s.dump();
    };
    if (s.text(0, 36, 8) != "BULLMOOR") return fail("title bar");
    if (s.text(0, 2, 1) != look.fill || s.text(0, 77, 1) != look.fill) return fail("title fill");
    if (s.text(1, 6, 7) != "Company") return fail("column heading");
    for (int c = 0; c < kCompanyCount; ++c) {
        if (s.text(2 + c, 8, 3).find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ") !=
            std::string::npos) {
            return fail("symbol of company " + std::to_string(c));
        }
    }
    if (s.text(14, 31, 17) != "MAIN COMMAND MENU") return fail("menu heading");
    if (s.text(14, 2, 1) != look.fill) return fail("menu heading fill");
    const char* items[] = {"Brokers Report", "Company Profile", "Trade Stocks",
                           "Page SysOp",     "Change graphics", "Help",
                           "Exit BMR"};
    for (int i = 0; i < 7; ++i) {
        const std::string text = items[i];
        if (s.text(15 + i, 34, static_cast<int>(text.size())) != text) {
            return fail("item " + std::to_string(i));
        }
        const std::string mark = s.text(15 + i, 30, 3);
        if (mark != (i == item ? look.marker : "[ ]")) return fail("marker of item " + text);
    }
    if (!s.bold(15 + item, 31)) return fail("bright marker");
    if (s.text(22, 31, 18) != "MESSAGES & PROMPTS") return fail("message heading");
    if (s.text(23, 0, 21) != "  Current cash: $1000") return fail("cash line");
    if (look.mode == 2 && s.bg(14, 10) != 2) return fail("green bar");
    if (look.mode != 2 && s.bg(14, 10) == 2) return fail("bar without colour");
    return ::testing::AssertionSuccess();
}

class MainMenuScreen : public Journey, public ::testing::WithParamInterface<ModeLook> {};

TEST_P(MainMenuScreen, KeysRedrawAndGraphicsChange) {
    const ModeLook& look = GetParam();
    MarketRecord start = market_dated(kTodayText);
    save(start);
    PlayerRecord p = returning_player(start);
    p.graphics_mode = static_cast<int16_t>(look.mode);
    save(std::vector<PlayerRecord>{p});

    VirtualCaller caller(options());
    ASSERT_TRUE(caller.start());
    ASSERT_NO_FATAL_FAILURE(sign_on(caller));
    ASSERT_NO_FATAL_FAILURE(title_screen(caller, look.title_art));
    ASSERT_NO_FATAL_FAILURE(price_report(caller));
    caller.type("\r");
    ASSERT_TRUE(caller.shows("MAIN COMMAND MENU", 14, 31));
    ASSERT_TRUE(caller.shows("Current cash: $1000", 23, 2));
    ASSERT_TRUE(standard_screen(caller, look, 0));

    // Up on the first item changes nothing; Down, End, Home and the cursor keys move.
    caller.type("8");
    caller.type("2");
    ASSERT_TRUE(caller.shows(look.marker, 16, 30));
    EXPECT_EQ(caller.screen().text(15, 30, 3), "[ ]");
    caller.type("1");
    ASSERT_TRUE(caller.shows(look.marker, 21, 30));
    caller.type("2");  // Down on the last item changes nothing
    caller.type("7");
    ASSERT_TRUE(caller.shows(look.marker, 15, 30));
    EXPECT_EQ(caller.screen().text(21, 30, 3), "[ ]");
    caller.type("\x1b[B\x1b[B\x1b[A");
    ASSERT_TRUE(caller.shows(look.marker, 16, 30));
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
    MarketRecord start = market_dated(kTodayText);
    save(start);
    save(std::vector<PlayerRecord>{returning_player(start)});
    write_config("Test Caller", "Secret");

    VirtualCaller caller(options());
    ASSERT_TRUE(caller.start());
    ASSERT_NO_FATAL_FAILURE(sign_on(caller));
    ASSERT_TRUE(caller.shows("Editor access granted..."));
    ASSERT_TRUE(caller.shows("Enter CTRL E in main menu to enter the editor."));
    ASSERT_NO_FATAL_FAILURE(title_screen(caller));
    ASSERT_NO_FATAL_FAILURE(price_report(caller));
    caller.type("\r");
    ASSERT_TRUE(caller.shows("Current cash: $1000", 23, 2));
    caller.type("2");  // the login comes back to this item
    ASSERT_TRUE(caller.shows("[+]", 16, 30));

    for (const char* attempt : {"secret", "SECRET"}) {
        caller.type("\x05");
        ASSERT_TRUE(caller.shows("Enter password: ", 23, 2));
        EXPECT_EQ(caller.screen().text(16, 30, 3), "[+]");
        EXPECT_FALSE(caller.screen().bold(16, 31)) << caller.screen().dump();
        const size_t typed = caller.raw_output().size();
        caller.type(std::string(attempt) + "\r");
        ASSERT_TRUE(sent_after(caller, typed, "  Wrong password.  Access Denied!\a"));
        ASSERT_TRUE(caller.shows("Current cash: $1000", 23, 2));
        EXPECT_TRUE(caller.running());
    }
    caller.type("\x05");
    ASSERT_TRUE(caller.shows("Enter password: ", 23, 2));
    const size_t typed = caller.raw_output().size();
    caller.type("Secret \r");
    ASSERT_TRUE(sent_after(caller, typed, "Wrong password.  Access Denied!"));
    ASSERT_TRUE(sent_after(caller, typed, "  Too many attempts, aborting game!\a"));
    ASSERT_TRUE(caller.shows("SCORING SUMMARY"));
    caller.type("\r");
    EXPECT_EQ(caller.wait_exit(), 0);

    const std::string entry = "Jun 15 2024   TEST CALLER\n->Unauthorized attempt to enter editor!";
    EXPECT_EQ(contents("quonda.err"), entry + entry + entry);
    EXPECT_STREQ(players().at(0).last_played, kTodayText);  // a normal end: saved
}

TEST_F(Journey, EditorLoginAndCtrlEWithoutAccess) {
    MarketRecord start = market_dated(kTodayText);
    save(start);
    save(std::vector<PlayerRecord>{returning_player(start)});
    write_config("Somebody Else", "Secret");

    VirtualCaller caller(options());
    ASSERT_TRUE(caller.start());
    ASSERT_NO_FATAL_FAILURE(to_main_menu(caller));
    EXPECT_EQ(caller.raw_output().find("Editor access granted"), std::string::npos);
    // Ctrl-E is ignored like any other key: the menu loop only draws its marker again.
    caller.drain(100);
    std::vector<std::string> rows_before;
    for (int row = 0; row < VirtualScreen::kRows; ++row) {
        rows_before.push_back(caller.screen().row(row));
    }
    const size_t before = caller.raw_output().size();
    caller.type("\x05");
    ASSERT_TRUE(caller.wait_consumed());
    caller.drain(300);
    EXPECT_EQ(caller.raw_output().substr(before), "\x1b[16;31H\x1b[1m[+]\x1b[2D");
    for (int row = 0; row < VirtualScreen::kRows; ++row) {
        EXPECT_EQ(caller.screen().row(row), rows_before[row]) << "row " << row;
    }
    ASSERT_NO_FATAL_FAILURE(quit(caller));
    EXPECT_EQ(caller.wait_exit(), 0);
    EXPECT_FALSE(exists("quonda.err"));

    // The sysop gets in with the right password; the entry is logged for a remote session.
    write_config("test caller", "Secret");
    VirtualCaller sysop(options("2024-06-15 11:00:00"));
    ASSERT_TRUE(sysop.start());
    ASSERT_NO_FATAL_FAILURE(to_main_menu(sysop));
    sysop.type("\x05");
    ASSERT_TRUE(sysop.shows("Enter password: ", 23, 2));
    sysop.type("Secret\r");
    ASSERT_TRUE(sysop.shows("Exit Editor"));
    sysop.type("1\r");
    ASSERT_TRUE(sysop.shows("MAIN COMMAND MENU", 14, 31));
    ASSERT_TRUE(sysop.shows("[+]", 15, 30));
    ASSERT_NO_FATAL_FAILURE(quit(sysop));
    EXPECT_EQ(sysop.wait_exit(), 0);
    EXPECT_EQ(contents("quonda.err"), "Jun 15 2024   TEST CALLER\n->Editor entered...");
}

}  // namespace

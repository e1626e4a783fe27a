// Session end: the session length, the top-10 bulletin's bytes, and the whole end as a caller sees
// it (scoring summary, goodbye) with what it leaves on disk.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "data/codec.h"
#include "data/dates.h"
#include "data/records.h"
#include "data/session_state.h"
#include "doorkit/opendoors.h"
#include "session/session.h"
#include "vcaller/caller.h"
#include "vcaller/harness.h"

namespace {

TEST(SessionLength, AcrossMidnight) {
    EXPECT_EQ(session_length(3600, 3000), 600);
    EXPECT_EQ(session_length(3000, 3000), 0);
    EXPECT_EQ(session_length(100, 86000), 500);
}

TEST(TopList, DescendingTiesInOfferOrderAndOneEqualToTheTenthStaysOut) {
    // Offered in this order at offsets 0 to 11: a tie at the top, then one equal to the tenth.
    const int32_t worth[12] = {100, 200, 300, 400, 500, 600, 700, 800, 1000, 1000, 100, 50};
    const int32_t ranked[kTopCount] = {8, 9, 7, 6, 5, 4, 3, 2, 1, 0};
    TopList list;
    reset_top_list(list);
    offer_top_list(list, -5, 99);  // below an unused entry's -1: never enters
    for (int i = 0; i < 12; ++i) offer_top_list(list, worth[i], i);
    for (int i = 0; i < kTopCount; ++i) EXPECT_EQ(list[i].offset, ranked[i]) << "place " << i;
}

std::string slurp(const char* path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

PlayerRecord stored_player(const char* name, int32_t net_worth) {
    PlayerRecord p{};
    std::snprintf(p.name, sizeof p.name, "%s", name);
    std::snprintf(p.last_played, sizeof p.last_played, "%s", "Nov 01 2023");
    p.net_worth = p.cash = net_worth;
    p.reserved = 77;
    return p;
}

void write_records(const std::vector<PlayerRecord>& players) {
    std::ofstream out("quonda.plr", std::ios::binary | std::ios::trunc);
    unsigned char bytes[kPlayerBytes];
    for (const PlayerRecord& p : players) {
        encode_player(p, bytes);
        out.write(reinterpret_cast<const char*>(bytes), kPlayerBytes);
    }
}

std::vector<PlayerRecord> read_records() {
    std::vector<PlayerRecord> players;
    const std::string bytes = slurp("quonda.plr");
    for (size_t at = 0; at + kPlayerBytes <= bytes.size(); at += kPlayerBytes) {
        decode_player(reinterpret_cast<const unsigned char*>(&bytes[at]), players.emplace_back());
    }
    return players;
}

constexpr const char* kBulletinHead =
    "\n\n         B U L L M O O R\n"
    "                        T O P   1 0   T Y C O O N S\n\n\n"
    "                  Last updated: Tue Nov 14 22:13:20 2023\n\n"
    "                Player Name                   Net Worth  \n"
    "     -----------------------------------------------------------------\n";

// In a fresh directory at Tue Nov 14 22:13:20 2023 (80000 s): ANNE SMITH, whose record sits
// second in quonda.plr between BERT's and CARL's, ends a session started at 79000 s.
class SessionEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(getcwd(old_cwd_, sizeof old_cwd_), nullptr);
        ASSERT_EQ(chdir(dir_.c_str()), 0);
        setenv("TZ", "UTC", 1);
        tzset();
        set_clock_source([] { return std::time_t{1700000000}; });
        GTEST_FLAG_SET(death_test_style, "fast");
        g_session = SessionState{};
        std::snprintf(g_session.config.bulletin_file, kSettingSize, "%s", "top.bul");
        std::snprintf(g_session.today, kDateSize, "%s", "Nov 14 2023");
        std::snprintf(g_session.user_name, kNameSize, "%s", "ANNE SMITH");
        std::snprintf(g_session.market.date, kDateSize, "%s", "Nov 14 2023");
        g_session.market.general_trend = 7;
        g_session.market_ready = g_session.player_ready = true;
        g_session.player_offset = kPlayerBytes;
        g_session.start_cash = 2000;
        g_session.session_start_seconds = 79000;
        // Started 2000 + 5 bonds at 100 = 2500; now 1500 + 5 at 90 = 1950; the short position
        // counts nowhere.
        MarketRecord& market = g_session.market;
        market.companies[3].price[kBonds][0] = 90;
        market.companies[7].price[kPreferred][0] = 33;
        PlayerRecord& p = g_session.player = stored_player("ANNE SMITH", 0);
        p.seconds_played = 500;
        p.times_played = 4;
        p.cash = 1500;
        p.holdings[3].count[kBonds] = 5;
        p.holdings[3].last_price[kBonds] = 100;
        p.holdings[3].crashed[kBonds] = 1;
        p.holdings[6].short_count = 50;
        p.holdings[6].short_price = 10;
        p.holdings[6].split = 1;
        write_records({stored_player("BERT", 2500), stored_player("ANNE SMITH", 900),
                       stored_player("CARL", -5)});
    }
    void TearDown() override {
        set_clock_source(nullptr);
        ASSERT_EQ(chdir(old_cwd_), 0);
        remove_tree(dir_);
    }
    // What the door sent until marker, read with a deadline: the end runs in a forked child.
    std::string output_until(const std::string& marker) {
        std::string out;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (out.find(marker) == std::string::npos &&
               std::chrono::steady_clock::now() < deadline) {
            out += door_.take_output();
            if (out.find(marker) == std::string::npos) usleep(10000);
        }
        return out;
    }

    const std::string dir_ = make_temp_dir("end");
    char old_cwd_[4096] = "";
    DoorHarness door_;
};

TEST_F(SessionEnd, NoBulletinWithoutAPlayerFileOrABulletinName) {
    g_session.config.bulletin_file[0] = '\0';
    write_bulletin();
    EXPECT_NE(access("top.bul", F_OK), 0) << "no bulletin name";
    std::snprintf(g_session.config.bulletin_file, kSettingSize, "%s", "top.bul");
    std::remove("quonda.plr");
    write_bulletin();
    EXPECT_NE(access("top.bul", F_OK), 0) << "no player file";
}

TEST_F(SessionEnd, NormalRemoteEndSavesScoresAndRewritesTheBulletin) {
    door_.type("\r");
    EXPECT_EXIT(session_end(0), ::testing::ExitedWithCode(0), "");
    const std::string out = output_until("Returning to BBS....\r\n\r\n");
    const size_t summary = out.find(
        "\x1b[1m                              SCORING SUMMARY\r\n\r\n"
        "        \x1b[0mANNE you started with a net worth of 2500.\r\n"
        "        Your current net worth is 1950.\r\n");
    const size_t exit_prompt =
        out.find("\r\n\x1b[1m                            Press [ENTER] to exit...");
    const size_t goodbye = out.find("\x1b[0;37;40m\r\nReturning to BBS....\r\n\r\n");
    ASSERT_NE(goodbye, std::string::npos) << out;
    EXPECT_LT(summary, exit_prompt) << out;
    EXPECT_LT(exit_prompt, goodbye) << out;

    MarketRecord market{};
    ASSERT_EQ(load_market(market), 0);
    EXPECT_EQ(std::string(market.date) + " " + std::to_string(market.general_trend),
              "Nov 14 2023 7");
    const std::vector<PlayerRecord> players = read_records();
    ASSERT_EQ(players.size(), 3u);
    const PlayerRecord& anne = players[1];
    EXPECT_STREQ(anne.name, "ANNE SMITH");
    EXPECT_STREQ(anne.last_played, "Nov 14 2023");
    EXPECT_EQ(anne.times_played, 5);
    EXPECT_EQ(anne.seconds_played, 1500);
    EXPECT_EQ(anne.net_worth, 1950);
    EXPECT_EQ(anne.reserved, 77);
    EXPECT_EQ(anne.holdings[3].crashed[kBonds], 0);
    EXPECT_EQ(anne.holdings[7].last_price[kPreferred], 33) << "held or not, prices are noted";
    EXPECT_EQ(anne.holdings[6].split, 1) << "the split counter is the report's to clear";
    // CARL's -5 never makes the list.
    EXPECT_EQ(slurp("top.bul"), std::string(kBulletinHead) +
                                    "       BERT            2500\n"
                                    "       ANNE SMITH            1950\n");
}

// A local caller new to the file, in colour: the record goes after the others and the bulletin
// is not rewritten.
TEST_F(SessionEnd, LocalColourEndAppendsANewPlayerAndLeavesTheBulletin) {
    od_control.remote = 0;
    std::ofstream("top.bul") << "yesterday's list\n";
    g_session.player.graphics_mode = kColorMode;
    g_session.player_offset = 3 * kPlayerBytes;
    std::snprintf(g_session.user_name, kNameSize, "%s", " LEADING BLANK");
    door_.type("\r");
    EXPECT_EXIT(session_end(0), ::testing::ExitedWithCode(0), "");
    const std::string out = output_until("\x1b[0;37;40m\r\n");
    EXPECT_NE(out.find("\x1b[1;37;40m                              SCORING SUMMARY\r\n\r\n"
                       "        \x1b[1;32;40m you started with"),
              std::string::npos)
        << out;
    EXPECT_EQ(out.find("Returning to"), std::string::npos);
    EXPECT_EQ(slurp("top.bul"), "yesterday's list\n");
    const std::vector<PlayerRecord> players = read_records();
    ASSERT_EQ(players.size(), 4u);
    EXPECT_EQ(players[1].net_worth, 900) << "the stored record at 556 is not the caller's now";
    EXPECT_EQ(players[3].net_worth, 1950);
}

// A refusal (exit 1) saves nothing; a hang-up before the market was built saves nothing; the
// market built but the caller not yet found saves only the market.
TEST_F(SessionEnd, NothingOfTheCallerSavedOnARefusalOrBeforeTheCallerIsFound) {
    struct Case {
        int exit_code;
        bool market_ready, player_ready, hang_up;
    } const cases[] = {{1, true, true, false}, {0, true, false, false}, {0, false, false, true}};
    const std::string before = slurp("quonda.plr");
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "exit " << c.exit_code << " market " << c.market_ready);
        std::remove("quonda.dat");
        g_session.market_ready = c.market_ready;
        g_session.player_ready = c.player_ready;
        if (c.hang_up) door_.hang_up();
        EXPECT_EXIT(session_end(c.exit_code), ::testing::ExitedWithCode(c.exit_code), "");
        EXPECT_EQ(access("quonda.dat", F_OK) == 0, c.exit_code == 0 && c.market_ready);
        EXPECT_EQ(slurp("quonda.plr"), before);
        EXPECT_NE(access("top.bul", F_OK), 0);
    }
    EXPECT_EQ(door_.take_output().find("SCORING SUMMARY"), std::string::npos);
}

}  // namespace

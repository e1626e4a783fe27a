// Session end: the session length, the top-10 bulletin's bytes, and the whole end as a caller sees
// it (scoring summary, goodbye) with what it leaves on disk.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "data/codec.h"
#include "data/dates.h"
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
    // Offered at offsets 0 to 11: a tie at the top, then one equal to the tenth.
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
    p.net_worth = p.cash = net_worth;
    p.reserved = 77;
    return p;
}

// At Tue Nov 14 22:13:20 2023 (80000 s) ANNE SMITH, stored second of three, ends a session begun at
// 79000 s: from 2000 + 5 bonds at 100 = 2500 to 1500 + 5 at 90 = 1950 (a short counts nowhere).
class SessionEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::current_path(dir_);
        setenv("TZ", "UTC", 1);
        tzset();
        set_clock_source([] { return std::time_t{1700000000}; });
        g_session = SessionState{};
        std::snprintf(g_session.config.bulletin_file, kSettingSize, "%s", "top.bul");
        std::snprintf(g_session.user_name, kNameSize, "%s", "ANNE SMITH");
        g_session.market_ready = g_session.player_ready = true;
        g_session.player_offset = kPlayerBytes;
        g_session.start_cash = 2000;
        g_session.session_start_seconds = 79000;
        g_session.market.companies[3].price[kBonds][0] = 90;
        g_session.market.companies[7].price[kPreferred][0] = 33;
        PlayerRecord& p = g_session.player = stored_player("ANNE SMITH", 1500);
        p.seconds_played = 500;
        p.holdings[3] = Holding{{0, 0, 0, 1}, 0, {0, 0, 0, 100}, {0, 0, 0, 5}, 0, 0};
        p.holdings[6] = Holding{{}, 1, {}, {}, 50, 10};  // split 1, 50 short at 10
        std::ofstream("quonda.plr", std::ios::trunc);
        int32_t at = 0;
        for (const PlayerRecord& q : {stored_player("BERT", 2500), stored_player("ANNE SMITH", 900),
                                      stored_player("CARL", -5)})
            ASSERT_EQ(rewrite_player(q, kPlayerBytes * at++), 0);
    }
    void TearDown() override {
        std::filesystem::current_path(old_cwd_);
        remove_tree(dir_);
    }
    // What the door sent until marker: the end runs in a forked child, read here within 5 s.
    std::string output_until(const std::string& marker) {
        std::string out;
        for (int polls = 0; polls < 500 && out.find(marker) == out.npos; ++polls, usleep(10000))
            out += door_.take_output();
        return out;
    }

    const std::filesystem::path old_cwd_ = std::filesystem::current_path();
    const std::string dir_ = make_temp_dir("end");
    DoorHarness door_;
};

// The end's screens byte for byte; ANNE's record in place, her time added, other fields kept, the
// crash counter cleared, every price noted; the bulletin ranks BERT, ANNE (CARL's -5 stays out).
TEST_F(SessionEnd, NormalRemoteEndSavesScoresAndRewritesTheBulletin) {
    door_.type("\r");
    EXPECT_EXIT(session_end(0), ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(output_until("Returning to BBS....\r\n\r\n"),
              "\x1b[2J\x1b[H\r\n                                B U L L M O O R\r\n\r\n\r\n"
              "\x1b[1m                              SCORING SUMMARY\r\n\r\n"
              "        \x1b[0mANNE you started with a net worth of 2500.\r\n"
              "        Your current net worth is 1950.\r\n\r\n"
              "\x1b[1m                            Press [ENTER] to exit...\r\n"
              "\x1b[2J\x1b[H\x1b[0;37;40m\r\nReturning to BBS....\r\n\r\n");
    PlayerRecord anne{};
    int32_t at = 0;
    ASSERT_EQ(find_player("ANNE SMITH", anne, at), 1);
    EXPECT_EQ(at, kPlayerBytes);
    EXPECT_EQ(std::filesystem::file_size("quonda.plr"), 3u * kPlayerBytes);
    EXPECT_EQ(anne.seconds_played, 1500);
    EXPECT_EQ(anne.net_worth, 1950);
    EXPECT_EQ(anne.reserved, 77);
    EXPECT_EQ(anne.holdings[3].crashed[kBonds], 0);
    EXPECT_EQ(anne.holdings[7].last_price[kPreferred], 33) << "held or not, prices are noted";
    EXPECT_EQ(anne.holdings[6].split, 1) << "the split counter is the report's to clear";
    EXPECT_EQ(slurp("top.bul"),
              "\n\n         B U L L M O O R\n"
              "                        T O P   1 0   T Y C O O N S\n\n\n"
              "                  Last updated: Tue Nov 14 22:13:20 2023\n\n"
              "                Player Name                   Net Worth  \n"
              "     -----------------------------------------------------------------\n"
              "       BERT            2500\n"
              "       ANNE SMITH            1950\n");
}

// A local caller in colour (a name with a leading blank has no first name): the colour summary,
// no goodbye, and the bulletin is not rewritten.
TEST_F(SessionEnd, LocalColourEndSaysNoGoodbyeAndLeavesTheBulletin) {
    od_control.remote = 0;
    std::ofstream("top.bul") << "yesterday's list\n";
    g_session.player.graphics_mode = kColorMode;
    std::snprintf(g_session.user_name, kNameSize, "%s", " LEADING BLANK");
    door_.type("\r");
    EXPECT_EXIT(session_end(0), ::testing::ExitedWithCode(0), "");
    const std::string out = output_until("\x1b[0;37;40m\r\n");
    EXPECT_TRUE(
        out.ends_with("\x1b[1;37;40m                              SCORING SUMMARY\r\n\r\n"
                      "        \x1b[1;32;40m you started with a net worth of 2500.\r\n"
                      "        Your current net worth is 1950.\r\n\r\n"
                      "\x1b[1;37;40m                            Press [ENTER] to exit...\r\n"
                      "\x1b[2J\x1b[H\x1b[0;37;40m\r\n"))
        << out;
    EXPECT_EQ(slurp("top.bul"), "yesterday's list\n");
}

// The market built but the caller not yet found (a hang-up at a new player's first question):
// only the market is saved, and no bulletin is written.
TEST_F(SessionEnd, BeforeTheCallerIsFoundOnlyTheMarketIsSaved) {
    g_session.player_ready = false;
    const std::string before = slurp("quonda.plr");
    EXPECT_EXIT(session_end(0), ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(access("quonda.dat", F_OK), 0);
    EXPECT_EQ(slurp("quonda.plr"), before);
    EXPECT_NE(access("top.bul", F_OK), 0);
}

}  // namespace

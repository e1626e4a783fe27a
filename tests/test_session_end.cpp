// Session end: the scoring figures, the session length, the top-10 ranking and the bulletin's
// bytes; the whole end as a caller sees it, with what it leaves on disk.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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
#include "vcaller/harness.h"

namespace {

// Cash 1500 and start cash 2000; company 0: 10 common, last 20, now 25; company 3: 5 bonds,
// last 100, now 90; company 6: 50 short at 10 (counted nowhere). Started 2000 + 200 + 500 =
// 2700; current 1500 + 250 + 450 = 2200.
TEST(ScorePlayer, FiguresAtLastAndCurrentPricesWithoutShorts) {
    MarketRecord market{};
    market.companies[0].price[kCommon][0] = 25;
    market.companies[3].price[kBonds][0] = 90;
    market.companies[6].price[kCommon][0] = 400;
    market.companies[7].price[kPreferred][0] = 33;
    PlayerRecord player{};
    player.cash = 1500;
    player.holdings[0].count[kCommon] = 10;
    player.holdings[0].last_price[kCommon] = 20;
    player.holdings[3].count[kBonds] = 5;
    player.holdings[3].last_price[kBonds] = 100;
    player.holdings[6].short_count = 50;
    player.holdings[6].short_price = 10;
    player.holdings[6].crashed[kCommon] = 2;
    player.holdings[6].split = 1;

    const ScoreFigures figures = score_player(player, market, 2000);

    EXPECT_EQ(figures.started, 2700);
    EXPECT_EQ(figures.current, 2200);
    EXPECT_EQ(player.net_worth, 2200);
    EXPECT_EQ(player.cash, 1500);
    EXPECT_EQ(player.holdings[0].last_price[kCommon], 25);
    EXPECT_EQ(player.holdings[3].last_price[kBonds], 90);
    EXPECT_EQ(player.holdings[7].last_price[kPreferred], 33) << "held or not, prices are noted";
    EXPECT_EQ(player.holdings[6].crashed[kCommon], 0);
    EXPECT_EQ(player.holdings[6].split, 1) << "the split counter is the report's to clear";
}

TEST(SessionLength, AcrossMidnight) {
    EXPECT_EQ(session_length(3600, 3000), 600);
    EXPECT_EQ(session_length(3000, 3000), 0);
    EXPECT_EQ(session_length(100, 86000), 500);
}

std::vector<TopEntry> ranked(const TopList& list) {
    std::vector<TopEntry> out;
    for (int i = 0; i < kTopCount; ++i) {
        if (list[i].net_worth != -1) out.push_back(list[i]);
    }
    return out;
}

TEST(TopList, DescendingAndEqualNetWorthsInFileOrder) {
    TopList list;
    reset_top_list(list);
    offer_top_list(list, 500, 0);
    offer_top_list(list, 700, 556);
    offer_top_list(list, 500, 1112);
    offer_top_list(list, 900, 1668);
    offer_top_list(list, -5, 2224);  // below an unused entry's -1: never enters
    const std::vector<TopEntry> top = ranked(list);
    ASSERT_EQ(top.size(), 4u);
    const int32_t expected[4][2] = {{900, 1668}, {700, 556}, {500, 0}, {500, 1112}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(top[i].net_worth, expected[i][0]) << i;
        EXPECT_EQ(top[i].offset, expected[i][1]) << i;
    }
}

TEST(TopList, EqualToTheTenthStaysOutAndOneMoreGoesIn) {
    TopList list;
    reset_top_list(list);
    for (int i = 0; i < kTopCount; ++i) offer_top_list(list, 1000 - 100 * i, 556 * i);
    offer_top_list(list, 100, 556 * 10);  // equal to the tenth
    EXPECT_EQ(list[9].net_worth, 100);
    EXPECT_EQ(list[9].offset, 556 * 9);
    offer_top_list(list, 950, 556 * 11);  // enters second; the old tenth falls out
    EXPECT_EQ(list[1].net_worth, 950);
    EXPECT_EQ(list[1].offset, 556 * 11);
    EXPECT_EQ(list[2].net_worth, 900);
    EXPECT_EQ(list[9].net_worth, 200);
    EXPECT_EQ(list[kTopCount].net_worth, 100) << "the candidate slot holds the one that fell out";
}

// A fixed clock: 1700000000 is Tue Nov 14 22:13:20 2023 in UTC.
std::time_t fixed_clock() {
    return 1700000000;
}

class WorkingDirectory : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/bullmoor-end-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        ASSERT_NE(getcwd(old_cwd_, sizeof old_cwd_), nullptr);
        ASSERT_EQ(chdir(dir_.c_str()), 0);
        setenv("TZ", "UTC", 1);
        tzset();
        set_clock_source(fixed_clock);
        std::snprintf(g_session.config.bulletin_file, kSettingSize, "%s", "top.bul");
    }
    void TearDown() override {
        set_clock_source(nullptr);
        ASSERT_EQ(chdir(old_cwd_), 0);
        std::system(("rm -rf " + dir_).c_str());
    }

    static void write_players(const std::vector<std::pair<const char*, int32_t>>& players) {
        std::FILE* f = std::fopen("quonda.plr", "wb");
        ASSERT_NE(f, nullptr);
        unsigned char bytes[kPlayerBytes];
        for (const auto& [name, net_worth] : players) {
            PlayerRecord p{};
            std::snprintf(p.name, sizeof p.name, "%s", name);
            p.net_worth = net_worth;
            encode_player(p, bytes);
            std::fwrite(bytes, 1, kPlayerBytes, f);
        }
        std::fclose(f);
    }
    static std::string slurp(const char* path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::string dir_;
    char old_cwd_[4096] = "";
};

constexpr const char* kBulletinHead =
    "\n\n         B U L L M O O R\n"
    "                        T O P   1 0   T Y C O O N S\n\n\n"
    "                  Last updated: Tue Nov 14 22:13:20 2023\n\n"
    "                Player Name                   Net Worth  \n"
    "     -----------------------------------------------------------------\n";

TEST_F(WorkingDirectory, BulletinOfThreePlayersWithATie) {
    write_players({{"ANNE", 2500}, {"BERT", 4100}, {"CORA", 2500}});
    write_bulletin();
    EXPECT_EQ(slurp("top.bul"), std::string(kBulletinHead) +
                                    "       BERT            4100\n"
                                    "       ANNE            2500\n"
                                    "       CORA            2500\n");
}

TEST_F(WorkingDirectory, BulletinKeepsTenAndLeavesOutOneEqualToTheTenth) {
    std::vector<std::pair<const char*, int32_t>> players = {
        {"P01", 100}, {"P02", 200}, {"P03", 300}, {"P04", 400},  {"P05", 500}, {"P06", 600},
        {"P07", 700}, {"P08", 800}, {"P09", 900}, {"P10", 1000}, {"P11", 100}, {"P12", 50}};
    write_players(players);
    write_bulletin();
    std::string expected = kBulletinHead;
    for (int i = 10; i >= 1; --i) {
        char line[64];
        std::snprintf(line, sizeof line, "       P%02d        %8d\n", i, i * 100);
        expected += line;
    }
    EXPECT_EQ(slurp("top.bul"), expected);
}

TEST_F(WorkingDirectory, NoBulletinWithoutAPlayerFileOrAName) {
    write_bulletin();
    EXPECT_NE(access("top.bul", F_OK), 0);
    write_players({{"ANNE", 1}});
    g_session.config.bulletin_file[0] = '\0';
    write_bulletin();
    EXPECT_NE(access("top.bul", F_OK), 0);
}

}  // namespace

namespace {

// Everything the door sent until the goodbye's last line, read with a deadline: the session
// ends in a forked child whose output reaches the parent's harness.
std::string output_until(DoorHarness& door, const std::string& marker) {
    std::string out;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (out.find(marker) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        out += door.take_output();
        if (out.find(marker) == std::string::npos) usleep(10000);
    }
    return out;
}

PlayerRecord stored_player(const char* name, int32_t net_worth) {
    PlayerRecord p{};
    std::snprintf(p.name, sizeof p.name, "%s", name);
    std::snprintf(p.last_played, sizeof p.last_played, "%s", "Nov 01 2023");
    p.net_worth = net_worth;
    p.cash = net_worth;
    p.reserved = 77;
    return p;
}

// A caller ANNE SMITH whose record sits second in quonda.plr, after BERT's. Session started at
// 79000 s; the clock says 80000 s (22:13:20). Holdings as in the scoring test above: started
// 2700, now 2200.
class SessionEnd : public WorkingDirectory {
  protected:
    void SetUp() override {
        WorkingDirectory::SetUp();
        GTEST_FLAG_SET(death_test_style, "fast");
        g_session = SessionState{};
        std::snprintf(g_session.config.bulletin_file, kSettingSize, "%s", "top.bul");
        std::snprintf(g_session.today, kDateSize, "%s", "Nov 14 2023");
        std::snprintf(g_session.user_name, kNameSize, "%s", "ANNE SMITH");
        std::snprintf(g_session.market.date, kDateSize, "%s", "Nov 14 2023");
        g_session.market.general_trend = 7;
        g_session.market.companies[0].price[kCommon][0] = 25;
        g_session.market.companies[3].price[kBonds][0] = 90;
        g_session.market_ready = true;
        g_session.player_ready = true;
        g_session.player_offset = kPlayerBytes;
        g_session.start_cash = 2000;
        g_session.session_start_seconds = 79000;
        PlayerRecord& p = g_session.player;
        p = stored_player("ANNE SMITH", 0);
        p.cash = 1500;
        p.seconds_played = 500;
        p.times_played = 4;
        p.holdings[0].count[kCommon] = 10;
        p.holdings[0].last_price[kCommon] = 20;
        p.holdings[3].count[kBonds] = 5;
        p.holdings[3].last_price[kBonds] = 100;
        p.holdings[3].crashed[kBonds] = 1;
        write_records({stored_player("BERT", 2500), stored_player("ANNE SMITH", 900)});
    }

    static void write_records(const std::vector<PlayerRecord>& players) {
        std::FILE* f = std::fopen("quonda.plr", "wb");
        ASSERT_NE(f, nullptr);
        unsigned char bytes[kPlayerBytes];
        for (const PlayerRecord& p : players) {
            encode_player(p, bytes);
            std::fwrite(bytes, 1, kPlayerBytes, f);
        }
        std::fclose(f);
    }
    static std::vector<PlayerRecord> read_records() {
        std::vector<PlayerRecord> players;
        const std::string bytes = slurp("quonda.plr");
        for (size_t at = 0; at + kPlayerBytes <= bytes.size(); at += kPlayerBytes) {
            PlayerRecord p{};
            decode_player(reinterpret_cast<const unsigned char*>(bytes.data() + at), p);
            players.push_back(p);
        }
        return players;
    }

    DoorHarness door_;
};

TEST_F(SessionEnd, NormalRemoteEndSavesScoresAndRewritesTheBulletin) {
    door_.type("\r");
    EXPECT_EXIT(session_end(0), ::testing::ExitedWithCode(0), "");
    const std::string out = output_until(door_, "Returning to BBS....\r\n\r\n");

    EXPECT_NE(out.find("\x1b[1m                              SCORING SUMMARY\r\n\r\n"
                       "        \x1b[0mANNE you started with a net worth of 2700.\r\n"
                       "        Your current net worth is 2200.\r\n"),
              std::string::npos)
        << out;
    const size_t exit_prompt =
        out.find("\r\n\x1b[1m                            Press [ENTER] to exit...");
    const size_t goodbye = out.find("\x1b[0;37;40m\r\nReturning to BBS....\r\n\r\n");
    ASSERT_NE(exit_prompt, std::string::npos);
    ASSERT_NE(goodbye, std::string::npos);
    EXPECT_LT(exit_prompt, goodbye);

    MarketRecord market{};
    ASSERT_EQ(load_market(market), 0);
    EXPECT_STREQ(market.date, "Nov 14 2023");
    EXPECT_EQ(market.general_trend, 7);

    const std::vector<PlayerRecord> players = read_records();
    ASSERT_EQ(players.size(), 2u);
    EXPECT_STREQ(players[0].name, "BERT");
    EXPECT_EQ(players[0].net_worth, 2500);
    const PlayerRecord& anne = players[1];
    EXPECT_STREQ(anne.name, "ANNE SMITH");
    EXPECT_STREQ(anne.last_played, "Nov 14 2023");
    EXPECT_EQ(anne.times_played, 5);
    EXPECT_EQ(anne.seconds_played, 1500);
    EXPECT_EQ(anne.net_worth, 2200);
    EXPECT_EQ(anne.reserved, 77);
    EXPECT_EQ(anne.holdings[0].last_price[kCommon], 25);
    EXPECT_EQ(anne.holdings[3].crashed[kBonds], 0);

    EXPECT_EQ(slurp("top.bul"), std::string(kBulletinHead) +
                                    "       BERT            2500\n"
                                    "       ANNE SMITH            2200\n");
}

TEST_F(SessionEnd, ColourModeSummaryAndANewPlayerAppended) {
    g_session.player.graphics_mode = kColorMode;
    g_session.player_offset = 2 * kPlayerBytes;
    std::snprintf(g_session.user_name, kNameSize, "%s", " LEADING BLANK");
    door_.type("\r");
    EXPECT_EXIT(session_end(0), ::testing::ExitedWithCode(0), "");
    const std::string out = output_until(door_, "Returning to BBS....\r\n\r\n");
    EXPECT_NE(out.find("\x1b[1;37;40m                              SCORING SUMMARY\r\n\r\n"
                       "        \x1b[1;32;40m you started with"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("\r\n\x1b[1;37;40m                            Press [ENTER] to exit..."),
              std::string::npos);
    const std::vector<PlayerRecord> players = read_records();
    ASSERT_EQ(players.size(), 3u);
    EXPECT_EQ(players[1].net_worth, 900) << "the stored record at 556 is not the caller's now";
    EXPECT_EQ(players[2].net_worth, 2200);
}

TEST_F(SessionEnd, LocalEndWritesTheRecordButLeavesTheBulletin) {
    od_control.remote = 0;
    {
        std::ofstream old("top.bul");
        old << "yesterday's list\n";
    }
    door_.type("\r");
    EXPECT_EXIT(session_end(0), ::testing::ExitedWithCode(0), "");
    const std::string out = output_until(door_, "\x1b[0;37;40m\r\n");
    EXPECT_EQ(out.find("Returning to"), std::string::npos);
    EXPECT_EQ(slurp("top.bul"), "yesterday's list\n");
    EXPECT_EQ(read_records()[1].net_worth, 2200);
}

TEST_F(SessionEnd, ExitCodeOneSavesNothing) {
    const std::string before = slurp("quonda.plr");
    EXPECT_EXIT(session_end(1), ::testing::ExitedWithCode(1), "");
    const std::string out = output_until(door_, "Returning to BBS....\r\n\r\n");
    EXPECT_EQ(out.find("SCORING SUMMARY"), std::string::npos);
    EXPECT_NE(access("quonda.dat", F_OK), 0);
    EXPECT_EQ(slurp("quonda.plr"), before);
    EXPECT_NE(access("top.bul", F_OK), 0);
}

// A hang-up before the market was built and the caller looked up ends normally, but there is
// nothing of this session to save: quonda.dat and the first record stay as they were.
TEST_F(SessionEnd, EarlyHangUpWritesNeitherMarketNorRecord) {
    g_session.market_ready = false;
    g_session.player_ready = false;
    g_session.player_offset = 0;
    const std::string before = slurp("quonda.plr");
    door_.hang_up();
    EXPECT_EXIT(session_end(0), ::testing::ExitedWithCode(0), "");
    EXPECT_NE(access("quonda.dat", F_OK), 0);
    EXPECT_EQ(slurp("quonda.plr"), before);
    EXPECT_NE(access("top.bul", F_OK), 0);
}

TEST_F(SessionEnd, MarketBuiltButCallerNotYetFoundSavesOnlyTheMarket) {
    g_session.player_ready = false;
    const std::string before = slurp("quonda.plr");
    EXPECT_EXIT(session_end(0), ::testing::ExitedWithCode(0), "");
    MarketRecord market{};
    EXPECT_EQ(load_market(market), 0);
    EXPECT_EQ(slurp("quonda.plr"), before);
}

}  // namespace

// The daily player-file pass: dropping absent players, carrying crashes and splits into the
// holdings, bonds and dividends at a month change, and the rewrite of quonda.plr.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "data/codec.h"
#include "data/dates.h"
#include "data/records.h"
#include "session/session.h"

namespace {

constexpr const char* kToday = "Mar 31 2024";

PlayerRecord player_seen(const char* last_played) {
    PlayerRecord player{};
    std::snprintf(player.name, sizeof player.name, "%s", "ANNE");
    std::snprintf(player.last_played, sizeof player.last_played, "%s", last_played);
    return player;
}

struct KeepCase {
    const char* last_played;
    bool kept;
};

class AbsenceLimit : public ::testing::TestWithParam<KeepCase> {};

TEST_P(AbsenceLimit, ThirtyDaysKeptThirtyOneDropped) {
    PlayerRecord player = player_seen(GetParam().last_played);
    MarketRecord market{};
    EXPECT_EQ(pass_player(player, market, day_number(kToday), false), GetParam().kept);
}

// 2024 is a leap year: Mar 01 is 30 days before Mar 31, Feb 29 is 31.
INSTANTIATE_TEST_SUITE_P(Days, AbsenceLimit,
                         ::testing::Values(KeepCase{"Mar 31 2024", true},
                                           KeepCase{"Mar 01 2024", true},
                                           KeepCase{"Feb 29 2024", false},
                                           KeepCase{"Mar 31 2023", false},
                                           KeepCase{"Jan 01 1900", false}));

TEST(PassPlayer, CommonCrashPaysTheShortSellerOneAndAHalfTimes) {
    MarketRecord market{};
    market.companies[4].crashed[kCommon] = 1;
    PlayerRecord player = player_seen(kToday);
    player.cash = 100;
    player.holdings[4].crashed[kCommon] = 1;  // an earlier crash not yet reported
    player.holdings[4].count[kCommon] = 7;
    player.holdings[4].count[kPreferred] = 3;
    player.holdings[4].short_count = 10;
    player.holdings[4].short_price = 41;
    ASSERT_TRUE(pass_player(player, market, day_number(kToday), false));
    EXPECT_EQ(player.cash, 100 + 615);  // 410 + 205
    EXPECT_EQ(player.holdings[4].short_count, 0);
    EXPECT_EQ(player.holdings[4].count[kCommon], 0);
    EXPECT_EQ(player.holdings[4].count[kPreferred], 3);
    EXPECT_EQ(player.holdings[4].crashed[kCommon], 2);
    EXPECT_EQ(player.holdings[4].crashed[kOptions], 0);
}

TEST(PassPlayer, EachCrashedKindLosesOnlyItsOwnUnits) {
    MarketRecord market{};
    market.companies[0].crashed[kOptions] = 1;
    market.companies[1].crashed[kPreferred] = 1;
    market.companies[2].crashed[kBonds] = 1;
    PlayerRecord player = player_seen(kToday);
    for (int c = 0; c < 3; ++c) {
        for (int k = 0; k < kKindCount; ++k) player.holdings[c].count[k] = 5;
    }
    ASSERT_TRUE(pass_player(player, market, day_number(kToday), false));
    const int32_t expected[3][kKindCount] = {{0, 5, 5, 5}, {5, 5, 0, 5}, {5, 5, 5, 0}};
    for (int c = 0; c < 3; ++c) {
        for (int k = 0; k < kKindCount; ++k) {
            EXPECT_EQ(player.holdings[c].count[k], expected[c][k]) << c << "/" << k;
        }
    }
    EXPECT_EQ(player.cash, 0);
}

TEST(PassPlayer, SplitDoublesEveryCountAndHalvesTheShortPriceRoundingUp) {
    MarketRecord market{};
    market.companies[9].split = 1;
    PlayerRecord player = player_seen(kToday);
    Holding& h = player.holdings[9];
    h.count[kOptions] = 1;
    h.count[kCommon] = 2;
    h.count[kPreferred] = 3;
    h.count[kBonds] = 4;
    h.short_count = 5;
    h.short_price = 41;
    player.holdings[8].short_price = 41;  // a company that did not split keeps its price
    ASSERT_TRUE(pass_player(player, market, day_number(kToday), false));
    EXPECT_EQ(h.count[kOptions], 2);
    EXPECT_EQ(h.count[kCommon], 4);
    EXPECT_EQ(h.count[kPreferred], 6);
    EXPECT_EQ(h.count[kBonds], 8);
    EXPECT_EQ(h.short_count, 10);
    EXPECT_EQ(h.short_price, 21);
    EXPECT_EQ(h.split, 1);
    EXPECT_EQ(player.holdings[8].short_price, 41);
}

struct MonthCase {
    const char* label;
    const char* today;
    const char* previous;
    int32_t cash;  // after the pass, from 0
};

class MonthChange : public ::testing::TestWithParam<MonthCase> {};

// Company 0 (speculative): 10 bonds at 90, guaranteed 100. Company 1 (speculative): 10 bonds at
// 120, guaranteed 100. Company 2 (blue chip): 100 common at 30 and 10 preferred at 52.
// Company 3 (blue chip): 49 common at 1. A month change pays 1000 + 1200 + 3000/50 + 520/25
// (20, truncated) + 49/50 (0) = 2280.
TEST_P(MonthChange, BondsAndDividendsOnlyWhenTheMonthNameChanges) {
    const MonthCase& c = GetParam();
    MarketRecord market{};
    market.companies[0].price[kBonds][0] = 90;
    market.companies[0].bond_guaranteed_value = 100;
    market.companies[1].price[kBonds][0] = 120;
    market.companies[1].bond_guaranteed_value = 100;
    market.companies[2].type = kBlueChip;
    market.companies[2].price[kCommon][0] = 30;
    market.companies[2].price[kPreferred][0] = 52;
    market.companies[3].type = kBlueChip;
    market.companies[3].price[kCommon][0] = 1;
    PlayerRecord player = player_seen(c.today);
    player.holdings[0].count[kBonds] = 10;
    player.holdings[1].count[kBonds] = 10;
    player.holdings[2].count[kCommon] = 100;
    player.holdings[2].count[kPreferred] = 10;
    player.holdings[3].count[kCommon] = 49;
    const bool month_changed = std::strncmp(c.today, c.previous, 3) != 0;
    ASSERT_TRUE(pass_player(player, market, day_number(c.today), month_changed));
    EXPECT_EQ(player.cash, c.cash) << c.label;
    const int32_t bonds_left = c.cash == 0 ? 10 : 0;
    EXPECT_EQ(player.holdings[0].count[kBonds], bonds_left) << c.label;
    EXPECT_EQ(player.holdings[1].count[kBonds], bonds_left) << c.label;
    EXPECT_EQ(player.holdings[2].count[kCommon], 100) << "dividends keep the shares";
}

INSTANTIATE_TEST_SUITE_P(
    Dates, MonthChange,
    ::testing::Values(MonthCase{"new month", "Apr 01 2024", "Mar 31 2024", 2280},
                      MonthCase{"same month", "Mar 31 2024", "Mar 02 2024", 0},
                      MonthCase{"same month name a year later", "Mar 05 2025", "Mar 31 2024", 0}));

// A non-blue-chip pays no dividends, and crashed bonds are gone before they could mature.
TEST(PassPlayer, NoDividendsOutsideBlueChipsAndNoPaymentForCrashedBonds) {
    MarketRecord market{};
    market.companies[0].type = kMutualFund;
    market.companies[0].price[kCommon][0] = 50;
    market.companies[1].crashed[kBonds] = 1;
    market.companies[1].price[kBonds][0] = 100;
    PlayerRecord player = player_seen(kToday);
    player.holdings[0].count[kCommon] = 100;
    player.holdings[1].count[kBonds] = 10;
    ASSERT_TRUE(pass_player(player, market, day_number(kToday), true));
    EXPECT_EQ(player.cash, 0);
}

// Runs each test in a fresh working directory.
class PlayerFile : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/bullmoor-pass-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        ASSERT_NE(getcwd(old_cwd_, sizeof old_cwd_), nullptr);
        ASSERT_EQ(chdir(dir_.c_str()), 0);
    }
    void TearDown() override {
        ASSERT_EQ(chdir(old_cwd_), 0);
        std::system(("rm -rf " + dir_).c_str());
    }

    static void write_players(const std::vector<PlayerRecord>& players) {
        std::FILE* f = std::fopen("quonda.plr", "wb");
        ASSERT_NE(f, nullptr);
        unsigned char bytes[kPlayerBytes];
        for (const PlayerRecord& p : players) {
            encode_player(p, bytes);
            std::fwrite(bytes, 1, kPlayerBytes, f);
        }
        std::fclose(f);
    }
    static std::vector<PlayerRecord> read_players() {
        std::vector<PlayerRecord> players;
        std::FILE* f = std::fopen("quonda.plr", "rb");
        if (!f) return players;
        unsigned char bytes[kPlayerBytes];
        while (std::fread(bytes, 1, kPlayerBytes, f) == static_cast<size_t>(kPlayerBytes)) {
            PlayerRecord p{};
            decode_player(bytes, p);
            players.push_back(p);
        }
        std::fclose(f);
        return players;
    }

    std::string dir_;
    char old_cwd_[4096] = "";
};

TEST_F(PlayerFile, RewritesKeptPlayersInOrderWithoutTheDropped) {
    PlayerRecord a = player_seen("Mar 30 2024");
    std::snprintf(a.name, sizeof a.name, "%s", "ANNE");
    PlayerRecord b = player_seen("Jan 15 2024");
    std::snprintf(b.name, sizeof b.name, "%s", "BERT");
    PlayerRecord c = player_seen("Mar 02 2024");
    std::snprintf(c.name, sizeof c.name, "%s", "CORA");
    c.holdings[2].count[kCommon] = 3;
    write_players({a, b, c});
    MarketRecord market{};
    market.companies[2].split = 1;

    ASSERT_EQ(player_file_pass(market, kToday, "Mar 30 2024"), 0);

    const std::vector<PlayerRecord> players = read_players();
    ASSERT_EQ(players.size(), 2u);
    EXPECT_STREQ(players[0].name, "ANNE");
    EXPECT_STREQ(players[1].name, "CORA");
    EXPECT_EQ(players[1].holdings[2].count[kCommon], 6);
    EXPECT_EQ(players[1].holdings[2].split, 1);
    EXPECT_NE(access("quonda.tmp", F_OK), 0) << "the scratch copy is renamed away";
}

TEST_F(PlayerFile, MissingPlayerFileChangesNothing) {
    EXPECT_EQ(player_file_pass(MarketRecord{}, kToday, kToday), -1);
    EXPECT_NE(access("quonda.plr", F_OK), 0);
    EXPECT_NE(access("quonda.tmp", F_OK), 0);
}

}  // namespace

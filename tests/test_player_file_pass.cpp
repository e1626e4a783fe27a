// The daily player-file pass: dropping absent players, carrying crashes and splits into the
// holdings, bonds and dividends at a month change, and the rewrite of quonda.plr.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "data/codec.h"
#include "data/dates.h"
#include "data/records.h"
#include "session/session.h"
#include "vcaller/caller.h"

namespace {

constexpr const char* kToday = "Mar 31 2024";

PlayerRecord player_seen(const char* last_played, const char* name = "ANNE") {
    PlayerRecord player{};
    std::snprintf(player.name, sizeof player.name, "%s", name);
    std::snprintf(player.last_played, sizeof player.last_played, "%s", last_played);
    return player;
}

TEST(PassPlayer, ThirtyDaysAwayKeptThirtyOneDropped) {
    // 2024 is a leap year: Mar 01 is 30 days before Mar 31, Feb 29 is 31.
    for (const auto& [seen, kept] : {std::pair{"Mar 31 2024", true},
                                     {"Mar 01 2024", true},
                                     {"Feb 29 2024", false},
                                     {"Mar 31 2023", false}}) {
        PlayerRecord player = player_seen(seen);
        EXPECT_EQ(pass_player(player, MarketRecord{}, day_number(kToday), false), kept) << seen;
    }
}

// Company 0 crashed in options, 1 in preferred, 2 in bonds, 4 in common; 5 of each kind held in
// each. The short seller of 10 at 41 in company 4 is paid 410 + 205. Company 9 split: counts
// double and the short price halves rounding up.
TEST(PassPlayer, CrashesAndSplitsCarriedIntoTheHoldings) {
    MarketRecord market{};
    const int crashed_kind[5] = {kOptions, kPreferred, kBonds, -1, kCommon};
    PlayerRecord player = player_seen(kToday);
    for (int c = 0; c < 5; ++c) {
        if (crashed_kind[c] >= 0) market.companies[c].crashed[crashed_kind[c]] = 1;
        for (int k = 0; k < kKindCount; ++k) player.holdings[c].count[k] = 5;
    }
    Holding& crashed = player.holdings[4];
    crashed.crashed[kCommon] = 1;  // an earlier crash not yet reported
    crashed.short_count = 10;
    crashed.short_price = 41;
    market.companies[9].split = 1;
    Holding& split = player.holdings[9];
    for (int k = 0; k < kKindCount; ++k) split.count[k] = k + 1;
    split.short_count = 5;
    split.short_price = 41;
    player.holdings[8].short_price = 41;  // a company that did not split keeps its price
    ASSERT_TRUE(pass_player(player, market, day_number(kToday), false));
    for (int c = 0; c < 5; ++c) {
        for (int k = 0; k < kKindCount; ++k) {
            EXPECT_EQ(player.holdings[c].count[k], k == crashed_kind[c] ? 0 : 5) << c << "/" << k;
        }
    }
    EXPECT_EQ(player.cash, 615);
    EXPECT_EQ(crashed.short_count, 0);
    EXPECT_EQ(crashed.crashed[kCommon], 2);
    EXPECT_EQ(player.holdings[8].short_price, 41);
    EXPECT_EQ(std::vector<int32_t>(split.count, split.count + kKindCount),
              (std::vector{2, 4, 6, 8}));
    EXPECT_EQ(split.short_count, 10);
    EXPECT_EQ(split.short_price, 21);
    EXPECT_EQ(split.split, 1);
}

// Company 0: 10 bonds at 90, guaranteed 100. Company 1: 10 bonds at 120, guaranteed 100.
// Blue chip 2: 100 common at 30, 10 preferred at 52. Blue chip 3: 49 common at 1. A month change
// pays 1000 + 1200 + 3000/50 + 520/25 (20, truncated) + 49/50 (0) = 2280; the mutual fund 5 pays
// no dividends and the crashed bonds of 6 are gone before they could mature.
TEST(PassPlayer, BondsAndDividendsOnlyWhenTheMonthNameChanges) {
    MarketRecord market{};
    CompanyRecord* co = market.companies;
    co[0].price[kBonds][0] = 90;
    co[1].price[kBonds][0] = 120;
    co[0].bond_guaranteed_value = co[1].bond_guaranteed_value = 100;
    co[2].type = co[3].type = kBlueChip;
    co[2].price[kCommon][0] = 30;
    co[2].price[kPreferred][0] = 52;
    co[3].price[kCommon][0] = 1;
    co[5].type = kMutualFund;
    co[5].price[kCommon][0] = 50;
    co[6].crashed[kBonds] = 1;
    co[6].price[kBonds][0] = 100;
    const char* dates[][2] = {{"Apr 01 2024", "Mar 31 2024"},
                              {"Mar 31 2024", "Mar 02 2024"},
                              {"Mar 05 2025", "Mar 31 2024"}};
    for (const auto& d : dates) {
        PlayerRecord player = player_seen(d[0]);
        Holding* h = player.holdings;
        h[0].count[kBonds] = h[1].count[kBonds] = h[2].count[kPreferred] = h[6].count[kBonds] = 10;
        h[2].count[kCommon] = h[5].count[kCommon] = 100;
        h[3].count[kCommon] = 49;
        const bool month_changed = std::strncmp(d[0], d[1], 3) != 0;
        ASSERT_TRUE(pass_player(player, market, day_number(d[0]), month_changed));
        EXPECT_EQ(player.cash, month_changed ? 2280 : 0) << d[0];
        EXPECT_EQ(h[0].count[kBonds] + h[1].count[kBonds], month_changed ? 0 : 20) << d[0];
        EXPECT_EQ(h[2].count[kCommon], 100) << "dividends keep the shares";
    }
}

TEST(PlayerFilePass, RewritesKeptPlayersInOrderWithoutTheDropped) {
    const std::string dir = make_temp_dir("pass");
    char old_cwd[4096];
    ASSERT_NE(getcwd(old_cwd, sizeof old_cwd), nullptr);
    ASSERT_EQ(chdir(dir.c_str()), 0);
    MarketRecord market{};
    market.companies[2].split = 1;
    EXPECT_EQ(player_file_pass(market, kToday, "Mar 30 2024"), -1) << "no player file";
    EXPECT_NE(access("quonda.plr", F_OK), 0);

    PlayerRecord cora = player_seen("Mar 02 2024", "CORA");
    cora.holdings[2].count[kCommon] = 3;
    std::vector<PlayerRecord> players = {player_seen("Mar 30 2024", "ANNE"),
                                         player_seen("Jan 15 2024", "BERT"), cora};
    std::string bytes(3 * kPlayerBytes, '\0');
    for (int i = 0; i < 3; ++i) {
        encode_player(players[i], reinterpret_cast<unsigned char*>(&bytes[i * kPlayerBytes]));
    }
    std::ofstream("quonda.plr", std::ios::binary) << bytes;
    ASSERT_EQ(player_file_pass(market, kToday, "Mar 30 2024"), 0);

    std::ifstream in("quonda.plr", std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), {});
    ASSERT_EQ(bytes.size(), 2u * kPlayerBytes);
    for (int i = 0; i < 2; ++i) {
        decode_player(reinterpret_cast<const unsigned char*>(&bytes[i * kPlayerBytes]), players[i]);
    }
    EXPECT_STREQ(players[0].name, "ANNE");
    EXPECT_STREQ(players[1].name, "CORA");
    EXPECT_EQ(players[1].holdings[2].count[kCommon], 6);
    EXPECT_EQ(players[1].holdings[2].split, 1);
    EXPECT_NE(access("quonda.tmp", F_OK), 0) << "the scratch copy is renamed away";
    ASSERT_EQ(chdir(old_cwd), 0);
    remove_tree(dir);
}

}  // namespace

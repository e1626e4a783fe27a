// The daily player-file pass: absent players dropped, crashes, splits, bonds and dividends.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "data/codec.h"
#include "data/dates.h"
#include "data/records.h"
#include "session/session.h"
#include "vcaller/caller.h"

namespace {

constexpr const char* kToday = "Mar 31 2024";

PlayerRecord player_seen(const char* last_played) {
    PlayerRecord player{};
    std::snprintf(player.name, sizeof player.name, "%s", "ANNE");
    std::snprintf(player.last_played, sizeof player.last_played, "%s", last_played);
    return player;
}

// 2024 is a leap year: Mar 01 is 30 days before Mar 31, Feb 29 is 31.
TEST(PassPlayer, ThirtyDaysAwayKeptThirtyOneDropped) {
    for (const auto& [seen, kept] : {std::pair{"Mar 01 2024", true}, {"Feb 29 2024", false}}) {
        PlayerRecord player = player_seen(seen);
        EXPECT_EQ(pass_player(player, MarketRecord{}, day_number(kToday), false), kept) << seen;
    }
}

// Company c crashed in kind c (company 4 did not); 5 of each kind held in each. The short seller
// of 10 at 41 in company 1 (a common crash) is paid 410 + 205. Company 9 split: counts double
// and the short price halves rounding up.
TEST(PassPlayer, CrashesAndSplitsCarriedIntoTheHoldings) {
    MarketRecord market{};
    PlayerRecord player = player_seen(kToday);
    for (int c = 0; c <= kKindCount; ++c) {
        if (c < kKindCount) market.companies[c].crashed[c] = 1;
        for (int32_t& count : player.holdings[c].count) count = 5;
    }
    Holding &crashed = player.holdings[kCommon], &split = player.holdings[9];
    crashed.crashed[kCommon] = 1;  // an earlier crash not yet reported
    crashed.short_count = 10;
    market.companies[9].split = 1;
    for (int k = 0; k < kKindCount; ++k) split.count[k] = k + 1;
    split.short_count = 5;
    crashed.short_price = split.short_price = 41;
    ASSERT_TRUE(pass_player(player, market, day_number(kToday), false));
    for (int c = 0; c <= kKindCount; ++c)
        for (int k = 0; k < kKindCount; ++k)
            EXPECT_EQ(player.holdings[c].count[k], k == c ? 0 : 5) << c << "/" << k;
    EXPECT_EQ(player.cash, 615);
    EXPECT_EQ(crashed.short_count, 0);
    EXPECT_EQ(crashed.crashed[kCommon], 2);
    EXPECT_EQ(std::vector(split.count, split.count + kKindCount), (std::vector{2, 4, 6, 8}));
    EXPECT_EQ(split.short_count, 10);
    EXPECT_EQ(split.short_price, 21);
    EXPECT_EQ(split.split, 1);
}

// Company 0: 10 bonds at 90, guaranteed 100. Company 1: 10 bonds at 120, guaranteed 100.
// Blue chip 2: 100 common at 30, 10 preferred at 52. Blue chip 3: 49 common at 1. A month change
// pays 1000 + 1200 + 3000/50 + 520/25 (20, truncated) + 49/50 (0) = 2280; the mutual fund 5 pays
// no dividends and the crashed bonds of 6 are gone before they could mature. Only the name counts.
TEST(PlayerFilePass, BondsAndDividendsOnlyWhenTheMonthNameChanges) {
    const std::string dir = make_temp_dir("pass");
    ASSERT_EQ(chdir(dir.c_str()), 0);
    MarketRecord market{};
    EXPECT_EQ(player_file_pass(market, kToday, "Mar 30 2024"), -1) << "no player file";
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
    for (const auto& [today, previous, paid] : {std::tuple{"Apr 01 2024", "Mar 31 2024", 2280},
                                                {"Mar 31 2024", "Mar 02 2024", 0},
                                                {"Mar 05 2025", "Mar 31 2024", 0}}) {
        PlayerRecord player = player_seen(today);
        Holding* h = player.holdings;
        h[0].count[kBonds] = h[1].count[kBonds] = h[2].count[kPreferred] = h[6].count[kBonds] = 10;
        h[2].count[kCommon] = h[5].count[kCommon] = 100;
        h[3].count[kCommon] = 49;
        std::ofstream("quonda.plr", std::ios::trunc);
        ASSERT_EQ(rewrite_player(player, 0), 0);
        ASSERT_EQ(player_file_pass(market, today, previous), 0);
        int32_t offset = -1;
        ASSERT_EQ(find_player("ANNE", player, offset), 1);
        EXPECT_EQ(player.cash, paid) << today;
        EXPECT_EQ(h[0].count[kBonds] + h[1].count[kBonds], paid ? 0 : 20) << today;
        EXPECT_EQ(h[2].count[kCommon], 100) << "dividends keep the shares";
    }
    ASSERT_EQ(chdir(BULLMOOR_BINARY_DIR), 0);
    remove_tree(dir);
}

}  // namespace

// The margin call's arithmetic (thresholds, deposit, forced sales, wipe-out) and the two report
// screens as the caller sees them.
#include <gtest/gtest.h>

#include <cstring>

#include "data/records.h"
#include "market/reports.h"

namespace {

struct ThresholdCase {
    int16_t short_price;
    int32_t threshold;
};

class MarginThreshold : public ::testing::TestWithParam<ThresholdCase> {};

TEST_P(MarginThreshold, CalledFromTheThresholdUp) {
    const ThresholdCase& c = GetParam();
    EXPECT_EQ(margin_threshold(c.short_price), c.threshold);

    CompanyRecord company{};
    Holding holding{};
    holding.short_count = 1;
    holding.short_price = c.short_price;
    company.price[kCommon][0] = static_cast<int16_t>(c.threshold);
    EXPECT_TRUE(margin_called(holding, company)) << "price equal to the threshold";
    company.price[kCommon][0] = static_cast<int16_t>(c.threshold - 1);
    EXPECT_FALSE(margin_called(holding, company)) << "one below the threshold";
}

// 8/5 below 30, 7/5 from 30 to 79, 6/5 from 80 up, truncated: 232/5, 210/5, 553/5, 480/5, 600/5.
INSTANTIATE_TEST_SUITE_P(Boundaries, MarginThreshold,
                         ::testing::Values(ThresholdCase{29, 46}, ThresholdCase{30, 42},
                                           ThresholdCase{79, 110}, ThresholdCase{80, 96},
                                           ThresholdCase{100, 120}, ThresholdCase{1, 1}));

TEST(MarginCalled, NeedsShortShares) {
    CompanyRecord company{};
    company.price[kCommon][0] = 500;
    Holding holding{};
    holding.short_price = 10;
    EXPECT_FALSE(margin_called(holding, company));
    holding.short_count = 1;
    EXPECT_TRUE(margin_called(holding, company));
}

MarketRecord flat_market(int16_t price) {
    MarketRecord market{};
    for (CompanyRecord& company : market.companies) {
        for (int k = 0; k < kKindCount; ++k) {
            company.total[k] = 1000;
            company.available[k] = 600;
            company.price[k][0] = price;
        }
    }
    return market;
}

// 100 short at 50, common now 70, $1000 cash: the deposit of 2500 brings cash to 3500 against a
// cost of 7000. Company 0 (10 common at 100) gives 4500, company 1 holds nothing, company 2 (20
// preferred at 50, 5 bonds at 100) gives 6000, company 3 (30 common at 40) gives 7200; company 4
// is left alone. 7000 paid leaves 200.
TEST(SettleMarginCall, SellsFromCompanyZeroUntilTheCostIsCovered) {
    MarketRecord market = flat_market(1);
    market.companies[0].price[kCommon][0] = 100;
    market.companies[2].price[kPreferred][0] = 50;
    market.companies[2].price[kBonds][0] = 100;
    market.companies[3].price[kCommon][0] = 40;
    market.companies[5].price[kCommon][0] = 70;
    PlayerRecord player{};
    player.cash = 1000;
    player.holdings[0].count[kCommon] = 10;
    player.holdings[2].count[kPreferred] = 20;
    player.holdings[2].count[kBonds] = 5;
    player.holdings[3].count[kCommon] = 30;
    player.holdings[4].count[kOptions] = 7;
    player.holdings[5].short_count = 100;
    player.holdings[5].short_price = 50;

    const MarginSettlement s = settle_margin_call(player, market, 5);

    EXPECT_EQ(s.short_count, 100);
    EXPECT_EQ(s.cost, 7000);
    EXPECT_EQ(s.sold, (1u << 0) | (1u << 2) | (1u << 3));
    EXPECT_FALSE(s.wiped_out);
    EXPECT_EQ(player.cash, 200);
    EXPECT_EQ(player.holdings[5].short_count, 0);
    EXPECT_EQ(player.holdings[0].count[kCommon], 0);
    EXPECT_EQ(player.holdings[2].count[kPreferred], 0);
    EXPECT_EQ(player.holdings[2].count[kBonds], 0);
    EXPECT_EQ(player.holdings[3].count[kCommon], 0);
    EXPECT_EQ(player.holdings[4].count[kOptions], 7);
    for (const CompanyRecord& company : market.companies) {
        EXPECT_EQ(company.available[kCommon], 600) << "forced sales leave the market alone";
    }
}

// Enough cash after the deposit: nothing is sold. 20 short at 30 (deposit 300), common at 42,
// cost 840, cash 600 + 300 = 900, leaving 60.
TEST(SettleMarginCall, PaysFromCashWhenItSuffices) {
    MarketRecord market = flat_market(5);
    market.companies[1].price[kCommon][0] = 42;
    PlayerRecord player{};
    player.cash = 600;
    player.holdings[0].count[kCommon] = 3;
    player.holdings[1].short_count = 20;
    player.holdings[1].short_price = 30;
    const MarginSettlement s = settle_margin_call(player, market, 1);
    EXPECT_EQ(s.cost, 840);
    EXPECT_EQ(s.sold, 0u);
    EXPECT_EQ(player.cash, 60);
    EXPECT_EQ(player.holdings[0].count[kCommon], 3);
}

// The short company's own long holdings are sold when its turn comes: 5 short at 21 (deposit
// 52), common at 40, cost 200; cash 0 + 52, own 4 common at 40 gives 212, leaving 12.
TEST(SettleMarginCall, SellsTheShortCompanyItselfInItsTurn) {
    MarketRecord market = flat_market(1);
    market.companies[0].price[kCommon][0] = 40;
    PlayerRecord player{};
    player.holdings[0].count[kCommon] = 4;
    player.holdings[0].short_count = 5;
    player.holdings[0].short_price = 21;
    const MarginSettlement s = settle_margin_call(player, market, 0);
    EXPECT_EQ(s.cost, 200);
    EXPECT_EQ(s.sold, 1u);
    EXPECT_EQ(player.cash, 12);
}

// 10 short at 10 (deposit 50), common at 100: cost 1000; one common share at 10 raises 60.
TEST(SettleMarginCall, WipesOutWhenEverythingSoldIsNotEnough) {
    MarketRecord market = flat_market(10);
    market.companies[6].price[kCommon][0] = 100;
    PlayerRecord player{};
    player.holdings[1].count[kCommon] = 1;
    player.holdings[6].short_count = 10;
    player.holdings[6].short_price = 10;
    const MarginSettlement s = settle_margin_call(player, market, 6);
    EXPECT_TRUE(s.wiped_out);
    EXPECT_EQ(s.sold, 1u << 1);
    EXPECT_EQ(player.cash, 0);
    EXPECT_EQ(player.holdings[1].count[kCommon], 0);
    EXPECT_EQ(player.holdings[6].short_count, 0);
}

}  // namespace

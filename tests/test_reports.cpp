// The margin call's arithmetic (thresholds, deposit, forced sales, wipe-out) and the two report
// screens as the caller sees them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "data/records.h"
#include "data/session_state.h"
#include "market/reports.h"
#include "vcaller/harness.h"

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

namespace {

// Companies "AAA", "BBB", ... trading every kind at options 5, common 27, preferred 110,
// bonds 1000; the caller's last prices equal the current ones.
void set_up_session(int mode) {
    g_session = SessionState{};
    for (int i = 0; i < kCompanyCount; ++i) {
        CompanyRecord& c = g_session.market.companies[i];
        std::memset(c.symbol, 'A' + i, 3);
        c.symbol[3] = '\0';
        const int16_t prices[kKindCount] = {5, 27, 110, 1000};
        for (int k = 0; k < kKindCount; ++k) {
            c.total[k] = 1000;
            c.price[k][0] = prices[k];
            g_session.player.holdings[i].last_price[k] = prices[k];
        }
    }
    g_session.player.graphics_mode = static_cast<int16_t>(mode);
}

class ReportScreen : public ::testing::Test {
  protected:
    std::string text(int r, int c, int len) {
        door_.sync();
        return door_.screen().text(r, c, len);
    }
    const VirtualScreen& screen() {
        door_.sync();
        return door_.screen();
    }
    DoorHarness door_;
};

constexpr const char* kDashes =
    "        ----------------------------------------------------------------";

// Company 0: options unchanged, common 23 -> 20, preferred 100 -> 112, no bonds. Company 1:
// split twice, no bonds. Company 2: common crashed. Company 3: common crashed and split.
TEST_F(ReportScreen, PriceChangesCellsColoursAndCountersCleared) {
    set_up_session(2);
    MarketRecord& m = g_session.market;
    PlayerRecord& p = g_session.player;
    m.companies[0].price[kCommon][0] = 20;
    p.holdings[0].last_price[kCommon] = 23;
    m.companies[0].price[kPreferred][0] = 112;
    p.holdings[0].last_price[kPreferred] = 100;
    m.companies[0].total[kBonds] = 0;
    m.companies[1].total[kBonds] = 0;
    p.holdings[1].split = 2;
    p.holdings[2].crashed[kCommon] = 1;
    p.holdings[3].crashed[kCommon] = 1;
    p.holdings[3].split = 1;
    door_.type("ok\r");

    EXPECT_EQ(show_price_changes(), 0);

    EXPECT_EQ(text(4, 0, 56), "                    PRICE CHANGES SINCE YOU WERE LAST ON");
    EXPECT_EQ(text(6, 0, 68),
              "          Company     Options      Common       Preferred      Bonds");
    EXPECT_EQ(text(7, 0, 72), kDashes);
    EXPECT_EQ(text(8, 0, 68),
              "            AAA         0.00        -3.00         12.00            -");
    EXPECT_EQ(text(9, 0, 68),
              "            BBB        SPLIT        SPLIT         SPLIT        SPLIT");
    EXPECT_EQ(text(10, 0, 68),
              "            CCC         0.00      CRASHED          0.00         0.00");
    EXPECT_EQ(text(11, 0, 68),
              "            DDD        SPLIT      CRASHED         SPLIT        SPLIT");
    EXPECT_EQ(text(19, 0, 16), "            LLL ");
    EXPECT_EQ(text(20, 0, 72), kDashes);
    EXPECT_EQ(text(22, 0, 80), std::string(80, ' ')) << "the prompt and answer are erased";

    const VirtualScreen& s = screen();
    struct Cell {
        int row, col, fg;
        bool bold;
    };
    const Cell cells[] = {{8, 24, 7, true},  {8, 36, 1, false}, {8, 50, 2, true},
                          {8, 66, 7, false}, {9, 24, 2, true},  {10, 34, 1, false}};
    for (const Cell& c : cells) {
        EXPECT_EQ(s.fg(c.row, c.col), c.fg) << c.row << "," << c.col;
        EXPECT_EQ(s.bold(c.row, c.col), c.bold) << c.row << "," << c.col;
    }
    for (const Holding& h : p.holdings) {
        EXPECT_EQ(h.split, 0);
        for (int k = 0; k < kKindCount; ++k) EXPECT_EQ(h.crashed[k], 0);
    }
}

// AAA: 10 short at 50 (called at 70), common 70, cost 700. FFF: 20 short at 100 (called at
// 120), common 130, cost 2600. Cash 500 + 250 = 750 pays AAA, leaving 50; + 1000 = 1050, then
// DDD's 10 common at 100 (2050) and III's 30 preferred at 50 (3550) are sold; 950 is left.
TEST_F(ReportScreen, TwoPositionsCalledAtOncePaidInTurn) {
    set_up_session(0);
    MarketRecord& m = g_session.market;
    PlayerRecord& p = g_session.player;
    p.cash = 500;
    m.companies[0].price[kCommon][0] = 70;
    p.holdings[0].short_count = 10;
    p.holdings[0].short_price = 50;
    m.companies[5].price[kCommon][0] = 130;
    p.holdings[5].short_count = 20;
    p.holdings[5].short_price = 100;
    m.companies[3].price[kCommon][0] = 100;
    p.holdings[3].count[kCommon] = 10;
    m.companies[8].price[kPreferred][0] = 50;
    p.holdings[8].count[kPreferred] = 30;
    p.holdings[11].short_count = 4;  // not called: 4 short at 27 is called from 37
    p.holdings[11].short_price = 27;
    door_.type("\r");

    EXPECT_EQ(run_margin_call(), 0);

    EXPECT_EQ(text(4, 0, 48), "                             NOTICE: MARGIN CALL");
    EXPECT_EQ(text(6, 0, 58), "                        Company     Shares Short      Cost");
    EXPECT_EQ(text(7, 0, 72), kDashes);
    EXPECT_EQ(text(8, 0, 61), "                          AAA               10         700.00");
    EXPECT_EQ(text(9, 0, 61), "                          FFF               20        2600.00");
    EXPECT_EQ(text(10, 0, 51), "        Insufficient Funds, selling holdings in DDD");
    EXPECT_EQ(text(11, 0, 51), "        Insufficient Funds, selling holdings in III");
    EXPECT_EQ(text(12, 0, 72), kDashes);
    EXPECT_EQ(text(13, 0, 80), std::string(80, ' '));
    EXPECT_EQ(p.cash, 950);
    EXPECT_EQ(p.holdings[0].short_count, 0);
    EXPECT_EQ(p.holdings[5].short_count, 0);
    EXPECT_EQ(p.holdings[11].short_count, 4);
}

// 10 short at 10, common 100: deposit 50, cost 1000; BBB's one common share at 27 brings 77.
TEST_F(ReportScreen, WipeOut) {
    set_up_session(2);
    PlayerRecord& p = g_session.player;
    g_session.market.companies[0].price[kCommon][0] = 100;
    p.holdings[0].short_count = 10;
    p.holdings[0].short_price = 10;
    p.holdings[1].count[kCommon] = 1;
    door_.type("\r");
    door_.take_output();

    EXPECT_EQ(run_margin_call(), 1);

    EXPECT_EQ(text(8, 0, 61), "                          AAA               10        1000.00");
    EXPECT_EQ(text(9, 0, 51), "        Insufficient Funds, selling holdings in BBB");
    EXPECT_EQ(text(10, 0, 72), kDashes);
    EXPECT_EQ(text(11, 0, 45), "        Insufficient Funds, you are wiped out");
    EXPECT_EQ(p.cash, 0);
    const std::string out = door_.take_output();
    EXPECT_NE(out.find("wiped out\r\n\r\n\x1b[1;36;40m                          Press [ENTER]"),
              std::string::npos);
}

TEST_F(ReportScreen, NoCallDrawsNothing) {
    set_up_session(0);
    g_session.player.holdings[4].short_count = 100;
    g_session.player.holdings[4].short_price = 20;  // called from 32; common is 27
    door_.take_output();
    EXPECT_EQ(run_margin_call(), 0);
    EXPECT_EQ(door_.take_output(), "");
    EXPECT_EQ(g_session.player.holdings[4].short_count, 100);
}

// A caller lost at either report's prompt leaves with exit code 1: nothing is saved.
TEST_F(ReportScreen, HangUpAtThePromptsEndsWithoutSaving) {
    GTEST_FLAG_SET(death_test_style, "fast");
    set_up_session(0);
    g_session.market_ready = true;
    g_session.player_ready = true;
    door_.hang_up();
    EXPECT_EXIT(show_price_changes(), ::testing::ExitedWithCode(1), "");
    g_session.market.companies[0].price[kCommon][0] = 100;
    g_session.player.holdings[0].short_count = 1;
    g_session.player.holdings[0].short_price = 10;
    EXPECT_EXIT(run_margin_call(), ::testing::ExitedWithCode(1), "");
}

}  // namespace

// The margin call's thresholds and the report screens: price changes, margin calls paid in turn.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "data/session_state.h"
#include "market/reports.h"
#include "vcaller/harness.h"

namespace {

// Whether a position is called (at the threshold, not below it, never without short shares) is
// seen on the margin call screen below.
TEST(MarginCall, ThresholdBands) {
    // 8/5 below 30, 7/5 from 30 to 79, 6/5 from 80 up, truncated: 232/5, 210/5, 553/5, 480/5.
    const int16_t cases[][2] = {{29, 46}, {30, 42}, {79, 110}, {80, 96}, {100, 120}, {1, 1}};
    for (const auto& [price, threshold] : cases) EXPECT_EQ(margin_threshold(price), threshold);
}

// Companies "AAA", "BBB", ... trading every kind at options 5, common 27, preferred 110,
// bonds 1000; the caller's last prices equal the current ones.
class ReportScreen : public ::testing::Test {
  protected:
    ReportScreen() {
        g_session = SessionState{};
        const int16_t prices[kKindCount] = {5, 27, 110, 1000};
        for (int i = 0; i < kCompanyCount; ++i) {
            std::memset(m.companies[i].symbol, 'A' + i, 3);
            for (int k = 0; k < kKindCount; ++k) {
                m.companies[i].total[k] = 1000;
                m.companies[i].price[k][0] = p.holdings[i].last_price[k] = prices[k];
            }
        }
    }
    // Rows first to last of the screen, trailing blanks cut, one per line.
    std::string rows(int first, int last) {
        door.sync();
        std::string out;
        for (int r = first; r <= last; ++r) {
            std::string line = door.screen().row(r);
            out += line.erase(line.find_last_not_of(' ') + 1) + "\n";
        }
        return out;
    }
    MarketRecord& m = g_session.market;
    PlayerRecord& p = g_session.player;
    DoorHarness door;
};

const std::string kDashes = std::string(8, ' ') + std::string(64, '-') + "\n";

// Company 0: options unchanged, common 30 -> 27, preferred 98 -> 110, no bonds. Company 1:
// split twice, no bonds. Company 2: common crashed. Company 3: common crashed and split.
TEST_F(ReportScreen, PriceChangesCellsColoursAndCountersCleared) {
    p.graphics_mode = 2;
    p.holdings[0].last_price[kCommon] = 30;
    p.holdings[0].last_price[kPreferred] = 98;
    m.companies[0].total[kBonds] = m.companies[1].total[kBonds] = 0;
    p.holdings[1].split = 2;
    p.holdings[2].crashed[kCommon] = p.holdings[3].crashed[kCommon] = p.holdings[3].split = 1;
    door.type("ok\r");
    EXPECT_EQ(show_price_changes(), 0);
    EXPECT_EQ(rows(4, 11),
              "                    PRICE CHANGES SINCE YOU WERE LAST ON\n\n"
              "          Company     Options      Common       Preferred      Bonds\n" +
                  kDashes +
                  "            AAA         0.00        -3.00         12.00            -\n"
                  "            BBB        SPLIT        SPLIT         SPLIT        SPLIT\n"
                  "            CCC         0.00      CRASHED          0.00         0.00\n"
                  "            DDD        SPLIT      CRASHED         SPLIT        SPLIT\n");
    EXPECT_EQ(rows(20, 22), kDashes + "\n\n") << "the prompt and answer are erased";
    // Unchanged white bold, down blue, up green bold, the bonds dash plain white.
    const int cells[][4] = {{8, 24, 7, 1}, {8, 36, 1, 0}, {8, 50, 2, 1},
                            {8, 66, 7, 0}, {9, 24, 2, 1}, {10, 34, 1, 0}};
    for (const auto& [row, col, fg, bold] : cells) {
        EXPECT_EQ(door.screen().fg(row, col), fg) << row << "," << col;
        EXPECT_EQ(door.screen().bold(row, col), bold != 0) << row << "," << col;
    }
    for (const Holding& h : p.holdings) EXPECT_EQ(h.split + h.crashed[kCommon], 0);
}

// AAA: 10 short at 50 (called at 70), common 70, cost 700. FFF: 20 short at 100 (called at
// 120), common 130, cost 2600. LLL: 4 short at 27, called from 43, not called at 27.
// Cash 500 + 250 = 750 pays AAA, leaving 50; + 1000 = 1050, then DDD's 2 options at 5 and 10
// common at 100 (2060) and FFF's own 5 common at 130 (2710) are sold; III is left; 110 remains.
TEST_F(ReportScreen, MarginCallTwoPositionsCalledAtOncePaidInTurn) {
    p.cash = 500;
    // {company, common price, short count, short price, common held}
    const int16_t positions[][5] = {
        {0, 70, 10, 50, 0}, {5, 130, 20, 100, 5}, {3, 100, 0, 0, 10}, {11, 27, 4, 27, 0}};
    for (const auto& [i, price, shorts, short_price, common] : positions) {
        m.companies[i].price[kCommon][0] = price;
        p.holdings[i].short_count = shorts;
        p.holdings[i].short_price = short_price;
        p.holdings[i].count[kCommon] = common;
    }
    p.holdings[3].count[kOptions] = 2;
    p.holdings[8].count[kPreferred] = 30;
    door.type("\r");
    EXPECT_EQ(run_margin_call(), 0);
    EXPECT_EQ(rows(4, 13),
              "                             NOTICE: MARGIN CALL\n\n"
              "                        Company     Shares Short      Cost\n" +
                  kDashes +
                  "                          AAA               10         700.00\n"
                  "                          FFF               20        2600.00\n"
                  "        Insufficient Funds, selling holdings in DDD\n"
                  "        Insufficient Funds, selling holdings in FFF\n" +
                  kDashes + "\n");
    // Both positions closed, DDD and FFF sold; forced sales leave the market's units alone.
    EXPECT_EQ(std::vector<int>({p.cash, p.holdings[0].short_count, p.holdings[5].short_count,
                                p.holdings[3].count[kOptions], p.holdings[3].count[kCommon],
                                p.holdings[5].count[kCommon], m.companies[3].available[kCommon]}),
              std::vector<int>({110, 0, 0, 0, 0, 0, 0}));
}

}  // namespace

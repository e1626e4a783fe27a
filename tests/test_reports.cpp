// The margin call's thresholds and the two report screens as the caller sees them: price
// changes, and margin calls paid from cash or from forced sales.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "data/records.h"
#include "data/session_state.h"
#include "market/reports.h"
#include "vcaller/harness.h"

namespace {

TEST(MarginCall, CalledFromTheThresholdUpAndOnlyWithShortShares) {
    // 8/5 below 30, 7/5 from 30 to 79, 6/5 from 80 up, truncated: 232/5, 210/5, 553/5, 480/5.
    const int32_t cases[][2] = {{29, 46}, {30, 42}, {79, 110}, {80, 96}, {100, 120}, {1, 1}};
    for (const auto& [short_price, threshold] : cases) {
        EXPECT_EQ(margin_threshold(static_cast<int16_t>(short_price)), threshold);
        CompanyRecord company{};
        Holding holding{};
        holding.short_price = static_cast<int16_t>(short_price);
        company.price[kCommon][0] = static_cast<int16_t>(threshold);
        EXPECT_FALSE(margin_called(holding, company)) << "no short shares";
        holding.short_count = 1;
        EXPECT_TRUE(margin_called(holding, company)) << short_price << " at the threshold";
        company.price[kCommon][0] = static_cast<int16_t>(threshold - 1);
        EXPECT_FALSE(margin_called(holding, company)) << short_price << " one below";
    }
}

// Companies "AAA", "BBB", ... trading every kind at options 5, common 27, preferred 110,
// bonds 1000; the caller's last prices equal the current ones.
void set_up_session(int mode) {
    g_session = SessionState{};
    for (int i = 0; i < kCompanyCount; ++i) {
        CompanyRecord& c = g_session.market.companies[i];
        std::memset(c.symbol, 'A' + i, 3);
        const int16_t prices[kKindCount] = {5, 27, 110, 1000};
        for (int k = 0; k < kKindCount; ++k) {
            c.total[k] = 1000;
            c.price[k][0] = g_session.player.holdings[i].last_price[k] = prices[k];
        }
    }
    g_session.player.graphics_mode = static_cast<int16_t>(mode);
}

// Rows first to last of the screen, trailing blanks cut, one per line.
std::string rows(DoorHarness& door, int first, int last) {
    door.sync();
    std::string out;
    for (int r = first; r <= last; ++r) {
        std::string line = door.screen().row(r);
        out += line.erase(line.find_last_not_of(' ') + 1) + "\n";
    }
    return out;
}

constexpr const char* kDashes =
    "        ----------------------------------------------------------------\n";

// Company 0: options unchanged, common 23 -> 20, preferred 100 -> 112, no bonds. Company 1:
// split twice, no bonds. Company 2: common crashed. Company 3: common crashed and split.
TEST(PriceChanges, CellsColoursAndCountersCleared) {
    set_up_session(2);
    DoorHarness door;
    MarketRecord& m = g_session.market;
    PlayerRecord& p = g_session.player;
    m.companies[0].price[kCommon][0] = 20;
    p.holdings[0].last_price[kCommon] = 23;
    m.companies[0].price[kPreferred][0] = 112;
    p.holdings[0].last_price[kPreferred] = 100;
    m.companies[0].total[kBonds] = m.companies[1].total[kBonds] = 0;
    p.holdings[1].split = 2;
    p.holdings[2].crashed[kCommon] = p.holdings[3].crashed[kCommon] = 1;
    p.holdings[3].split = 1;
    door.type("ok\r");
    EXPECT_EQ(show_price_changes(), 0);
    EXPECT_EQ(rows(door, 4, 11),
              "                    PRICE CHANGES SINCE YOU WERE LAST ON\n\n"
              "          Company     Options      Common       Preferred      Bonds\n" +
                  std::string(kDashes) +
                  "            AAA         0.00        -3.00         12.00            -\n"
                  "            BBB        SPLIT        SPLIT         SPLIT        SPLIT\n"
                  "            CCC         0.00      CRASHED          0.00         0.00\n"
                  "            DDD        SPLIT      CRASHED         SPLIT        SPLIT\n");
    EXPECT_EQ(rows(door, 19, 22),
              "            LLL         0.00         0.00          0.00         0.00\n" +
                  std::string(kDashes) + "\n\n")
        << "the prompt and answer are erased";
    // Unchanged white bold, down blue, up green bold, the bonds dash plain white.
    const VirtualScreen& s = door.screen();
    const int cells[][4] = {{8, 24, 7, 1}, {8, 36, 1, 0}, {8, 50, 2, 1},
                            {8, 66, 7, 0}, {9, 24, 2, 1}, {10, 34, 1, 0}};
    for (const auto& [row, col, fg, bold] : cells) {
        EXPECT_EQ(s.fg(row, col), fg) << row << "," << col;
        EXPECT_EQ(s.bold(row, col), bold != 0) << row << "," << col;
    }
    for (const Holding& h : p.holdings) {
        EXPECT_EQ(h.split + h.crashed[kCommon], 0);
    }
}

// AAA: 10 short at 50 (called at 70), common 70, cost 700. FFF: 20 short at 100 (called at
// 120), common 130, cost 2600. LLL: 4 short at 27, called from 43, not called at 27.
// Cash 500 + 250 = 750 pays AAA, leaving 50; + 1000 = 1050, then DDD's 2 options at 5 and 10
// common at 100 (2060) and FFF's own 5 common at 130 (2710) are sold; III is left; 110 remains.
TEST(MarginCallScreen, TwoPositionsCalledAtOncePaidInTurn) {
    set_up_session(0);
    DoorHarness door;
    MarketRecord& m = g_session.market;
    PlayerRecord& p = g_session.player;
    p.cash = 500;
    m.companies[0].price[kCommon][0] = 70;
    p.holdings[0].short_count = 10;
    p.holdings[0].short_price = 50;
    m.companies[5].price[kCommon][0] = 130;
    p.holdings[5].short_count = 20;
    p.holdings[5].short_price = 100;
    p.holdings[5].count[kCommon] = 5;
    m.companies[3].price[kCommon][0] = 100;
    p.holdings[3].count[kCommon] = 10;
    p.holdings[3].count[kOptions] = 2;
    p.holdings[8].count[kPreferred] = 30;
    p.holdings[11].short_count = 4;
    p.holdings[11].short_price = 27;
    door.type("\r");
    EXPECT_EQ(run_margin_call(), 0);
    EXPECT_EQ(rows(door, 4, 13),
              "                             NOTICE: MARGIN CALL\n\n"
              "                        Company     Shares Short      Cost\n" +
                  std::string(kDashes) +
                  "                          AAA               10         700.00\n"
                  "                          FFF               20        2600.00\n"
                  "        Insufficient Funds, selling holdings in DDD\n"
                  "        Insufficient Funds, selling holdings in FFF\n" +
                  kDashes + "\n");
    EXPECT_EQ(p.cash, 110);
    EXPECT_EQ(p.holdings[3].count[kOptions] + p.holdings[3].count[kCommon], 0);
    EXPECT_EQ(p.holdings[5].count[kCommon] + p.holdings[0].short_count + p.holdings[5].short_count,
              0);
    EXPECT_EQ(p.holdings[8].count[kPreferred], 30);
    EXPECT_EQ(p.holdings[11].short_count, 4);
    EXPECT_EQ(m.companies[3].available[kCommon], 0) << "forced sales leave the market alone";
}

// A caller lost at either report's prompt leaves with exit code 1: nothing is saved.
TEST(Reports, HangUpAtThePromptsEndsWithoutSaving) {
    GTEST_FLAG_SET(death_test_style, "fast");
    set_up_session(0);
    DoorHarness door;
    g_session.market_ready = g_session.player_ready = true;
    door.hang_up();
    EXPECT_EXIT(show_price_changes(), ::testing::ExitedWithCode(1), "");
    g_session.market.companies[0].price[kCommon][0] = 100;
    g_session.player.holdings[0].short_count = 1;
    g_session.player.holdings[0].short_price = 10;
    EXPECT_EXIT(run_margin_call(), ::testing::ExitedWithCode(1), "");
}

}  // namespace

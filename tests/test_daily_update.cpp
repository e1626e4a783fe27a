// The daily market update at its hazards: draw order, splits, clamps, crashes and rebirths.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "market/market.h"

namespace {

// Scripted draws: the listed values, then the last of them forever; every draw is counted.
struct Draws {
    static inline std::vector<int> script;
    static inline size_t count = 0;
    static int next() { return script[std::min(count++, script.size() - 1)]; }
};

constexpr char kToday[] = "Mar 14 2025";
constexpr int kIGM = 0, kLST = 1, kALG = 3, kSBG = 4, kCCC = 6, kMMC = 7, kWHS = 11;

// Every field of two companies (the record has no padding before its last field).
bool same_company(const CompanyRecord& a, const CompanyRecord& b) {
    return std::memcmp(&a, &b, offsetof(CompanyRecord, bond_guaranteed_value) + 2) == 0;
}

class DailyUpdate : public ::testing::Test {
  protected:
    void SetUp() override { fresh(); }
    void TearDown() override { set_draw_source(nullptr); }
    // The default exchange (general trend 5) at issue trends 3, which move no price in any
    // table; draw 15 lies in the drift band, so it keeps every trend as it is.
    void fresh() {
        set_draw_source(Draws::next);
        Draws::script = {15};
        Draws::count = 0;
        market = MarketRecord{};
        build_default_market(market);
        for (CompanyRecord& company : market.companies) std::fill_n(company.trend, kKindCount, 3);
    }
    int run(bool prices_move = true) { return run_daily_update(market, kToday, prices_move); }

    MarketRecord market{};
};

// Per company a draw per traded kind, then the general trend's, walked after the prices moved.
TEST_F(DailyUpdate, DrawsInOrderAndMovesWithTheStoredGeneralTrend) {
    market.general_trend = 9;
    market.companies[kIGM].trend[kCommon] = 7;
    // IGM common 7 -> 5 and preferred 3 -> 5 take the first draws; the rest drift, general 9 -> 8.
    Draws::script = {0, 31, 15};
    run();
    EXPECT_EQ(23u, Draws::count);  // 22 traded issues on the default exchange, then the market
    // Blue-chip common, general 9, issue 7: 145 + 15. The walked general trend 8 would give less.
    const CompanyRecord& igm = market.companies[kIGM];
    EXPECT_EQ(
        std::vector<int>({3, 5, 5, 3, 8, 160, 145}),
        std::vector<int>({igm.trend[0], igm.trend[1], igm.trend[2], igm.trend[3],
                          market.general_trend, igm.price[kCommon][0], igm.price[kCommon][1]}));
}

TEST_F(DailyUpdate, MarketCreatedTodayOnlyWalksTrendsAndStampsTheDate) {
    market.companies[kIGM].price[kCommon][0] = 500;  // at its split price
    market.companies[kWHS].price[kCommon][0] = 0;    // would crash
    market.companies[kCCC].crashed[kOptions] = market.companies[kIGM].split = 1;  // from before
    const MarketRecord before = market;
    Draws::script = {30};  // every trend rises by 2
    ASSERT_EQ(0, run(false));
    EXPECT_EQ(std::string(market.date) + ", general trend " + std::to_string(market.general_trend),
              "Mar 14 2025, general trend 7");
    for (int c = 0; c < kCompanyCount; ++c) {
        CompanyRecord expected = before.companies[c];
        for (int k = 0; k < kKindCount; ++k) expected.trend[k] = expected.total[k] ? 5 : 3;
        EXPECT_TRUE(same_company(expected, market.companies[c])) << "company " << c;
    }
}

// Options between half the common price and the exercise gain (the gain wins), preferred at least
// common, bonds at least five times it; common at its split price halves, rounding up.
TEST_F(DailyUpdate, PricesHeldInLineWithTheCommonPrice) {
    // {company, kind, common, conversion, price before, price after, common after}
    // clang-format off
    const int16_t cases[][7] = {
        {kCCC, kOptions, 100, 40, 70, 60, 100}, {kCCC, kOptions, 100, 40, 45, 60, 100},  // both
        {kCCC, kOptions, 100, 60, 70, 50, 100}, {kCCC, kOptions, 100, 60, 30, 40, 100},  // capped
        {kCCC, kOptions, 30, 40, 20, 15, 30}, {kCCC, kOptions, 100, 100, 10, 10, 100},  // gain 0
        {kCCC, kOptions, 101, 60, 60, 50, 101}, {kIGM, kPreferred, 150, 0, 100, 150, 150},
        {kIGM, kPreferred, 150, 0, 150, 150, 150}, {kIGM, kPreferred, 150, 0, -5, 150, 150},
        {kALG, kBonds, 190, 0, 900, 950, 190}, {kALG, kBonds, 180, 0, 900, 900, 180},
        {kALG, kBonds, 100, 0, -40, 500, 100}, {kIGM, kPreferred, 401, 0, 145, 201, 201},
        {kIGM, kPreferred, 399, 0, 145, 399, 399}};  // split price 400
    // clang-format on
    for (const auto& [index, kind, common, conversion, before, after, common_after] : cases) {
        fresh();
        CompanyRecord& company = market.companies[index];
        company.split_price = 400;
        company.price[kCommon][0] = common;
        company.option_conversion_price = conversion;
        company.price[kind][0] = before;
        run();
        EXPECT_EQ(company.price[kind][0], after) << common << ", " << conversion << ", " << before;
        EXPECT_EQ(company.price[kCommon][0], common_after);
        EXPECT_EQ(company.crashed[kind], 0) << "raised, not crashed";
        EXPECT_EQ(company.split, common_after < common);
    }
}

// Issues at 0 or below crash: each starts over at its (edited) issue price with every unit
// available; a common crash brings the whole company back as its default instead.
TEST_F(DailyUpdate, CrashesStartIssuesOverAndACommonCrashRebuildsTheCompany) {
    // {company, kind, price that falls to 0 or below at issue trend 0 and general 5}
    const int16_t cases[][3] = {{kMMC, kOptions, 1}, {kLST, kPreferred, 1}, {kSBG, kBonds, 8}};
    market.companies[kLST].total[kCommon] = 0;    // withdrawn: preferred no longer held at common
    market.companies[kMMC].crashed[kCommon] = 1;  // yesterday's events are cleared first
    for (const auto& [index, kind, price] : cases) {
        market.companies[index].trend[kind] = 0;
        market.companies[index].price[kind][0] = price;
        market.companies[index].initial_price[kind] = 17;  // an edited issue price, not the default
        market.companies[index].available[kind] = 3;
    }
    CompanyRecord& ccc = market.companies[kCCC];
    std::strcpy(ccc.name, "Clone Wars Unlimited");  // edits are all forgotten
    ccc.split_price = 0;                            // so it also splits on its way down
    ccc.total[kPreferred] = 0;  // withdrawn: traded again after the rebirth, so walked
    ccc.price[kCommon][0] = 3;
    ccc.trend[kCommon] = 0;  // speculative common, general 5, issue 0: -3, exactly 0
    run();
    EXPECT_EQ(22u, Draws::count);  // LST's common no longer counts, CCC's preferred counts again
    for (const auto& [index, kind, price] : cases) {
        const CompanyRecord& company = market.companies[index];
        const int16_t* prices = company.price[kind];
        for (int k = 0; k < kKindCount; ++k) EXPECT_EQ(k == kind, company.crashed[k]) << index << k;
        EXPECT_EQ(kHistoryDays, std::count(prices, prices + kHistoryDays, 17)) << index;
        EXPECT_EQ(company.total[kind], company.available[kind]) << index;
        EXPECT_EQ(4, company.trend[kind]) << index;  // reset to 5, then walked toward the band
    }
    MarketRecord defaults{};
    build_default_market(defaults);
    CompanyRecord expected = defaults.companies[kCCC];
    std::fill_n(expected.crashed, 3, 1);  // options, common and preferred; and no split
    std::fill_n(expected.trend, 3, 4);    // 5, walked
    EXPECT_TRUE(same_company(expected, ccc));
}

// Draws (low five bits) 0-1 take 2 off, 2-9 take 1, 10-21 drift one step toward 3..4 (issues, max
// 7) or 4..5 (general, max 9), 22-29 add 1, 30-31 add 2; clamped. {max, value, draw, expected}
TEST(WalkTrend, StepsAndClamps) {
    // clang-format off
    const int cases[][4] = {
        {7, 2, 0, 0}, {7, 5, 1, 3}, {7, 5, 2, 4}, {7, 5, 9, 4}, {7, 0, 10, 1}, {7, 3, 10, 3},
        {7, 7, 21, 6}, {7, 5, 22, 6}, {7, 5, 29, 6}, {7, 2, 30, 4}, {7, 6, 31, 7}, {7, 9, 22, 7},
        {9, 8, 30, 9}, {9, 3, 15, 4}, {9, 6, 15, 5}, {9, 4, 33, 2}, {9, 4, 0x7fffffe0 + 30, 6}};
    // clang-format on
    set_draw_source(Draws::next);
    for (const auto& [max, value, draw, expected] : cases) {
        Draws::script = {draw};
        EXPECT_EQ(expected, walk_trend(value, 0, max / 2, max / 2 + 1, max))
            << value << ", " << draw;
    }
}

}  // namespace

// The daily market update at its hazards: draw order, splits, clamps, crashes and rebirths.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

#include "market/market.h"

namespace {

// Scripted draws: the listed values first, then `fallback` forever; every draw is counted.
std::vector<int> g_script;
int g_fallback = 15, g_draw_count = 0;

int scripted_draw() {
    const size_t at = static_cast<size_t>(g_draw_count++);
    return at < g_script.size() ? g_script[at] : g_fallback;
}

void script_draws(std::vector<int> draws, int fallback) {
    g_script = std::move(draws);
    g_fallback = fallback;
    g_draw_count = 0;
}

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
    // The default exchange at general 5 and issue trends 3, which move no price in any table;
    // draw 15 lies in the drift band, so it keeps every trend as it is.
    void fresh() {
        set_draw_source(scripted_draw);
        script_draws({}, 15);
        market = MarketRecord{};
        build_default_market(market);
        market.general_trend = 5;
        for (CompanyRecord& company : market.companies) std::fill_n(company.trend, kKindCount, 3);
    }
    void run() { run_daily_update(market, kToday, true); }

    MarketRecord market{};
};

// Per company one draw per traded kind, then one for the general trend, walked only after every
// price has moved with the trend stored before the update.
TEST_F(DailyUpdate, DrawsInOrderAndMovesWithTheStoredGeneralTrend) {
    market.general_trend = 9;
    market.companies[kIGM].trend[kCommon] = 7;
    int16_t* options = market.companies[kIGM].price[kOptions];  // not traded, still aged
    for (int day = 0; day < kHistoryDays; ++day) options[day] = static_cast<int16_t>(day + 1);
    // IGM common 7 -> 5 and preferred 3 -> 5 take the first draws; the rest drift, general 9 -> 8.
    script_draws({0, 31}, 15);
    run();
    EXPECT_EQ(23, g_draw_count);  // 22 traded issues on the default exchange, then the market
    const CompanyRecord& igm = market.companies[kIGM];
    EXPECT_EQ(std::vector<int16_t>({3, 5, 5, 3}), std::vector<int16_t>(igm.trend, igm.trend + 4));
    EXPECT_EQ(8, market.general_trend);
    EXPECT_STREQ(kToday, market.date);
    // Blue-chip common, general 9, issue 7: +15. The walked general trend 8 would give less.
    EXPECT_EQ(160, igm.price[kCommon][0]);
    EXPECT_EQ(145, igm.price[kCommon][1]);
    EXPECT_EQ(std::vector<int16_t>({1, 1, 2, 3, 4, 5, 6, 7, 8, 9}),
              std::vector<int16_t>(options, options + kHistoryDays));
}

TEST_F(DailyUpdate, MarketCreatedTodayOnlyWalksTrendsAndStampsTheDate) {
    market.companies[kIGM].price[kCommon][0] = 500;  // at its split price
    market.companies[kWHS].price[kCommon][0] = 0;    // would crash
    market.companies[kCCC].crashed[kOptions] = 1;    // flags from an earlier day
    market.companies[kIGM].split = 1;
    const MarketRecord before = market;
    script_draws({}, 30);  // every trend rises by 2
    ASSERT_EQ(0, run_daily_update(market, kToday, false));
    EXPECT_EQ(23, g_draw_count);
    EXPECT_STREQ(kToday, market.date);
    EXPECT_EQ(7, market.general_trend);
    for (int c = 0; c < kCompanyCount; ++c) {
        CompanyRecord expected = before.companies[c];
        for (int k = 0; k < kKindCount; ++k) expected.trend[k] = expected.total[k] ? 5 : 3;
        EXPECT_TRUE(same_company(expected, market.companies[c])) << "company " << c;
    }
}

// A split halves prices rounding up (preferred is raised to common first), doubles units, and
// keeps the day before, the issue price and the split price; an untraded kind stays at 0.
TEST_F(DailyUpdate, CommonAtItsSplitPriceSplitsTwoForOne) {
    const int cases[][3] = {{400, 200, 1}, {401, 201, 1}, {399, 399, 0}};  // common, after, split
    for (const auto& c : cases) {
        fresh();
        CompanyRecord& igm = market.companies[kIGM];
        igm.available[kCommon] = 1500000;
        igm.price[kCommon][0] = static_cast<int16_t>(c[0]);
        igm.split = igm.crashed[kPreferred] = 1;  // yesterday's events are cleared first
        run();
        const int n = c[2] + 1;  // units double on a split
        EXPECT_EQ(std::vector<int>({c[2], 0, c[1], c[1], 2000000 * n, 1500000 * n, 200000 * n, c[0],
                                    145, 400, 0}),
                  std::vector<int>({igm.split, igm.crashed[kPreferred], igm.price[kCommon][0],
                                    igm.price[kPreferred][0], igm.total[kCommon],
                                    igm.available[kCommon], igm.total[kPreferred],
                                    igm.price[kCommon][1], igm.initial_price[kCommon],
                                    igm.split_price, igm.price[kOptions][0]}));
    }
    fresh();
    market.companies[kWHS].split_price = 0;  // splits on every update
    for (const int expected : {13, 7, 4}) {
        run();
        EXPECT_EQ(1, market.companies[kWHS].split);
        EXPECT_EQ(expected, market.companies[kWHS].price[kCommon][0]);
    }
    EXPECT_EQ(400000, market.companies[kWHS].total[kCommon]);
}

// Options between half the common price and the exercise gain (the gain wins), preferred at
// least the common price and bonds at least five times it; raised issues do not crash.
TEST_F(DailyUpdate, OtherKindsHeldInLineWithTheCommonPrice) {
    // {company, kind, common, conversion, price before, price after}
    // clang-format off
    const int cases[][6] = {
        {kCCC, kOptions, 100, 40, 70, 60},  {kCCC, kOptions, 100, 40, 45, 60},  // both; raised
        {kCCC, kOptions, 100, 60, 70, 50},  {kCCC, kOptions, 100, 60, 30, 40},  // capped; raised
        {kCCC, kOptions, 30, 40, 20, 15},   {kCCC, kOptions, 100, 100, 10, 10}, // below; gain 0
        {kCCC, kOptions, 101, 60, 60, 50},                                      // 101 / 2
        {kIGM, kPreferred, 150, 0, 100, 150}, {kIGM, kPreferred, 150, 0, 150, 150},
        {kIGM, kPreferred, 150, 0, -5, 150},  {kALG, kBonds, 190, 0, 900, 950},
        {kALG, kBonds, 180, 0, 900, 900},     {kALG, kBonds, 100, 0, -40, 500},
    };
    // clang-format on
    for (const auto& c : cases) {
        fresh();
        CompanyRecord& company = market.companies[c[0]];
        company.split_price = 1000;
        company.price[kCommon][0] = static_cast<int16_t>(c[2]);
        company.option_conversion_price = static_cast<int16_t>(c[3]);
        company.price[c[1]][0] = static_cast<int16_t>(c[4]);
        run();
        EXPECT_EQ(std::vector<int>({c[5], c[2], 0}),
                  std::vector<int>(
                      {company.price[c[1]][0], company.price[kCommon][0], company.crashed[c[1]]}))
            << "case " << &c - cases;
    }
}

// Issues at 0 or below crash: each starts over at its (edited) issue price with every unit
// available; a common crash brings the whole company back as its default instead.
TEST_F(DailyUpdate, CrashesStartIssuesOverAndACommonCrashRebuildsTheCompany) {
    // {company, kind, price that falls to 0 or below at issue trend 0 and general 5}
    const int cases[][3] = {{kMMC, kOptions, 1}, {kLST, kPreferred, 1}, {kSBG, kBonds, 8}};
    market.companies[kLST].total[kCommon] = 0;  // withdrawn: preferred no longer held at common
    for (const auto& c : cases) {
        CompanyRecord& company = market.companies[c[0]];
        company.trend[c[1]] = 0;
        company.price[c[1]][0] = static_cast<int16_t>(c[2]);
        company.initial_price[c[1]] = 17;  // an edited issue price, not the default
        company.available[c[1]] = 3;
    }
    CompanyRecord& ccc = market.companies[kCCC];
    std::strcpy(ccc.name, "Clone Wars Unlimited");
    std::strcpy(ccc.history[2], "edited");
    ccc.split_price = 0;         // so it also splits on its way down
    ccc.total[kOptions] = 5000;  // edited totals and prices are all forgotten
    ccc.total[kPreferred] = 0;   // withdrawn: traded again after the rebirth, so walked
    ccc.option_conversion_price = 90;
    ccc.price[kCommon][0] = 3;
    ccc.trend[kCommon] = 0;  // speculative common, general 5, issue 0: -3, exactly 0
    ccc.price[kCommon][5] = 77;
    run();
    EXPECT_EQ(22, g_draw_count);  // LST's common no longer counts, CCC's preferred counts again
    for (const auto& c : cases) {
        const CompanyRecord& company = market.companies[c[0]];
        const int16_t* prices = company.price[c[1]];
        SCOPED_TRACE(company.symbol);
        for (int k = 0; k < kKindCount; ++k) EXPECT_EQ(k == c[1], company.crashed[k]) << k;
        EXPECT_EQ(kHistoryDays, std::count(prices, prices + kHistoryDays, 17));
        EXPECT_EQ(company.total[c[1]], company.available[c[1]]);
        EXPECT_EQ(4, company.trend[c[1]]);  // reset to 5, then walked toward the band
    }
    MarketRecord defaults{};
    build_default_market(defaults);
    CompanyRecord expected = defaults.companies[kCCC];
    for (int k = kOptions; k <= kPreferred; ++k) {
        expected.crashed[k] = 1;  // and no split
        expected.trend[k] = 4;    // 5, walked
    }
    EXPECT_TRUE(same_company(expected, ccc));
}

// Issue trends walk in 0..7 toward 3..4, the general trend in 0..9 toward 4..5; only the low five
// bits of a draw count. Cases are {value, low, high, max, draw, expected}, all with min 0.
TEST(WalkTrend, StepsAndClamps) {
    // clang-format off
    const int cases[][6] = {
        {0, 3, 4, 7, 0, 0},  {0, 3, 4, 7, 1, 0},  {1, 3, 4, 7, 1, 0},  {2, 3, 4, 7, 0, 0},
        {5, 3, 4, 7, 1, 3},  {0, 3, 4, 7, 2, 0},  {5, 3, 4, 7, 9, 4},  {0, 3, 4, 7, 10, 1},
        {3, 3, 4, 7, 10, 3}, {4, 3, 4, 7, 21, 4}, {7, 3, 4, 7, 21, 6}, {6, 3, 4, 7, 22, 7},
        {7, 3, 4, 7, 29, 7}, {7, 3, 4, 7, 30, 7}, {7, 3, 4, 7, 31, 7}, {6, 3, 4, 7, 31, 7},
        {2, 3, 4, 7, 30, 4}, {9, 3, 4, 7, 22, 7}, {8, 3, 4, 7, 15, 7}, {8, 4, 5, 9, 30, 9},
        {9, 4, 5, 9, 31, 9}, {3, 4, 5, 9, 15, 4}, {6, 4, 5, 9, 15, 5}, {5, 4, 5, 9, 21, 5},
        {4, 4, 5, 9, 33, 2}, {4, 4, 5, 9, 0x7fffffe0 + 30, 6},
    };
    // clang-format on
    set_draw_source(scripted_draw);
    for (const auto& c : cases) {
        script_draws({c[4]}, 15);
        EXPECT_EQ(c[5], walk_trend(c[0], 0, c[1], c[2], c[3])) << "case " << &c - cases;
        EXPECT_EQ(1, g_draw_count);
    }
    set_draw_source(nullptr);
}

}  // namespace

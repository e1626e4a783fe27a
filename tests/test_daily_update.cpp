// The daily market update at its hazards: draw order, splits, clamps, crashes and rebirths.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "market/market.h"

namespace {

// Scripted draws: the listed values first, then `fallback` forever; every draw is counted.
std::vector<int> g_script;
size_t g_next = 0;
int g_fallback = 15;
int g_draw_count = 0;

int scripted_draw() {
    ++g_draw_count;
    return g_next < g_script.size() ? g_script[g_next++] : g_fallback;
}

void script_draws(std::vector<int> draws, int fallback) {
    g_script = std::move(draws);
    g_next = 0;
    g_fallback = fallback;
    g_draw_count = 0;
}

constexpr char kToday[] = "Mar 14 2025";
constexpr int kCCC = 6, kIGM = 0, kALG = 3, kSBG = 4, kWHS = 11;

void expect_same_company(const CompanyRecord& actual, const CompanyRecord& expected) {
#define SAME_FIELD(field) \
    EXPECT_EQ(0, std::memcmp(&actual.field, &expected.field, sizeof actual.field)) << #field
    SAME_FIELD(symbol);
    SAME_FIELD(name);
    SAME_FIELD(history);
    SAME_FIELD(type);
    SAME_FIELD(crashed);
    SAME_FIELD(split);
    SAME_FIELD(total);
    SAME_FIELD(available);
    SAME_FIELD(initial_price);
    SAME_FIELD(price);
    SAME_FIELD(trend);
    SAME_FIELD(option_conversion_price);
    SAME_FIELD(split_price);
    SAME_FIELD(bond_guaranteed_value);
#undef SAME_FIELD
}

class DailyUpdate : public ::testing::Test {
  protected:
    void SetUp() override {
        set_draw_source(scripted_draw);
        // Draw 15 lies in the drift band: trends inside their band stay put, others step toward it.
        script_draws({}, 15);
        build_default_market(market);
        // General 5 with issue trends 3 moves no price in any table, and draw 15 keeps them.
        market.general_trend = 5;
        for (CompanyRecord& company : market.companies) {
            for (int16_t& trend : company.trend) trend = 3;
        }
    }
    void TearDown() override { set_draw_source(nullptr); }

    void run() { run_daily_update(market, kToday, true); }

    MarketRecord market{};
};

TEST_F(DailyUpdate, DrawsOncePerTradedKindThenOnceForTheGeneralTrend) {
    // IGM trades common then preferred: they take the first two draws; the general trend the last.
    std::vector<int> draws(23, 15);
    draws[0] = 30;   // IGM common 3 -> 5
    draws[1] = 0;    // IGM preferred 3 -> 1
    draws[22] = 31;  // general 5 -> 7
    script_draws(draws, 15);
    run();
    EXPECT_EQ(23, g_draw_count);  // 22 traded issues on the default exchange, then the market
    EXPECT_EQ(5, market.companies[kIGM].trend[kCommon]);
    EXPECT_EQ(1, market.companies[kIGM].trend[kPreferred]);
    EXPECT_EQ(3, market.companies[kIGM].trend[kOptions]);  // not traded: not walked
    EXPECT_EQ(3, market.companies[1].trend[kCommon]);
    EXPECT_EQ(7, market.general_trend);
}

TEST_F(DailyUpdate, TradedKindsAreCountedAfterARebirth) {
    // The sysop withdrew CCC's preferred; its common crashes and the default brings it back.
    CompanyRecord& ccc = market.companies[kCCC];
    ccc.total[kPreferred] = 0;
    ccc.price[kCommon][0] = 2;
    ccc.trend[kCommon] = 0;  // speculative common, general 5, issue 0: -3
    run();
    EXPECT_EQ(23, g_draw_count);
    EXPECT_EQ(4, ccc.trend[kPreferred]);  // reset to 5, then walked toward the band
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
        SCOPED_TRACE(c);
        CompanyRecord expected = before.companies[c];
        for (int k = 0; k < kKindCount; ++k) {
            if (expected.total[k] != 0) expected.trend[k] = 5;
        }
        expect_same_company(market.companies[c], expected);
    }
}

TEST_F(DailyUpdate, MovesUseTheGeneralTrendFromBeforeTheUpdateAndWalkItOnce) {
    market.general_trend = 9;
    market.companies[kIGM].trend[kCommon] = 7;
    script_draws({}, 0);  // every walk falls by 2
    run();
    // Blue-chip common, general 9, issue 7: +15. The walked general trend 7 would give less.
    EXPECT_EQ(160, market.companies[kIGM].price[kCommon][0]);
    EXPECT_EQ(5, market.companies[kIGM].trend[kCommon]);
    EXPECT_EQ(7, market.general_trend);
    EXPECT_STREQ(kToday, market.date);
}

TEST_F(DailyUpdate, HistoriesOfEveryKindAgeByOneDay) {
    int16_t* options = market.companies[kIGM].price[kOptions];  // not traded, still aged
    for (int day = 0; day < kHistoryDays; ++day) options[day] = static_cast<int16_t>(day + 1);
    market.companies[kIGM].price[kCommon][0] = 150;
    market.companies[kIGM].trend[kCommon] = 7;  // +2 at general 5
    run();
    const int16_t expected_options[kHistoryDays] = {1, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    EXPECT_EQ(0, std::memcmp(expected_options, options, sizeof expected_options));
    const int16_t* common = market.companies[kIGM].price[kCommon];
    EXPECT_EQ(152, common[0]);
    EXPECT_EQ(150, common[1]);
    EXPECT_EQ(145, common[2]);
    EXPECT_EQ(145, common[9]);
}

struct SplitCase {
    int16_t common;
    int16_t expected_price;  // common and preferred (preferred is raised to common first)
    int16_t expected_split;
    int32_t expected_common_total;
    int32_t expected_common_available;
};

class SplitTest : public DailyUpdate, public ::testing::WithParamInterface<SplitCase> {};

TEST_P(SplitTest, CommonAtItsSplitPriceSplitsTwoForOne) {
    const SplitCase& c = GetParam();
    CompanyRecord& igm = market.companies[kIGM];
    igm.available[kCommon] = 1500000;
    igm.price[kCommon][0] = c.common;
    igm.split = 1;  // yesterday's events are cleared first
    igm.crashed[kPreferred] = 1;
    run();
    EXPECT_EQ(c.expected_split, igm.split);
    EXPECT_EQ(0, igm.crashed[kPreferred]);
    EXPECT_EQ(c.expected_price, igm.price[kCommon][0]);
    EXPECT_EQ(c.expected_price, igm.price[kPreferred][0]);
    EXPECT_EQ(c.expected_common_total, igm.total[kCommon]);
    EXPECT_EQ(c.expected_common_available, igm.available[kCommon]);
    EXPECT_EQ(c.expected_split ? 400000 : 200000, igm.total[kPreferred]);
    // The day before keeps the old, higher price; the issue and split prices stay as they were.
    EXPECT_EQ(c.common, igm.price[kCommon][1]);
    EXPECT_EQ(145, igm.price[kCommon][2]);
    EXPECT_EQ(145, igm.initial_price[kCommon]);
    EXPECT_EQ(400, igm.split_price);
    EXPECT_EQ(0, igm.total[kOptions]);  // an untraded kind stays untraded at price 0
    EXPECT_EQ(0, igm.price[kOptions][0]);
}

INSTANTIATE_TEST_SUITE_P(Prices, SplitTest,
                         ::testing::Values(SplitCase{400, 200, 1, 4000000, 3000000},
                                           SplitCase{401, 201, 1, 4000000, 3000000},
                                           SplitCase{399, 399, 0, 2000000, 1500000}));

TEST_F(DailyUpdate, SplitPriceZeroSplitsEveryDay) {
    market.companies[kWHS].split_price = 0;
    const int16_t expected_price[] = {13, 7, 4};
    const int32_t expected_total[] = {100000, 200000, 400000};
    for (int day = 0; day < 3; ++day) {
        SCOPED_TRACE(day);
        run();
        EXPECT_EQ(1, market.companies[kWHS].split);
        EXPECT_EQ(expected_price[day], market.companies[kWHS].price[kCommon][0]);
        EXPECT_EQ(expected_total[day], market.companies[kWHS].total[kCommon]);
    }
}

struct OptionsCase {
    int16_t common, conversion, options, expected;
};

class OptionsClampTest : public DailyUpdate, public ::testing::WithParamInterface<OptionsCase> {};

TEST_P(OptionsClampTest, OptionsHeldBetweenHalfTheCommonAndTheExerciseGain) {
    const OptionsCase& c = GetParam();
    CompanyRecord& ccc = market.companies[kCCC];
    ccc.split_price = 1000;
    ccc.price[kCommon][0] = c.common;
    ccc.price[kPreferred][0] = 300;
    ccc.option_conversion_price = c.conversion;
    ccc.price[kOptions][0] = c.options;
    run();
    EXPECT_EQ(c.expected, ccc.price[kOptions][0]);
    EXPECT_EQ(c.common, ccc.price[kCommon][0]);
}

INSTANTIATE_TEST_SUITE_P(Cases, OptionsClampTest,
                         ::testing::Values(OptionsCase{100, 40, 70, 60},    // capped 50, raised 60
                                           OptionsCase{100, 40, 45, 60},    // raised only
                                           OptionsCase{100, 60, 70, 50},    // capped only
                                           OptionsCase{100, 60, 30, 40},    // raised to the gain
                                           OptionsCase{30, 40, 20, 15},     // below conversion
                                           OptionsCase{100, 100, 10, 10},   // gain 0
                                           OptionsCase{101, 60, 60, 50}));  // 101 / 2 truncates

struct FloorCase {
    int company;
    StockKind kind;
    int16_t common, start, expected;
};

class FloorTest : public DailyUpdate, public ::testing::WithParamInterface<FloorCase> {};

TEST_P(FloorTest, PreferredAndBondsFollowTheCommonPriceUp) {
    const FloorCase& c = GetParam();
    CompanyRecord& company = market.companies[c.company];
    company.split_price = 1000;
    company.price[kCommon][0] = c.common;
    company.price[c.kind][0] = c.start;
    run();
    EXPECT_EQ(c.expected, company.price[c.kind][0]);
    EXPECT_EQ(0, company.crashed[c.kind]);
}

INSTANTIATE_TEST_SUITE_P(Cases, FloorTest,
                         ::testing::Values(FloorCase{kIGM, kPreferred, 150, 100, 150},
                                           FloorCase{kIGM, kPreferred, 150, 150, 150},
                                           FloorCase{kIGM, kPreferred, 150, -5, 150},
                                           FloorCase{kALG, kBonds, 190, 900, 950},
                                           FloorCase{kALG, kBonds, 180, 900, 900},
                                           FloorCase{kALG, kBonds, 100, -40, 500}));

struct CrashCase {
    int company;
    StockKind kind;
    int16_t start;
    bool withdraw_common;  // a sysop edit: the company no longer trades common
};

class CrashTest : public DailyUpdate, public ::testing::WithParamInterface<CrashCase> {};

TEST_P(CrashTest, CrashedIssueStartsOverAtItsIssuePrice) {
    const CrashCase& c = GetParam();
    CompanyRecord& company = market.companies[c.company];
    if (c.withdraw_common) company.total[kCommon] = company.available[kCommon] = 0;
    market.general_trend = 0;
    company.trend[kCommon] = 7;  // -2 for speculative common: no common crash
    company.trend[c.kind] = 0;
    company.price[c.kind][0] = c.start;
    company.initial_price[c.kind] = 17;  // an edited issue price, not the default
    company.available[c.kind] = 3;
    run();
    for (int k = 0; k < kKindCount; ++k) EXPECT_EQ(k == c.kind ? 1 : 0, company.crashed[k]) << k;
    for (int day = 0; day < kHistoryDays; ++day) EXPECT_EQ(17, company.price[c.kind][day]);
    EXPECT_EQ(company.total[c.kind], company.available[c.kind]);
    EXPECT_EQ(4, company.trend[c.kind]);  // reset to 5, then walked toward the band
    EXPECT_EQ(0, company.split);
}

INSTANTIATE_TEST_SUITE_P(Kinds, CrashTest,
                         ::testing::Values(CrashCase{kCCC, kOptions, 1, false},
                                           CrashCase{kIGM, kPreferred, 1, true},
                                           CrashCase{kSBG, kBonds, 10, false}));

TEST_F(DailyUpdate, CommonCrashBringsTheCompanyBackAsItsDefault) {
    CompanyRecord& ccc = market.companies[kCCC];
    std::strcpy(ccc.name, "Clone Wars Unlimited");
    std::strcpy(ccc.history[2], "edited");
    ccc.split_price = 0;         // so it also splits on its way down
    ccc.total[kOptions] = 5000;  // edited totals and prices are all forgotten
    ccc.option_conversion_price = 90;
    ccc.price[kCommon][0] = 3;
    ccc.trend[kCommon] = 0;  // -3: exactly 0
    ccc.price[kCommon][5] = 77;
    const MarketRecord before = market;
    run();

    MarketRecord defaults{};
    build_default_market(defaults);
    CompanyRecord expected = defaults.companies[kCCC];
    expected.crashed[kOptions] = expected.crashed[kCommon] = expected.crashed[kPreferred] = 1;
    for (int k = kOptions; k <= kPreferred; ++k) expected.trend[k] = 4;  // 5, walked
    expect_same_company(ccc, expected);
    for (int c = 0; c < kCompanyCount; ++c) {
        if (c == kCCC) continue;
        SCOPED_TRACE(c);
        expect_same_company(market.companies[c], before.companies[c]);
    }
    EXPECT_EQ(5, market.general_trend);
}

struct WalkCase {
    int value, min, low, high, max, draw, expected;
};

class WalkTrendTest : public ::testing::TestWithParam<WalkCase> {
  protected:
    void TearDown() override { set_draw_source(nullptr); }
};

TEST_P(WalkTrendTest, StepsAndClamps) {
    const WalkCase& c = GetParam();
    script_draws({c.draw}, 15);
    set_draw_source(scripted_draw);
    EXPECT_EQ(c.expected, walk_trend(c.value, c.min, c.low, c.high, c.max));
    EXPECT_EQ(1, g_draw_count);
}

// Issue trends walk in 0..7 toward 3..4, the general trend in 0..9 toward 4..5.
INSTANTIATE_TEST_SUITE_P(
    Bands, WalkTrendTest,
    ::testing::Values(WalkCase{0, 0, 3, 4, 7, 0, 0}, WalkCase{0, 0, 3, 4, 7, 1, 0},
                      WalkCase{1, 0, 3, 4, 7, 1, 0}, WalkCase{2, 0, 3, 4, 7, 0, 0},
                      WalkCase{5, 0, 3, 4, 7, 1, 3}, WalkCase{0, 0, 3, 4, 7, 2, 0},
                      WalkCase{5, 0, 3, 4, 7, 9, 4}, WalkCase{0, 0, 3, 4, 7, 10, 1},
                      WalkCase{3, 0, 3, 4, 7, 10, 3}, WalkCase{4, 0, 3, 4, 7, 21, 4},
                      WalkCase{7, 0, 3, 4, 7, 21, 6}, WalkCase{6, 0, 3, 4, 7, 22, 7},
                      WalkCase{7, 0, 3, 4, 7, 29, 7}, WalkCase{7, 0, 3, 4, 7, 30, 7},
                      WalkCase{7, 0, 3, 4, 7, 31, 7}, WalkCase{6, 0, 3, 4, 7, 31, 7},
                      WalkCase{2, 0, 3, 4, 7, 30, 4}, WalkCase{9, 0, 3, 4, 7, 22, 7},
                      WalkCase{8, 0, 3, 4, 7, 15, 7}, WalkCase{8, 0, 4, 5, 9, 30, 9},
                      WalkCase{9, 0, 4, 5, 9, 31, 9}, WalkCase{3, 0, 4, 5, 9, 15, 4},
                      WalkCase{6, 0, 4, 5, 9, 15, 5}, WalkCase{5, 0, 4, 5, 9, 21, 5},
                      WalkCase{4, 0, 4, 5, 9, 32 + 1, 2},  // only the low five bits count
                      WalkCase{4, 0, 4, 5, 9, 0x7fffffe0 + 30, 6}));

}  // namespace

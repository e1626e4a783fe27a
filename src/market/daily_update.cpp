// The daily market update: the price-move table, the random walk of trends, and one market day.
#include <cstring>
#include <limits>

#include "market/market.h"

// The day's price change by [company type][stock kind][general trend 0..9][issue trend 0..7].
// The bear rows (general 0), the neutral rows (5), the bull rows (9) and the whole speculative
// common table are the exchange's fixed moves. The other rows follow the shape of the speculative
// common table: rows 1 and 2 are a half and a third of row 0, rows 7 and 8 a third and a half of
// row 9 (truncated toward zero), row 4 equals row 5, and rows 3 and 6 widen row 5 by
// x + x / 4 + sign(x). Speculative options in a strong market (row 8) run up to 7, their largest
// move. Every row is non-decreasing, bear rows never rise, bull rows never fall, and each
// speculative entry moves at least as far as the mutual-fund and blue-chip entry beside it.
// clang-format off
constexpr int32_t PriceMoveTable[3][4][10][8] = {
    {
        // speculative options
        {
            {  -8,   -5,   -4,   -4,   -3,   -3,   -2,   -1},
            {  -4,   -2,   -2,   -2,   -1,   -1,   -1,    0},
            {  -2,   -1,   -1,   -1,   -1,   -1,    0,    0},
            {  -3,   -3,   -2,    0,    0,    2,    3,    3},
            {  -2,   -2,   -1,    0,    0,    1,    2,    2},
            {  -2,   -2,   -1,    0,    0,    1,    2,    2},
            {  -3,   -3,   -2,    0,    0,    2,    3,    3},
            {   0,    0,    0,    1,    1,    1,    1,    1},
            {   0,    1,    1,    2,    3,    4,    5,    7},
            {   0,    1,    2,    3,    3,    4,    4,    5},
        },
        // speculative common
        {
            { -20,  -14,  -10,   -8,   -6,   -4,   -3,   -2},
            { -10,   -8,   -6,   -4,   -3,   -2,   -1,    0},
            {  -6,   -5,   -4,   -3,   -2,   -1,    0,    0},
            {  -4,   -3,   -2,   -1,    1,    2,    3,    4},
            {  -3,   -2,   -1,    0,    0,    1,    2,    3},
            {  -3,   -2,   -1,    0,    0,    1,    2,    3},
            {  -4,   -3,   -2,   -1,    1,    2,    3,    4},
            {   0,    0,    1,    2,    3,    4,    5,    6},
            {   0,    1,    2,    3,    4,    6,    8,   10},
            {   2,    3,    4,    6,    8,   10,   14,   20},
        },
        // speculative preferred
        {
            { -18,  -12,   -8,   -6,   -4,   -3,   -2,   -1},
            {  -9,   -6,   -4,   -3,   -2,   -1,   -1,    0},
            {  -6,   -4,   -2,   -2,   -1,   -1,    0,    0},
            {  -4,   -3,   -2,    0,    0,    2,    3,    4},
            {  -3,   -2,   -1,    0,    0,    1,    2,    3},
            {  -3,   -2,   -1,    0,    0,    1,    2,    3},
            {  -4,   -3,   -2,    0,    0,    2,    3,    4},
            {   0,    0,    1,    1,    2,    2,    4,    6},
            {   0,    1,    1,    2,    3,    4,    6,    9},
            {   1,    2,    3,    4,    6,    8,   12,   18},
        },
        // speculative bonds
        {
            {-130, -100,  -70,  -40,  -30,  -20,  -10,   -5},
            { -65,  -50,  -35,  -20,  -15,  -10,   -5,   -2},
            { -43,  -33,  -23,  -13,  -10,   -6,   -3,   -1},
            { -16,   -9,   -4,    0,    0,    4,   12,   18},
            { -12,   -7,   -3,    0,    0,    3,    9,   14},
            { -12,   -7,   -3,    0,    0,    3,    9,   14},
            { -16,   -9,   -4,    0,    0,    4,   12,   18},
            {   1,    3,    6,   10,   13,   23,   33,   43},
            {   2,    5,   10,   15,   20,   35,   50,   65},
            {   5,   10,   20,   30,   40,   70,  100,  130},
        },
    },
    {
        // mutual fund options
        {
            {  -4,   -3,   -2,   -1,   -1,    0,    0,    0},
            {  -2,   -1,   -1,    0,    0,    0,    0,    0},
            {  -1,   -1,    0,    0,    0,    0,    0,    0},
            {  -3,   -2,    0,    0,    0,    0,    2,    3},
            {  -2,   -1,    0,    0,    0,    0,    1,    2},
            {  -2,   -1,    0,    0,    0,    0,    1,    2},
            {  -3,   -2,    0,    0,    0,    0,    2,    3},
            {   0,    0,    0,    0,    1,    1,    1,    1},
            {   0,    0,    0,    1,    1,    2,    2,    2},
            {   0,    1,    1,    2,    3,    4,    4,    5},
        },
        // mutual fund common
        {
            { -13,  -10,   -8,   -5,   -4,   -2,   -1,    0},
            {  -6,   -5,   -4,   -2,   -2,   -1,    0,    0},
            {  -4,   -3,   -2,   -1,   -1,    0,    0,    0},
            {  -3,   -2,    0,    0,    0,    0,    2,    3},
            {  -2,   -1,    0,    0,    0,    0,    1,    2},
            {  -2,   -1,    0,    0,    0,    0,    1,    2},
            {  -3,   -2,    0,    0,    0,    0,    2,    3},
            {   0,    0,    1,    1,    1,    2,    2,    4},
            {   0,    1,    2,    2,    2,    3,    4,    6},
            {   1,    2,    4,    5,    5,    7,    8,   12},
        },
        // mutual fund preferred
        {
            { -11,   -9,   -6,   -3,   -2,   -1,   -1,    0},
            {  -5,   -4,   -3,   -1,   -1,    0,    0,    0},
            {  -3,   -3,   -2,   -1,    0,    0,    0,    0},
            {  -3,   -2,    0,    0,    0,    0,    2,    3},
            {  -2,   -1,    0,    0,    0,    0,    1,    2},
            {  -2,   -1,    0,    0,    0,    0,    1,    2},
            {  -3,   -2,    0,    0,    0,    0,    2,    3},
            {   0,    0,    0,    1,    1,    2,    2,    3},
            {   0,    0,    1,    1,    2,    3,    4,    5},
            {   0,    1,    2,    3,    4,    6,    8,   11},
        },
        // mutual fund bonds
        {
            { -63,  -47,  -31,  -17,  -12,   -8,   -4,    0},
            { -31,  -23,  -15,   -8,   -6,   -4,   -2,    0},
            { -21,  -15,  -10,   -5,   -4,   -2,   -1,    0},
            { -11,   -7,   -2,    0,    0,    4,    7,   12},
            {  -8,   -5,   -1,    0,    0,    3,    5,    9},
            {  -8,   -5,   -1,    0,    0,    3,    5,    9},
            { -11,   -7,   -2,    0,    0,    4,    7,   12},
            {   0,    1,    2,    3,    5,    7,   10,   19},
            {   1,    2,    3,    4,    8,   11,   16,   28},
            {   2,    4,    7,    9,   17,   23,   32,   57},
        },
    },
    {
        // blue chip options
        {
            {  -5,   -4,   -3,   -2,   -2,   -1,   -1,    0},
            {  -2,   -2,   -1,   -1,   -1,    0,    0,    0},
            {  -1,   -1,   -1,    0,    0,    0,    0,    0},
            {  -3,   -2,    0,    0,    0,    0,    2,    3},
            {  -2,   -1,    0,    0,    0,    0,    1,    2},
            {  -2,   -1,    0,    0,    0,    0,    1,    2},
            {  -3,   -2,    0,    0,    0,    0,    2,    3},
            {   0,    0,    0,    0,    1,    1,    1,    1},
            {   0,    0,    0,    1,    1,    2,    2,    2},
            {   0,    1,    1,    2,    3,    4,    4,    5},
        },
        // blue chip common
        {
            { -15,  -12,   -9,   -6,   -5,   -4,   -2,   -1},
            {  -7,   -6,   -4,   -3,   -2,   -2,   -1,    0},
            {  -5,   -4,   -3,   -2,   -1,   -1,    0,    0},
            {  -3,   -2,    0,    0,    0,    0,    2,    3},
            {  -2,   -1,    0,    0,    0,    0,    1,    2},
            {  -2,   -1,    0,    0,    0,    0,    1,    2},
            {  -3,   -2,    0,    0,    0,    0,    2,    3},
            {   0,    0,    1,    1,    2,    3,    4,    5},
            {   0,    1,    2,    2,    3,    4,    6,    7},
            {   1,    2,    4,    5,    6,    9,   12,   15},
        },
        // blue chip preferred
        {
            { -13,  -10,   -7,   -4,   -3,   -2,   -1,    0},
            {  -6,   -5,   -3,   -2,   -1,   -1,    0,    0},
            {  -4,   -3,   -2,   -1,   -1,    0,    0,    0},
            {  -3,   -2,    0,    0,    0,    0,    2,    3},
            {  -2,   -1,    0,    0,    0,    0,    1,    2},
            {  -2,   -1,    0,    0,    0,    0,    1,    2},
            {  -3,   -2,    0,    0,    0,    0,    2,    3},
            {   0,    0,    0,    1,    1,    2,    3,    4},
            {   0,    0,    1,    1,    2,    3,    5,    6},
            {   0,    1,    2,    3,    4,    7,   10,   13},
        },
        // blue chip bonds
        {
            { -65,  -50,  -35,  -20,  -15,  -10,   -5,   -2},
            { -32,  -25,  -17,  -10,   -7,   -5,   -2,   -1},
            { -21,  -16,  -11,   -6,   -5,   -3,   -1,    0},
            {  -8,   -4,   -2,    0,    0,    2,    6,    9},
            {  -6,   -3,   -1,    0,    0,    1,    4,    7},
            {  -6,   -3,   -1,    0,    0,    1,    4,    7},
            {  -8,   -4,   -2,    0,    0,    2,    6,    9},
            {   0,    1,    3,    5,    6,    9,   16,   21},
            {   1,    2,    5,    8,    9,   13,   24,   32},
            {   2,    5,   11,   16,   19,   27,   48,   65},
        },
    },
};
// clang-format on

namespace {

constexpr int kIssueTrendColumns = 8;
constexpr int kMaxEditableTrend = 9;

bool is_traded(const CompanyRecord& company, int kind) {
    return company.total[kind] != 0;
}

// Prices are 16-bit: a result beyond that range stays at its edge instead of wrapping round.
int16_t to_price(long value) {
    if (value > std::numeric_limits<int16_t>::max()) return std::numeric_limits<int16_t>::max();
    if (value < std::numeric_limits<int16_t>::min()) return std::numeric_limits<int16_t>::min();
    return static_cast<int16_t>(value);
}

// Unit counts double on a split; a company that splits day after day stops at the 32-bit limit.
int32_t doubled(int32_t units) {
    const long long result = 2LL * units;
    if (result > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (result < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(result);
}

void age_histories(CompanyRecord& company) {
    for (int kind = 0; kind < kKindCount; ++kind) {
        for (int day = kHistoryDays - 1; day >= 1; --day) {
            company.price[kind][day] = company.price[kind][day - 1];
        }
    }
}

// Keeps options, preferred and bonds in line with the new common price.
void hold_in_line_with_common(CompanyRecord& company) {
    if (!is_traded(company, kCommon)) return;
    const int common = company.price[kCommon][0];
    if (is_traded(company, kOptions)) {
        int16_t& options = company.price[kOptions][0];
        // An option is worth at most half a share, but never less than exercising it gains;
        // the second rule wins where the two disagree.
        if (options > common / 2) options = to_price(common / 2);
        const int conversion = company.option_conversion_price;
        if (common >= conversion && options < common - conversion) {
            options = to_price(common - conversion);
        }
    }
    if (is_traded(company, kPreferred) && common > company.price[kPreferred][0]) {
        company.price[kPreferred][0] = to_price(common);
    }
    if (is_traded(company, kBonds) && 5L * common > company.price[kBonds][0]) {
        company.price[kBonds][0] = to_price(5L * common);
    }
}

// Two for one: units double and today's prices halve, rounding up; older days keep the old
// prices.
void split_stock(CompanyRecord& company) {
    company.split = 1;
    for (int kind = 0; kind < kKindCount; ++kind) {
        company.total[kind] = doubled(company.total[kind]);
        company.available[kind] = doubled(company.available[kind]);
        company.price[kind][0] = to_price((company.price[kind][0] + 1) / 2);
    }
}

// A crashed issue starts over at its issue price with every unit back on the market.
void reset_issue(CompanyRecord& company, int kind) {
    company.crashed[kind] = 1;
    company.available[kind] = company.total[kind];
    for (int day = 0; day < kHistoryDays; ++day) {
        company.price[kind][day] = company.initial_price[kind];
    }
    company.trend[kind] = 5;
}

bool has_crashed(const CompanyRecord& company, int kind) {
    return is_traded(company, kind) && company.price[kind][0] <= 0;
}

// Ages, moves, aligns, splits and crashes one company's prices; draws no random numbers.
void move_company(MarketRecord& market, int index, int general_trend) {
    CompanyRecord& company = market.companies[index];
    age_histories(company);
    for (int kind = 0; kind < kKindCount; ++kind) {
        if (is_traded(company, kind)) {
            apply_price_move(company.price[kind][0], kind, company.type, general_trend,
                             company.trend[kind]);
        }
    }
    hold_in_line_with_common(company);

    for (int kind = 0; kind < kKindCount; ++kind) company.crashed[kind] = 0;
    company.split = 0;

    if (is_traded(company, kCommon) && company.price[kCommon][0] >= company.split_price) {
        split_stock(company);
    }
    if (has_crashed(company, kOptions)) reset_issue(company, kOptions);
    if (has_crashed(company, kCommon)) {
        // The company goes under and comes back as it was first listed.
        reset_company_to_default(market, index);
        for (int kind = 0; kind < kKindCount; ++kind) {
            if (is_traded(company, kind)) company.crashed[kind] = 1;
        }
    }
    if (has_crashed(company, kPreferred)) reset_issue(company, kPreferred);
    if (has_crashed(company, kBonds)) reset_issue(company, kBonds);
}

}  // namespace

int walk_trend(int value, int min, int low, int high, int max) {
    const int r = draw_random() & 31;
    if (r <= 1) {
        value -= 2;
    } else if (r <= 9) {
        value -= 1;
    } else if (r <= 21) {
        if (value < low) {
            value += 1;
        } else if (value > high) {
            value -= 1;
        }
    } else if (r <= 29) {
        value += 1;
    } else {
        value += 2;
    }
    if (value < min) value = min;
    if (value > max) value = max;
    return value;
}

void apply_price_move(int16_t& price, int kind, int type, int general, int issue) {
    if (type < 0 || type > 2 || kind < 0 || kind >= kKindCount || general < 0 || general > 9) {
        return;
    }
    if (issue < 0 || issue > kMaxEditableTrend) return;
    // The editor admits issue trends 8 and 9, which have no column: they move as 7, the most
    // bullish one. The walk later in the same update brings such a trend back into 0..7.
    if (issue >= kIssueTrendColumns) issue = kIssueTrendColumns - 1;
    price = to_price(static_cast<long>(price) + PriceMoveTable[type][kind][general][issue]);
}

int run_daily_update(MarketRecord& market, const char* today, bool prices_move) {
    // Every move of the day uses the general trend as it stood before the update.
    const int general_trend = market.general_trend;
    for (int index = 0; index < kCompanyCount; ++index) {
        if (prices_move) move_company(market, index, general_trend);
        // One draw per traded kind, tested after any rebirth above.
        CompanyRecord& company = market.companies[index];
        for (int kind = 0; kind < kKindCount; ++kind) {
            if (is_traded(company, kind)) {
                company.trend[kind] =
                    static_cast<int16_t>(walk_trend(company.trend[kind], 0, 3, 4, 7));
            }
        }
    }
    market.general_trend = static_cast<int16_t>(walk_trend(market.general_trend, 0, 4, 5, 9));
    std::memset(market.date, 0, sizeof market.date);
    std::memcpy(market.date, today, strnlen(today, sizeof market.date - 1));
    return 0;
}

// The price-move table: its fixed rows, its shape over all 960 entries, and the lookup.
#include <gtest/gtest.h>

#include <algorithm>

#include "market/market.h"

namespace {

using Row = int32_t[8];

// Rows for general trends 0, 5 and 9 and each table's least and greatest value, written out
// from the exchange's rules independently of the table under test.
struct FixedRows {
    int type, kind;
    Row bear, neutral, bull;
    int32_t least, greatest;
};

constexpr FixedRows kFixedRows[] = {
    {0,
     0,
     {-8, -5, -4, -4, -3, -3, -2, -1},
     {-2, -2, -1, 0, 0, 1, 2, 2},
     {0, 1, 2, 3, 3, 4, 4, 5},
     -8,
     7},
    {0,
     1,
     {-20, -14, -10, -8, -6, -4, -3, -2},
     {-3, -2, -1, 0, 0, 1, 2, 3},
     {2, 3, 4, 6, 8, 10, 14, 20},
     -20,
     20},
    {0,
     2,
     {-18, -12, -8, -6, -4, -3, -2, -1},
     {-3, -2, -1, 0, 0, 1, 2, 3},
     {1, 2, 3, 4, 6, 8, 12, 18},
     -18,
     18},
    {0,
     3,
     {-130, -100, -70, -40, -30, -20, -10, -5},
     {-12, -7, -3, 0, 0, 3, 9, 14},
     {5, 10, 20, 30, 40, 70, 100, 130},
     -130,
     130},
    {1,
     0,
     {-4, -3, -2, -1, -1, 0, 0, 0},
     {-2, -1, 0, 0, 0, 0, 1, 2},
     {0, 1, 1, 2, 3, 4, 4, 5},
     -4,
     5},
    {1,
     1,
     {-13, -10, -8, -5, -4, -2, -1, 0},
     {-2, -1, 0, 0, 0, 0, 1, 2},
     {1, 2, 4, 5, 5, 7, 8, 12},
     -13,
     12},
    {1,
     2,
     {-11, -9, -6, -3, -2, -1, -1, 0},
     {-2, -1, 0, 0, 0, 0, 1, 2},
     {0, 1, 2, 3, 4, 6, 8, 11},
     -11,
     11},
    {1,
     3,
     {-63, -47, -31, -17, -12, -8, -4, 0},
     {-8, -5, -1, 0, 0, 3, 5, 9},
     {2, 4, 7, 9, 17, 23, 32, 57},
     -63,
     57},
    {2,
     0,
     {-5, -4, -3, -2, -2, -1, -1, 0},
     {-2, -1, 0, 0, 0, 0, 1, 2},
     {0, 1, 1, 2, 3, 4, 4, 5},
     -5,
     5},
    {2,
     1,
     {-15, -12, -9, -6, -5, -4, -2, -1},
     {-2, -1, 0, 0, 0, 0, 1, 2},
     {1, 2, 4, 5, 6, 9, 12, 15},
     -15,
     15},
    {2,
     2,
     {-13, -10, -7, -4, -3, -2, -1, 0},
     {-2, -1, 0, 0, 0, 0, 1, 2},
     {0, 1, 2, 3, 4, 7, 10, 13},
     -13,
     13},
    {2,
     3,
     {-65, -50, -35, -20, -15, -10, -5, -2},
     {-6, -3, -1, 0, 0, 1, 4, 7},
     {2, 5, 11, 16, 19, 27, 48, 65},
     -65,
     65},
};

// The speculative common table is fixed whole.
constexpr Row kSpeculativeCommon[10] = {
    {-20, -14, -10, -8, -6, -4, -3, -2}, {-10, -8, -6, -4, -3, -2, -1, 0},
    {-6, -5, -4, -3, -2, -1, 0, 0},      {-4, -3, -2, -1, 1, 2, 3, 4},
    {-3, -2, -1, 0, 0, 1, 2, 3},         {-3, -2, -1, 0, 0, 1, 2, 3},
    {-4, -3, -2, -1, 1, 2, 3, 4},        {0, 0, 1, 2, 3, 4, 5, 6},
    {0, 1, 2, 3, 4, 6, 8, 10},           {2, 3, 4, 6, 8, 10, 14, 20},
};

void expect_row(const Row& expected, int type, int kind, int general) {
    for (int issue = 0; issue < 8; ++issue) {
        EXPECT_EQ(expected[issue], PriceMoveTable[type][kind][general][issue])
            << "type " << type << " kind " << kind << " general " << general << " issue " << issue;
    }
}

int32_t least(int type, int kind) {
    const int32_t* first = &PriceMoveTable[type][kind][0][0];
    return *std::min_element(first, first + 80);
}

int32_t greatest(int type, int kind) {
    const int32_t* first = &PriceMoveTable[type][kind][0][0];
    return *std::max_element(first, first + 80);
}

TEST(PriceMoveTable, FixedRowsAndExtremes) {
    for (const FixedRows& fixed : kFixedRows) {
        expect_row(fixed.bear, fixed.type, fixed.kind, 0);
        expect_row(fixed.neutral, fixed.type, fixed.kind, 5);
        expect_row(fixed.bull, fixed.type, fixed.kind, 9);
        EXPECT_EQ(fixed.least, least(fixed.type, fixed.kind)) << fixed.type << "/" << fixed.kind;
        EXPECT_EQ(fixed.greatest, greatest(fixed.type, fixed.kind))
            << fixed.type << "/" << fixed.kind;
    }
    for (int general = 0; general < 10; ++general) {
        expect_row(kSpeculativeCommon[general], kSpeculative, kCommon, general);
    }
}

TEST(PriceMoveTable, EveryRowHasTheShapeOfItsMarket) {
    for (int type = 0; type < 3; ++type) {
        for (int kind = 0; kind < 4; ++kind) {
            for (int general = 0; general < 10; ++general) {
                SCOPED_TRACE(testing::Message()
                             << "type " << type << " kind " << kind << " general " << general);
                const int32_t* row = PriceMoveTable[type][kind][general];
                for (int issue = 1; issue < 8; ++issue) EXPECT_LE(row[issue - 1], row[issue]);
                if (general <= 2) {
                    EXPECT_LE(row[7], 0);  // bear: nothing rises
                }
                if (general >= 7) {
                    EXPECT_GE(row[0], 0);  // bull: nothing falls
                }
                if (general >= 3 && general <= 6) {
                    EXPECT_LT(row[0], 0);
                    EXPECT_GT(row[7], 0);
                }
            }
        }
    }
}

TEST(PriceMoveTable, BondsAndSpeculativeIssuesMoveFarthest) {
    // At the extremes bonds move four to seven times as far as common stock of the same type.
    for (int type = 0; type < 3; ++type) {
        SCOPED_TRACE(type);
        EXPECT_LE(least(type, kBonds), 4 * least(type, kCommon));
        EXPECT_GE(least(type, kBonds), 7 * least(type, kCommon));
        EXPECT_GE(greatest(type, kBonds), 4 * greatest(type, kCommon));
        EXPECT_LE(greatest(type, kBonds), 7 * greatest(type, kCommon));
    }
    // Every speculative entry moves at least as far, in the same direction, as the mutual-fund
    // and blue-chip entries of the same kind and trends; the extremes strictly farther.
    for (int other = kMutualFund; other <= kBlueChip; ++other) {
        for (int kind = 0; kind < 4; ++kind) {
            EXPECT_LT(least(kSpeculative, kind), least(other, kind));
            EXPECT_GT(greatest(kSpeculative, kind), greatest(other, kind));
            for (int general = 0; general < 10; ++general) {
                for (int issue = 0; issue < 8; ++issue) {
                    const int32_t spec = PriceMoveTable[kSpeculative][kind][general][issue];
                    const int32_t calm = PriceMoveTable[other][kind][general][issue];
                    if (calm < 0) {
                        EXPECT_LE(spec, calm) << kind << general << issue;
                    }
                    if (calm > 0) {
                        EXPECT_GE(spec, calm) << kind << general << issue;
                    }
                }
            }
        }
    }
}

struct MoveCase {
    int16_t price;
    int kind, type, general, issue;
    int16_t expected;
};

class ApplyPriceMove : public ::testing::TestWithParam<MoveCase> {};

TEST_P(ApplyPriceMove, LooksUpTypeKindGeneralIssue) {
    const MoveCase& c = GetParam();
    int16_t price = c.price;
    apply_price_move(price, c.kind, c.type, c.general, c.issue);
    EXPECT_EQ(c.expected, price);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ApplyPriceMove,
    ::testing::Values(MoveCase{500, kBonds, kSpeculative, 0, 0, 370},
                      MoveCase{500, kOptions, kBlueChip, 9, 7, 505},  // kind and type not swapped
                      MoveCase{500, kBonds, kMutualFund, 9, 7, 557},
                      MoveCase{500, kCommon, kSpeculative, 8, 5, 506},  // general before issue
                      MoveCase{10, kCommon, kSpeculative, 0, 0, -10},   // may go below zero
                      // Issue trends 8 and 9 move as 7; anything else out of range moves nothing.
                      MoveCase{100, kCommon, kSpeculative, 9, 8, 120},
                      MoveCase{100, kCommon, kSpeculative, 9, 9, 120},
                      MoveCase{100, kCommon, kSpeculative, 9, 10, 100},
                      MoveCase{100, kCommon, kSpeculative, 9, -1, 100},
                      MoveCase{100, kCommon, 3, 9, 7, 100}, MoveCase{100, 4, kBlueChip, 9, 7, 100},
                      MoveCase{100, kCommon, -1, 9, 7, 100},
                      MoveCase{100, kCommon, kBlueChip, 10, 7, 100},
                      MoveCase{100, kCommon, kBlueChip, -1, 7, 100},
                      // Prices are 16-bit: the largest price stays put rather than wrapping.
                      MoveCase{32767, kBonds, kSpeculative, 9, 7, 32767}));

}  // namespace

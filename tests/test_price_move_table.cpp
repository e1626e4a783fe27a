// The price-move table: its given rows, its shape over all 960 entries, and the lookup.
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "market/market.h"

namespace {

using Row = int32_t[8];

// Rows for general trends 0, 5 and 9 of each table, then each table's least and greatest value,
// written out from the exchange's rules; table i is type i / 4, kind i % 4.
// clang-format off
constexpr Row kGivenRows[12][3] = {
    {{-8, -5, -4, -4, -3, -3, -2, -1}, {-2, -2, -1, 0, 0, 1, 2, 2}, {0, 1, 2, 3, 3, 4, 4, 5}},
    {{-20, -14, -10, -8, -6, -4, -3, -2}, {-3, -2, -1, 0, 0, 1, 2, 3}, {2, 3, 4, 6, 8, 10, 14, 20}},
    {{-18, -12, -8, -6, -4, -3, -2, -1}, {-3, -2, -1, 0, 0, 1, 2, 3}, {1, 2, 3, 4, 6, 8, 12, 18}},
    {{-130, -100, -70, -40, -30, -20, -10, -5}, {-12, -7, -3, 0, 0, 3, 9, 14},
     {5, 10, 20, 30, 40, 70, 100, 130}},
    {{-4, -3, -2, -1, -1, 0, 0, 0}, {-2, -1, 0, 0, 0, 0, 1, 2}, {0, 1, 1, 2, 3, 4, 4, 5}},
    {{-13, -10, -8, -5, -4, -2, -1, 0}, {-2, -1, 0, 0, 0, 0, 1, 2}, {1, 2, 4, 5, 5, 7, 8, 12}},
    {{-11, -9, -6, -3, -2, -1, -1, 0}, {-2, -1, 0, 0, 0, 0, 1, 2}, {0, 1, 2, 3, 4, 6, 8, 11}},
    {{-63, -47, -31, -17, -12, -8, -4, 0}, {-8, -5, -1, 0, 0, 3, 5, 9},
     {2, 4, 7, 9, 17, 23, 32, 57}},
    {{-5, -4, -3, -2, -2, -1, -1, 0}, {-2, -1, 0, 0, 0, 0, 1, 2}, {0, 1, 1, 2, 3, 4, 4, 5}},
    {{-15, -12, -9, -6, -5, -4, -2, -1}, {-2, -1, 0, 0, 0, 0, 1, 2}, {1, 2, 4, 5, 6, 9, 12, 15}},
    {{-13, -10, -7, -4, -3, -2, -1, 0}, {-2, -1, 0, 0, 0, 0, 1, 2}, {0, 1, 2, 3, 4, 7, 10, 13}},
    {{-65, -50, -35, -20, -15, -10, -5, -2}, {-6, -3, -1, 0, 0, 1, 4, 7},
     {2, 5, 11, 16, 19, 27, 48, 65}},
};
constexpr std::pair<int32_t, int32_t> kGivenExtremes[12] = {
    {-8, 7}, {-20, 20}, {-18, 18}, {-130, 130}, {-4, 5}, {-13, 12}, {-11, 11}, {-63, 57},
    {-5, 5}, {-15, 15}, {-13, 13}, {-65, 65}};

// The speculative common table is given whole.
constexpr Row kSpeculativeCommon[10] = {
    {-20, -14, -10, -8, -6, -4, -3, -2}, {-10, -8, -6, -4, -3, -2, -1, 0},
    {-6, -5, -4, -3, -2, -1, 0, 0},      {-4, -3, -2, -1, 1, 2, 3, 4},
    {-3, -2, -1, 0, 0, 1, 2, 3},         {-3, -2, -1, 0, 0, 1, 2, 3},
    {-4, -3, -2, -1, 1, 2, 3, 4},        {0, 0, 1, 2, 3, 4, 5, 6},
    {0, 1, 2, 3, 4, 6, 8, 10},           {2, 3, 4, 6, 8, 10, 14, 20},
};
// clang-format on

// The least and greatest value of one type-and-kind table.
std::pair<int32_t, int32_t> extremes(int type, int kind) {
    const int32_t* first = &PriceMoveTable[type][kind][0][0];
    auto [low, high] = std::minmax_element(first, first + 80);
    return {*low, *high};
}

TEST(PriceMoveTable, GivenRowsAndExtremes) {
    auto row_of = [](const int32_t* row) { return std::vector<int32_t>(row, row + 8); };
    for (int i = 0; i < 12; ++i) {
        const int type = i / 4, kind = i % 4;
        SCOPED_TRACE(testing::Message() << "type " << type << " kind " << kind);
        EXPECT_EQ(row_of(kGivenRows[i][0]), row_of(PriceMoveTable[type][kind][0]));
        EXPECT_EQ(row_of(kGivenRows[i][1]), row_of(PriceMoveTable[type][kind][5]));
        EXPECT_EQ(row_of(kGivenRows[i][2]), row_of(PriceMoveTable[type][kind][9]));
        EXPECT_EQ(kGivenExtremes[i], extremes(type, kind));
    }
    for (int g = 0; g < 10; ++g)
        EXPECT_EQ(row_of(kSpeculativeCommon[g]), row_of(PriceMoveTable[0][1][g])) << g;
}

// Every row's shape, and every speculative entry moving at least as far, in the same direction, as
// the mutual-fund and blue-chip entries of the same kind and trends.
TEST(PriceMoveTable, EveryRowHasTheShapeOfItsMarket) {
    for (int type = 0; type < 3; ++type) {
        for (int kind = 0; kind < 4; ++kind) {
            for (int general = 0; general < 10; ++general) {
                SCOPED_TRACE(testing::Message()
                             << "type " << type << " kind " << kind << " general " << general);
                const int32_t* row = PriceMoveTable[type][kind][general];
                const int32_t* speculative = PriceMoveTable[kSpeculative][kind][general];
                EXPECT_TRUE(std::is_sorted(row, row + 8));
                if (general <= 2) {
                    EXPECT_LE(row[7], 0);  // bear: nothing rises
                } else if (general >= 7) {
                    EXPECT_GE(row[0], 0);  // bull: nothing falls
                } else {
                    EXPECT_LT(row[0], 0);
                    EXPECT_GT(row[7], 0);
                }
                for (int issue = 0; issue < 8; ++issue) {
                    EXPECT_LE(std::min(speculative[issue], 0), std::min(row[issue], 0)) << issue;
                    EXPECT_GE(std::max(speculative[issue], 0), std::max(row[issue], 0)) << issue;
                }
            }
        }
    }
}

// At the extremes bonds move four to seven times as far as common stock of the same type, and
// speculative issues strictly farther than the others of the same kind.
TEST(PriceMoveTable, BondsAndSpeculativeIssuesMoveFarthest) {
    for (int type = 0; type < 3; ++type) {
        SCOPED_TRACE(type);
        const auto [bond_low, bond_high] = extremes(type, kBonds);
        const auto [common_low, common_high] = extremes(type, kCommon);
        EXPECT_LE(bond_low, 4 * common_low);
        EXPECT_GE(bond_low, 7 * common_low);
        EXPECT_GE(bond_high, 4 * common_high);
        EXPECT_LE(bond_high, 7 * common_high);
        for (int kind = 0; kind < 4 && type != kSpeculative; ++kind) {
            EXPECT_LT(extremes(kSpeculative, kind).first, extremes(type, kind).first) << kind;
            EXPECT_GT(extremes(kSpeculative, kind).second, extremes(type, kind).second) << kind;
        }
    }
}

// Cases are {price, kind, type, general, issue, expected price}: kind and type not swapped,
// general before issue, below zero allowed, 16-bit prices not wrapped; issue trends 8 and 9 move
// as 7, and anything else out of range moves nothing.
TEST(PriceMoveTable, ApplyLooksUpTypeKindGeneralIssue) {
    // clang-format off
    const int cases[][6] = {
        {500, kBonds, kSpeculative, 0, 0, 370}, {500, kOptions, kBlueChip, 9, 7, 505},
        {500, kCommon, kSpeculative, 8, 5, 506}, {10, kCommon, kSpeculative, 0, 0, -10},
        {32767, kBonds, kSpeculative, 9, 7, 32767},
        {100, kCommon, kSpeculative, 9, 8, 120}, {100, kCommon, kSpeculative, 9, 9, 120},
        {100, kCommon, kSpeculative, 9, 10, 100}, {100, kCommon, kSpeculative, 9, -1, 100},
        {100, kCommon, 3, 9, 7, 100}, {100, kCommon, -1, 9, 7, 100}, {100, 4, kBlueChip, 9, 7, 100},
        {100, kCommon, kBlueChip, 10, 7, 100}, {100, kCommon, kBlueChip, -1, 7, 100},
    };
    // clang-format on
    for (const auto& c : cases) {
        int16_t price = static_cast<int16_t>(c[0]);
        apply_price_move(price, c[1], c[2], c[3], c[4]);
        EXPECT_EQ(c[5], price) << "case " << &c - cases;
    }
}

}  // namespace

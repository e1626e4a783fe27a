// The default exchange: every company as listed, and a single company rebuilt from its default.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <tuple>

#include "market/market.h"

namespace {

struct Listing {
    const char *symbol, *name;
    int type;
    int32_t total[4];  // options, common, preferred, bonds
    int16_t price[4], conversion, split, guaranteed;
};

// clang-format off
constexpr Listing kListings[kCompanyCount] = {
    {"IGM", "International Gumball Machines", 2, {0, 2000000, 200000, 0}, {0, 145, 165, 0},
     0, 400, 0},
    {"LST", "Lunar Shuttle Technologies", 2, {0, 1000000, 100000, 0}, {0, 75, 82, 0}, 0, 200, 0},
    {"WWI", "World Wide Insurance Corp.", 2, {0, 1000000, 50000, 0}, {0, 70, 78, 0}, 0, 200, 0},
    {"ALG", "Alaska Geothermal Systems", 2, {0, 500000, 0, 1000}, {0, 45, 0, 900}, 0, 150, 1000},
    {"SBG", "Silicon Valley Business Group", 1, {0, 0, 0, 5000}, {0, 0, 0, 400}, 0, 0, 450},
    {"FFD", "The Farkle Fund of America", 1, {0, 0, 0, 8000}, {0, 0, 0, 1000}, 0, 0, 1200},
    {"CCC", "Clone Computer Corp.", 0, {10000, 100000, 1000, 0}, {6, 23, 27, 0}, 40, 120, 0},
    {"MMC", "Megabyte Memory Corp.", 0, {20000, 150000, 0, 0}, {8, 26, 0, 0}, 50, 120, 0},
    {"SSI", "Simple Software Inc.", 0, {20000, 100000, 0, 0}, {7, 15, 0, 0}, 40, 100, 0},
    {"BBM", "Bulletin Board Magazine, Inc.", 0, {20000, 100000, 0, 0}, {4, 10, 0, 0}, 35, 100, 0},
    {"SXC", "Software Exchange Corp.", 0, {1000, 50000, 0, 0}, {12, 30, 0, 0}, 60, 150, 0},
    {"WHS", "The WarHouse Sporting Goods", 0, {0, 50000, 0, 0}, {0, 26, 0, 0}, 0, 100, 0},
};
// clang-format on

// Every field of a company as listed: flags cleared, trends 5, ten equal prices per kind.
void expect_listed(const CompanyRecord& c, const Listing& l) {
    EXPECT_EQ(std::make_tuple(std::string(l.symbol), std::string(l.name), l.type, 0, l.conversion,
                              l.split, l.guaranteed),
              std::make_tuple(std::string(c.symbol), std::string(c.name), c.type, c.split,
                              c.option_conversion_price, c.split_price, c.bond_guaranteed_value));
    for (int k = 0; k < kKindCount; ++k)
        EXPECT_EQ(std::make_tuple(l.total[k], l.total[k], l.price[k], 10, 5, 0),
                  std::make_tuple(c.total[k], c.available[k], c.initial_price[k],
                                  std::count(c.price[k], c.price[k] + kHistoryDays, l.price[k]),
                                  c.trend[k], c.crashed[k]))
            << l.symbol << " kind " << k;
    for (const char* text : c.history)  // 1 to 69 characters (unsigned: 0 wraps), no line ends
        EXPECT_TRUE(strnlen(text, 70) - 1 < 69 && !std::strpbrk(text, "\r\n")) << l.symbol;
}

// Both start from garbage: nothing may survive from before.
TEST(DefaultMarket, EveryCompanyAsListedAndOneRebuiltAlone) {
    MarketRecord market, before;
    std::memset(&market, 0x5a, sizeof market);
    std::memcpy(&before, &market, sizeof market);
    ASSERT_EQ(0, reset_company_to_default(market, 6));
    expect_listed(market.companies[6], kListings[6]);
    std::memcpy(&market.companies[6], &before.companies[6], sizeof(CompanyRecord));
    EXPECT_EQ(0, std::memcmp(&before, &market, sizeof market));  // date, trend, other companies
    EXPECT_EQ(-1, reset_company_to_default(market, kCompanyCount));

    ASSERT_EQ(0, build_default_market(market));
    EXPECT_STREQ("Jan 01 1900", market.date);
    EXPECT_EQ(5, market.general_trend);
    for (int c = 0; c < kCompanyCount; ++c) expect_listed(market.companies[c], kListings[c]);
}

}  // namespace

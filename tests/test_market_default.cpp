// The default exchange: every company as listed, and a single company rebuilt from its default.
#include <gtest/gtest.h>

#include <cstring>

#include "market/market.h"

namespace {

struct Listing {
    const char* symbol;
    const char* name;
    int type;
    int32_t total[4];  // options, common, preferred, bonds
    int16_t price[4];
    int16_t conversion, split, guaranteed;
};

constexpr Listing kListings[kCompanyCount] = {
    {"IGM",
     "International Gumball Machines",
     2,
     {0, 2000000, 200000, 0},
     {0, 145, 165, 0},
     0,
     400,
     0},
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

void expect_listed(const CompanyRecord& company, const Listing& listing) {
    EXPECT_STREQ(listing.symbol, company.symbol);
    EXPECT_STREQ(listing.name, company.name);
    EXPECT_EQ(listing.type, company.type);
    EXPECT_EQ(0, company.split);
    for (int k = 0; k < kKindCount; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(listing.total[k], company.total[k]);
        EXPECT_EQ(listing.total[k], company.available[k]);
        EXPECT_EQ(listing.price[k], company.initial_price[k]);
        for (int day = 0; day < kHistoryDays; ++day) {
            EXPECT_EQ(listing.price[k], company.price[k][day]);
        }
        EXPECT_EQ(5, company.trend[k]);
        EXPECT_EQ(0, company.crashed[k]);
    }
    EXPECT_EQ(listing.conversion, company.option_conversion_price);
    EXPECT_EQ(listing.split, company.split_price);
    EXPECT_EQ(listing.guaranteed, company.bond_guaranteed_value);
    for (int line = 0; line < kHistoryLines; ++line) {
        const char* text = company.history[line];
        const size_t length = strnlen(text, kHistoryLineSize);
        EXPECT_GT(length, 0u) << line;
        EXPECT_LE(length, 69u) << line;
        EXPECT_EQ(nullptr, std::strpbrk(text, "\r\n")) << line;
    }
}

TEST(DefaultMarket, EveryCompanyAsListed) {
    MarketRecord market;
    std::memset(&market, 0x5a, sizeof market);  // nothing may survive from before
    ASSERT_EQ(0, build_default_market(market));
    EXPECT_STREQ("Jan 01 1900", market.date);
    EXPECT_EQ(5, market.general_trend);
    for (int c = 0; c < kCompanyCount; ++c) {
        SCOPED_TRACE(kListings[c].symbol);
        expect_listed(market.companies[c], kListings[c]);
    }
}

TEST(DefaultMarket, RebuildingOneCompanyRestoresItAndNothingElse) {
    MarketRecord market{};
    build_default_market(market);
    market.general_trend = 8;
    std::strcpy(market.date, "Feb 02 2024");
    for (CompanyRecord& company : market.companies) {
        std::strcpy(company.name, "Renamed By The Sysop");
        std::strcpy(company.history[4], "an edited line");
        company.total[kOptions] = 77;
        company.price[kCommon][3] = 999;
        company.trend[kBonds] = 9;
        company.crashed[kCommon] = 1;
        company.split = 1;
        company.split_price = 1;
    }
    const MarketRecord before = market;
    ASSERT_EQ(0, reset_company_to_default(market, 6));
    expect_listed(market.companies[6], kListings[6]);
    EXPECT_EQ(8, market.general_trend);
    EXPECT_STREQ("Feb 02 2024", market.date);
    for (int c = 0; c < kCompanyCount; ++c) {
        if (c == 6) continue;
        EXPECT_EQ(0, std::memcmp(&before.companies[c], &market.companies[c], sizeof(CompanyRecord)))
            << c;
    }
    EXPECT_EQ(-1, reset_company_to_default(market, kCompanyCount));
}

}  // namespace

// Session start's record rules: the wiped-out test, returned holdings, a new portfolio with its
// gift shares, the sysop-name comparison and directory detection for the drop-file path.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "data/records.h"
#include "session/session.h"

namespace {

// Rows: net worth, short count and price of company 1 and of company 5, wiped out. Each position
// adds (price * count) / 2, truncated on its own.
TEST(WipedOut, NetWorthPlusHalfOfEachShortPositionAgainst99) {
    const int32_t cases[][6] = {{99, 0, 0, 0, 0, 1},  {100, 0, 0, 0, 0, 0},
                                {50, 1, 99, 0, 0, 1}, {50, 1, 100, 0, 0, 0},
                                {97, 1, 3, 1, 3, 1},  {-500, 1000, 2, 0, 0, 0}};
    for (const auto& c : cases) {
        PlayerRecord player{};
        player.net_worth = c[0];
        player.holdings[1].short_count = c[1];
        player.holdings[1].short_price = static_cast<int16_t>(c[2]);
        player.holdings[5].short_count = c[3];
        player.holdings[5].short_price = static_cast<int16_t>(c[4]);
        EXPECT_EQ(is_wiped_out(player), c[5] != 0) << "net worth " << c[0];
    }
}

TEST(ReturnHoldings, EveryKindToItsOwnAvailableAndShortsToCommon) {
    MarketRecord market{};
    PlayerRecord player{};
    for (int k = 0; k < kKindCount; ++k) player.holdings[3].count[k] = k + 1;
    player.holdings[3].short_count = 30;
    return_holdings(player, market);
    const int32_t* available = market.companies[3].available;
    EXPECT_EQ(std::vector(available, available + kKindCount), (std::vector{1, 32, 3, 4}));
}

// Rows: common available of companies 0 and 7; cash and gift shares of 0 and of 7 that follow.
// Whatever an old record held is rebuilt; the last prices are today's.
TEST(NewPortfolio, GiftSharesOrCashInsteadAndEveryFieldRebuilt) {
    const int32_t cases[][5] = {
        {11, 11, 2000, 10, 10}, {500, 10, 2250, 10, 0}, {10, -3, 3750, 0, 0}};
    for (const auto& g : cases) {
        MarketRecord market{};
        market.companies[0].available[kCommon] = g[0];
        market.companies[7].available[kCommon] = g[1];
        market.companies[11].price[kBonds][0] = 471;
        market.companies[11].price[kBonds][1] = 7;
        PlayerRecord player;
        std::memset(&player, 0x5A, sizeof player);
        build_new_player(player, market, "JANE Q PUBLIC");
        EXPECT_EQ(player.cash, g[2]) << g[0] << "/" << g[1];
        EXPECT_EQ(player.holdings[0].count[kCommon], g[3]);
        EXPECT_EQ(player.holdings[7].count[kCommon], g[4]);
        EXPECT_EQ(market.companies[0].available[kCommon], g[0] - g[3]);
        EXPECT_EQ(market.companies[7].available[kCommon], g[1] - g[4]);
        EXPECT_EQ(std::string(player.name) + player.last_played + player.last_traded,
                  "JANE Q PUBLICJan 01 1900Jan 01 1900");
        const Holding& h = player.holdings[11];
        EXPECT_EQ(h.last_price[kBonds], 471);
        EXPECT_EQ(h.count[kPreferred] + h.split + h.short_count + h.short_price, 0);
    }
}

TEST(SysopName, CaseAndTrailingBlanksIgnored) {
    EXPECT_TRUE(is_sysop_name("JOHN DOE", "John Doe     "));
    EXPECT_TRUE(is_sysop_name("JOHN DOE ", "JOHN DOE"));
    for (const char* other : {"SYSOPS", "SYS", " SYSOP", "SYS OP", ""})
        EXPECT_FALSE(is_sysop_name(other, "SYSOP  ")) << '"' << other << '"';
    EXPECT_FALSE(is_sysop_name("", "    "));
}

TEST(IsDirectory, OneTrailingSlashIsRemovedBeforeTheCheck) {
    for (const char* dir : {"/tmp", "/tmp/", "/"}) EXPECT_TRUE(is_directory(dir)) << dir;
    for (const char* other : {"/proc/self/exe", "/proc/self/exe/", ""})
        EXPECT_FALSE(is_directory(other)) << other;
}

}  // namespace

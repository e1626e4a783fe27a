// Session start's record rules: the wiped-out test, returned holdings, a new portfolio with its
// gift shares, the sysop-name comparison, and directory detection for the drop-file path.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "data/records.h"
#include "session/session.h"

namespace {

TEST(WipedOut, NetWorthPlusHalfOfEachShortPositionAgainst99) {
    // {net worth, short count and price of company 1, of company 5, wiped out}; each position
    // adds (price * count) / 2, truncated on its own.
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

// A small market whose prices tell the companies and kinds apart (company 11's bonds: 471).
MarketRecord priced_market() {
    MarketRecord market{};
    for (int i = 0; i < kCompanyCount * kKindCount; ++i) {
        CompanyRecord& company = market.companies[i / kKindCount];
        company.price[i % kKindCount][0] = static_cast<int16_t>(10 * i + 1);
        company.price[i % kKindCount][1] = 7;  // yesterday: never used for last_price
        company.available[i % kKindCount] = 1000;
    }
    return market;
}

TEST(ReturnHoldings, EveryKindToItsOwnAvailableAndShortsToCommon) {
    MarketRecord market = priced_market();
    PlayerRecord player{};
    for (int k = 0; k < kKindCount; ++k) player.holdings[3].count[k] = k + 1;
    player.holdings[3].short_count = 30;
    return_holdings(player, market);
    const int32_t* available = market.companies[3].available;
    EXPECT_EQ(std::vector<int32_t>(available, available + kKindCount),
              (std::vector<int32_t>{1001, 1032, 1003, 1004}));
}

TEST(NewPortfolio, GiftSharesOrCashInsteadAndEveryFieldRebuilt) {
    // {common available of companies 0 and 7 before, cash, gift shares of 0 and of 7 after}
    const int32_t cases[][5] = {
        {11, 11, 2000, 10, 10}, {500, 10, 2250, 10, 0}, {10, -3, 3750, 0, 0}};
    for (const auto& g : cases) {
        SCOPED_TRACE(testing::Message() << "available " << g[0] << "/" << g[1]);
        MarketRecord market = priced_market();
        market.companies[0].available[kCommon] = g[0];
        market.companies[7].available[kCommon] = g[1];
        PlayerRecord player{};
        std::memset(&player, 0x5A, sizeof player);  // whatever an old record held
        player.graphics_mode = kColorMode;
        player.reserved = 1234;
        build_new_player(player, market, "JANE Q PUBLIC");
        EXPECT_EQ(player.cash, g[2]);
        EXPECT_EQ(player.holdings[0].count[kCommon], g[3]);
        EXPECT_EQ(player.holdings[7].count[kCommon], g[4]);
        EXPECT_EQ(market.companies[0].available[kCommon], g[0] - g[3]);
        EXPECT_EQ(market.companies[7].available[kCommon], g[1] - g[4]);

        EXPECT_EQ(std::string(player.name, sizeof player.name),
                  std::string("JANE Q PUBLIC").append(sizeof player.name - 13, '\0'));
        EXPECT_EQ(std::string(player.last_played) + player.last_traded, "Jan 01 1900Jan 01 1900");
        EXPECT_EQ(player.net_worth + player.seconds_played + player.times_played, 0);
        EXPECT_TRUE(player.graphics_mode == kColorMode && player.reserved == 1234);
        const Holding& h = player.holdings[11];
        EXPECT_EQ(h.last_price[kBonds], 471);
        EXPECT_EQ(
            h.count[kPreferred] + h.crashed[kOptions] + h.split + h.short_count + h.short_price, 0);
    }
}

TEST(SysopName, CaseAndTrailingBlanksIgnored) {
    const std::string blanks(26, ' ');
    EXPECT_TRUE(is_sysop_name("JOHN DOE", ("John Doe" + blanks).c_str()));
    EXPECT_TRUE(is_sysop_name("JOHN DOE ", "JOHN DOE"));
    for (const char* other : {"SYSOPS", "SYS", " SYSOP", "SYS OP", ""}) {
        EXPECT_FALSE(is_sysop_name(other, ("SYSOP" + blanks).c_str())) << '"' << other << '"';
    }
    EXPECT_FALSE(is_sysop_name("", blanks.c_str()));
}

TEST(IsDirectory, OneTrailingSlashIsRemovedBeforeTheCheck) {
    char pattern[] = "/tmp/bm_isdir_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string dir = pattern, file = dir + "/door32.sys";
    std::fclose(std::fopen(file.c_str(), "w"));
    EXPECT_TRUE(is_directory(dir.c_str()));
    EXPECT_TRUE(is_directory((dir + "/").c_str()));
    EXPECT_TRUE(is_directory("/"));
    EXPECT_FALSE(is_directory(file.c_str()));
    EXPECT_FALSE(is_directory((file + "/").c_str()));
    EXPECT_FALSE(is_directory(""));
    std::remove(file.c_str());
    rmdir(dir.c_str());
}

}  // namespace

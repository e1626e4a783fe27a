// Session start's record rules: the wiped-out test, returned holdings, a new portfolio with its
// gift shares, the sysop-name comparison, and directory detection for the drop-file path.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "data/records.h"
#include "session/session.h"

namespace {

struct ShortPosition {
    int company;
    int32_t count;
    int16_t price;
};

struct WipedOutCase {
    const char* label;
    int32_t net_worth;
    ShortPosition shorts[2];
    bool wiped_out;
};

class WipedOut : public ::testing::TestWithParam<WipedOutCase> {};

TEST_P(WipedOut, NetWorthPlusHalfOfEachShortPositionAgainst99) {
    const WipedOutCase& c = GetParam();
    PlayerRecord player{};
    player.net_worth = c.net_worth;
    for (const ShortPosition& s : c.shorts) {
        if (s.count == 0) continue;
        player.holdings[s.company].short_count = s.count;
        player.holdings[s.company].short_price = s.price;
    }
    EXPECT_EQ(is_wiped_out(player), c.wiped_out) << c.label;
}

// Values worked out by hand: each position adds (price * count) / 2, truncated on its own.
INSTANTIATE_TEST_SUITE_P(
    Cases, WipedOut,
    ::testing::Values(
        WipedOutCase{"99 without shorts", 99, {}, true},
        WipedOutCase{"100 without shorts", 100, {}, false},
        WipedOutCase{"0 plus 3 at 33 = 49", 0, {{2, 3, 33}, {}}, true},
        WipedOutCase{"50 plus 1 at 99 = 99", 50, {{0, 1, 99}, {}}, true},
        WipedOutCase{"50 plus 1 at 100 = 100", 50, {{11, 1, 100}, {}}, false},
        WipedOutCase{"97 plus 1 at 3 twice = 99 (halved apart)", 97, {{1, 1, 3}, {5, 1, 3}}, true},
        WipedOutCase{"-500 plus 1000 at 2 = 500", -500, {{4, 1000, 2}, {}}, false},
        WipedOutCase{"-1 alone", -1, {}, true}));

// A small market whose prices tell the companies and kinds apart.
MarketRecord priced_market() {
    MarketRecord market{};
    for (int c = 0; c < kCompanyCount; ++c) {
        for (int k = 0; k < kKindCount; ++k) {
            market.companies[c].price[k][0] = static_cast<int16_t>(100 * c + 10 * k + 1);
            market.companies[c].price[k][1] = 7;  // yesterday: never used for last_price
            market.companies[c].available[k] = 1000;
        }
    }
    return market;
}

TEST(ReturnHoldings, EveryKindToItsOwnAvailableAndShortsToCommon) {
    MarketRecord market = priced_market();
    PlayerRecord player{};
    player.holdings[3].count[kOptions] = 5;
    player.holdings[3].count[kCommon] = 20;
    player.holdings[3].count[kPreferred] = 7;
    player.holdings[3].count[kBonds] = 2;
    player.holdings[3].short_count = 30;
    player.holdings[11].short_count = 4;
    return_holdings(player, market);
    EXPECT_EQ(market.companies[3].available[kOptions], 1005);
    EXPECT_EQ(market.companies[3].available[kCommon], 1050);
    EXPECT_EQ(market.companies[3].available[kPreferred], 1007);
    EXPECT_EQ(market.companies[3].available[kBonds], 1002);
    EXPECT_EQ(market.companies[11].available[kCommon], 1004);
    EXPECT_EQ(market.companies[0].available[kCommon], 1000);
}

struct GiftCase {
    int32_t available0;  // common available of company 0 before
    int32_t available7;  // and of company 7
    int32_t cash;
    int32_t shares0;
    int32_t shares7;
};

class NewPortfolio : public ::testing::TestWithParam<GiftCase> {};

TEST_P(NewPortfolio, GiftSharesOrCashInstead) {
    const GiftCase& g = GetParam();
    MarketRecord market = priced_market();
    market.companies[0].available[kCommon] = g.available0;
    market.companies[7].available[kCommon] = g.available7;
    PlayerRecord player{};
    build_new_player(player, market, "NEW CALLER");
    EXPECT_EQ(player.cash, g.cash);
    EXPECT_EQ(player.holdings[0].count[kCommon], g.shares0);
    EXPECT_EQ(player.holdings[7].count[kCommon], g.shares7);
    EXPECT_EQ(market.companies[0].available[kCommon], g.available0 - g.shares0);
    EXPECT_EQ(market.companies[7].available[kCommon], g.available7 - g.shares7);
}

INSTANTIATE_TEST_SUITE_P(Availability, NewPortfolio,
                         ::testing::Values(GiftCase{11, 11, 2000, 10, 10},
                                           GiftCase{10, 500, 3500, 0, 10},
                                           GiftCase{500, 10, 2250, 10, 0},
                                           GiftCase{0, -3, 3750, 0, 0}));

TEST(NewPortfolio, RebuildsEveryFieldButGraphicsModeAndReserved) {
    MarketRecord market = priced_market();
    PlayerRecord player{};
    std::memset(&player, 0x5A, sizeof player);  // whatever an old record held
    player.graphics_mode = kColorMode;
    player.reserved = 1234;
    build_new_player(player, market, "JANE Q PUBLIC");

    EXPECT_STREQ(player.name, "JANE Q PUBLIC");
    for (size_t i = std::strlen("JANE Q PUBLIC"); i < sizeof player.name; ++i) {
        ASSERT_EQ(player.name[i], '\0') << "name byte " << i;
    }
    EXPECT_STREQ(player.last_played, "Jan 01 1900");
    EXPECT_STREQ(player.last_traded, "Jan 01 1900");
    EXPECT_EQ(player.net_worth, 0);
    EXPECT_EQ(player.seconds_played, 0);
    EXPECT_EQ(player.times_played, 0);
    EXPECT_EQ(player.graphics_mode, kColorMode);
    EXPECT_EQ(player.reserved, 1234);
    for (int c = 0; c < kCompanyCount; ++c) {
        const Holding& h = player.holdings[c];
        for (int k = 0; k < kKindCount; ++k) {
            EXPECT_EQ(h.last_price[k], 100 * c + 10 * k + 1) << "company " << c << " kind " << k;
            EXPECT_EQ(h.crashed[k], 0);
            if (!((c == 0 || c == 7) && k == kCommon)) {
                EXPECT_EQ(h.count[k], 0);
            }
        }
        EXPECT_EQ(h.split, 0);
        EXPECT_EQ(h.short_count, 0);
        EXPECT_EQ(h.short_price, 0);
    }
}

struct SysopCase {
    const char* name;
    const char* sysop;
    bool allowed;
};

class SysopName : public ::testing::TestWithParam<SysopCase> {};

TEST_P(SysopName, CaseAndTrailingBlanksIgnored) {
    const SysopCase& c = GetParam();
    EXPECT_EQ(is_sysop_name(c.name, c.sysop), c.allowed)
        << '"' << c.name << "\" / \"" << c.sysop << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SysopName,
    ::testing::Values(SysopCase{"SYSOP", "SYSOP                          ", true},
                      SysopCase{"sysop", "SYSOP", true},
                      SysopCase{"JOHN DOE", "John Doe                       ", true},
                      SysopCase{"JOHN DOE ", "JOHN DOE", true},
                      SysopCase{"SYSOPS", "SYSOP                          ", false},
                      SysopCase{"SYS", "SYSOP", false}, SysopCase{"JOHN  DOE", "JOHN DOE", false},
                      SysopCase{" SYSOP", "SYSOP", false},
                      SysopCase{"", "                               ", false},
                      SysopCase{"", "", false}));

class DirectoryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/bm_isdir_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        file_ = dir_ + "/door32.sys";
        std::FILE* f = std::fopen(file_.c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fclose(f);
    }
    void TearDown() override {
        std::remove(file_.c_str());
        rmdir(dir_.c_str());
    }
    std::string dir_;
    std::string file_;
};

TEST_F(DirectoryTest, OneTrailingSlashIsRemovedBeforeTheCheck) {
    EXPECT_TRUE(is_directory(dir_.c_str()));
    EXPECT_TRUE(is_directory((dir_ + "/").c_str()));
    EXPECT_TRUE(is_directory("/"));
    EXPECT_FALSE(is_directory(file_.c_str()));
    EXPECT_FALSE(is_directory((file_ + "/").c_str()));
    EXPECT_FALSE(is_directory((dir_ + "/missing").c_str()));
    EXPECT_FALSE(is_directory(""));
}

}  // namespace

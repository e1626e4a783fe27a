// Trading: limits, refusals and moves on plain records, then whole trades on the emulated screen.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

#include "data/session_state.h"
#include "screens/framework.h"
#include "screens/trading.h"
#include "vcaller/harness.h"

namespace {

// A company trading all four kinds: `total` units of each, `available` free, all at `price`.
CompanyRecord company_with(int32_t total, int32_t available, int32_t price,
                           int32_t conversion = 10) {
    CompanyRecord c{};
    for (int k = 0; k < kKindCount; ++k) {
        c.total[k] = total;
        c.available[k] = available;
        c.price[k][0] = static_cast<int16_t>(price);
    }
    c.option_conversion_price = static_cast<int16_t>(conversion);
    return c;
}

struct Case {
    const char* what;
    int op, kind;
    int32_t total, available, price, conversion, options, common, short_count, short_price, cash,
        maximum;
    std::array<int32_t, 2> after;  // cash and common available after trading the maximum
};

// clang-format off
const Case kCases[] = {
    // what, op, kind, total, available, price, conversion, options, common, short, at, cash, M
    {"buy: $100 at $30", kTradeBuy, kCommon, 1000, 1000, 30, 10, 0, 0, 0, 0, 100, 3, {10, 997}},
    {"buy: availability", kTradeBuy, kOptions, 1000, 2, 30, 10, 0, 0, 0, 0, 100, 2, {40, 2}},
    {"buy: odd issue", kTradeBuy, kOptions, 11, 11, 1, 10, 0, 0, 0, 0, 1000, 5, {995, 11}},
    {"buy: exactly half held", kTradeBuy, kCommon, 10, 10, 30, 10, 0, 5, 0, 0, 1000, 0, {}},
    {"buy: negative cash", kTradeBuy, kCommon, 1000, 1000, 30, 10, 0, 0, 0, 0, -100, 0, {}},
    {"buy: price 0", kTradeBuy, kCommon, 1000, 1000, 0, 10, 0, 0, 0, 0, 1000, 0, {}},
    {"buy: 32 bits", kTradeBuy, kCommon, INT32_MAX, INT32_MAX, 1, 10, 0, 1000000000, 0, 0,
     INT32_MAX, 73741823, {2073741824, 2073741824}},
    {"sell: all held", kTradeSell, kCommon, 1000, 1000, 30, 10, 0, 7, 0, 0, 0, 7, {210, 1007}},
    {"sell: saturates", kTradeSell, kCommon, INT32_MAX, 1000, 32767, 10, 0, 2000000000, 0, 0, 1,
     2000000000, {INT32_MAX, 2000001000}},
    {"sell: negative count", kTradeSell, kCommon, 1000, 1000, 30, 10, 0, -4, 0, 0, 0, 0, {}},
    {"short: $25 takes $12", kTradeSellShort, 0, 1000, 1000, 25, 10, 0, 0, 0, 0, 100, 8, {4, 992}},
    {"short: half the issue", kTradeSellShort, 0, 20, 20, 25, 10, 0, 6, 0, 0, 1000, 4, {952, 16}},
    {"short: no deposit at $1", kTradeSellShort, 0, 1000, 1000, 1, 10, 0, 0, 0, 0, 1000, 0, {}},
    {"exercise: held", kTradeExercise, 0, 1000, 1000, 30, 10, 4, 0, 0, 0, 100, 4, {60, 996}},
    {"exercise: cash", kTradeExercise, 0, 1000, 1000, 30, 10, 50, 0, 0, 0, 100, 10, {0, 990}},
    {"exercise: available", kTradeExercise, 0, 1000, 6, 30, 10, 50, 0, 0, 0, 1000, 6, {940, 0}},
    {"exercise: half", kTradeExercise, 0, 20, 20, 30, 10, 50, 8, 0, 0, 1000, 2, {980, 18}},
    {"exercise: at $0", kTradeExercise, 0, 1000, 1000, 30, 0, 5, 0, 0, 0, 0, 5, {0, 995}},
    {"exercise: at -$3", kTradeExercise, 0, 1000, 1000, 30, -3, 4, 0, 0, 0, 100, 4, {100, 996}},
    {"buy back: loss, cash", kTradeBuyBack, 0, 1000, 0, 30, 10, 0, 0, 10, 10, 100, 6, {10, 6}},
    {"buy back: gain, all", kTradeBuyBack, 0, 1000, 0, 10, 10, 0, 0, 10, 20, 0, 10, {200, 10}},
    {"buy back: deposit truncated", kTradeBuyBack, 0, 1000, 0, 21, 10, 0, 0, 1, 21, 0, 1, {10, 1}},
    {"buy back: stops at 0", kTradeBuyBack, 0, 1000, 0, 40, 10, 0, 0, 2, 10, -50, 0, {}},
    {"buy back: 2^31", kTradeBuyBack, 0, INT32_MAX, 0, 32767, 10, 0, 0, INT32_MAX, 1, 0, 0, {}},
};
// clang-format on

TEST(Trade, MaximumAtItsLimitsAndTheMovesOfTradingIt) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.what);
        CompanyRecord company = company_with(c.total, c.available, c.price, c.conversion);
        Holding h{{}, 0, {}, {c.options, c.common, 0, 0}, c.short_count, 0};
        h.short_price = static_cast<int16_t>(c.short_price);
        int32_t cash = c.cash;
        EXPECT_EQ(trade_maximum(company, h, cash, c.op, c.kind), c.maximum);
        if (c.maximum == 0) continue;
        apply_trade(company, h, cash, c.op, c.kind, c.maximum);
        EXPECT_EQ((std::array<int32_t, 2>{cash, company.available[kCommon]}), c.after);
    }
}

TEST(TradeRefusal, MessagesInOrder) {
    const Holding bonds{{}, 0, {}, {0, 0, 0, 3}, 0, 0}, shorts{{}, 0, {}, {}, 5, 10};
    const Holding options{{}, 0, {}, {5, 0, 0, 0}, 0, 0};
    const std::string no = "Sorry, that company does not trade ",
                      none = "Sorry, you do not currently hold any ";
    struct Case {
        int op, kind, untraded;  // untraded: the kind the company does not trade, or -1
        Holding holding;
        std::string expected;  // empty: allowed
    };
    const Case cases[] = {
        {kTradeBuy, kOptions, kOptions, {}, no + "options!"},
        {kTradeBuy, kPreferred, kPreferred, {}, no + "preferred stock!"},
        {kTradeSell, kBonds, kBonds, bonds, no + "bonds!"},
        {kTradeSell, kOptions, -1, {}, none + "options!"},
        {kTradeSell, kCommon, -1, {}, none + "common shares!"},
        {kTradeSell, kPreferred, -1, {}, none + "preferred stocks!"},
        {kTradeSell, kBonds, -1, {}, none + "bonds!"},
        {kTradeBuyBack, kOptions, kCommon, shorts, no + "common stock!"},
        {kTradeBuyBack, kOptions, -1, {}, none + "short shares!"},
        {kTradeSellShort, kBonds, -1, shorts, "Sorry, you already hold short shares!"},
        {kTradeExercise, kBonds, kCommon, options, no + "common stock!"},
        {kTradeExercise, kBonds, -1, {}, none + "options!"},
        {kTradeExercise, kBonds, kOptions, options, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "op " << c.op << " kind " << c.kind);
        CompanyRecord company = company_with(100, 100, 10);
        if (c.untraded >= 0) company.total[c.untraded] = 0;
        const char* got = trade_refusal(company, c.holding, c.op, c.kind);
        EXPECT_EQ(got ? got : "", c.expected);
    }
}

// Every company trades everything at $30 (1000 of each) but company 1 trades no common stock.
// The caller has $100 and nothing else; today is Mar 05 1999.
class TradeScreen : public ::testing::Test {
  protected:
    void SetUp() override {
        g_session = SessionState{};
        for (CompanyRecord& c : g_session.market.companies) c = company_with(1000, 1000, 30);
        g_session.market.companies[1].total[kCommon] = 0;
        std::strcpy(g_session.today, "Mar 05 1999");
        player.cash = 100;
        short_view = current_company = 0;
        draw_holdings_table();
        door_.take_output();
    }
    std::string text(int r, int c, int len) {
        door_.sync();
        return door_.screen().text(r, c, len);
    }
    PlayerRecord& player = g_session.player;
    CompanyRecord& company = g_session.market.companies[0];
    DoorHarness door_;
};

TEST_F(TradeScreen, IllegalAnswersAndRefusalsChangeNothingAndEmptyBuysTheMost) {
    // Company 0, common: -1, 4 and a number past 64 bits are asked again, text trades nothing;
    // then an empty answer buys the most, 3.
    door_.type("\r2\r-1\r4\r99999999999999999999\rabc\r\r2\r\r\r");
    EXPECT_EQ(trade(kTradeBuy), 0);
    EXPECT_EQ(player.cash, 100);
    EXPECT_STREQ(player.last_traded, "");
    EXPECT_EQ(trade(kTradeBuy), 0);
    const std::string out = door_.take_output();
    EXPECT_NE(out.find("Sorry, that is not a legal quantity"), std::string::npos);
    EXPECT_NE(out.find("  Enter quantity to trade (0-[3]): "), std::string::npos);
    EXPECT_NE(out.find("  Transaction complete..."), std::string::npos);
    EXPECT_EQ(player.cash, 10);
    EXPECT_STREQ(player.last_traded, "Mar 05 1999");
    EXPECT_EQ(text(2, 30, 9), "        3");
    EXPECT_EQ(text(2, 4, 3), "   ") << "the company arrow is taken away";
    door_.type("2\r2\r");  // company 1, common
    EXPECT_EQ(trade(kTradeBuy), 0);
    EXPECT_EQ(text(23, 0, 52), "  Sorry, that company does not trade common stock!  ");
    EXPECT_EQ(player.cash, 10);
}

TEST_F(TradeScreen, ShortTradesShowTheShortColumnAndExerciseBothCells) {
    player.graphics_mode = kColorMode;
    company.price[kCommon][0] = 25;
    player.holdings[0].count[kCommon] = 4;
    door_.type("\r\r\r");
    EXPECT_EQ(trade(kTradeSellShort), 0);
    std::string out = door_.take_output();
    EXPECT_NE(out.find("Shares Short"), std::string::npos);
    EXPECT_NE(out.find("\x1b[0;32m        8"), std::string::npos) << "the short cell, green";
    EXPECT_EQ(text(2, 30, 16), "      4/$ 25    ") << "common counts are back";

    company.price[kCommon][0] = 10;  // $50 deposit back, $60 gained
    door_.type("\r4\r\r");
    EXPECT_EQ(trade(kTradeBuyBack), 0);
    EXPECT_NE(door_.take_output().find("\x1b[0;32m        4"), std::string::npos);
    EXPECT_EQ(player.cash, 114);
    EXPECT_EQ(text(2, 30, 16), "      4/$ 10    ");

    player.holdings[0].count[kOptions] = 4;
    door_.type("\r\r\r");  // exercise 4 options at $10 each
    EXPECT_EQ(trade(kTradeExercise), 0);
    EXPECT_EQ(text(2, 14, 9), "        0");
    EXPECT_EQ(text(2, 30, 9), "        8");
}

TEST_F(TradeScreen, MenuRunsHelpAndQuits) {
    // Help Trading, Buy Stocks and its page, Exit Help, then Quit (one below Help Trading).
    door_.type("22222\r2\r\r1\r2\r");
    EXPECT_EQ(trading_menu(), 0);
    EXPECT_NE(door_.take_output().find("     Buy Stocks...\r\n"), std::string::npos);
    EXPECT_EQ(text(14, 29, 20), " STOCK TRADING MENU ");
    EXPECT_EQ(text(21, 30, 18), "[+] Quit Trading  ");
}

}  // namespace

// Trading: the largest quantity, refusals, the moves of a trade and the quantity answer on plain
// records, then whole trades on the emulated screen; values worked out by hand.
#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstring>
#include <string>

#include "data/session_state.h"
#include "doorkit/opendoors.h"
#include "screens/framework.h"
#include "screens/trading.h"
#include "vcaller/harness.h"

namespace {

// A company trading all four kinds: `total` units of each, `available` free, all at `price`.
CompanyRecord company_with(int32_t total, int32_t available, int16_t price,
                           int16_t conversion = 10) {
    CompanyRecord c{};
    for (int k = 0; k < kKindCount; ++k) {
        c.total[k] = total;
        c.available[k] = available;
        c.price[k][0] = price;
    }
    c.option_conversion_price = conversion;
    return c;
}

Holding holding_of(int32_t options, int32_t common, int32_t short_count = 0,
                   int16_t short_price = 0) {
    return Holding{{}, 0, {}, {options, common, 0, 0}, short_count, short_price};
}

struct MaxCase {
    const char* what;
    int op, kind;
    int32_t total, available;
    int16_t price, conversion;
    int32_t options, common, short_count;
    int16_t short_price;
    int32_t cash, expected;
};

// clang-format off
const MaxCase kMaxCases[] = {
    // what, op, kind, total, available, price, conversion, options, common, short, at, cash, M
    {"buy: $100 at $30", kTradeBuy, kCommon, 1000, 1000, 30, 10, 0, 0, 0, 0, 100, 3},
    {"buy: availability", kTradeBuy, kOptions, 1000, 2, 30, 10, 0, 0, 0, 0, 100, 2},
    {"buy: half of the issue", kTradeBuy, kCommon, 10, 10, 30, 10, 0, 3, 0, 0, 1000, 2},
    {"buy: odd issue", kTradeBuy, kOptions, 11, 11, 1, 10, 0, 0, 0, 0, 1000, 5},
    {"buy: exactly half held", kTradeBuy, kCommon, 10, 10, 30, 10, 0, 5, 0, 0, 1000, 0},
    {"buy: above half held", kTradeBuy, kCommon, 10, 10, 30, 10, 0, 7, 0, 0, 1000, 0},
    {"buy: negative cash", kTradeBuy, kCommon, 1000, 1000, 30, 10, 0, 0, 0, 0, -100, 0},
    {"buy: price 0", kTradeBuy, kCommon, 1000, 1000, 0, 10, 0, 0, 0, 0, 1000, 0},
    {"buy: 32 bits", kTradeBuy, kCommon, INT32_MAX, INT32_MAX, 1, 10, 0, 1000000000, 0, 0,
     INT32_MAX, 73741823},
    {"sell: all held", kTradeSell, kOptions, 1000, 1000, 30, 10, 7, 0, 0, 0, 0, 7},
    {"sell: negative count", kTradeSell, kCommon, 1000, 1000, 30, 10, 0, -4, 0, 0, 0, 0},
    {"short: $25 takes $12", kTradeSellShort, 0, 1000, 1000, 25, 10, 0, 0, 0, 0, 100, 8},
    {"short: half of the issue", kTradeSellShort, 0, 20, 20, 25, 10, 0, 6, 0, 0, 1000, 4},
    {"short: no deposit at $1", kTradeSellShort, 0, 1000, 1000, 1, 10, 0, 0, 0, 0, 1000, 0},
    {"exercise: options held", kTradeExercise, 0, 1000, 1000, 30, 10, 4, 0, 0, 0, 100, 4},
    {"exercise: cash", kTradeExercise, 0, 1000, 1000, 30, 10, 50, 0, 0, 0, 100, 10},
    {"exercise: available", kTradeExercise, 0, 1000, 6, 30, 10, 50, 0, 0, 0, 1000, 6},
    {"exercise: half of the issue", kTradeExercise, 0, 20, 20, 30, 10, 50, 8, 0, 0, 1000, 2},
    {"exercise: conversion $0", kTradeExercise, 0, 1000, 1000, 30, 0, 5, 0, 0, 0, 0, 5},
    {"exercise: conversion -$3", kTradeExercise, 0, 1000, 1000, 30, -3, 5, 0, 0, 0, 0, 5},
    {"buy back: loss, cash", kTradeBuyBack, 0, 1000, 0, 30, 10, 0, 0, 10, 10, 100, 6},
    {"buy back: gain, all", kTradeBuyBack, 0, 1000, 0, 10, 10, 0, 0, 10, 20, 0, 10},
    {"buy back: stops at 0", kTradeBuyBack, 0, 1000, 0, 40, 10, 0, 0, 2, 10, -50, 0},
    {"buy back: 2^31 short", kTradeBuyBack, 0, INT32_MAX, 0, 32767, 10, 0, 0, INT32_MAX, 1, 0, 0},
};
// clang-format on

TEST(TradeMaximum, LimitsAtTheirEdges) {
    for (const MaxCase& c : kMaxCases) {
        SCOPED_TRACE(c.what);
        const CompanyRecord company = company_with(c.total, c.available, c.price, c.conversion);
        const Holding h = holding_of(c.options, c.common, c.short_count, c.short_price);
        EXPECT_EQ(trade_maximum(company, h, c.cash, c.op, c.kind), c.expected);
    }
}

TEST(TradeRefusal, MessagesInOrder) {
    const Holding bonds_held{{}, 0, {}, {0, 0, 0, 3}, 0, 0};
    const Holding short_held = holding_of(0, 0, 5, 10);
    struct Case {
        int op, kind;
        int untraded;  // the kind the company does not trade, or -1
        Holding holding;
        const char* expected;  // nullptr: allowed
    };
    const char* no_common = "Sorry, that company does not trade common stock!";
    const char* no_bonds = "Sorry, that company does not trade bonds!";
    const char* options_held = "Sorry, you do not currently hold any options!";
    // clang-format off
    const Case cases[] = {
        {kTradeBuy, kOptions, kOptions, {}, "Sorry, that company does not trade options!"},
        {kTradeBuy, kCommon, kCommon, {}, no_common},
        {kTradeBuy, kPreferred, kPreferred, {},
         "Sorry, that company does not trade preferred stock!"},
        {kTradeBuy, kBonds, kBonds, {}, no_bonds},
        {kTradeSell, kBonds, kBonds, bonds_held, no_bonds},
        {kTradeSell, kOptions, -1, {}, options_held},
        {kTradeSell, kCommon, -1, {}, "Sorry, you do not currently hold any common shares!"},
        {kTradeSell, kPreferred, -1, {}, "Sorry, you do not currently hold any preferred stocks!"},
        {kTradeSell, kBonds, -1, {}, "Sorry, you do not currently hold any bonds!"},
        {kTradeSell, kBonds, -1, bonds_held, nullptr},
        {kTradeBuyBack, kOptions, kCommon, short_held, no_common},
        {kTradeBuyBack, kOptions, -1, {}, "Sorry, you do not currently hold any short shares!"},
        {kTradeSellShort, kBonds, kCommon, {}, no_common},
        {kTradeSellShort, kBonds, -1, short_held, "Sorry, you already hold short shares!"},
        {kTradeExercise, kBonds, kCommon, holding_of(5, 0), no_common},
        {kTradeExercise, kBonds, -1, {}, options_held},
        {kTradeExercise, kBonds, kOptions, holding_of(5, 0), nullptr},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "op " << c.op << " kind " << c.kind);
        CompanyRecord company = company_with(100, 100, 10);
        if (c.untraded >= 0) company.total[c.untraded] = 0;
        const char* got = trade_refusal(company, c.holding, c.op, c.kind);
        EXPECT_STREQ(got ? got : "(allowed)", c.expected ? c.expected : "(allowed)");
    }
}

struct ApplyCase {
    const char* what;
    int op, kind;
    int16_t price, conversion;
    int32_t options, common, short_count;
    int16_t short_price;
    int32_t cash, quantity;
    // After the trade: cash, options, common, short count and price, options and common
    // available (from 1000).
    std::array<int32_t, 7> after;
};

// clang-format off
const ApplyCase kApplyCases[] = {
    // what, op, kind, price, conversion, options, common, short, at, cash, quantity; after
    {"sell 7 common at $30", kTradeSell, kCommon, 30, 10, 0, 7, 0, 0, 5, 7,
     {215, 0, 0, 0, 0, 1000, 1007}},
    {"buy back 4 opened at $20, now $10", kTradeBuyBack, 0, 10, 10, 0, 0, 10, 20, 0, 4,
     {80, 0, 0, 6, 20, 1000, 1004}},
    {"buy back 1 at $21, deposit truncated", kTradeBuyBack, 0, 21, 10, 0, 0, 1, 21, 0, 1,
     {10, 0, 0, 0, 21, 1000, 1001}},
    {"sell short 8 at $25", kTradeSellShort, 0, 25, 10, 0, 0, 0, 0, 100, 8,
     {4, 0, 0, 8, 25, 1000, 992}},
    {"exercise at -$3 is free", kTradeExercise, 0, 30, -3, 4, 0, 0, 0, 100, 4,
     {100, 0, 4, 0, 0, 1004, 996}},
    {"sale past 32 bits saturates", kTradeSell, kCommon, 32767, 10, 0, 2000000000, 0, 0, 1,
     2000000000, {INT32_MAX, 0, 0, 0, 0, 1000, 2000001000}},
};
// clang-format on

TEST(ApplyTrade, MovesCashUnitsAndHoldings) {
    for (const ApplyCase& c : kApplyCases) {
        SCOPED_TRACE(c.what);
        CompanyRecord company = company_with(INT32_MAX, 1000, c.price, c.conversion);
        Holding h = holding_of(c.options, c.common, c.short_count, c.short_price);
        int32_t cash = c.cash;
        apply_trade(company, h, cash, c.op, c.kind, c.quantity);
        const std::array<int32_t, 7> after = {
            cash,          h.count[kOptions],           h.count[kCommon],          h.short_count,
            h.short_price, company.available[kOptions], company.available[kCommon]};
        EXPECT_EQ(after, c.after);
        EXPECT_EQ(company.available[kPreferred], 1000);
    }
}

size_t count_of(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

TEST(ParseQuantity, Answers) {
    const std::pair<const char*, int64_t> cases[] = {{"", 17},
                                                     {"-1", -1},
                                                     {"12abc", 12},
                                                     {"~TIME_WARNING", 0},
                                                     {"99999999999999999999", LONG_MAX}};
    for (const auto& [answer, expected] : cases) EXPECT_EQ(parse_quantity(answer, 17), expected);
}

// Company 0 trades everything at $30 (1000 of each, all available); company 1 trades no
// common stock. The caller has $100 and nothing else; today is Mar 05 1999.
class TradeScreen : public ::testing::Test {
  protected:
    void SetUp() override {
        g_session = SessionState{};
        for (CompanyRecord& c : g_session.market.companies) c = company_with(1000, 1000, 30);
        g_session.market.companies[1].total[kCommon] = 0;
        std::strcpy(g_session.today, "Mar 05 1999");
        std::strcpy(g_session.player.last_traded, "Jan 01 1900");
        g_session.player.cash = 100;
        short_view = 0;
        current_company = 0;
        draw_holdings_table();
        door_.take_output();
    }
    std::string text(int r, int c, int len) {
        door_.sync();
        return door_.screen().text(r, c, len);
    }
    CompanyRecord& company(int i) { return g_session.market.companies[i]; }
    Holding& holding(int i) { return g_session.player.holdings[i]; }
    DoorHarness door_;
};

TEST_F(TradeScreen, IllegalAnswersAskAgainThenAnEmptyAnswerBuysTheMost) {
    // Company 0, common (one down): -1 and 4 are asked again, text trades nothing; then an
    // empty answer buys the most.
    door_.type("\r2\r-1\r4\rabc\r\r2\r\r\r");
    EXPECT_EQ(trade(kTradeBuy), 0);
    EXPECT_EQ(g_session.player.cash, 100);
    EXPECT_STREQ(g_session.player.last_traded, "Jan 01 1900");
    EXPECT_EQ(trade(kTradeBuy), 0);
    const std::string out = door_.take_output();
    EXPECT_EQ(count_of(out, "Sorry, that is not a legal quantity"), 2u);
    EXPECT_EQ(count_of(out, "  Enter quantity to trade (0-[3]): "), 4u);
    EXPECT_EQ(count_of(out, "  Transaction complete..."), 1u);
    EXPECT_EQ(g_session.player.cash, 10);
    EXPECT_EQ(company(0).available[kCommon], 997);
    EXPECT_STREQ(g_session.player.last_traded, "Mar 05 1999");
    EXPECT_EQ(text(2, 30, 9), "        3");
    EXPECT_EQ(text(2, 4, 3), "   ") << "the company arrow is taken away";
}

TEST_F(TradeScreen, RefusalOnTheMessageRowChangesNothing) {
    door_.type("2\r2\r");  // company 1, common
    EXPECT_EQ(trade(kTradeBuy), 0);
    EXPECT_EQ(text(23, 0, 52), "  Sorry, that company does not trade common stock!  ");
    EXPECT_EQ(g_session.player.cash, 100);
    EXPECT_STREQ(g_session.player.last_traded, "Jan 01 1900");
}

TEST_F(TradeScreen, ShortTradesShowTheShortColumnAndExerciseBothCells) {
    g_session.player.graphics_mode = kColorMode;
    company(0).price[kCommon][0] = 25;
    holding(0).count[kCommon] = 4;
    door_.type("\r\r\r");
    EXPECT_EQ(trade(kTradeSellShort), 0);
    std::string out = door_.take_output();
    EXPECT_NE(out.find("Shares Short"), std::string::npos);
    EXPECT_NE(out.find("(0-[8]): "), std::string::npos);  // $100 / $12 deposit
    EXPECT_NE(out.find("\x1b[0;32m        8"), std::string::npos) << "the short cell, green";
    EXPECT_EQ(g_session.player.cash, 4);
    EXPECT_EQ(short_view, 0);
    EXPECT_EQ(text(2, 30, 16), "      4/$ 25    ") << "common counts are back";

    company(0).price[kCommon][0] = 10;  // buy back 4: $50 of deposit back, $60 gained
    door_.type("\r4\r\r");
    EXPECT_EQ(trade(kTradeBuyBack), 0);
    EXPECT_NE(door_.take_output().find("\x1b[0;32m        4"), std::string::npos);
    EXPECT_EQ(g_session.player.cash, 114);
    EXPECT_EQ(text(2, 30, 16), "      4/$ 10    ");

    holding(0).count[kOptions] = 4;
    door_.type("\r\r\r");  // exercise 4 options at $10 each
    EXPECT_EQ(trade(kTradeExercise), 0);
    EXPECT_EQ(g_session.player.cash, 74);
    EXPECT_EQ(text(2, 14, 9), "        0");
    EXPECT_EQ(text(2, 30, 9), "        8");
}

TEST_F(TradeScreen, TimeWarningAtTheQuantityPromptReadsAsZero) {
    od_control.user_timelimit = 4;
    EXPECT_EQ(ask_trade_quantity(5), 0);
    EXPECT_EQ(text(23, 0, 52), " WARNING - LESS THAN 5 MINUTES OF GAME TIME LEFT!!! ");
}

TEST_F(TradeScreen, MenuRunsHelpAndQuits) {
    // Down to Help Trading, Buy Stocks help and its page, Exit Help, then Quit Trading (the
    // cursor stayed on Help Trading).
    door_.type("22222\r2\r\r1\r2\r");
    EXPECT_EQ(trading_menu(), 0);
    const std::string out = door_.take_output();
    EXPECT_NE(out.find("     Buy Stocks...\r\n"), std::string::npos);
    EXPECT_EQ(text(14, 29, 20), " STOCK TRADING MENU ");
    EXPECT_EQ(text(21, 30, 18), "[+] Quit Trading  ");
}

}  // namespace

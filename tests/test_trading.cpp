// Trading: the largest quantity, refusals, the moves of a trade and the quantity answer on plain
// records, then whole trades on the emulated screen; values worked out by hand.
#include <gtest/gtest.h>

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
    Holding h{};
    h.count[kOptions] = options;
    h.count[kCommon] = common;
    h.short_count = short_count;
    h.short_price = short_price;
    return h;
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

constexpr int32_t kMax = INT32_MAX;

// clang-format off
const MaxCase kMaxCases[] = {
    // what, op, kind, total, available, price, conversion, options, common, short, at, cash, M
    {"buy: $100 at $30", kTradeBuy, kCommon, 1000, 1000, 30, 10, 0, 0, 0, 0, 100, 3},
    {"buy: cash short of a unit", kTradeBuy, kCommon, 1000, 1000, 30, 10, 0, 0, 0, 0, 29, 0},
    {"buy: availability", kTradeBuy, kOptions, 1000, 2, 30, 10, 0, 0, 0, 0, 100, 2},
    {"buy: half of the issue", kTradeBuy, kCommon, 10, 10, 30, 10, 0, 3, 0, 0, 1000, 2},
    {"buy: odd issue", kTradeBuy, kOptions, 11, 11, 1, 10, 0, 0, 0, 0, 1000, 5},
    {"buy: exactly half held", kTradeBuy, kCommon, 10, 10, 30, 10, 0, 5, 0, 0, 1000, 0},
    {"buy: above half held", kTradeBuy, kCommon, 10, 10, 30, 10, 0, 7, 0, 0, 1000, 0},
    {"buy: negative cash", kTradeBuy, kCommon, 1000, 1000, 30, 10, 0, 0, 0, 0, -100, 0},
    {"buy: price 0", kTradeBuy, kCommon, 1000, 1000, 0, 10, 0, 0, 0, 0, 1000, 0},
    {"buy: 32 bits", kTradeBuy, kCommon, kMax, kMax, 1, 10, 0, 1000000000, 0, 0, kMax, 73741823},
    {"sell: all held", kTradeSell, kOptions, 1000, 1000, 30, 10, 7, 0, 0, 0, 0, 7},
    {"sell: negative count", kTradeSell, kCommon, 1000, 1000, 30, 10, 0, -4, 0, 0, 0, 0},
    {"short: $25 takes $12", kTradeSellShort, 0, 1000, 1000, 25, 10, 0, 0, 0, 0, 100, 8},
    {"short: half of the issue", kTradeSellShort, 0, 20, 20, 25, 10, 0, 6, 0, 0, 1000, 4},
    {"short: availability", kTradeSellShort, 0, 1000, 3, 25, 10, 0, 0, 0, 0, 1000, 3},
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
    {"buy back: 2^31 short", kTradeBuyBack, 0, kMax, 0, 32767, 10, 0, 0, kMax, 1, 0, 0},
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

// The buy-back rule as stated: count down from short_count while the buy-back would leave cash
// below 0, stopping at 0.
int64_t counted_buy_back(int64_t cash, int64_t short_count, int64_t short_price, int64_t price) {
    int64_t n = short_count;
    while (n > 0 && cash + (n + n / 2) * short_price - price * n < 0) --n;
    return n;
}

TEST(TradeMaximum, BuyBackMatchesCountingDown) {
    for (int32_t cash : {-40, -5, 0, 1, 7, 30, 100, 1000}) {
        for (int16_t short_price : {0, 1, 3, 10, 20, 33}) {
            for (int16_t price : {0, 1, 10, 20, 31, 45}) {
                for (int32_t short_count : {1, 2, 3, 7, 10, 25}) {
                    SCOPED_TRACE(testing::Message() << "cash " << cash << " short " << short_count
                                                    << " at " << short_price << " now " << price);
                    EXPECT_EQ(trade_maximum(company_with(1000, 0, price),
                                            holding_of(0, 0, short_count, short_price), cash,
                                            kTradeBuyBack, kCommon),
                              counted_buy_back(cash, short_count, short_price, price));
                }
            }
        }
    }
}

TEST(TradeRefusal, MessagesInOrder) {
    auto without = [](int kind) {
        CompanyRecord c = company_with(100, 100, 10);
        c.total[kind] = 0;
        return c;
    };
    const CompanyRecord all = company_with(100, 100, 10);
    Holding bonds_held{};
    bonds_held.count[kBonds] = 3;
    struct Case {
        int op, kind;
        CompanyRecord company;
        Holding holding;
        const char* expected;  // nullptr: allowed
    };
    const char* no_options = "Sorry, that company does not trade options!";
    const char* no_common = "Sorry, that company does not trade common stock!";
    const char* no_preferred = "Sorry, that company does not trade preferred stock!";
    const char* no_bonds = "Sorry, that company does not trade bonds!";
    const char* options_held = "Sorry, you do not currently hold any options!";
    const Holding short_held = holding_of(0, 0, 5, 10);
    // clang-format off
    const Case cases[] = {
        {kTradeBuy, kOptions, without(kOptions), {}, no_options},
        {kTradeBuy, kCommon, without(kCommon), {}, no_common},
        {kTradeBuy, kPreferred, without(kPreferred), {}, no_preferred},
        {kTradeBuy, kBonds, without(kBonds), {}, no_bonds},
        {kTradeBuy, kBonds, all, {}, nullptr},
        {kTradeSell, kBonds, without(kBonds), bonds_held, no_bonds},
        {kTradeSell, kOptions, all, {}, options_held},
        {kTradeSell, kCommon, all, {}, "Sorry, you do not currently hold any common shares!"},
        {kTradeSell, kPreferred, all, {}, "Sorry, you do not currently hold any preferred stocks!"},
        {kTradeSell, kBonds, all, {}, "Sorry, you do not currently hold any bonds!"},
        {kTradeSell, kBonds, all, bonds_held, nullptr},
        {kTradeBuyBack, kOptions, without(kCommon), short_held, no_common},
        {kTradeBuyBack, kOptions, all, {}, "Sorry, you do not currently hold any short shares!"},
        {kTradeBuyBack, kOptions, all, short_held, nullptr},
        {kTradeSellShort, kBonds, without(kCommon), {}, no_common},
        {kTradeSellShort, kBonds, all, short_held, "Sorry, you already hold short shares!"},
        {kTradeSellShort, kBonds, all, {}, nullptr},
        {kTradeExercise, kBonds, without(kCommon), holding_of(5, 0), no_common},
        {kTradeExercise, kBonds, all, {}, options_held},
        {kTradeExercise, kBonds, without(kOptions), holding_of(5, 0), nullptr},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "op " << c.op << " kind " << c.kind);
        const char* got = trade_refusal(c.company, c.holding, c.op, c.kind);
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
    // After the trade (every kind starts with 1000 available):
    int32_t cash_after, options_after, common_after, short_after, available_options,
        available_common;
};

// clang-format off
const ApplyCase kApplyCases[] = {
    // what, op, kind, price, conversion, options, common, short, at, cash, quantity;
    //   then cash, options, common, short, options available, common available after
    {"buy 3 options at $30", kTradeBuy, kOptions, 30, 10, 0, 0, 0, 0, 100, 3,
     10, 3, 0, 0, 997, 1000},
    {"sell 7 common at $30", kTradeSell, kCommon, 30, 10, 0, 7, 0, 0, 5, 7,
     215, 0, 0, 0, 1000, 1007},
    {"buy back 4 opened at $20, now $10", kTradeBuyBack, 0, 10, 10, 0, 0, 10, 20, 0, 4,
     80, 0, 0, 6, 1000, 1004},
    {"buy back 1 at $21, deposit truncated", kTradeBuyBack, 0, 21, 10, 0, 0, 1, 21, 0, 1,
     10, 0, 0, 0, 1000, 1001},
    {"sell short 8 at $25", kTradeSellShort, 0, 25, 10, 0, 0, 0, 0, 100, 8,
     4, 0, 0, 8, 1000, 992},
    {"exercise 4 at $10", kTradeExercise, 0, 30, 10, 4, 2, 0, 0, 100, 4,
     60, 0, 6, 0, 1004, 996},
    {"exercise at -$3 is free", kTradeExercise, 0, 30, -3, 4, 0, 0, 0, 100, 4,
     100, 0, 4, 0, 1004, 996},
    {"sale past 32 bits saturates", kTradeSell, kCommon, 32767, 10, 0, 2000000000, 0, 0, 1,
     2000000000, kMax, 0, 0, 0, 1000, 2000001000},
};
// clang-format on

TEST(ApplyTrade, MovesCashUnitsAndHoldings) {
    for (const ApplyCase& c : kApplyCases) {
        SCOPED_TRACE(c.what);
        CompanyRecord company = company_with(INT32_MAX, 1000, c.price, c.conversion);
        Holding h = holding_of(c.options, c.common, c.short_count, c.short_price);
        int32_t cash = c.cash;
        apply_trade(company, h, cash, c.op, c.kind, c.quantity);
        EXPECT_EQ(cash, c.cash_after);
        EXPECT_EQ(h.count[kOptions], c.options_after);
        EXPECT_EQ(h.count[kCommon], c.common_after);
        EXPECT_EQ(h.short_count, c.short_after);
        EXPECT_EQ(company.available[kOptions], c.available_options);
        EXPECT_EQ(company.available[kCommon], c.available_common);
        EXPECT_EQ(company.available[kPreferred], 1000);
        if (c.op == kTradeSellShort) {
            EXPECT_EQ(h.short_price, c.price);
        }
    }
}

TEST(ParseQuantity, Answers) {
    const std::pair<const char*, int64_t> cases[] = {{"", 17},
                                                     {"5", 5},
                                                     {"-1", -1},
                                                     {"abc", 0},
                                                     {"12abc", 12},
                                                     {"~TIME_WARNING", 0},
                                                     {"99999999999999999999", LONG_MAX}};
    for (const auto& [answer, expected] : cases) {
        EXPECT_EQ(parse_quantity(answer, 17), expected) << answer;
    }
}

}  // namespace

// ---- Trades on the emulated screen ----

namespace {

size_t count_of(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

// Company 0 trades everything at $30 (1000 of each, all available); company 1 trades no
// common stock. The caller has $100 and nothing else; today is Mar 05 1999.
class TradeScreen : public ::testing::Test {
  protected:
    void SetUp() override {
        g_session = SessionState{};
        for (int i = 0; i < kCompanyCount; ++i) {
            CompanyRecord& c = g_session.market.companies[i];
            std::memcpy(c.symbol, "AAA", 4);
            c.symbol[0] = static_cast<char>('A' + i);
            c = company_with(1000, 1000, 30);
        }
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

TEST_F(TradeScreen, BuyOffersWhatCashAllowsAndAnEmptyAnswerTakesIt) {
    // Company 0, stock type common (one down), empty quantity, Enter after the trade.
    door_.type("\r2\r\r\r");
    EXPECT_EQ(trade(kTradeBuy), 0);
    const std::string out = door_.take_output();
    EXPECT_NE(out.find("  Enter quantity to trade (0-[3]): "), std::string::npos);
    EXPECT_NE(out.find("  Transaction complete..."), std::string::npos);
    EXPECT_EQ(g_session.player.cash, 10);
    EXPECT_EQ(holding(0).count[kCommon], 3);
    EXPECT_EQ(company(0).available[kCommon], 997);
    EXPECT_STREQ(g_session.player.last_traded, "Mar 05 1999");
    EXPECT_EQ(text(2, 30, 9), "        3");
    EXPECT_EQ(text(2, 4, 3), "   ") << "the company arrow is taken away";
}

TEST_F(TradeScreen, IllegalAnswersAskAgainAndTextTradesNothing) {
    door_.type("\r2\r-1\r4\rabc\r");
    EXPECT_EQ(trade(kTradeBuy), 0);
    const std::string out = door_.take_output();
    EXPECT_EQ(count_of(out, "Sorry, that is not a legal quantity"), 2u);
    EXPECT_EQ(count_of(out, "Enter quantity to trade (0-[3]): "), 3u);
    EXPECT_EQ(out.find("Transaction complete"), std::string::npos);
    EXPECT_EQ(g_session.player.cash, 100);
    EXPECT_EQ(holding(0).count[kCommon], 0);
    EXPECT_STREQ(g_session.player.last_traded, "Jan 01 1900");
}

TEST_F(TradeScreen, SellEverythingOnAnEmptyAnswer) {
    holding(0).count[kPreferred] = 7;
    door_.type("\r22\r\r\r");
    EXPECT_EQ(trade(kTradeSell), 0);
    EXPECT_NE(door_.take_output().find("(0-[7]): "), std::string::npos);
    EXPECT_EQ(g_session.player.cash, 310);
    EXPECT_EQ(holding(0).count[kPreferred], 0);
    EXPECT_EQ(company(0).available[kPreferred], 1007);
    EXPECT_EQ(text(2, 46, 9), "        0");
}

TEST_F(TradeScreen, RefusalsLeaveEverythingAsItWas) {
    struct Case {
        int op;
        const char* keys;
        const char* message;
    };
    const Case cases[] = {
        {kTradeSell, "\r\r", "Sorry, you do not currently hold any options!"},
        {kTradeBuy, "2\r2\r", "Sorry, that company does not trade common stock!"},
        {kTradeBuyBack, "\r", "Sorry, you do not currently hold any short shares!"},
        {kTradeExercise, "\r", "Sorry, you do not currently hold any options!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        current_company = 0;
        door_.type(c.keys);
        EXPECT_EQ(trade(c.op), 0);
        EXPECT_EQ(text(23, 0, 80),
                  ("  " + std::string(c.message) + std::string(80, ' ')).substr(0, 80));
        EXPECT_EQ(text(1, 35, 6), "Common");
        EXPECT_EQ(short_view, 0);
    }
    EXPECT_EQ(g_session.player.cash, 100);
    EXPECT_STREQ(g_session.player.last_traded, "Jan 01 1900");
}

TEST_F(TradeScreen, SellShortShowsTheShortColumnThenCommonAgain) {
    company(0).price[kCommon][0] = 25;
    holding(0).count[kCommon] = 4;
    door_.type("\r\r\r");
    EXPECT_EQ(trade(kTradeSellShort), 0);
    const std::string out = door_.take_output();
    EXPECT_NE(out.find("Shares Short"), std::string::npos);
    EXPECT_NE(out.find("(0-[8]): "), std::string::npos);  // $100 / $12 deposit
    EXPECT_NE(out.find("\x1b[1m        8"), std::string::npos) << "the short cell, bright";
    EXPECT_EQ(g_session.player.cash, 4);
    EXPECT_EQ(holding(0).short_count, 8);
    EXPECT_EQ(holding(0).short_price, 25);
    EXPECT_EQ(short_view, 0);
    EXPECT_EQ(text(1, 35, 6), "Common");
    EXPECT_EQ(text(2, 30, 16), "      4/$ 25    ") << "common counts are back";

    door_.type("\r");
    EXPECT_EQ(trade(kTradeSellShort), 0);
    EXPECT_EQ(text(23, 0, 39), "  Sorry, you already hold short shares!");
    EXPECT_EQ(text(1, 35, 6), "Common");
}

TEST_F(TradeScreen, BuyBackCreditsDepositAndGain) {
    g_session.player.graphics_mode = kColorMode;
    holding(0).short_count = 10;
    holding(0).short_price = 20;
    company(0).price[kCommon][0] = 10;
    g_session.player.cash = 0;
    door_.type("\r4\r\r");
    EXPECT_EQ(trade(kTradeBuyBack), 0);
    const std::string out = door_.take_output();
    EXPECT_NE(out.find("(0-[10]): "), std::string::npos);
    EXPECT_NE(out.find("\x1b[0;32m        6"), std::string::npos) << "the short cell, green";
    EXPECT_EQ(g_session.player.cash, 80);
    EXPECT_EQ(holding(0).short_count, 6);
    EXPECT_EQ(company(0).available[kCommon], 1004);
    EXPECT_EQ(text(1, 35, 6), "Common");
}

TEST_F(TradeScreen, ExerciseUpdatesOptionsAndCommonCells) {
    holding(0).count[kOptions] = 4;
    holding(0).count[kCommon] = 2;
    door_.type("\r\r\r");
    EXPECT_EQ(trade(kTradeExercise), 0);
    EXPECT_NE(door_.take_output().find("(0-[4]): "), std::string::npos);
    EXPECT_EQ(g_session.player.cash, 60);
    EXPECT_EQ(text(2, 14, 9), "        0");
    EXPECT_EQ(text(2, 30, 9), "        6");
}

TEST_F(TradeScreen, TimeWarningAtTheQuantityPromptReadsAsZero) {
    od_control.user_timelimit = 4;
    EXPECT_EQ(ask_trade_quantity(5), 0);
    EXPECT_EQ(text(23, 0, 52), " WARNING - LESS THAN 5 MINUTES OF GAME TIME LEFT!!! ");
}

TEST_F(TradeScreen, MenuRunsHelpAndQuits) {
    // Down to Help Trading, Buy Stocks help and its page, Exit Help, then Quit Trading (the
    // cursor stayed on Help Trading).
    door_.type(
        "22222\r"
        "2\r"
        "\r"
        "1\r"
        "2\r");
    EXPECT_EQ(trading_menu(), 0);
    const std::string out = door_.take_output();
    EXPECT_NE(out.find(" TRADING HELP MENU "), std::string::npos);
    EXPECT_NE(out.find("     Buy Stocks...\r\n"), std::string::npos);
    EXPECT_EQ(text(14, 29, 20), " STOCK TRADING MENU ");
    EXPECT_EQ(text(21, 30, 18), "[+] Quit Trading  ");
    EXPECT_EQ(text(23, 0, 20), "  Current cash: $100");
}

}  // namespace

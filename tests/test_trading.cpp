// Trading: the largest quantity, refusals, the moves of a trade and the quantity answer, all on
// plain records with values worked out by hand.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "screens/trading.h"

namespace {

// A company trading all four kinds: `total` units of each, `available` of them free, every
// kind at `price`.
CompanyRecord company_with(int32_t total, int32_t available, int16_t price) {
    CompanyRecord c{};
    for (int k = 0; k < kKindCount; ++k) {
        c.total[k] = total;
        c.available[k] = available;
        c.price[k][0] = price;
    }
    c.option_conversion_price = 10;
    return c;
}

struct MaxCase {
    const char* what;
    int op;
    int kind;
    CompanyRecord company;
    Holding holding;
    int32_t cash;
    int32_t expected;
};

Holding holding_of(int32_t options, int32_t common, int32_t short_count = 0,
                   int16_t short_price = 0) {
    Holding h{};
    h.count[kOptions] = options;
    h.count[kCommon] = common;
    h.short_count = short_count;
    h.short_price = short_price;
    return h;
}

CompanyRecord with_conversion(CompanyRecord c, int16_t conversion) {
    c.option_conversion_price = conversion;
    return c;
}

TEST(TradeMaximum, LimitsAtTheirEdges) {
    const CompanyRecord big = company_with(100000, 100000, 30);
    const MaxCase cases[] = {
        {"buy: $100 at $30", kTradeBuy, kCommon, big, holding_of(0, 0), 100, 3},
        {"buy: cash one short of a unit", kTradeBuy, kCommon, big, holding_of(0, 0), 29, 0},
        {"buy: availability", kTradeBuy, kPreferred, company_with(100000, 2, 30), {}, 100, 2},
        {"buy: half of the issue", kTradeBuy, kCommon, company_with(10, 10, 30), holding_of(0, 3),
         1000, 2},
        {"buy: odd issue rounds half down",
         kTradeBuy,
         kCommon,
         company_with(11, 11, 1),
         {},
         1000,
         5},
        {"buy: exactly half held", kTradeBuy, kCommon, company_with(10, 10, 30), holding_of(0, 5),
         1000, 0},
        {"buy: above half held", kTradeBuy, kCommon, company_with(10, 10, 30), holding_of(0, 7),
         1000, 0},
        {"buy: negative cash", kTradeBuy, kCommon, big, {}, -100, 0},
        {"buy: price 0", kTradeBuy, kCommon, company_with(1000, 1000, 0), {}, 1000, 0},
        {"buy: negative price", kTradeBuy, kCommon, company_with(1000, 1000, -5), {}, 1000, 0},
        {"buy: count plus cash beyond 32 bits", kTradeBuy, kCommon,
         company_with(INT32_MAX, INT32_MAX, 1), holding_of(0, 1000000000), INT32_MAX, 73741823},
        {"sell: all held", kTradeSell, kCommon, big, holding_of(0, 7), 0, 7},
        {"sell: negative count", kTradeSell, kCommon, big, holding_of(0, -4), 0, 0},
        {"short: $25 takes $12 a share",
         kTradeSellShort,
         kCommon,
         company_with(1000, 1000, 25),
         {},
         100,
         8},
        {"short: half of the issue against common held", kTradeSellShort, kCommon,
         company_with(20, 20, 25), holding_of(0, 6), 1000, 4},
        {"short: availability", kTradeSellShort, kCommon, company_with(1000, 3, 25), {}, 1000, 3},
        {"short: price 1 has no deposit",
         kTradeSellShort,
         kCommon,
         company_with(1000, 1000, 1),
         {},
         1000,
         0},
        {"short: price 0", kTradeSellShort, kCommon, company_with(1000, 1000, 0), {}, 1000, 0},
        {"exercise: options held", kTradeExercise, kCommon, big, holding_of(4, 0), 100, 4},
        {"exercise: cash at conversion", kTradeExercise, kCommon, big, holding_of(50, 0), 100, 10},
        {"exercise: common available", kTradeExercise, kCommon, company_with(1000, 6, 30),
         holding_of(50, 0), 1000, 6},
        {"exercise: half of the common issue", kTradeExercise, kCommon, company_with(20, 20, 30),
         holding_of(50, 8), 1000, 2},
        {"exercise: free conversion", kTradeExercise, kCommon, with_conversion(big, 0),
         holding_of(5, 0), 0, 5},
        {"exercise: negative conversion", kTradeExercise, kCommon, with_conversion(big, -3),
         holding_of(5, 0), 0, 5},
        {"buy back: loss limited by cash", kTradeBuyBack, kCommon, company_with(1000, 0, 30),
         holding_of(0, 0, 10, 10), 100, 6},
        {"buy back: gain buys back all", kTradeBuyBack, kCommon, company_with(1000, 0, 10),
         holding_of(0, 0, 10, 20), 0, 10},
        {"buy back: stops at 0", kTradeBuyBack, kCommon, company_with(1000, 0, 40),
         holding_of(0, 0, 2, 10), -50, 0},
        {"buy back: two billion short, none affordable", kTradeBuyBack, kCommon,
         company_with(INT32_MAX, 0, 32767), holding_of(0, 0, INT32_MAX, 1), 0, 0},
    };
    for (const MaxCase& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(trade_maximum(c.company, c.holding, c.cash, c.op, c.kind), c.expected);
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
                    const CompanyRecord company = company_with(1000, 0, price);
                    const Holding h = holding_of(0, 0, short_count, short_price);
                    SCOPED_TRACE(testing::Message() << "cash " << cash << " short " << short_count
                                                    << " at " << short_price << " now " << price);
                    EXPECT_EQ(trade_maximum(company, h, cash, kTradeBuyBack, kCommon),
                              counted_buy_back(cash, short_count, short_price, price));
                }
            }
        }
    }
}

TEST(TradeRefusal, MessagesInOrder) {
    CompanyRecord no_options = company_with(100, 100, 10);
    no_options.total[kOptions] = 0;
    CompanyRecord no_common = company_with(100, 100, 10);
    no_common.total[kCommon] = 0;
    CompanyRecord no_preferred = company_with(100, 100, 10);
    no_preferred.total[kPreferred] = 0;
    CompanyRecord no_bonds = company_with(100, 100, 10);
    no_bonds.total[kBonds] = 0;
    const CompanyRecord all = company_with(100, 100, 10);
    Holding bonds_held{};
    bonds_held.count[kBonds] = 3;
    Holding preferred_held{};
    preferred_held.count[kPreferred] = 3;

    struct Case {
        int op;
        int kind;
        const CompanyRecord& company;
        Holding holding;
        const char* expected;  // nullptr: allowed
    };
    const Case cases[] = {
        {kTradeBuy, kOptions, no_options, {}, "Sorry, that company does not trade options!"},
        {kTradeBuy, kCommon, no_common, {}, "Sorry, that company does not trade common stock!"},
        {kTradeBuy,
         kPreferred,
         no_preferred,
         {},
         "Sorry, that company does not trade preferred stock!"},
        {kTradeBuy, kBonds, no_bonds, {}, "Sorry, that company does not trade bonds!"},
        {kTradeBuy, kBonds, all, {}, nullptr},
        {kTradeSell, kBonds, no_bonds, bonds_held, "Sorry, that company does not trade bonds!"},
        {kTradeSell, kOptions, all, {}, "Sorry, you do not currently hold any options!"},
        {kTradeSell, kCommon, all, {}, "Sorry, you do not currently hold any common shares!"},
        {kTradeSell, kPreferred, all, {}, "Sorry, you do not currently hold any preferred stocks!"},
        {kTradeSell, kBonds, all, {}, "Sorry, you do not currently hold any bonds!"},
        {kTradeSell, kPreferred, all, preferred_held, nullptr},
        {kTradeBuyBack, kOptions, no_common, holding_of(0, 0, 5, 10),
         "Sorry, that company does not trade common stock!"},
        {kTradeBuyBack, kOptions, all, {}, "Sorry, you do not currently hold any short shares!"},
        {kTradeBuyBack, kOptions, all, holding_of(0, 0, 5, 10), nullptr},
        {kTradeSellShort,
         kBonds,
         no_common,
         {},
         "Sorry, that company does not trade common stock!"},
        {kTradeSellShort, kBonds, all, holding_of(0, 0, 1, 10),
         "Sorry, you already hold short shares!"},
        {kTradeSellShort, kBonds, all, {}, nullptr},
        {kTradeExercise, kBonds, no_common, holding_of(5, 0),
         "Sorry, that company does not trade common stock!"},
        {kTradeExercise, kBonds, all, {}, "Sorry, you do not currently hold any options!"},
        {kTradeExercise, kBonds, no_options, holding_of(5, 0), nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "op " << c.op << " kind " << c.kind);
        const char* got = trade_refusal(c.company, c.holding, c.op, c.kind);
        if (c.expected == nullptr) {
            EXPECT_EQ(got, nullptr);
        } else {
            ASSERT_NE(got, nullptr);
            EXPECT_STREQ(got, c.expected);
        }
    }
}

struct Books {
    CompanyRecord company;
    Holding holding;
    int32_t cash;
};

TEST(ApplyTrade, MovesCashUnitsAndHoldings) {
    {
        SCOPED_TRACE("buy 3 preferred at $30");
        Books b{company_with(100, 50, 30), {}, 100};
        apply_trade(b.company, b.holding, b.cash, kTradeBuy, kPreferred, 3);
        EXPECT_EQ(b.cash, 10);
        EXPECT_EQ(b.holding.count[kPreferred], 3);
        EXPECT_EQ(b.company.available[kPreferred], 47);
        EXPECT_EQ(b.company.available[kCommon], 50);
    }
    {
        SCOPED_TRACE("sell 7 bonds at $30");
        Books b{company_with(100, 50, 30), {}, 5};
        b.holding.count[kBonds] = 7;
        apply_trade(b.company, b.holding, b.cash, kTradeSell, kBonds, 7);
        EXPECT_EQ(b.cash, 215);
        EXPECT_EQ(b.holding.count[kBonds], 0);
        EXPECT_EQ(b.company.available[kBonds], 57);
    }
    {
        SCOPED_TRACE("buy back 4 opened at $20, now $10: 20 a share");
        Books b{company_with(100, 50, 10), holding_of(0, 0, 10, 20), 0};
        apply_trade(b.company, b.holding, b.cash, kTradeBuyBack, kOptions, 4);
        EXPECT_EQ(b.cash, 80);
        EXPECT_EQ(b.holding.short_count, 6);
        EXPECT_EQ(b.company.available[kCommon], 54);
    }
    {
        SCOPED_TRACE("buy back 1 opened at $21, now $21: the deposit 31 / 2 truncated");
        Books b{company_with(100, 50, 21), holding_of(0, 0, 1, 21), 0};
        apply_trade(b.company, b.holding, b.cash, kTradeBuyBack, kCommon, 1);
        EXPECT_EQ(b.cash, 10);  // 21 + 10 - 21
        EXPECT_EQ(b.holding.short_count, 0);
    }
    {
        SCOPED_TRACE("sell short 8 at $25");
        Books b{company_with(100, 50, 25), {}, 100};
        apply_trade(b.company, b.holding, b.cash, kTradeSellShort, kBonds, 8);
        EXPECT_EQ(b.cash, 4);  // 100 - 8 * 12
        EXPECT_EQ(b.holding.short_count, 8);
        EXPECT_EQ(b.holding.short_price, 25);
        EXPECT_EQ(b.company.available[kCommon], 42);
        EXPECT_EQ(b.holding.count[kCommon], 0);
    }
    {
        SCOPED_TRACE("exercise 4 options at conversion $10");
        Books b{company_with(100, 50, 30), holding_of(4, 2), 100};
        apply_trade(b.company, b.holding, b.cash, kTradeExercise, kOptions, 4);
        EXPECT_EQ(b.cash, 60);
        EXPECT_EQ(b.holding.count[kOptions], 0);
        EXPECT_EQ(b.company.available[kOptions], 54);
        EXPECT_EQ(b.holding.count[kCommon], 6);
        EXPECT_EQ(b.company.available[kCommon], 46);
    }
    {
        SCOPED_TRACE("exercise at a negative conversion price costs nothing");
        Books b{with_conversion(company_with(100, 50, 30), -3), holding_of(4, 0), 100};
        apply_trade(b.company, b.holding, b.cash, kTradeExercise, kOptions, 4);
        EXPECT_EQ(b.cash, 100);
    }
    {
        SCOPED_TRACE("a sale worth more than 32 bits saturates the cash");
        Books b{company_with(INT32_MAX, 0, 32767), {}, 1};
        b.holding.count[kCommon] = 2000000000;
        apply_trade(b.company, b.holding, b.cash, kTradeSell, kCommon, 2000000000);
        EXPECT_EQ(b.cash, INT32_MAX);
        EXPECT_EQ(b.company.available[kCommon], 2000000000);
    }
}

TEST(ParseQuantity, Answers) {
    struct Case {
        const char* answer;
        int64_t expected;
    };
    const Case cases[] = {
        {"", 17},
        {"5", 5},
        {"0", 0},
        {"-1", -1},
        {"abc", 0},
        {"12abc", 12},
        {"99999999999999999999", LONG_MAX},
        {"~TIME_WARNING", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        EXPECT_EQ(parse_quantity(c.answer, 17), c.expected);
    }
}

}  // namespace

// ---- Trades on the emulated screen ----

#include <chrono>

#include "data/session_state.h"
#include "doorkit/opendoors.h"
#include "screens/framework.h"
#include "session/terminal.h"
#include "vcaller/harness.h"

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

TEST_F(TradeScreen, HalfOfTheIssueHeldOffersNothing) {
    holding(0).count[kBonds] = 500;
    g_session.player.cash = 10000;
    door_.type("\r1\r\r");  // company 0, End: bonds, empty answer
    EXPECT_EQ(trade(kTradeBuy), 0);
    const std::string out = door_.take_output();
    EXPECT_NE(out.find("Enter quantity to trade (0-[0]): "), std::string::npos);
    EXPECT_EQ(holding(0).count[kBonds], 500);
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

TEST_F(TradeScreen, QuantityAnswers) {
    door_.type("-1\r99\r 2\r");
    EXPECT_EQ(ask_trade_quantity(3), 2);
    door_.type("\r");
    EXPECT_EQ(ask_trade_quantity(3), 3);
    door_.type("12abc\r");
    EXPECT_EQ(ask_trade_quantity(20), 12);
}

TEST_F(TradeScreen, TimeWarningAtTheQuantityPromptReadsAsZero) {
    od_control.user_timelimit = 4;
    EXPECT_EQ(ask_trade_quantity(5), 0);
    EXPECT_EQ(text(23, 0, 52), " WARNING - LESS THAN 5 MINUTES OF GAME TIME LEFT!!! ");
}

}  // namespace

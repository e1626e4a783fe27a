// The stock trading menu, the trading help menu and the five transactions: buy, sell, buy back
// short shares, sell short and exercise options.
#include "screens/trading.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "data/session_state.h"
#include "screens/framework.h"
#include "screens/help_screens.h"
#include "session/session.h"
#include "session/terminal.h"

namespace {

// Items of the trading menu and the trading help menu (the screens themselves are the
// framework's kTradingMenuScreen and kTradingHelpMenuScreen).
constexpr int kHelpTrading = 5;
constexpr int kQuitTrading = 6;
constexpr int kExitHelp = 6;

constexpr const char* kNotTraded[kKindCount] = {
    "Sorry, that company does not trade options!",
    "Sorry, that company does not trade common stock!",
    "Sorry, that company does not trade preferred stock!",
    "Sorry, that company does not trade bonds!",
};
constexpr const char* kNothingHeld[kKindCount] = {
    "Sorry, you do not currently hold any options!",
    "Sorry, you do not currently hold any common shares!",
    "Sorry, you do not currently hold any preferred stocks!",
    "Sorry, you do not currently hold any bonds!",
};
constexpr const char* kNoShortShares = "Sorry, you do not currently hold any short shares!";
constexpr const char* kAlreadyShort = "Sorry, you already hold short shares!";
constexpr const char* kIllegalQuantity = "Sorry, that is not a legal quantity";

// Holdings table columns where "%9ld" rewrites a count after a trade (the number ends at +8).
constexpr int kCountColumn[kKindCount] = {14, 30, 46, 62};
constexpr int kShortColumn = 28;

// Money and unit counts are 32-bit; products and sums are formed in 64 bits and saturate here,
// so a huge holding or price set in the editor can never wrap a balance round.
int32_t clamp32(int64_t value) {
    return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

int trade_kind(int op, int kind) {
    return (op == kTradeBuy || op == kTradeSell) ? kind : kCommon;
}

// Lowers a buying maximum so that the caller ends with at most half of the issue and takes no
// more than is available.
int64_t limit_by_issue(int64_t maximum, const CompanyRecord& company, const Holding& holding,
                       int kind) {
    const int64_t half = company.total[kind] / 2;
    if (holding.count[kind] + maximum > half) maximum = half - holding.count[kind];
    if (maximum > company.available[kind]) maximum = company.available[kind];
    return maximum;
}

// The largest n in [0, short_count] whose buy-back leaves cash at 0 or above, by the rule
// cash + (n + n/2) * short_price - price * n >= 0; 0 when no n qualifies. The rule is linear in
// m for each parity of n = 2m + p (the credit is m * (3s - 2P) plus s - P for odd n), so the
// answer is found per parity in closed form instead of counting down from short_count, which
// could take two billion steps.
int64_t buy_back_maximum(int64_t cash, int64_t short_count, int64_t short_price, int64_t price) {
    const int64_t slope = 3 * short_price - 2 * price;
    int64_t best = 0;
    for (int parity = 0; parity <= 1; ++parity) {
        if (short_count - parity < 0) continue;
        const int64_t top = (short_count - parity) / 2;
        const int64_t start = cash + (parity ? short_price - price : 0);
        int64_t m = -1;
        if (slope >= 0) {
            if (start + top * slope >= 0) m = top;
        } else if (start >= 0) {
            m = std::min(top, start / -slope);
        }
        if (m >= 0) best = std::max(best, 2 * m + parity);
    }
    return best;
}

void show_count(int column, int company, int32_t count) {
    term_goto(column, 2 + company);
    term_printf("%9ld", static_cast<long>(count));
}

void show_short_count(int company, int32_t count) {
    term_goto(kShortColumn, 2 + company);
    term_printf(g_session.player.graphics_mode == kColorMode ? "\e[0;32m" : "\e[1m");
    term_printf("%9ld", static_cast<long>(count));
}

bool uses_short_column(int op) {
    return op == kTradeBuyBack || op == kTradeSellShort;
}

// Every way out of a transaction puts the common column back (buy back, sell short) and takes
// the company arrow away.
void leave_trade(int op) {
    if (uses_short_column(op)) draw_common_column();
    clear_company_arrow();
}

// Asterisk redraws; the selection loop has already cleared the screen.
void redraw_trading_screen() {
    draw_holdings_table();
    draw_menu_screen(kTradingMenuScreen);
    draw_message_heading();
    show_cash();
}

void redraw_trading_help_screen() {
    draw_holdings_table();
    draw_menu_screen(kTradingHelpMenuScreen);
    draw_message_heading();
    prompt_help_subject();
}

}  // namespace

const char* trade_refusal(const CompanyRecord& company, const Holding& holding, int op, int kind) {
    switch (op) {
        case kTradeBuy:
            if (company.total[kind] == 0) return kNotTraded[kind];
            return nullptr;
        case kTradeSell:
            if (company.total[kind] == 0) return kNotTraded[kind];
            if (holding.count[kind] == 0) return kNothingHeld[kind];
            return nullptr;
        case kTradeBuyBack:
            if (company.total[kCommon] == 0) return kNotTraded[kCommon];
            if (holding.short_count == 0) return kNoShortShares;
            return nullptr;
        case kTradeSellShort:
            if (company.total[kCommon] == 0) return kNotTraded[kCommon];
            if (holding.short_count != 0) return kAlreadyShort;
            return nullptr;
        case kTradeExercise:
            if (company.total[kCommon] == 0) return kNotTraded[kCommon];
            if (holding.count[kOptions] == 0) return kNothingHeld[kOptions];
            return nullptr;
    }
    return nullptr;
}

int32_t trade_maximum(const CompanyRecord& company, const Holding& holding, int32_t cash, int op,
                      int kind) {
    kind = trade_kind(op, kind);
    const int64_t price = company.price[kind][0];
    int64_t maximum = 0;
    switch (op) {
        case kTradeBuy:
            // Nothing is for sale at a price of 0 or below (only the editor can set one): the
            // issue would otherwise be given away, or pay the buyer.
            if (price <= 0) return 0;
            maximum = limit_by_issue(cash / price, company, holding, kind);
            break;
        case kTradeSell:
            maximum = holding.count[kind];
            break;
        case kTradeBuyBack:
            maximum = buy_back_maximum(cash, holding.short_count, holding.short_price, price);
            break;
        case kTradeSellShort: {
            // A short sale needs a deposit; at a common price of 0 or 1 the deposit is 0 and no
            // short sale is offered, so no position is ever opened without one.
            const int16_t deposit = static_cast<int16_t>(company.price[kCommon][0] / 2);
            if (deposit <= 0) return 0;
            maximum = limit_by_issue(cash / deposit, company, holding, kCommon);
            break;
        }
        case kTradeExercise: {
            // A conversion price of 0 or below converts for nothing: cash sets no limit, the
            // options held, half of the issue and the shares available still do.
            const int64_t conversion = company.option_conversion_price;
            maximum = conversion > 0 ? cash / conversion : std::numeric_limits<int32_t>::max();
            maximum = limit_by_issue(maximum, company, holding, kCommon);
            maximum = std::min<int64_t>(maximum, holding.count[kOptions]);
            break;
        }
        default:
            return 0;
    }
    // A holding above half of the issue, a negative balance or a negative count would give a
    // negative maximum that no answer could meet; offer 0 instead so the caller can get out.
    return clamp32(std::max<int64_t>(maximum, 0));
}

void apply_trade(CompanyRecord& company, Holding& holding, int32_t& cash, int op, int kind,
                 int32_t quantity) {
    kind = trade_kind(op, kind);
    const int64_t q = quantity;
    const int64_t price = company.price[kind][0];
    switch (op) {
        case kTradeBuy:
            cash = clamp32(cash - price * q);
            holding.count[kind] = clamp32(holding.count[kind] + q);
            company.available[kind] = clamp32(company.available[kind] - q);
            break;
        case kTradeSell:
            // A sale never costs money, even at a price the editor set below 0.
            cash = clamp32(cash + std::max<int64_t>(price, 0) * q);
            holding.count[kind] = clamp32(holding.count[kind] - q);
            company.available[kind] = clamp32(company.available[kind] + q);
            break;
        case kTradeBuyBack: {
            // The deposit of half the opening value comes back with the difference between the
            // opening and the current value.
            const int64_t opening = holding.short_price * q;
            cash = clamp32(cash + opening + opening / 2 - price * q);
            holding.short_count = clamp32(holding.short_count - q);
            company.available[kCommon] = clamp32(company.available[kCommon] + q);
            break;
        }
        case kTradeSellShort: {
            const int16_t deposit = static_cast<int16_t>(company.price[kCommon][0] / 2);
            cash = clamp32(cash - q * deposit);
            holding.short_price = company.price[kCommon][0];
            holding.short_count = clamp32(holding.short_count + q);
            company.available[kCommon] = clamp32(company.available[kCommon] - q);
            break;
        }
        case kTradeExercise: {
            const int64_t conversion = std::max<int64_t>(company.option_conversion_price, 0);
            cash = clamp32(cash - conversion * q);
            holding.count[kOptions] = clamp32(holding.count[kOptions] - q);
            company.available[kOptions] = clamp32(company.available[kOptions] + q);
            holding.count[kCommon] = clamp32(holding.count[kCommon] + q);
            company.available[kCommon] = clamp32(company.available[kCommon] - q);
            break;
        }
        default:
            break;
    }
}

int64_t parse_quantity(const char* answer, int32_t maximum) {
    if (answer[0] == '\0') return maximum;
    // strtol stops at the first non-digit and saturates on overflow, which is then simply
    // above the maximum.
    return std::strtol(answer, nullptr, 10);
}

// Asks for the quantity until the answer lies in 0..maximum. A time warning in place of an
// answer counts as 0, whatever the condition check leaves in the buffer.
int32_t ask_trade_quantity(int32_t maximum) {
    for (;;) {
        term_goto(0, 23);
        term_clear_line();
        term_printf("\e[0m  Enter quantity to trade (0-[%ld]): ", static_cast<long>(maximum));
        term_input_line(line_buffer, kLineBufferSize);
        const bool time_warning = std::strcmp(line_buffer, kTokenTimeWarning) == 0;
        if (check_line_condition(line_buffer) == -1) session_end(0);
        const int64_t quantity = time_warning ? 0 : parse_quantity(line_buffer, maximum);
        if (quantity >= 0 && quantity <= maximum) return static_cast<int32_t>(quantity);
        show_message(kIllegalQuantity);
    }
}

int trade(int op) {
    if (op < kTradeBuy || op > kTradeExercise) return 0;
    if (uses_short_column(op)) draw_short_column();
    const int c = select_company(true);
    const int kind = (op == kTradeBuy || op == kTradeSell) ? select_stock_type() : kCommon;

    CompanyRecord& company = g_session.market.companies[c];
    PlayerRecord& player = g_session.player;
    Holding& holding = player.holdings[c];

    if (const char* refusal = trade_refusal(company, holding, op, kind)) {
        show_message(refusal);
        leave_trade(op);
        return 0;
    }
    const int32_t maximum = trade_maximum(company, holding, player.cash, op, kind);
    const int32_t quantity = ask_trade_quantity(maximum);
    term_printf("\e[0;37m");
    if (quantity == 0) {
        leave_trade(op);
        return 0;
    }

    std::memcpy(player.last_traded, g_session.today, kDateSize);
    player.last_traded[kDateSize - 1] = '\0';
    apply_trade(company, holding, player.cash, op, kind, quantity);
    switch (op) {
        case kTradeBuy:
        case kTradeSell:
            show_count(kCountColumn[kind], c, holding.count[kind]);
            break;
        case kTradeBuyBack:
        case kTradeSellShort:
            show_short_count(c, holding.short_count);
            break;
        case kTradeExercise:
            show_count(kCountColumn[kOptions], c, holding.count[kOptions]);
            show_count(kCountColumn[kCommon], c, holding.count[kCommon]);
            break;
    }

    term_printf("\e[0;37m");
    term_goto(0, 23);
    term_clear_line();
    term_printf("  Transaction complete...");
    press_enter();
    leave_trade(op);
    return 0;
}

void trading_help_menu() {
    draw_menu_screen(kTradingHelpMenuScreen);
    prompt_help_subject();
    int cursor = 0;
    const SelectionLoop loop{15, 7, false, redraw_trading_help_screen, prompt_help_subject};
    for (;;) {
        const int item = run_selection(loop, cursor);
        if (item == kExitHelp) return;
        show_trading_help_subject(item);
        draw_menu_screen(kTradingHelpMenuScreen);
        prompt_help_subject();
    }
}

int trading_menu() {
    draw_menu_screen(kTradingMenuScreen);
    show_cash();
    int cursor = 0;
    const SelectionLoop loop{15, 7, false, redraw_trading_screen, show_cash};
    for (;;) {
        const int item = run_selection(loop, cursor);
        if (item == kQuitTrading) return 0;
        if (item == kHelpTrading) {
            trading_help_menu();
        } else {
            trade(item);
        }
        draw_menu_screen(kTradingMenuScreen);
        show_cash();
    }
}

// The stock trading menu and its five transactions, with the trade arithmetic kept in plain
// functions over a company, a holding and the caller's cash.
#pragma once

#include <cstdint>

#include "data/records.h"

enum TradeOp {
    kTradeBuy = 0,
    kTradeSell = 1,
    kTradeBuyBack = 2,
    kTradeSellShort = 3,
    kTradeExercise = 4
};

int trading_menu();
void trading_help_menu();
int trade(int op);

// The refusal message for op on kind of company (kind is ignored for ops 2-4, which trade
// common stock), or nullptr when the trade may go ahead.
const char* trade_refusal(const CompanyRecord& company, const Holding& holding, int op, int kind);
// The largest quantity the caller may trade; never negative.
int32_t trade_maximum(const CompanyRecord& company, const Holding& holding, int32_t cash, int op,
                      int kind);
// Moves units, cash and the holding for a trade of quantity units (0 < quantity <= maximum).
void apply_trade(CompanyRecord& company, Holding& holding, int32_t& cash, int op, int kind,
                 int32_t quantity);
// Reads a quantity answer: an empty line means maximum, otherwise the leading decimal number
// (0 when the text does not start with one).
int64_t parse_quantity(const char* answer, int32_t maximum);
// The quantity prompt on the message row, asked until the answer lies in 0..maximum; ends the
// session on a lost caller. A time warning in place of an answer counts as 0.
int32_t ask_trade_quantity(int32_t maximum);

// The stock trading menu and its five transactions.
#pragma once

#include <cstdint>

enum TradeOp { kTradeBuy = 0, kTradeSell = 1, kTradeBuyBack = 2, kTradeSellShort = 3,
               kTradeExercise = 4 };

int trading_menu();
void trading_help_menu();
int trade(int op);

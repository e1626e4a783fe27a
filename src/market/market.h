// The exchange itself: the twelve default companies and the daily market update.
#pragma once

#include <cstdint>

#include "data/records.h"

// Source of random draws: std::rand() in the product (never seeded); tests substitute one.
using DrawSource = int (*)();
void set_draw_source(DrawSource source);  // nullptr restores std::rand
int draw_random();

// [type][kind][general trend][issue trend]: the day's change of an issue's price.
extern const int32_t PriceMoveTable[3][4][10][8];

// Writes the default market (date "Jan 01 1900", general trend 5, twelve companies).
int build_default_market(MarketRecord& market);
// Rewrites company `index` (0..11) from its default; touches nothing else.
int reset_company_to_default(MarketRecord& market, int index);

// One random step of a trend towards the band [low, high], clamped to [min, max].
int walk_trend(int value, int min, int low, int high, int max);
// Adds the table's move for (type, kind, general, issue) to price; out-of-range indexes leave
// it unchanged (an issue trend of 8 or 9 moves as 7, see daily_update.cpp).
void apply_price_move(int16_t& price, int kind, int type, int general, int issue);
// Runs one market day over market: moves prices when prices_move, walks the trends, stamps today.
int run_daily_update(MarketRecord& market, const char* today, bool prices_move);

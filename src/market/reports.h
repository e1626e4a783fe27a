// The two reports a caller sees at session start: price changes since the last visit, and the
// margin call on short positions that rose too far.
#pragma once

#include <cstdint>

#include "data/records.h"

// Margin threshold of a short position opened at short_price: the common price at which the
// position is called (a rise of 20 % from 80 up, 40 % from 30 to 79, 60 % below 30).
int32_t margin_threshold(int16_t short_price);
// True when the holding has short shares and the company's common price reached the threshold.
bool margin_called(const Holding& holding, const CompanyRecord& company);

// What closing one called short position did to the player.
struct MarginSettlement {
    int32_t short_count = 0;  // shares that were short
    int32_t cost = 0;         // current common price times short_count
    uint16_t sold = 0;        // bit j set: company j's holdings were sold to raise cash
    bool wiped_out = false;   // cash fell short even after the sales; cash is now 0
};
// Closes the short position in company: returns the deposit, sells the player's holdings
// company by company from 0 up while cash is below the cost, then pays (or wipes out).
MarginSettlement settle_margin_call(PlayerRecord& player, const MarketRecord& market, int company);

// Both work on g_session and end the session with exit code 1 when the caller is lost at the
// Enter prompt.
int show_price_changes();
int run_margin_call();  // 1 when the caller is wiped out

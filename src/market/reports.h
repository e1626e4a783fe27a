// The two reports a caller sees at session start: price changes since the last visit, and the
// margin call on short positions that rose too far.
#pragma once

#include <cstdint>

// Margin threshold of a short position opened at short_price.
int32_t margin_threshold(int16_t short_price);

// Both work on g_session; see reports.cpp.
int show_price_changes();
int run_margin_call();  // 1 when the caller is wiped out

// Company profile: facts, description and the ten-day price graph; the editor's start/split/trend
// panel.
#pragma once

#include <cstdint>

// Ten names of 10 bytes, indexed by a trend 0..9.
extern const char TrendLabel[10][10];

int show_company_profile();
int draw_company_profile(int company);
int draw_company_description(int company);
// graph_kind: StockKind + 1; prices: the ten history entries, entry 0 newest.
int draw_price_graph(int graph_kind, const int16_t prices[10]);
int draw_start_split_trend(int company);

// Session start and end, the door kit's start-up, and the daily player-file pass.
#pragma once

// Brings the caller in; returns 0 when the main menu may run, otherwise ends the session.
int session_start(int argc, char** argv);
// Every way out: 0 is a normal end (scoring, saving, bulletin), anything else just leaves.
[[noreturn]] void session_end(int exit_code);
#include <cstdint>

#include "data/records.h"

// Carries the market's latest update into every stored player of quonda.plr (through quonda.tmp);
// 0 done, -1 a file would not open or the new file could not be written (the old one stays).
int player_file_pass(const MarketRecord& market, const char* today,
                     const char* previous_market_date);
// Rewrites the top-10 bulletin (the configured file) from quonda.plr.
void write_bulletin();

// Pieces of session end that work on records alone.
// One stored player through the pass after a market update (limit_day: today's day number);
// false when the player has been away too long and is dropped.
bool pass_player(PlayerRecord& player, const MarketRecord& market, int limit_day,
                 bool month_changed);
// The scoring summary's figures: starting (start_cash plus holdings at the prices of the last
// visit) and current (cash plus holdings now). Notes today's prices as the last prices, clears
// the crash counters and stores the current figure as net_worth.
struct ScoreFigures {
    int32_t started;
    int32_t current;
};
ScoreFigures score_player(PlayerRecord& player, const MarketRecord& market, int32_t start_cash);
// Seconds from start to now, both seconds since midnight; a session may cross midnight.
int32_t session_length(int32_t now_seconds, int32_t start_seconds);
// The bulletin's ranking: ten entries in descending net worth and a candidate slot behind them.
struct TopEntry {
    int32_t net_worth;  // -1 marks an unused entry
    int32_t offset;     // of the record in quonda.plr
};
constexpr int kTopCount = 10;
using TopList = TopEntry[kTopCount + 1];
void reset_top_list(TopList& list);
// Enters a record that beats the tenth; equal net worths keep the order they were offered in.
void offer_top_list(TopList& list, int32_t net_worth, int32_t offset);

int door_init(int node, const char* drop_path, const char* socket_text);
bool is_directory(const char* path);

// Pieces of session start that work on records alone.
// Wiped out: net worth plus half of every short position's value (each halved) is at most 99.
bool is_wiped_out(const PlayerRecord& player);
// Gives every unit the player holds (short shares with the common ones) back to the market.
void return_holdings(const PlayerRecord& player, MarketRecord& market);
// Fills a fresh portfolio named name: $2000, prices noted, gift shares of companies 0 and 7
// taken from the market (or cash instead); graphics_mode and reserved are left as they are.
void build_new_player(PlayerRecord& player, MarketRecord& market, const char* name);
// Editor access by name: letter case and trailing blanks ignored.
bool is_sysop_name(const char* name, const char* sysop_name);

// Session start and end, the door kit's start-up, and the daily player-file pass.
#pragma once

// Brings the caller in; returns 0 when the main menu may run, otherwise ends the session.
int session_start(int argc, char** argv);
// Every way out: 0 is a normal end (scoring, saving, bulletin), anything else just leaves.
[[noreturn]] void session_end(int exit_code);
#include "data/records.h"

// Carries the market's latest update into every stored player of quonda.plr (through quonda.tmp);
// 0 done, -1 a file would not open.
int player_file_pass(const MarketRecord& market, const char* today,
                     const char* previous_market_date);
// Rewrites the top-10 bulletin from quonda.plr.
void write_bulletin();

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

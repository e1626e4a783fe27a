// The one session state of a process: the caller's record, the market, today and the settings.
// Set up by session start; every screen reads and changes it.
#pragma once

#include <cstdint>

#include "data/config.h"
#include "data/records.h"

struct SessionState {
    MarketRecord market{};                 // the exchange as this session sees it
    PlayerRecord player{};                 // the caller's record
    char today[kDateSize] = "";            // taken once at session start
    char previous_market_date[kDateSize] = "";  // market date as loaded, before any update
    char user_name[kNameSize] = "";        // the caller's name from the door kit
    int32_t player_offset = 0;             // byte offset of the caller's record in quonda.plr
    int32_t start_cash = 0;                // cash right after lookup or creation
    int32_t session_start_seconds = 0;     // seconds since midnight at start
    bool editor_allowed = false;           // caller may enter the sysop editor
    bool prices_move = true;               // cleared when quonda.dat did not exist
    bool market_ready = false;             // market built and loaded (or defaulted)
    bool player_ready = false;             // caller looked up or created
    Config config;                         // quonda.cfg
};

extern SessionState g_session;

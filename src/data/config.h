// The sysop's five-line configuration file quonda.cfg and its compiled-in defaults.
#pragma once

constexpr int kSettingSize = 96;

struct Config {
    char bbs_name[kSettingSize] = "BBS";                  // "Returning to %s...."
    char doc_file[kSettingSize] = "quonda.doc";           // player's manual
    char bulletin_file[kSettingSize] = "quonda.bul";      // top-10 bulletin; empty: none
    char sysop_name[kSettingSize] = "SYSOP";              // blank-padded to 31 once read
    char editor_password[kSettingSize] = "GATEKEEP";      // sysop editor password
};

// Reads quonda.cfg from the working directory into config. Returns 0 when all five lines were
// read, -1 when the file ended early (lines read so far stay), -2 when it cannot be opened.
[[nodiscard]] int read_config(Config& config, const char* path = "quonda.cfg");

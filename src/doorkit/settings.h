// The door kit's settings file, bullmoor.ini in the game's directory: what a sysop may set for
// every caller (inactivity time-out, paging hours, most minutes a session, CP437 sent as UTF-8 to
// remote callers). Optional: a missing file, or a missing key, leaves the kit's defaults.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

constexpr const char* kDoorSettingsFile = "bullmoor.ini";

// Each value is set only when the file gave a good one for it.
struct DoorSettings {
    std::optional<int> inactivity_seconds;  // 0..86400; 0 never logs a caller off
    std::optional<int> page_start_min;      // paging hours, minutes after midnight, 0..1439
    std::optional<int> page_end_min;        // 0..1440; equal to the start: no paging at all
    std::optional<int> max_minutes;         // 1..1440: a session never gets more minutes
    std::optional<bool> cp437_to_utf8;      // remote callers get CP437 glyphs as UTF-8
};

// Reads "key = value" lines (keys in any letter case, blanks around both ignored, lines starting
// with '#' or ';' and blank lines skipped, LF or CR LF). Every line that cannot be used adds one
// sentence to problems, naming its line number; its setting keeps its default.
DoorSettings parse_door_settings(std::string_view text, std::vector<std::string>& problems);
// Reads the file at path through the locked open. A missing file gives no settings and no
// problem; one that exists but cannot be read gives no settings and one problem.
DoorSettings read_door_settings(const char* path, std::vector<std::string>& problems);
// Puts the settings that are set into od_control: the inactivity time-out, the paging hours,
// and the caller's minutes lowered to max_minutes (the CP437 switch is the kit's own business).
void apply_door_settings(const DoorSettings& settings);
// What od_init does first: reads kDoorSettingsFile and writes each problem to the error log,
// without showing it.
DoorSettings load_door_settings();

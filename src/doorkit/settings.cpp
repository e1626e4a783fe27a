// Reading bullmoor.ini and putting its settings into od_control.
#include "doorkit/settings.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "data/file_access.h"
#include "doorkit/opendoors.h"

namespace {

constexpr int kMaxInactivitySeconds = 24 * 60 * 60;
constexpr int kMinutesPerDay = 24 * 60;
constexpr size_t kLongestFile = 64 * 1024;  // more than any settings file needs
constexpr const char* kUnreadable = "cannot be read, so every setting keeps its default";

std::string_view trim(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
        text.remove_prefix(1);
    }
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
        text.remove_suffix(1);
    }
    return text;
}

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// A whole decimal number within [low, high]; nothing else on the line.
std::optional<int> whole_number(std::string_view text, int low, int high) {
    if (text.empty() || text.size() > 9) return std::nullopt;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value < low || value > high) return std::nullopt;
    return value;
}

// "HH:MM" as minutes after midnight; 24:00 only where allow_end_of_day.
std::optional<int> clock_time(std::string_view text, bool allow_end_of_day) {
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos || text.size() - colon != 3) return std::nullopt;
    if (colon > 2) return std::nullopt;
    const auto hours = whole_number(text.substr(0, colon), 0, 24);
    const auto minutes = whole_number(text.substr(colon + 1), 0, 59);
    if (!hours || !minutes) return std::nullopt;
    const int value = *hours * 60 + *minutes;
    if (value > (allow_end_of_day ? kMinutesPerDay : kMinutesPerDay - 1)) return std::nullopt;
    return value;
}

std::optional<bool> yes_or_no(std::string_view text) {
    const std::string word = lower(text);
    if (word == "yes" || word == "true" || word == "on" || word == "1") return true;
    if (word == "no" || word == "false" || word == "off" || word == "0") return false;
    return std::nullopt;
}

// One key: reads its value into settings, or returns what is wrong with it.
struct Key {
    const char* name;
    const char* expected;  // completes "... must be ..."
    bool (*take)(std::string_view value, DoorSettings& settings);
};

constexpr Key kKeys[] = {
    {"inactivity", "a whole number of seconds from 0 (never) to 86400",
     [](std::string_view value, DoorSettings& settings) {
         settings.inactivity_seconds = whole_number(value, 0, kMaxInactivitySeconds);
         return settings.inactivity_seconds.has_value();
     }},
    {"paging_hours", "two times of day such as 08:00-22:00",
     [](std::string_view value, DoorSettings& settings) {
         const size_t dash = value.find('-');
         if (dash == std::string_view::npos) return false;
         const auto start = clock_time(trim(value.substr(0, dash)), false);
         const auto end = clock_time(trim(value.substr(dash + 1)), true);
         if (!start || !end) return false;
         settings.page_start_min = start;
         settings.page_end_min = end;
         return true;
     }},
    {"max_minutes", "a whole number of minutes from 1 to 1440",
     [](std::string_view value, DoorSettings& settings) {
         settings.max_minutes = whole_number(value, 1, kMinutesPerDay);
         return settings.max_minutes.has_value();
     }},
    {"cp437_to_utf8", "yes or no",
     [](std::string_view value, DoorSettings& settings) {
         settings.cp437_to_utf8 = yes_or_no(value);
         return settings.cp437_to_utf8.has_value();
     }},
};

void parse_line(std::string_view line, int number, DoorSettings& settings,
                std::vector<std::string>& problems) {
    line = trim(line);
    if (line.empty() || line.front() == '#' || line.front() == ';') return;
    const std::string where = "line " + std::to_string(number) + ": ";
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
        problems.push_back(where + "\"" + std::string(line) +
                           "\" is not of the form key = value, ignored");
        return;
    }
    const std::string name = lower(trim(line.substr(0, equals)));
    const std::string_view value = trim(line.substr(equals + 1));
    for (const Key& key : kKeys) {
        if (name != key.name) continue;
        // A bad value leaves what an earlier good line gave, or the default.
        DoorSettings tried = settings;
        if (key.take(value, tried)) {
            settings = tried;
        } else {
            problems.push_back(where + key.name + " must be " + key.expected + ", not \"" +
                               std::string(value) + "\"; its default is kept");
        }
        return;
    }
    problems.push_back(where + "unknown setting \"" + name + "\", ignored");
}

}  // namespace

DoorSettings parse_door_settings(std::string_view text, std::vector<std::string>& problems) {
    DoorSettings settings;
    int number = 0;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        parse_line(line, ++number, settings, problems);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return settings;
}

DoorSettings read_door_settings(const char* path, std::vector<std::string>& problems) {
    FileHandle file;
    std::snprintf(file.path, sizeof file.path, "%s", path);
    const int opened = open_locked(file, kModeRead, false, false);
    if (opened == kOpenMissing) return DoorSettings{};
    if (opened != kOpenOk) {
        problems.push_back(kUnreadable);
        return DoorSettings{};
    }
    std::string text;
    char block[4096];
    size_t moved = 0;
    while (text.size() < kLongestFile &&
           (moved = std::fread(block, 1, sizeof block, file.stream)) > 0) {
        text.append(block, moved);
    }
    const bool failed = std::ferror(file.stream) != 0;
    close_locked(file);
    if (failed) {
        problems.push_back(kUnreadable);
        return DoorSettings{};
    }
    return parse_door_settings(text, problems);
}

void apply_door_settings(const DoorSettings& settings) {
    if (settings.inactivity_seconds) od_control.od_inactivity = *settings.inactivity_seconds;
    if (settings.page_start_min && settings.page_end_min) {
        od_control.od_page_start_min = *settings.page_start_min;
        od_control.od_page_end_min = *settings.page_end_min;
    }
    if (settings.max_minutes && od_control.user_timelimit > *settings.max_minutes) {
        od_control.user_timelimit = *settings.max_minutes;
    }
}

DoorSettings load_door_settings() {
    std::vector<std::string> problems;
    DoorSettings settings = read_door_settings(kDoorSettingsFile, problems);
    for (const std::string& problem : problems) {
        log_error(false, "Warning [44] - Door settings file (%s) %s.\n", kDoorSettingsFile,
                  problem.c_str());
    }
    return settings;
}

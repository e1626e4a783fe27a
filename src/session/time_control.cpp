// The time-control file quonda.tim and the daily limits it sets for remote callers.
#include "session/time_control.h"

#include <unistd.h>

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "data/dates.h"
#include "data/file_access.h"
#include "data/session_state.h"
#include "doorkit/opendoors.h"

TimeControlState g_time_control;

namespace {

constexpr int kTierCount = 8;
constexpr int kPeriodCount = 8;
constexpr int kSecondsPerDay = 86400;

int32_t get_i32(const unsigned char* in) {
    return static_cast<int32_t>(static_cast<uint32_t>(in[0]) | static_cast<uint32_t>(in[1]) << 8 |
                                static_cast<uint32_t>(in[2]) << 16 |
                                static_cast<uint32_t>(in[3]) << 24);
}

int16_t get_i16(const unsigned char* in) {
    return static_cast<int16_t>(static_cast<uint16_t>(in[0] | in[1] << 8));
}

// True when offset is where one of the file's fields starts: two int32 windows, four tables of
// eight int16, then per period an int32 start and eight int16 minutes.
bool field_starts_at(int offset) {
    if (offset < 8) return offset % 4 == 0;
    if (offset < 72) return offset % 2 == 0;
    const int within = (offset - 72) % 20;
    return within == 0 || (within >= 4 && within % 2 == 0);
}

// Reads like the record codec: on a short count inside a field stop, at a field start go on.
int read_whole(int fd, unsigned char* bytes) {
    int done = 0;
    for (;;) {
        const ssize_t moved = read(fd, bytes + done, static_cast<size_t>(kTimeControlBytes - done));
        if (moved == kTimeControlBytes - done) return kTimeControlBytes;
        if (moved <= 0) return done == 0 ? static_cast<int>(moved) : done;
        done += static_cast<int>(moved);
        if (!field_starts_at(done)) return done;
    }
}

// Lowers the caller's minutes left to limit when that is lower.
void lower_time_left(int32_t limit) {
    if (limit < od_control.user_timelimit) od_control.user_timelimit = limit;
}

// What remains of the day's minutes, rounded up so that an admitted caller has at least one.
void lower_to_daily_allowance(const TimeControlState& tc) {
    const int32_t daily = tc.record.daily_minutes[tc.tier];
    if (daily <= 0) return;
    // In 64 bits: a damaged store may hold any count.
    const int64_t seconds_left = static_cast<int64_t>(daily) * 60 - tc.seconds_today;
    if (seconds_left > 0) lower_time_left(static_cast<int32_t>((seconds_left + 59) / 60));
}

}  // namespace

int time_of_day(const char* text) {
    // Each part is a decimal number at characters 0, 3 and 6; a missing part counts 0.
    const size_t length = strnlen(text, 8);
    int parts[3] = {0, 0, 0};
    for (int part = 0; part < 3; ++part) {
        for (size_t i = static_cast<size_t>(part) * 3; i < length; ++i) {
            if (text[i] < '0' || text[i] > '9') break;
            parts[part] = parts[part] * 10 + (text[i] - '0');
        }
    }
    return parts[0] * 3600 + parts[1] * 60 + parts[2];
}

int read_time_control(int fd, TimeControl& record) {
    unsigned char bytes[kTimeControlBytes];
    const int moved = read_whole(fd, bytes);
    if (moved != kTimeControlBytes) return moved;
    const unsigned char* in = bytes;
    record.window_start = get_i32(in);
    record.window_end = get_i32(in + 4);
    in += 8;
    for (int16_t* table :
         {record.levels, record.daily_minutes, record.daily_games, record.wait_minutes}) {
        for (int t = 0; t < kTierCount; ++t, in += 2) table[t] = get_i16(in);
    }
    for (TimePeriod& period : record.periods) {
        period.start = get_i32(in);
        in += 4;
        for (int16_t& minutes : period.minutes) {
            minutes = get_i16(in);
            in += 2;
        }
    }
    return kTimeControlBytes;
}

static_assert(kTimeControlBytes == 8 + 4 * 2 * kTierCount + kPeriodCount * (4 + 2 * kTierCount));

int load_time_control(const char* path) {
    TimeControlState& tc = g_time_control;
    tc.record.window_start = time_of_day("00:00:00");
    tc.record.window_end = time_of_day("23:59:59");
    tc.tier = -1;

    FileHandle file;
    std::snprintf(file.path, sizeof file.path, "%s", path);
    const int opened = open_locked(file, kModeRead, true, false);
    // Only a missing file means "no limits"; one that exists but cannot be read is an error,
    // so a held or unreadable file never lifts the limits.
    if (opened == kOpenMissing) return 0;
    if (opened != kOpenOk) return -1;
    const int moved = read_time_control(file.fd, tc.record);
    close_locked(file);
    if (moved != kTimeControlBytes) return -1;

    const int32_t level = od_control.user_security;
    int tier = -1;
    while (tier < kTierCount - 1 && level >= tc.record.levels[tier + 1]) ++tier;
    if (tier == -1) return -2;

    const int32_t now = g_session.session_start_seconds;
    int period = 0;
    while (period < kPeriodCount - 1 && tc.record.periods[period + 1].start != 0 &&
           tc.record.periods[period + 1].start <= now) {
        ++period;
    }

    tc.tier = tier;
    const int16_t minutes = tc.record.periods[period].minutes[tier];
    if (minutes <= 0) return -3;
    lower_time_left(minutes);
    return 1;
}

int check_daily_limits() {
    TimeControlState& tc = g_time_control;
    if (tc.tier == -1) return 0;
    const TimeControl& record = tc.record;

    if (day_number(g_session.today) != day_number(tc.tc_last_played)) {
        std::snprintf(tc.tc_last_played, sizeof tc.tc_last_played, "%s", g_session.today);
        tc.seconds_today = 0;
        tc.games_today = 0;
        lower_to_daily_allowance(tc);
        return 0;
    }
    const int32_t wait = record.wait_minutes[tc.tier];
    if (wait > 0 && seconds_since_midnight() < tc.previous_end + wait * 60) return -1;
    const int32_t games = record.daily_games[tc.tier];
    if (games > 0 && tc.games_today >= games) return -2;
    const int32_t minutes = record.daily_minutes[tc.tier];
    if (minutes > 0 && tc.seconds_today >= minutes * 60) return -3;
    lower_to_daily_allowance(tc);
    return 0;
}

void take_player_counters(const PlayerRecord& player) {
    TimeControlState& tc = g_time_control;
    std::memcpy(tc.tc_last_played, player.last_played, sizeof tc.tc_last_played);
    tc.tc_last_played[sizeof tc.tc_last_played - 1] = '\0';
    const SessionEndNote note = load_session_end(player.name);
    const bool same_day = note.day >= 0 && note.day == day_number(tc.tc_last_played);
    // Implausible ends (a damaged store) give no reference: the wait runs from midnight.
    const bool plausible = note.end_seconds >= 0 && note.end_seconds < 2 * kSecondsPerDay;
    tc.seconds_today = same_day ? note.seconds_today : 0;
    tc.games_today = same_day ? note.games_today : 0;
    tc.previous_end = same_day && plausible ? note.end_seconds : 0;
}

namespace {

int32_t entry_i32(const unsigned char* bytes, int field) {
    return get_i32(bytes + 32 + 4 * field);
}

void put_i32(unsigned char* out, int32_t value) {
    for (int i = 0; i < 4; ++i) {
        out[i] = static_cast<unsigned char>(static_cast<uint32_t>(value) >> (8 * i));
    }
}

void upper_name(const char* name, char (&out)[32]) {
    std::memset(out, 0, sizeof out);
    std::snprintf(out, sizeof out, "%s", name);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

bool same_name(const unsigned char* stored, const char (&upper)[32]) {
    return strncasecmp(reinterpret_cast<const char*>(stored), upper, sizeof upper) == 0;
}

// Offset of name's entry, or of the end of the whole entries when there is none.
off_t find_entry(int fd, const char (&upper)[32], unsigned char* bytes, bool& found) {
    off_t offset = 0;
    found = false;
    while (pread(fd, bytes, kSessionEndBytes, offset) == kSessionEndBytes) {
        if (same_name(bytes, upper)) {
            found = true;
            return offset;
        }
        offset += kSessionEndBytes;
    }
    return offset;
}

}  // namespace

void store_session_end(const char* name, const char* today, int32_t end_seconds, int32_t length) {
    FileHandle file;
    std::snprintf(file.path, sizeof file.path, "%s", kSessionEndFile);
    if (open_locked(file, kModeUpdate, true, true) != 0) return;
    char upper[32];
    upper_name(name, upper);
    unsigned char bytes[kSessionEndBytes];
    bool found = false;
    const off_t offset = find_entry(file.fd, upper, bytes, found);
    const int32_t day = day_number(today);
    const bool same_day = found && entry_i32(bytes, 0) == day;
    const int64_t seconds = (same_day ? entry_i32(bytes, 2) : 0) + static_cast<int64_t>(length);
    const int64_t games = (same_day ? entry_i32(bytes, 3) : 0) + static_cast<int64_t>(1);
    std::memcpy(bytes, upper, sizeof upper);
    put_i32(bytes + 32, day);
    put_i32(bytes + 36, end_seconds);
    put_i32(bytes + 40, static_cast<int32_t>(std::min<int64_t>(seconds, INT32_MAX)));
    put_i32(bytes + 44, static_cast<int32_t>(std::min<int64_t>(games, INT32_MAX)));
    if (pwrite(file.fd, bytes, kSessionEndBytes, offset) != kSessionEndBytes) {
        // Never leave a fragment behind an append that failed part-way; the store only limits
        // play, so a failure here is not reported.
        const int truncated = ftruncate(file.fd, offset);
        (void)truncated;
    }
    close_locked(file);
}

SessionEndNote load_session_end(const char* name) {
    SessionEndNote note;
    FileHandle file;
    std::snprintf(file.path, sizeof file.path, "%s", kSessionEndFile);
    if (open_locked(file, kModeRead, true, false) != 0) return note;
    char upper[32];
    upper_name(name, upper);
    unsigned char bytes[kSessionEndBytes];
    bool found = false;
    find_entry(file.fd, upper, bytes, found);
    close_locked(file);
    if (!found) return note;
    note.day = entry_i32(bytes, 0);
    note.end_seconds = entry_i32(bytes, 1);
    note.seconds_today = entry_i32(bytes, 2);
    note.games_today = entry_i32(bytes, 3);
    return note;
}

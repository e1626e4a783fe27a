// quonda.tim: the record read from a descriptor with read_time_control and the whole check with
// load_time_control and check_daily_limits, for callers of any level, time left and counters.
//
// Input: 16 bytes of caller (security int16, minutes left int16, start seconds int32, seconds
// played int32, sessions int16, previous end int16), then the file's bytes.
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

#include "data/dates.h"
#include "data/session_state.h"
#include "doorkit/opendoors.h"
#include "fuzz_common.h"
#include "session/time_control.h"

namespace {

int32_t take_i32(const uint8_t* in) {
    uint32_t bits = 0;
    for (int i = 0; i < 4; ++i) bits |= static_cast<uint32_t>(in[i]) << (8 * i);
    return static_cast<int32_t>(bits);
}

int16_t take_i16(const uint8_t* in) {
    return static_cast<int16_t>(static_cast<uint16_t>(in[0] | in[1] << 8));
}

constexpr size_t kCallerBytes = 16;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kCallerBytes) return 0;
    const uint8_t* file = data + kCallerBytes;
    const size_t file_size = size - kCallerBytes;

    // The reader over a descriptor: the full size only when the whole record was there.
    const int fd = memfd_create("quonda.tim", 0);
    if (fd < 0) return 0;
    if (file_size > 0 && write(fd, file, file_size) != static_cast<ssize_t>(file_size)) {
        close(fd);
        return 0;
    }
    lseek(fd, 0, SEEK_SET);
    TimeControl record{};
    const int moved = read_time_control(fd, record);
    close(fd);
    FUZZ_CHECK(moved == kTimeControlBytes ? file_size >= kTimeControlBytes
                                          : moved >= 0 && moved < kTimeControlBytes);

    const std::string path = fuzz_write_file("quonda.tim", file, file_size);
    const int32_t minutes_left = take_i16(data + 2);
    od_control.user_security = take_i16(data);
    od_control.user_timelimit = minutes_left;
    g_session.session_start_seconds = take_i32(data + 4);
    const int loaded = load_time_control(path.c_str());
    FUZZ_CHECK(loaded >= -3 && loaded <= 1 && loaded != 0);
    FUZZ_CHECK(loaded != -1 || file_size < kTimeControlBytes);
    FUZZ_CHECK(od_control.user_timelimit <= minutes_left);
    FUZZ_CHECK(g_time_control.tier >= -1 && g_time_control.tier <= 7);
    if (loaded == 1) {
        FUZZ_CHECK(g_time_control.tier >= 0);
        FUZZ_CHECK(od_control.user_timelimit > 0 || minutes_left <= 0);
    }

    // The daily limits with the caller's counters, today or on the day of the last visit.
    std::snprintf(g_session.today, sizeof g_session.today, "%s", "Jun 15 2024");
    PlayerRecord player{};
    std::snprintf(player.last_played, sizeof player.last_played, "%s",
                  (data[14] & 1) != 0 ? "Jun 15 2024" : "Jun 14 2024");
    player.seconds_played = take_i32(data + 8);
    player.times_played = take_i16(data + 12);
    player.reserved = take_i16(data + 14);
    take_player_counters(player);
    const int32_t before = od_control.user_timelimit;
    const int daily = check_daily_limits();
    FUZZ_CHECK(daily >= -3 && daily <= 0);
    FUZZ_CHECK(od_control.user_timelimit <= before);
    if (loaded != 1) FUZZ_CHECK(daily == 0 || g_time_control.tier >= 0);
    return 0;
}

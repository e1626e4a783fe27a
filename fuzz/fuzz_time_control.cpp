// quonda.tim and the session-end store quonda.ses: the record read from a descriptor with
// read_time_control; the whole check with load_time_control, take_player_counters and
// check_daily_limits for callers of any level, time left and start time; and a session counted
// into the store with store_session_end.
//
// Input: security (int16), minutes left (int16), start seconds (int32), session length (int32),
// length of the store part (uint16, taken modulo what is left + 1); then quonda.ses, then
// quonda.tim. The caller is "TEST CALLER", last seen today.
#include <sys/mman.h>
#include <unistd.h>

#include <climits>
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

constexpr size_t kHeaderBytes = 14;
constexpr const char* kToday = "Jun 15 2024";
constexpr const char* kCaller = "TEST CALLER";

// The store has a fixed name in the working directory: the checks run in the scratch directory.
class InScratchDirectory {
  public:
    InScratchDirectory() {
        if (getcwd(previous_, sizeof previous_) == nullptr ||
            chdir(fuzz_scratch_dir().c_str()) != 0) {
            std::abort();
        }
    }
    ~InScratchDirectory() {
        if (chdir(previous_) != 0) std::abort();
    }

  private:
    char previous_[PATH_MAX];
};

void check_reader(const uint8_t* file, size_t size) {
    const int fd = memfd_create("quonda.tim", 0);
    if (fd < 0) return;
    if (size > 0 && write(fd, file, size) != static_cast<ssize_t>(size)) {
        close(fd);
        return;
    }
    lseek(fd, 0, SEEK_SET);
    TimeControl record{};
    const int moved = read_time_control(fd, record);
    close(fd);
    // The full size only when the whole record was there.
    FUZZ_CHECK(moved == kTimeControlBytes ? size >= kTimeControlBytes
                                          : moved >= 0 && moved < kTimeControlBytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kHeaderBytes) return 0;
    const size_t rest = size - kHeaderBytes;
    const size_t store_size = (data[12] | data[13] << 8) % (rest + 1);
    const uint8_t* store = data + kHeaderBytes;
    const uint8_t* file = store + store_size;
    const size_t file_size = rest - store_size;
    check_reader(file, file_size);

    InScratchDirectory in_scratch;
    fuzz_write_file(kSessionEndFile, store, store_size);
    fuzz_write_file("quonda.tim", file, file_size);
    const int32_t minutes_left = take_i16(data + 2);
    od_control.user_security = take_i16(data);
    od_control.user_timelimit = minutes_left;
    g_session.session_start_seconds = take_i32(data + 4);
    std::snprintf(g_session.today, sizeof g_session.today, "%s", kToday);

    const int loaded = load_time_control("quonda.tim");
    FUZZ_CHECK(loaded >= -3 && loaded <= 1 && loaded != 0);
    FUZZ_CHECK(loaded != -1 || file_size < kTimeControlBytes);
    FUZZ_CHECK(od_control.user_timelimit <= minutes_left);
    FUZZ_CHECK(g_time_control.tier >= -1 && g_time_control.tier <= 7);
    FUZZ_CHECK(loaded != 1 || g_time_control.tier >= 0);

    // The daily limits with what the store says about the caller's day.
    PlayerRecord player{};
    std::snprintf(player.name, sizeof player.name, "%s", kCaller);
    std::snprintf(player.last_played, sizeof player.last_played, "%s", kToday);
    take_player_counters(player);
    const int32_t before = od_control.user_timelimit;
    const int daily = check_daily_limits();
    FUZZ_CHECK(daily >= -3 && daily <= 0);
    FUZZ_CHECK(od_control.user_timelimit <= before);
    FUZZ_CHECK(loaded == 1 || loaded == -3 || daily == 0);

    // The session's end counted into the store, then read back.
    const int32_t length = take_i32(data + 8);
    store_session_end(kCaller, kToday, g_session.session_start_seconds, length);
    const SessionEndNote note = load_session_end(kCaller);
    FUZZ_CHECK(note.day == day_number(kToday));
    FUZZ_CHECK(note.end_seconds == g_session.session_start_seconds);
    return 0;
}

// Files shared by every node: the locked day rollover, the log of market days, and the merging
// commit of session end and of the player editor.
#include "session/shared_files.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <limits>

#include "data/codec.h"
#include "data/dates.h"
#include "data/file_access.h"
#include "market/market.h"

namespace {

constexpr const char* kMarketFile = "quonda.dat";
constexpr const char* kPlayerFile = "quonda.plr";

// What this session started from (see note_market_baseline, note_player_baseline).
struct Baseline {
    bool market_noted = false;
    MarketRecord market{};  // the market right after the rollover
    bool player_noted = false;
    bool stored = false;    // the caller had a record in quonda.plr
    PlayerRecord record{};  // that record as stored, or as this session last wrote it
};
Baseline g_baseline;

// A file held open and locked for as long as the object lives.
struct HeldFile {
    FileHandle handle;
    explicit HeldFile(const char* path) {
        std::snprintf(handle.path, sizeof handle.path, "%s", path);
    }
    ~HeldFile() { close_locked(handle); }
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;
    bool open(int mode, bool may_create) {
        return open_locked(handle, mode, true, may_create) == kOpenOk;
    }
    int fd() const { return handle.fd; }
};

bool same_date(const char* a, const char* b) {
    return std::strncmp(a, b, kDateSize) == 0;
}

void copy_date(char* to, const char* from) {
    std::memset(to, 0, kDateSize);
    std::memcpy(to, from, strnlen(from, kDateSize - 1));
}

// Player names compare as the lookup compares them: upper-cased, ignoring case.
bool same_name(const char* a, const char* b) {
    return strncasecmp(a, b, kNameSize) == 0;
}

bool month_changed(const MarketDay& day) {
    return std::strncmp(day.market.date, day.previous, 3) != 0;
}

int32_t saturate32(int64_t value) {
    return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

int16_t saturate16(int64_t value) {
    return static_cast<int16_t>(std::clamp<int64_t>(value, std::numeric_limits<int16_t>::min(),
                                                    std::numeric_limits<int16_t>::max()));
}

// ---- whole files ----

bool write_all(int fd, const unsigned char* bytes, size_t size) {
    while (size > 0) {
        const ssize_t moved = write(fd, bytes, size);
        if (moved <= 0) return false;
        bytes += moved;
        size -= static_cast<size_t>(moved);
    }
    return true;
}

// The whole of a small file, read under its lock; empty when it is missing or unreadable.
std::vector<unsigned char> read_whole(const char* path) {
    std::vector<unsigned char> bytes;
    HeldFile file(path);
    if (!file.open(kModeRead, false)) return bytes;
    unsigned char chunk[8192];
    for (;;) {
        const ssize_t moved = read(file.fd(), chunk, sizeof chunk);
        if (moved <= 0) break;
        bytes.insert(bytes.end(), chunk, chunk + moved);
    }
    return bytes;
}

// Puts bytes in place of path through its temporary (see commit_replacement). 0 done, -1 not.
int replace_file(const char* path, const unsigned char* bytes, size_t size) {
    FileHandle temporary;
    if (!temporary_name(path, temporary.path, sizeof temporary.path) ||
        open_locked(temporary, kModeWrite, true, true) != kOpenOk) {
        return -1;
    }
    if (!write_all(temporary.fd, bytes, size)) {
        discard_replacement(temporary);
        return -1;
    }
    return commit_replacement(temporary, path);
}

// Writes the market while the caller holds quonda.dat: a second open of the file in this process
// would wait for our own lock, so save_market cannot be used here.
int replace_market(const MarketRecord& market) {
    unsigned char bytes[kMarketBytes];
    encode_market(market, bytes);
    return replace_file(kMarketFile, bytes, sizeof bytes);
}

// Puts the market in place as replace_market does, but keeps the new quonda.dat open and locked
// in `successor` (a closed handle): a node that was waiting for the old file, and finds the new
// one in its place, goes on waiting, so that the rollover's log and pass still run under the lock
// after the market has been saved. 0 done; -1 not (the old file stays, successor is closed).
int replace_market_keeping(const MarketRecord& market, HeldFile& successor) {
    if (!temporary_name(kMarketFile, successor.handle.path, sizeof successor.handle.path) ||
        !successor.open(kModeWrite, true)) {
        return -1;
    }
    unsigned char bytes[kMarketBytes];
    encode_market(market, bytes);
    if (!write_all(successor.fd(), bytes, sizeof bytes) || fsync(successor.fd()) != 0 ||
        std::rename(successor.handle.path, kMarketFile) != 0) {
        discard_replacement(successor.handle);
        return -1;
    }
    const int directory = open(".", O_RDONLY | O_DIRECTORY);
    if (directory >= 0) {
        (void)fsync(directory);
        close(directory);
    }
    return 0;
}

// The market of a held quonda.dat: 0 read; -2 the file is empty (just created to be locked: no
// market has been saved yet, since saves put a complete file in place by renaming); -1 short.
// A failed read leaves market as it was.
int read_held_market(const HeldFile& file, MarketRecord& market) {
    struct stat info {};
    if (fstat(file.fd(), &info) == 0 && info.st_size == 0) return -2;
    if (lseek(file.fd(), 0, SEEK_SET) != 0) return -1;
    return read_market(file.fd(), market) == kMarketBytes ? 0 : -1;
}

// ---- quonda.day ----

const unsigned char* day_entry(const std::vector<unsigned char>& log, size_t index) {
    return log.data() + index * kMarketDayBytes;
}

// The previous date and the market date of a logged day, as stored.
bool entry_previous_is(const unsigned char* entry, const char* date) {
    char previous[kDateSize];
    std::memcpy(previous, entry, kDateSize);
    return same_date(previous, date);
}
bool entry_date_is(const unsigned char* entry, const char* date) {
    char market_date[kDateSize];
    std::memcpy(market_date, entry + kDateSize, kDateSize);
    return same_date(market_date, date);
}

// Appends a day to quonda.day, keeping the newest kDayLogEntries. Runs under quonda.dat's lock,
// which every writer and reader of the log holds.
void note_market_day(const char* previous, const MarketRecord& market) {
    std::vector<unsigned char> log = read_whole(kDayLogFile);
    size_t entries = log.size() / kMarketDayBytes;
    log.resize(entries * kMarketDayBytes);
    if (entries >= static_cast<size_t>(kDayLogEntries)) {
        const size_t dropped = entries - (kDayLogEntries - 1);
        log.erase(log.begin(), log.begin() + static_cast<long>(dropped * kMarketDayBytes));
        entries -= dropped;
    }
    unsigned char entry[kMarketDayBytes] = {};
    std::memcpy(entry, previous, strnlen(previous, kDateSize - 1));
    encode_market(market, entry + kDateSize);
    log.insert(log.end(), entry, entry + kMarketDayBytes);
    (void)replace_file(kDayLogFile, log.data(), log.size());
}

// ---- the rollover ----

// Another node already ran the day that the clock shows now, while today is still the date this
// process took earlier (before midnight): that day is this session's day too.
void adopt_current_day(const char* market_date, char* today) {
    char now[kDateSize] = "";
    today_text(now);
    if (!same_date(today, now) && same_date(market_date, now)) copy_date(today, now);
}

// The update, its save, the day's note and the player-file pass. The pass only follows a saved
// market: with the save lost, the next session runs the day and its pass again.
void run_market_day(MarketRecord& market, const char* today, const char* previous, bool prices_move,
                    bool held, void (*before_update)()) {
    if (before_update != nullptr) before_update();
    run_daily_update(market, today, prices_move);
    HeldFile successor(kMarketFile);
    const int saved = held ? replace_market_keeping(market, successor) : save_market(market);
    if (saved != 0) return;
    note_market_day(previous, market);
    (void)player_file_pass(market, today, previous);
}

// ---- the record at session end ----

// Finds name in the held quonda.plr: at offset first, else anywhere. Returns the position where
// the record is (found set, stored filled) or where it is to be appended: the end of the whole
// records, over a fragment if there is one.
int32_t locate_player(int fd, const char* name, int32_t offset, PlayerRecord& stored, bool& found) {
    found = false;
    if (offset >= 0 && offset % kPlayerBytes == 0 && lseek(fd, offset, SEEK_SET) == offset &&
        read_player(fd, stored) == kPlayerBytes && same_name(stored.name, name)) {
        found = true;
        return offset;
    }
    if (lseek(fd, 0, SEEK_SET) != 0) return offset;
    int32_t at = 0;
    unsigned char block[kPlayerBlockRecords * kPlayerBytes];
    for (;;) {
        size_t done = 0;
        while (done < sizeof block) {
            const ssize_t moved = read(fd, block + done, sizeof block - done);
            if (moved <= 0) break;
            done += static_cast<size_t>(moved);
        }
        const size_t records = done / kPlayerBytes;
        for (size_t i = 0; i < records; ++i, at += kPlayerBytes) {
            const unsigned char* bytes = block + i * kPlayerBytes;
            if (strncasecmp(reinterpret_cast<const char*>(bytes), name, kNameSize) == 0) {
                decode_player(bytes, stored);
                found = true;
                return at;
            }
        }
        if (done < sizeof block) return at;
    }
}

// Writes one record at position in the held quonda.plr. A record that would not fit at the end
// is cut off again, so the file always ends with a whole record. 0, or -1 on a short write.
int write_player_at(int fd, const PlayerRecord& player, int32_t position) {
    struct stat before {};
    const bool sized = fstat(fd, &before) == 0;
    if (lseek(fd, position, SEEK_SET) != position) return -1;
    if (write_player(fd, player) == kPlayerBytes) return 0;
    if (sized && position + kPlayerBytes > before.st_size) (void)ftruncate(fd, position);
    return -1;
}

// Records compare as stored: names ignoring case, every other byte exactly.
bool same_record(const PlayerRecord& a, const PlayerRecord& b) {
    unsigned char left[kPlayerBytes];
    unsigned char right[kPlayerBytes];
    encode_player(a, left);
    encode_player(b, right);
    return same_name(a.name, b.name) &&
           std::memcmp(left + kNameSize, right + kNameSize, kPlayerBytes - kNameSize) == 0;
}

// The caller's record into quonda.plr at session end, after days were carried into it. Where
// nobody else changed the stored record since the lookup (it is the one found then, carried
// through the same days, or as this session itself last wrote it) ours replaces it; otherwise the
// two are merged. 0 written, -1 short write, -2 would not open.
int commit_player(PlayerRecord& player, int32_t& offset, const std::vector<MarketDay>& days,
                  const MarketRecord& market) {
    HeldFile players(kPlayerFile);
    if (!players.open(kModeUpdate, false)) return -2;
    PlayerRecord stored{};
    bool found = false;
    const int32_t at = locate_player(players.fd(), player.name, offset, stored, found);
    if (found && g_baseline.player_noted) {
        PlayerRecord base{};
        bool untouched = false;
        if (g_baseline.stored) {
            base = g_baseline.record;
            const bool kept = carry_days_stored(base, days);
            untouched =
                (kept && same_record(stored, base)) || same_record(stored, g_baseline.record);
            if (!kept) base = PlayerRecord{};
        }
        if (!untouched) player = merge_player(stored, player, base, market);
    }
    const int written = write_player_at(players.fd(), player, at);
    if (written == 0) offset = at;
    return written;
}

// The market to write at session end: the disk's with this session's changes merged in, or this
// session's own when there is no readable market on disk or the disk's is older than ours. days
// receives the market days that other nodes ran since this session began.
MarketRecord market_to_commit(const HeldFile& dat, const MarketRecord& mine,
                              std::vector<MarketDay>& days) {
    const MarketRecord& base = g_baseline.market;
    MarketRecord disk{};
    if (read_held_market(dat, disk) != 0) return mine;
    if (!same_date(disk.date, base.date) && !read_market_days(base.date, disk.date, days)) {
        // Not in the log (it keeps a few days only): one day is assumed, the disk's own.
        if (day_number(disk.date) < day_number(base.date)) return mine;
        MarketDay day{};
        copy_date(day.previous, base.date);
        day.market = disk;
        days.push_back(day);
    }
    MarketRecord merged = disk;
    merge_market(base, mine, days, merged);
    return merged;
}

// ---- merging ----

bool text_changed(const char* base, const char* mine, int width) {
    return std::strncmp(base, mine, static_cast<size_t>(width)) != 0;
}

void take_text(const char* base, const char* mine, char* target, int width) {
    if (text_changed(base, mine, width)) std::memcpy(target, mine, static_cast<size_t>(width));
}

template <class T>
void take(const T& base, const T& mine, T& target) {
    if (mine != base) target = mine;
}

int32_t doubled_times(int32_t units, int doublings) {
    int64_t value = units;
    for (int i = 0; i < doublings; ++i)
        value = std::clamp<int64_t>(2 * value, INT32_MIN, INT32_MAX);
    return static_cast<int32_t>(value);
}

// Fields of one company that mine changed against base, into disk. The day fields (prices,
// trends) only on the same day; the standing ones always, totals doubled by the splits since.
void take_company_edits(const CompanyRecord& base, const CompanyRecord& mine, CompanyRecord& disk,
                        bool same_day, int doublings) {
    take_text(base.symbol, mine.symbol, disk.symbol, kSymbolSize);
    take_text(base.name, mine.name, disk.name, kNameSize);
    for (int line = 0; line < kHistoryLines; ++line) {
        take_text(base.history[line], mine.history[line], disk.history[line], kHistoryLineSize);
    }
    take(base.type, mine.type, disk.type);
    for (int k = 0; k < kKindCount; ++k) {
        if (mine.total[k] != base.total[k]) disk.total[k] = doubled_times(mine.total[k], doublings);
        take(base.initial_price[k], mine.initial_price[k], disk.initial_price[k]);
    }
    take(base.option_conversion_price, mine.option_conversion_price, disk.option_conversion_price);
    take(base.split_price, mine.split_price, disk.split_price);
    take(base.bond_guaranteed_value, mine.bond_guaranteed_value, disk.bond_guaranteed_value);
    if (!same_day) return;
    for (int k = 0; k < kKindCount; ++k) {
        for (int day = 0; day < kHistoryDays; ++day) {
            take(base.price[k][day], mine.price[k][day], disk.price[k][day]);
        }
        take(base.trend[k], mine.trend[k], disk.trend[k]);
    }
}

// available + delta, kept within 0..total; a value the sysop put outside that range is never
// moved further out.
int32_t moved_available(int32_t available, int64_t delta, int32_t total) {
    int64_t result = int64_t{available} + delta;
    if (delta < 0 && result < 0) result = std::min<int64_t>(available, 0);
    if (delta > 0 && result > total) result = std::max<int64_t>(available, total);
    return saturate32(result);
}

}  // namespace

// ---- the rollover ----

int bring_market_to_today(MarketRecord& market, char* today, char* previous_market_date,
                          bool& prices_move, bool& updated, void (*before_update)()) {
    updated = false;
    (void)build_default_market(market);
    HeldFile dat(kMarketFile);
    const int opened = open_locked(dat.handle, kModeUpdate, true, true);
    if (opened == kOpenLockTimeout) return -1;
    // A market that cannot be opened for writing (a read-only installation) is still loaded and
    // played; its day then runs without the lock, as a single node would run it.
    const bool held = opened == kOpenOk;
    const int loaded = held ? read_held_market(dat, market) : load_market(market);
    copy_date(previous_market_date, market.date);
    if (loaded == -1) return -1;
    if (loaded == -2) prices_move = false;
    adopt_current_day(market.date, today);
    if (same_date(market.date, today)) return loaded;
    run_market_day(market, today, previous_market_date, prices_move, held, before_update);
    updated = true;
    return loaded;
}

// ---- baselines ----

void note_market_baseline(const MarketRecord& market) {
    g_baseline.market_noted = true;
    g_baseline.market = market;
}

void note_player_baseline(const PlayerRecord* stored) {
    g_baseline.player_noted = true;
    g_baseline.stored = stored != nullptr;
    g_baseline.record = stored != nullptr ? *stored : PlayerRecord{};
}

void forget_session_baselines() {
    g_baseline = Baseline{};
}

// ---- session end ----

ScoreFigures commit_session(MarketRecord& market, PlayerRecord& player, int32_t& player_offset,
                            int32_t start_cash) {
    if (!g_baseline.market_noted) {
        // Not begun by session start: nothing to merge against, the plain writes.
        (void)save_market(market);
        const ScoreFigures figures = score_player(player, market, start_cash);
        (void)rewrite_player(player, player_offset);
        return figures;
    }
    // The session's changes go to both files or to neither: a market that cannot be locked
    // writes no record, a record that cannot be written leaves the market as it is.
    HeldFile dat(kMarketFile);
    if (!dat.open(kModeUpdate, true)) return score_player(player, market, start_cash);
    std::vector<MarketDay> days;
    const MarketRecord merged = market_to_commit(dat, market, days);
    carry_days(player, days);
    const ScoreFigures figures = score_player(player, merged, start_cash);
    if (commit_player(player, player_offset, days, merged) == 0) (void)replace_market(merged);
    market = merged;
    return figures;
}

int commit_session_market(MarketRecord& market) {
    if (!g_baseline.market_noted) return save_market(market) == 0 ? 0 : -1;
    HeldFile dat(kMarketFile);
    if (!dat.open(kModeUpdate, true)) return -1;
    std::vector<MarketDay> days;
    market = market_to_commit(dat, market, days);
    return replace_market(market);
}

// ---- the player editor ----

int write_session_player(const PlayerRecord& player, const char* stored_name,
                         int32_t& player_offset) {
    HeldFile players(kPlayerFile);
    if (!players.open(kModeUpdate, false)) return -2;
    PlayerRecord stored{};
    bool found = false;
    const int32_t at = locate_player(players.fd(), stored_name, player_offset, stored, found);
    if (write_player_at(players.fd(), player, at) != 0) return -1;
    player_offset = at;
    // The file now holds this session's record: session end merges against this one.
    g_baseline.player_noted = true;
    g_baseline.stored = true;
    g_baseline.record = player;
    return 0;
}

int write_edited_player(const PlayerRecord& before, PlayerRecord& after, int32_t& position) {
    HeldFile players(kPlayerFile);
    if (!players.open(kModeUpdate, false)) return -2;
    PlayerRecord stored{};
    bool found = false;
    const int32_t at = locate_player(players.fd(), before.name, position, stored, found);
    if (!found) return -3;
    apply_edited_fields(before, after, stored);
    if (write_player_at(players.fd(), stored, at) != 0) return -1;
    position = at;
    after = stored;
    return 0;
}

// ---- pieces ----

bool read_market_days(const char* from, const char* to, std::vector<MarketDay>& days) {
    days.clear();
    const std::vector<unsigned char> log = read_whole(kDayLogFile);
    const size_t entries = log.size() / kMarketDayBytes;
    if (entries == 0 || !entry_date_is(day_entry(log, entries - 1), to)) return false;
    // Back from the newest day to the one that followed `from`: the latest such chain.
    size_t first = entries;
    for (size_t i = entries; i-- > 0;) {
        if (entry_previous_is(day_entry(log, i), from)) {
            first = i;
            break;
        }
    }
    if (first == entries) return false;
    for (size_t i = first; i < entries; ++i) {
        MarketDay day{};
        std::memcpy(day.previous, day_entry(log, i), kDateSize);
        day.previous[kDateSize - 1] = '\0';
        decode_market(day_entry(log, i) + kDateSize, day.market);
        days.push_back(day);
    }
    return true;
}

void carry_days(PlayerRecord& player, const std::vector<MarketDay>& days) {
    char last_played[kDateSize];
    std::memcpy(last_played, player.last_played, kDateSize);
    for (const MarketDay& day : days) {
        // A caller in play is never away too long.
        copy_date(player.last_played, day.market.date);
        (void)pass_player(player, day.market, day_number(day.market.date), month_changed(day));
    }
    std::memcpy(player.last_played, last_played, kDateSize);
}

bool carry_days_stored(PlayerRecord& player, const std::vector<MarketDay>& days) {
    for (const MarketDay& day : days) {
        if (!pass_player(player, day.market, day_number(day.market.date), month_changed(day))) {
            return false;
        }
    }
    return true;
}

void merge_market(const MarketRecord& base, const MarketRecord& mine,
                  const std::vector<MarketDay>& days, MarketRecord& disk) {
    const bool same_day = days.empty();
    if (same_day) take(base.general_trend, mine.general_trend, disk.general_trend);
    for (int c = 0; c < kCompanyCount; ++c) {
        // What the days since did to the company: each split doubles the units this session
        // moved, a crash gave every unit of the issue back, and a rebirth undid every edit.
        bool reborn = false;
        int doublings = 0;
        int64_t factor[kKindCount] = {1, 1, 1, 1};
        for (const MarketDay& day : days) {
            const CompanyRecord& then = day.market.companies[c];
            reborn = reborn || then.crashed[kCommon] != 0;
            if (then.split != 0) ++doublings;
            for (int k = 0; k < kKindCount; ++k) {
                factor[k] =
                    then.crashed[k] != 0
                        ? 0
                        : std::min<int64_t>(factor[k] * (then.split != 0 ? 2 : 1), INT32_MAX);
            }
        }
        const CompanyRecord& b = base.companies[c];
        const CompanyRecord& m = mine.companies[c];
        CompanyRecord& d = disk.companies[c];
        if (!reborn) take_company_edits(b, m, d, same_day, doublings);
        for (int k = 0; k < kKindCount; ++k) {
            const int64_t delta = (int64_t{m.available[k]} - b.available[k]) * factor[k];
            d.available[k] = moved_available(d.available[k], delta, d.total[k]);
        }
    }
}

PlayerRecord merge_player(const PlayerRecord& disk, const PlayerRecord& mine,
                          const PlayerRecord& base, const MarketRecord& market) {
    PlayerRecord out = disk;
    take_text(base.last_played, mine.last_played, out.last_played, kDateSize);
    take(base.reserved, mine.reserved, out.reserved);
    out.seconds_played =
        saturate32(int64_t{disk.seconds_played} + mine.seconds_played - base.seconds_played);
    out.times_played =
        saturate16(int64_t{disk.times_played} + mine.times_played - base.times_played);
    take_text(base.last_traded, mine.last_traded, out.last_traded, kDateSize);
    take(base.graphics_mode, mine.graphics_mode, out.graphics_mode);
    out.cash = saturate32(int64_t{disk.cash} + mine.cash - base.cash);
    int64_t worth = out.cash;
    for (int c = 0; c < kCompanyCount; ++c) {
        const Holding& b = base.holdings[c];
        const Holding& m = mine.holdings[c];
        Holding& h = out.holdings[c];
        for (int k = 0; k < kKindCount; ++k) {
            h.count[k] =
                saturate32(std::max<int64_t>(0, int64_t{h.count[k]} + m.count[k] - b.count[k]));
            take(b.last_price[k], m.last_price[k], h.last_price[k]);
            take(b.crashed[k], m.crashed[k], h.crashed[k]);
            worth += int64_t{h.count[k]} * market.companies[c].price[k][0];
        }
        h.short_count = saturate32(
            std::max<int64_t>(0, int64_t{h.short_count} + m.short_count - b.short_count));
        take(b.short_price, m.short_price, h.short_price);
        take(b.split, m.split, h.split);
    }
    out.net_worth = saturate32(worth);
    return out;
}

void apply_edited_fields(const PlayerRecord& before, const PlayerRecord& after,
                         PlayerRecord& target) {
    take_text(before.name, after.name, target.name, kNameSize);
    take_text(before.last_played, after.last_played, target.last_played, kDateSize);
    take(before.reserved, after.reserved, target.reserved);
    take(before.seconds_played, after.seconds_played, target.seconds_played);
    take(before.times_played, after.times_played, target.times_played);
    take_text(before.last_traded, after.last_traded, target.last_traded, kDateSize);
    take(before.graphics_mode, after.graphics_mode, target.graphics_mode);
    take(before.net_worth, after.net_worth, target.net_worth);
    take(before.cash, after.cash, target.cash);
    for (int c = 0; c < kCompanyCount; ++c) {
        const Holding& b = before.holdings[c];
        const Holding& a = after.holdings[c];
        Holding& t = target.holdings[c];
        for (int k = 0; k < kKindCount; ++k) {
            take(b.crashed[k], a.crashed[k], t.crashed[k]);
            take(b.last_price[k], a.last_price[k], t.last_price[k]);
            take(b.count[k], a.count[k], t.count[k]);
        }
        take(b.split, a.split, t.split);
        take(b.short_count, a.short_count, t.short_count);
        take(b.short_price, a.short_price, t.short_price);
    }
}

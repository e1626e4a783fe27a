// Little-endian codec of the game records, the market file and the player lookup and rewrite.
//
// Each record is walked field by field in one place (the walk_* templates) by three visitors:
// one packs the fields into a buffer, one unpacks them, and one marks where each field starts.
// A record then travels in one read() or write(); the field starts tell, after a short count,
// whether a field-by-field transfer would have stopped there or gone on to the next field, so
// results and the descriptor's position are those of the field-by-field transfer.
#include "data/codec.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "data/file_access.h"

namespace {

constexpr size_t kPathBytes = sizeof FileHandle{}.path;

// ---- field walks, in the order of the on-disk layouts ----

template <class Company, class Visitor>
constexpr void walk_company(Company& company, Visitor& v) {
    v.text(company.symbol, kSymbolSize);
    v.text(company.name, kNameSize);
    for (auto& line : company.history) v.text(line, kHistoryLineSize);
    v.i16(company.type);
    for (auto& flag : company.crashed) v.i16(flag);
    v.i16(company.split);
    for (auto& units : company.total) v.i32(units);
    for (auto& units : company.available) v.i32(units);
    for (auto& price : company.initial_price) v.i16(price);
    for (auto& kind : company.price) {
        for (auto& price : kind) v.i16(price);
    }
    for (auto& trend : company.trend) v.i16(trend);
    v.i16(company.option_conversion_price);
    v.i16(company.split_price);
    v.i16(company.bond_guaranteed_value);
}

template <class Market, class Visitor>
constexpr void walk_market(Market& market, Visitor& v) {
    v.text(market.date, kDateSize);
    v.i16(market.general_trend);
    for (auto& company : market.companies) walk_company(company, v);
}

template <class Holding_, class Visitor>
constexpr void walk_holding(Holding_& holding, Visitor& v) {
    for (auto& flag : holding.crashed) v.i16(flag);
    v.i16(holding.split);
    for (auto& price : holding.last_price) v.i16(price);
    for (auto& units : holding.count) v.i32(units);
    v.i32(holding.short_count);
    v.i16(holding.short_price);
}

template <class Player, class Visitor>
constexpr void walk_player(Player& player, Visitor& v) {
    v.text(player.name, kNameSize);
    v.text(player.last_played, kDateSize);
    v.i32(player.reserved);
    v.i32(player.seconds_played);
    v.i16(player.times_played);
    v.text(player.last_traded, kDateSize);
    v.i16(player.graphics_mode);
    v.i32(player.net_worth);
    v.i32(player.cash);
    for (auto& holding : player.holdings) walk_holding(holding, v);
}

// ---- visitors ----

// Packs fields little-endian. Text is copied up to its NUL and the rest of the field is written
// as zeros, so that stale memory never reaches the files.
struct Packer {
    unsigned char* out;
    void text(const char* field, int width) {
        const size_t used = strnlen(field, static_cast<size_t>(width));
        std::memcpy(out, field, used);
        std::memset(out + used, 0, static_cast<size_t>(width) - used);
        out += width;
    }
    void i16(int16_t value) {
        const auto bits = static_cast<uint16_t>(value);
        out[0] = static_cast<unsigned char>(bits);
        out[1] = static_cast<unsigned char>(bits >> 8);
        out += 2;
    }
    void i32(int32_t value) {
        const auto bits = static_cast<uint32_t>(value);
        for (int i = 0; i < 4; ++i) out[i] = static_cast<unsigned char>(bits >> (8 * i));
        out += 4;
    }
};

// Unpacks fields; text is copied byte for byte.
struct Unpacker {
    const unsigned char* in;
    void text(char* field, int width) {
        std::memcpy(field, in, static_cast<size_t>(width));
        in += width;
    }
    void i16(int16_t& value) {
        value = static_cast<int16_t>(static_cast<uint16_t>(in[0] | (in[1] << 8)));
        in += 2;
    }
    void i32(int32_t& value) {
        uint32_t bits = 0;
        for (int i = 0; i < 4; ++i) bits |= static_cast<uint32_t>(in[i]) << (8 * i);
        value = static_cast<int32_t>(bits);
        in += 4;
    }
};

// Marks the offset at which each field starts, and the record's end.
template <int Size>
struct FieldStarts {
    std::array<bool, Size + 1> starts{};
    int offset = 0;
    constexpr void mark(int width) {
        starts[offset] = true;
        offset += width;
        starts[offset] = true;
    }
    constexpr void text(const char*, int width) { mark(width); }
    constexpr void i16(const int16_t&) { mark(2); }
    constexpr void i32(const int32_t&) { mark(4); }
};

template <int Size, class Record, void (*Walk)(const Record&, FieldStarts<Size>&)>
constexpr FieldStarts<Size> field_starts() {
    FieldStarts<Size> marks;
    const Record record{};
    Walk(record, marks);
    return marks;
}

constexpr auto kCompanyStarts =
    field_starts<kCompanyBytes, CompanyRecord,
                 walk_company<const CompanyRecord, FieldStarts<kCompanyBytes>>>();
constexpr auto kMarketStarts =
    field_starts<kMarketBytes, MarketRecord,
                 walk_market<const MarketRecord, FieldStarts<kMarketBytes>>>();
constexpr auto kHoldingStarts =
    field_starts<kHoldingBytes, Holding, walk_holding<const Holding, FieldStarts<kHoldingBytes>>>();
constexpr auto kPlayerStarts =
    field_starts<kPlayerBytes, PlayerRecord,
                 walk_player<const PlayerRecord, FieldStarts<kPlayerBytes>>>();

// The walks cover exactly the documented record sizes.
static_assert(kCompanyStarts.offset == kCompanyBytes);
static_assert(kMarketStarts.offset == kMarketBytes);
static_assert(kHoldingStarts.offset == kHoldingBytes);
static_assert(kPlayerStarts.offset == kPlayerBytes);
static_assert(kMarketBytes == 14 + kCompanyCount * kCompanyBytes);
static_assert(kPlayerBytes == 76 + kCompanyCount * kHoldingBytes);

// ---- transfers ----

// Moves size bytes in as few calls as a field-by-field transfer allows. A short count that ends
// inside a field ends the record there; one that ends where a field starts goes on, as the next
// field's own transfer would. Results: size when complete; when the first field falls short its
// own count, or -1 on error (0 for holdings, whose codec reports errors as 0); otherwise the bytes
// moved before the failing transfer plus its short count.
template <class Move>
int transfer(int fd, unsigned char* bytes, int size, const bool* starts, bool holding, Move move) {
    int done = 0;
    for (;;) {
        const ssize_t moved = move(fd, bytes + done, static_cast<size_t>(size - done));
        if (moved == size - done) return size;
        if (moved <= 0) {
            if (done == 0 && moved < 0) return holding ? 0 : -1;
            return done;
        }
        done += static_cast<int>(moved);
        if (!starts[done]) return done;
    }
}

int read_bytes(int fd, unsigned char* bytes, int size, const bool* starts, bool holding = false) {
    return transfer(fd, bytes, size, starts, holding,
                    [](int f, unsigned char* p, size_t n) { return read(f, p, n); });
}

int write_bytes(int fd, const unsigned char* bytes, int size, const bool* starts,
                bool holding = false) {
    return transfer(fd, const_cast<unsigned char*>(bytes), size, starts, holding,
                    [](int f, unsigned char* p, size_t n) { return write(f, p, n); });
}

// Flushes the directory that holds path, so that a rename in it reaches the disk.
void sync_directory(const char* path) {
    char directory[kPathBytes] = ".";
    const char* slash = std::strrchr(path, '/');
    if (slash == path) {
        std::snprintf(directory, sizeof directory, "/");
    } else if (slash != nullptr) {
        std::snprintf(directory, sizeof directory, "%.*s", static_cast<int>(slash - path), path);
    }
    const int fd = open(directory, O_RDONLY | O_DIRECTORY);
    if (fd < 0) return;
    (void)fsync(fd);
    close(fd);
}

// Upper-cases a name of at most kNameSize bytes in place.
void upper_name(char* name) {
    for (int i = 0; i < kNameSize && name[i] != '\0'; ++i) {
        name[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[i])));
    }
}

}  // namespace

// ---- field helpers ----

int read_int16(int fd, int16_t& value) {
    unsigned char bytes[2];
    const ssize_t moved = read(fd, bytes, sizeof bytes);
    if (moved == 2) Unpacker{bytes}.i16(value);
    return static_cast<int>(moved);
}

int read_int32(int fd, int32_t& value) {
    unsigned char bytes[4];
    const ssize_t moved = read(fd, bytes, sizeof bytes);
    if (moved == 4) Unpacker{bytes}.i32(value);
    return static_cast<int>(moved);
}

int write_int16(int fd, int16_t value) {
    unsigned char bytes[2];
    Packer{bytes}.i16(value);
    return static_cast<int>(write(fd, bytes, sizeof bytes));
}

int write_int32(int fd, int32_t value) {
    unsigned char bytes[4];
    Packer{bytes}.i32(value);
    return static_cast<int>(write(fd, bytes, sizeof bytes));
}

// ---- in-memory layouts ----

void encode_market(const MarketRecord& market, unsigned char* out) {
    Packer packer{out};
    walk_market(market, packer);
}

void decode_market(const unsigned char* in, MarketRecord& market) {
    Unpacker unpacker{in};
    walk_market(market, unpacker);
}

void encode_player(const PlayerRecord& player, unsigned char* out) {
    Packer packer{out};
    walk_player(player, packer);
}

void decode_player(const unsigned char* in, PlayerRecord& player) {
    Unpacker unpacker{in};
    walk_player(player, unpacker);
}

namespace {

// Finds where the player walk puts net_worth.
struct NetWorthOffset {
    const PlayerRecord* record;
    int offset = 0;
    int found = -1;
    constexpr void text(const char*, int width) { offset += width; }
    constexpr void i16(const int16_t&) { offset += 2; }
    constexpr void i32(const int32_t& field) {
        if (&field == &record->net_worth) found = offset;
        offset += 4;
    }
};

constexpr int kNetWorthOffset = [] {
    const PlayerRecord record{};
    NetWorthOffset finder{&record};
    walk_player(record, finder);
    return finder.found;
}();
static_assert(kNetWorthOffset == 68);

}  // namespace

int32_t decode_player_net_worth(const unsigned char* in) {
    int32_t net_worth = 0;
    Unpacker{in + kNetWorthOffset}.i32(net_worth);
    return net_worth;
}

// ---- record codec; a record is only changed by a complete read ----

int read_company(int fd, CompanyRecord& company) {
    unsigned char bytes[kCompanyBytes];
    const int moved = read_bytes(fd, bytes, kCompanyBytes, kCompanyStarts.starts.data());
    if (moved == kCompanyBytes) {
        Unpacker unpacker{bytes};
        walk_company(company, unpacker);
    }
    return moved;
}

int write_company(int fd, const CompanyRecord& company) {
    unsigned char bytes[kCompanyBytes];
    Packer packer{bytes};
    walk_company(company, packer);
    return write_bytes(fd, bytes, kCompanyBytes, kCompanyStarts.starts.data());
}

int read_market(int fd, MarketRecord& market) {
    unsigned char bytes[kMarketBytes];
    const int moved = read_bytes(fd, bytes, kMarketBytes, kMarketStarts.starts.data());
    if (moved == kMarketBytes) decode_market(bytes, market);
    return moved;
}

int write_market(int fd, const MarketRecord& market) {
    unsigned char bytes[kMarketBytes];
    encode_market(market, bytes);
    return write_bytes(fd, bytes, kMarketBytes, kMarketStarts.starts.data());
}

int read_holding(int fd, Holding& holding) {
    unsigned char bytes[kHoldingBytes];
    const int moved = read_bytes(fd, bytes, kHoldingBytes, kHoldingStarts.starts.data(), true);
    if (moved == kHoldingBytes) {
        Unpacker unpacker{bytes};
        walk_holding(holding, unpacker);
    }
    return moved;
}

int write_holding(int fd, const Holding& holding) {
    unsigned char bytes[kHoldingBytes];
    Packer packer{bytes};
    walk_holding(holding, packer);
    return write_bytes(fd, bytes, kHoldingBytes, kHoldingStarts.starts.data(), true);
}

int read_player(int fd, PlayerRecord& player) {
    unsigned char bytes[kPlayerBytes];
    const int moved = read_bytes(fd, bytes, kPlayerBytes, kPlayerStarts.starts.data());
    if (moved == kPlayerBytes) decode_player(bytes, player);
    return moved;
}

int write_player(int fd, const PlayerRecord& player) {
    unsigned char bytes[kPlayerBytes];
    encode_player(player, bytes);
    return write_bytes(fd, bytes, kPlayerBytes, kPlayerStarts.starts.data());
}

// ---- market file ----

int load_market(MarketRecord& market, const char* path) {
    FileHandle file;
    std::snprintf(file.path, sizeof file.path, "%s", path);
    const int opened = open_locked(file, kModeRead, true, false);
    // Only a missing file means "no market yet": one that exists but cannot be opened must not
    // be replaced by the defaults.
    if (opened == kOpenMissing) return -2;
    if (opened != kOpenOk) return -1;
    const int moved = read_market(file.fd, market);
    close_locked(file);
    return moved == kMarketBytes ? 0 : -1;
}

// The market is never written in place: a complete copy goes to path + ".tmp" and is renamed
// over quonda.dat, so a crash or a full disk leaves the old market or the new one, never part
// of one. quonda.dat stays locked meanwhile, so saves still follow each other; a node that was
// waiting for the old file finds the new one (open_locked checks that the name still leads to
// the file it locked). A missing quonda.dat is not created empty to be locked: an empty market
// file would stop every later session, so the first save just puts its complete file in place.
int save_market(const MarketRecord& market, const char* path) {
    FileHandle current;
    std::snprintf(current.path, sizeof current.path, "%s", path);
    const int opened = open_locked(current, kModeUpdate, true, false);
    if (opened != kOpenOk && opened != kOpenMissing) return -2;
    FileHandle replacement;
    if (!temporary_name(path, replacement.path, sizeof replacement.path) ||
        open_locked(replacement, kModeWrite, true, true) != kOpenOk) {
        close_locked(current);
        return -2;
    }
    int result = -1;
    if (write_market(replacement.fd, market) == kMarketBytes) {
        result = commit_replacement(replacement, path);
    } else {
        discard_replacement(replacement);
    }
    close_locked(current);
    return result;
}

// ---- player file ----

namespace {

// Reads whole records into block until it holds count of them or the file ends or fails;
// returns the whole records read. A fragment at the end is consumed but not counted.
int read_player_block(int fd, unsigned char* block, int count) {
    const auto size = static_cast<size_t>(count) * kPlayerBytes;
    size_t done = 0;
    while (done < size) {
        const ssize_t moved = read(fd, block + done, size - done);
        if (moved <= 0) break;
        done += static_cast<size_t>(moved);
    }
    return static_cast<int>(done / kPlayerBytes);
}

}  // namespace

int find_player(const char* name, PlayerRecord& player, int32_t& offset, const char* path) {
    char wanted[kNameSize + 1] = "";
    std::strncpy(wanted, name, kNameSize);
    upper_name(wanted);

    FileHandle file;
    std::snprintf(file.path, sizeof file.path, "%s", path);
    if (open_locked(file, kModeRead, true, true) != kOpenOk) return -1;
    // Records come in blocks and only the name (the record's first field) is unpacked until one
    // matches; a name of another length cannot match and is passed over at once. On a miss
    // offset ends where the whole records end, as a record-by-record read would leave it.
    const size_t wanted_length = std::strlen(wanted);
    static unsigned char block[kPlayerScanRecords * kPlayerBytes];
    offset = static_cast<int32_t>(current_offset(file.fd));
    int found = 0;
    while (found == 0) {
        const int records = read_player_block(file.fd, block, kPlayerScanRecords);
        for (int i = 0; i < records; ++i) {
            const unsigned char* bytes = block + static_cast<size_t>(i) * kPlayerBytes;
            char stored[kNameSize];
            Unpacker{bytes}.text(stored, kNameSize);
            if (strnlen(stored, kNameSize) != wanted_length) {
                offset += kPlayerBytes;
                continue;
            }
            upper_name(stored);
            if (strncasecmp(stored, wanted, kNameSize) == 0) {
                decode_player(bytes, player);
                upper_name(player.name);
                found = 1;
                break;
            }
            offset += kPlayerBytes;
        }
        if (records < kPlayerScanRecords) break;
    }
    close_locked(file);
    return found;
}

int rewrite_player(const PlayerRecord& player, int32_t offset, const char* path) {
    FileHandle file;
    std::snprintf(file.path, sizeof file.path, "%s", path);
    if (open_locked(file, kModeUpdate, true, false) != kOpenOk) return -2;
    struct stat before {};
    const bool sized = fstat(file.fd, &before) == 0;
    int result = -1;
    if (lseek(file.fd, offset, SEEK_SET) == offset) {
        if (write_player(file.fd, player) == kPlayerBytes) {
            result = 0;
        } else if (sized && offset + kPlayerBytes > before.st_size) {
            // A record appended (or written over the end's fragment) that did not fit, on a
            // full disk for instance: cut the piece off, so the file ends with a whole record.
            (void)ftruncate(file.fd, offset);
        }
    }
    close_locked(file);
    return result;
}

// ---- whole-file replacement ----

bool temporary_name(const char* path, char* out, size_t size) {
    return std::snprintf(out, size, "%s%s", path, kTemporarySuffix) < static_cast<int>(size);
}

int commit_replacement(FileHandle& temporary, const char* path) {
    bool done = temporary.stream != nullptr && std::ferror(temporary.stream) == 0 &&
                std::fflush(temporary.stream) == 0 && fsync(temporary.fd) == 0;
    // Renamed while still open and locked: a node waiting to write the temporary must find
    // that its name has moved on, not take over the file that now holds the data.
    done = done && std::rename(temporary.path, path) == 0;
    if (done) {
        sync_directory(path);
        close_locked(temporary);
        return 0;
    }
    discard_replacement(temporary);
    return -1;
}

void discard_replacement(FileHandle& temporary) {
    std::remove(temporary.path);
    close_locked(temporary);
}

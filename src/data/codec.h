// Little-endian codec of the game records and the market and player file operations.
// Readers and writers return the bytes moved; anything but the record size is a failure.
// Each record moves in one read() or write(); a reader changes the record only when complete.
#pragma once

#include <cstddef>
#include <cstdint>

#include "data/records.h"

struct FileHandle;

int read_int16(int fd, int16_t& value);
int read_int32(int fd, int32_t& value);
int write_int16(int fd, int16_t value);
int write_int32(int fd, int32_t value);

int read_company(int fd, CompanyRecord& company);
int write_company(int fd, const CompanyRecord& company);
int read_market(int fd, MarketRecord& market);
int write_market(int fd, const MarketRecord& market);
int read_holding(int fd, Holding& holding);
int write_holding(int fd, const Holding& holding);
int read_player(int fd, PlayerRecord& player);
int write_player(int fd, const PlayerRecord& player);

// In-memory forms of the same layouts, for code that moves many records in one transfer.
void encode_market(const MarketRecord& market, unsigned char* out);  // kMarketBytes
void decode_market(const unsigned char* in, MarketRecord& market);
void encode_player(const PlayerRecord& player, unsigned char* out);  // kPlayerBytes
void decode_player(const unsigned char* in, PlayerRecord& player);
// The net worth of an encoded player record alone (the bulletin ranks every record by it).
int32_t decode_player_net_worth(const unsigned char* in);

// quonda.dat: 0 on success; -2 when there is no quonda.dat; -1 when fewer bytes than a whole
// market moved, or the file exists but could not be opened (held beyond the lock wait, no
// permission): such a market must never be replaced by the defaults. A failed load leaves the
// record unchanged. save_market: 0, -1 short write, -2 cannot open.
[[nodiscard]] int load_market(MarketRecord& market, const char* path = "quonda.dat");
[[nodiscard]] int save_market(const MarketRecord& market, const char* path = "quonda.dat");

// Blocks of records for reading quonda.plr a block at a time. A block of kPlayerBlockRecords
// (71,168 bytes) fits on the stack; the whole-file passes (the lookup, the player-file pass, the
// bulletin) keep a static block of kPlayerScanRecords (569,344 bytes, a whole number of 4 KiB
// pages): few large transfers, and the same memory whatever the file's size.
constexpr int kPlayerBlockRecords = 128;
constexpr int kPlayerScanRecords = 1024;

// Player lookup: finds name (case-insensitive) in quonda.plr, opened in read mode and created
// when missing. Returns 1 when found (record filled), 0 when not found, -1 when the file cannot
// be opened. offset receives the record's position, or the end of the whole records on a miss.
[[nodiscard]] int find_player(const char* name, PlayerRecord& player, int32_t& offset,
                              const char* path = "quonda.plr");
// Rewrites (or appends) a record at offset in quonda.plr opened for update without creating it.
// Returns 0 on success, -1 on a short write, -2 when the file cannot be opened.
[[nodiscard]] int rewrite_player(const PlayerRecord& player, int32_t offset,
                                 const char* path = "quonda.plr");

// Whole-file replacement: a complete copy is written to a temporary in the same directory
// (path + kTemporarySuffix, or the pass's quonda.tmp) and renamed over the file, so that a
// crash, a full disk or a write error leaves the old file or the new one, never part of one.
constexpr const char* kTemporarySuffix = ".tmp";
// Fills out with path + kTemporarySuffix; false when it does not fit in size bytes.
bool temporary_name(const char* path, char* out, size_t size);
// Flushes the open temporary (stream, then disk), renames it over path while it is still
// locked and flushes the directory; 0. On a write error met before or during the flush, or a
// failed rename, the temporary is removed and path is left as it was; -1. Closes the handle.
int commit_replacement(FileHandle& temporary, const char* path);
// Closes and removes an unfinished temporary.
void discard_replacement(FileHandle& temporary);

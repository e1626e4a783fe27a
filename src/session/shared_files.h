// The files that several nodes share: the market day brought to today under one lock, the log of
// market days (quonda.day), and session end's commit, which merges what this session changed into
// quonda.dat and quonda.plr as other nodes left them instead of writing its stale copies over them.
#pragma once

#include <cstdint>
#include <vector>

#include "data/records.h"
#include "session/session.h"

constexpr const char* kDayLogFile = "quonda.day";
constexpr int kDayLogEntries = 16;  // market days kept in quonda.day, newest last

// One market day as the rollover left it: the market date before the update and the market after.
struct MarketDay {
    char previous[kDateSize];
    MarketRecord market;
};
// quonda.day: MarketDay records back to back, each the previous date (12 bytes) and the market in
// its quonda.dat layout.
constexpr int kMarketDayBytes = kDateSize + kMarketBytes;

// Builds the default market, loads quonda.dat over it and, when its date is not today, runs the
// daily update, saves the market, notes the day in quonda.day and runs the player-file pass, while
// quonda.dat stays locked from the load to the end of the pass: nodes starting at once run a day
// exactly once. When another node has already run the day the clock now shows and today is an
// older date (this process took it before midnight), today becomes that day and nothing runs.
// before_update (may be null) is called just before an update runs. Returns as load_market: 0
// loaded, -1 unreadable (the market must not be replaced), -2 no market yet (the defaults are in
// force and prices_move is cleared). updated tells whether a day ran here.
[[nodiscard]] int bring_market_to_today(MarketRecord& market, char* today,
                                        char* previous_market_date, bool& prices_move,
                                        bool& updated, void (*before_update)() = nullptr);

// What the session started from, noted by session start: the market right after the rollover,
// and the caller's record as quonda.plr held it at the lookup (nullptr: there was none). Session
// end merges only changes made since then. Without them it writes the plain way.
void note_market_baseline(const MarketRecord& market);
void note_player_baseline(const PlayerRecord* stored);
void forget_session_baselines();

// Session end with the caller looked up: under quonda.dat's lock and then quonda.plr's, brings the
// caller's record through any market days other nodes ran since the session began, scores it
// (score_player) against the market as it now stands, and writes both files: the market merged
// (merge_market) and the record merged (merge_player) where it was found by name. market becomes
// the merged market, player the record written, player_offset its position. Both files are
// written or neither (quonda.dat not lockable, quonda.plr not writable).
ScoreFigures commit_session(MarketRecord& market, PlayerRecord& player, int32_t& player_offset,
                            int32_t start_cash);
// Session end before the caller was looked up: the market alone. 0 written, -1 not.
int commit_session_market(MarketRecord& market);

// The player editor's writes, each under quonda.plr's lock from its read to its write.
// The session player's own record: written whole where stored_name (the name it is stored under,
// before any rename) is found, or appended; player_offset follows it, and session end counts the
// write as this session's own. 0 written, -1 short write, -2 quonda.plr would not open.
int write_session_player(const PlayerRecord& player, const char* stored_name,
                         int32_t& player_offset);
// Another player's record: the fields the sysop changed (after against before) are put into the
// record as it is now, found by before's name at position or elsewhere; position follows it and
// after receives the record written. 0 written, -1 short write, -2 would not open, -3 the player
// is no longer in the file.
int write_edited_player(const PlayerRecord& before, PlayerRecord& after, int32_t& position);

// ---- pieces that work on records alone ----

// The market days that lead from the market dated `from` to the newest one dated `to`, oldest
// first, from quonda.day. False when the log does not hold that chain.
bool read_market_days(const char* from, const char* to, std::vector<MarketDay>& days);
// Carries days into a record being played (it is never dropped as away too long).
void carry_days(PlayerRecord& player, const std::vector<MarketDay>& days);
// Carries days into a stored record as the player-file pass did; false when a pass dropped it.
bool carry_days_stored(PlayerRecord& player, const std::vector<MarketDay>& days);
// Merges into disk (the market as it stands on disk, after days since base) what mine changed
// against base: available moves by mine - base (doubled by each split since, nothing for an issue
// that crashed since) and stays within 0..total; other fields mine changed overwrite disk's: all
// of them on the same day, only the company's standing ones (names, description, type, totals,
// issue prices, conversion, split and guaranteed prices) when days ran since, and none for a
// company reborn since. Crash and split flags are the days' own.
void merge_market(const MarketRecord& base, const MarketRecord& mine,
                  const std::vector<MarketDay>& days, MarketRecord& disk);
// A record changed elsewhere too (by another session of the same player, or the sysop on another
// node): disk plus what mine changed against base, counts and cash added, other fields mine
// changed taken from mine; counts never below 0; net worth again from the market's prices.
PlayerRecord merge_player(const PlayerRecord& disk, const PlayerRecord& mine,
                          const PlayerRecord& base, const MarketRecord& market);
// The fields of after that differ from before, put into target (the player editor's write).
void apply_edited_fields(const PlayerRecord& before, const PlayerRecord& after,
                         PlayerRecord& target);

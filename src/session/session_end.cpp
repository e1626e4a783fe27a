// Every way out of a session: saving, the scoring summary, the top-10 bulletin and the goodbye;
// and the daily player-file pass that carries a market update into every stored player.
#include <cstdio>
#include <cstring>
#include <ctime>

#include "data/codec.h"
#include "data/dates.h"
#include "data/file_access.h"
#include "data/session_state.h"
#include "doorkit/opendoors.h"
#include "screens/framework.h"
#include "session/session.h"
#include "session/shared_files.h"
#include "session/time_control.h"
#include "session/terminal.h"

namespace {

constexpr const char* kPlayerFile = "quonda.plr";
constexpr const char* kPassFile = "quonda.tmp";
constexpr int kSecondsPerDay = 86400;
constexpr int kDaysKept = 30;  // a player away longer than this is dropped

// Products and sums of money wrap as 32-bit integers would.
int32_t mul32(int64_t a, int64_t b) {
    return static_cast<int32_t>(a * b);
}
int32_t add32(int64_t a, int64_t b) {
    return static_cast<int32_t>(a + b);
}

bool open_file(FileHandle& handle, const char* path, int mode, bool binary, bool may_create) {
    const size_t length = strnlen(path, sizeof handle.path);
    if (length == sizeof handle.path) return false;  // a name too long to open
    std::memcpy(handle.path, path, length + 1);
    return open_locked(handle, mode, binary, may_create) == 0;
}

// One whole record from a binary stream; false at the first short read.
bool read_record(std::FILE* stream, PlayerRecord& player) {
    unsigned char bytes[kPlayerBytes];
    if (std::fread(bytes, 1, kPlayerBytes, stream) != static_cast<size_t>(kPlayerBytes)) {
        return false;
    }
    decode_player(bytes, player);
    return true;
}

// Puts the pass's finished output in place of the player file: flushed to disk and renamed
// over it, never removed first, so there is always a whole player file. On a write error (a
// full disk) the old file stays and the output is removed. 0 replaced, -1 not.
int replace_player_file(FileHandle& output, const char* player_path) {
    return commit_replacement(output, player_path) == 0 ? 0 : -1;
}

void update_record_and_show_score() {
    SessionState& s = g_session;
    PlayerRecord& player = s.player;
    const int mode = player.graphics_mode;
    const int32_t now = seconds_since_midnight();
    const int32_t length = session_length(now, s.session_start_seconds);
    std::memcpy(player.last_played, s.today, kDateSize);
    player.times_played = static_cast<int16_t>(player.times_played + 1);
    player.seconds_played = add32(player.seconds_played, length);
    // The day's counts and the end of this session, for the daily limits of time control.
    if (g_time_control.tier >= 0) {
        store_session_end(player.name, s.today, s.session_start_seconds + length, length);
    }

    draw_title_banner();
    term_printf("%s", mode == kColorMode ? "\e[1;37;40m" : "\e[1m");
    term_printf("                              SCORING SUMMARY\r\n\r\n");
    // Writes the market and the record too, merged with what other nodes wrote meanwhile.
    const ScoreFigures figures = commit_session(s.market, player, s.player_offset, s.start_cash);
    term_printf("        ");
    term_printf("%s", mode == kAsciiMode ? "\e[0m" : "\e[1;32;40m");
    for (int i = 0; i < kNameSize && s.user_name[i] != '\0' && s.user_name[i] != ' '; ++i) {
        term_echo_char(s.user_name[i]);
    }
    term_printf(" you started with a net worth of %ld.\r\n", static_cast<long>(figures.started));
    term_printf("        Your current net worth is %ld.\r\n", static_cast<long>(figures.current));

    if (od_control.remote) write_bulletin();

    term_printf("\r\n");
    term_printf("%s", mode == kAsciiMode ? "\e[1m" : "\e[1;37;40m");
    term_printf("                            Press [ENTER] to exit...");
    char answer[81];
    term_input_string(answer);
}

// Exit code 0: save what this session loaded or built, and only that. A hang-up before the
// market was built or the caller looked up must not write empty records over good ones.
void normal_end() {
    if (g_session.market_ready && !g_session.player_ready) {
        (void)commit_session_market(g_session.market);
    }
    if (g_session.player_ready) update_record_and_show_score();
}

}  // namespace

bool pass_player(PlayerRecord& player, const MarketRecord& market, int limit_day,
                 bool month_changed) {
    if (day_number(player.last_played) + kDaysKept < limit_day) return false;
    for (int c = 0; c < kCompanyCount; ++c) {
        const CompanyRecord& company = market.companies[c];
        Holding& holding = player.holdings[c];
        for (int k = 0; k < kKindCount; ++k) {
            holding.crashed[k] = static_cast<int16_t>(holding.crashed[k] + company.crashed[k]);
        }
        holding.split = static_cast<int16_t>(holding.split + company.split);

        if (company.crashed[kOptions]) holding.count[kOptions] = 0;
        if (company.crashed[kCommon]) {
            holding.count[kCommon] = 0;
            if (holding.short_count != 0) {
                // The short seller keeps the deposit and gains the shares' whole value.
                const int32_t value = mul32(holding.short_price, holding.short_count);
                player.cash = add32(player.cash, add32(value, value / 2));
                holding.short_count = 0;
            }
        }
        if (company.crashed[kPreferred]) holding.count[kPreferred] = 0;
        if (company.crashed[kBonds]) holding.count[kBonds] = 0;

        if (company.split) {
            for (int k = 0; k < kKindCount; ++k) holding.count[k] = mul32(holding.count[k], 2);
            holding.short_count = mul32(holding.short_count, 2);
            holding.short_price = static_cast<int16_t>((holding.short_price + 1) / 2);
        }

        if (month_changed) {
            if (holding.count[kBonds] > 0) {
                const int16_t price = company.price[kBonds][0];
                const int16_t paid =
                    price > company.bond_guaranteed_value ? price : company.bond_guaranteed_value;
                player.cash = add32(player.cash, mul32(holding.count[kBonds], paid));
                holding.count[kBonds] = 0;
            }
            if (company.type == kBlueChip && holding.count[kCommon] > 0) {
                player.cash = add32(player.cash,
                                    mul32(company.price[kCommon][0], holding.count[kCommon]) / 50);
            }
            if (company.type == kBlueChip && holding.count[kPreferred] > 0) {
                player.cash =
                    add32(player.cash,
                          mul32(company.price[kPreferred][0], holding.count[kPreferred]) / 25);
            }
        }
    }
    return true;
}

int player_file_pass(const MarketRecord& market, const char* today,
                     const char* previous_market_date) {
    const int limit_day = day_number(today);
    const bool month_changed = std::strncmp(today, previous_market_date, 3) != 0;
    FileHandle players;
    if (!open_file(players, kPlayerFile, kModeRead, true, false)) return -1;
    FileHandle output;
    if (!open_file(output, kPassFile, kModeWrite, true, true)) {
        close_locked(players);
        return -1;
    }
    // Whole blocks of records in and out. The records kept are packed towards the front of the
    // block they came in, so one buffer serves both ways; a fragment at the end is dropped.
    PlayerRecord player{};
    static unsigned char block[kPlayerScanRecords * kPlayerBytes];
    for (;;) {
        const size_t records = std::fread(block, kPlayerBytes, kPlayerScanRecords, players.stream);
        size_t kept = 0;
        for (size_t i = 0; i < records; ++i) {
            decode_player(block + i * kPlayerBytes, player);
            if (!pass_player(player, market, limit_day, month_changed)) continue;
            encode_player(player, block + kept * kPlayerBytes);
            ++kept;
        }
        if (kept > 0) std::fwrite(block, kPlayerBytes, kept, output.stream);
        if (records < static_cast<size_t>(kPlayerScanRecords)) break;
    }
    // quonda.plr is still locked: a node waiting for it gets the new file once it is in place.
    int replaced = -1;
    if (std::ferror(players.stream) == 0) {
        replaced = replace_player_file(output, kPlayerFile);
    } else {
        discard_replacement(output);  // after a read error the output is a cut-down copy
    }
    close_locked(players);
    return replaced;
}

ScoreFigures score_player(PlayerRecord& player, const MarketRecord& market, int32_t start_cash) {
    ScoreFigures figures{start_cash, player.cash};
    for (int c = 0; c < kCompanyCount; ++c) {
        Holding& holding = player.holdings[c];
        for (int k = 0; k < kKindCount; ++k) {
            const int16_t price = market.companies[c].price[k][0];
            figures.started =
                add32(figures.started, mul32(holding.count[k], holding.last_price[k]));
            figures.current = add32(figures.current, mul32(holding.count[k], price));
            holding.last_price[k] = price;
            holding.crashed[k] = 0;
        }
    }
    player.net_worth = figures.current;
    return figures;
}

int32_t session_length(int32_t now_seconds, int32_t start_seconds) {
    if (now_seconds < start_seconds) now_seconds += kSecondsPerDay;
    return now_seconds - start_seconds;
}

void reset_top_list(TopList& list) {
    for (TopEntry& entry : list) entry = TopEntry{-1, 0};
}

void offer_top_list(TopList& list, int32_t net_worth, int32_t offset) {
    if (net_worth <= list[kTopCount - 1].net_worth) return;
    list[kTopCount] = TopEntry{net_worth, offset};
    bool swapped = true;
    while (swapped) {
        swapped = false;
        for (int i = kTopCount - 1; i >= 0; --i) {
            if (list[i].net_worth < list[i + 1].net_worth) {
                const TopEntry behind = list[i + 1];
                list[i + 1] = list[i];
                list[i] = behind;
                swapped = true;
            }
        }
    }
}

void write_bulletin() {
    TopList top;
    reset_top_list(top);
    FileHandle players;
    if (!open_file(players, kPlayerFile, kModeRead, true, false)) return;
    PlayerRecord player{};
    {
        static unsigned char block[kPlayerScanRecords * kPlayerBytes];
        int32_t offset = 0;  // of the next record
        for (;;) {
            const size_t records =
                std::fread(block, kPlayerBytes, kPlayerScanRecords, players.stream);
            for (size_t i = 0; i < records; ++i, offset += kPlayerBytes) {
                offer_top_list(top, decode_player_net_worth(block + i * kPlayerBytes), offset);
            }
            if (records < static_cast<size_t>(kPlayerScanRecords)) break;
        }
    }

    const char* bulletin_name = g_session.config.bulletin_file;
    FileHandle bulletin;
    if (bulletin_name[0] == '\0' || !open_file(bulletin, bulletin_name, kModeWrite, false, true)) {
        close_locked(players);
        return;
    }
    std::FILE* out = bulletin.stream;
    std::fputs("\n\n         B U L L M O O R\n", out);
    std::fputs("                        T O P   1 0   T Y C O O N S\n\n\n", out);
    std::fputs("                  Last updated: ", out);
    const std::time_t now = clock_now();
    const char* stamp = std::ctime(&now);
    std::fprintf(out, "%s\n", stamp ? stamp : "\n");
    std::fputs("                Player Name                   Net Worth  \n", out);
    std::fputs("     -----------------------------------------------------------------\n", out);
    for (int i = 0; i < kTopCount; ++i) {
        if (top[i].net_worth == -1) continue;
        if (std::fseek(players.stream, top[i].offset, SEEK_SET) == 0 &&
            read_record(players.stream, player)) {
            std::fprintf(out, "       %.*s", static_cast<int>(strnlen(player.name, kNameSize)),
                         player.name);
            std::fprintf(out, "        %8ld", static_cast<long>(player.net_worth));
        }
        std::fputs("\n", out);
    }
    close_locked(bulletin);
    close_locked(players);
}

void session_end(int exit_code) {
    // A second way out while the first is under way (a hang-up during the summary) just leaves.
    static bool ending = false;
    if (!ending) {
        ending = true;
        if (exit_code == 0) normal_end();
    }
    term_clear_screen();
    term_printf("\e[0;37;40m");
    term_printf("\r\n");
    if (od_control.remote) {
        term_printf("Returning to %s....", g_session.config.bbs_name);
        term_printf("\r\n\r\n");
    }
    od_exit(exit_code);
}

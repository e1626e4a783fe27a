// check: every field of quonda.dat and quonda.plr against what the game can have written, and the
// units of each issue held by players plus those available against those issued. --salvage writes
// fresh files from the whole, sound records and keeps the old ones as backups.
#include <cctype>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "data/codec.h"
#include "data/file_access.h"
#include "data/records.h"
#include "market/market.h"
#include "sysop.h"

namespace {

constexpr const char* kKindNames[] = {"options", "common stock", "preferred stock", "bonds"};
constexpr const char* kUnitNames[] = {"options", "common shares", "preferred shares", "bonds"};
constexpr int kLargestTrend = 9;
constexpr int kLargestType = kBlueChip;
constexpr int kLargestGraphicsMode = kColorMode;
constexpr size_t kCompaniesOffset = 14;  // date and general trend come first

std::string format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

// Problems found, in the order they were found.
using Problems = std::vector<std::string>;

// ---- market ----

struct MarketAnalysis {
    MarketRecord market{};                   // the bytes decoded, zeros past a short end
    bool whole = false;                      // the file holds a whole market
    bool date_sound = false;                 // the date is whole and a date
    bool trend_sound = false;                // the general trend is whole and 0..9
    bool company_sound[kCompanyCount] = {};  // whole and every field in range
    bool sound() const {
        if (!whole || !date_sound || !trend_sound) return false;
        for (bool company : company_sound) {
            if (!company) return false;
        }
        return true;
    }
};

std::string company_label(const CompanyRecord& company, int index) {
    if (text_field_problem(company.symbol, kSymbolSize, false) == nullptr) {
        return format("company %d (%s)", index, field_text(company.symbol, kSymbolSize).c_str());
    }
    return format("company %d", index);
}

// Adds each problem of one company; true when there is none.
bool check_company(const CompanyRecord& company, int index, Problems& problems) {
    const size_t before = problems.size();
    const std::string at = std::string(kMarketFile) + ": " + company_label(company, index) + ": ";
    auto problem = [&](const std::string& text) { problems.push_back(at + text + "."); };

    const char* symbol = text_field_problem(company.symbol, kSymbolSize, false);
    if (symbol != nullptr) {
        problem(std::string("the symbol ") + symbol);
    } else if (std::strlen(company.symbol) != kSymbolSize - 1) {
        problem("the symbol is not three characters");
    }
    if (const char* name = text_field_problem(company.name, kNameSize, false)) {
        problem(std::string("the name ") + name);
    }
    for (int line = 0; line < kHistoryLines; ++line) {
        if (const char* text = text_field_problem(company.history[line], kHistoryLineSize, true)) {
            problem(format("description line %d ", line + 1) + text);
        }
    }
    if (company.type < 0 || company.type > kLargestType) {
        problem(format("the company type is %d, outside 0 to 2", company.type));
    }
    if (company.split < 0 || company.split > 1) {
        problem(format("the split flag is %d, not 0 or 1", company.split));
    }
    for (int k = 0; k < kKindCount; ++k) {
        const char* kind = kKindNames[k];
        if (company.crashed[k] < 0 || company.crashed[k] > 1) {
            problem(format("the %s crash flag is %d, not 0 or 1", kind, company.crashed[k]));
        }
        if (company.total[k] < 0) {
            problem(format("the %s total is %d, below 0", kind, company.total[k]));
        }
        if (company.available[k] < 0) {
            problem(format("%d %s are available, fewer than none", company.available[k],
                           kUnitNames[k]));
        } else if (company.available[k] > company.total[k] && company.total[k] >= 0) {
            problem(format("%d %s are available but only %d were issued", company.available[k],
                           kUnitNames[k], company.total[k]));
        }
        if (company.initial_price[k] < 0) {
            problem(format("the %s initial price is %d, below 0", kind, company.initial_price[k]));
        }
        for (int day = 0; day < kHistoryDays; ++day) {
            if (company.price[k][day] >= 0) continue;
            const std::string when = day == 0 ? "today" : format("%d days ago", day);
            problem(format("the %s price %s is %d, below 0", kind, when.c_str(),
                           company.price[k][day]));
        }
        if (company.trend[k] < 0 || company.trend[k] > kLargestTrend) {
            problem(format("the %s trend is %d, outside 0 to 9", kind, company.trend[k]));
        }
    }
    if (company.option_conversion_price < 0) {
        problem(
            format("the option conversion price is %d, below 0", company.option_conversion_price));
    }
    if (company.split_price < 0) {
        problem(format("the split price is %d, below 0", company.split_price));
    }
    if (company.bond_guaranteed_value < 0) {
        problem(format("the bond guaranteed price is %d, below 0", company.bond_guaranteed_value));
    }
    return problems.size() == before;
}

MarketAnalysis analyse_market(const std::string& bytes, Problems& problems) {
    MarketAnalysis analysis;
    std::string padded = bytes.substr(0, kMarketBytes);
    padded.resize(kMarketBytes, '\0');
    decode_market(reinterpret_cast<const unsigned char*>(padded.data()), analysis.market);
    const size_t size = bytes.size();
    analysis.whole = size >= static_cast<size_t>(kMarketBytes);
    const auto whole_companies =
        static_cast<int>(size < kCompaniesOffset ? 0 : (size - kCompaniesOffset) / kCompanyBytes);

    if (size < static_cast<size_t>(kMarketBytes)) {
        std::string where = format("inside company %d", whole_companies);
        if (size < kCompaniesOffset) where = "inside the general trend";
        if (size < kDateSize) where = "inside the market date";
        problems.push_back(format("%s is %zu bytes, but a market is %d bytes: it ends ",
                                  kMarketFile, size, kMarketBytes) +
                           where + ".");
    } else if (size > static_cast<size_t>(kMarketBytes)) {
        problems.push_back(format("%s is %zu bytes, but a market is %d bytes: %zu bytes follow it.",
                                  kMarketFile, size, kMarketBytes, size - kMarketBytes));
    }
    const MarketRecord& market = analysis.market;
    if (size >= kDateSize) {
        analysis.date_sound = is_date_text(market.date);
        if (!analysis.date_sound) {
            problems.push_back(format("%s: the market date \"%s\" is not a date.", kMarketFile,
                                      field_text(market.date, kDateSize).c_str()));
        }
    }
    if (size >= kCompaniesOffset) {
        analysis.trend_sound = market.general_trend >= 0 && market.general_trend <= kLargestTrend;
        if (!analysis.trend_sound) {
            problems.push_back(format("%s: the general trend is %d, outside 0 to 9.", kMarketFile,
                                      market.general_trend));
        }
    }
    for (int c = 0; c < kCompanyCount && c < whole_companies; ++c) {
        analysis.company_sound[c] = check_company(market.companies[c], c, problems);
    }
    return analysis;
}

// ---- players ----

struct PlayerAnalysis {
    size_t records = 0;                            // whole records
    size_t fragment = 0;                           // bytes of a cut-off record at the end
    std::vector<char> keep;                        // per record: sound and first of its name
    int64_t held[kCompanyCount][kKindCount] = {};  // units held by sound records
    bool sound() const {
        if (fragment != 0) return false;
        for (char kept : keep) {
            if (!kept) return false;
        }
        return true;
    }
};

std::string symbol_of(const MarketRecord& market, int company) {
    const CompanyRecord& record = market.companies[company];
    if (text_field_problem(record.symbol, kSymbolSize, false) == nullptr) {
        return field_text(record.symbol, kSymbolSize);
    }
    return format("company %d", company);
}

bool check_player(const PlayerRecord& player, size_t index, const MarketRecord& names,
                  Problems& problems) {
    const size_t before = problems.size();
    const char* name_problem = text_field_problem(player.name, kNameSize, false);
    const std::string at =
        name_problem == nullptr
            ? format("%s: record %zu (%s): ", kPlayerFile, index,
                     field_text(player.name, kNameSize).c_str())
            : format("%s: record %zu at byte %zu: ", kPlayerFile, index, index * kPlayerBytes);
    auto problem = [&](const std::string& text) { problems.push_back(at + text + "."); };

    if (name_problem != nullptr) problem(std::string("the name ") + name_problem);
    if (!is_date_text(player.last_played)) {
        problem("the last played date \"" + field_text(player.last_played, kDateSize) +
                "\" is not a date");
    }
    if (!is_date_text(player.last_traded)) {
        problem("the last traded date \"" + field_text(player.last_traded, kDateSize) +
                "\" is not a date");
    }
    if (player.seconds_played < 0) {
        problem(format("the seconds played are %d, below 0", player.seconds_played));
    }
    if (player.times_played < 0) {
        problem(format("the sessions played are %d, below 0", player.times_played));
    }
    if (player.graphics_mode < 0 || player.graphics_mode > kLargestGraphicsMode) {
        problem(format("the graphics mode is %d, outside 0 to 2", player.graphics_mode));
    }
    for (int c = 0; c < kCompanyCount; ++c) {
        const Holding& holding = player.holdings[c];
        const std::string symbol = symbol_of(names, c);
        for (int k = 0; k < kKindCount; ++k) {
            if (holding.count[k] < 0) {
                problem(format("holds %d %s of %s, fewer than none", holding.count[k],
                               kUnitNames[k], symbol.c_str()));
            }
            if (holding.last_price[k] < 0) {
                problem(format("the last seen price of %s %s is %d, below 0", symbol.c_str(),
                               kKindNames[k], holding.last_price[k]));
            }
            if (holding.crashed[k] < 0) {
                problem(format("the crash count of %s %s is %d, below 0", symbol.c_str(),
                               kKindNames[k], holding.crashed[k]));
            }
        }
        if (holding.split < 0) {
            problem(format("the split count of %s is %d, below 0", symbol.c_str(), holding.split));
        }
        if (holding.short_count < 0) {
            problem(format("has %d common shares of %s sold short, fewer than none",
                           holding.short_count, symbol.c_str()));
        }
        if (holding.short_price < 0) {
            problem(format("the short price of %s is %d, below 0", symbol.c_str(),
                           holding.short_price));
        }
    }
    return problems.size() == before;
}

std::string upper_name(const PlayerRecord& player) {
    std::string name(player.name, strnlen(player.name, kNameSize));
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return name;
}

PlayerAnalysis analyse_players(const std::string& bytes, const MarketRecord& names,
                               Problems& problems) {
    PlayerAnalysis analysis;
    analysis.records = bytes.size() / kPlayerBytes;
    analysis.fragment = bytes.size() % kPlayerBytes;
    analysis.keep.assign(analysis.records, 0);
    std::map<std::string, size_t> first_with_name;
    for (size_t n = 0; n < analysis.records; ++n) {
        PlayerRecord player{};
        decode_player(reinterpret_cast<const unsigned char*>(bytes.data() + n * kPlayerBytes),
                      player);
        if (!check_player(player, n, names, problems)) continue;
        // The lookup stops at the first record of a name: a later one is never played again.
        const auto [first, inserted] = first_with_name.emplace(upper_name(player), n);
        if (!inserted) {
            problems.push_back(
                format("%s: record %zu (%s) has the same name as record %zu: the game only finds "
                       "that one.",
                       kPlayerFile, n, field_text(player.name, kNameSize).c_str(), first->second));
            continue;
        }
        analysis.keep[n] = 1;
        for (int c = 0; c < kCompanyCount; ++c) {
            for (int k = 0; k < kKindCount; ++k) analysis.held[c][k] += player.holdings[c].count[k];
            analysis.held[c][kCommon] += player.holdings[c].short_count;
        }
    }
    if (analysis.fragment != 0) {
        problems.push_back(format(
            "%s is %zu bytes: %zu whole records of %d bytes and %zu bytes of a cut-off record.",
            kPlayerFile, bytes.size(), analysis.records, kPlayerBytes, analysis.fragment));
    }
    return analysis;
}

// Units are made only by issuing them: what players hold (short sales included, as they took
// their shares from the market) plus what is available never exceeds what was issued. Fewer is
// normal: the holdings of dropped players and matured bonds leave the market for good.
void check_units(const MarketAnalysis& market, const PlayerAnalysis& players, Problems& problems) {
    for (int c = 0; c < kCompanyCount; ++c) {
        if (!market.company_sound[c]) continue;
        const CompanyRecord& company = market.market.companies[c];
        for (int k = 0; k < kKindCount; ++k) {
            const int64_t held = players.held[c][k];
            const int64_t in_all = held + company.available[k];
            if (in_all <= company.total[k]) continue;
            problems.push_back(format(
                "%s %s: players hold %lld and %d are available, %lld in all, but only %d were "
                "issued.",
                field_text(company.symbol, kSymbolSize).c_str(), kUnitNames[k],
                static_cast<long long>(held), company.available[k], static_cast<long long>(in_all),
                company.total[k]));
        }
    }
}

// ---- salvage ----

void print_all(const Problems& problems) {
    for (const std::string& problem : problems) std::printf("%s\n", problem.c_str());
}

// Puts bytes in place of path through a temporary renamed over it, while path's own lock
// (held by the caller) keeps every node out. False when it cannot be written.
bool replace_file(const char* path, const std::string& bytes) {
    FileHandle replacement;
    if (!temporary_name(path, replacement.path, sizeof replacement.path) ||
        open_locked(replacement, kModeWrite, true, true) != kOpenOk) {
        return false;
    }
    if (std::fwrite(bytes.data(), 1, bytes.size(), replacement.stream) != bytes.size()) {
        discard_replacement(replacement);
        return false;
    }
    return commit_replacement(replacement, path) == 0;
}

// Opens path for update under its lock; false (with a message) when that fails.
bool open_for_salvage(FileHandle& handle, const char* path, std::string& bytes) {
    std::snprintf(handle.path, sizeof handle.path, "%s", path);
    if (open_locked(handle, kModeUpdate, true, false) != kOpenOk || !read_all(handle.fd, bytes)) {
        close_locked(handle);
        std::printf("%s: cannot be opened to salvage it.\n", path);
        return false;
    }
    return true;
}

// Keeps the whole, sound date, trend and companies; a company that is not is rebuilt from its
// default, a bad date becomes "never" (so the next session runs a market day) and a bad trend 5.
bool salvage_market() {
    FileHandle handle;
    std::string bytes;
    if (!open_for_salvage(handle, kMarketFile, bytes)) return false;
    Problems ignored;
    const MarketAnalysis analysis = analyse_market(bytes, ignored);
    MarketRecord fresh{};
    (void)build_default_market(fresh);
    if (analysis.date_sound) std::memcpy(fresh.date, analysis.market.date, kDateSize);
    if (analysis.trend_sound) fresh.general_trend = analysis.market.general_trend;
    std::string rebuilt;
    for (int c = 0; c < kCompanyCount; ++c) {
        if (analysis.company_sound[c]) {
            fresh.companies[c] = analysis.market.companies[c];
        } else {
            rebuilt += (rebuilt.empty() ? "" : ", ") + company_label(fresh.companies[c], c);
        }
    }
    std::string fresh_bytes(kMarketBytes, '\0');
    encode_market(fresh, reinterpret_cast<unsigned char*>(fresh_bytes.data()));
    std::string backup;
    const bool done =
        write_backup(kMarketFile, bytes, backup) && replace_file(kMarketFile, fresh_bytes);
    close_locked(handle);
    if (!done) {
        std::printf("%s: the salvaged market could not be written; the file is as it was.\n",
                    kMarketFile);
        return false;
    }
    std::printf("%s: salvaged. %s%s%sThe old file is kept as %s.\n", kMarketFile,
                analysis.date_sound
                    ? ""
                    : "The date is set to \"Jan 01 1900\", so the next session runs a market day. ",
                analysis.trend_sound ? "" : "The general trend is set to 5. ",
                rebuilt.empty() ? "" : ("Rebuilt from their defaults: " + rebuilt + ". ").c_str(),
                backup.c_str());
    return true;
}

// Keeps the whole, sound records, each name once, byte for byte and in their order.
bool salvage_players(const MarketRecord& names) {
    FileHandle handle;
    std::string bytes;
    if (!open_for_salvage(handle, kPlayerFile, bytes)) return false;
    Problems ignored;
    const PlayerAnalysis analysis = analyse_players(bytes, names, ignored);
    std::string kept;
    size_t kept_records = 0;
    for (size_t n = 0; n < analysis.records; ++n) {
        if (!analysis.keep[n]) continue;
        kept.append(bytes, n * kPlayerBytes, kPlayerBytes);
        ++kept_records;
    }
    std::string backup;
    const bool done = write_backup(kPlayerFile, bytes, backup) && replace_file(kPlayerFile, kept);
    close_locked(handle);
    if (!done) {
        std::printf("%s: the salvaged players could not be written; the file is as it was.\n",
                    kPlayerFile);
        return false;
    }
    std::printf("%s: salvaged. Kept %zu of %zu whole records%s. The old file is kept as %s.\n",
                kPlayerFile, kept_records, analysis.records,
                analysis.fragment != 0 ? " and dropped the cut-off record" : "", backup.c_str());
    return true;
}

}  // namespace

int run_check(bool salvage) {
    FileBytes market_file;
    FileBytes player_file;
    read_game_files(market_file, player_file);
    bool file_error = false;
    Problems problems;

    MarketAnalysis market;
    bool market_checked = false;
    if (!market_file.exists) {
        std::printf("%s: missing; the next session starts a fresh exchange.\n", kMarketFile);
    } else if (market_file.readable && market_file.bytes.empty()) {
        // What a first session leaves when it stops before its market is saved.
        std::printf("%s: empty; the next session starts a fresh exchange.\n", kMarketFile);
    } else if (!market_file.readable) {
        std::printf("%s: cannot be read (no permission, or held by another process).\n",
                    kMarketFile);
        file_error = true;
    } else {
        market = analyse_market(market_file.bytes, problems);
        market_checked = true;
    }
    const size_t market_problems = problems.size();

    // Player messages name companies by the symbols in the file, or the defaults without one.
    MarketRecord names = market.market;
    if (!market_checked || !market.whole) (void)build_default_market(names);
    PlayerAnalysis players;
    bool players_checked = false;
    if (!player_file.exists) {
        std::printf("%s: missing; no players yet.\n", kPlayerFile);
    } else if (!player_file.readable) {
        std::printf("%s: cannot be read (no permission, or held by another process).\n",
                    kPlayerFile);
        file_error = true;
    } else {
        players = analyse_players(player_file.bytes, names, problems);
        players_checked = true;
    }
    const size_t before_units = problems.size();
    if (market_checked && players_checked) check_units(market, players, problems);
    const bool units_wrong = problems.size() > before_units;

    print_all(problems);
    if (market_checked && market.sound()) {
        std::printf("%s: sound, the market of %s.\n", kMarketFile,
                    field_text(market.market.date, kDateSize).c_str());
    }
    if (players_checked && players.sound()) {
        std::printf("%s: sound, %zu players.\n", kPlayerFile, players.records);
    }
    if (problems.empty()) {
        if (!file_error) std::printf("No damage found.\n");
        return file_error ? kExitFileError : kExitOk;
    }
    std::printf("%zu problem%s found.\n", problems.size(), problems.size() == 1 ? "" : "s");
    if (!salvage) {
        if (market_problems > 0 || (players_checked && !players.sound())) {
            std::printf(
                "\"bullmoor-sysop check --salvage\" keeps the whole, sound records in "
                "fresh files.\n");
        }
        return file_error ? kExitFileError : kExitDamage;
    }
    if (market_checked && !market.sound() && !salvage_market()) file_error = true;
    if (players_checked && !players.sound() && !salvage_players(names)) file_error = true;
    if (units_wrong) {
        std::printf(
            "Units that do not add up are left as they are: correct them with the "
            "company editor.\n");
    }
    return file_error ? kExitFileError : kExitDamage;
}

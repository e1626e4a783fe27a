// The multi-node soak: several virtual callers play the real game at once on one working
// directory, under one clock that all of them read from a file and that the soak steps a day at a
// time. Callers trade, quit and call again; some sessions begin before a day change and end after
// another node ran the new day, some take today before midnight and reach the market after it,
// some nodes start a day together. A ledger keeps what every completed session left, the market
// days, and the units the rules take out of circulation; at the end the files are checked
// against it. Exit status 0 when nothing is lost, damaged or unaccounted for.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "data/codec.h"
#include "data/dates.h"
#include "data/records.h"
#include "market/market.h"
#include "market/reports.h"
#include "session/session.h"
#include "vcaller/caller.h"

namespace {

constexpr const char* kFaketimeLibrary = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1";
constexpr const char* kEnterPrompt = "Press [ENTER] to continue...";
constexpr int kScreenWait = 10000;  // ms for the door's next screen (it may wait for a lock)
constexpr int kFirstYear = 2024, kFirstMonth = 5, kFirstDay = 29;  // Jun 1 falls on day 3

struct Options {
    int nodes = 3;
    int players = 6;
    int days = 5;
    unsigned seed = 1;
    std::string dir;   // working directory; a fresh temporary one when empty
    std::string door;  // the game binary; the test build's bullmoor_test when empty
    bool keep = false;
    bool verbose = false;
};

struct Figures {
    int sessions = 0;   // sessions run to their end
    int refused = 0;    // of them, refused at start (traded today)
    int overtaken = 0;  // ended after another node ran a newer day
    int adopted = 0;    // took today before midnight, played the new day
    int trades = 0;
    int margin_calls = 0;
    int records_checked = 0;
    long units_unaccounted = 0;
    int records_lost = 0;
    int records_damaged = 0;
    int screen_mismatches = 0;  // a start, trade or summary differing from the ledger
};

Figures g_figures;
bool g_verbose = false;

void note(const std::string& text) {
    if (g_verbose) std::fprintf(stderr, "%s\n", text.c_str());
}

void problem(const std::string& text, VirtualCaller* caller = nullptr) {
    std::fprintf(stderr, "soak: %s\n", text.c_str());
    if (caller != nullptr) std::fprintf(stderr, "%s", caller->screen().dump().c_str());
}

// ---- the clock ----

std::string g_clock_path;

// Day i of the run as "YYYY-MM-DD 10:00:00" and as the game's date text.
std::tm day_tm(int index) {
    std::tm tm{};
    tm.tm_year = kFirstYear - 1900;
    tm.tm_mon = kFirstMonth - 1;
    tm.tm_mday = kFirstDay + index;
    tm.tm_hour = 10;
    const std::time_t t = timegm(&tm);
    gmtime_r(&t, &tm);
    return tm;
}
std::string clock_text(int index) {
    char text[32];
    const std::tm tm = day_tm(index);
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
    return text;
}
std::string date_text(int index) {
    char text[16];
    const std::tm tm = day_tm(index);
    std::strftime(text, sizeof text, "%b %d %Y", &tm);
    return text;
}

// Every door reads the clock from this file at each call (FAKETIME_NO_CACHE); it is replaced
// whole, so no door ever reads half a line.
void set_clock(int index) {
    const std::string temporary = g_clock_path + ".new";
    std::ofstream(temporary) << clock_text(index) << "\n";
    std::rename(temporary.c_str(), g_clock_path.c_str());
}

// ---- files ----

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void set_text(char* field, size_t size, const char* text) {
    std::memset(field, 0, size);
    std::memcpy(field, text, strnlen(text, size - 1));
}

// The starting exchange, dated the day before the first: some issues sit near a split or a
// crash so that the days bring both, and the month ends on day 2.
MarketRecord starting_market() {
    MarketRecord market{};
    (void)build_default_market(market);
    set_text(market.date, sizeof market.date, date_text(-1).c_str());
    market.general_trend = 9;  // a bull market at first; every day's walk lowers it by one
    market.companies[7].price[kCommon][0] = 117;  // MMC: splits at 120
    market.companies[7].trend[kCommon] = 7;
    market.companies[1].price[kCommon][0] = 195;  // LST: splits at 200
    market.companies[1].trend[kCommon] = 7;
    market.companies[9].price[kCommon][0] = 5;  // BBM: goes under
    market.companies[9].trend[kCommon] = 0;
    market.companies[8].price[kOptions][0] = 3;  // SSI options crash
    market.companies[8].trend[kOptions] = 0;
    market.companies[6].trend[kCommon] = 7;   // CCC, SXC and WHS rise: short sellers meet
    market.companies[10].trend[kCommon] = 7;  // margin calls
    market.companies[11].trend[kCommon] = 7;
    return market;
}

bool prepare_directory(const std::string& dir) {
    for (const char* name :
         {"quonda.new", "quonda.doc", "quonda.ttn", "quonda.tti", "quonda.ttc"}) {
        const std::string bytes = slurp(std::string(BULLMOOR_SOURCE_DIR) + "/dist/" + name);
        std::ofstream(dir + "/" + name, std::ios::binary) << bytes;
    }
    std::ofstream(dir + "/quonda.cfg", std::ios::binary)
        << "Soak BBS\r\nquonda.doc\r\nquonda.bul\r\nNobody In Particular\r\nsecret\r\n";
    unsigned char bytes[kMarketBytes];
    encode_market(starting_market(), bytes);
    std::ofstream(dir + "/quonda.dat", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes), kMarketBytes);
    return true;
}

// ---- the ledger ----

// A market day as the first session of the day left quonda.dat.
struct Day {
    std::string date;
    std::string previous;
    MarketRecord market;
};

// Units the rules took out of circulation: on day `day`, after that day's own update.
struct Removal {
    int day;
    int company;
    int kind;
    int64_t units;
};

struct PlayerLedger {
    std::string name;     // as stored (upper case)
    bool exists = false;  // a session of this player has ended normally
    PlayerRecord expected{};
    int day = -1;  // the day of the session that left `expected`
    int traded_day = -1;
    bool busy = false;
};

std::vector<Day> g_days;
std::vector<Removal> g_removals;
std::vector<PlayerLedger> g_players;

bool month_changed(int day) {
    return g_days[day].date.compare(0, 3, g_days[day].previous, 0, 3) != 0;
}

// Carries a record through the days after `from` up to `to`, as the daily pass does, noting the
// bonds that mature. Returns false when the pass would drop the player.
bool carry(PlayerRecord& record, int from, int to, bool note_removals) {
    for (int d = from + 1; d <= to; ++d) {
        const MarketRecord& market = g_days[d].market;
        if (note_removals && month_changed(d)) {
            for (int c = 0; c < kCompanyCount; ++c) {
                const CompanyRecord& company = market.companies[c];
                int64_t bonds = record.holdings[c].count[kBonds];
                if (company.crashed[kBonds]) bonds = 0;
                if (company.split) bonds *= 2;
                if (bonds > 0) g_removals.push_back({d, c, kBonds, bonds});
            }
        }
        if (!pass_player(record, market, day_number(g_days[d].date.c_str()), month_changed(d))) {
            return false;
        }
    }
    return true;
}

// ---- the screen ----

struct Table {
    int32_t count[kCompanyCount][kKindCount] = {};
    int price[kCompanyCount][kKindCount] = {};
    bool traded[kCompanyCount][kKindCount] = {};
    bool ok = true;
};

// Rows 2-13 of the holdings table: "count/$price" or "---" for each kind.
Table read_table(const VirtualScreen& screen) {
    Table table;
    for (int c = 0; c < kCompanyCount; ++c) {
        const std::string row = screen.row(2 + c);
        size_t at = 11;
        for (int k = 0; k < kKindCount; ++k) {
            while (at < row.size() && row[at] == ' ') ++at;
            if (row.compare(at, 3, "---") == 0) {
                at += 3;
                continue;
            }
            char* end = nullptr;
            const long count = std::strtol(row.c_str() + at, &end, 10);
            const size_t slash = static_cast<size_t>(end - row.c_str());
            if (row.compare(slash, 2, "/$") != 0) {
                table.ok = false;
                return table;
            }
            const long price = std::strtol(row.c_str() + slash + 2, &end, 10);
            table.count[c][k] = static_cast<int32_t>(count);
            table.price[c][k] = static_cast<int>(price);
            table.traded[c][k] = true;
            at = static_cast<size_t>(end - row.c_str());
        }
    }
    return table;
}

// The number after `label` on the screen, or false.
bool read_number(const VirtualScreen& screen, const std::string& label, long& value) {
    for (int r = 0; r < VirtualScreen::kRows; ++r) {
        const std::string row = screen.row(r);
        const size_t at = row.find(label);
        if (at != std::string::npos) {
            value = std::strtol(row.c_str() + at + label.size(), nullptr, 10);
            return true;
        }
    }
    return false;
}

// Waits for the first of texts to show; its index, or -1 when none did in time.
int wait_any(VirtualCaller& caller, const std::vector<std::string>& texts, int timeout_ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        for (size_t i = 0; i < texts.size(); ++i) {
            if (caller.screen().contains(texts[i])) return static_cast<int>(i);
        }
        if (std::chrono::steady_clock::now() >= deadline) return -1;
        caller.drain(5);
    }
}

// Rollovers seen per day (the "Updating market information" notice): one each.
std::map<int, int> g_updates;

// Redraws the whole main screen ("*") and waits for the redraw's last piece, the cash line:
// trades rewrite single cells of the holdings table, and only a whole redraw gives a table that
// reads the same way in every row.
bool refresh_main(VirtualCaller& caller) {
    const size_t from = caller.bytes_received();
    caller.type("*");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kScreenWait);
    while (caller.raw_output().find("Current cash:", from) == std::string::npos) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        caller.drain(5);
    }
    caller.drain(5);
    return true;
}

// ---- one session ----

enum class Phase { kStarting, kSignOn, kPlaying, kDone };

struct Session {
    int node = 0;
    int player = -1;
    std::unique_ptr<VirtualCaller> caller;
    Phase phase = Phase::kStarting;
    int day = -1;         // the session's market day
    bool linger = false;  // stays at the main menu across the next day change
    bool stale = false;   // took today before the next day began
    int trades_left = 0;
    bool traded = false;
    bool predicted = false;        // the start was predicted from the ledger and checked
    bool wiped_by_margin = false;  // the margin call at start takes all the caller has
    PlayerRecord mirror{};         // the caller's record as this session has it now
    bool failed = false;
};

std::string g_door;
std::string g_dir;
std::mt19937 g_random;

int pick(int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(g_random);
}

bool fail(Session& s, const std::string& what) {
    problem(g_players[s.player].name + ": " + what, s.caller.get());
    s.failed = true;
    ++g_figures.screen_mismatches;
    return false;
}

bool expect(Session& s, const std::string& text, int row = -1, int col = -1) {
    if (s.caller->wait_for(text, row, col, kScreenWait)) return true;
    return fail(s, "expected \"" + text + "\"");
}

void start_door(Session& s) {
    CallerOptions o;
    o.door = g_door;
    o.work_dir = g_dir;
    o.node = s.node;
    o.user_name = "Soak Player " + std::to_string(s.player + 1);
    o.env = {{"LD_PRELOAD", kFaketimeLibrary},
             {"FAKETIME_TIMESTAMP_FILE", g_clock_path},
             {"FAKETIME_NO_CACHE", "1"},
             {"DONT_FAKE_MONOTONIC", "1"}};
    s.caller = std::make_unique<VirtualCaller>(o);
    g_players[s.player].busy = true;
    if (!s.caller->start()) fail(s, "the door did not start");
    s.phase = Phase::kStarting;
}

// Up to the sign-on prompt; Enter is typed separately so that nodes can start together.
bool reach_sign_on(Session& s) {
    if (!expect(s, "Requires ANSI/VT100 support", 5, 0) || !expect(s, kEnterPrompt, 23, 2)) {
        return false;
    }
    s.phase = Phase::kSignOn;
    return true;
}

// Compares the table and cash on screen with the record the session should have.
bool check_screen(Session& s, const PlayerRecord& record, const char* when) {
    const Table table = read_table(s.caller->screen());
    long cash = 0;
    if (!table.ok || !read_number(s.caller->screen(), "Current cash: $", cash)) {
        return fail(s, std::string("unreadable holdings ") + when);
    }
    if (cash != record.cash) {
        return fail(s, std::string("cash ") + when + ": screen " + std::to_string(cash) +
                           ", ledger " + std::to_string(record.cash));
    }
    for (int c = 0; c < kCompanyCount; ++c) {
        for (int k = 0; k < kKindCount; ++k) {
            if (table.traded[c][k] && table.count[c][k] != record.holdings[c].count[k]) {
                return fail(s, std::string("holding ") + when + " of company " + std::to_string(c) +
                                   " kind " + std::to_string(k) + ": screen " +
                                   std::to_string(table.count[c][k]) + ", ledger " +
                                   std::to_string(record.holdings[c].count[k]));
            }
        }
    }
    return true;
}

// The record this returning player should start with: the ledger's, carried through the days
// since, then the margin call. Sets predicted unless the player is wiped out (a fresh portfolio
// is taken from the screen); notes the units a margin call takes out.
void predict_start(Session& s, bool wiped_screen, bool margin_screen) {
    PlayerLedger& p = g_players[s.player];
    PlayerRecord record = p.expected;
    if (!carry(record, p.day, s.day, true)) {
        fail(s, "the ledger would have dropped the player");
        return;
    }
    p.day = s.day;  // the days up to here are now in `record`: never carried twice
    p.expected = record;
    if (is_wiped_out(record) != wiped_screen) {
        fail(s, "wiped out differs from the ledger");
        return;
    }
    if (wiped_screen) return;
    const MarketRecord& market = g_days[s.day].market;
    bool called = false;
    for (int c = 0; c < kCompanyCount; ++c) {
        if (!margin_called(record.holdings[c], market.companies[c])) continue;
        called = true;
        const PlayerRecord before = record;
        if (settle_margin_call(record, market, c).wiped_out) s.wiped_by_margin = true;
        for (int j = 0; j < kCompanyCount; ++j) {
            for (int k = 0; k < kKindCount; ++k) {
                const int64_t gone = before.holdings[j].count[k] - record.holdings[j].count[k];
                if (gone > 0) g_removals.push_back({s.day, j, k, gone});
            }
        }
        g_removals.push_back({s.day, c, kCommon, before.holdings[c].short_count});
    }
    if (called != margin_screen) fail(s, "margin call differs from the ledger");
    if (called) ++g_figures.margin_calls;
    s.mirror = record;
    s.predicted = true;
}

// Once a session of day `s.day` is past its rollover, quonda.dat holds that day: its date,
// prices and crash and split flags stay until the next day runs (session ends change `available`
// only), so the ledger takes them from there.
bool record_day(Session& s) {
    if (static_cast<int>(g_days.size()) > s.day) return true;
    Day day;
    if (load_market(day.market, (g_dir + "/quonda.dat").c_str()) != 0) {
        return fail(s, "quonda.dat does not load");
    }
    day.date = day.market.date;
    day.previous = g_days.empty() ? date_text(-1) : g_days.back().date;
    if (day.date != date_text(s.day)) return fail(s, "the market is dated " + day.date);
    g_days.push_back(day);
    std::string prices =
        "market " + day.date + " trend " + std::to_string(day.market.general_trend) + ", common:";
    for (const CompanyRecord& company : day.market.companies) {
        prices += " " + std::string(company.symbol) + " " +
                  std::to_string(company.price[kCommon][0]) + "/" +
                  std::to_string(company.trend[kCommon]);
    }
    note(prices);
    return true;
}

void finish_quit(Session& s);

// From the sign-on Enter to the main menu (or to an end at start). False when the session ended.
bool play_start(Session& s) {
    PlayerLedger& p = g_players[s.player];
    const int seen = wait_any(*s.caller,
                              {"PLAYER GRAPHICS MODE SETTINGS", "T H E   S T O C K", "wiped out",
                               "already traded stocks today"},
                              kScreenWait);
    if (seen < 0) return fail(s, "no screen after sign-on");
    if (!record_day(s)) return false;
    if (s.caller->raw_output().find("Updating market information") != std::string::npos) {
        ++g_updates[s.day];
    }
    if (seen == 3) {
        if (!expect(s, kEnterPrompt)) return false;
        s.caller->type("\r");
        if (s.caller->wait_exit(kScreenWait) != 1) return fail(s, "a refusal did not exit 1");
        ++g_figures.refused;
        s.phase = Phase::kDone;
        return false;
    }
    if (p.exists && seen == 0) return fail(s, "a player of the ledger was treated as new");
    note(p.name + " starts on day " + std::to_string(s.day) + " node " + std::to_string(s.node) +
         (seen == 3 ? " (refused)" : "") + " ledger day " + std::to_string(p.day) + " cash " +
         std::to_string(p.expected.cash));
    if (seen == 2) {
        if (!expect(s, kEnterPrompt, 23, 2)) return false;
        s.caller->type("\r");
        if (!expect(s, "T H E   S T O C K")) return false;
    }
    if (seen == 0) {
        s.caller->type("0");
        if (!expect(s, kEnterPrompt, 23, 2)) return false;
        s.caller->type("\r");
        if (!expect(s, "Enter desired function (1-3): ")) return false;
        s.caller->type("3\r");
    }
    if (!expect(s, kEnterPrompt, 23, 2)) return false;
    s.caller->type("\r");
    if (!expect(s, "PRICE CHANGES SINCE YOU WERE LAST ON", 4, 20) ||
        !expect(s, kEnterPrompt, 22, 26)) {
        return false;
    }
    s.caller->type("\r");
    const int next = wait_any(*s.caller, {"MAIN COMMAND MENU", "NOTICE: MARGIN CALL"}, kScreenWait);
    if (next < 0) return fail(s, "no main menu");
    if (p.exists) predict_start(s, seen == 2, next == 1);
    if (next == 1) {
        if (!expect(s, kEnterPrompt)) return false;
        s.caller->type("\r");
        const int after =
            wait_any(*s.caller, {"MAIN COMMAND MENU", "SCORING SUMMARY"}, kScreenWait);
        if ((after == 1) != s.wiped_by_margin) return fail(s, "a wipe-out differs from the ledger");
        if (after == 1) {
            // The session ends at once, normally: the summary and the ledger as for a quit.
            set_text(s.mirror.last_played, kDateSize, g_days[s.day].date.c_str());
            finish_quit(s);
            return false;
        }
        if (after < 0) return fail(s, "no main menu after the margin call");
    }
    if (!expect(s, "Current cash:", 23, 2)) return false;
    if (s.predicted) {
        check_screen(s, s.mirror, "at start");
    } else {
        // New or wiped-out: the fresh portfolio as shown.
        const Table table = read_table(s.caller->screen());
        long cash = 0;
        read_number(s.caller->screen(), "Current cash: $", cash);
        PlayerRecord record{};
        set_text(record.name, sizeof record.name, p.name.c_str());
        record.cash = static_cast<int32_t>(cash);
        for (int c = 0; c < kCompanyCount; ++c) {
            for (int k = 0; k < kKindCount; ++k) record.holdings[c].count[k] = table.count[c][k];
        }
        s.mirror = record;
        p.day = s.day;
    }
    set_text(s.mirror.last_played, kDateSize, g_days[s.day].date.c_str());
    s.phase = Phase::kPlaying;
    return !s.failed;
}

// Types the keys of a menu: Home, down `index` times, Enter.
void choose(Session& s, int index) {
    s.caller->type("7" + std::string(static_cast<size_t>(index), '2') + "\r");
}

enum TradeOp { kBuy = 0, kSell = 1, kBuyBack = 2, kSellShort = 3, kExercise = 4 };

// One transaction chosen from what the mirror allows; false when the session failed.
bool trade_once(Session& s) {
    if (!refresh_main(*s.caller)) return fail(s, "no redraw");
    const Table table = read_table(s.caller->screen());
    const MarketRecord& market = g_days[s.day].market;
    PlayerRecord& m = s.mirror;
    struct Choice {
        int op, company, kind;
    };
    std::vector<Choice> choices;
    for (int c = 0; c < kCompanyCount; ++c) {
        const CompanyRecord& company = market.companies[c];
        for (int k = 0; k < kKindCount; ++k) {
            if (company.total[k] == 0) continue;
            choices.push_back({kBuy, c, k});
            if (m.holdings[c].count[k] > 0) choices.push_back({kSell, c, k});
        }
        if (company.total[kCommon] != 0) {
            if (m.holdings[c].short_count > 0) choices.push_back({kBuyBack, c, kCommon});
            if (m.holdings[c].short_count == 0) choices.push_back({kSellShort, c, kCommon});
            if (m.holdings[c].count[kOptions] > 0 && company.option_conversion_price > 0) {
                choices.push_back({kExercise, c, kCommon});
            }
        }
    }
    // The kind of transaction first (buys, sales, short sales, buy-backs, exercises in about
    // 35:25:20:10:10), then one of its possible targets; buying is always possible.
    const int roll = pick(0, 99);
    const int wanted = roll < 35   ? kBuy
                       : roll < 60 ? kSell
                       : roll < 80 ? kSellShort
                       : roll < 90 ? kBuyBack
                                   : kExercise;
    // Short sales go to rising issues where there are any, so that margin calls come.
    std::vector<Choice> of_kind;
    for (const Choice& c : choices) {
        if (c.op == wanted &&
            (c.op != kSellShort || market.companies[c.company].trend[kCommon] >= 5)) {
            of_kind.push_back(c);
        }
    }
    for (const Choice& c : choices) {
        if (of_kind.empty() && c.op == wanted) of_kind.push_back(c);
    }
    if (of_kind.empty()) {
        for (const Choice& c : choices) {
            if (c.op == kBuy) of_kind.push_back(c);
        }
    }
    const Choice choice =
        of_kind[static_cast<size_t>(pick(0, static_cast<int>(of_kind.size()) - 1))];
    choose(s, 2);  // Trade Stocks
    if (!expect(s, "STOCK TRADING MENU")) return false;
    choose(s, choice.op);
    if (!expect(s, "Select a company...", 23, 2)) return false;
    choose(s, choice.company);
    if (choice.op == kBuy || choice.op == kSell) {
        if (!expect(s, "Select a stock type...", 23, 2)) return false;
        s.caller->type(std::string(static_cast<size_t>(choice.kind), '2') + "\r");
    }
    const int seen = wait_any(*s.caller, {"]): ", "Sorry, "}, kScreenWait);
    if (seen != 0) return fail(s, "the trade was refused or did not ask");
    long most = 0;
    read_number(s.caller->screen(), "Enter quantity to trade (0-[", most);
    const long q = most <= 0                                 ? 0
                   : (choice.op == kSell && pick(0, 2) == 0) ? most
                                                             : pick(1, std::min(most, 40L));
    s.caller->type(std::to_string(q) + "\r");
    if (q > 0) {
        const int32_t price = table.price[choice.company][choice.kind];
        Holding& h = m.holdings[choice.company];
        switch (choice.op) {
            case kBuy:
                m.cash -= static_cast<int32_t>(price * q);
                h.count[choice.kind] += static_cast<int32_t>(q);
                break;
            case kSell:
                m.cash += static_cast<int32_t>(price * q);
                h.count[choice.kind] -= static_cast<int32_t>(q);
                break;
            case kBuyBack: {
                const int32_t value = static_cast<int32_t>(h.short_price * q);
                m.cash += value + value / 2 - static_cast<int32_t>(price * q);
                h.short_count -= static_cast<int32_t>(q);
                break;
            }
            case kSellShort:
                m.cash -= static_cast<int32_t>(q * (price / 2));
                h.short_price = static_cast<int16_t>(price);
                h.short_count += static_cast<int32_t>(q);
                break;
            case kExercise:
                m.cash -= static_cast<int32_t>(
                    market.companies[choice.company].option_conversion_price * q);
                h.count[kOptions] -= static_cast<int32_t>(q);
                h.count[kCommon] += static_cast<int32_t>(q);
                break;
        }
        set_text(m.last_traded, kDateSize, g_days[s.day].date.c_str());
        s.traded = true;
        ++g_figures.trades;
        if (!expect(s, kEnterPrompt, 23, 2)) return false;
        s.caller->type("\r");
    }
    if (!expect(s, "Current cash:", 23, 2)) return false;
    choose(s, 6);  // Quit Trading
    if (!expect(s, "MAIN COMMAND MENU", 14, 31) || !expect(s, "Current cash:", 23, 2)) return false;
    if (!refresh_main(*s.caller)) return fail(s, "no redraw");
    return check_screen(s, m, "after a trade");
}

// Exit BMR up to the summary; the rest (and the ledger) in finish_quit.
bool begin_quit(Session& s) {
    if (!refresh_main(*s.caller)) return fail(s, "no redraw");
    if (!check_screen(s, s.mirror, "at the end")) return false;
    choose(s, 6);
    if (!expect(s, "Sure you want to quit (Y/[N]): ", 23, 2)) return false;
    s.caller->type("y\r");
    return true;
}

void finish_quit(Session& s) {
    PlayerLedger& p = g_players[s.player];
    p.busy = false;
    s.phase = Phase::kDone;
    if (!expect(s, "SCORING SUMMARY") || !expect(s, "Press [ENTER] to exit...")) return;
    // The summary scores the record as stored: carried through any day another node ran since
    // this session began, at the newest prices.
    const int newest = static_cast<int>(g_days.size()) - 1;
    PlayerRecord stored = s.mirror;
    if (newest > s.day) {
        ++g_figures.overtaken;
        PlayerRecord carried = stored;
        std::vector<Removal> ignored;
        ignored.swap(g_removals);
        (void)carry(carried, s.day, newest, false);
        ignored.swap(g_removals);
        stored = carried;
    }
    int64_t worth = stored.cash;
    for (int c = 0; c < kCompanyCount; ++c) {
        for (int k = 0; k < kKindCount; ++k) {
            worth += int64_t{stored.holdings[c].count[k]} *
                     g_days[newest].market.companies[c].price[k][0];
        }
    }
    long shown = 0;
    if (!read_number(s.caller->screen(), "Your current net worth is ", shown) || shown != worth) {
        fail(s, "summary net worth " + std::to_string(shown) + ", ledger " + std::to_string(worth));
    }
    note(p.name + " ends day " + std::to_string(s.day) + " cash " + std::to_string(s.mirror.cash) +
         (newest > s.day ? " after day " + std::to_string(newest) + " ran" : ""));
    s.caller->type("\r");
    const int code = s.caller->wait_exit(kScreenWait);
    if (code != 0) fail(s, "exit code " + std::to_string(code));
    p.exists = true;
    p.expected = s.mirror;
    p.expected.net_worth = static_cast<int32_t>(worth);
    p.day = s.day;
    if (s.traded) p.traded_day = s.day;
}

// ---- the run ----

class Soak {
  public:
    explicit Soak(const Options& options)
        : o_(options), slots_(static_cast<size_t>(options.nodes)) {
        for (int i = 0; i < o_.nodes; ++i) slots_[static_cast<size_t>(i)].node = i + 1;
        for (Session& slot : slots_) slot.phase = Phase::kDone;
        for (int i = 0; i < o_.players; ++i) {
            PlayerLedger p;
            p.name = "SOAK PLAYER " + std::to_string(i + 1);
            g_players.push_back(p);
        }
    }

    void run() {
        for (int d = 0; d < o_.days; ++d) {
            set_clock(d);
            note("day " + date_text(d));
            run_day(d);
        }
    }

  private:
    bool last_day(int d) const { return d == o_.days - 1; }

    int lingering() const {
        int count = 0;
        for (const Session& slot : slots_) count += slot.phase == Phase::kPlaying && slot.linger;
        return count;
    }

    int free_slots() const {
        int count = 0;
        for (const Session& slot : slots_) count += slot.phase == Phase::kDone;
        return count;
    }

    Session* free_slot() {
        for (Session& slot : slots_) {
            if (slot.phase == Phase::kDone) return &slot;
        }
        return nullptr;
    }

    int eligible_player(int d, bool traded_today) {
        std::vector<int> ids;
        for (int i = 0; i < o_.players; ++i) {
            const PlayerLedger& p = g_players[static_cast<size_t>(i)];
            if (!p.busy && (p.traded_day == d) == traded_today) ids.push_back(i);
        }
        if (ids.empty()) return -1;
        return ids[static_cast<size_t>(pick(0, static_cast<int>(ids.size()) - 1))];
    }

    // Starts a session in a free slot, up to its sign-on prompt; nullptr when none could start.
    Session* open_session(int d, bool traded_today) {
        Session* slot = free_slot();
        if (slot == nullptr) return nullptr;
        const int player = eligible_player(d, traded_today);
        if (player < 0) return nullptr;
        const int node = slot->node;
        *slot = Session{};
        slot->node = node;
        slot->player = player;
        slot->day = d;
        slot->trades_left = pick(1, 4);
        slot->linger = !last_day(d) && lingering() < std::max(1, o_.nodes - 2) && pick(0, 2) == 0;
        start_door(*slot);
        if (!slot->failed) reach_sign_on(*slot);
        if (slot->failed) end_failed(*slot);
        return slot->failed ? nullptr : slot;
    }

    // Past the sign-on to the main menu, or to its end at start.
    void enter(Session& s) {
        s.caller->type("\r");
        enter_typed(s);
    }

    void end_failed(Session& s) {
        ++g_figures.sessions;
        g_players[static_cast<size_t>(s.player)].busy = false;
        s.caller.reset();
        s.phase = Phase::kDone;
    }

    void finish_session(Session& s) {
        ++g_figures.sessions;
        g_players[static_cast<size_t>(s.player)].busy = false;
        s.caller.reset();
        s.phase = Phase::kDone;
    }

    void quit(std::vector<Session*> sessions) {
        std::vector<Session*> quitting;
        for (Session* s : sessions) {
            if (begin_quit(*s)) {
                quitting.push_back(s);
            } else {
                end_failed(*s);
            }
        }
        for (Session* s : quitting) {
            finish_quit(*s);
            if (s->failed) {
                end_failed(*s);
            } else {
                finish_session(*s);
            }
        }
    }

    void run_day(int d) {
        started_today_ = 0;
        // Nodes that start together race for the day's rollover.
        std::vector<Session*> wave;
        const int wave_size = pick(1, o_.nodes);
        for (int i = 0; i < wave_size; ++i) {
            Session* s = open_session(d, false);
            if (s != nullptr) wave.push_back(s);
        }
        for (Session* s : wave) s->caller->type("\r");
        for (Session* s : wave) enter_typed(*s);
        // Yesterday's last comers: a session that took today before the day changed now finds
        // the new day run; sessions that played on across the change trade on and end.
        for (Session& s : slots_) {
            if (s.phase == Phase::kSignOn && s.stale) {
                s.day = d;
                ++g_figures.adopted;
                enter(s);
            }
        }
        for (Session& s : slots_) {
            if (s.phase == Phase::kPlaying && s.day < d) {
                s.trades_left = pick(0, 2);
                s.linger = false;
            }
        }
        // The day's play: start, trade and quit in random order.
        const int target = o_.players + pick(0, o_.players / 2);
        for (;;) {
            std::vector<Session*> active;
            for (Session& s : slots_) {
                if (s.phase == Phase::kPlaying &&
                    !(s.linger && s.trades_left == 0 && !last_day(d))) {
                    active.push_back(&s);
                }
            }
            const bool can_start = started_today_ < target && free_slot() != nullptr;
            if (active.empty() && !can_start) break;
            if (can_start && (active.empty() || pick(0, 2) == 0)) {
                const bool refusal = pick(0, 6) == 0;
                Session* s = open_session(d, refusal);
                if (s == nullptr) {
                    ++started_today_;  // nobody eligible: count it, so the day ends
                    continue;
                }
                enter(*s);
                continue;
            }
            Session* s = active[static_cast<size_t>(pick(0, static_cast<int>(active.size()) - 1))];
            if (s->trades_left > 0) {
                --s->trades_left;
                if (!trade_once(*s)) end_failed(*s);
                continue;
            }
            // Sometimes two sessions end at once, their commits racing for the locks.
            std::vector<Session*> ending{s};
            for (Session* other : active) {
                if (other != s && other->trades_left == 0 && !(other->linger && !last_day(d)) &&
                    pick(0, 1) == 0) {
                    ending.push_back(other);
                    break;
                }
            }
            quit(ending);
        }
        if (last_day(d)) return;
        // One more caller takes today now and signs on after the day has changed.
        if (free_slots() >= 2 && pick(0, 1) == 0) {
            Session* s = open_session(d, false);
            if (s != nullptr) s->stale = true;
        }
    }

    // The rest of enter() for a session whose Enter was typed already.
    void enter_typed(Session& s) {
        const bool playing = play_start(s);
        ++started_today_;
        if (s.failed) {
            end_failed(s);
        } else if (!playing) {
            finish_session(s);
        }
    }

    Options o_;
    std::vector<Session> slots_;
    int started_today_ = 0;
};

// ---- the check ----

std::vector<PlayerRecord> stored_players(const std::string& bytes) {
    std::vector<PlayerRecord> players;
    for (size_t at = 0; at + kPlayerBytes <= bytes.size(); at += kPlayerBytes) {
        PlayerRecord p{};
        decode_player(reinterpret_cast<const unsigned char*>(bytes.data() + at), p);
        players.push_back(p);
    }
    return players;
}

bool same_holdings(const PlayerRecord& a, const PlayerRecord& b, std::string& why) {
    if (a.cash != b.cash) why = "cash " + std::to_string(a.cash) + " for " + std::to_string(b.cash);
    if (a.net_worth != b.net_worth) {
        why = "net worth " + std::to_string(a.net_worth) + " for " + std::to_string(b.net_worth);
    }
    for (int c = 0; c < kCompanyCount; ++c) {
        const Holding& x = a.holdings[c];
        const Holding& y = b.holdings[c];
        for (int k = 0; k < kKindCount; ++k) {
            if (x.count[k] != y.count[k]) {
                why = "company " + std::to_string(c) + " kind " + std::to_string(k) + ": " +
                      std::to_string(x.count[k]) + " for " + std::to_string(y.count[k]);
            }
        }
        if (x.short_count != y.short_count ||
            (y.short_count != 0 && x.short_price != y.short_price)) {
            why = "short position of company " + std::to_string(c);
        }
    }
    return why.empty();
}

void check_files() {
    const int last = static_cast<int>(g_days.size()) - 1;
    const std::string bytes = slurp(g_dir + "/quonda.plr");
    if (bytes.size() % kPlayerBytes != 0) {
        problem("quonda.plr is not a whole number of records");
        ++g_figures.records_damaged;
    }
    const std::vector<PlayerRecord> stored = stored_players(bytes);
    std::map<std::string, int> seen;
    for (const PlayerRecord& p : stored) ++seen[std::string(p.name, strnlen(p.name, kNameSize))];

    // Every player's record: the ledger's, carried through the days since its last session.
    std::vector<PlayerRecord> expected(g_players.size());
    for (size_t i = 0; i < g_players.size(); ++i) {
        PlayerLedger& p = g_players[i];
        if (!p.exists) continue;
        PlayerRecord record = p.expected;
        if (!carry(record, p.day, last, true)) problem(p.name + " would have been dropped");
        expected[i] = record;
        ++g_figures.records_checked;
        const int copies = seen[p.name];
        seen.erase(p.name);
        if (copies == 0) {
            problem(p.name + " is missing from quonda.plr");
            ++g_figures.records_lost;
            continue;
        }
        if (copies > 1) {
            problem(p.name + " appears " + std::to_string(copies) + " times");
            ++g_figures.records_damaged;
        }
        for (const PlayerRecord& s : stored) {
            if (p.name != s.name) continue;
            std::string why;
            if (!same_holdings(s, record, why)) {
                problem(p.name + ": " + why);
                ++g_figures.records_damaged;
            }
            break;
        }
    }
    for (const auto& [name, copies] : seen) {
        problem("quonda.plr holds " + name + ", who never finished a session");
        g_figures.records_damaged += copies;
    }

    MarketRecord market{};
    if (load_market(market, (g_dir + "/quonda.dat").c_str()) != 0) {
        problem("quonda.dat does not load");
        ++g_figures.records_damaged;
        return;
    }
    if (last >= 0 && std::string(market.date) != g_days[static_cast<size_t>(last)].date) {
        problem(std::string("quonda.dat is dated ") + market.date);
        ++g_figures.records_damaged;
    }
    // Units: held + available = total, less what the rules took out since the issue last
    // crashed, doubled by every split after.
    for (int c = 0; c < kCompanyCount; ++c) {
        for (int k = 0; k < kKindCount; ++k) {
            const CompanyRecord& company = market.companies[c];
            if (company.total[k] == 0) continue;
            int64_t held = 0;
            for (const PlayerRecord& p : stored) {
                held += p.holdings[c].count[k];
                if (k == kCommon) held += p.holdings[c].short_count;
            }
            int64_t out = 0;
            for (const Removal& r : g_removals) {
                if (r.company != c || r.kind != k) continue;
                int64_t units = r.units;
                for (int d = r.day + 1; d <= last; ++d) {
                    const CompanyRecord& then = g_days[static_cast<size_t>(d)].market.companies[c];
                    if (then.crashed[k]) units = 0;
                    if (then.split) units *= 2;
                }
                out += units;
            }
            const int64_t gap = int64_t{company.total[k]} - company.available[k] - held - out;
            if (gap != 0) {
                problem(std::string(company.symbol) + " kind " + std::to_string(k) + ": " +
                        std::to_string(gap) + " units unaccounted for");
            }
            g_figures.units_unaccounted += gap < 0 ? -gap : gap;
        }
    }
}

int parse_options(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool has_value = i + 1 < argc;
        if (arg == "--nodes" && has_value) {
            o.nodes = std::atoi(argv[++i]);
        } else if (arg == "--players" && has_value) {
            o.players = std::atoi(argv[++i]);
        } else if (arg == "--days" && has_value) {
            o.days = std::atoi(argv[++i]);
        } else if (arg == "--seed" && has_value) {
            o.seed = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
        } else if (arg == "--dir" && has_value) {
            o.dir = argv[++i];
        } else if (arg == "--door" && has_value) {
            o.door = argv[++i];
        } else if (arg == "--keep") {
            o.keep = true;
        } else if (arg == "--verbose") {
            o.verbose = true;
        } else {
            std::fprintf(stderr,
                         "usage: soak [--nodes N] [--players N] [--days N] [--seed N] [--dir D] "
                         "[--door PATH] [--keep] [--verbose]\n");
            return -1;
        }
    }
    if (o.nodes < 2 || o.players < o.nodes || o.days < 2 || o.days > 25) {
        std::fprintf(stderr, "soak: needs 2+ nodes, at least as many players, 2..25 days\n");
        return -1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (parse_options(argc, argv, o) != 0) return 2;
    g_verbose = o.verbose;
    g_random.seed(o.seed);
    unsetenv("FAKETIME");
    setenv("TZ", "UTC", 1);
    tzset();
    // Under AddressSanitizer the doors must accept libfaketime loaded ahead of the runtime.
    setenv("ASAN_OPTIONS", "verify_asan_link_order=0", 0);
    g_door = o.door.empty() ? std::string(BULLMOOR_BINARY_DIR) + "/tests/bullmoor_test" : o.door;
    const bool temporary = o.dir.empty();
    g_dir = temporary ? make_temp_dir("soak") : o.dir;
    if (g_dir.empty() || (!temporary && mkdir(g_dir.c_str(), 0755) != 0 && errno != EEXIST)) {
        std::fprintf(stderr, "soak: no working directory\n");
        return 2;
    }
    g_clock_path = g_dir + "/soak.clock";
    prepare_directory(g_dir);

    const auto started = std::chrono::steady_clock::now();
    {
        Soak soak(o);
        soak.run();
    }
    check_files();
    const auto seconds = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - started)
                             .count() /
                         1000.0;
    int rollovers_wrong = 0;
    for (int d = 0; d < static_cast<int>(g_days.size()); ++d) {
        if (g_updates[d] != 1) {
            problem(date_text(d) + " ran " + std::to_string(g_updates[d]) + " times");
            ++rollovers_wrong;
        }
    }
    const Figures& f = g_figures;
    std::printf("soak: %d nodes, %d players, %zu days in %.1f s (seed %u)\n", o.nodes, o.players,
                g_days.size(), seconds, o.seed);
    std::printf(
        "sessions run: %d (refused at start %d, across another node's day %d, "
        "signed on before the day changed %d)\n",
        f.sessions, f.refused, f.overtaken, f.adopted);
    int splits = 0, crashes = 0;
    for (const Day& day : g_days) {
        for (const CompanyRecord& company : day.market.companies) {
            splits += company.split;
            for (int k = 0; k < kKindCount; ++k) crashes += company.crashed[k];
        }
    }
    std::printf(
        "trades: %d, margin calls: %d, splits: %d, issues crashed: %d, units out of "
        "circulation noted: %zu entries\n",
        f.trades, f.margin_calls, splits, crashes, g_removals.size());
    std::printf("days run more or less than once: %d\n", rollovers_wrong);
    std::printf("screens differing from the ledger: %d\n", f.screen_mismatches);
    std::printf("records checked: %d\n", f.records_checked);
    std::printf("units unaccounted for: %ld\n", f.units_unaccounted);
    std::printf("records lost: %d, damaged: %d\n", f.records_lost, f.records_damaged);
    const bool clean = f.records_lost == 0 && f.records_damaged == 0 && f.units_unaccounted == 0 &&
                       f.screen_mismatches == 0 && rollovers_wrong == 0;
    if (temporary && !o.keep && clean) remove_tree(g_dir);
    if (!clean) std::printf("working directory kept: %s\n", g_dir.c_str());
    return clean ? 0 : 1;
}

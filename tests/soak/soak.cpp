// The multi-node soak: several virtual callers play the real game at once on one working
// directory under one clock, which the soak steps a day at a time. Callers trade, quit and call
// again, across day changes and racing for the rollover; a ledger keeps what every completed
// session left, the market days and the units the rules take out of circulation, and at the end
// the files are checked against it. Exit status 0 when nothing is lost, damaged or unaccounted for.
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
#include <utility>
#include <vector>

#include "data/codec.h"
#include "data/dates.h"
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
    int nodes = 3, players = 6, days = 5, seed = 1;
    std::string dir, door;  // empty: a fresh temporary directory, the test build's door
    bool keep = false, verbose = false;
};

// Sessions run to their end: refused at start, ended after another node ran a newer day, took
// today before midnight; mismatches: a start, trade or summary differing from the ledger.
struct Figures {
    int sessions = 0, refused = 0, overtaken = 0, adopted = 0, trades = 0, margin_calls = 0;
    int splits = 0, crashes = 0, screen_mismatches = 0;
    int records_checked = 0, records_lost = 0, records_damaged = 0;
    long units_unaccounted = 0;
};

Options g_options;
Figures g_figures;
std::string g_dir, g_door, g_clock_path;
std::mt19937 g_random;

void note(const std::string& text) {
    if (g_options.verbose) std::fprintf(stderr, "%s\n", text.c_str());
}

void problem(const std::string& text, VirtualCaller* caller = nullptr) {
    std::fprintf(stderr, "soak: %s\n", text.c_str());
    if (caller != nullptr) std::fprintf(stderr, "%s", caller->screen().dump().c_str());
}

int pick(int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(g_random);
}

// Day `index` of the run at 10:00, as the game's date text or in another format.
std::string date_text(int index, const char* format = "%b %d %Y") {
    std::tm tm{};
    tm.tm_year = kFirstYear - 1900, tm.tm_mon = kFirstMonth - 1, tm.tm_mday = kFirstDay + index;
    const std::time_t t = timegm(&tm) + 10 * 3600;
    char text[32];
    std::strftime(text, sizeof text, format, gmtime_r(&t, &tm));
    return text;
}

// Every door reads the clock file at each call (FAKETIME_NO_CACHE); it is replaced whole.
void set_clock(int index) {
    const std::string temporary = g_clock_path + ".new";
    std::ofstream(temporary) << date_text(index, "%Y-%m-%d %H:%M:%S") << "\n";
    std::rename(temporary.c_str(), g_clock_path.c_str());
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void set_text(char* field, size_t size, const std::string& text) {
    std::memset(field, 0, size);
    std::memcpy(field, text.c_str(), std::min(text.size(), size - 1));
}

// The starting exchange, dated the day before the first (the month ends on day 2).
void prepare_directory() {
    for (const char* name : {"quonda.new", "quonda.doc", "quonda.ttn", "quonda.tti", "quonda.ttc"})
        std::ofstream(g_dir + "/" + name, std::ios::binary)
            << slurp(std::string(BULLMOOR_SOURCE_DIR) + "/dist/" + name);
    std::ofstream(g_dir + "/quonda.cfg", std::ios::binary)
        << "Soak BBS\r\nquonda.doc\r\nquonda.bul\r\nNobody In Particular\r\nsecret\r\n";
    MarketRecord market{};
    (void)build_default_market(market);
    set_text(market.date, sizeof market.date, date_text(-1));
    market.general_trend = 9;  // bullish at first; every day's walk lowers it by one
    CompanyRecord* c = market.companies;
    c[7].price[kCommon][0] = 117;  // MMC and LST just under their split prices
    c[1].price[kCommon][0] = 195;
    c[9].price[kCommon][0] = 5;  // BBM's common and SSI's options about to go under
    c[8].price[kOptions][0] = 3;
    c[9].trend[kCommon] = c[8].trend[kOptions] = 0;
    for (int rising : {1, 6, 7, 10, 11}) c[rising].trend[kCommon] = 7;  // splits, margin calls
    (void)save_market(market, (g_dir + "/quonda.dat").c_str());
}

// Units the rules took out of circulation on day `day`, after that day's own update.
struct Removal {
    int day, company, kind;
    int64_t units;
};

// A player (the name as stored): the record and day their last normal end left, once one did.
struct PlayerLedger {
    std::string name;
    bool exists = false, busy = false;
    PlayerRecord expected{};
    int day = -1, traded_day = -1;
};

std::vector<MarketRecord> g_days;  // each day's market as its first session left quonda.dat
std::vector<Removal> g_removals;
std::vector<PlayerLedger> g_players;
std::map<int, int> g_updates;  // rollovers seen per day (the "Updating market information" notice)

bool month_changed(int day) {
    const std::string previous = day == 0 ? date_text(-1) : g_days[day - 1].date;
    return previous.compare(0, 3, g_days[day].date, 3) != 0;
}

// Carries a record through days from+1..to as the pass does (noting matured bonds when asked);
// false when the pass would drop the player.
bool carry(PlayerRecord& record, int from, int to, bool note_removals) {
    for (int d = from + 1; d <= to; ++d) {
        const MarketRecord& market = g_days[d];
        for (int c = 0; c < kCompanyCount && note_removals && month_changed(d); ++c) {
            const CompanyRecord& company = market.companies[c];
            int64_t bonds = company.crashed[kBonds] ? 0 : record.holdings[c].count[kBonds];
            if (company.split) bonds *= 2;
            if (bonds > 0) g_removals.push_back({d, c, kBonds, bonds});
        }
        if (!pass_player(record, market, day_number(market.date), month_changed(d))) return false;
    }
    return true;
}

// What the checks compare of a record: cash, net worth, counts and short positions.
std::string holdings_text(const PlayerRecord& p) {
    std::string text = "cash " + std::to_string(p.cash) + " worth " + std::to_string(p.net_worth);
    for (const Holding& h : p.holdings) {
        text += " |";
        for (int32_t count : h.count) text += " " + std::to_string(count);
        if (h.short_count != 0) text += " short " + std::to_string(h.short_count);
        if (h.short_count != 0) text += "/$" + std::to_string(h.short_price);
    }
    return text;
}

// The number after `label` on the screen, or false.
bool read_number(const VirtualScreen& screen, const std::string& label, long& value) {
    for (int r = 0; r < VirtualScreen::kRows; ++r) {
        const std::string row = screen.row(r);
        if (row.find(label) == std::string::npos) continue;
        value = std::strtol(row.c_str() + row.find(label) + label.size(), nullptr, 10);
        return true;
    }
    return false;
}

// The holdings table (rows 2-13, "count/$price" or "---") and cash line, in place of record's.
struct Table {
    PlayerRecord shown;
    int price[kCompanyCount][kKindCount] = {};
    bool ok = true;
};

Table read_table(const VirtualScreen& screen, const PlayerRecord& record = PlayerRecord{}) {
    Table table{record};
    long cash = 0;
    table.ok = read_number(screen, "Current cash: $", cash);
    table.shown.cash = static_cast<int32_t>(cash);
    for (int c = 0; c < kCompanyCount && table.ok; ++c) {
        const std::string row = screen.row(2 + c);
        const char* at = row.c_str() + 11;
        for (int k = 0; k < kKindCount && table.ok; ++k) {
            int used = 0;
            int32_t& count = table.shown.holdings[c].count[k];
            std::sscanf(at, " ---%n", &used);
            if (used == 0)
                table.ok = std::sscanf(at, "%d/$%d%n", &count, &table.price[c][k], &used) == 2;

            at += used;
        }
    }
    return table;
}

// Waits for the first of texts to show on the screen (or to be sent after raw_from, when given);
// its index, or -1 when none did within the wait.
int wait_any(VirtualCaller& caller, const std::vector<std::string>& texts,
             size_t raw_from = std::string::npos) {
    for (int waited = 0; waited <= kScreenWait; waited += 5, caller.drain(5)) {
        for (size_t i = 0; i < texts.size(); ++i) {
            if (raw_from == std::string::npos
                    ? caller.screen().contains(texts[i])
                    : caller.raw_output().find(texts[i], raw_from) != std::string::npos) {
                return static_cast<int>(i);
            }
        }
    }
    return -1;
}

// Redraws the main screen ("*") up to its last piece, the cash line: trades rewrite single cells,
// and only a whole redraw gives a table that reads the same way in every row.
bool refresh_main(VirtualCaller& caller) {
    const size_t from = caller.bytes_received();
    caller.type("*");
    const bool drawn = wait_any(caller, {"Current cash:"}, from) == 0;
    caller.drain(5);
    return drawn;
}

enum class Phase { kSignOn, kPlaying, kDone };

// A node's session: its market day; linger: stays at the main menu across the next day change;
// stale: took today before the day changed; wiped_by_margin: the margin call at start takes all;
// mirror: the caller's record as the session has it now.
struct Session {
    int node = 0, player = -1, day = -1, trades_left = 0;
    std::unique_ptr<VirtualCaller> caller;
    Phase phase = Phase::kDone;
    bool linger = false, stale = false, traded = false, predicted = false, failed = false;
    bool wiped_by_margin = false;
    PlayerRecord mirror{};
};

bool fail(Session& s, const std::string& what) {
    problem(g_players[s.player].name + ": " + what, s.caller.get());
    s.failed = true;
    ++g_figures.screen_mismatches;
    return false;
}

// Keys typed, then the text that must show (at row and column when given).
struct Step {
    Step(std::string keys_, std::string text_, int row_ = -1, int col_ = -1)
        : keys(std::move(keys_)), text(std::move(text_)), row(row_), col(col_) {}
    std::string keys, text;
    int row, col;
};

bool walk(Session& s, const std::vector<Step>& steps) {
    for (const Step& step : steps) {
        s.caller->type(step.keys);
        const bool shown = s.caller->wait_for(step.text, step.row, step.col, kScreenWait);
        if (!shown) return fail(s, "expected \"" + step.text + "\"");
    }
    return true;
}

// The keys of a menu choice: Home, down `index` times, Enter.
std::string menu(int index) {
    return "7" + std::string(static_cast<size_t>(index), '2') + "\r";
}

// Starts the door up to the sign-on prompt (Enter comes later, so that nodes can start together).
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
    if (!s.caller->start()) {
        fail(s, "the door did not start");
    } else if (walk(s, {{"", "Requires ANSI/VT100 support", 5, 0}, {"", kEnterPrompt, 23, 2}})) {
        s.phase = Phase::kSignOn;
    }
}

bool check_screen(Session& s, const PlayerRecord& record, const std::string& when) {
    const Table table = read_table(s.caller->screen(), record);
    const std::string shown = holdings_text(table.shown), ledger = holdings_text(record);
    if (!table.ok) return fail(s, "unreadable holdings " + when);
    return shown == ledger ||
           fail(s, "holdings " + when + ": screen " + shown + "\n  ledger " + ledger);
}

// A returning player's start: the ledger's record carried through the days since, then the margin
// call (its units out of circulation noted); a wiped-out player's fresh portfolio is read instead.
bool predict_start(Session& s, bool wiped_screen, bool margin_screen) {
    PlayerLedger& p = g_players[s.player];
    PlayerRecord record = p.expected;
    if (!carry(record, p.day, s.day, true)) return fail(s, "the ledger would have dropped them");
    p.day = s.day;  // the days up to here are now in `record`: never carried twice
    p.expected = record;
    if (is_wiped_out(record) != wiped_screen) return fail(s, "wiped out differs from the ledger");
    if (wiped_screen) return true;
    const MarketRecord& market = g_days[s.day];
    bool called = false;
    for (int c = 0; c < kCompanyCount; ++c) {
        if (!margin_called(record.holdings[c], market.companies[c])) continue;
        called = true;
        const PlayerRecord before = record;
        if (settle_margin_call(record, market, c).wiped_out) s.wiped_by_margin = true;
        for (int i = 0; i < kCompanyCount * kKindCount; ++i) {
            const int j = i / kKindCount, k = i % kKindCount;
            const int64_t gone = before.holdings[j].count[k] - record.holdings[j].count[k];
            if (gone > 0) g_removals.push_back({s.day, j, k, gone});
        }
        g_removals.push_back({s.day, c, kCommon, before.holdings[c].short_count});
    }
    g_figures.margin_calls += called;
    s.mirror = record;
    s.predicted = true;
    return called == margin_screen || fail(s, "margin call differs from the ledger");
}

// Past its rollover, quonda.dat holds the day: its prices and crash and split flags stay until the
// next day runs (session ends change `available` only), so the ledger takes them from there.
bool record_day(Session& s) {
    if (static_cast<int>(g_days.size()) > s.day) return true;
    MarketRecord market{};
    if (load_market(market, (g_dir + "/quonda.dat").c_str()) != 0 ||
        market.date != date_text(s.day)) {
        return fail(s, "quonda.dat does not load or is dated " + std::string(market.date));
    }
    g_days.push_back(market);
    for (const CompanyRecord& company : market.companies) {
        g_figures.splits += company.split;
        for (int16_t crashed : company.crashed) g_figures.crashes += crashed;
    }
    return true;
}

// The summary and the end of a session that quit (or was wiped out at start), into the ledger.
void finish_quit(Session& s) {
    PlayerLedger& p = g_players[s.player];
    if (!walk(s, {{"", "SCORING SUMMARY"}, {"", "Press [ENTER] to exit..."}})) return;
    // The summary scores the record as stored: carried through other nodes' days, newest prices.
    const int newest = static_cast<int>(g_days.size()) - 1;
    PlayerRecord stored = s.mirror;
    if (newest > s.day) {
        ++g_figures.overtaken;
        (void)carry(stored, s.day, newest, false);
    }
    int64_t worth = stored.cash;
    for (int c = 0; c < kCompanyCount; ++c) {
        for (int k = 0; k < kKindCount; ++k) {
            worth += int64_t{stored.holdings[c].count[k]} * g_days[newest].companies[c].price[k][0];
        }
    }
    long shown = 0;
    if (!read_number(s.caller->screen(), "Your current net worth is ", shown) || shown != worth) {
        fail(s, "summary net worth " + std::to_string(shown) + ", ledger " + std::to_string(worth));
    }
    note(p.name + " ends day " + std::to_string(s.day) + " cash " + std::to_string(s.mirror.cash) +
         (newest > s.day ? " after day " + std::to_string(newest) + " ran" : ""));
    s.caller->type("\r");
    if (const int code = s.caller->wait_exit(kScreenWait)) fail(s, "exit " + std::to_string(code));
    p.exists = true;
    p.expected = s.mirror;
    p.expected.net_worth = static_cast<int32_t>(worth);
    p.day = s.day;
    if (s.traded) p.traded_day = s.day;
}

// From the sign-on Enter to the main menu (or to an end at start). False when the session ended.
bool play_start(Session& s) {
    PlayerLedger& p = g_players[s.player];
    const int seen = wait_any(*s.caller, {"PLAYER GRAPHICS MODE SETTINGS", "T H E   S T O C K",
                                          "wiped out", "already traded stocks today"});
    if (seen < 0) return fail(s, "no screen after sign-on");
    if (!record_day(s)) return false;
    g_updates[s.day] +=
        s.caller->raw_output().find("Updating market information") != std::string::npos;
    if (seen == 3) {  // refused: Enter, then exit code 1
        if (walk(s, {{"", kEnterPrompt}, {"\r", ""}}) && s.caller->wait_exit(kScreenWait) != 1) {
            fail(s, "a refusal did not exit 1");
        }
        g_figures.refused += !s.failed;
        return false;
    }
    if (p.exists && seen == 0) return fail(s, "a player of the ledger was treated as new");
    // The wiped-out notice or a new player's questions, the title screen and the price report.
    if ((seen == 2 && !walk(s, {{"", kEnterPrompt, 23, 2}, {"\r", "T H E   S T O C K"}})) ||
        (seen == 0 && !walk(s, {{"0", kEnterPrompt, 23, 2},
                                {"\r", "Enter desired function (1-3): "},
                                {"3\r", ""}})) ||
        !walk(s, {{"", kEnterPrompt, 23, 2},
                  {"\r", "PRICE CHANGES SINCE YOU WERE LAST ON", 4, 20},
                  {"", kEnterPrompt, 22, 26}})) {
        return false;
    }
    s.caller->type("\r");
    const int next = wait_any(*s.caller, {"MAIN COMMAND MENU", "NOTICE: MARGIN CALL"});
    if (next < 0) return fail(s, "no main menu");
    if (p.exists) predict_start(s, seen == 2, next == 1);
    if (next == 1) {
        if (!walk(s, {{"", kEnterPrompt}, {"\r", ""}})) return false;
        const int after = wait_any(*s.caller, {"MAIN COMMAND MENU", "SCORING SUMMARY"});
        if ((after == 1) != s.wiped_by_margin) return fail(s, "a wipe-out differs from the ledger");
        if (after == 1) {  // the session ends at once, normally, as for a quit
            set_text(s.mirror.last_played, kDateSize, g_days[s.day].date);
            finish_quit(s);
            return false;
        }
        if (after < 0) return fail(s, "no main menu after the margin call");
    }
    if (!walk(s, {{"", "Current cash:", 23, 2}})) return false;
    if (s.predicted) {
        check_screen(s, s.mirror, "at start");
    } else {  // new or wiped out: the fresh portfolio as shown
        s.mirror = read_table(s.caller->screen()).shown;
        set_text(s.mirror.name, sizeof s.mirror.name, p.name);
        p.day = s.day;
    }
    set_text(s.mirror.last_played, kDateSize, g_days[s.day].date);
    s.phase = Phase::kPlaying;
    return !s.failed;
}

enum TradeOp { kBuy = 0, kSell = 1, kBuyBack = 2, kSellShort = 3, kExercise = 4 };

// Whether the mirror allows op on a company's kind k (short sales of rising issues only, if asked).
bool allowed(const CompanyRecord& company, const Holding& h, int op, int k, bool rising_only) {
    if (company.total[k] == 0) return false;
    if (op == kBuy || op == kSell) return op == kBuy || h.count[k] > 0;
    if (k != kCommon) return false;
    if (op == kBuyBack) return h.short_count > 0;
    if (op == kSellShort)
        return h.short_count == 0 && (!rising_only || company.trend[kCommon] >= 5);
    return h.count[kOptions] > 0 && company.option_conversion_price > 0;
}

// One transaction chosen from what the mirror allows; false when the session failed.
bool trade_once(Session& s) {
    if (!refresh_main(*s.caller)) return fail(s, "no redraw");
    const Table table = read_table(s.caller->screen());
    const MarketRecord& market = g_days[s.day];
    PlayerRecord& m = s.mirror;
    // Buys, sales, short sales, buy-backs and exercises about 35:25:20:10:10; short sales of rising
    // issues where there are any (so that margin calls come), else of the first; else a purchase.
    const int bounds[] = {35, 60, 80, 90}, ops[] = {kBuy, kSell, kSellShort, kBuyBack, kExercise};
    const int wanted = ops[std::upper_bound(bounds, bounds + 4, pick(0, 99)) - bounds];
    struct Choice {
        int op, company, kind;
    };
    auto targets = [&](int op, bool rising_only) {
        std::vector<Choice> out;
        for (int c = 0; c < kCompanyCount; ++c) {
            for (int k = 0; k < kKindCount; ++k) {
                if (allowed(market.companies[c], m.holdings[c], op, k, rising_only)) {
                    out.push_back({op, c, k});
                }
            }
        }
        return out;
    };
    std::vector<Choice> of_kind = targets(wanted, true);
    if (of_kind.empty() && !(of_kind = targets(wanted, false)).empty()) of_kind.resize(1);
    if (of_kind.empty()) of_kind = targets(kBuy, false);
    const Choice choice = of_kind[pick(0, static_cast<int>(of_kind.size()) - 1)];
    const bool any_kind = choice.op == kBuy || choice.op == kSell;
    if (!walk(s,
              {{menu(2), "STOCK TRADING MENU"},
               {menu(choice.op), "Select a company...", 23, 2},
               {menu(choice.company), any_kind ? "Select a stock type..." : "", 23, 2},
               {any_kind ? std::string(static_cast<size_t>(choice.kind), '2') + "\r" : "", ""}})) {
        return false;
    }
    if (wait_any(*s.caller, {"]): ", "Sorry, "}) != 0) return fail(s, "the trade was refused");
    long most = 0;
    read_number(s.caller->screen(), "Enter quantity to trade (0-[", most);
    const int32_t q = most <= 0                                 ? 0
                      : (choice.op == kSell && pick(0, 2) == 0) ? static_cast<int32_t>(most)
                                                                : pick(1, std::min(most, 40L));
    s.caller->type(std::to_string(q) + "\r");
    if (q > 0) {
        const int32_t price = table.price[choice.company][choice.kind];
        Holding& h = m.holdings[choice.company];
        const int32_t cash[] = {-price * q, price * q, h.short_price * q * 3 / 2 - price * q,
                                -q * (price / 2),
                                -market.companies[choice.company].option_conversion_price * q};
        m.cash += cash[choice.op];
        if (any_kind) h.count[choice.kind] += choice.op == kBuy ? q : -q;
        h.short_count += choice.op == kSellShort ? q : choice.op == kBuyBack ? -q : 0;
        if (choice.op == kSellShort) h.short_price = static_cast<int16_t>(price);
        const int32_t exercised = choice.op == kExercise ? q : 0;
        h.count[kOptions] -= exercised;
        h.count[kCommon] += exercised;
        set_text(m.last_traded, kDateSize, g_days[s.day].date);
        s.traded = true;
        ++g_figures.trades;
        if (!walk(s, {{"", kEnterPrompt, 23, 2}, {"\r", ""}})) return false;
    }
    if (!walk(s, {{"", "Current cash:", 23, 2},
                  {menu(6), "MAIN COMMAND MENU", 14, 31},  // Quit Trading
                  {"", "Current cash:", 23, 2}})) {
        return false;
    }
    if (!refresh_main(*s.caller)) return fail(s, "no redraw");
    return check_screen(s, m, "after a trade");
}

std::vector<Session> g_slots;  // one per node
int g_started_today = 0;

bool last_day(int d) {
    return d == g_options.days - 1;
}

long slots_where(bool (*holds)(const Session&)) {
    return std::count_if(g_slots.begin(), g_slots.end(), holds);
}

bool is_free(const Session& s) {
    return s.phase == Phase::kDone;
}

void close_session(Session& s) {
    ++g_figures.sessions;
    g_players[s.player].busy = false;
    s.caller.reset();
    s.phase = Phase::kDone;
}

// A session in a free slot for a player who did (not) trade today, at its sign-on; or nullptr.
Session* open_session(int d, bool traded_today) {
    const auto slot = std::find_if(g_slots.begin(), g_slots.end(), is_free);
    std::vector<int> ids;
    for (int i = 0; i < g_options.players; ++i) {
        if (!g_players[i].busy && (g_players[i].traded_day == d) == traded_today) ids.push_back(i);
    }
    if (slot == g_slots.end() || ids.empty()) return nullptr;
    Session& s = *slot;
    s = Session{};
    s.node = static_cast<int>(slot - g_slots.begin()) + 1;
    s.player = ids[pick(0, static_cast<int>(ids.size()) - 1)];
    s.day = d;
    s.trades_left = pick(1, 4);
    const long lingering =
        slots_where([](const Session& o) { return o.phase == Phase::kPlaying && o.linger; });
    s.linger = !last_day(d) && lingering < std::max(1, g_options.nodes - 2) && pick(0, 2) == 0;
    start_door(s);
    if (!s.failed) return &s;
    close_session(s);
    return nullptr;
}

// Past the sign-on to the main menu, or to its end at start.
void enter(Session& s, bool type_enter = true) {
    if (type_enter) s.caller->type("\r");
    ++g_started_today;
    if (!play_start(s) || s.failed) close_session(s);
}

// Exit BMR in each session, then the summaries: their commits race for the locks.
void quit(const std::vector<Session*>& sessions) {
    for (Session* s : sessions) {
        if (!walk(*s, {{menu(6), "Sure you want to quit (Y/[N]): ", 23, 2}, {"y\r", ""}})) {
            close_session(*s);
        }
    }
    for (Session* s : sessions) {
        if (s->phase != Phase::kPlaying) continue;
        finish_quit(*s);
        close_session(*s);
    }
}

void run_day(int d) {
    g_started_today = 0;
    // Nodes that start together race for the day's rollover.
    std::vector<Session*> wave;
    for (int i = pick(1, g_options.nodes); i > 0; --i) {
        if (Session* s = open_session(d, false)) wave.push_back(s);
    }
    for (Session* s : wave) s->caller->type("\r");
    for (Session* s : wave) enter(*s, false);
    // Yesterday's last comers sign on to the day run by now; lingering sessions trade on and end.
    for (Session& s : g_slots) {
        if (s.phase == Phase::kSignOn && s.stale) {
            s.day = d;
            ++g_figures.adopted;
            enter(s);
        } else if (s.phase == Phase::kPlaying && s.day < d) {
            s.trades_left = pick(0, 2);
            s.linger = false;
        }
    }

    const int target = g_options.players + pick(0, g_options.players / 2);
    for (;;) {
        std::vector<Session*> active;
        for (Session& s : g_slots) {
            if (s.phase == Phase::kPlaying && !(s.linger && s.trades_left == 0 && !last_day(d))) {
                active.push_back(&s);
            }
        }
        const bool can_start = g_started_today < target && slots_where(is_free) > 0;
        if (active.empty() && !can_start) break;
        if (can_start && (active.empty() || pick(0, 2) == 0)) {
            if (Session* s = open_session(d, pick(0, 6) == 0)) {  // sometimes one who traded today
                enter(*s);
            } else {
                ++g_started_today;  // nobody eligible: count it, so the day ends
            }
            continue;
        }
        Session* s = active[pick(0, static_cast<int>(active.size()) - 1)];
        if (s->trades_left > 0) {
            --s->trades_left;
            if (!trade_once(*s)) close_session(*s);
            continue;
        }
        // Sometimes two sessions end at once.
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
    // One more caller takes today now and signs on after the day has changed.
    if (!last_day(d) && slots_where(is_free) >= 2 && pick(0, 1) == 0) {
        if (Session* s = open_session(d, false)) s->stale = true;
    }
}

void damaged(const std::string& what, int count = 1) {
    problem(what);
    g_figures.records_damaged += count;
}

void check_files() {
    const int last = static_cast<int>(g_days.size()) - 1;
    const std::string bytes = slurp(g_dir + "/quonda.plr");
    if (bytes.size() % kPlayerBytes != 0) damaged("quonda.plr is not a whole number of records");
    std::vector<PlayerRecord> stored(bytes.size() / kPlayerBytes);
    std::map<std::string, std::vector<const PlayerRecord*>> by_name;
    for (size_t i = 0; i < stored.size(); ++i) {
        decode_player(reinterpret_cast<const unsigned char*>(&bytes[i * kPlayerBytes]), stored[i]);
        by_name[std::string(stored[i].name, strnlen(stored[i].name, kNameSize))].push_back(
            &stored[i]);
    }
    // Every player's record: the ledger's, carried through the days since its last session.
    for (PlayerLedger& p : g_players) {
        if (!p.exists) continue;
        PlayerRecord record = p.expected;
        if (!carry(record, p.day, last, true)) problem(p.name + " would have been dropped");
        ++g_figures.records_checked;
        const std::vector<const PlayerRecord*> copies = by_name[p.name];
        by_name.erase(p.name);
        if (copies.empty()) {
            problem(p.name + " is missing from quonda.plr");
            ++g_figures.records_lost;
            continue;
        }
        if (copies.size() > 1)
            damaged(p.name + " appears " + std::to_string(copies.size()) + " times");
        if (holdings_text(*copies[0]) != holdings_text(record)) {
            damaged(p.name + ": stored " + holdings_text(*copies[0]) + "\n  ledger " +
                    holdings_text(record));
        }
    }
    for (const auto& [name, copies] : by_name) {
        damaged("quonda.plr holds " + name + ", who never finished a session",
                static_cast<int>(copies.size()));
    }

    MarketRecord market{};
    if (load_market(market, (g_dir + "/quonda.dat").c_str()) != 0 ||
        (last >= 0 && std::strcmp(market.date, g_days[last].date) != 0)) {
        return damaged("quonda.dat does not load or is dated " + std::string(market.date));
    }
    // held + available = total, less the units out of circulation (doubled by later splits,
    // cleared by a later crash).
    for (int c = 0; c < kCompanyCount; ++c) {
        const CompanyRecord& company = market.companies[c];
        for (int k = 0; k < kKindCount; ++k) {
            if (company.total[k] == 0) continue;
            int64_t gap = int64_t{company.total[k]} - company.available[k];
            for (const PlayerRecord& p : stored) {
                gap -= p.holdings[c].count[k] + (k == kCommon ? p.holdings[c].short_count : 0);
            }
            for (const Removal& r : g_removals) {
                if (r.company != c || r.kind != k) continue;
                int64_t units = r.units;
                for (int d = r.day + 1; d <= last; ++d) {
                    if (g_days[d].companies[c].crashed[k]) units = 0;
                    if (g_days[d].companies[c].split) units *= 2;
                }
                gap -= units;
            }
            if (gap != 0) {
                problem(std::string(company.symbol) + " kind " + std::to_string(k) + ": " +
                        std::to_string(gap) + " units unaccounted for");
            }
            g_figures.units_unaccounted += gap < 0 ? -gap : gap;
        }
    }
}

bool parse_options(int argc, char** argv, Options& o) {
    const std::map<std::string, int*> numbers = {
        {"--nodes", &o.nodes}, {"--players", &o.players}, {"--days", &o.days}, {"--seed", &o.seed}};
    const std::map<std::string, std::string*> texts = {{"--dir", &o.dir}, {"--door", &o.door}};
    const std::map<std::string, bool*> flags = {{"--keep", &o.keep}, {"--verbose", &o.verbose}};
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool has_value = i + 1 < argc;
        if (flags.count(arg) != 0) {
            *flags.at(arg) = true;
        } else if (has_value && numbers.count(arg) != 0) {
            *numbers.at(arg) = std::atoi(argv[++i]);
        } else if (has_value && texts.count(arg) != 0) {
            *texts.at(arg) = argv[++i];
        } else {
            std::fprintf(stderr,
                         "usage: soak [--nodes N] [--players N] [--days N] [--seed N] [--dir D] "
                         "[--door PATH] [--keep] [--verbose]\n");
            return false;
        }
    }
    if (o.nodes < 2 || o.players < o.nodes || o.days < 2 || o.days > 25) {
        std::fprintf(stderr, "soak: needs 2+ nodes, at least as many players, 2..25 days\n");
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Options& o = g_options;
    if (!parse_options(argc, argv, o)) return 2;
    g_random.seed(static_cast<unsigned>(o.seed));
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
    prepare_directory();
    for (int i = 1; i <= o.players; ++i) g_players.push_back({"SOAK PLAYER " + std::to_string(i)});
    g_slots.resize(static_cast<size_t>(o.nodes));

    const auto started = std::chrono::steady_clock::now();
    for (int d = 0; d < o.days; ++d) {
        set_clock(d);
        note("day " + date_text(d));
        run_day(d);
    }
    g_slots.clear();  // every door still running is hung up and ended
    check_files();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    int rollovers_wrong = 0;
    for (int d = 0; d < static_cast<int>(g_days.size()); ++d) {
        if (g_updates[d] == 1) continue;
        problem(date_text(d) + " ran " + std::to_string(g_updates[d]) + " times");
        ++rollovers_wrong;
    }
    const Figures& f = g_figures;
    std::printf(
        "soak: %d nodes, %d players, %zu days in %.1f s (seed %d)\n"
        "sessions run: %d (refused at start %d, across another node's day %d, signed on before "
        "the day changed %d)\n"
        "trades: %d, margin calls: %d, splits: %d, issues crashed: %d, units out of circulation "
        "noted: %zu entries\n"
        "days run more or less than once: %d\nscreens differing from the ledger: %d\n"
        "records checked: %d\nunits unaccounted for: %ld\nrecords lost: %d, damaged: %d\n",
        o.nodes, o.players, g_days.size(), seconds, o.seed, f.sessions, f.refused, f.overtaken,
        f.adopted, f.trades, f.margin_calls, f.splits, f.crashes, g_removals.size(),
        rollovers_wrong, f.screen_mismatches, f.records_checked, f.units_unaccounted,
        f.records_lost, f.records_damaged);
    const bool clean = f.records_lost == 0 && f.records_damaged == 0 && f.units_unaccounted == 0 &&
                       f.screen_mismatches == 0 && rollovers_wrong == 0;
    if (temporary && !o.keep && clean) remove_tree(g_dir);
    if (!clean) std::printf("working directory kept: %s\n", g_dir.c_str());
    return clean ? 0 : 1;
}

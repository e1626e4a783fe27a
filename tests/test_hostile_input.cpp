// Text that callers and files control: names from drop files, typed answers, company names and
// descriptions. None of it is ever a format or runs past its field: names full of "%n%s", names
// of 200 characters, control characters and bytes from 0x80 up go through the real game; a
// market file whose company texts have no NUL is shown on the profile and the holdings table.
// Also the inputs that the fuzz targets found wanting: key sequences with long numbers, control
// characters in drop-file names, extreme counts in the session-end store.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "data/codec.h"
#include "data/dates.h"
#include "data/records.h"
#include "data/session_state.h"
#include "doorkit/dropfile.h"
#include "doorkit/keys.h"
#include "doorkit/opendoors.h"
#include "market/market.h"
#include "session/time_control.h"
#include "vcaller/caller.h"

namespace {

constexpr const char* kToday = "2024-06-15 10:00:00";
constexpr const char* kTodayText = "Jun 15 2024";
constexpr const char* kEnterPrompt = "Press [ENTER] to continue...";

void set_text(char* field, size_t size, const char* text) {
    std::memset(field, 0, size);
    std::memcpy(field, text, strnlen(text, size - 1));
}

// ---- key decoder: numbers too long for any key ----

struct KeyCase {
    const char* name;
    std::string bytes;
    std::vector<OdInputEvent> expected;
};

std::vector<OdInputEvent> decode(const std::string& bytes) {
    KeyDecoder decoder;
    std::vector<OdInputEvent> out;
    for (char c : bytes) decoder.feed(static_cast<unsigned char>(c), out);
    return out;
}

TEST(HostileKeys, LongNumbersInSequencesNameNoKey) {
    const KeyCase cases[] = {
        // Thirteen digits: more than an int holds; the sequence is dropped, the x stays.
        {"huge", "\x1b[9999999999999~x", {{kEventCharacter, 'x'}}},
        {"huge with modifier", "\x1b[2147483648;5~x", {{kEventCharacter, 'x'}}},
        // Leading zeros do not make a number long.
        {"zeros", "\x1b[0000000000003~", {{kEventExtendedKey, kScanDelete}}},
        {"just past eight", "\x1b[9~\x1b[1000~", {}},
    };
    for (const KeyCase& c : cases) {
        const std::vector<OdInputEvent> got = decode(c.bytes);
        ASSERT_EQ(got.size(), c.expected.size()) << c.name;
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].event_type, c.expected[i].event_type) << c.name;
            EXPECT_EQ(got[i].key_press, c.expected[i].key_press) << c.name;
        }
    }
}

// ---- drop files: control characters never reach the name ----

TEST(HostileDropFile, ControlCharactersAreDroppedFromNames) {
    struct Case {
        const char* name;
        std::string alias;  // line 7 of DOOR32.SYS
        int result;
        std::string expected;
    };
    const Case cases[] = {
        {"escape sequence", "Eve\x1b[2J\x1b]0;owned\x07 Smith", 0, "Eve[2J]0;owned Smith"},
        {"nul and delete", std::string("Bo\0b\x7f", 5), 0, "Bob"},
        {"tab inside", "Ann\tLee", 0, "AnnLee"},
        {"high bytes kept", "\x80\xe9t\xe9\xff", 0, "\x80\xe9t\xe9\xff"},
        {"only controls", "\x01\x02\x1b", -1, ""},
    };
    for (const Case& c : cases) {
        std::string text = "2\n0\n38400\nBBS\n7\nReal Name\n" + c.alias + "\n10\n60\n1\n1\n";
        DropInfo info;
        std::string error;
        EXPECT_EQ(parse_drop_file(DropFormat::kDoor32, text, &info, &error), c.result) << c.name;
        if (c.result == 0) {
            EXPECT_EQ(info.name, c.expected) << c.name;
        } else {
            EXPECT_NE(error.find("names no caller"), std::string::npos) << c.name;
        }
    }
}

// ---- the session-end store: damaged counts ----

void put_le(std::string& out, int64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// A store entry for the caller: name, day, end of the last session, seconds and sessions.
std::string store_entry(const char* name, int32_t day, int32_t seconds, int32_t games) {
    std::string entry(name);
    entry.resize(32, '\0');
    for (int32_t field : {day, int32_t{100}, seconds, games}) put_le(entry, field, 4);
    return entry;
}

// Working directory of the test for the game's fixed file names, put back afterwards.
class InDirectory {
  public:
    explicit InDirectory(const std::string& dir) {
        EXPECT_NE(getcwd(previous_, sizeof previous_), nullptr);
        EXPECT_EQ(chdir(dir.c_str()), 0);
    }
    ~InDirectory() { EXPECT_EQ(chdir(previous_), 0); }

  private:
    char previous_[4096];
};

// Counts in quonda.ses at the ends of the 32-bit range: the daily allowance and the session
// count neither overflow nor wrap (the sanitizer build fails on the former).
TEST(HostileSessionStore, ExtremeCountsNeitherOverflowNorWrap) {
    const std::string dir = make_temp_dir("store");
    ASSERT_FALSE(dir.empty());
    InDirectory in_dir(dir);
    // quonda.tim: tiers from 10 by 10, 60 minutes a day, no game limit, no wait, one period
    // of 30 minutes for every tier.
    std::string tim;
    put_le(tim, 0, 4);
    put_le(tim, 86399, 4);
    for (int t = 0; t < 8; ++t) put_le(tim, 10 * (t + 1), 2);
    for (int t = 0; t < 8; ++t) put_le(tim, 60, 2);
    tim.append(32, '\0');
    for (int p = 0; p < 8; ++p) {
        put_le(tim, 0, 4);
        for (int t = 0; t < 8; ++t) put_le(tim, p == 0 ? 30 : 0, 2);
    }
    ASSERT_EQ(tim.size(), static_cast<size_t>(kTimeControlBytes));
    std::ofstream("quonda.tim", std::ios::binary) << tim;
    const int32_t today = day_number(kTodayText);
    std::ofstream(kSessionEndFile, std::ios::binary)
        << store_entry("TEST CALLER", today, INT32_MIN, INT32_MAX);

    od_control.user_security = 35;  // tier 2
    od_control.user_timelimit = 60;
    g_session.session_start_seconds = 9 * 3600;
    std::snprintf(g_session.today, sizeof g_session.today, "%s", kTodayText);
    ASSERT_EQ(load_time_control("quonda.tim"), 1);
    EXPECT_EQ(od_control.user_timelimit, 30);
    PlayerRecord player{};
    set_text(player.name, sizeof player.name, "TEST CALLER");
    set_text(player.last_played, sizeof player.last_played, kTodayText);
    take_player_counters(player);
    // 60 minutes less a count far below zero leave more than the period's 30.
    EXPECT_EQ(check_daily_limits(), 0);
    EXPECT_EQ(od_control.user_timelimit, 30);

    // One more session on a count that is already the largest stays the largest.
    store_session_end("TEST CALLER", kTodayText, 9 * 3600 + 600, 600);
    const SessionEndNote note = load_session_end("TEST CALLER");
    EXPECT_EQ(note.day, today);
    EXPECT_EQ(note.games_today, INT32_MAX);
    EXPECT_EQ(note.seconds_today, INT32_MIN + 600);
    remove_tree(dir);
}

// ---- the real game ----

std::string door_path() {
    return std::string(BULLMOOR_BINARY_DIR) + "/tests/bullmoor_test";
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Fills a text field to its last byte with copies of pattern: no NUL anywhere.
void fill_without_nul(char* field, size_t size, const std::string& pattern) {
    for (size_t i = 0; i < size; ++i) field[i] = pattern[i % pattern.size()];
}

// What a CP437 terminal shows for the bytes.
std::string glyphs(const std::string& bytes) {
    std::string out;
    for (char c : bytes) out += cp437_glyph(static_cast<unsigned char>(c));
    return out;
}

class HostileGame : public ::testing::Test {
  protected:
    void SetUp() override {
        // Under AddressSanitizer the door has to accept libfaketime loaded ahead of the
        // sanitizer's runtime; the door inherits this process's environment.
        const char* asan = std::getenv("ASAN_OPTIONS");
        if (asan == nullptr || std::strstr(asan, "verify_asan_link_order") == nullptr) {
            const std::string options = asan != nullptr ? asan : "";
            setenv("ASAN_OPTIONS", (options + ":verify_asan_link_order=0").c_str(), 1);
        }
        dir_ = make_temp_dir("hostile");
        ASSERT_FALSE(dir_.empty());
    }
    void TearDown() override { remove_tree(dir_); }

    std::string path(const std::string& name) const { return dir_ + "/" + name; }
    std::string contents(const std::string& name) const { return read_file(path(name)); }
    void write_file(const std::string& name, const std::string& bytes) const {
        std::ofstream(path(name), std::ios::binary | std::ios::trunc) << bytes;
    }
    void copy_from_dist(const char* name) const {
        write_file(name, read_file(std::string(BULLMOOR_SOURCE_DIR) + "/dist/" + name));
    }
    // The market of today (so no market day runs) as quonda.dat.
    void save(const MarketRecord& market) const {
        std::string bytes(kMarketBytes, '\0');
        encode_market(market, reinterpret_cast<unsigned char*>(bytes.data()));
        write_file("quonda.dat", bytes);
    }
    std::vector<PlayerRecord> players() const {
        const std::string bytes = contents("quonda.plr");
        EXPECT_EQ(bytes.size() % kPlayerBytes, 0u);
        std::vector<PlayerRecord> out;
        for (size_t at = 0; at + kPlayerBytes <= bytes.size(); at += kPlayerBytes) {
            PlayerRecord player{};
            decode_player(reinterpret_cast<const unsigned char*>(bytes.data() + at), player);
            out.push_back(player);
        }
        return out;
    }
    CallerOptions options(const std::string& user_name) const {
        CallerOptions o;
        o.door = door_path();
        o.work_dir = dir_;
        o.faketime = kToday;
        o.user_name = user_name;
        return o;
    }
    static MarketRecord todays_market() {
        MarketRecord market{};
        (void)build_default_market(market);
        set_text(market.date, sizeof market.date, kTodayText);
        return market;
    }

    std::string dir_;
};

// A caller whose name in the drop file is hostile, and what the game must make of it.
struct NameCase {
    const char* label;
    std::string dropped;  // the name in DOOR32.SYS
    std::string stored;   // the player record's name: control characters gone, 31 at most,
                          // upper case (bytes from 0x80 up are no letters to the game)
    std::string first;    // the part of the stored name before its first blank
};

constexpr char kControlName[] =
    "Esc\x1b[2J\x07"
    "Bell\x01\x7f\x08\0 %n Name";

const NameCase kNames[] = {
    {"Formats", "%n%s%n%s %x%p%n%s%d", "%N%S%N%S %X%P%N%S%D", "%N%S%N%S"},
    {"TwoHundredCharacters", "Methuselah" + std::string(190, 'q'),
     "METHUSELAH" + std::string(21, 'Q'), "METHUSELAH" + std::string(21, 'Q')},
    {"ControlCharacters", std::string(kControlName, sizeof kControlName - 1), "ESC[2JBELL %N NAME",
     "ESC[2JBELL"},
    {"HighBytes", "\x80\x9a\xe9l\xe8ve \xff\xfe\xfd\xfc\xb0",
     "\x80\x9a\xe9L\xe8VE \xff\xfe\xfd\xfc\xb0", "\x80\x9a\xe9L\xe8VE"},
};

void PrintTo(const NameCase& c, std::ostream* out) {
    *out << c.label;
}

class HostileName : public HostileGame, public ::testing::WithParamInterface<NameCase> {};

// A new player with the name signs on, answers prompts with format text, quits: the game runs
// to its normal end and the name reaches the screen, the record, the bulletin and the error log
// (quonda.new is missing, which is logged with the caller's name) as text.
TEST_P(HostileName, RunsShowsAndStoresTheNameAsText) {
    const NameCase& c = GetParam();
    ASSERT_EQ(c.stored.size(), std::min<size_t>(c.stored.size(), kNameSize - 1));
    save(todays_market());
    VirtualCaller caller(options(c.dropped));
    ASSERT_TRUE(caller.start());

    ASSERT_TRUE(caller.shows(kEnterPrompt, 23, 2));
    caller.type("%n%s%n\r");
    ASSERT_TRUE(caller.shows("Please select graphics mode (0-2): ", 10, 8));
    caller.type("0");
    ASSERT_TRUE(caller.shows(kEnterPrompt, 23, 2));
    caller.type("\r");
    ASSERT_TRUE(caller.shows("Enter desired function (1-3): ", 10, 2));
    caller.type("%n%s%n%s%n%s%n%s\r");  // no choice: asked again
    ASSERT_TRUE(caller.shows("Enter desired function (1-3): ", 11, 2));
    caller.type("3\r");
    ASSERT_TRUE(caller.shows(kEnterPrompt, 23, 2));
    caller.type("\r");
    ASSERT_TRUE(caller.shows("PRICE CHANGES SINCE YOU WERE LAST ON", 4, 20));
    caller.type("\r");
    ASSERT_TRUE(caller.shows("MAIN COMMAND MENU", 14, 31));

    caller.type("1\r");
    ASSERT_TRUE(caller.shows("Sure you want to quit (Y/[N]): ", 23, 2));
    caller.type("%s%n%s%n\r");  // neither yes nor no: the default, keep playing
    ASSERT_TRUE(caller.shows("Current cash:", 23, 2));
    caller.type("\r");
    ASSERT_TRUE(caller.shows("Sure you want to quit (Y/[N]): ", 23, 2));
    caller.type("y\r");
    ASSERT_TRUE(caller.shows("Press [ENTER] to exit..."));
    // The scoring summary greets the caller by the first name, character by character.
    const std::string greeting = glyphs(c.first) + " you started with a net worth of 3710.";
    ASSERT_TRUE(caller.shows(greeting, -1, 8));
    caller.type("\r");
    EXPECT_EQ(caller.wait_exit(), 0) << caller.stderr_text();

    const std::vector<PlayerRecord> stored = players();
    ASSERT_EQ(stored.size(), 1u);
    ASSERT_LT(strnlen(stored[0].name, kNameSize), static_cast<size_t>(kNameSize));
    EXPECT_EQ(std::string(stored[0].name), c.stored);
    EXPECT_EQ(stored[0].cash, 2000);

    const std::string bulletin = contents("quonda.bul");
    EXPECT_NE(bulletin.find("\n       " + c.stored + "            3710"), std::string::npos)
        << bulletin;
    const std::string log = contents("quonda.err");
    EXPECT_NE(log.find(std::string(kTodayText) + "   " + c.stored +
                       "\nError [39] - Can't locate new player file (quonda.new)."),
              std::string::npos)
        << log;
}

INSTANTIATE_TEST_SUITE_P(Names, HostileName, ::testing::ValuesIn(kNames),
                         [](const ::testing::TestParamInfo<NameCase>& info) {
                             return std::string(info.param.label);
                         });

// Company 0 of quonda.dat with symbol, name and every description line full of "%s%n" to the
// last byte of its field, no NUL anywhere: the holdings table, the price report, the profile and
// the description show the text cut at each field's end, and the game goes on.
TEST_F(HostileGame, CompanyTextsWithoutNulAreShownAsText) {
    for (const char* name : {"quonda.ttn", "quonda.tti", "quonda.ttc"}) copy_from_dist(name);
    MarketRecord market = todays_market();
    CompanyRecord& company = market.companies[0];
    fill_without_nul(company.symbol, sizeof company.symbol, "%n%s");
    fill_without_nul(company.name, sizeof company.name, "%s%n");
    for (int line = 0; line < kHistoryLines; ++line) {
        const std::string pattern = line % 2 == 0 ? "%s%n" : "%n%s%x%p";
        fill_without_nul(company.history[line], sizeof company.history[line], pattern);
    }
    save(market);
    // A returning player with the gift shares of company 0, last seen yesterday.
    PlayerRecord player{};
    set_text(player.name, sizeof player.name, "TEST CALLER");
    set_text(player.last_played, sizeof player.last_played, "Jun 14 2024");
    set_text(player.last_traded, sizeof player.last_traded, "Jun 14 2024");
    player.cash = 1000;
    player.net_worth = 5000;
    player.holdings[0].count[kCommon] = 10;
    for (int c = 0; c < kCompanyCount; ++c) {
        for (int k = 0; k < kKindCount; ++k) {
            player.holdings[c].last_price[k] = market.companies[c].price[k][0];
        }
    }
    std::string record(kPlayerBytes, '\0');
    encode_player(player, reinterpret_cast<unsigned char*>(record.data()));
    write_file("quonda.plr", record);

    VirtualCaller caller(options("Test Caller"));
    ASSERT_TRUE(caller.start());
    ASSERT_TRUE(caller.shows(kEnterPrompt, 23, 2));
    caller.type("\r");
    ASSERT_TRUE(caller.shows("T H E   S T O C K"));
    ASSERT_TRUE(caller.shows(kEnterPrompt, 23, 2));
    caller.type("\r");
    ASSERT_TRUE(caller.shows("PRICE CHANGES SINCE YOU WERE LAST ON", 4, 20));
    EXPECT_TRUE(caller.screen().contains("%n%")) << caller.screen().dump();
    caller.type("\r");
    ASSERT_TRUE(caller.shows("MAIN COMMAND MENU", 14, 31));
    EXPECT_EQ(caller.screen().text(2, 8, 4), "%n% ") << caller.screen().dump();
    EXPECT_EQ(caller.screen().text(2, 32, 12), "     10/$145") << caller.screen().dump();

    caller.type("2\r");  // Company Profile; the selector starts on company 0
    ASSERT_TRUE(caller.shows("Select a company...", 23, 2));
    const size_t before = caller.raw_output().size();
    caller.type("\r");
    const std::string name31 = "%s%n%s%n%s%n%s%n%s%n%s%n%s%n%s%";
    // One graph per traded kind (common and preferred), each closed with Enter.
    ASSERT_TRUE(caller.shows("COMMON", 2, 62));
    ASSERT_TRUE(caller.shows(kEnterPrompt, 23, 2));
    // Profile and description went out as text cut at each field's end: the name at 31, the
    // symbol at 3, every description line whole at 80 bytes (wider than the screen from
    // column 6, so the terminal wraps and scrolls; the graph is placed afterwards).
    const std::string sent = caller.raw_output().substr(before);
    EXPECT_NE(sent.find("Company name   : \x1b[0m" + name31 + "\r\n"), std::string::npos);
    EXPECT_NE(sent.find("Exchange symbol: \x1b[0m%n%\r\n"), std::string::npos);
    EXPECT_NE(sent.find("      " + name31 + "\r\n"), std::string::npos);
    for (int line = 0; line < kHistoryLines; ++line) {
        const std::string text(company.history[line], kHistoryLineSize);
        EXPECT_NE(sent.find("      " + text + "\r\n"), std::string::npos) << "line " << line;
    }
    caller.type("\r");
    ASSERT_TRUE(caller.shows("PREFERRED", 2, 61));
    ASSERT_TRUE(caller.shows(kEnterPrompt, 23, 2));
    caller.type("\r");
    ASSERT_TRUE(caller.shows("MAIN COMMAND MENU", 14, 31));
    caller.type("1\r");
    ASSERT_TRUE(caller.shows("Sure you want to quit (Y/[N]): ", 23, 2));
    caller.type("y\r");
    ASSERT_TRUE(caller.shows("Press [ENTER] to exit..."));
    caller.type("\r");
    EXPECT_EQ(caller.wait_exit(), 0) << caller.stderr_text();

    // The company's texts come back as they were, still without a NUL.
    const std::string saved = contents("quonda.dat");
    ASSERT_EQ(saved.size(), static_cast<size_t>(kMarketBytes));
    MarketRecord after{};
    decode_market(reinterpret_cast<const unsigned char*>(saved.data()), after);
    EXPECT_EQ(std::string(after.companies[0].name, kNameSize),
              std::string(company.name, kNameSize));
}

}  // namespace

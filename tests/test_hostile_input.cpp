// Text that callers and files control is never a format and never runs past its field, through
// the real game; and the inputs the fuzz targets found wanting, as tables.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "data/codec.h"
#include "data/dates.h"
#include "data/session_state.h"
#include "doorkit/dropfile.h"
#include "doorkit/keys.h"
#include "market/market.h"
#include "session/time_control.h"
#include "vcaller/caller.h"

namespace {

constexpr const char* kTodayText = "Jun 15 2024";

void set_text(char* field, size_t size, const char* text) {
    std::memset(field, 0, size);
    std::memcpy(field, text, strnlen(text, size - 1));
}

// A fresh directory, removed with everything in it when the test ends.
struct TempDir {
    std::string path = make_temp_dir("hostile");
    ~TempDir() { remove_tree(path); }
};

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(HostileKeys, LongNumbersInSequencesNameNoKey) {
    const struct {
        std::string bytes;
        std::vector<int> keys;  // characters, or 0x100 + scan code for extended keys
    } cases[] = {
        {"\x1b[9999999999999~x", {'x'}},  // more digits than an int holds
        {"\x1b[2147483648;5~x", {'x'}},
        {"\x1b[0000000000003~", {0x100 + kScanDelete}},  // leading zeros are no long number
        {"\x1b[9~\x1b[1000~", {}},
    };
    for (const auto& c : cases) {
        KeyDecoder decoder;
        std::vector<OdInputEvent> out;
        for (char byte : c.bytes) decoder.feed(static_cast<unsigned char>(byte), out);
        std::vector<int> keys;
        for (const OdInputEvent& e : out) {
            keys.push_back((e.event_type == kEventExtendedKey ? 0x100 : 0) + e.key_press);
        }
        EXPECT_EQ(keys, c.keys) << c.bytes.substr(1);
    }
}

TEST(HostileDropFile, ControlCharactersAreDroppedFromNames) {
    const struct {
        std::string alias;     // line 7 of DOOR32.SYS
        std::string expected;  // empty: the file names no caller
    } cases[] = {
        {"Eve\x1b[2J\x1b]0;owned\x07 Smith", "Eve[2J]0;owned Smith"},
        {std::string("Bo\0b\x7f", 5), "Bob"},
        {"Ann\tLee", "AnnLee"},
        {"\x80\xe9t\xe9\xff", "\x80\xe9t\xe9\xff"},
        {"\x01\x02\x1b", ""},
    };
    for (const auto& c : cases) {
        DropInfo info;
        std::string error;
        const int result = parse_drop_file(
            DropFormat::kDoor32, "2\n0\n38400\nBBS\n7\nReal Name\n" + c.alias + "\n10\n60\n1\n1\n",
            &info, &error);
        EXPECT_EQ(result, c.expected.empty() ? -1 : 0) << c.expected;
        EXPECT_TRUE(result == 0 ? info.name == c.expected
                                : error.find("names no caller") != std::string::npos)
            << info.name << error;
    }
}

// quonda.ses holding counts at the ends of the 32-bit range: the day's allowance and the session
// count neither overflow nor wrap (the sanitizer build fails on the former).
TEST(HostileSessionStore, ExtremeCountsNeitherOverflowNorWrap) {
    const TempDir dir;
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir(dir.path.c_str()), 0);
    const int32_t today = day_number(kTodayText);
    std::string entry("TEST CALLER");
    entry.resize(32, '\0');
    for (int32_t field : {today, int32_t{100}, INT32_MIN, INT32_MAX}) {
        for (int i = 0; i < 4; ++i) entry.push_back(static_cast<char>(uint32_t(field) >> (8 * i)));
    }
    std::ofstream(kSessionEndFile, std::ios::binary) << entry;
    g_time_control = {};
    g_time_control.tier = 1;
    g_time_control.record.daily_minutes[1] = 60;
    od_control.user_timelimit = 30;
    std::snprintf(g_session.today, sizeof g_session.today, "%s", kTodayText);
    PlayerRecord player{};
    set_text(player.name, sizeof player.name, "TEST CALLER");
    set_text(player.last_played, sizeof player.last_played, kTodayText);
    take_player_counters(player);
    EXPECT_EQ(check_daily_limits(), 0);  // 60 minutes less a count far below zero: no limit
    EXPECT_EQ(od_control.user_timelimit, 30);

    store_session_end("TEST CALLER", kTodayText, 9 * 3600 + 600, 600);
    const SessionEndNote note = load_session_end("TEST CALLER");
    EXPECT_EQ(note.day, today);
    EXPECT_EQ(note.games_today, INT32_MAX);
    EXPECT_EQ(note.seconds_today, INT32_MIN + 600);
    EXPECT_EQ(chdir(previous), 0);
}

struct NameCase {
    const char* label;
    std::string dropped;  // the name in DOOR32.SYS
    std::string stored;   // control characters gone, 31 at most, upper case (0x80 up no letters)
};

const NameCase kNames[] = {
    {"Formats", "%n%s%n%s %x%p%n%s%d", "%N%S%N%S %X%P%N%S%D"},
    {"TwoHundredCharacters", "Methuselah" + std::string(190, 'q'),
     "METHUSELAH" + std::string(21, 'Q')},
    {"ControlCharacters", std::string("Esc\x1b[2J\007Bell\x01\x7f\x08\0 %n Name", 24),
     "ESC[2JBELL %N NAME"},
    {"HighBytes", "\x80\x9a\xe9l\xe8ve \xff\xfe\xfd\xfc\xb0",
     "\x80\x9a\xe9L\xe8VE \xff\xfe\xfd\xfc\xb0"},
};

class HostileGame : public ::testing::TestWithParam<NameCase> {};

// A new player with a hostile name, on a market whose company 0 (the gift shares) has its texts
// full of "%s%n" and no NUL, answers with format text, views the profile and quits: every text
// reaches the screen, the record, the bulletin and the error log (no quonda.new) as text.
TEST_P(HostileGame, NamesAndCompanyTextsAreShownAndStoredAsText) {
    const NameCase& c = GetParam();
    MarketRecord market{};
    (void)build_default_market(market);
    set_text(market.date, sizeof market.date, kTodayText);  // no market day runs
    CompanyRecord& company = market.companies[0];
    const auto fill = [](char* field, size_t size, const std::string& pattern) {
        for (size_t i = 0; i < size; ++i) field[i] = pattern[i % pattern.size()];
    };
    fill(company.symbol, sizeof company.symbol, "%n%s");
    fill(company.name, sizeof company.name, "%s%n");
    for (int line = 0; line < kHistoryLines; ++line) {
        fill(company.history[line], sizeof company.history[line], line % 2 ? "%n%s%x%p" : "%s%n");
    }
    std::string bytes(kMarketBytes, '\0');
    encode_market(market, reinterpret_cast<unsigned char*>(bytes.data()));
    const TempDir dir;
    std::ofstream(dir.path + "/quonda.dat", std::ios::binary) << bytes;
    // The door inherits this environment: under the sanitizer it must accept libfaketime first.
    const char* asan = std::getenv("ASAN_OPTIONS");
    setenv("ASAN_OPTIONS", (std::string(asan ? asan : "") + ":verify_asan_link_order=0").c_str(),
           1);

    CallerOptions options;
    options.door = std::string(BULLMOOR_BINARY_DIR) + "/tests/bullmoor_test";
    options.work_dir = dir.path;
    options.faketime = "2024-06-15 10:00:00";
    options.user_name = c.dropped;
    VirtualCaller caller(options);
    ASSERT_TRUE(caller.start());
    // Through the new player's screens, with format text as an answer and as a choice.
    caller.type("%n%s%n\r0\r%n%s%n%s%n%s%n%s\r3\r\r\r");
    ASSERT_TRUE(caller.shows("MAIN COMMAND MENU", 14, 31));
    EXPECT_EQ(caller.screen().text(2, 8, 4), "%n% ") << caller.screen().dump();
    EXPECT_EQ(caller.screen().text(2, 32, 12), "     10/$145") << caller.screen().dump();

    caller.type("2\r\r");  // the profile of company 0, where the selector starts
    ASSERT_TRUE(caller.shows("COMMON", 2, 62));  // one graph per kind, each closed with Enter
    // Name cut at 31, symbol at 3, description lines whole at 80 bytes (the terminal wraps).
    const std::string& sent = caller.raw_output();
    const std::string name31 = "%s%n%s%n%s%n%s%n%s%n%s%n%s%n%s%";
    EXPECT_NE(sent.find("Company name   : \x1b[0m" + name31 + "\r\n"), std::string::npos);
    EXPECT_NE(sent.find("Exchange symbol: \x1b[0m%n%\r\n"), std::string::npos);
    for (int line = 0; line < kHistoryLines; ++line) {
        const std::string text(company.history[line], kHistoryLineSize);
        EXPECT_NE(sent.find("      " + text + "\r\n"), std::string::npos) << "line " << line;
    }
    caller.type("\r\r1\r%s%n%s%n\r");  // quit? neither yes nor no: keep playing
    ASSERT_TRUE(caller.shows("Current cash:", 23, 2));
    caller.type("\ry\r");
    ASSERT_TRUE(caller.shows("Press [ENTER] to exit..."));
    std::string greeting;  // the first name as a CP437 terminal shows it
    for (char ch : c.stored.substr(0, c.stored.find(' '))) greeting += cp437_glyph(uint8_t(ch));
    ASSERT_TRUE(caller.shows(greeting + " you started with a net worth of 3710.", -1, 8));
    caller.type("\r");
    EXPECT_EQ(caller.wait_exit(), 0) << caller.stderr_text();

    const std::string plr = read_file(dir.path + "/quonda.plr");
    ASSERT_EQ(plr.size(), static_cast<size_t>(kPlayerBytes));
    PlayerRecord stored{};
    decode_player(reinterpret_cast<const unsigned char*>(plr.data()), stored);
    EXPECT_EQ(std::string(stored.name, strnlen(stored.name, kNameSize)), c.stored);
    const std::string bulletin = read_file(dir.path + "/quonda.bul");
    EXPECT_NE(bulletin.find("\n       " + c.stored + "            3710"), std::string::npos)
        << bulletin;
    const std::string log = read_file(dir.path + "/quonda.err");
    EXPECT_NE(log.find(std::string(kTodayText) + "   " + c.stored +
                       "\nError [39] - Can't locate new player file (quonda.new)."),
              std::string::npos)
        << log;
}

INSTANTIATE_TEST_SUITE_P(Names, HostileGame, ::testing::ValuesIn(kNames),
                         [](const auto& info) { return std::string(info.param.label); });

}  // namespace

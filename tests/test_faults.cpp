// Faults around a session, with the real game started by the virtual caller: hang-ups at every
// read of session start and at every kind of read during play, SIGHUP, SIGTERM and SIGPIPE,
// files that are directories, unreadable or unwritable, and the modes of the files the game
// creates. Each case checks what reached quonda.dat, quonda.plr and the bulletin.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "data/codec.h"
#include "data/config.h"
#include "data/file_access.h"
#include "data/records.h"
#include "market/market.h"
#include "session/session.h"
#include "session/time_control.h"
#include "vcaller/caller.h"

namespace {

constexpr const char* kClock = "2024-06-15 10:00:00";  // within the default paging hours
constexpr const char* kToday = "Jun 15 2024";
constexpr const char* kYesterday = "Jun 14 2024";
constexpr const char* kCaller = "TEST CALLER";
constexpr const char* kEnterPrompt = "Press [ENTER] to continue...";
constexpr const char* kPassword = "SECRET9";
constexpr int32_t kStartingCommon = 2000000;  // common shares of companies 0 and 7 at the start

void set_text(char* field, size_t size, const char* text) {
    std::memset(field, 0, size);
    std::memcpy(field, text, strnlen(text, size - 1));
}

// The default exchange on the given date; on these trends a market day moves no price.
MarketRecord market_dated(const char* date) {
    MarketRecord market{};
    (void)build_default_market(market);
    set_text(market.date, sizeof market.date, date);
    market.general_trend = 5;
    for (CompanyRecord& company : market.companies) {
        for (int k = 0; k < kKindCount; ++k) company.trend[k] = 3;
    }
    return market;
}

// Who calls, as stored in quonda.plr before the session.
enum class Caller {
    kNew,          // no record
    kReturning,    // played and traded yesterday
    kWipedOut,     // net worth under 100, 50 common shares of company 3
    kTradedToday,  // refused by the once-per-day rule
    kShortCalled,  // a short position that the margin call closes
};

PlayerRecord stored_player(Caller who, const MarketRecord& market) {
    PlayerRecord p{};
    set_text(p.name, sizeof p.name, kCaller);
    set_text(p.last_played, sizeof p.last_played, kYesterday);
    set_text(p.last_traded, sizeof p.last_traded,
             who == Caller::kTradedToday ? kToday : kYesterday);
    p.times_played = 3;
    p.seconds_played = 600;
    p.cash = 1000;
    p.net_worth = 5000;
    for (int c = 0; c < kCompanyCount; ++c) {
        for (int k = 0; k < kKindCount; ++k) {
            p.holdings[c].last_price[k] = market.companies[c].price[k][0];
        }
    }
    if (who == Caller::kWipedOut) {
        p.cash = 50;
        p.net_worth = 50;
        p.holdings[3].count[kCommon] = 50;
    }
    if (who == Caller::kShortCalled) {
        p.holdings[2].short_count = 10;
        p.holdings[2].short_price = 1;  // called at any common price of 1 or more
    }
    return p;
}

class Door : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = make_temp_dir("faults");
        ASSERT_FALSE(dir_.empty());
        for (const char* name :
             {"quonda.new", "quonda.doc", "quonda.ttn", "quonda.tti", "quonda.ttc"}) {
            write(name, read_path(std::string(BULLMOOR_SOURCE_DIR) + "/dist/" + name));
        }
    }
    void TearDown() override {
        chmod(dir_.c_str(), 0700);
        remove_tree(dir_);
    }

    std::string path(const std::string& name) const { return dir_ + "/" + name; }
    bool exists(const std::string& name) const {
        struct stat info {};
        return stat(path(name).c_str(), &info) == 0;
    }
    ino_t inode(const std::string& name) const {
        struct stat info {};
        return stat(path(name).c_str(), &info) == 0 ? info.st_ino : 0;
    }
    static std::string read_path(const std::string& full) {
        struct stat info {};
        if (stat(full.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return "";
        std::ifstream in(full, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::string read(const std::string& name) const { return read_path(path(name)); }
    void write(const std::string& name, const std::string& bytes) const {
        std::ofstream out(path(name), std::ios::binary | std::ios::trunc);
        out << bytes;
    }
    void make_directory(const std::string& name) const {
        std::remove(path(name).c_str());
        ASSERT_EQ(mkdir(path(name).c_str(), 0700), 0) << name;
    }

    void save(const MarketRecord& market) const {
        std::string bytes(kMarketBytes, '\0');
        encode_market(market, reinterpret_cast<unsigned char*>(bytes.data()));
        write("quonda.dat", bytes);
    }
    void save(const PlayerRecord& player) const {
        std::string bytes(kPlayerBytes, '\0');
        encode_player(player, reinterpret_cast<unsigned char*>(bytes.data()));
        write("quonda.plr", bytes);
    }
    MarketRecord market() const {
        const std::string bytes = read("quonda.dat");
        MarketRecord m{};
        EXPECT_EQ(bytes.size(), static_cast<size_t>(kMarketBytes));
        if (bytes.size() == static_cast<size_t>(kMarketBytes)) {
            decode_market(reinterpret_cast<const unsigned char*>(bytes.data()), m);
        }
        return m;
    }
    PlayerRecord player() const {
        const std::string bytes = read("quonda.plr");
        PlayerRecord p{};
        EXPECT_EQ(bytes.size(), static_cast<size_t>(kPlayerBytes));
        if (bytes.size() >= static_cast<size_t>(kPlayerBytes)) {
            decode_player(reinterpret_cast<const unsigned char*>(bytes.data()), p);
        }
        return p;
    }
    void write_config() const {
        write("quonda.cfg", std::string("Test BBS\r\nquonda.doc\r\nquonda.bul\r\n") + kCaller +
                                "\r\n" + kPassword + "\r\n");
    }

    CallerOptions options(Link link = Link::kSocket) const {
        CallerOptions o;
        o.door = std::string(BULLMOOR_BINARY_DIR) + "/tests/bullmoor_test";
        o.work_dir = dir_;
        o.faketime = kClock;
        o.link = link;
        return o;
    }

    std::string dir_;
};

// Waits until the door has sent text after byte `from` of its output.
::testing::AssertionResult sent_after(VirtualCaller& caller, size_t from, const std::string& text) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (caller.raw_output().find(text, from) == std::string::npos) {
        if (std::chrono::steady_clock::now() > deadline) {
            return ::testing::AssertionFailure() << "expected \"" << text << "\" to be sent\n"
                                                 << caller.screen().dump();
        }
        caller.drain(20);
    }
    return ::testing::AssertionSuccess();
}

// Types keys and waits for the door to answer with text.
::testing::AssertionResult answer(VirtualCaller& caller, const std::string& keys,
                                  const std::string& text) {
    const size_t from = caller.raw_output().size();
    caller.type(keys);
    return sent_after(caller, from, text);
}

// ---- hang-ups at the reads of session start ----

enum class StartRead {
    kWipedOutNotice,
    kRefusal,
    kNewPlayerPager,
    kAfterNewPlayerText,
    kDocumentationPager,
    kCaptureSetup,
    kCaptureDone,
    kAfterTitle,
    kPriceReport,
    kMarginCall,
};

struct StartCase {
    const char* name;
    StartRead read;
    Caller who;
    int exit_code;
    bool saved;  // market and record written by the session end
};

void PrintTo(const StartCase& c, std::ostream* out) {
    *out << c.name;
}

// Brings the caller to the read and leaves the door waiting there.
::testing::AssertionResult reach(VirtualCaller& caller, StartRead read) {
    auto ok = sent_after(caller, 0, kEnterPrompt);  // the sign-on screen
    if (!ok) return ok;
    switch (read) {
        case StartRead::kWipedOutNotice:
            return answer(caller, "\r", "Notice, you are wiped out.");
        case StartRead::kRefusal:
            return answer(caller, "\r", "You have already traded stocks today.");
        case StartRead::kNewPlayerPager:
            if (!(ok = answer(caller, "\r", "Please select graphics mode (0-2): "))) return ok;
            return answer(
                caller, "2",
                "NEW PLAYER LINE 17\r\n                            " + std::string(kEnterPrompt));
        case StartRead::kAfterNewPlayerText:
            if (!(ok = answer(caller, "\r", "Please select graphics mode (0-2): "))) return ok;
            return answer(caller, "2", kEnterPrompt);
        case StartRead::kDocumentationPager:
        case StartRead::kCaptureSetup:
        case StartRead::kCaptureDone:
            if (!(ok = answer(caller, "\r", "Please select graphics mode (0-2): "))) return ok;
            if (!(ok = answer(caller, "0", kEnterPrompt))) return ok;
            if (!(ok = answer(caller, "\r", "Enter desired function (1-3): "))) return ok;
            if (read == StartRead::kDocumentationPager) return answer(caller, "1\r", kEnterPrompt);
            if (!(ok = answer(caller, "2\r", "Setup your capture, then press ENTER..."))) return ok;
            if (read == StartRead::kCaptureSetup) return ok;
            return answer(caller, "\r", "Documentation complete, terminate capture");
        case StartRead::kAfterTitle:
            return answer(caller, "\r", kEnterPrompt);
        case StartRead::kPriceReport:
            if (!(ok = answer(caller, "\r", kEnterPrompt))) return ok;
            return answer(caller, "\r", "PRICE CHANGES SINCE YOU WERE LAST ON");
        case StartRead::kMarginCall:
            if (!(ok = answer(caller, "\r", kEnterPrompt))) return ok;
            if (!(ok = answer(caller, "\r", "PRICE CHANGES SINCE YOU WERE LAST ON"))) return ok;
            return answer(caller, "\r", "NOTICE: MARGIN CALL");
    }
    return ::testing::AssertionFailure() << "unknown read";
}

class StartHangUp : public Door, public ::testing::WithParamInterface<StartCase> {};

TEST_P(StartHangUp, WritesWhatTheSessionHadAndNothingMore) {
    const StartCase& c = GetParam();
    const MarketRecord start = market_dated(kToday);  // no market day: start writes nothing
    save(start);
    if (c.who != Caller::kNew) save(stored_player(c.who, start));
    if (c.read == StartRead::kNewPlayerPager) {
        std::string text;
        for (int line = 1; line <= 30; ++line) {
            text += "NEW PLAYER LINE " + std::to_string(line) + "\r\n";
        }
        write("quonda.new", text);
    }
    const std::string market_before = read("quonda.dat");
    const ino_t market_inode = inode("quonda.dat");
    const std::string players_before = read("quonda.plr");

    VirtualCaller caller(options());
    ASSERT_TRUE(caller.start());
    ASSERT_TRUE(reach(caller, c.read));
    caller.drain(50);
    caller.hang_up();
    EXPECT_EQ(caller.wait_exit(), c.exit_code);

    if (!c.saved) {
        EXPECT_EQ(inode("quonda.dat"), market_inode) << "the market was written";
        EXPECT_TRUE(read("quonda.dat") == market_before) << "quonda.dat changed";
        EXPECT_TRUE(read("quonda.plr") == players_before) << "quonda.plr changed";
        EXPECT_FALSE(exists("quonda.bul"));
        return;
    }
    EXPECT_NE(inode("quonda.dat"), market_inode) << "the market was not saved";
    const PlayerRecord stored = player();
    const MarketRecord saved = market();
    EXPECT_STREQ(stored.name, kCaller);
    EXPECT_STREQ(stored.last_played, kToday);
    EXPECT_NE(read("quonda.bul").find(kCaller), std::string::npos);
    if (c.who == Caller::kReturning) {
        EXPECT_EQ(stored.times_played, 4);
        EXPECT_EQ(stored.cash, 1000);
        EXPECT_TRUE(read("quonda.dat") == market_before) << "quonda.dat changed";
        return;
    }
    // A new or rebuilt portfolio: $2000 and the gift shares, taken from the market.
    EXPECT_EQ(stored.times_played, 1);
    EXPECT_EQ(stored.cash, 2000);
    EXPECT_EQ(stored.holdings[0].count[kCommon], 10);
    EXPECT_EQ(stored.holdings[7].count[kCommon], 10);
    EXPECT_EQ(saved.companies[0].available[kCommon], start.companies[0].available[kCommon] - 10);
    EXPECT_EQ(saved.companies[7].available[kCommon], start.companies[7].available[kCommon] - 10);
    if (c.who == Caller::kWipedOut) {
        EXPECT_EQ(stored.holdings[3].count[kCommon], 0);
        EXPECT_EQ(saved.companies[3].available[kCommon],
                  start.companies[3].available[kCommon] + 50);
    } else {
        const bool chose_colour =
            c.read == StartRead::kNewPlayerPager || c.read == StartRead::kAfterNewPlayerText;
        EXPECT_EQ(stored.graphics_mode, chose_colour ? 2 : 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Reads, StartHangUp,
    ::testing::Values(
        StartCase{"WipedOutNotice", StartRead::kWipedOutNotice, Caller::kWipedOut, 0, true},
        // Refused callers write nothing, however they leave.
        StartCase{"OncePerDayRefusal", StartRead::kRefusal, Caller::kTradedToday, 0, false},
        StartCase{"NewPlayerPager", StartRead::kNewPlayerPager, Caller::kNew, 0, true},
        StartCase{"AfterNewPlayerText", StartRead::kAfterNewPlayerText, Caller::kNew, 0, true},
        StartCase{"DocumentationPager", StartRead::kDocumentationPager, Caller::kNew, 0, true},
        StartCase{"CaptureSetup", StartRead::kCaptureSetup, Caller::kNew, 0, true},
        StartCase{"CaptureDone", StartRead::kCaptureDone, Caller::kNew, 0, true},
        StartCase{"AfterTitle", StartRead::kAfterTitle, Caller::kReturning, 0, true},
        // The two start-up reports end a lost caller with exit code 1: nothing is saved.
        StartCase{"PriceReport", StartRead::kPriceReport, Caller::kReturning, 1, false},
        StartCase{"MarginCall", StartRead::kMarginCall, Caller::kShortCalled, 1, false}),
    [](const ::testing::TestParamInfo<StartCase>& info) { return info.param.name; });

// ---- hang-ups and signals during play ----

// To the main menu as a returning player (editor access by name, see write_config).
::testing::AssertionResult to_main_menu(VirtualCaller& caller) {
    auto ok = sent_after(caller, 0, kEnterPrompt);
    if (ok) ok = answer(caller, "\r", "Editor access granted...");
    if (ok) ok = sent_after(caller, 0, "T H E   S T O C K");
    if (ok) ok = answer(caller, "\r", "PRICE CHANGES SINCE YOU WERE LAST ON");
    if (ok) ok = answer(caller, "\r", "Current cash:");
    return ok;
}

enum class PlayRead {
    kTradingMenu,
    kCompanySelector,
    kQuantity,
    kHelpPage,
    kEditorPassword,
    kEditorMenu,
    kPlayerEditor,
    kEditorField,
    kHistoryEditor,
    kHistoryQuestion,
    kExitPrompt,
};

struct PlayCase {
    const char* name;
    PlayRead read;
};

void PrintTo(const PlayCase& c, std::ostream* out) {
    *out << c.name;
}

::testing::AssertionResult reach(VirtualCaller& caller, PlayRead read) {
    auto ok = to_main_menu(caller);
    if (!ok) return ok;
    switch (read) {
        case PlayRead::kTradingMenu:
            return answer(caller, "22\r", "STOCK TRADING MENU");
        case PlayRead::kCompanySelector:
            if (!(ok = answer(caller, "22\r", "STOCK TRADING MENU"))) return ok;
            return answer(caller, "\r", "Select a company...");
        case PlayRead::kQuantity:
            if (!(ok = answer(caller, "22\r", "STOCK TRADING MENU"))) return ok;
            if (!(ok = answer(caller, "\r\r", "STOCK TYPE SELECTION MENU"))) return ok;
            return answer(caller, "2\r", "Enter quantity to trade (0-[");
        case PlayRead::kHelpPage:
            if (!(ok = answer(caller, "22222\r", "MAIN HELP MENU"))) return ok;
            return answer(caller, "\r", kEnterPrompt);
        case PlayRead::kEditorPassword:
            return answer(caller, "\x05", "Enter password: ");
        default:
            break;
    }
    if (read == PlayRead::kExitPrompt) {
        if (!(ok = answer(caller, "1\r", "Sure you want to quit (Y/[N]): "))) return ok;
        return answer(caller, "y\r", "Press [ENTER] to exit...");
    }
    if (!(ok = answer(caller, "\x05", "Enter password: "))) return ok;
    if (!(ok = answer(caller, std::string(kPassword) + "\r", "MAIN EDITOR MENU"))) return ok;
    switch (read) {
        case PlayRead::kEditorMenu:
            return ok;
        case PlayRead::kPlayerEditor:
            return answer(caller, "\r", "PLAYER EDIT MENU");
        default:
            break;
    }
    if (!(ok = answer(caller, "2\r", "COMPANY EDIT MENU"))) return ok;
    if (!(ok = answer(caller, "2\r", "COMPANY PROFILE MENU"))) return ok;
    if (read == PlayRead::kEditorField) return answer(caller, "\r", "Enter new company name: ");
    if (!(ok = answer(caller, "222\r", "REPLACE MODE"))) return ok;
    if (read == PlayRead::kHistoryEditor) return ok;
    return answer(caller, "\x11", "Abort edit (Y/[N]): ");  // Ctrl-Q
}

class PlayHangUp : public Door, public ::testing::WithParamInterface<PlayCase> {};

TEST_P(PlayHangUp, EndsNormallyAndSaves) {
    const MarketRecord start = market_dated(kToday);
    save(start);
    save(stored_player(Caller::kReturning, start));
    write_config();
    const ino_t market_inode = inode("quonda.dat");

    VirtualCaller caller(options());
    ASSERT_TRUE(caller.start());
    ASSERT_TRUE(reach(caller, GetParam().read));
    caller.drain(50);
    caller.hang_up();
    EXPECT_EQ(caller.wait_exit(), 0);

    EXPECT_NE(inode("quonda.dat"), market_inode) << "the market was not saved";
    const PlayerRecord stored = player();
    EXPECT_STREQ(stored.last_played, kToday);
    EXPECT_EQ(stored.times_played, 4);
    EXPECT_NE(read("quonda.bul").find(kCaller), std::string::npos);
    EXPECT_EQ(read("quonda.err").find(kPassword), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Reads, PlayHangUp,
    ::testing::Values(PlayCase{"TradingMenu", PlayRead::kTradingMenu},
                      PlayCase{"CompanySelector", PlayRead::kCompanySelector},
                      PlayCase{"QuantityLine", PlayRead::kQuantity},
                      PlayCase{"HelpPage", PlayRead::kHelpPage},
                      PlayCase{"EditorPassword", PlayRead::kEditorPassword},
                      PlayCase{"EditorMenu", PlayRead::kEditorMenu},
                      PlayCase{"PlayerEditorHoldingThePlayerFile", PlayRead::kPlayerEditor},
                      PlayCase{"EditorField", PlayRead::kEditorField},
                      PlayCase{"HistoryEditor", PlayRead::kHistoryEditor},
                      PlayCase{"HistoryEditorQuestion", PlayRead::kHistoryQuestion},
                      PlayCase{"ExitPrompt", PlayRead::kExitPrompt}),
    [](const ::testing::TestParamInfo<PlayCase>& info) { return info.param.name; });

// A signal from the BBS or the system, or a caller gone from a pipe, ends the session as carrier
// loss does: the summary, the saved record and the bulletin. SIGPIPE never kills the door.
struct SignalCase {
    const char* name;
    Link link;
    int signal;  // 0: the caller closes the connection
};

void PrintTo(const SignalCase& c, std::ostream* out) {
    *out << c.name;
}

class Signals : public Door, public ::testing::WithParamInterface<SignalCase> {};

TEST_P(Signals, EndTheSessionNormallyWithSaving) {
    const SignalCase& c = GetParam();
    const MarketRecord start = market_dated(kToday);
    save(start);
    save(stored_player(Caller::kReturning, start));
    write_config();

    VirtualCaller caller(options(c.link));
    ASSERT_TRUE(caller.start());
    ASSERT_TRUE(to_main_menu(caller));
    caller.drain(50);
    // After a signal the door counts the caller as gone and sends nothing more.
    if (c.signal != 0) {
        kill(caller.pid(), c.signal);
    } else {
        caller.hang_up();
    }
    EXPECT_EQ(caller.wait_exit(), 0);
    const PlayerRecord stored = player();
    EXPECT_STREQ(stored.last_played, kToday);
    EXPECT_EQ(stored.times_played, 4);
    EXPECT_NE(read("quonda.bul").find(kCaller), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, Signals,
    ::testing::Values(SignalCase{"HangUpSignalOnASocket", Link::kSocket, SIGHUP},
                      SignalCase{"TerminateOnASocket", Link::kSocket, SIGTERM},
                      SignalCase{"TerminateOnAPseudoTerminal", Link::kStdPty, SIGTERM},
                      SignalCase{"CallerGoneFromPipes", Link::kStdPipes, 0}),
    [](const ::testing::TestParamInfo<SignalCase>& info) { return info.param.name; });

// ---- files that are directories ----

struct DirectoryCase {
    const char* name;
    const char* directory;  // made a directory before the session
    bool market_day;        // quonda.dat dated yesterday: the update, save and pass run at start
    int exit_code;          // -1: the session reaches the main menu and the caller quits
    const char* logged;     // in quonda.err, or on the caller's screen when quonda.err is broken
};

void PrintTo(const DirectoryCase& c, std::ostream* out) {
    *out << c.name;
}

class DirectoryInPlace : public Door, public ::testing::WithParamInterface<DirectoryCase> {};

TEST_P(DirectoryInPlace, GivesTheMessageAndNeverHangs) {
    const DirectoryCase& c = GetParam();
    const MarketRecord start = market_dated(c.market_day ? kYesterday : kToday);
    save(start);
    save(stored_player(Caller::kReturning, start));
    ASSERT_NO_FATAL_FAILURE(make_directory(c.directory));
    const std::string market_before = read("quonda.dat");
    const std::string players_before = read("quonda.plr");

    VirtualCaller caller(options());
    ASSERT_TRUE(caller.start());
    if (c.exit_code >= 0) {
        ASSERT_TRUE(sent_after(caller, 0, kEnterPrompt));
        caller.type("\r");
        EXPECT_EQ(caller.wait_exit(), c.exit_code);
    } else {
        ASSERT_TRUE(sent_after(caller, 0, kEnterPrompt));
        ASSERT_TRUE(answer(caller, "\r", kEnterPrompt));  // after the title screen
        ASSERT_TRUE(answer(caller, "\r", "PRICE CHANGES SINCE YOU WERE LAST ON"));
        ASSERT_TRUE(answer(caller, "\r", "Current cash:"));
        ASSERT_TRUE(answer(caller, "1\r", "Sure you want to quit (Y/[N]): "));
        ASSERT_TRUE(answer(caller, "y\r", "Press [ENTER] to exit..."));
        caller.type("\r");
        EXPECT_EQ(caller.wait_exit(), 0);
    }
    const std::string err = exists("quonda.err") && std::string(c.directory) != "quonda.err"
                                ? read("quonda.err")
                                : caller.raw_output();
    EXPECT_NE(err.find(c.logged), std::string::npos) << err;

    const std::string name = c.directory;
    if (c.exit_code == 1) {
        EXPECT_TRUE(read("quonda.dat") == market_before) << "quonda.dat changed";
        EXPECT_TRUE(read("quonda.plr") == players_before) << "quonda.plr changed";
    } else if (name == "quonda.tmp") {
        // The market day ran, but the player file could not be passed: it is left as it was
        // apart from the caller's own record written at the end.
        EXPECT_STREQ(market().date, kToday);
        EXPECT_EQ(read("quonda.plr").size(), static_cast<size_t>(kPlayerBytes));
        EXPECT_STREQ(player().last_played, kToday);
    } else if (name == "quonda.dat.tmp") {
        EXPECT_TRUE(read("quonda.dat") == market_before)
            << "quonda.dat changed";  // no save possible, none half done
        EXPECT_STREQ(player().last_played, kToday);
    } else {
        EXPECT_STREQ(player().last_played, kToday);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, DirectoryInPlace,
    ::testing::Values(
        DirectoryCase{"Market", "quonda.dat", false, 1,
                      "Error [41] - Can't read market info file (quonda.dat)"},
        DirectoryCase{"Players", "quonda.plr", false, 1,
                      "Error [43] - Can't open player file (quonda.plr)."},
        DirectoryCase{"TimeControl", "quonda.tim", false, 1,
                      "Error [42] - Error in time control file (quonda.tim)."},
        DirectoryCase{"Config", "quonda.cfg", false, -1,
                      "Warning [40] - Cant't read config file (quonda.cfg)."},
        DirectoryCase{"TitleScreen", "quonda.ttn", false, -1,
                      "Error [42] - Can't locate title screen file (quonda.ttn)."},
        // Nothing can be logged: the session goes on as if nothing had happened.
        DirectoryCase{"ErrorLog", "quonda.err", false, -1, "SCORING SUMMARY"},
        DirectoryCase{"Bulletin", "quonda.bul", false, -1, "Cant't read config file"},
        DirectoryCase{"PassOutput", "quonda.tmp", true, -1, "Cant't read config file"},
        DirectoryCase{"MarketTemporary", "quonda.dat.tmp", false, -1, "Cant't read config file"}),
    [](const ::testing::TestParamInfo<DirectoryCase>& info) { return info.param.name; });

// ---- unreadable and unwritable files ----

// Each operation in a child that cannot read the files (mode 000) nor write the directory: as
// root the child drops to an unprivileged user, since root may read anything. Its result comes
// back as the exit code; an alarm turns a hang into a failure.
struct AccessCase {
    const char* name;
    int (*operation)();
    int expected;
};

void PrintTo(const AccessCase& c, std::ostream* out) {
    *out << c.name;
}

int load_the_market() {
    MarketRecord market{};
    return load_market(market);
}
int find_the_caller() {
    PlayerRecord player{};
    int32_t offset = 0;
    return find_player(kCaller, player, offset);
}
int read_the_config() {
    Config config;
    return read_config(config);
}
int load_time_rules() {
    return load_time_control("quonda.tim");
}
int save_a_market() {
    return save_market(market_dated(kToday));
}
int rewrite_the_caller() {
    return rewrite_player(stored_player(Caller::kReturning, market_dated(kToday)), 0);
}
int pass_the_players() {
    return player_file_pass(market_dated(kToday), kToday, kYesterday);
}
int log_a_problem() {
    return log_error(false, "Error - test entry.");
}

class NoAccess : public Door, public ::testing::WithParamInterface<AccessCase> {};

TEST_P(NoAccess, FailsAtOnceAndChangesNothing) {
    const AccessCase& c = GetParam();
    save(market_dated(kYesterday));
    save(stored_player(Caller::kReturning, market_dated(kYesterday)));
    for (const char* name : {"quonda.cfg", "quonda.tim", "quonda.err"}) write(name, "x\n");
    const std::string market_before = read("quonda.dat");
    const std::string players_before = read("quonda.plr");
    for (const char* name :
         {"quonda.dat", "quonda.plr", "quonda.cfg", "quonda.tim", "quonda.err"}) {
        ASSERT_EQ(chmod(path(name).c_str(), 0), 0);
    }
    ASSERT_EQ(chmod(dir_.c_str(), 0555), 0);

    const pid_t pid = fork();
    if (pid == 0) {
        alarm(20);
        if (geteuid() == 0 &&
            (setresgid(65534, 65534, 65534) != 0 || setresuid(65534, 65534, 65534) != 0)) {
            _exit(100);
        }
        if (chdir(dir_.c_str()) != 0) _exit(101);
        _exit(c.operation() + 10);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status) - 10, c.expected);

    chmod(dir_.c_str(), 0700);
    for (const char* name : {"quonda.dat", "quonda.plr"}) chmod(path(name).c_str(), 0600);
    EXPECT_TRUE(read("quonda.dat") == market_before) << "quonda.dat changed";
    EXPECT_TRUE(read("quonda.plr") == players_before) << "quonda.plr changed";
    EXPECT_FALSE(exists("quonda.dat.tmp"));
    EXPECT_FALSE(exists("quonda.tmp"));
}

INSTANTIATE_TEST_SUITE_P(Operations, NoAccess,
                         ::testing::Values(AccessCase{"LoadMarket", load_the_market, -1},
                                           AccessCase{"FindPlayer", find_the_caller, -1},
                                           AccessCase{"ReadConfig", read_the_config, -2},
                                           AccessCase{"LoadTimeControl", load_time_rules, -1},
                                           AccessCase{"SaveMarket", save_a_market, -2},
                                           AccessCase{"RewritePlayer", rewrite_the_caller, -2},
                                           AccessCase{"PlayerFilePass", pass_the_players, -1},
                                           AccessCase{"ErrorLog", log_a_problem, 0}),
                         [](const ::testing::TestParamInfo<AccessCase>& info) {
                             return info.param.name;
                         });

// ---- modes of created files ----

TEST_F(Door, EveryFileTheGameCreatesIsOwnerOnly) {
    const mode_t old_mask = umask(0);  // the door inherits it: modes are exactly as asked
    save(market_dated(kYesterday));    // a market day: the pass replaces quonda.plr
    save(stored_player(Caller::kReturning, market_dated(kYesterday)));
    ASSERT_EQ(chmod(path("quonda.plr").c_str(), 0666), 0);

    VirtualCaller caller(options());
    ASSERT_TRUE(caller.start());
    ASSERT_TRUE(sent_after(caller, 0, kEnterPrompt));
    ASSERT_TRUE(answer(caller, "\r", "T H E   S T O C K"));
    ASSERT_TRUE(answer(caller, "\r", "PRICE CHANGES SINCE YOU WERE LAST ON"));
    ASSERT_TRUE(answer(caller, "\r", "Current cash:"));
    ASSERT_TRUE(answer(caller, "222\r", "Your page has been left for the sysop."));
    ASSERT_TRUE(answer(caller, "1\r", "Sure you want to quit (Y/[N]): "));
    ASSERT_TRUE(answer(caller, "y\r", "Press [ENTER] to exit..."));
    caller.type("\r");
    EXPECT_EQ(caller.wait_exit(), 0);
    umask(old_mask);

    // quonda.err: the missing configuration was logged; quonda.plr: the pass's quonda.tmp.
    for (const char* name :
         {"quonda.dat", "quonda.plr", "quonda.err", "quonda.bul", "doorpage.log"}) {
        struct stat info {};
        ASSERT_EQ(stat(path(name).c_str(), &info), 0) << name;
        EXPECT_EQ(info.st_mode & 0777, 0600u) << name;
    }
}

}  // namespace

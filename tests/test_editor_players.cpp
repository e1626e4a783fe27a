// The player editor over a real quonda.plr: walking the records, editing the first, a middle
// one and the session player's own (also when it is not in the file yet), the holdings editor,
// rejected answers, file errors, and edits that survive the end of the session.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "data/codec.h"
#include "data/file_access.h"
#include "data/session_state.h"
#include "doorkit/opendoors.h"
#include "editor/editor.h"
#include "editor/player_editor.h"
#include "session/terminal.h"
#include "vcaller/caller.h"
#include "vcaller/harness.h"

namespace {

constexpr int kRecord = kPlayerBytes;

PlayerRecord make_player(const char* name, int32_t cash) {
    PlayerRecord p{};
    std::snprintf(p.name, sizeof p.name, "%s", name);
    p.cash = cash;
    p.holdings[3] = Holding{{}, 0, {}, {0, 10, 0, 0}, 4, 20};
    return p;
}

std::string slurp(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

PlayerRecord stored_player(int index) {
    const std::string bytes = slurp("quonda.plr");
    PlayerRecord p{};
    if (bytes.size() >= static_cast<size_t>((index + 1) * kRecord)) {
        decode_player(reinterpret_cast<const unsigned char*>(bytes.data()) + index * kRecord, p);
    }
    return p;
}

// A working directory with ANNE ($100), BERT ($200) and CORA ($300) in quonda.plr, and a market
// of companies AAA..LLL that trade everything, except that DDD (company 3) has no options.
class PlayerFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = make_temp_dir("editor");
        ASSERT_NE(getcwd(old_cwd_, sizeof old_cwd_), nullptr);
        ASSERT_EQ(chdir(dir_.c_str()), 0);
        g_session = SessionState{};
        std::snprintf(g_session.today, sizeof g_session.today, "%s", "Nov 14 2023");
        for (int i = 0; i < kCompanyCount; ++i) {
            CompanyRecord& c = g_session.market.companies[i];
            std::memset(c.symbol, 'A' + i, 3);
            for (int k = 0; k < kKindCount; ++k) c.total[k] = 1000;
            c.price[kCommon][0] = 27;
        }
        g_session.market.companies[3].total[kOptions] = 0;
        write_players(
            {make_player("ANNE", 100), make_player("BERT", 200), make_player("CORA", 300)});
        become(make_player("SYSOP", 2000), 3 * kRecord);  // new: not in the file yet
        original_ = slurp("quonda.plr");
    }
    void TearDown() override {
        ASSERT_EQ(chdir(old_cwd_), 0);
        remove_tree(dir_);
    }
    static void write_players(const std::vector<PlayerRecord>& players) {
        std::string bytes(players.size() * kRecord, '\0');
        for (size_t i = 0; i < players.size(); ++i) {
            encode_player(players[i], reinterpret_cast<unsigned char*>(bytes.data()) + i * kRecord);
        }
        std::ofstream("quonda.plr", std::ios::binary) << bytes;
    }
    static void become(const PlayerRecord& player, int32_t offset) {
        g_session.player = player;
        g_session.player_offset = offset;
    }

    std::string dir_;
    char old_cwd_[4096] = "";
    std::string original_;
};

class PlayerEditor : public PlayerFiles {
  protected:
    std::string run(const char* keys) {
        door_.type(keys);
        EXPECT_EQ(player_editor(), 0);
        return door_.take_output();
    }
    std::string text(int row, int column, int length) {
        door_.sync();
        return door_.screen().text(row, column, length);
    }
    DoorHarness door_;
};

// Menu keys: "2" down, "1" end (Exit editor), "3" PgDn, "9" PgUp, Enter carries out.
TEST_F(PlayerEditor, EditsTheMiddleRecordInPlace) {
    run("3222\r2\r1\r");  // PgDn to BERT, graphics mode 2, leave
    EXPECT_EQ(text(2, 22, 4), "BERT");
    EXPECT_EQ(text(11, 21, 8), "$200.00 ");
    EXPECT_EQ(stored_player(1).graphics_mode, 2);
    std::string expected = original_;
    expected[kRecord + 66] = 2;  // BERT's graphics mode, nothing else; the session player not added
    EXPECT_TRUE(slurp("quonda.plr") == expected);
}

TEST_F(PlayerEditor, PgUpStopsAtTheFirstRecordAndItsNameIsPadded) {
    const std::string out = run("9\ranne smith\r1\r");  // PgUp, then the name
    EXPECT_NE(out.find("Beginning of file encountered!\a"), std::string::npos);
    EXPECT_EQ(std::string(stored_player(0).name), "ANNE SMITH" + std::string(21, ' '));
    EXPECT_EQ(text(2, 22, 12), "ANNE SMITH  ");
    EXPECT_EQ(std::string(g_session.player.name), "SYSOP") << "not the session player";
}

TEST_F(PlayerEditor, SessionPlayersRecordComesFromAndGoesToMemory) {
    become(make_player("ANNE", 999), 0);
    run("1\r");
    EXPECT_EQ(text(11, 21, 8), "$999.00 ") << "opens on the memory copy";
    EXPECT_EQ(slurp("quonda.plr"), original_) << "nothing changed, nothing written";

    become(make_player("BERT", 5000), kRecord);
    // To BERT, holdings, money 7777, back to ANNE (writes BERT), to BERT again, leave.
    run("32222\r\r7777\r1\r931\r");
    EXPECT_EQ(text(11, 21, 9), "$7777.00 ");
    EXPECT_EQ(g_session.player.cash, 7777);
    EXPECT_EQ(stored_player(1).cash, 7777);
    EXPECT_EQ(stored_player(0).cash, 100);
}

TEST_F(PlayerEditor, NewSessionPlayerFollowsTheLastStoredRecord) {
    // PgDn past CORA to the session player, graphics mode 1, PgDn once more, leave.
    const std::string out = run("333222\r1\r31\r");
    EXPECT_NE(out.find("End of file encountered!"), std::string::npos);
    EXPECT_EQ(text(2, 22, 5), "SYSOP") << "the same record stays on screen";
    EXPECT_EQ(g_session.player.graphics_mode, 1);
    ASSERT_EQ(slurp("quonda.plr").size(), 4u * kRecord) << "written back at player_offset";
    EXPECT_EQ(std::string(stored_player(3).name), "SYSOP");
    EXPECT_EQ(stored_player(3).graphics_mode, 1);
}

TEST_F(PlayerEditor, HoldingsEditorPromptsAndCompanyArrow) {
    // Holdings, company DDD, Options (refused), Common: empty count, short count 15, short
    // price too large; leave the holdings, redraw the whole screen, leave.
    const std::string out = run("2222\r3332\r2\r\r15\r40000\r1\r*1\r");
    EXPECT_NE(out.find("Error - That company does not offer options!"), std::string::npos);
    EXPECT_EQ(out.find("Enter new options count: "), std::string::npos) << "nothing asked";
    EXPECT_NE(out.find("Error - Value must be 32767 or less!"), std::string::npos);
    EXPECT_EQ(text(14, 30, 18), " PLAYER EDIT MENU ");
    EXPECT_EQ(text(5, 60, 3), "==>") << "the company stays after a full redraw";
    EXPECT_EQ(text(2, 60, 3), "   ");
    EXPECT_EQ(text(6, 21, 10), "Not traded");
    EXPECT_EQ(text(7, 21, 36), "     10  $  27.00       15  $  20.00");
    const Holding h = stored_player(0).holdings[3];
    EXPECT_EQ(h.count[kCommon], 10);
    EXPECT_EQ(h.short_count, 15);
    EXPECT_EQ(h.short_price, 20);
}

TEST_F(PlayerEditor, RejectedAnswersStoreNothing) {
    const std::pair<const char*, const char*> cases[] = {
        {"\rABCDEFGHIJKLMNOPQRSTUVWXYZ123456\r1\r", "Error - Name too long!"},
        {"2\rNov 1 2023\r1\r", "Error - Illegal date!"},
        {"22\rNov 01 20233\r1\r", "Error - Illegal date!"},
        {"222\r3\r1\r", "Error - Illegal graphics mode!"},
        {"222\r-1\r1\r", "Error - Illegal graphics mode!"},
        {"2222\r\r-5\r1\r1\r", "Error - Illegal money value!"}};
    for (const auto& [keys, message] : cases) {
        SCOPED_TRACE(keys);
        EXPECT_NE(run(keys).find(std::string(message) + "\a"), std::string::npos);
        EXPECT_EQ(slurp("quonda.plr"), original_);
    }
    run("2222\r\rabc\r1\r1\r");  // money that is no number stores 0
    EXPECT_EQ(stored_player(0).cash, 0);
}

TEST_F(PlayerEditor, EmptyFileAndMissingFileGoBackToTheMenu) {
    ErrorDisplay display;  // as the session installs it: the message row
    display.show = [](const char* text) { term_puts(text); };
    set_error_display(display);
    write_players({});
    EXPECT_NE(run("").find("Error - Can't read player file"), std::string::npos);
    EXPECT_NE(slurp("quonda.err").find("Error - Can't read player file"), std::string::npos);
    std::remove("quonda.plr");
    EXPECT_NE(run("").find("Error - Can't access player file\a"), std::string::npos);
    set_error_display(ErrorDisplay{});
}

TEST_F(PlayerEditor, TimeWarningAtAFieldPromptKeepsTheValue) {
    run("1\r");  // leaves ANNE in the edit buffer
    od_control.user_timelimit = 4;
    door_.type("55\r");
    EXPECT_EQ(edit_cash(), 0);
    draw_player_profile(0);
    EXPECT_EQ(text(23, 1, 50), "WARNING - LESS THAN 5 MINUTES OF GAME TIME LEFT!!!");
    EXPECT_EQ(text(11, 21, 8), "$100.00 ") << "the field kept its value";
    od_control.user_timelimit = 60;
}

// Written by the dying process on its way out: is quonda.plr still open?
void report_player_file() {
    bool open = false;
    for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        open = open || std::filesystem::read_symlink(fd.path(), error).filename() == "quonda.plr";
    }
    std::fprintf(stderr, open ? "player file still open\n" : "player file closed\n");
}

using PlayerEditorDeathTest = PlayerFiles;

// The file may not grow, so writing back the new session player's record (appended) fails.
TEST_F(PlayerEditorDeathTest, FailedWriteBackEndsTheSessionWithTheFileClosed) {
    g_session.market_ready = true;
    g_session.player_ready = true;
    auto edit_with_a_size_limit = [] {
        const rlimit limit{3 * kRecord, 3 * kRecord};
        setrlimit(RLIMIT_FSIZE, &limit);
        std::signal(SIGXFSZ, SIG_IGN);
        std::atexit(report_player_file);
        DoorHarness door;
        door.type("333222\r1\r9");  // to the new record, graphics mode 1, then PgUp
        player_editor();
    };
    EXPECT_EXIT(edit_with_a_size_limit(), ::testing::ExitedWithCode(0), "player file closed");
    EXPECT_NE(slurp("quonda.err").find("Error - Can't write player record."), std::string::npos);
    EXPECT_EQ(slurp("quonda.plr"), original_);
}

TEST_F(PlayerEditorDeathTest, OwnRecordEditSurvivesTheEndOfTheSession) {
    become(make_player("BERT", 5000), kRecord);
    g_session.player.times_played = 6;
    g_session.market_ready = true;
    g_session.player_ready = true;
    auto edit_own_money_then_wait = [] {
        DoorHarness door;
        // Edit Players, to BERT, money 7777, leave; the editor menu then times out.
        door.type("\r32222\r\r7777\r1\r1\r");
        editor_main_menu();
    };
    EXPECT_EXIT(edit_own_money_then_wait(), ::testing::ExitedWithCode(0), "");
    const PlayerRecord bert = stored_player(1);
    EXPECT_EQ(std::string(bert.name), "BERT");
    EXPECT_EQ(bert.cash, 7777);
    EXPECT_EQ(bert.times_played, 7) << "saved by the end of the session";
    EXPECT_EQ(std::string(bert.last_played), "Nov 14 2023");
    EXPECT_EQ(stored_player(2).cash, 300);
}

}  // namespace

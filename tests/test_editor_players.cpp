// The player editor over a real quonda.plr: walking the records, editing the first, a middle
// one and the session player's own (also when it is not in the file yet), the holdings editor,
// rejected answers, file errors, and edits that survive the end of the session.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <ostream>
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
#include "vcaller/harness.h"

namespace {

constexpr int kRecord = kPlayerBytes;

PlayerRecord make_player(const char* name, int32_t cash) {
    PlayerRecord p{};
    std::snprintf(p.name, sizeof p.name, "%s", name);
    std::snprintf(p.last_played, sizeof p.last_played, "%s", "Nov 13 2023");
    std::snprintf(p.last_traded, sizeof p.last_traded, "%s", "Nov 12 2023");
    p.cash = cash;
    p.holdings[3].count[kCommon] = 10;
    p.holdings[3].short_count = 4;
    p.holdings[3].short_price = 20;
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
        char pattern[] = "/tmp/bullmoor-editor-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        ASSERT_NE(getcwd(old_cwd_, sizeof old_cwd_), nullptr);
        ASSERT_EQ(chdir(dir_.c_str()), 0);
        g_session = SessionState{};
        std::snprintf(g_session.today, sizeof g_session.today, "%s", "Nov 14 2023");
        for (int i = 0; i < kCompanyCount; ++i) {
            CompanyRecord& c = g_session.market.companies[i];
            std::memset(c.symbol, 'A' + i, 3);
            for (int k = 0; k < kKindCount; ++k) c.total[k] = 1000;
            c.price[kOptions][0] = 5;
            c.price[kCommon][0] = 27;
            c.price[kPreferred][0] = 110;
            c.price[kBonds][0] = 1000;
        }
        g_session.market.companies[3].total[kOptions] = 0;
        write_players(
            {make_player("ANNE", 100), make_player("BERT", 200), make_player("CORA", 300)});
        become(make_player("SYSOP", 2000), 3 * kRecord);  // new: not in the file yet
        original_ = slurp("quonda.plr");
    }
    void TearDown() override {
        ASSERT_EQ(chdir(old_cwd_), 0);
        std::system(("rm -rf " + dir_).c_str());
    }
    static void write_players(const std::vector<PlayerRecord>& players) {
        std::FILE* f = std::fopen("quonda.plr", "wb");
        ASSERT_NE(f, nullptr);
        for (const PlayerRecord& p : players) {
            unsigned char bytes[kRecord];
            encode_player(p, bytes);
            std::fwrite(bytes, 1, kRecord, f);
        }
        std::fclose(f);
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
    run("3"
        "222\r"
        "2\r"
        "1\r");
    EXPECT_EQ(text(2, 22, 4), "BERT");
    EXPECT_EQ(text(11, 21, 8), "$200.00 ");
    EXPECT_EQ(text(12, 21, 1), "2");
    EXPECT_EQ(stored_player(1).graphics_mode, 2);
    const std::string now = slurp("quonda.plr");
    ASSERT_EQ(now.size(), original_.size()) << "the session player was never appended";
    for (int i = 0; i < 3 * kRecord; ++i) {
        if (i != kRecord + 66) {
            EXPECT_EQ(now[i], original_[i]) << "byte " << i;
        }
    }
}

TEST_F(PlayerEditor, EditsTheFirstRecordAndPadsTheName) {
    const std::string out =
        run("\r"
            "anne smith\r"
            "1\r");
    EXPECT_EQ(std::string(stored_player(0).name), "ANNE SMITH" + std::string(21, ' '));
    EXPECT_EQ(text(2, 22, 12), "ANNE SMITH  ");
    EXPECT_EQ(std::string(g_session.player.name), "SYSOP") << "not the session player";
}

TEST_F(PlayerEditor, SessionPlayersRecordComesFromAndGoesToMemory) {
    become(make_player("BERT", 5000), kRecord);
    // To BERT, holdings, money 7777, back to ANNE (writes BERT), to BERT again, leave.
    run("3"
        "2222\r"
        "\r"
        "7777\r"
        "1\r"
        "9"
        "3"
        "1\r");
    EXPECT_EQ(text(11, 21, 9), "$7777.00 ");
    EXPECT_EQ(g_session.player.cash, 7777);
    EXPECT_EQ(stored_player(1).cash, 7777);
    EXPECT_EQ(stored_player(0).cash, 100);
}

TEST_F(PlayerEditor, OpensOnTheMemoryCopyWhenTheSessionPlayerIsFirst) {
    become(make_player("ANNE", 999), 0);
    run("1\r");
    EXPECT_EQ(text(11, 21, 8), "$999.00 ");
    EXPECT_EQ(slurp("quonda.plr"), original_) << "nothing changed, nothing written";
}

TEST_F(PlayerEditor, NewSessionPlayerFollowsTheLastStoredRecord) {
    const std::string out =
        run("333"
            "222\r"
            "1\r"
            "3"
            "1\r");
    EXPECT_NE(out.find("End of file encountered!"), std::string::npos);
    EXPECT_EQ(text(2, 22, 5), "SYSOP") << "the same record stays on screen";
    EXPECT_EQ(g_session.player.graphics_mode, 1);
    ASSERT_EQ(slurp("quonda.plr").size(), 4u * kRecord) << "written back at player_offset";
    EXPECT_EQ(std::string(stored_player(3).name), "SYSOP");
    EXPECT_EQ(stored_player(3).graphics_mode, 1);
}

TEST_F(PlayerEditor, PgUpOnTheFirstRecordChangesNothing) {
    const std::string out =
        run("9"
            "1\r");
    EXPECT_NE(out.find("Beginning of file encountered!\a"), std::string::npos);
    EXPECT_EQ(text(2, 22, 4), "ANNE");
    EXPECT_EQ(slurp("quonda.plr"), original_);
}

TEST_F(PlayerEditor, HoldingsEditorPromptsAndCompanyArrow) {
    // Holdings, company DDD, Options (refused), Common: empty count, short count 15, short
    // price too large; leave both menus.
    const std::string out =
        run("2222\r"
            "333"
            "2\r"
            "2\r"
            "\r"
            "15\r"
            "40000\r"
            "1\r"
            "1\r");
    EXPECT_NE(out.find("Error - That company does not offer options!"), std::string::npos);
    EXPECT_EQ(out.find("Enter new options count: "), std::string::npos) << "nothing asked";
    EXPECT_NE(out.find("Enter new short shares price: "), std::string::npos);
    EXPECT_NE(out.find("Error - Value must be 32767 or less!"), std::string::npos);
    EXPECT_EQ(text(5, 60, 3), "==>");
    EXPECT_EQ(text(2, 60, 3), "   ");
    EXPECT_EQ(text(6, 21, 10), "Not traded");
    EXPECT_EQ(text(7, 21, 36), "     10  $  27.00       15  $  20.00");
    const Holding h = stored_player(0).holdings[3];
    EXPECT_EQ(h.count[kCommon], 10);
    EXPECT_EQ(h.short_count, 15);
    EXPECT_EQ(h.short_price, 20);
}

TEST_F(PlayerEditor, CompanyShownInTheHoldingsEditorStaysForRedraws) {
    run("2222\r"
        "3333333"
        "1\r"
        "*"
        "1\r");
    EXPECT_EQ(text(9, 60, 3), "==>") << "company 7 after a full redraw";
    EXPECT_EQ(text(14, 30, 18), " PLAYER EDIT MENU ");
}

struct RejectCase {
    const char* keys;
    const char* message;
};

void PrintTo(const RejectCase& c, std::ostream* os) {
    *os << c.message;
}

class PlayerRejects : public PlayerEditor, public ::testing::WithParamInterface<RejectCase> {};

TEST_P(PlayerRejects, MessageAndNothingStored) {
    const std::string out = run(GetParam().keys);
    EXPECT_NE(out.find(std::string(GetParam().message) + "\a"), std::string::npos) << out;
    EXPECT_EQ(slurp("quonda.plr"), original_);
}

INSTANTIATE_TEST_SUITE_P(Fields, PlayerRejects,
                         ::testing::Values(RejectCase{"\r"
                                                      "ABCDEFGHIJKLMNOPQRSTUVWXYZ123456\r"
                                                      "1\r",
                                                      "Error - Name too long!"},
                                           RejectCase{"2\r"
                                                      "Nov 1 2023\r"
                                                      "1\r",
                                                      "Error - Illegal date!"},
                                           RejectCase{"22\r"
                                                      "Nov 01 20233\r"
                                                      "1\r",
                                                      "Error - Illegal date!"},
                                           RejectCase{"222\r"
                                                      "3\r"
                                                      "1\r",
                                                      "Error - Illegal graphics mode!"},
                                           RejectCase{"222\r"
                                                      "-1\r"
                                                      "1\r",
                                                      "Error - Illegal graphics mode!"},
                                           RejectCase{"2222\r"
                                                      "\r"
                                                      "-5\r"
                                                      "1\r"
                                                      "1\r",
                                                      "Error - Illegal money value!"}));

TEST_F(PlayerEditor, MoneyThatIsNoNumberStoresZero) {
    run("2222\r"
        "\r"
        "abc\r"
        "1\r"
        "1\r");
    EXPECT_EQ(stored_player(0).cash, 0);
    EXPECT_EQ(text(11, 21, 6), "$0.00 ");
}

TEST_F(PlayerEditor, EmptyFileAndMissingFileGoBackToTheMenu) {
    ErrorDisplay display;  // as the session installs it: the message row
    display.show = [](const char* text) {
        term_goto(0, 23);
        term_puts(text);
    };
    set_error_display(display);
    write_players({});
    std::string out = run("");
    EXPECT_NE(out.find("Error - Can't read player file"), std::string::npos);
    EXPECT_NE(slurp("quonda.err").find("Error - Can't read player file"), std::string::npos);
    std::remove("quonda.plr");
    out = run("");
    EXPECT_NE(out.find("Error - Can't access player file\a"), std::string::npos);
    set_error_display(ErrorDisplay{});
}

TEST_F(PlayerEditor, TimeWarningInTheMenuAndAtAFieldPrompt) {
    od_control.user_timelimit = 4;
    const std::string out = run("1\r");
    const size_t warning = out.find("Warning...Less than 5 minutes remaining...");
    ASSERT_NE(warning, std::string::npos);
    EXPECT_NE(out.find("Select edit function...", warning), std::string::npos);

    // The kit warns once per session; a fresh one warns again, now at the money prompt.
    {
        DoorHarness again;
        od_control.user_timelimit = 4;
        again.type("55\r");
        EXPECT_EQ(edit_cash(), 0);
        draw_player_profile(0);
        again.sync();
        EXPECT_EQ(again.screen().text(23, 1, 50),
                  "WARNING - LESS THAN 5 MINUTES OF GAME TIME LEFT!!!");
        EXPECT_EQ(again.screen().text(11, 21, 8), "$100.00 ") << "the field kept its value";
    }
    od_control.user_timelimit = 60;
}

// ---- Ways out of the session ----

// Written by the dying process on its way out: is quonda.plr still open?
void report_player_file() {
    bool open = false;
    if (DIR* fds = opendir("/proc/self/fd")) {
        while (const dirent* entry = readdir(fds)) {
            char link[4096];
            const std::string path = std::string("/proc/self/fd/") + entry->d_name;
            const ssize_t n = readlink(path.c_str(), link, sizeof link - 1);
            if (n <= 0) continue;
            link[n] = '\0';
            const std::string target = link;
            if (target.size() >= 11 && target.substr(target.size() - 11) == "/quonda.plr") {
                open = true;
            }
        }
        closedir(fds);
    }
    std::fprintf(stderr, open ? "player file still open\n" : "player file closed\n");
}

using PlayerEditorDeathTest = PlayerFiles;

// The file may not grow: writing back the new session player's record (appended) fails.
void edit_new_player_with_a_size_limit() {
    const rlimit limit{3 * kRecord, 3 * kRecord};
    setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, SIG_IGN);
    std::atexit(report_player_file);
    DoorHarness door;
    door.type(
        "333"
        "222\r"
        "1\r"
        "9");
    player_editor();
}

// Edit Players, to BERT, money 7777, leave; the editor menu then times out.
void edit_own_money_then_wait() {
    DoorHarness door;
    door.type(
        "\r"
        "3"
        "2222\r"
        "\r"
        "7777\r"
        "1\r"
        "1\r");
    editor_main_menu();
}

TEST_F(PlayerEditorDeathTest, FailedWriteBackEndsTheSessionWithTheFileClosed) {
    g_session.market_ready = true;
    g_session.player_ready = true;
    EXPECT_EXIT(edit_new_player_with_a_size_limit(), ::testing::ExitedWithCode(0),
                "player file closed");
    EXPECT_NE(slurp("quonda.err").find("Error - Can't write player record."), std::string::npos);
    EXPECT_EQ(slurp("quonda.plr"), original_);
}

TEST_F(PlayerEditorDeathTest, OwnRecordEditSurvivesTheEndOfTheSession) {
    become(make_player("BERT", 5000), kRecord);
    g_session.player.times_played = 6;
    g_session.market_ready = true;
    g_session.player_ready = true;
    EXPECT_EXIT(edit_own_money_then_wait(), ::testing::ExitedWithCode(0), "");
    const PlayerRecord bert = stored_player(1);
    EXPECT_EQ(std::string(bert.name), "BERT");
    EXPECT_EQ(bert.cash, 7777);
    EXPECT_EQ(bert.times_played, 7) << "saved by the end of the session";
    EXPECT_EQ(std::string(bert.last_played), "Nov 14 2023");
    EXPECT_EQ(stored_player(2).cash, 300);
}

}  // namespace

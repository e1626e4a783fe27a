// The player editor over a real quonda.plr: records, the session player's own, holdings, errors.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "data/codec.h"
#include "data/file_access.h"
#include "data/session_state.h"
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
    return {std::istreambuf_iterator<char>(in), {}};
}

PlayerRecord stored_player(int index) {
    const std::string bytes = slurp("quonda.plr");
    PlayerRecord p{};
    if (bytes.size() < static_cast<size_t>((index + 1) * kRecord)) return p;
    decode_player(reinterpret_cast<const unsigned char*>(bytes.data()) + index * kRecord, p);
    return p;
}

// A working directory with ANNE ($100), BERT ($200) and CORA ($300) in quonda.plr, and a market
// of companies that trade everything at $27, except that DDD (company 3) has no options. The
// session player SYSOP is new: not in the file yet.
class PlayerFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::current_path(dir_);
        g_session = SessionState{};
        for (CompanyRecord& c : g_session.market.companies) {
            std::fill_n(c.total, kKindCount, 1000);
            c.price[kCommon][0] = 27;
        }
        g_session.market.companies[3].total[kOptions] = 0;
        const char* names[] = {"ANNE", "BERT", "CORA"};
        original_.assign(3 * kRecord, '\0');
        auto* bytes = reinterpret_cast<unsigned char*>(original_.data());
        for (int i = 0; i < 3; ++i)
            encode_player(make_player(names[i], 100 * i + 100), bytes + i * kRecord);
        std::ofstream("quonda.plr", std::ios::binary) << original_;
        g_session.player = make_player("SYSOP", 2000);
        g_session.player_offset = 3 * kRecord;
    }
    void TearDown() override {
        std::filesystem::current_path(old_cwd_);
        remove_tree(dir_);
    }
    const std::filesystem::path old_cwd_ = std::filesystem::current_path();
    const std::string dir_ = make_temp_dir("editor");
    std::string original_;
};

class PlayerEditor : public PlayerFiles {
  protected:
    std::string run(const char* keys) {
        door_.type(keys);
        EXPECT_EQ(player_editor(), 0);
        return door_.take_output();
    }
    std::string text(int r, int c, int n) { return door_.screen().text(r, c, n); }  // after run
    DoorHarness door_;
};

// Menu keys: "2" down, "1" end (Exit editor), "3" PgDn, "9" PgUp, Enter carries out.
TEST_F(PlayerEditor, EditsRecordsInPlaceAndPgUpStopsAtTheFirst) {
    run("3222\r2\r1\r");  // PgDn to BERT, graphics mode 2, leave
    EXPECT_EQ(text(11, 21, 8), "$200.00 ");
    std::string expected = original_;
    expected[kRecord + 66] = 2;  // BERT's graphics mode, nothing else; the session player not added
    EXPECT_TRUE(slurp("quonda.plr") == expected);

    const std::string out = run("9\ranne smith\r1\r");  // PgUp, then the name
    EXPECT_NE(out.find("Beginning of file encountered!\a"), std::string::npos);
    EXPECT_EQ(std::string(stored_player(0).name), "ANNE SMITH" + std::string(21, ' '));
    EXPECT_EQ(text(2, 22, 12), "ANNE SMITH  ");
    EXPECT_EQ(std::string(g_session.player.name), "SYSOP") << "not the session player";
}

TEST_F(PlayerEditor, SessionPlayersRecordComesFromMemoryAndGoesBackAtItsOffset) {
    // PgDn past CORA to the new session player, graphics mode 1, PgDn once more, leave.
    std::string out = run("333222\r1\r31\r");
    EXPECT_NE(out.find("End of file encountered!"), std::string::npos);
    EXPECT_EQ(text(2, 22, 5), "SYSOP") << "the same record stays on screen";
    EXPECT_EQ(g_session.player.graphics_mode, 1);
    ASSERT_EQ(slurp("quonda.plr").size(), 4u * kRecord) << "written back at player_offset";
    EXPECT_EQ(stored_player(3).graphics_mode, 1);

    g_session.player = make_player("BERT", 5000);
    g_session.player_offset = kRecord;
    // To BERT, holdings, money 7777, back to ANNE (writes BERT), to BERT again, leave.
    out = run("32222\r\r7777\r1\r931\r");
    EXPECT_NE(out.find("$5000.00"), std::string::npos) << "opens on the memory copy";
    EXPECT_EQ(g_session.player.cash, 7777);
    EXPECT_EQ(stored_player(1).cash, 7777);
}

TEST_F(PlayerEditor, HoldingsEditorPromptsAndCompanyArrow) {
    // Holdings, company DDD, Options (refused), Common: empty count, short count 15, short
    // price too large; leave the holdings, redraw the whole screen, leave.
    const std::string out = run("2222\r3332\r2\r\r15\r40000\r1\r*1\r");
    EXPECT_NE(out.find("Error - That company does not offer options!"), std::string::npos);
    EXPECT_EQ(out.find("Enter new options count: "), std::string::npos) << "nothing asked";
    EXPECT_EQ(text(14, 30, 18), " PLAYER EDIT MENU ");
    EXPECT_EQ(text(5, 60, 3), "==>") << "the company stays after a full redraw";
    EXPECT_EQ(text(6, 21, 10), "Not traded");
    EXPECT_EQ(text(7, 21, 36), "     10  $  27.00       15  $  20.00");
    EXPECT_EQ(stored_player(0).holdings[3].short_count, 15) << "written as shown on row 7";
}

TEST_F(PlayerEditor, RejectedAnswersStoreNothing) {
    const std::pair<const char*, const char*> cases[] = {
        {"\rABCDEFGHIJKLMNOPQRSTUVWXYZ123456\r1\r", "Error - Name too long!"},
        {"2\rNov 1 2023\r1\r", "Error - Illegal date!"},
        {"222\r3\r1\r", "Error - Illegal graphics mode!"},
        {"2222\r\r-5\r1\r1\r", "Error - Illegal money value!"}};
    for (const auto& [keys, message] : cases) {
        SCOPED_TRACE(keys);
        EXPECT_NE(run(keys).find(std::string(message) + "\a"), std::string::npos);
        EXPECT_EQ(slurp("quonda.plr"), original_);
    }
}

TEST_F(PlayerEditor, EmptyFileAndMissingFileGoBackToTheMenu) {
    ErrorDisplay display;  // as the session installs it: the message row
    display.show = [](const char* text) { term_puts(text); };
    set_error_display(display);
    std::ofstream("quonda.plr", std::ios::trunc).close();
    EXPECT_NE(run("").find("Error - Can't read player file"), std::string::npos);
    EXPECT_NE(slurp("quonda.err").find("Error - Can't read player file"), std::string::npos);
    std::remove("quonda.plr");
    EXPECT_NE(run("").find("Error - Can't access player file\a"), std::string::npos);
    set_error_display(ErrorDisplay{});
}

using PlayerEditorDeathTest = PlayerFiles;

// The file may not grow, so writing back the new session player's record (appended) fails.
TEST_F(PlayerEditorDeathTest, FailedWriteBackEndsTheSessionWithTheFileClosed) {
    g_session.market_ready = g_session.player_ready = true;
    auto edit_with_a_size_limit = [] {
        const rlimit limit{3 * kRecord, 3 * kRecord};
        setrlimit(RLIMIT_FSIZE, &limit);
        std::signal(SIGXFSZ, SIG_IGN);
        std::atexit([] {  // on the way out: is quonda.plr still open?
            std::string open;
            std::error_code error;
            for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd"))
                open += std::filesystem::read_symlink(fd.path(), error).string() + "\n";
            const bool closed = open.find("/quonda.plr\n") == std::string::npos;
            std::fprintf(stderr, closed ? "player file closed\n" : "player file still open\n");
        });
        DoorHarness door;
        door.type("333222\r1\r9");  // to the new record, graphics mode 1, then PgUp
        player_editor();
    };
    EXPECT_EXIT(edit_with_a_size_limit(), ::testing::ExitedWithCode(0), "player file closed");
    EXPECT_NE(slurp("quonda.err").find("Error - Can't write player record."), std::string::npos);
    EXPECT_EQ(slurp("quonda.plr"), original_);
}

}  // namespace

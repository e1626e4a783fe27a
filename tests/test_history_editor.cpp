// The history line editor: every key's effect on the text block and the cursor at the block's
// edges, word moves, scrolling; and on screen the mode line, the two questions and conditions.
#include "editor/history_editor.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "vcaller/harness.h"

namespace {

constexpr int kLines = 6;
constexpr int kWidth = 78;

struct Block {
    char text[kLines][kWidth];
    explicit Block(const std::vector<std::string>& lines) {
        for (int i = 0; i < kLines; ++i) {
            std::string s = i < static_cast<int>(lines.size()) ? lines[i] : "";
            s.resize(kWidth - 1, ' ');
            std::memcpy(text[i], s.c_str(), kWidth);  // with the NUL
        }
    }
    std::string line(int i) const {  // without trailing blanks
        std::string s(text[i], kWidth - 1);
        return s.substr(0, s.find_last_not_of(' ') + 1);
    }
};

std::tuple<int, int, int> pos(const HistoryCursor& c) {
    return {c.line, c.row, c.column};
}

struct KeyCase {
    const char* name;
    std::vector<std::string> lines;
    HistoryCursor start;
    bool insert;
    std::vector<int> keys;
    HistoryCursor end;
    std::vector<std::string> after;  // every line, trailing blanks cut
    HistoryEffect effect;            // of the last key
    int effect_column = 0;
    int window_rows = kLines;
};

class HistoryKeys : public ::testing::TestWithParam<KeyCase> {};

TEST_P(HistoryKeys, ChangeBlockAndCursor) {
    const KeyCase& c = GetParam();
    Block block(c.lines);
    HistoryEdit edit{{&block.text[0][0], kLines, kWidth}, c.window_rows, c.start, c.insert};
    HistoryStep step;
    for (int key : c.keys) step = apply_history_key(edit, key);
    EXPECT_EQ(pos(edit.cursor), pos(c.end));
    for (int i = 0; i < kLines; ++i) {
        const std::string expected = i < static_cast<int>(c.after.size()) ? c.after[i] : "";
        EXPECT_EQ(block.line(i), expected) << "line " << i;
        EXPECT_EQ(block.text[i][kWidth - 1], '\0');
    }
    EXPECT_EQ(step.effect, c.effect);
    if (c.effect == HistoryEffect::kDrawFrom || c.effect == HistoryEffect::kClearAndDrawFrom) {
        EXPECT_EQ(step.column, c.effect_column);
    }
}

// 77 characters: column i holds 'a' + i % 26, so column 75 is 'x' and column 76 is 'y'.
const std::string kAlphabet = "abcdefghijklmnopqrstuvwxyz";
const std::string kFull = (kAlphabet + kAlphabet + kAlphabet).substr(0, 77);
const std::vector<std::string> kSix = {"L0", "L1", "L2", "L3", "L4", "L5"};
const std::string kWithQ = "ABC" + std::string(73, ' ') + "Q";
using E = HistoryEffect;

// clang-format off
INSTANTIATE_TEST_SUITE_P(Keys, HistoryKeys, ::testing::Values(
    KeyCase{"ReplaceOnColumn76Stays", {""}, {0, 0, 76}, false, {'A'},
            {0, 0, 76}, {std::string(76, ' ') + "A"}, E::kEcho},
    KeyCase{"InsertOnColumn76Stays", {kFull}, {0, 0, 76}, true, {'B'},
            {0, 0, 76}, {kFull.substr(0, 76) + "B"}, E::kDrawFrom, 76},
    KeyCase{"InsertAtColumn0LosesColumn76", {kWithQ}, {0, 0, 0}, true, {'x'},
            {0, 0, 1}, {"xABC"}, E::kDrawFrom, 0},
    KeyCase{"CtrlGOnColumn75", {kFull}, {0, 0, 75}, false, {7},
            {0, 0, 75}, {kFull.substr(0, 75) + "y"}, E::kClearAndDrawFrom, 75},
    KeyCase{"BackspaceMoves", {"ABCDEF"}, {0, 0, 5}, false, {8}, {0, 0, 4}, {"ABCDEF"}, E::kNone},
    KeyCase{"DelDeletesLeft", {"ABCDEF"}, {0, 0, 5}, false, {127},
            {0, 0, 4}, {"ABCDF"}, E::kClearAndDrawFrom, 4},
    KeyCase{"DelAtColumn0", {"ABCDEF"}, {0, 0, 0}, false, {127}, {0, 0, 0}, {"ABCDEF"}, E::kNone},
    KeyCase{"CtrlOBlanksRest", {"ABCDEF"}, {0, 0, 3}, false, {15},
            {0, 0, 3}, {"ABC"}, E::kClearToEnd},
    KeyCase{"CtrlNSplitsLine2", {"L0", "L1", "0123456789ABCDEF", "L3", "L4", "L5"},
            {2, 2, 10}, false, {14},
            {2, 2, 10}, {"L0", "L1", "0123456789", "ABCDEF", "L3", "L4"}, E::kRedrawFrom},
    KeyCase{"CtrlNOnLastLineAddsNoLine", {"L0", "L1", "L2", "L3", "L4", "abcdefg"},
            {5, 5, 3}, false, {14},
            {5, 5, 3}, {"L0", "L1", "L2", "L3", "L4", "abc"}, E::kRedrawFrom},
    KeyCase{"CtrlYLine0", kSix, {0, 0, 4}, false, {25},
            {0, 0, 4}, {"L1", "L2", "L3", "L4", "L5", ""}, E::kRedrawFrom},
    KeyCase{"PageUpToLine0", kSix, {3, 3, 20}, false, {18}, {0, 0, 20}, kSix, E::kRedrawWindow},
    KeyCase{"CtrlCToLine5", kSix, {0, 0, 20}, false, {3}, {5, 5, 20}, kSix, E::kRedrawWindow},
    KeyCase{"TabFrom72", {""}, {0, 0, 72}, false, {9}, {0, 0, 76}, {""}, E::kNone},
    KeyCase{"TabFrom76", {""}, {0, 0, 76}, false, {9}, {0, 0, 76}, {""}, E::kNone},
    KeyCase{"CtrlBOnFullLine", {kFull}, {0, 0, 0}, false, {2}, {0, 0, 76}, {kFull}, E::kNone},
    KeyCase{"CtrlTToBottom", kSix, {0, 0, 7}, false, {20}, {5, 5, 7}, kSix, E::kNone},
    KeyCase{"EdgesDoNothing", kSix, {0, 0, 0}, false, {11, 8}, {0, 0, 0}, kSix, E::kNone},
    KeyCase{"EndEdgesDoNothing", kSix, {5, 5, 76}, false, {10, 12}, {5, 5, 76}, kSix, E::kNone},
    KeyCase{"EnterGoesToColumn0Below", kSix, {2, 2, 10}, false, {13}, {3, 3, 0}, kSix, E::kNone},
    KeyCase{"UpScrolls", kSix, {3, 0, 5}, false, {11}, {2, 0, 5}, kSix, E::kRedrawWindow, 0, 3},
    KeyCase{"DownScrolls", kSix, {2, 2, 5}, false, {10}, {3, 2, 5}, kSix, E::kRedrawWindow, 0, 3},
    KeyCase{"WarningIsACondition", kSix, {1, 1, 1}, false, {-3}, {1, 1, 1}, kSix, E::kCondition},
    KeyCase{"IgnoredKeys", kSix, {1, 1, 1}, false, {0, 5, 16, 19, 21, 23, 24, 27, 28, 31, -5, -128},
            {1, 1, 1}, kSix, E::kNone}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// Over "The quick  brown" / "   fox jumps" / blank / "over" / blank / blank, in a window of six
// rows or three. Blanks back from column 3 of line 1 stop on line 0's last column.
TEST(HistoryWordMoves, LandOnWordStarts) {
    const struct {
        bool forward;
        int window_rows;
        HistoryCursor start, end;
        bool redraw;
    } cases[] = {{true, 6, {0, 0, 0}, {0, 0, 4}, false},   {true, 6, {0, 0, 4}, {0, 0, 11}, false},
                 {true, 6, {0, 0, 11}, {1, 1, 3}, false},  {true, 6, {1, 1, 7}, {3, 3, 0}, false},
                 {true, 6, {3, 3, 0}, {5, 5, 76}, false},  {true, 6, {5, 5, 76}, {5, 5, 76}, false},
                 {true, 3, {1, 1, 7}, {3, 2, 0}, true},    {false, 6, {0, 0, 11}, {0, 0, 4}, false},
                 {false, 6, {0, 0, 4}, {0, 0, 0}, false},  {false, 6, {3, 3, 0}, {1, 1, 7}, false},
                 {false, 6, {1, 1, 3}, {0, 0, 76}, false}, {false, 3, {3, 0, 0}, {1, 0, 7}, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.forward ? "next" : "previous") << " from "
                                        << c.start.line << ":" << c.start.column);
        Block block({"The quick  brown", "   fox jumps", "", "over"});
        HistoryEdit edit{{&block.text[0][0], kLines, kWidth}, c.window_rows, c.start, false};
        EXPECT_EQ(c.forward ? next_word(edit) : previous_word(edit), c.redraw);
        EXPECT_EQ(pos(edit.cursor), pos(c.end));
    }
}

// ---- On screen ----

class HistoryScreen : public ::testing::Test {
  protected:
    int run() {
        return history_editor(&block_.text[0][0], 2, 16, kLines, kWidth, kLines, 2, 23,
                              "Abort edit (Y/[N]): ", "Save edit (Y/[N]): ");
    }
    Block block_{{"First line", "Second"}};
    DoorHarness door_;
};

TEST_F(HistoryScreen, ModeLineTypedTextAndQuestions) {
    door_.type("\x06\x06Hi\x1AY\r");
    EXPECT_EQ(run(), kHistorySave);
    const std::string out = door_.take_output();
    const size_t replace = out.find("REPLACE MODE");
    const size_t insert = out.find("INSERT MODE", replace);
    ASSERT_NE(insert, std::string::npos) << out;
    EXPECT_NE(out.find("REPLACE MODE", insert), std::string::npos);
    EXPECT_EQ(door_.screen().text(16, 2, 10), "Hirst line");
    EXPECT_EQ(door_.screen().text(17, 2, 6), "Second");
    EXPECT_EQ(door_.screen().row(23), std::string(80, ' ')) << "status cleared on leaving";

    // Only exactly "y" or "Y" answers a question; editing goes on after any other answer.
    door_.type("\x11yes\r\x11\r\x1An\rX\x11y\r");
    EXPECT_EQ(run(), kHistoryAbort);
    EXPECT_EQ(block_.line(0), "Xirst line");
}

// Nothing typed at the save question: the kit's inactivity condition ends the editor with 2.
TEST_F(HistoryScreen, ConditionAtTheSaveQuestionReturns2) {
    door_.type("Z\x1A");
    EXPECT_EQ(run(), kHistoryCondition);
    const std::string out = door_.take_output();
    const size_t asked = out.find("Save edit (Y/[N]): ");
    ASSERT_NE(asked, std::string::npos);
    EXPECT_NE(out.find("ERROR - NO TERMINAL ACTIVITY", asked), std::string::npos);
    EXPECT_EQ(block_.line(0), "Zirst line");
}

}  // namespace

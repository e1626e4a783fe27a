// The company profile on the emulated screen: the facts, the description, the price graph's
// scale, rows and connectors in the three graphics modes, and the editor's start/split/trend
// panel.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "data/session_state.h"
#include "screens/company_profile.h"
#include "screens/framework.h"
#include "session/terminal.h"
#include "vcaller/harness.h"

namespace {

std::string padded(const std::string& text, size_t width = 80) {
    return text + std::string(width - text.size(), ' ');
}

// A graph row as mode 0 draws it, in the glyphs of mode; '+' stands for the given corner.
std::string glyphs(int mode, const std::string& ascii, const char* corner = "") {
    if (mode == 0) return ascii;
    const std::string ibm[] = {"│", "■", "─", corner};
    std::string out;
    for (char ch : ascii) {
        const size_t at = std::string("|*-+").find(ch);
        out += at == std::string::npos ? std::string(1, ch) : ibm[at];
    }
    return out;
}

class Profile : public ::testing::TestWithParam<int> {
  protected:
    // Company 0: "Acme Widgets", ACM, blue chip, all kinds traded.
    void SetUp() override {
        g_session = SessionState{};
        current_company = 0;
        CompanyRecord& c = g_session.market.companies[0];
        std::strcpy(c.name, "Acme Widgets");
        std::strcpy(c.symbol, "ACM");
        c.type = kBlueChip;
        const int16_t price[4] = {5, 27, 110, 1000};
        for (int k = 0; k < kKindCount; ++k) {
            c.total[k] = 100 * (k + 1);
            c.available[k] = 40 + k;
            for (int d = 0; d < 10; ++d) c.price[k][d] = price[k];
            c.initial_price[k] = price[k];
            c.trend[k] = static_cast<int16_t>(k);
        }
        c.option_conversion_price = 12;
        c.bond_guaranteed_value = 950;
        c.split_price = 100;
        std::strcpy(c.history[0], "Makers of fine widgets since 1902.");
        std::strcpy(c.history[1], "100% sure: %s %d %n");
    }
    void fill_rows(int first, int last, const std::string& text) {
        for (int r = first; r <= last; ++r) {
            term_goto(0, r);
            term_puts(text.c_str());
        }
    }
    std::string text(int r, int c = 0, int len = 80) { return screen().text(r, c, len); }
    const VirtualScreen& screen() {
        door_.sync();
        return door_.screen();
    }
    DoorHarness door_;
};

TEST_P(Profile, GraphScaleRowsAndConnectorsInEachMode) {
    const int mode = GetParam();
    g_session.player.graphics_mode = static_cast<int16_t>(mode);
    // Ten equal prices: step 1 from 49, all on row 11.
    const int16_t flat[10] = {50, 50, 50, 50, 50, 50, 50, 50, 50, 50};
    draw_price_graph(2, flat);
    EXPECT_EQ(text(2, 54, 22), mode == 0 ? "+------ COMMON -------" : "┌────── COMMON ───────");
    EXPECT_EQ(text(12, 49, 5), "  49 ");
    EXPECT_EQ(text(3, 49, 5), "  58 ");
    EXPECT_EQ(text(11, 54, 26), glyphs(mode, padded("| *-*-*-*-*-*-*-*-*-*", 26)));
    EXPECT_EQ(text(13, 54, 26), padded("  9 8 7 6 5 4 3 2 1 0", 26));
    EXPECT_EQ(screen().fg(11, 56) == 2 && screen().fg(11, 57) == 2, mode == 2) << "green";
    EXPECT_TRUE(screen().bold(11, 56)) << "points bright";
    EXPECT_FALSE(screen().bold(11, 57)) << "lines normal";

    // Oldest 10, today 28: step 3, base 7.
    const int16_t rising[10] = {28, 26, 24, 22, 20, 18, 16, 14, 12, 10};
    draw_price_graph(4, rising);
    EXPECT_EQ(text(2, 54, 22), mode == 0 ? "+------- BONDS -------" : "┌─────── BONDS ───────");
    EXPECT_EQ(text(12, 49, 5), "   7 ");
    EXPECT_EQ(text(3, 49, 5), "  34 ");
    const char* rows[] = {"|                    ", "|                    ", "|                 *-*",
                          "|               *-+  ", "|           *-*-+    ", "|         *-+        ",
                          "|     *-*-+          ", "|   *-+              ", "| *-+                ",
                          "|                    "};
    for (int r = 3; r <= 12; ++r) {
        EXPECT_EQ(text(r, 54, 21), glyphs(mode, rows[r - 3], "┘")) << "row " << r;
    }

    // Low 0, high 16: step 3, base -3; 0 on row 11, 6 on row 9, 15 on row 6, 16 on row 5.
    const int16_t jump_up[10] = {16, 15, 15, 15, 15, 6, 6, 6, 6, 0};
    draw_price_graph(2, jump_up);
    // Entry 5 (column 64, row 9) to entry 4 (column 66, row 6): corner and strokes below it;
    // falling, the corner is on top. Rows 6 to 9, columns 65 and 66:
    const char* up[] = {" *", " |", " |", "-+"};
    for (int r = 6; r <= 9; ++r) EXPECT_EQ(text(r, 65, 2), glyphs(mode, up[r - 6], "┘")) << r;
    EXPECT_EQ(text(10, 58, 1), glyphs(mode, "|")) << "row 11 to row 9 has one stroke";
    const int16_t jump_down[10] = {0, 6, 6, 6, 6, 15, 15, 15, 15, 16};
    draw_price_graph(2, jump_down);
    const char* down[] = {"-+", " |", " |", " *"};
    for (int r = 6; r <= 9; ++r) EXPECT_EQ(text(r, 65, 2), glyphs(mode, down[r - 6], "┐")) << r;
}

INSTANTIATE_TEST_SUITE_P(Modes, Profile, ::testing::Values(0, 1, 2));

TEST_F(Profile, GraphClearsOnlyFromColumnFiftyFourAndUnknownModeDrawsLabelsOnly) {
    fill_rows(2, 13, std::string(80, 'x'));
    const int16_t prices[10] = {28, 26, 24, 22, 20, 18, 16, 14, 12, 10};
    draw_price_graph(1, prices);
    EXPECT_EQ(text(2), std::string(54, 'x') + padded("+------ OPTIONS ------", 26));
    EXPECT_EQ(text(11, 0, 54), std::string(49, 'x') + "  10 ");
    EXPECT_EQ(text(13, 0, 54), std::string(54, 'x'));
    g_session.player.graphics_mode = 3;
    draw_price_graph(2, prices);
    EXPECT_EQ(text(5, 49, 31), padded("  28", 31));
    EXPECT_EQ(text(2, 54, 26), padded("", 26));
}

TEST_F(Profile, FactsAndDescription) {
    fill_rows(0, 21, "left over");
    draw_company_profile(0);
    draw_company_description(0);
    const std::pair<int, const char*> rows[] = {
        {1, ""},
        {4, "    Stock type     : Blue Chip"},
        {5, "                      Total   Current    Price"},
        {6, "    Options        :     100       40  $   5.00"},
        {9, "    Bonds          :     400       43  $1000.00"},
        {11, "    Options conversion price:   12.00"},
        {12, "    Bond guaranteed price   :  950.00"},
        {14, "  ============================= COMPANY PROFILE =============================="},
        {15, "      Acme Widgets"},
        {17, "      100% sure: %s %d %n"},
        {21, ""}};
    for (const auto& [r, line] : rows) EXPECT_EQ(text(r), padded(line)) << "row " << r;
    EXPECT_TRUE(screen().bold(2, 4)) << "labels bright";
    EXPECT_FALSE(screen().bold(2, 21)) << "values normal";
}

TEST_F(Profile, BondsOnlyMutualFundShowsOneGraphAndOnePrompt) {
    CompanyRecord& c = g_session.market.companies[0];
    c.type = kMutualFund;
    c.total[kOptions] = c.total[kCommon] = c.total[kPreferred] = 0;
    door_.type("\r\r");  // company 0, then Enter under the one graph
    EXPECT_EQ(show_company_profile(), 0);
    const std::string out = door_.take_output();
    const size_t prompt = out.find("Press [ENTER] to continue...");
    EXPECT_NE(prompt, std::string::npos);
    EXPECT_EQ(out.find("Press [ENTER] to continue...", prompt + 1), std::string::npos);
    for (int r : {6, 7, 8}) EXPECT_EQ(text(r, 21, 11), "Not traded ") << "row " << r;
    EXPECT_EQ(text(11, 30, 11), "Not traded ");
    EXPECT_EQ(text(2, 54, 22), "+------- BONDS -------");
}

TEST_F(Profile, StartSplitTrendPanel) {
    CompanyRecord& c = g_session.market.companies[0];
    c.trend[kCommon] = 8;
    c.total[kPreferred] = 0;
    c.trend[kBonds] = 12;
    fill_rows(5, 9, std::string(80, 'x'));
    draw_start_split_trend(0);
    EXPECT_EQ(text(5, 49, 29), "xxStart     Split     Trendxx");
    EXPECT_EQ(text(6, 49, 31), "$   5.00            0 - Bear xx");
    EXPECT_EQ(text(7, 49, 31), "$  27.00  $ 100.00  8 - Bull xx");
    EXPECT_EQ(text(8, 49, 31), std::string(30, ' ') + "x");
    EXPECT_EQ(text(9, 49, 31), "$1000.00            Invalid  xx");
}

}  // namespace

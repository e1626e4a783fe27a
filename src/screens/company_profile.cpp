// Company profile: the facts of one company, its description, a ten-day price graph per traded
// kind, and the start/split/trend panel of the company editor.
#include "screens/company_profile.h"

#include <algorithm>
#include <cstring>

#include "data/session_state.h"
#include "screens/framework.h"
#include "session/terminal.h"

const char TrendLabel[10][10] = {"0 - Bear ", "1 - Bear ", "2 - Bear ", "3 - Mixed", "4 - Mixed",
                                 "5 - Mixed", "6 - Mixed", "7 - Bull ", "8 - Bull ", "9 - Bull "};

namespace {

constexpr const char* kKindLabel[kKindCount] = {"Options        ", "Common         ",
                                                "Preferred      ", "Bonds          "};
constexpr const char* kStockType[3] = {"\e[0mSpeculative\r\n", "\e[0mMutual Fund\r\n",
                                       "\e[0mBlue Chip\r\n"};

// Graph titles in ASCII; the IBM modes draw '+' as a corner and '-' as a line.
constexpr const char* kGraphTitle[kKindCount] = {"+------ OPTIONS ------", "+------ COMMON -------",
                                                 "+----- PREFERRED -----",
                                                 "+------- BONDS -------"};

// Graph geometry: labels in columns 49-52, the axis in column 54, the oldest day in column 56,
// one column in two per day; price rows 12 (lowest) up to 3 (highest).
constexpr int kLabelColumn = 49;
constexpr int kAxisColumn = 54;
constexpr int kFirstPointColumn = 56;
constexpr int kBottomRow = 12;
constexpr int kTopRow = 3;

// The characters of the graph in the three modes; a mode outside 0..2 draws none of them.
struct GraphGlyphs {
    const char* axis;
    const char* point;
    const char* line;
    const char* corner_up;    // the line turns upward (the price rose)
    const char* corner_down;  // the line turns downward (the price fell)
    const char* stroke;
};
constexpr GraphGlyphs kAsciiGlyphs = {"|", "*", "-", "+", "+", "|"};
constexpr GraphGlyphs kIbmGlyphs = {"\xB3", "\xFE", "\xC4", "\xD9", "\xBF", "\xB3"};
constexpr GraphGlyphs kNoGlyphs = {"", "", "", "", "", ""};

// Shown in the editor's panel for a trend that has no label (only a damaged file has one).
constexpr const char* kUnknownTrend = "Invalid  ";

int graphics_mode() {
    return g_session.player.graphics_mode;
}

const GraphGlyphs& glyphs() {
    switch (graphics_mode()) {
        case kAsciiMode:
            return kAsciiGlyphs;
        case kIbmMode:
        case kColorMode:
            return kIbmGlyphs;
        default:
            return kNoGlyphs;
    }
}

void draw_profile_bar() {
    const int mode = graphics_mode();
    if (mode >= kAsciiMode && mode <= kColorMode) draw_heading_bar("COMPANY PROFILE", 29, 30);
}

// The graph row of price v on a scale of step per row starting at base (row 12).
int graph_row(int v, int base, int step) {
    if (v <= base) return kBottomRow;
    for (int n = 1; n <= 9; ++n) {
        if (v <= base + n * step) return kBottomRow - n;
    }
    return kTopRow;
}

void put_at(int column, int row, const char* text) {
    term_goto(column, row);
    term_puts(text);
}

const char* trend_label(int trend) {
    return trend >= 0 && trend <= 9 ? TrendLabel[trend] : kUnknownTrend;
}

}  // namespace

int draw_company_profile(int company) {
    const CompanyRecord& c = g_session.market.companies[company];
    term_goto(0, 0);
    term_clear_line();
    draw_profile_bar();
    term_printf("\e[37;40m");
    term_clear_line();
    term_printf("\r\n");
    term_clear_line();
    term_printf("\e[1m    Company name   : \e[0m%.31s\r\n", c.name);
    term_clear_line();
    term_printf("\e[1m    Exchange symbol: \e[0m%.3s\r\n", c.symbol);
    term_clear_line();
    term_printf("\e[1m    Stock type     : ");
    if (c.type >= 0 && c.type <= 2) term_printf("%s", kStockType[c.type]);
    term_clear_line();
    term_printf("\e[1m                      Total   Current    Price\r\n");
    for (int k = 0; k < kKindCount; ++k) {
        term_clear_line();
        if (c.total[k] != 0) {
            term_printf("\e[1m    %s: \e[0m%7ld  %7ld  $%4d.00\r\n", kKindLabel[k],
                        static_cast<long>(c.total[k]), static_cast<long>(c.available[k]),
                        c.price[k][0]);
        } else {
            term_printf("\e[1m    %s: \e[0mNot traded\r\n", kKindLabel[k]);
        }
    }
    term_clear_line();
    term_printf("\r\n");
    term_clear_line();
    if (c.total[kOptions] > 0) {
        term_printf("\e[1m    Options conversion price: \e[0m%4d.00\r\n",
                    c.option_conversion_price);
    } else {
        term_printf("\e[1m    Options conversion price: \e[0mNot traded\r\n");
    }
    term_clear_line();
    if (c.total[kBonds] > 0) {
        term_printf("\e[1m    Bond guaranteed price   : \e[0m%4d.00\r\n", c.bond_guaranteed_value);
    } else {
        term_printf("\e[1m    Bond guaranteed price   : \e[0mNot traded\r\n");
    }
    term_clear_line();
    return 0;
}

int draw_company_description(int company) {
    const CompanyRecord& c = g_session.market.companies[company];
    term_goto(0, 14);
    term_clear_line();
    draw_profile_bar();
    term_printf("\e[37;40m");
    term_clear_line();
    term_printf("\e[1m      %.31s\r\n", c.name);
    term_printf("\e[0m");
    for (const char* stored : c.history) {
        // The sysop types these lines: they go out as plain text, never as a format, and stop
        // at the end of their field even when the NUL is missing.
        char line[kHistoryLineSize + 1];
        const size_t length = strnlen(stored, kHistoryLineSize);
        std::memcpy(line, stored, length);
        line[length] = '\0';
        term_clear_line();
        term_puts("      ");
        term_puts(line);
        term_puts("\r\n");
    }
    return 0;
}

int draw_price_graph(int graph_kind, const int16_t prices[10]) {
    const int mode = graphics_mode();
    const bool ibm = mode == kIbmMode || mode == kColorMode;
    const GraphGlyphs& g = glyphs();

    term_goto(kAxisColumn, 2);
    term_clear_line();
    term_printf("\e[1m");
    if (graph_kind >= 1 && graph_kind <= kKindCount && mode >= kAsciiMode && mode <= kColorMode) {
        char title[32];
        std::strcpy(title, kGraphTitle[graph_kind - 1]);
        if (ibm) {
            for (char* p = title; *p; ++p) {
                if (*p == '+') *p = '\xDA';
                if (*p == '-') *p = '\xC4';
            }
        }
        term_puts(title);
    }
    for (int row = kTopRow; row <= kBottomRow; ++row) {
        term_goto(kAxisColumn, row);
        term_clear_line();
        term_puts(g.axis);
    }
    term_goto(kAxisColumn, 13);
    term_clear_line();
    term_printf("  9 8 7 6 5 4 3 2 1 0");

    // The scale spans the whole range in nine steps of at least 1, one step below the lowest
    // price. Prices are 16-bit, so these sums stay far inside int.
    const int lo = *std::min_element(prices, prices + 10);
    const int hi = *std::max_element(prices, prices + 10);
    const int step = (hi - lo) / 8 + 1;
    const int base = lo - step;

    if (mode == kColorMode) term_printf("\e[32m");
    for (int j = 0; j <= 9; ++j) {
        term_goto(kLabelColumn, kBottomRow - j);
        term_printf("%4d ", base + j * step);
    }

    int column = kFirstPointColumn;
    int row = graph_row(prices[9], base, step);
    put_at(column, row, g.point);
    for (int i = 8; i >= 0; --i) {
        term_goto(column + 1, row);
        term_printf(mode == kColorMode ? "\e[0;32m" : "\e[0m");
        term_puts(g.line);
        const int next_column = column + 2;
        const int next_row = graph_row(prices[i], base, step);
        if (next_row < row) {
            put_at(next_column, row, g.corner_up);
            for (int r = row - 1; r > next_row; --r) put_at(next_column, r, g.stroke);
        } else if (next_row > row) {
            put_at(next_column, row, g.corner_down);
            for (int r = row + 1; r < next_row; ++r) put_at(next_column, r, g.stroke);
        }
        term_goto(next_column, next_row);
        term_printf(mode == kColorMode ? "\e[1;32m" : "\e[1m");
        term_puts(g.point);
        column = next_column;
        row = next_row;
    }
    term_printf("\e[0;37m");
    return 0;
}

int show_company_profile() {
    const int company = select_company(false);
    draw_company_profile(company);
    draw_company_description(company);
    const CompanyRecord& c = g_session.market.companies[company];
    for (int k = 0; k < kKindCount; ++k) {
        if (c.total[k] == 0) continue;
        draw_price_graph(k + 1, c.price[k]);
        press_enter();
    }
    return 0;
}

int draw_start_split_trend(int company) {
    const CompanyRecord& c = g_session.market.companies[company];
    term_goto(51, 5);
    term_printf("\e[1;37;40m");
    term_printf("Start     Split     Trend\r\n");
    term_printf("\e[0m");
    for (int k = 0; k < kKindCount; ++k) {
        term_goto(49, 6 + k);
        if (c.total[k] == 0) {
            term_printf("%30s", "");
        } else if (k == kCommon) {
            term_printf("$%4d.00  $%4d.00  %s", c.initial_price[k], c.split_price,
                        trend_label(c.trend[k]));
        } else {
            term_printf("$%4d.00            %s", c.initial_price[k], trend_label(c.trend[k]));
        }
    }
    return 0;
}

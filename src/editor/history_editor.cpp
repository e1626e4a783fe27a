// The history line editor: key handling on the text block, and its screen side.
#include "editor/history_editor.h"

#include <cstring>

#include "screens/framework.h"
#include "session/terminal.h"

namespace {

// Control keys of the editor.
constexpr int kCtrlA = 1, kCtrlB = 2, kCtrlC = 3, kCtrlD = 4, kCtrlF = 6, kCtrlG = 7, kCtrlH = 8,
              kTab = 9, kCtrlJ = 10, kCtrlK = 11, kCtrlL = 12, kEnter = 13, kCtrlN = 14,
              kCtrlO = 15, kCtrlQ = 17, kCtrlR = 18, kCtrlT = 20, kCtrlV = 22, kCtrlY = 25,
              kCtrlZ = 26, kDel = 127;
constexpr int kTabWidth = 8;

constexpr const char* kInsertModeText = "INSERT MODE";
constexpr const char* kReplaceModeText = "REPLACE MODE";

bool is_blank(char c) {
    return c == ' ';
}

void copy_line(const TextBlock& block, int to, int from) {
    std::memcpy(block_line(block, to), block_line(block, from), static_cast<size_t>(block.width));
}

void move_up(HistoryEdit& edit, HistoryStep& step) {
    HistoryCursor& c = edit.cursor;
    if (c.row > 0) {
        --c.row;
        --c.line;
    } else if (c.line > 0) {
        --c.line;
        step.effect = HistoryEffect::kRedrawWindow;
    }
}

// A block shorter than its window never moves past its own last line.
void move_down(HistoryEdit& edit, HistoryStep& step) {
    HistoryCursor& c = edit.cursor;
    if (c.line >= edit.block.line_count - 1) return;
    ++c.line;
    if (c.row < edit.window_rows - 1) {
        ++c.row;
    } else {
        step.effect = HistoryEffect::kRedrawWindow;
    }
}

// Ctrl-T: the top row of the window, or from there the bottom row (never past the block).
void toggle_window_edge(HistoryEdit& edit) {
    HistoryCursor& c = edit.cursor;
    if (c.row != 0) {
        c.line -= c.row;
        c.row = 0;
        return;
    }
    int down = edit.window_rows - 1;
    if (c.line + down > edit.block.line_count - 1) down = edit.block.line_count - 1 - c.line;
    c.line += down;
    c.row = down;
}

void page_up(HistoryEdit& edit) {
    HistoryCursor& c = edit.cursor;
    c.line -= edit.window_rows - 1;
    if (c.line - c.row < 0) {
        c.line = 0;
        c.row = 0;
    }
}

void page_down(HistoryEdit& edit) {
    HistoryCursor& c = edit.cursor;
    const int last_line = edit.block.line_count - 1;
    c.line += edit.window_rows - 1;
    if (c.line + edit.window_rows > last_line) {
        c.line = last_line;
        c.row = edit.window_rows - 1;
        if (c.row > last_line) c.row = last_line;
    }
}

void to_end_of_previous_line(HistoryEdit& edit) {
    --edit.cursor.line;
    --edit.cursor.row;
    edit.cursor.column = block_last_column(edit.block);
}

void to_start_of_next_line(HistoryEdit& edit) {
    ++edit.cursor.line;
    ++edit.cursor.row;
    edit.cursor.column = 0;
}

void type_character(HistoryEdit& edit, char ch, HistoryStep& step) {
    HistoryCursor& c = edit.cursor;
    const int last = block_last_column(edit.block);
    if (edit.insert_mode) {
        insert_char(edit.block, c.line, c.column, ch);
        step.effect = HistoryEffect::kDrawFrom;
        step.column = c.column;
    } else {
        block_line(edit.block, c.line)[c.column] = ch;
        step.effect = HistoryEffect::kEcho;
        step.character = ch;
    }
    if (c.column < last) ++c.column;
}

}  // namespace

char* block_line(const TextBlock& block, int line) {
    return block.text + line * block.width;
}

int block_last_column(const TextBlock& block) {
    return block.width - 2;
}

void insert_char(const TextBlock& block, int line, int column, char c) {
    char* text = block_line(block, line);
    const int last = block_last_column(block);
    std::memmove(text + column + 1, text + column, static_cast<size_t>(last - column));
    text[column] = c;
}

void delete_char(const TextBlock& block, int line, int column) {
    char* text = block_line(block, line);
    const int last = block_last_column(block);
    std::memmove(text + column, text + column + 1, static_cast<size_t>(last - column));
    text[last] = ' ';
}

void blank_from(const TextBlock& block, int line, int column) {
    char* text = block_line(block, line);
    std::memset(text + column, ' ', static_cast<size_t>(block_last_column(block) + 1 - column));
}

void delete_line(const TextBlock& block, int line) {
    const int last_line = block.line_count - 1;
    for (int i = line; i < last_line; ++i) copy_line(block, i, i + 1);
    blank_from(block, last_line, 0);
}

// The last line of the block is the one that cannot be split (its rest is only blanked); this
// test works for a block longer than its window too.
void split_line(const TextBlock& block, int line, int column) {
    const int last_line = block.line_count - 1;
    for (int i = last_line; i > line + 1; --i) copy_line(block, i, i - 1);
    if (line < last_line) {
        const int moved = block_last_column(block) + 1 - column;
        blank_from(block, line + 1, 0);
        std::memcpy(block_line(block, line + 1), block_line(block, line) + column,
                    static_cast<size_t>(moved));
    }
    blank_from(block, line, column);
}

int line_end_column(const TextBlock& block, int line) {
    const char* text = block_line(block, line);
    const int last = block_last_column(block);
    int end = last;
    while (end >= 0 && is_blank(text[end])) --end;
    if (end < 0) return 0;
    return end == last ? last : end + 1;
}

int tab_stop(int column, int last_column) {
    const int stop = column / kTabWidth * kTabWidth + kTabWidth;
    return stop > last_column ? last_column : stop;
}

bool next_word(HistoryEdit& edit) {
    HistoryCursor& c = edit.cursor;
    const int last = block_last_column(edit.block);
    const int last_line = edit.block.line_count - 1;
    for (;;) {
        const char* text = block_line(edit.block, c.line);
        if (!is_blank(text[c.column])) {
            while (c.column <= last && !is_blank(text[c.column])) ++c.column;
        }
        if (c.column > last) {
            if (c.line < last_line) {
                to_start_of_next_line(edit);
                text = block_line(edit.block, c.line);
            } else {
                c.column = last;
            }
        }
        while (c.column <= last && is_blank(text[c.column])) ++c.column;
        if (c.column > last) {
            if (c.line < last_line) {
                to_start_of_next_line(edit);
                if (is_blank(block_line(edit.block, c.line)[0])) continue;
            } else {
                c.column = last;
            }
        }
        break;
    }
    if (c.row > edit.window_rows - 1) {
        c.row = edit.window_rows - 1;
        return true;
    }
    return false;
}

bool previous_word(HistoryEdit& edit) {
    HistoryCursor& c = edit.cursor;
    if (c.column > 0) {
        --c.column;
    } else if (c.line > 0) {
        to_end_of_previous_line(edit);
    }
    for (;;) {
        if (c.column == 0 && c.line > 0) to_end_of_previous_line(edit);
        const char* text = block_line(edit.block, c.line);
        if (is_blank(text[c.column])) {
            while (c.column >= 0 && is_blank(text[c.column])) --c.column;
            if (c.column < 0) {
                if (c.line > 0) {
                    to_end_of_previous_line(edit);
                    text = block_line(edit.block, c.line);
                } else {
                    c.column = 0;
                }
            }
        }
        if (!is_blank(text[c.column])) {
            while (c.column >= 0 && !is_blank(text[c.column])) --c.column;
            ++c.column;
        }
        if (is_blank(text[c.column]) && c.line != 0) continue;
        break;
    }
    if (c.row < 0) {
        c.row = 0;
        return true;
    }
    return false;
}

HistoryStep apply_history_key(HistoryEdit& edit, int key) {
    HistoryStep step;
    HistoryCursor& c = edit.cursor;
    const TextBlock& block = edit.block;
    const int last = block_last_column(block);
    switch (key) {
        case kCtrlK:
            move_up(edit, step);
            break;
        case kEnter:
            c.column = 0;
            move_down(edit, step);
            break;
        case kCtrlJ:
            move_down(edit, step);
            break;
        case kCtrlH:
            if (c.column > 0) --c.column;
            break;
        case kCtrlL:
            if (c.column < last) ++c.column;
            break;
        case kTab:
            c.column = tab_stop(c.column, last);
            break;
        case kCtrlB:
            c.column = c.column != 0 ? 0 : line_end_column(block, c.line);
            break;
        case kCtrlT:
            toggle_window_edge(edit);
            break;
        case kCtrlR:
            page_up(edit);
            step.effect = HistoryEffect::kRedrawWindow;
            break;
        case kCtrlC:
        case kCtrlV:
            page_down(edit);
            step.effect = HistoryEffect::kRedrawWindow;
            break;
        case kCtrlD:
            if (next_word(edit)) step.effect = HistoryEffect::kRedrawWindow;
            break;
        case kCtrlA:
            if (previous_word(edit)) step.effect = HistoryEffect::kRedrawWindow;
            break;
        case kCtrlG:
            delete_char(block, c.line, c.column);
            step.effect = HistoryEffect::kClearAndDrawFrom;
            step.column = c.column;
            break;
        case kDel:
            if (c.column > 0) {
                --c.column;
                delete_char(block, c.line, c.column);
                step.effect = HistoryEffect::kClearAndDrawFrom;
                step.column = c.column;
            }
            break;
        case kCtrlO:
            blank_from(block, c.line, c.column);
            step.effect = HistoryEffect::kClearToEnd;
            break;
        case kCtrlY:
            delete_line(block, c.line);
            step.effect = HistoryEffect::kRedrawFrom;
            step.row = c.row;
            break;
        case kCtrlN:
            split_line(block, c.line, c.column);
            step.effect = HistoryEffect::kRedrawFrom;
            step.row = c.row;
            break;
        case kCtrlF:
            edit.insert_mode = !edit.insert_mode;
            step.effect = HistoryEffect::kModeChanged;
            break;
        case kCtrlQ:
            step.effect = HistoryEffect::kAskAbort;
            break;
        case kCtrlZ:
            step.effect = HistoryEffect::kAskSave;
            break;
        case kKeyNoCarrier:
        case kKeyInactive:
        case kKeyTimeWarning:
        case kKeyTimeUp:
            step.effect = HistoryEffect::kCondition;
            step.key = key;
            break;
        default:
            if (key >= ' ' && key <= '~') type_character(edit, static_cast<char>(key), step);
            break;
    }
    return step;
}

void draw_text_line(const char* from) {
    int length = static_cast<int>(std::strlen(from));
    while (length > 0 && is_blank(from[length - 1])) --length;
    char chunk[128];
    while (length > 0) {
        const int part = length < static_cast<int>(sizeof chunk) - 1
                             ? length
                             : static_cast<int>(sizeof chunk) - 1;
        std::memcpy(chunk, from, static_cast<size_t>(part));
        chunk[part] = '\0';
        term_puts(chunk);
        from += part;
        length -= part;
    }
}

namespace {

// The screen side of one call of history_editor.
struct HistoryScreen {
    HistoryEdit edit;
    int origin_column;
    int origin_row;
    int status_column;
    int status_row;

    void redraw_rows(int first_row) const {
        const HistoryCursor& c = edit.cursor;
        for (int i = first_row; i < edit.window_rows; ++i) {
            term_goto(origin_column, origin_row + i);
            term_clear_line();
            const int line = c.line - c.row + i;
            if (line >= 0 && line < edit.block.line_count) {
                draw_text_line(block_line(edit.block, line));
            }
        }
    }

    void clear_status() const {
        term_goto(status_column, status_row);
        term_clear_line();
    }

    void show_mode() const {
        clear_status();
        term_printf("%s", edit.insert_mode ? kInsertModeText : kReplaceModeText);
    }

    // Ctrl-Q and Ctrl-Z: only an answer of exactly "Y" (either case) ends the editor with
    // yes_result; a condition that ends the session gives 2; anything else goes on (-1).
    int ask(const char* question, int yes_result) const {
        clear_status();
        term_printf("%s", question);
        term_input_line(line_buffer, kLineBufferSize);
        clear_status();
        if (check_line_condition(line_buffer) == -1) {
            term_sleep(2);
            return kHistoryCondition;
        }
        str_upper(line_buffer);
        if (std::strcmp(line_buffer, "Y") == 0) return yes_result;
        show_mode();
        return -1;
    }
};

}  // namespace

int history_editor(char* text, int origin_column, int origin_row, int line_count, int line_width,
                   int window_rows, int status_column, int status_row, const char* abort_question,
                   const char* save_question) {
    HistoryScreen screen{{{text, line_count, line_width}, window_rows, {}, false},
                         origin_column,
                         origin_row,
                         status_column,
                         status_row};
    HistoryEdit& edit = screen.edit;
    screen.redraw_rows(0);
    screen.show_mode();

    int result = -1;
    while (result < 0) {
        const HistoryCursor before = edit.cursor;
        term_goto(origin_column + before.column, origin_row + before.row);
        const HistoryStep step = apply_history_key(edit, term_get_key());
        const char* line = block_line(edit.block, edit.cursor.line);
        switch (step.effect) {
            case HistoryEffect::kNone:
                break;
            case HistoryEffect::kEcho:
                term_echo_char(step.character);
                break;
            case HistoryEffect::kDrawFrom:
                draw_text_line(line + step.column);
                break;
            case HistoryEffect::kClearAndDrawFrom:
                term_goto(origin_column + step.column, origin_row + edit.cursor.row);
                term_clear_line();
                draw_text_line(line + step.column);
                break;
            case HistoryEffect::kClearToEnd:
                term_clear_line();
                break;
            case HistoryEffect::kRedrawWindow:
                screen.redraw_rows(0);
                break;
            case HistoryEffect::kRedrawFrom:
                screen.redraw_rows(step.row);
                break;
            case HistoryEffect::kModeChanged:
                screen.show_mode();
                break;
            case HistoryEffect::kAskAbort:
                result = screen.ask(abort_question, kHistoryAbort);
                break;
            case HistoryEffect::kAskSave:
                result = screen.ask(save_question, kHistorySave);
                break;
            case HistoryEffect::kCondition:
                term_goto(status_column, status_row);
                if (check_key_condition(step.key) == -1) {
                    result = kHistoryCondition;
                } else {
                    screen.show_mode();
                }
                break;
        }
    }
    screen.clear_status();
    return result;
}

// The history line editor: a small full-screen editor for a block of fixed-width text lines,
// driven by control keys only, and the buffer operations behind every key (no terminal needed).
#pragma once

// A block of lines, width bytes apart; each line holds width - 1 characters (columns 0 to
// width - 2), padded with blanks, and a NUL at index width - 1.
struct TextBlock {
    char* text;      // line i starts at text + i * width
    int line_count;  // lines in the block
    int width;       // stride of a line; the last usable column is width - 2
};

struct HistoryCursor {
    int line = 0;    // line of the block being edited
    int row = 0;     // window row that shows that line
    int column = 0;  // 0 .. width - 2
};

// Everything the keys change: the block, the cursor within block and window, the mode.
struct HistoryEdit {
    TextBlock block;
    int window_rows;       // screen rows showing lines
    HistoryCursor cursor;  // starts on line 0, row 0, column 0
    bool insert_mode;      // false: replace mode (the mode on entry)
};

// What the screen has to do after a key (the cursor fields are already updated).
enum class HistoryEffect {
    kNone,              // cursor moved or key ignored
    kEcho,              // echo `character` at the old cursor position
    kDrawFrom,          // write the cursor line from `column` (insert mode typing)
    kClearAndDrawFrom,  // cursor to `column`, clear the rest of the screen line, write from there
    kClearToEnd,        // clear the screen line from the cursor
    kRedrawWindow,      // every window row
    kRedrawFrom,        // window rows `row` .. last
    kModeChanged,       // show the new mode on the status line
    kAskAbort,          // Ctrl-Q
    kAskSave,           // Ctrl-Z
    kCondition,         // a condition code -1 .. -4 arrived (`key` holds it)
};

struct HistoryStep {
    HistoryEffect effect = HistoryEffect::kNone;
    int column = 0;      // kDrawFrom, kClearAndDrawFrom
    int row = 0;         // kRedrawFrom
    char character = 0;  // kEcho
    int key = 0;         // kCondition
};

// Applies one key code to the block and the cursor.
HistoryStep apply_history_key(HistoryEdit& edit, int key);

// Buffer operations on one block (column limits from the block's width).
char* block_line(const TextBlock& block, int line);
int block_last_column(const TextBlock& block);
// Inserting drops the character of the last column; deleting blanks it.
void insert_char(const TextBlock& block, int line, int column, char c);
void delete_char(const TextBlock& block, int line, int column);
void blank_from(const TextBlock& block, int line, int column);
void delete_line(const TextBlock& block, int line);             // last line blanked
void split_line(const TextBlock& block, int line, int column);  // last line lost
// Ctrl-B's target on a line when the cursor is on column 0: after the last non-blank.
int line_end_column(const TextBlock& block, int line);
int tab_stop(int column, int last_column);
// Word moves; return true when the window has to be redrawn.
bool next_word(HistoryEdit& edit);
bool previous_word(HistoryEdit& edit);

// Writes the text from `from` to the last non-blank character of its line as plain text.
void draw_text_line(const char* from);

// Result values of history_editor.
constexpr int kHistoryAbort = 0;
constexpr int kHistorySave = 1;
constexpr int kHistoryCondition = 2;

// Edits the block on screen until the sysop saves (1), aborts (0), or a condition code arrives
// (2: the caller ends the session). The block is changed in place either way.
int history_editor(char* text, int origin_column, int origin_row, int line_count, int line_width,
                   int window_rows, int status_column, int status_row, const char* abort_question,
                   const char* save_question);

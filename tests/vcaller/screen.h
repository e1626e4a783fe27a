// VirtualScreen: an 80x24 terminal (libvterm) that shows what a door sent, as a BBS caller's
// terminal would: CP437 glyphs for bytes 128-255 and for the C0 glyph bytes.
#pragma once

#include <string>
#include <string_view>

struct VTerm;
struct VTermScreen;

class VirtualScreen {
  public:
    static constexpr int kRows = 24;
    static constexpr int kColumns = 80;

    VirtualScreen();
    ~VirtualScreen();
    VirtualScreen(const VirtualScreen&) = delete;
    VirtualScreen& operator=(const VirtualScreen&) = delete;

    // Bytes as the door sent them (CP437 text with ANSI sequences, telnet already removed).
    void feed(std::string_view bytes);
    // Row r as 80 cells of UTF-8 text (blank cells are spaces).
    std::string row(int r) const;
    // len cells from row r, column c.
    std::string text(int r, int c, int len) const;
    // True when some row holds the text.
    bool contains(std::string_view text) const;
    bool bold(int r, int c) const;
    // ANSI palette index of the cell's colours, -1 for the terminal's default.
    int fg(int r, int c) const;
    int bg(int r, int c) const;
    int cursor_row() const;
    int cursor_col() const;
    // The whole screen with row numbers and the cursor position, for failure messages.
    std::string dump() const;

  private:
    VTerm* vt_;
    VTermScreen* screen_;
};

// The UTF-8 glyph a CP437 terminal shows for a byte (controls that stay controls give "").
std::string cp437_glyph(unsigned char byte);

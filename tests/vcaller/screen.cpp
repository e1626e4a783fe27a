// VirtualScreen over libvterm, with CP437 decoding in front of it.
#include "screen.h"

#include <iconv.h>
#include <vterm.h>

#include <array>
#include <cstdio>
#include <stdexcept>

namespace {

// C0 bytes that CP437 terminals draw as glyphs; NUL, BEL, BS, TAB, LF, CR and ESC stay controls.
constexpr const char* kControlGlyphs[32] = {
    "",  "☺", "☻", "♥", "♦", "♣", "♠", "",  "",  "",  "",  "♂", "♀", "",  "♫", "☼",
    "►", "◄", "↕", "‼", "¶", "§", "▬", "↨", "↑", "↓", "→", "",  "∟", "↔", "▲", "▼",
};

// Bytes 128-255 through the C library's own CP437 table.
std::array<std::string, 128> high_glyphs() {
    std::array<std::string, 128> glyphs;
    iconv_t cd = iconv_open("UTF-8", "IBM437");
    if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("no IBM437 in iconv");
    for (int b = 128; b < 256; ++b) {
        char in = static_cast<char>(b);
        char out[8];
        char* in_p = &in;
        char* out_p = out;
        size_t in_left = 1, out_left = sizeof out;
        iconv(cd, &in_p, &in_left, &out_p, &out_left);
        glyphs[b - 128].assign(out, static_cast<size_t>(out_p - out));
    }
    iconv_close(cd);
    return glyphs;
}

void append_utf8(uint32_t cp, std::string& out) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

}  // namespace

std::string cp437_glyph(unsigned char byte) {
    static const std::array<std::string, 128> high = high_glyphs();
    if (byte >= 128) return high[byte - 128];
    if (byte < 32) return kControlGlyphs[byte];
    if (byte == 127) return "⌂";
    return std::string(1, static_cast<char>(byte));
}

VirtualScreen::VirtualScreen() {
    vt_ = vterm_new(kRows, kColumns);
    vterm_set_utf8(vt_, 1);
    screen_ = vterm_obtain_screen(vt_);
    vterm_screen_reset(screen_, 1);
}

VirtualScreen::~VirtualScreen() {
    vterm_free(vt_);
}

void VirtualScreen::feed(std::string_view bytes) {
    std::string utf8;
    utf8.reserve(bytes.size() * 2);
    for (char c : bytes) {
        auto b = static_cast<unsigned char>(c);
        std::string glyph = b == 127 ? std::string() : cp437_glyph(b);
        if (b < 128 && (glyph.empty() || b >= 32))
            utf8.push_back(c);  // ASCII and kept controls
        else
            utf8 += glyph;
    }
    vterm_input_write(vt_, utf8.data(), utf8.size());
}

std::string VirtualScreen::text(int r, int c, int len) const {
    std::string out;
    for (int col = c; col < c + len && col < kColumns; ++col) {
        VTermScreenCell cell{};
        if (r < 0 || r >= kRows || col < 0 ||
            !vterm_screen_get_cell(screen_, VTermPos{r, col}, &cell)) {
            out.push_back(' ');
            continue;
        }
        if (cell.width == 0) continue;  // right half of a wide character
        if (cell.chars[0] == 0) out.push_back(' ');
        for (int i = 0; i < VTERM_MAX_CHARS_PER_CELL && cell.chars[i] != 0; ++i) {
            append_utf8(cell.chars[i], out);
        }
    }
    return out;
}

std::string VirtualScreen::row(int r) const {
    return text(r, 0, kColumns);
}

bool VirtualScreen::contains(std::string_view wanted) const {
    for (int r = 0; r < kRows; ++r) {
        if (row(r).find(wanted) != std::string::npos) return true;
    }
    return false;
}

namespace {

VTermScreenCell cell_at(VTermScreen* screen, int r, int c) {
    VTermScreenCell cell{};
    vterm_screen_get_cell(screen, VTermPos{r, c}, &cell);
    return cell;
}

VTermPos cursor(VTerm* vt) {
    VTermPos pos{};
    vterm_state_get_cursorpos(vterm_obtain_state(vt), &pos);
    return pos;
}

int palette_index(const VTermColor& color) {
    if (VTERM_COLOR_IS_DEFAULT_FG(&color) || VTERM_COLOR_IS_DEFAULT_BG(&color)) return -1;
    if (VTERM_COLOR_IS_INDEXED(&color)) return color.indexed.idx;
    return -1;
}

}  // namespace

bool VirtualScreen::bold(int r, int c) const {
    return cell_at(screen_, r, c).attrs.bold != 0;
}
int VirtualScreen::fg(int r, int c) const {
    return palette_index(cell_at(screen_, r, c).fg);
}
int VirtualScreen::bg(int r, int c) const {
    return palette_index(cell_at(screen_, r, c).bg);
}

int VirtualScreen::cursor_row() const {
    return cursor(vt_).row;
}
int VirtualScreen::cursor_col() const {
    return cursor(vt_).col;
}

std::string VirtualScreen::dump() const {
    std::string out = "    +" + std::string(kColumns, '-') + "+\n";
    for (int r = 0; r < kRows; ++r) {
        char number[8];
        std::snprintf(number, sizeof number, "%3d |", r);
        out += number + row(r) + "|\n";
    }
    out += "    +" + std::string(kColumns, '-') + "+\n";
    out += "    cursor at row " + std::to_string(cursor_row()) + ", column " +
           std::to_string(cursor_col()) + "\n";
    return out;
}

// Raw mode for the door's terminal, its restoration, and CP437 to UTF-8.
#include "doorkit/console.h"

#include <langinfo.h>
#include <termios.h>
#include <unistd.h>

#include <clocale>
#include <csignal>
#include <cstdlib>
#include <cstring>

namespace {

struct termios g_saved {};
int g_saved_fd = -1;
volatile sig_atomic_t g_raw = 0;

// Signals that end the process; each restores the terminal first, then dies as it would have.
constexpr int kFatalSignals[] = {SIGTERM, SIGINT, SIGQUIT, SIGABRT, SIGSEGV,
                                 SIGBUS,  SIGFPE, SIGILL,  SIGXCPU, SIGXFSZ};

void on_fatal_signal(int sig) {
    if (g_raw) tcsetattr(g_saved_fd, TCSAFLUSH, &g_saved);
    g_raw = 0;
    signal(sig, SIG_DFL);
    raise(sig);
}

constexpr const char* kGlyphs[256] = {
    " ", "☺", "☻",  "♥",      "♦", "♣", "♠", "•", "◘", "○", "◙", "♂", "♀", "♪", "♫", "☼", "►",  "◄",
    "↕", "‼", "¶",  "§",      "▬", "↨", "↑", "↓", "→", "←", "∟", "↔", "▲", "▼", " ", "!", "\"", "#",
    "$", "%", "&",  "'",      "(", ")", "*", "+", ",", "-", ".", "/", "0", "1", "2", "3", "4",  "5",
    "6", "7", "8",  "9",      ":", ";", "<", "=", ">", "?", "@", "A", "B", "C", "D", "E", "F",  "G",
    "H", "I", "J",  "K",      "L", "M", "N", "O", "P", "Q", "R", "S", "T", "U", "V", "W", "X",  "Y",
    "Z", "[", "\\", "]",      "^", "_", "`", "a", "b", "c", "d", "e", "f", "g", "h", "i", "j",  "k",
    "l", "m", "n",  "o",      "p", "q", "r", "s", "t", "u", "v", "w", "x", "y", "z", "{", "|",  "}",
    "~", "⌂", "Ç",  "ü",      "é", "â", "ä", "à", "å", "ç", "ê", "ë", "è", "ï", "î", "ì", "Ä",  "Å",
    "É", "æ", "Æ",  "ô",      "ö", "ò", "û", "ù", "ÿ", "Ö", "Ü", "¢", "£", "¥", "₧", "ƒ", "á",  "í",
    "ó", "ú", "ñ",  "Ñ",      "ª", "º", "¿", "⌐", "¬", "½", "¼", "¡", "«", "»", "░", "▒", "▓",  "│",
    "┤", "╡", "╢",  "╖",      "╕", "╣", "║", "╗", "╝", "╜", "╛", "┐", "└", "┴", "┬", "├", "─",  "┼",
    "╞", "╟", "╚",  "╔",      "╩", "╦", "╠", "═", "╬", "╧", "╨", "╤", "╥", "╙", "╘", "╒", "╓",  "╫",
    "╪", "┘", "┌",  "█",      "▄", "▌", "▐", "▀", "α", "ß", "Γ", "π", "Σ", "σ", "µ", "τ", "Φ",  "Θ",
    "Ω", "δ", "∞",  "φ",      "ε", "∩", "≡", "±", "≥", "≤", "⌠", "⌡", "÷", "≈", "°", "∙", "·",  "√",
    "ⁿ", "²", "■",  "\u00A0",
};

bool stays_control(unsigned char c) {
    return c == 0 || c == 7 || c == 8 || c == 9 || c == 10 || c == 13 || c == 27 || c == 127;
}

}  // namespace

bool console_enter_raw(int fd) {
    struct termios tio {};
    if (!isatty(fd) || tcgetattr(fd, &tio) != 0) return false;
    if (g_saved_fd < 0) {
        g_saved = tio;
        g_saved_fd = fd;
        std::atexit(console_restore);
        struct sigaction sa {};
        sa.sa_handler = on_fatal_signal;
        sigemptyset(&sa.sa_mask);
        for (int sig : kFatalSignals) sigaction(sig, &sa, nullptr);
    }
    cfmakeraw(&tio);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (tcsetattr(fd, TCSAFLUSH, &tio) != 0) return false;
    g_raw = 1;
    return true;
}

void console_restore() {
    if (g_raw) tcsetattr(g_saved_fd, TCSAFLUSH, &g_saved);
    g_raw = 0;
}

bool locale_is_utf8() {
    const char* current = setlocale(LC_CTYPE, nullptr);
    std::string saved = current != nullptr ? current : "C";
    setlocale(LC_CTYPE, "");
    bool utf8 = std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
    setlocale(LC_CTYPE, saved.c_str());
    return utf8;
}

const char* cp437_utf8(unsigned char byte) {
    return kGlyphs[byte];
}

void cp437_to_utf8(std::string_view bytes, std::string& out) {
    for (char c : bytes) {
        auto u = static_cast<unsigned char>(c);
        if (stays_control(u) || (u >= 0x20 && u < 0x7F))
            out.push_back(c);
        else
            out += kGlyphs[u];
    }
}

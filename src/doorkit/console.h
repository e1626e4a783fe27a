// The terminal the door runs on (the local console, or a pseudo-terminal handed over by the BBS):
// raw mode restored on every way out, and CP437 shown as UTF-8.
#pragma once

#include <string>
#include <string_view>

// Puts the terminal on fd in raw mode and arranges that it is restored at exit and on every
// fatal signal. Returns false when fd is no terminal (nothing changes then).
bool console_enter_raw(int fd);
// Puts back the settings saved by console_enter_raw; safe to call more than once.
void console_restore();

// True when the locale of the environment uses UTF-8 (the process locale is left as it was).
bool locale_is_utf8();

// The UTF-8 text of a CP437 glyph.
const char* cp437_utf8(unsigned char byte);
// Appends bytes to out with glyph bytes in UTF-8: 128-255 and the C0 glyphs, while NUL, BEL, BS,
// TAB, LF, CR and ESC stay controls, so ANSI sequences pass unchanged.
void cp437_to_utf8(std::string_view bytes, std::string& out);

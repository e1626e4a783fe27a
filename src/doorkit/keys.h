// Key decoding: the escape sequences that ANSI, VT100 and VT52 terminals send for the cursor and
// editing keys become extended-key events carrying PC scan codes; everything else is a character.
#pragma once

#include <string>
#include <vector>

#include "doorkit/opendoors.h"

// Wait after a lone Escape (or an unfinished sequence) before it counts as typed keys.
constexpr int kEscapeWaitMs = 250;

// Fed one data byte at a time, so a sequence split across reads decodes the same as a whole one.
class KeyDecoder {
  public:
    void feed(unsigned char byte, std::vector<OdInputEvent>& out);
    // True while a sequence has begun and not ended; the caller then waits kEscapeWaitMs.
    bool pending() const { return state_ != State::kGround; }
    // Gives up on an unfinished sequence: its bytes come out as plain characters.
    void flush(std::vector<OdInputEvent>& out);

  private:
    enum class State { kGround, kEscape, kCsi, kCsiBracket, kSs3 };
    void finish_csi(unsigned char final_byte, std::vector<OdInputEvent>& out);
    State state_ = State::kGround;
    std::string seen_;  // bytes of the unfinished sequence, ESC included
};

// Escape-sequence decoding for the cursor and editing keys.
#include "doorkit/keys.h"

#include <algorithm>

namespace {

constexpr unsigned char kEsc = 27;
constexpr size_t kLongestSequence = 16;  // longer CSI sequences are no key of ours

void character(unsigned char c, std::vector<OdInputEvent>& out) {
    out.push_back({kEventCharacter, c});
}

void extended(unsigned char scan, std::vector<OdInputEvent>& out) {
    out.push_back({kEventExtendedKey, scan});
}

// Final letters shared by CSI (ESC [ x), SS3 (ESC O x) and VT52 (ESC x).
unsigned char scan_for_letter(unsigned char letter) {
    switch (letter) {
        case 'A':
            return kScanUp;
        case 'B':
            return kScanDown;
        case 'C':
            return kScanRight;
        case 'D':
            return kScanLeft;
        case 'H':
            return kScanHome;
        case 'F':
            return kScanEnd;
        default:
            return 0;
    }
}

// ESC [ n ~ as xterm, VT220 and rxvt send them.
unsigned char scan_for_tilde(int n) {
    switch (n) {
        case 1:
        case 7:
            return kScanHome;
        case 2:
            return kScanInsert;
        case 3:
            return kScanDelete;
        case 4:
        case 8:
            return kScanEnd;
        case 5:
            return kScanPgUp;
        case 6:
            return kScanPgDn;
        default:
            return 0;
    }
}

}  // namespace

void KeyDecoder::finish_csi(unsigned char final_byte, std::vector<OdInputEvent>& out) {
    unsigned char scan = 0;
    if (final_byte == '~') {
        int n = 0;
        for (size_t i = 2; i < seen_.size() && seen_[i] >= '0' && seen_[i] <= '9'; ++i) {
            n = std::min(n * 10 + (seen_[i] - '0'), 1000);  // long numbers name no key
        }
        scan = scan_for_tilde(n);
    } else if (final_byte == 'K') {
        scan = kScanEnd;  // ANSI-BBS terminals send ESC [ K for End
    } else if (final_byte == '@') {
        scan = kScanInsert;  // and ESC [ @ for Insert
    } else {
        scan = scan_for_letter(final_byte);  // modifiers (ESC [ 1 ; 5 A) do not matter
    }
    if (scan != 0) extended(scan, out);
    state_ = State::kGround;
    seen_.clear();
}

void KeyDecoder::feed(unsigned char byte, std::vector<OdInputEvent>& out) {
    switch (state_) {
        case State::kGround:
            if (byte == kEsc) {
                state_ = State::kEscape;
                seen_.assign(1, static_cast<char>(byte));
            } else {
                character(byte, out);
            }
            return;
        case State::kEscape:
            if (byte == '[') {
                state_ = State::kCsi;
                seen_.push_back('[');
            } else if (byte == 'O') {
                state_ = State::kSs3;
            } else if (scan_for_letter(byte) != 0 && byte != 'F') {
                extended(scan_for_letter(byte), out);  // VT52: ESC A .. ESC D, ESC H
                state_ = State::kGround;
                seen_.clear();
            } else {
                character(kEsc, out);  // Escape typed on its own, then another key
                state_ = State::kGround;
                seen_.clear();
                feed(byte, out);
            }
            return;
        case State::kCsi:
            if (seen_.size() == 2 && byte == '[') {
                state_ = State::kCsiBracket;  // Linux console F1..F5: ESC [ [ x
            } else if (byte >= 0x40 && byte <= 0x7E) {
                finish_csi(byte, out);
            } else if (byte < 0x20 || seen_.size() >= kLongestSequence) {
                state_ = State::kGround;  // broken sequence: drop it, keep the control byte
                seen_.clear();
                feed(byte, out);
            } else {
                seen_.push_back(static_cast<char>(byte));
            }
            return;
        case State::kCsiBracket:
            state_ = State::kGround;
            seen_.clear();
            return;
        case State::kSs3:
            if (scan_for_letter(byte) != 0) extended(scan_for_letter(byte), out);
            state_ = State::kGround;  // SS3 function and keypad keys are not ours
            seen_.clear();
            return;
    }
}

void KeyDecoder::flush(std::vector<OdInputEvent>& out) {
    if (state_ == State::kSs3) seen_.push_back('O');
    if (state_ == State::kCsiBracket) seen_.push_back('[');
    for (char c : seen_) character(static_cast<unsigned char>(c), out);
    seen_.clear();
    state_ = State::kGround;
}

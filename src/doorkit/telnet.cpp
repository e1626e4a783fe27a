// Telnet receive filter and send-side escaping.
#include "doorkit/telnet.h"

namespace {
constexpr int kLongestSubnegotiation = 512;
}

int InputFilter::data(unsigned char byte) {
    if (telnet_ && byte == kTelnetIac) {
        state_ = State::kIac;
        return -1;
    }
    if (byte == 0) {
        state_ = State::kData;
        return -1;
    }
    state_ = byte == '\r' ? State::kAfterCr : State::kData;
    return byte;
}

int InputFilter::feed(unsigned char byte) {
    switch (state_) {
        case State::kData:
            return data(byte);
        case State::kAfterCr:
            if (byte == '\n' || byte == 0) {
                state_ = State::kData;
                return -1;
            }
            return data(byte);
        case State::kIac:
            state_ = State::kData;
            if (byte == kTelnetIac) return kTelnetIac;
            if (byte >= kTelnetWill && byte <= kTelnetDont) state_ = State::kOption;
            if (byte == kTelnetSb) {
                state_ = State::kSub;
                sub_length_ = 0;
            }
            return -1;  // any other command (NOP, GA, AYT, ...) carries no data
        case State::kOption:
            state_ = State::kData;
            return -1;
        case State::kSub:
            // A subnegotiation that never ends must not swallow the caller's keys for good.
            if (++sub_length_ > kLongestSubnegotiation) return data(byte);
            if (byte == kTelnetIac) state_ = State::kSubIac;
            return -1;
        case State::kSubIac:
            state_ = byte == kTelnetSe ? State::kData : State::kSub;
            return -1;
    }
    return -1;
}

void telnet_escape(std::string_view bytes, std::string& out) {
    for (char c : bytes) {
        out.push_back(c);
        if (static_cast<unsigned char>(c) == kTelnetIac) out.push_back(c);
    }
}

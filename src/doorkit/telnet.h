// Telnet on the caller's socket: the receive-side filter that keeps commands and subnegotiations
// away from the game, and the send-side doubling of 0xFF.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

constexpr unsigned char kTelnetIac = 255, kTelnetDont = 254, kTelnetDo = 253, kTelnetWont = 252,
                        kTelnetWill = 251, kTelnetSb = 250, kTelnetSe = 240;
constexpr unsigned char kTelnetOptEcho = 1, kTelnetOptSuppressGoAhead = 3;

// Negotiation sent when a telnet session starts: we echo, and we never send go-ahead.
constexpr char kTelnetGreeting[] = "\xFF\xFB\x01\xFF\xFB\x03";

// Turns received bytes into data bytes. With telnet on, commands (IAC x, IAC WILL/WONT/DO/DONT
// opt) and subnegotiations (IAC SB ... IAC SE) vanish and IAC IAC is the data byte 0xFF. In every
// mode NUL is dropped and CR LF / CR NUL become a single CR, so Enter is one key.
class InputFilter {
  public:
    explicit InputFilter(bool telnet = false) : telnet_(telnet) {}
    // Returns the data byte for one received byte, or -1 when the byte carries no data.
    int feed(unsigned char byte);

  private:
    enum class State { kData, kAfterCr, kIac, kOption, kSub, kSubIac };
    int data(unsigned char byte);
    bool telnet_;
    State state_ = State::kData;
    int sub_length_ = 0;  // bytes of the current subnegotiation
};

// Appends bytes to out with every 0xFF doubled (telnet data).
void telnet_escape(std::string_view bytes, std::string& out);

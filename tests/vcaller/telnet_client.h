// The caller's side of telnet: what the door sends, with commands and subnegotiations removed
// and IAC IAC turned back into 0xFF.
#pragma once

#include <string>
#include <string_view>

class TelnetReceiver {
  public:
    // Appends the data bytes of chunk to out; commands are counted in commands().
    void feed(std::string_view chunk, std::string& out);
    int commands() const { return commands_; }

  private:
    int state_ = 0;  // 0 data, 1 after IAC, 2 option byte, 3 subnegotiation, 4 IAC inside it
    int commands_ = 0;
};

// Caller-side telnet decoding for the virtual caller.
#include "telnet_client.h"

void TelnetReceiver::feed(std::string_view chunk, std::string& out) {
    for (char c : chunk) {
        auto b = static_cast<unsigned char>(c);
        switch (state_) {
            case 0:
                if (b == 255)
                    state_ = 1;
                else
                    out.push_back(c);
                break;
            case 1:
                if (b == 255) {
                    out.push_back(c);
                    state_ = 0;
                    break;
                }
                ++commands_;
                state_ = b >= 251 ? 2 : b == 250 ? 3 : 0;
                break;
            case 2:
                state_ = 0;
                break;
            case 3:
                if (b == 255) state_ = 4;
                break;
            case 4:
                state_ = b == 240 ? 0 : 3;
                break;
        }
    }
}

// Line input at its buffer limit: term_input_line into small buffers, and term_input_string
// into its 81 bytes, over the door kit attached to a socketpair as in a remote session. Every
// answer read must fit its buffer, stay terminated and hold typed text or a condition token.
//
// Input: byte 0 picks the function (bit 0), telnet (bit 1) and the minutes left (bits 2-4,
// 0 to 7: none left, the warning, or plenty); byte 1 sets the buffer size (14 to 64 bytes); the
// rest is what the caller types. The session ends by inactivity once everything is read.
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <memory>

#include "doorkit/opendoors.h"
#include "fuzz_common.h"
#include "session/terminal.h"

namespace {

constexpr int kStringBytes = 81;  // term_input_string's buffer

bool is_token(const char* text) {
    for (const char* token : {kTokenNoCarrier, kTokenNotActive, kTokenTimeWarning, kTokenTimeout}) {
        if (std::strcmp(text, token) == 0) return true;
    }
    return false;
}

// Typed text: no control characters, nothing a condition key could leave.
bool is_typed_text(const char* text) {
    for (const char* p = text; *p != '\0'; ++p) {
        const auto byte = static_cast<unsigned char>(*p);
        if (byte < 32 || byte == 127 || byte >= kOdTimeUp) return false;
    }
    return true;
}

const char* token_for(int code) {
    switch (code) {
        case kKeyNoCarrier:
            return kTokenNoCarrier;
        case kKeyInactive:
            return kTokenNotActive;
        case kKeyTimeWarning:
            return kTokenTimeWarning;
        case kKeyTimeUp:
            return kTokenTimeout;
        default:
            return nullptr;
    }
}

void read_lines(int capacity, size_t typed) {
    // A heap buffer of exactly the size given, so that AddressSanitizer sees any byte past it.
    std::unique_ptr<char[]> buffer(new char[static_cast<size_t>(capacity)]);
    for (size_t line = 0; line <= typed + 2; ++line) {
        std::memset(buffer.get(), 'x', static_cast<size_t>(capacity));
        const int code = term_input_line(buffer.get(), capacity);
        FUZZ_CHECK(strnlen(buffer.get(), static_cast<size_t>(capacity)) <
                   static_cast<size_t>(capacity));
        if (code == '\r' || code == '\n') {
            FUZZ_CHECK(is_typed_text(buffer.get()));
            continue;
        }
        const char* token = token_for(code);
        FUZZ_CHECK(token != nullptr);
        FUZZ_CHECK(std::strcmp(buffer.get(), token) == 0);
        if (code != kKeyTimeWarning) return;
    }
    FUZZ_CHECK(!"input never ended");
}

void read_strings(size_t typed) {
    std::unique_ptr<char[]> buffer(new char[kStringBytes]);
    for (size_t line = 0; line <= typed + 2; ++line) {
        std::memset(buffer.get(), 'x', kStringBytes);
        term_input_string(buffer.get());
        FUZZ_CHECK(strnlen(buffer.get(), kStringBytes) < kStringBytes);
        if (!is_token(buffer.get())) {
            FUZZ_CHECK(is_typed_text(buffer.get()));
            continue;
        }
        if (std::strcmp(buffer.get(), kTokenTimeWarning) != 0) return;
    }
    FUZZ_CHECK(!"input never ended");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2 || size > 4000) return 0;  // the keys must fit one read of the kit
    const bool strings = (data[0] & 1) != 0;
    const bool telnet = (data[0] & 2) != 0;
    const int capacity = kTokenRoom + data[1] % 51;
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) return 0;
    const size_t typed = size - 2;
    if (typed > 0 && write(fds[1], data + 2, typed) != static_cast<ssize_t>(typed)) {
        close(fds[0]);
        close(fds[1]);
        return 0;
    }
    od_control.user_timelimit = (data[0] >> 2) % 8;
    od_set_skip_pauses(true);
    od_set_inactivity_ms(1);
    term_forget_pending_key();
    od_attach(fds[0], fds[0], telnet);
    if (strings)
        read_strings(typed);
    else
        read_lines(capacity, typed);
    od_detach();
    close(fds[0]);
    close(fds[1]);
    return 0;
}

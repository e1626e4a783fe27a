// The telnet receive filter and the key decoder, alone and inside the door kit, with the input
// cut into pieces that reach the kit in reads of their own.
//
// Input: byte 0 bit 0 turns telnet on; byte 1 sets the largest piece (1 to 64 bytes) and seeds
// the piece lengths; the rest is what the caller's terminal sends.
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <vector>

#include "doorkit/keys.h"
#include "doorkit/opendoors.h"
#include "doorkit/telnet.h"
#include "fuzz_common.h"

namespace {

constexpr unsigned char kKnownScans[] = {kScanUp,  kScanDown, kScanLeft, kScanRight,  kScanHome,
                                         kScanEnd, kScanPgUp, kScanPgDn, kScanInsert, kScanDelete};

bool known_scan(unsigned char scan) {
    for (unsigned char known : kKnownScans) {
        if (scan == known) return true;
    }
    return false;
}

bool same(const OdInputEvent& a, const OdInputEvent& b) {
    return a.event_type == b.event_type && a.key_press == b.key_press;
}

// What the game may receive from the decoder: typed bytes, or extended keys it knows.
void check_decoded(const std::vector<OdInputEvent>& events) {
    for (const OdInputEvent& e : events) {
        FUZZ_CHECK(e.event_type == kEventCharacter || e.event_type == kEventExtendedKey);
        if (e.event_type == kEventExtendedKey) FUZZ_CHECK(known_scan(e.key_press));
    }
}

// The events the kit should hand out for the stream, by the filter and decoder alone: typed
// 0xFF becomes a space and 0xFC to 0xFE vanish, so no typed byte looks like a condition.
std::vector<OdInputEvent> expected_events(bool telnet, const uint8_t* data, size_t size) {
    InputFilter filter(telnet);
    KeyDecoder decoder;
    std::vector<OdInputEvent> decoded;
    for (size_t i = 0; i < size; ++i) {
        const int byte = filter.feed(data[i]);
        FUZZ_CHECK(byte >= -1 && byte <= 255);
        if (!telnet) FUZZ_CHECK(byte != -1 || data[i] == 0 || data[i] == '\n');
        if (byte >= 0) decoder.feed(static_cast<unsigned char>(byte), decoded);
    }
    check_decoded(decoded);
    // An unfinished sequence given up on (the kit does so only while one is pending) comes
    // back as the plain bytes it held, ESC first.
    if (decoder.pending()) {
        KeyDecoder copy = decoder;
        std::vector<OdInputEvent> flushed;
        copy.flush(flushed);
        FUZZ_CHECK(!copy.pending());
        FUZZ_CHECK(!flushed.empty() && flushed[0].key_press == 27);
        for (const OdInputEvent& e : flushed) FUZZ_CHECK(e.event_type == kEventCharacter);
    }

    std::vector<OdInputEvent> out;
    for (const OdInputEvent& e : decoded) {
        if (e.event_type == kEventCharacter && e.key_press >= kOdTimeUp) {
            if (e.key_press == 0xFF) out.push_back({kEventCharacter, ' '});
        } else {
            out.push_back(e);
        }
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const bool telnet = (data[0] & 1) != 0;
    const unsigned largest = data[1] % 64 + 1;
    uint32_t seed = data[1] * 2654435761u;
    data += 2;
    size -= 2;
    const std::vector<OdInputEvent> expected = expected_events(telnet, data, size);

    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) return 0;
    od_control.user_timelimit = 600;
    od_control.od_inactivity = 0;
    od_set_inactivity_ms(0);
    od_attach(fds[0], fds[0], telnet);

    const auto started = std::chrono::steady_clock::now();
    std::vector<OdInputEvent> received;
    for (size_t at = 0; at < size;) {
        seed = seed * 1103515245u + 12345u;
        const size_t piece = std::min<size_t>(size - at, (seed >> 16) % largest + 1);
        if (write(fds[1], data + at, piece) != static_cast<ssize_t>(piece)) break;
        at += piece;
        OdInputEvent event;
        while (od_get_input(&event, 0, 2)) received.push_back(event);
    }
    const auto elapsed = std::chrono::steady_clock::now() - started;
    od_detach();
    close(fds[0]);
    close(fds[1]);

    check_decoded(received);
    for (const OdInputEvent& e : received) {
        // No typed byte reaches the game as carrier loss or a time or inactivity condition.
        FUZZ_CHECK(e.event_type != kEventCharacter || e.key_press < kOdTimeUp);
    }
    // Pieces decode as the whole stream does. Only an unfinished sequence left waiting longer
    // than the Escape wait may come out differently, so slow runs skip the comparison.
    if (elapsed < std::chrono::milliseconds(kEscapeWaitMs - 50)) {
        FUZZ_CHECK(received.size() == expected.size());
        for (size_t i = 0; i < received.size(); ++i) FUZZ_CHECK(same(received[i], expected[i]));
    }
    return 0;
}

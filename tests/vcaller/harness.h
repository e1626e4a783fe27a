// DoorHarness: runs the door kit in the test's own process as a remote session over a socketpair,
// with pauses off and a one-second inactivity time-out, and shows the output on a VirtualScreen.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "screen.h"
#include "telnet_client.h"

class DoorHarness {
  public:
    static constexpr int kInactivityMs = 1000;

    // telnet: the kit treats the connection as a telnet socket (greeting, IAC doubling).
    explicit DoorHarness(bool telnet = false);
    ~DoorHarness();
    DoorHarness(const DoorHarness&) = delete;
    DoorHarness& operator=(const DoorHarness&) = delete;

    // Queues keys for the kit to read (bytes as the caller's terminal sends them).
    void type(std::string_view keys);
    // Flushes the kit and feeds everything it has sent so far into the screen.
    void sync();
    VirtualScreen& screen() { return screen_; }
    // Raw bytes the kit sent since the last call (telnet included), after a sync.
    std::string take_output();
    // The caller hangs up: the kit sees end of stream on reads and EPIPE on writes.
    void hang_up();
    // The lock the reader thread takes around its allocations (held across fork).
    std::mutex& fork_mutex() { return mutex_; }

  private:
    void read_loop();

    int kit_fd_ = -1;
    int caller_fd_ = -1;
    bool telnet_;
    uint64_t sent_base_;
    std::thread reader_;
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::string received_;  // everything read from the kit
    bool closed_ = false;   // the reader saw end of stream
    size_t fed_ = 0;        // bytes of received_ already on the screen
    size_t taken_ = 0;      // bytes of received_ already handed out by take_output
    TelnetReceiver receiver_;
    VirtualScreen screen_;
};

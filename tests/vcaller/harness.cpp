// In-process door sessions over a socketpair.
#include "harness.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "doorkit/opendoors.h"
#include "session/terminal.h"

namespace {

// Death tests fork while the reader thread runs. Holding its mutex across the fork keeps that
// thread out of the allocator at the moment of forking, so the child never inherits a taken lock.
DoorHarness* g_forking_harness = nullptr;

void lock_for_fork() {
    if (g_forking_harness != nullptr) g_forking_harness->fork_mutex().lock();
}
void unlock_after_fork() {
    if (g_forking_harness != nullptr) g_forking_harness->fork_mutex().unlock();
}

}  // namespace

DoorHarness::DoorHarness(bool telnet) : telnet_(telnet), sent_base_(od_bytes_sent()) {
    static const bool registered =
        pthread_atfork(lock_for_fork, unlock_after_fork, unlock_after_fork) == 0;
    (void)registered;
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) {
        ADD_FAILURE() << "socketpair: " << std::strerror(errno);
        return;
    }
    kit_fd_ = fds[0];
    caller_fd_ = fds[1];
    std::snprintf(od_control.user_name, sizeof od_control.user_name, "%s", "Test Caller");
    od_control.user_security = 10;
    od_control.user_timelimit = 60;
    od_set_skip_pauses(true);
    od_set_inactivity_ms(kInactivityMs);
    term_forget_pending_key();
    od_attach(kit_fd_, kit_fd_, telnet);
    reader_ = std::thread([this] { read_loop(); });
    g_forking_harness = this;
}

DoorHarness::~DoorHarness() {
    if (g_forking_harness == this) g_forking_harness = nullptr;
    od_detach();
    od_set_inactivity_ms(0);
    if (caller_fd_ >= 0) shutdown(caller_fd_, SHUT_RDWR);
    if (reader_.joinable()) reader_.join();
    if (kit_fd_ >= 0) close(kit_fd_);
    if (caller_fd_ >= 0) close(caller_fd_);
}

void DoorHarness::read_loop() {
    char buffer[4096];
    for (;;) {
        ssize_t n = read(caller_fd_, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        std::lock_guard<std::mutex> lock(mutex_);
        if (n <= 0) {
            closed_ = true;
            arrived_.notify_all();
            return;
        }
        received_.append(buffer, static_cast<size_t>(n));
        arrived_.notify_all();
    }
}

void DoorHarness::type(std::string_view keys) {
    while (!keys.empty()) {
        ssize_t n = send(caller_fd_, keys.data(), keys.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;  // hung up
        keys.remove_prefix(static_cast<size_t>(n));
    }
}

void DoorHarness::sync() {
    od_flush();
    const uint64_t expected = od_bytes_sent() - sent_base_;
    std::unique_lock<std::mutex> lock(mutex_);
    bool done = arrived_.wait_for(lock, std::chrono::seconds(5),
                                  [&] { return closed_ || received_.size() >= expected; });
    if (!done) {
        ADD_FAILURE() << "the kit sent " << expected << " bytes, only " << received_.size()
                      << " arrived";
    }
    std::string_view fresh = std::string_view(received_).substr(fed_);
    std::string data;
    if (telnet_)
        receiver_.feed(fresh, data);
    else
        data.assign(fresh);
    fed_ = received_.size();
    lock.unlock();
    screen_.feed(data);
}

std::string DoorHarness::take_output() {
    sync();
    std::lock_guard<std::mutex> lock(mutex_);
    std::string out = received_.substr(taken_);
    taken_ = received_.size();
    return out;
}

void DoorHarness::hang_up() {
    sync();
    shutdown(caller_fd_, SHUT_RDWR);
}

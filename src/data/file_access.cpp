// Locked opens shared by every file of the game, and the error log quonda.err.
#include "data/file_access.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <ctime>
#include <string>

#include "data/session_state.h"

namespace {

struct ModeInfo {
    int mode;
    int access;               // open() flags
    const char* stream_mode;  // fdopen() mode without "b"
    bool truncate;            // emptied once the locks are held
};

// Truncation happens after locking rather than through O_TRUNC, so that a writer never empties
// a file that another process is still reading.
constexpr ModeInfo kModes[] = {
    {kModeRead, O_RDONLY, "r", false},
    {kModeWrite, O_RDWR, "w+", true},
    {kModeAppend, O_RDWR | O_APPEND, "a+", false},
    {kModeUpdate, O_RDWR, "r+", false},
};

constexpr int kFirstPauseMs = 1;
constexpr int kLongestPauseMs = 20;

std::atomic<int> g_lock_wait_limit_ms{kLockWaitLimitMs};
std::atomic<long> g_lock_waits{0};
ErrorDisplay g_display;

const ModeInfo* find_mode(int mode) {
    for (const ModeInfo& info : kModes) {
        if (info.mode == mode) return &info;
    }
    return nullptr;
}

long monotonic_ms() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000L + now.tv_nsec / 1000000L;
}

void pause_ms(int milliseconds) {
    timespec pause{milliseconds / 1000, (milliseconds % 1000) * 1000000L};
    while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
}

bool is_conflict(int error) {
    return error == EWOULDBLOCK || error == EAGAIN || error == EACCES;
}

// Outcome of one attempt to open and lock the file.
enum class Attempt { kLocked, kOpenFailed, kHeld, kLockFailed };

// One attempt: open, refuse directories, take both locks without waiting, and make sure the
// path still names the file we locked (the player-file pass renames a new file over the old).
// On kLocked fd is the locked descriptor; otherwise it is closed and error says why.
Attempt attempt_open(const char* path, const ModeInfo& info, bool create, int& fd, int& error) {
    fd = open(path, info.access | (create ? O_CREAT : 0), 0600);
    if (fd < 0) {
        error = errno;
        return Attempt::kOpenFailed;
    }
    struct stat opened {};
    if (fstat(fd, &opened) == 0 && S_ISDIR(opened.st_mode)) {
        close(fd);
        error = EISDIR;
        return Attempt::kOpenFailed;
    }

    const bool writing = info.mode != kModeRead;
    const bool flock_ok = flock(fd, LOCK_EX | LOCK_NB) == 0;
    const int flock_error = flock_ok ? 0 : errno;
    // A read-only descriptor cannot hold a write lock: a reader's request fails with EBADF and
    // the reader relies on its flock lock alone. Writers need both locks.
    struct flock whole_file {};
    whole_file.l_type = F_WRLCK;
    whole_file.l_whence = SEEK_SET;
    const bool fcntl_ok = fcntl(fd, F_SETLK, &whole_file) == 0;
    const int fcntl_error = fcntl_ok ? 0 : errno;

    bool locked = flock_ok;
    if (writing && !fcntl_ok && is_conflict(fcntl_error)) locked = false;
    if (!locked) {
        close(fd);
        if ((!flock_ok && is_conflict(flock_error)) || (writing && is_conflict(fcntl_error))) {
            return Attempt::kHeld;
        }
        error = flock_ok ? fcntl_error : flock_error;
        return Attempt::kLockFailed;
    }

    struct stat named {};
    if (stat(path, &named) != 0 || named.st_ino != opened.st_ino || named.st_dev != opened.st_dev) {
        close(fd);
        return Attempt::kHeld;  // replaced while we waited: open the new file
    }
    if (info.truncate && ftruncate(fd, 0) != 0) {
        error = errno;
        close(fd);
        return Attempt::kLockFailed;
    }
    return Attempt::kLocked;
}

}  // namespace

int open_locked(FileHandle& handle, int mode, bool binary, bool may_create) {
    const ModeInfo* info = find_mode(mode);
    if (info == nullptr) return kOpenBadPath;
    char stream_mode[4] = "";
    std::snprintf(stream_mode, sizeof stream_mode, "%s%s", info->stream_mode, binary ? "b" : "");

    handle.state = -3;
    bool create = false;
    int uncounted = 0;
    int pause = kFirstPauseMs;
    bool waiting = false;
    long wait_started = 0;
    int fd = -1;
    for (;;) {
        int error = 0;
        const Attempt attempt = attempt_open(handle.path, *info, create, fd, error);
        if (attempt == Attempt::kLocked) break;

        if (attempt == Attempt::kHeld) {
            // Another process holds the file: wait for it, sleeping, up to the limit.
            if (!waiting) {
                waiting = true;
                wait_started = monotonic_ms();
                g_lock_waits.fetch_add(1);
            } else if (monotonic_ms() - wait_started >= g_lock_wait_limit_ms.load()) {
                handle.state = 0;
                return kOpenLockTimeout;
            }
        } else if (error == EINTR || error == EACCES || error == EAGAIN) {
            if (++handle.state >= 0) {
                handle.state = 0;
                return kOpenAttemptsOut;
            }
            continue;  // counted attempts follow each other at once
        } else if (error == ENOENT) {
            if (!may_create || create) {
                handle.state = 0;
                return kOpenMissing;
            }
            create = true;
            --handle.state;
            continue;
        } else if (error == EEXIST) {
            handle.state = 0;
            return kOpenExists;
        } else if (error == ENFILE || error == EMFILE) {
            handle.state = 0;
            return kOpenTooManyFiles;
        } else if (++uncounted >= kUncountedErrorLimit) {
            handle.state = 0;
            return kOpenBadPath;
        }
        pause_ms(pause);
        pause = pause * 2 < kLongestPauseMs ? pause * 2 : kLongestPauseMs;
    }

    handle.state = mode + 1;
    handle.binary = binary ? 1 : 0;
    handle.stream = fdopen(fd, stream_mode);
    if (handle.stream == nullptr) {
        close(fd);
        handle.state = 0;
        return kOpenNoStream;
    }
    handle.fd = fd;
    return kOpenOk;
}

void close_locked(FileHandle& handle) {
    if (handle.state == 0) return;
    if (handle.stream != nullptr) {
        std::fclose(handle.stream);
    } else if (handle.fd >= 0) {
        close(handle.fd);
    }
    handle.fd = -1;
    handle.stream = nullptr;
    handle.state = 0;
}

long current_offset(int fd) {
    return static_cast<long>(lseek(fd, 0, SEEK_CUR));
}

void set_lock_wait_limit(int milliseconds) {
    g_lock_wait_limit_ms.store(milliseconds > 0 ? milliseconds : kLockWaitLimitMs);
}

long lock_wait_count() {
    return g_lock_waits.load();
}

void set_error_display(const ErrorDisplay& display) {
    g_display = display;
}

int log_error(bool show, const char* format, ...) {
    // Formats into a stack buffer, or a heap one for the rare longer message.
    char small[512];
    std::string large;
    const char* message = small;
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(small, sizeof small, format, args);
    if (length >= static_cast<int>(sizeof small)) {
        large.resize(static_cast<size_t>(length) + 1);
        std::vsnprintf(large.data(), large.size(), format, again);
        message = large.c_str();
    } else if (length < 0) {
        small[0] = '\0';
    }
    va_end(again);
    va_end(args);

    if (show) {
        if (g_display.show != nullptr) g_display.show(message);
        if (g_display.pause != nullptr) g_display.pause(5);
    } else if (g_display.is_remote != nullptr && g_display.is_remote()) {
        if (g_display.pause != nullptr) g_display.pause(5);
    }

    FileHandle log;
    std::snprintf(log.path, sizeof log.path, "%s", "quonda.err");
    if (open_locked(log, kModeAppend, false, true) != kOpenOk) return 0;
    std::fprintf(log.stream, "%.*s   %.*s\n", static_cast<int>(strnlen(g_session.today, kDateSize)),
                 g_session.today, static_cast<int>(strnlen(g_session.player.name, kNameSize)),
                 g_session.player.name);
    std::fputs(message, log.stream);
    close_locked(log);
    return 0;
}

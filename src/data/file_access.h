// Locked opening of every file the game touches, and the error log quonda.err.
#pragma once

#include <cstdio>

// Open modes.
constexpr int kModeRead = 1;
constexpr int kModeWrite = 2;  // truncating
constexpr int kModeAppend = 8;
constexpr int kModeUpdate = 10;

// Results of open_locked.
constexpr int kOpenOk = 0;
constexpr int kOpenExists = -1;        // EEXIST
constexpr int kOpenTooManyFiles = -2;  // ENFILE, EMFILE
constexpr int kOpenMissing = -3;       // missing and may not be created
constexpr int kOpenNoStream = -4;      // the stream could not be attached
constexpr int kOpenAttemptsOut = -5;   // three counted failures (EACCES, EAGAIN, EINTR)
constexpr int kOpenBadPath = -6;       // an uncounted error kept recurring (a directory, EIO...)
constexpr int kOpenLockTimeout = -7;   // another process held the file beyond the wait limit

// How long an open waits for a file that another process holds before it gives up.
constexpr int kLockWaitLimitMs = 60000;
// How many times an uncounted error may recur before the open gives up with kOpenBadPath.
constexpr int kUncountedErrorLimit = 10;

struct FileHandle {
    char path[80] = "";           // file name, filled in by the caller before opening
    int fd = -1;                  // descriptor; -1 when closed
    std::FILE* stream = nullptr;  // buffered stream on fd
    int state = 0;                // 0 closed; retry counter while opening; mode + 1 once open
    int binary = 0;               // 1 when opened in binary mode
};

// Opens and locks the file named in handle.path. Every mode locks the file exclusively, so
// readers and writers of one file follow each other; an open waits (sleeping) while another
// process holds the file, for at most the wait limit. Returns one of the kOpen results.
[[nodiscard]] int open_locked(FileHandle& handle, int mode, bool binary, bool may_create);
// Closes the stream and releases the locks; harmless on a closed handle.
void close_locked(FileHandle& handle);
// The descriptor's current file position.
long current_offset(int fd);

// Changes the lock wait limit (milliseconds; 0 or less restores kLockWaitLimitMs).
void set_lock_wait_limit(int milliseconds);
// Times this process has found a file held by another process and waited (for diagnostics).
long lock_wait_count();

// Reports one problem: optionally on the message row with a pause, then appended to quonda.err.
int log_error(bool show, const char* format, ...) __attribute__((format(printf, 2, 3)));

// The terminal side of log_error, installed by the session layer (the data layer draws nothing).
struct ErrorDisplay {
    void (*show)(const char* text) = nullptr;  // put text on the message row
    void (*pause)(int seconds) = nullptr;      // wait, flushing output first
    bool (*is_remote)() = nullptr;             // remote session?
};
void set_error_display(const ErrorDisplay& display);

// Locked opening of every file the game touches, and the error log quonda.err.
#pragma once

#include <cstdio>

// Open modes.
constexpr int kModeRead = 1;
constexpr int kModeWrite = 2;   // truncating
constexpr int kModeAppend = 8;
constexpr int kModeUpdate = 10;

struct FileHandle {
    char path[80] = "";          // file name, filled in by the caller before opening
    int fd = -1;                 // descriptor; -1 when closed
    std::FILE* stream = nullptr; // buffered stream on fd
    int state = 0;               // 0 closed; retry counter while opening; mode + 1 once open
    int binary = 0;              // 1 when opened in binary mode
};

// Opens and locks the file named in handle.path. Returns 0 when open and locked; -1 EEXIST,
// -2 too many open files, -3 missing and may not be created, -4 stream attach failed,
// -5 attempts ran out (see file_access.cpp for the bound on uncounted errors).
[[nodiscard]] int open_locked(FileHandle& handle, int mode, bool binary, bool may_create);
// Closes the stream and releases the locks; harmless on a closed handle.
void close_locked(FileHandle& handle);
// The descriptor's current file position.
long current_offset(int fd);

// Reports one problem: optionally on the message row with a pause, then appended to quonda.err.
int log_error(bool show, const char* format, ...) __attribute__((format(printf, 2, 3)));

// The terminal side of log_error, installed by the session layer (the data layer draws nothing).
struct ErrorDisplay {
    void (*show)(const char* text) = nullptr;  // put text on the message row
    void (*pause)(int seconds) = nullptr;      // wait, flushing output first
    bool (*is_remote)() = nullptr;             // remote session?
};
void set_error_display(const ErrorDisplay& display);

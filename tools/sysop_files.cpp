// Helpers the sysop tool's commands share: locked whole-file reads, text fields, backups.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "data/dates.h"
#include "data/file_access.h"
#include "data/records.h"
#include "doorkit/console.h"
#include "sysop.h"

bool read_all(int fd, std::string& bytes) {
    bytes.clear();
    if (lseek(fd, 0, SEEK_SET) != 0) return false;
    char block[1 << 16];
    for (;;) {
        const ssize_t moved = read(fd, block, sizeof block);
        if (moved == 0) return true;
        if (moved < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.append(block, static_cast<size_t>(moved));
    }
}

namespace {

// Opens path for reading under its lock and reads it; the handle stays open (and locked).
FileBytes open_and_read(FileHandle& handle, const char* path) {
    FileBytes file;
    std::snprintf(handle.path, sizeof handle.path, "%s", path);
    const int opened = open_locked(handle, kModeRead, true, false);
    if (opened == kOpenMissing) return file;
    file.exists = true;
    if (opened != kOpenOk) return file;
    file.readable = read_all(handle.fd, file.bytes);
    return file;
}

}  // namespace

FileBytes read_locked(const char* path) {
    FileHandle handle;
    FileBytes file = open_and_read(handle, path);
    close_locked(handle);
    return file;
}

void read_game_files(FileBytes& market, FileBytes& players) {
    FileHandle market_handle;
    FileHandle player_handle;
    market = open_and_read(market_handle, kMarketFile);
    players = open_and_read(player_handle, kPlayerFile);
    close_locked(player_handle);
    close_locked(market_handle);
}

std::string field_text(const char* field, size_t width) {
    std::string text;
    for (size_t i = 0; i < width && field[i] != '\0'; ++i) {
        const auto byte = static_cast<unsigned char>(field[i]);
        if (byte < 0x20 || byte == 0x7F) {
            text += '?';
        } else if (byte < 0x80) {
            text += static_cast<char>(byte);
        } else {
            text += cp437_utf8(byte);
        }
    }
    return text;
}

const char* text_field_problem(const char* field, size_t width, bool may_be_empty) {
    const size_t length = strnlen(field, width);
    if (length == width) return "has no terminating NUL";
    for (size_t i = 0; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(field[i]);
        if (byte < 0x20 || byte == 0x7F) return "holds a control character";
    }
    if (length == 0 && !may_be_empty) return "is empty";
    return nullptr;
}

bool is_date_text(const char* date) {
    if (strnlen(date, kDateSize) != kDateSize - 1 || day_number(date) < 0) return false;
    auto digit = [date](int i) { return date[i] >= '0' && date[i] <= '9'; };
    if (date[3] != ' ' || date[6] != ' ' || !digit(4) || !digit(5)) return false;
    for (int i = 7; i < kDateSize - 1; ++i) {
        if (!digit(i)) return false;
    }
    const int day = (date[4] - '0') * 10 + (date[5] - '0');
    return day >= 1 && day <= 31;
}

namespace {

// path.YYYYMMDD-HHMMSS.bak, then path.YYYYMMDD-HHMMSS-2.bak and so on.
std::string backup_candidate(const char* path, int attempt) {
    const std::time_t now = clock_now();
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    std::string name = std::string(path) + "." + stamp;
    if (attempt > 1) name += "-" + std::to_string(attempt);
    return name + ".bak";
}

constexpr int kBackupAttempts = 100;

}  // namespace

bool write_backup(const char* path, const std::string& bytes, std::string& name) {
    for (int attempt = 1; attempt <= kBackupAttempts; ++attempt) {
        name = backup_candidate(path, attempt);
        const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
        if (fd < 0 && errno == EEXIST) continue;
        if (fd < 0) return false;
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t moved = write(fd, bytes.data() + done, bytes.size() - done);
            if (moved < 0 && errno == EINTR) continue;
            if (moved <= 0) break;
            done += static_cast<size_t>(moved);
        }
        const bool written = done == bytes.size() && fsync(fd) == 0;
        close(fd);
        if (!written) std::remove(name.c_str());
        return written;
    }
    return false;
}

std::string free_backup_name(const char* path) {
    std::string name;
    for (int attempt = 1; attempt <= kBackupAttempts; ++attempt) {
        name = backup_candidate(path, attempt);
        struct stat info {};
        if (lstat(name.c_str(), &info) != 0 && errno == ENOENT) return name;
    }
    return name;
}

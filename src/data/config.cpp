// Reading quonda.cfg: five lines, one setting each, read in pieces of at most 79 characters.
#include "data/config.h"

#include <cstdio>
#include <cstring>

#include "data/file_access.h"

namespace {

constexpr int kPieceSize = 80;  // read buffer: 79 characters and the NUL
constexpr int kSysopNameWidth = 31;
constexpr int kWideSetting = 79;

// After a piece that filled the buffer without a line feed, swallows the line end that follows
// it (LF or CR LF, or the LF of a CR that ended the piece), so that a line of exactly 79
// characters is one setting whatever its line ends. Anything else is the rest of a longer
// line and stays for the next setting.
void skip_line_end_after_full_piece(std::FILE* stream, const char* piece) {
    const long before = std::ftell(stream);
    const int next = std::fgetc(stream);
    if (next == '\n') return;
    if (piece[kPieceSize - 2] != '\r') {
        if (next == '\r' && std::fgetc(stream) == '\n') return;
    }
    if (before >= 0) {
        std::fseek(stream, before, SEEK_SET);
    } else if (next != EOF) {
        std::ungetc(next, stream);
    }
}

// Copies the characters before the first CR or LF, at most width of them.
void take_value(char* setting, const char* piece, int width) {
    const size_t length = std::strcspn(piece, "\r\n");
    const size_t kept = length < static_cast<size_t>(width) ? length : static_cast<size_t>(width);
    std::memcpy(setting, piece, kept);
    setting[kept] = '\0';
}

}  // namespace

int read_config(Config& config, const char* path) {
    FileHandle file;
    std::snprintf(file.path, sizeof file.path, "%s", path);
    if (open_locked(file, kModeRead, false, false) != kOpenOk) return -2;

    struct Setting {
        char* value;
        int width;
    };
    const Setting settings[] = {
        {config.bbs_name, kWideSetting},        {config.doc_file, kWideSetting},
        {config.bulletin_file, kWideSetting},   {config.sysop_name, kSysopNameWidth},
        {config.editor_password, kWideSetting},
    };
    for (const Setting& setting : settings) {
        char piece[kPieceSize];
        if (std::fgets(piece, sizeof piece, file.stream) == nullptr) {
            close_locked(file);
            return -1;
        }
        if (std::strlen(piece) == kPieceSize - 1 && piece[kPieceSize - 2] != '\n') {
            skip_line_end_after_full_piece(file.stream, piece);
        }
        take_value(setting.value, piece, setting.width);
        if (setting.value == config.sysop_name) {
            const size_t length = std::strlen(config.sysop_name);
            std::memset(config.sysop_name + length, ' ', kSysopNameWidth - length);
            config.sysop_name[kSysopNameWidth] = '\0';
        }
    }
    close_locked(file);
    return 0;
}

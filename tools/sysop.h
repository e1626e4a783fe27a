// bullmoor-sysop, the sysop's companion to the door: the pieces its commands share (exit codes,
// whole files read under their locks, field checks and text, backups) and the commands.
#pragma once

#include <cstddef>
#include <string>

// Exit status of every command (also listed by --help).
constexpr int kExitOk = 0;            // done; check found no damage
constexpr int kExitDamage = 1;        // check found damage (salvaged with --salvage)
constexpr int kExitUsage = 2;         // bad command line
constexpr int kExitFileError = 3;     // a game file could not be read or written
constexpr int kExitNotConfirmed = 4;  // newgame was not confirmed

constexpr const char* kMarketFile = "quonda.dat";
constexpr const char* kPlayerFile = "quonda.plr";

// A whole file, read through the game's locked open.
struct FileBytes {
    bool exists = false;    // false: the file is missing
    bool readable = false;  // it exists and every byte was read
    std::string bytes;
};
FileBytes read_locked(const char* path);
// Both data files, read while both are locked (quonda.dat first, the order the game takes them
// in), so that a session ending or a market day meanwhile is seen whole or not at all.
void read_game_files(FileBytes& market, FileBytes& players);
// Reads every byte from an open descriptor at its start; false on a read error.
bool read_all(int fd, std::string& bytes);

// A fixed-width text field up to its NUL (the whole width when there is none), CP437 shown as
// UTF-8 and control characters as '?'.
std::string field_text(const char* field, size_t width);
// What is wrong with a fixed-width text field, or nullptr: no NUL within its width, a control
// character before the NUL, or (unless may_be_empty) nothing before it.
const char* text_field_problem(const char* field, size_t width, bool may_be_empty);
// A date text as the game writes it: "Mmm dd yyyy" and NUL, English month, day 1 to 31.
bool is_date_text(const char* date);

// Writes bytes to a new file next to path named path.YYYYMMDD-HHMMSS.bak (owner-only; a
// number is added when that name is taken) and fills name; false when it cannot be written.
bool write_backup(const char* path, const std::string& bytes, std::string& name);
// A name of that form for renaming path itself to (nothing is created).
std::string free_backup_name(const char* path);

// The commands; each returns the exit status.
int run_check(bool salvage);
int run_show(bool json);

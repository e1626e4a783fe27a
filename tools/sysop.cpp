// bullmoor-sysop: the sysop's companion to the Bullmoor door. Runs the new market day for the
// BBS's nightly event, rewrites the bulletin, checks and salvages the data files, shows them as
// text or JSON and starts a new game. Works in the game's directory under the game's own locks
// and never talks to a caller: it has no part in the door kit's connection.
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "data/config.h"
#include "data/dates.h"
#include "data/file_access.h"
#include "data/session_state.h"
#include "session/session.h"
#include "session/shared_files.h"
#include "sysop.h"

int run_newday();  // sysop_newday.cpp

namespace {

constexpr const char* kUsage = "Usage: bullmoor-sysop [--dir DIR] COMMAND [OPTION]\n";

constexpr const char* kHelp =
    "Usage: bullmoor-sysop [--dir DIR] COMMAND [OPTION]\n"
    "\n"
    "The sysop's companion to the Bullmoor door. Run it in the game's directory, or name that\n"
    "directory with --dir. It takes the same file locks as the door, so it may run while\n"
    "callers play, and it never talks to a caller.\n"
    "\n"
    "Commands:\n"
    "  newday            Run today's market day now, exactly as the first caller of the day\n"
    "                    would: daily market update, market saved, player-file pass. Does\n"
    "                    nothing when the market is already today's. For the nightly event,\n"
    "                    so that the first caller of the day does not wait.\n"
    "  bulletin          Rewrite the top-10 bulletin (the file named on line 3 of quonda.cfg).\n"
    "  check             Check quonda.dat and quonda.plr: sizes, whole records, names, dates,\n"
    "                    values in range, and units held plus available against units issued.\n"
    "                    Each problem is reported in plain words.\n"
    "  check --salvage   After the check, write fresh files holding the whole, sound records\n"
    "                    (a damaged company is rebuilt from its default); each old file is\n"
    "                    kept as FILE.YYYYMMDD-HHMMSS.bak.\n"
    "  show              Print the market and the players.\n"
    "  show --json       The same as one JSON document.\n"
    "  newgame           Start a new game: quonda.dat and quonda.plr are moved to\n"
    "                    FILE.YYYYMMDD-HHMMSS.bak, the next caller finds a fresh exchange.\n"
    "                    Asks for confirmation first; nobody should be playing.\n"
    "  newgame --yes     The same without asking, for scripts.\n"
    "  --help            This text.\n"
    "\n"
    "Exit status:\n"
    "  0  done; for check: no damage found\n"
    "  1  check found damage (with --salvage: found, and the sound records kept)\n"
    "  2  bad command line\n"
    "  3  a game file could not be read or written\n"
    "  4  newgame was not confirmed; nothing changed\n";

// Scratch copies of replaced files, left behind only by a crash.
constexpr const char* kScratchFiles[] = {"quonda.tmp", "quonda.dat.tmp", "quonda.plr.tmp"};

// The configuration the game would use (defaults for a missing file or missing lines).
void read_game_config() {
    if (read_config(g_session.config) == -2) {
        std::printf("quonda.cfg: not found; the defaults are used.\n");
    }
}

bool exists(const char* path) {
    return access(path, F_OK) == 0;
}

int run_bulletin() {
    read_game_config();
    const char* name = g_session.config.bulletin_file;
    if (name[0] == '\0') {
        std::printf("No bulletin: line 3 of quonda.cfg is empty.\n");
        return kExitOk;
    }
    const FileBytes players = read_locked(kPlayerFile);
    if (!players.readable) {
        std::printf("%s: %s; the bulletin is not written.\n", kPlayerFile,
                    players.exists ? "cannot be read" : "missing, no players yet");
        return players.exists ? kExitFileError : kExitOk;
    }
    // The game's own bulletin writer reports nothing: the file's modification time tells.
    struct stat before {};
    const bool existed = stat(name, &before) == 0;
    write_bulletin();
    struct stat after {};
    const bool written =
        stat(name, &after) == 0 && (!existed || after.st_mtim.tv_sec != before.st_mtim.tv_sec ||
                                    after.st_mtim.tv_nsec != before.st_mtim.tv_nsec);
    if (!written) {
        std::printf("%s: could not be written.\n", name);
        return kExitFileError;
    }
    std::printf("%s: rewritten from %zu players.\n", name, players.bytes.size() / kPlayerBytes);
    return kExitOk;
}

bool confirmed(const char* question) {
    std::printf("%s Type yes to go on: ", question);
    std::fflush(stdout);
    char answer[16] = "";
    if (std::fgets(answer, sizeof answer, stdin) == nullptr) {
        std::printf("\n");
        return false;
    }
    std::string word(answer, std::strcspn(answer, "\r\n"));
    for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return word == "yes";
}

// Moves path, while holding its lock, to a timestamped backup; fills backup. A node that was
// waiting for the file finds it gone and starts afresh, as the game does without it. Also
// removes companion, a file kept under path's lock.
bool move_to_backup(const char* path, std::string& backup, const char* companion = nullptr) {
    FileHandle handle;
    std::snprintf(handle.path, sizeof handle.path, "%s", path);
    const int opened = open_locked(handle, kModeUpdate, true, false);
    if (opened == kOpenMissing) return true;
    if (opened != kOpenOk) return false;
    backup = free_backup_name(path);
    const bool moved = std::rename(path, backup.c_str()) == 0;
    if (moved && companion != nullptr) std::remove(companion);
    close_locked(handle);
    return moved;
}

int run_newgame(bool yes) {
    if (!exists(kMarketFile) && !exists(kPlayerFile)) {
        std::printf("No game here yet (neither %s nor %s); nothing to do.\n", kMarketFile,
                    kPlayerFile);
        return kExitOk;
    }
    if (!yes) {
        const FileBytes players = read_locked(kPlayerFile);
        char here[4096] = ".";
        if (getcwd(here, sizeof here) == nullptr) std::strcpy(here, ".");
        std::printf(
            "This ends the game in %s: the market and its %zu players are moved to\n"
            "backup files and the next caller starts a fresh exchange. Nobody should be\n"
            "playing now.\n",
            here, players.bytes.size() / kPlayerBytes);
        if (!confirmed("Start a new game?")) {
            std::printf("Not confirmed; nothing changed.\n");
            return kExitNotConfirmed;
        }
    }
    std::string market_backup;
    std::string player_backup;
    // The log of market days belongs to the old market.
    if (!move_to_backup(kMarketFile, market_backup, kDayLogFile) ||
        !move_to_backup(kPlayerFile, player_backup)) {
        std::printf("The data files could not be moved aside; see which are left:%s%s\n",
                    exists(kMarketFile) ? " quonda.dat" : "",
                    exists(kPlayerFile) ? " quonda.plr" : "");
        return kExitFileError;
    }
    for (const char* scratch : kScratchFiles) std::remove(scratch);
    if (!market_backup.empty())
        std::printf("%s: kept as %s.\n", kMarketFile, market_backup.c_str());
    if (!player_backup.empty())
        std::printf("%s: kept as %s.\n", kPlayerFile, player_backup.c_str());

    // An empty player file, and a bulletin that lists nobody.
    FileHandle players;
    std::snprintf(players.path, sizeof players.path, "%s", kPlayerFile);
    if (open_locked(players, kModeWrite, true, true) != kOpenOk) {
        std::printf("%s: could not be created.\n", kPlayerFile);
        return kExitFileError;
    }
    close_locked(players);
    read_game_config();
    if (g_session.config.bulletin_file[0] != '\0') write_bulletin();
    std::printf(
        "New game: the next caller finds a fresh exchange (on its first day only the "
        "trends move).\n");
    return kExitOk;
}

struct CommandLine {
    std::string command;
    std::string option;
    std::string dir;
    bool help = false;
    bool valid = true;
};

CommandLine parse(int argc, char** argv) {
    CommandLine line;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "--help" || word == "-h" || word == "help") {
            line.help = true;
        } else if (word == "--dir" && i + 1 < argc) {
            line.dir = argv[++i];
        } else if (word.rfind("--", 0) == 0 && line.option.empty() && !line.command.empty()) {
            line.option = word;
        } else if (line.command.empty() && word.rfind("-", 0) != 0) {
            line.command = word;
        } else {
            line.valid = false;
        }
    }
    return line;
}

}  // namespace

int main(int argc, char** argv) {
    const CommandLine line = parse(argc, argv);
    if (line.help) {
        std::fputs(kHelp, stdout);
        return kExitOk;
    }
    struct Command {
        const char* name;
        const char* option;  // the one option it takes, or nullptr
    };
    constexpr Command kCommands[] = {{"newday", nullptr},
                                     {"bulletin", nullptr},
                                     {"check", "--salvage"},
                                     {"show", "--json"},
                                     {"newgame", "--yes"}};
    bool known = false;
    for (const Command& command : kCommands) {
        if (line.command != command.name) continue;
        known = line.option.empty() || (command.option != nullptr && line.option == command.option);
    }
    if (!line.valid || !known) {
        std::fprintf(stderr, "%sbullmoor-sysop --help lists the commands.\n", kUsage);
        return kExitUsage;
    }
    if (!line.dir.empty() && chdir(line.dir.c_str()) != 0) {
        std::fprintf(stderr, "bullmoor-sysop: cannot change to %s\n", line.dir.c_str());
        return kExitUsage;
    }
    // Entries the game's code writes to quonda.err carry today's date.
    today_text(g_session.today);

    const bool with_option = !line.option.empty();
    if (line.command == "newday") return run_newday();
    if (line.command == "bulletin") return run_bulletin();
    if (line.command == "check") return run_check(with_option);
    if (line.command == "show") return run_show(with_option);
    return run_newgame(with_option);
}

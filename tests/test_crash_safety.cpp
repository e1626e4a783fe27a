// Crash safety of the two shared data files. Writer processes save markets, append a player and
// run the player-file pass in a loop and are killed with SIGKILL at many different moments;
// after every kill quonda.dat and quonda.plr must be whole and hold either the old contents or
// the new. A full disk (a file-size limit) must leave the old files in place, temporaries gone.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "data/codec.h"
#include "data/file_access.h"
#include "data/records.h"
#include "market/market.h"
#include "session/session.h"
#include "vcaller/caller.h"

namespace {

constexpr const char* kToday = "Jun 15 2024";
constexpr const char* kYesterday = "Jun 14 2024";
constexpr int kKeepers = 5;                                 // players the pass keeps
constexpr int32_t kLeaverOffset = kKeepers * kPlayerBytes;  // where the leaver is appended

void set_text(char* field, size_t size, const char* text) {
    std::memset(field, 0, size);
    std::memcpy(field, text, strnlen(text, size - 1));
}

// Two markets that differ at the start, the middle and the end of the record.
MarketRecord market_version(int version) {
    MarketRecord market{};
    (void)build_default_market(market);
    set_text(market.date, sizeof market.date, version == 0 ? kYesterday : kToday);
    market.general_trend = static_cast<int16_t>(version == 0 ? 3 : 7);
    set_text(market.companies[5].name, sizeof market.companies[5].name,
             version == 0 ? "Old Name Inc" : "New Name Ltd");
    market.companies[kCompanyCount - 1].bond_guaranteed_value =
        static_cast<int16_t>(version == 0 ? 111 : 222);
    return market;
}

// A keeper played today and stays through the pass unchanged (no crash, split or new month);
// the leaver was last seen years ago and every pass drops him.
PlayerRecord player(const char* name, const char* last_played, int32_t cash) {
    PlayerRecord p{};
    set_text(p.name, sizeof p.name, name);
    set_text(p.last_played, sizeof p.last_played, last_played);
    set_text(p.last_traded, sizeof p.last_traded, last_played);
    p.cash = cash;
    p.net_worth = cash + 100;
    for (int c = 0; c < kCompanyCount; ++c) p.holdings[c].count[kCommon] = c * 10 + 1;
    return p;
}

std::vector<PlayerRecord> keepers() {
    std::vector<PlayerRecord> out;
    for (int i = 0; i < kKeepers; ++i) {
        out.push_back(player(("KEEPER " + std::to_string(i)).c_str(), kToday, 1000 * (i + 1)));
    }
    return out;
}

PlayerRecord leaver() {
    return player("LEAVER", "Jan 01 2000", 77);
}

std::string market_bytes(const MarketRecord& market) {
    std::string bytes(kMarketBytes, '\0');
    encode_market(market, reinterpret_cast<unsigned char*>(bytes.data()));
    return bytes;
}

std::string player_bytes(const std::vector<PlayerRecord>& players) {
    std::string bytes;
    for (const PlayerRecord& p : players) {
        std::string record(kPlayerBytes, '\0');
        encode_player(p, reinterpret_cast<unsigned char*>(record.data()));
        bytes += record;
    }
    return bytes;
}

class DataFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = make_temp_dir("crash");
        ASSERT_FALSE(dir_.empty());
        write("quonda.dat", market_bytes(market_version(0)));
        write("quonda.plr", player_bytes(keepers()));
    }
    void TearDown() override { remove_tree(dir_); }

    std::string path(const char* name) const { return dir_ + "/" + name; }
    bool exists(const char* name) const {
        struct stat info {};
        return stat(path(name).c_str(), &info) == 0;
    }
    std::string read(const char* name) const {
        std::ifstream in(path(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    void write(const char* name, const std::string& bytes) const {
        std::ofstream out(path(name), std::ios::binary | std::ios::trunc);
        out << bytes;
    }

    // Runs body in a child process working in the test directory, with the file size limited
    // to limit bytes when limit is positive (SIGXFSZ ignored: writes past it fail with EFBIG,
    // as on a full disk). The child's exit code carries body's result + 10.
    int in_child(long limit, int (*body)()) const {
        const pid_t pid = fork();
        if (pid == 0) {
            if (chdir(dir_.c_str()) != 0) _exit(1);
            if (limit > 0) {
                signal(SIGXFSZ, SIG_IGN);
                const rlimit cap{static_cast<rlim_t>(limit), static_cast<rlim_t>(limit)};
                if (setrlimit(RLIMIT_FSIZE, &cap) != 0) _exit(2);
            }
            _exit(body() + 10);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) - 10 : -100;
    }

    // What is wrong with the two files, or "" when both are whole, old or new.
    std::string damage() const {
        std::string found;
        const std::string market = read("quonda.dat");
        if (!exists("quonda.dat")) {
            found += "quonda.dat missing; ";
        } else if (market != market_bytes(market_version(0)) &&
                   market != market_bytes(market_version(1))) {
            found += "quonda.dat holds " + std::to_string(market.size()) + " other bytes; ";
        } else {
            MarketRecord loaded{};
            if (load_market(loaded, path("quonda.dat").c_str()) != 0) found += "load failed; ";
        }
        const std::string players = read("quonda.plr");
        std::vector<PlayerRecord> with_leaver = keepers();
        with_leaver.push_back(leaver());
        if (!exists("quonda.plr")) {
            found += "quonda.plr missing; ";
        } else if (players != player_bytes(keepers()) && players != player_bytes(with_leaver)) {
            found += "quonda.plr holds " + std::to_string(players.size()) + " other bytes; ";
        }
        return found;
    }

    std::string dir_;
};

// One writer's endless round: a market save (alternating contents), a new player appended
// at the end of the player file, and a player-file pass that drops him again.
[[noreturn]] void write_forever(int ready_fd) {
    const MarketRecord markets[] = {market_version(0), market_version(1)};
    const MarketRecord unchanged = market_version(0);
    const PlayerRecord appended = leaver();
    (void)!::write(ready_fd, "r", 1);
    for (unsigned round = 0;; ++round) {
        (void)save_market(markets[round % 2]);
        (void)rewrite_player(appended, kLeaverOffset);
        (void)player_file_pass(unchanged, kToday, kYesterday);
    }
}

// Starts a writer in dir; returns its pid once it is about to begin (or -1).
pid_t start_writer(const std::string& dir) {
    int ready[2];
    if (pipe(ready) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        close(ready[0]);
        if (chdir(dir.c_str()) != 0) _exit(1);
        write_forever(ready[1]);
    }
    close(ready[1]);
    char byte = 0;
    const bool started = ::read(ready[0], &byte, 1) == 1;  // ends early if the child died
    close(ready[0]);
    return started ? pid : -1;
}

void pause_microseconds(long us) {
    timespec pause{us / 1000000, (us % 1000000) * 1000};
    while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
}

TEST_F(DataFiles, KilledWritersNeverLeaveAPartFile) {
    constexpr int kKillPoints = 300;
    // Kill delays spread over 0 to 10 ms after the writers start, a prime step apart, so the
    // kills land at many different points of saves, appends and passes.
    constexpr long kDelaySpreadUs = 10000;
    int damaged = 0;
    int temporaries_left = 0;
    std::string first_damage;
    for (int point = 0; point < kKillPoints; ++point) {
        // Two writers at once, as on two nodes; one is killed first, the other just after.
        const pid_t first = start_writer(dir_);
        const pid_t second = point % 4 == 0 ? start_writer(dir_) : -1;
        ASSERT_GT(first, 0);
        pause_microseconds((point * 7919L) % kDelaySpreadUs);
        kill(first, SIGKILL);
        if (second > 0) {
            pause_microseconds((point * 104729L) % 977);
            kill(second, SIGKILL);
            waitpid(second, nullptr, 0);
        }
        waitpid(first, nullptr, 0);

        const std::string problem = damage();
        if (!problem.empty()) {
            ++damaged;
            if (first_damage.empty()) first_damage = problem;
        }
        if (exists("quonda.tmp") || exists("quonda.dat.tmp")) ++temporaries_left;
    }
    std::printf("kill points tried: %d, files damaged: %d\n", kKillPoints, damaged);
    std::printf("kills that left a temporary behind (inside a replacement): %d\n",
                temporaries_left);
    EXPECT_EQ(damaged, 0) << first_damage;
    // The kills must really have landed inside replacements, not only between them.
    EXPECT_GT(temporaries_left, 0);
}

// A node waiting for the market file while a save renames the new market over it must read
// the new market, not the old file that no longer has the name.
TEST_F(DataFiles, ReaderWaitingForTheOldMarketReadsTheNewOne) {
    const std::string market_path = path("quonda.dat");
    FileHandle saving;
    std::snprintf(saving.path, sizeof saving.path, "%s", market_path.c_str());
    ASSERT_EQ(open_locked(saving, kModeUpdate, true, false), kOpenOk);

    const long waits_before = lock_wait_count();
    MarketRecord loaded{};
    int load_result = 99;
    std::thread reader([&] { load_result = load_market(loaded, market_path.c_str()); });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (lock_wait_count() == waits_before && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
    }
    EXPECT_GT(lock_wait_count(), waits_before) << "the reader never waited";

    // The save's second half, done by hand while quonda.dat is held: temporary, rename.
    FileHandle replacement;
    ASSERT_TRUE(temporary_name(market_path.c_str(), replacement.path, sizeof replacement.path));
    ASSERT_EQ(open_locked(replacement, kModeWrite, true, true), kOpenOk);
    ASSERT_EQ(write_market(replacement.fd, market_version(1)), kMarketBytes);
    EXPECT_EQ(commit_replacement(replacement, market_path.c_str()), 0);
    close_locked(saving);
    reader.join();

    EXPECT_EQ(load_result, 0);
    EXPECT_TRUE(market_bytes(loaded) == market_bytes(market_version(1))) << "read the old market";
}

// A full disk partway through each kind of write: the result says so, the old file is intact
// and no temporary or fragment is left.
struct FullDiskCase {
    const char* name;
    long limit;  // bytes a file may grow to
    int (*write)();
    int expected;
};

void PrintTo(const FullDiskCase& c, std::ostream* out) {
    *out << c.name;
}

int save_new_market() {
    return save_market(market_version(1));
}
int run_pass() {
    return player_file_pass(market_version(0), kToday, kYesterday);
}
int append_new_player() {
    return rewrite_player(leaver(), kLeaverOffset);
}

class FullDisk : public DataFiles, public ::testing::WithParamInterface<FullDiskCase> {};

TEST_P(FullDisk, OldFileStaysWhole) {
    const FullDiskCase& c = GetParam();
    std::vector<PlayerRecord> stored = keepers();
    stored.push_back(leaver());  // the pass would drop him: its output is smaller than its input
    write("quonda.plr", player_bytes(stored));
    if (c.write == append_new_player) write("quonda.plr", player_bytes(keepers()));
    const std::string market_before = read("quonda.dat");
    const std::string players_before = read("quonda.plr");

    EXPECT_EQ(in_child(c.limit, c.write), c.expected);
    EXPECT_EQ(read("quonda.dat").size(), market_before.size());
    EXPECT_TRUE(read("quonda.dat") == market_before) << "quonda.dat changed";
    EXPECT_EQ(read("quonda.plr").size(), players_before.size());
    EXPECT_TRUE(read("quonda.plr") == players_before) << "quonda.plr changed";
    EXPECT_FALSE(exists("quonda.dat.tmp"));
    EXPECT_FALSE(exists("quonda.tmp"));
}

INSTANTIATE_TEST_SUITE_P(
    Writes, FullDisk,
    ::testing::Values(
        // The market file's 7958 bytes do not fit: a short write.
        FullDiskCase{"MarketSave", 5000, save_new_market, -1},
        // Nothing at all fits: the first write fails.
        FullDiskCase{"MarketSaveNoSpace", 1, save_new_market, -1},
        // The pass's five kept records (2780 bytes) do not fit.
        FullDiskCase{"PlayerFilePass", 2000, run_pass, -1},
        // A new player's record fits only in part (the file holds 2780 bytes).
        FullDiskCase{"NewPlayerAppended", kLeaverOffset + 100, append_new_player, -1}),
    [](const ::testing::TestParamInfo<FullDiskCase>& info) { return info.param.name; });

// With room, the same writes in a child replace the files whole (the limit itself is harmless)
// and leave files that only the owner may read or write.
TEST_F(DataFiles, WritesWithRoomReplaceTheFilesOwnerOnly) {
    const mode_t old_mask = umask(0);  // new files get exactly the mode the program asks for
    std::remove(path("quonda.dat").c_str());
    EXPECT_EQ(in_child(100000, save_new_market), 0);
    std::vector<PlayerRecord> stored = keepers();
    stored.push_back(leaver());
    write("quonda.plr", player_bytes(stored));
    EXPECT_EQ(in_child(100000, run_pass), 0);
    umask(old_mask);

    EXPECT_TRUE(read("quonda.dat") == market_bytes(market_version(1))) << "not the new market";
    EXPECT_TRUE(read("quonda.plr") == player_bytes(keepers())) << "not the passed players";
    for (const char* name : {"quonda.dat", "quonda.plr"}) {
        struct stat info {};
        ASSERT_EQ(stat(path(name).c_str(), &info), 0) << name;
        EXPECT_EQ(info.st_mode & 0777, 0600u) << name;
    }
    EXPECT_FALSE(exists("quonda.dat.tmp"));
    EXPECT_FALSE(exists("quonda.tmp"));
}

}  // namespace

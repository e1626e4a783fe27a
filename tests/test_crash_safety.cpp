// Crash safety of the two shared data files. Writers that save markets, append a player and run
// the player-file pass are killed with SIGKILL at many moments; after every kill quonda.dat and
// quonda.plr are whole, old or new. A full disk (a file-size limit) leaves the old files in place.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "data/codec.h"
#include "data/file_access.h"
#include "market/market.h"
#include "session/session.h"
#include "vcaller/caller.h"

namespace {

constexpr const char* kToday = "Jun 15 2024";
constexpr const char* kYesterday = "Jun 14 2024";
constexpr int kKeepers = 5;                                 // players the pass keeps
constexpr int32_t kLeaverOffset = kKeepers * kPlayerBytes;  // where the leaver is appended

// Two markets that differ at the start, the middle and the end of the record.
MarketRecord market_version(int version) {
    MarketRecord market{};
    (void)build_default_market(market);
    std::snprintf(market.date, sizeof market.date, "%s", version == 0 ? kYesterday : kToday);
    market.general_trend = static_cast<int16_t>(version == 0 ? 3 : 7);
    std::snprintf(market.companies[5].name, kNameSize, "%s", version == 0 ? "Old Inc" : "New Ltd");
    market.companies[kCompanyCount - 1].bond_guaranteed_value = version == 0 ? 111 : 222;
    return market;
}

std::string market_bytes(int version) {
    std::string bytes(kMarketBytes, '\0');
    encode_market(market_version(version), reinterpret_cast<unsigned char*>(bytes.data()));
    return bytes;
}

// Keepers played today and stay through the pass unchanged; the leaver was last seen years ago
// and every pass drops him.
PlayerRecord player(int i) {
    PlayerRecord p{};
    const std::string name = i < kKeepers ? "KEEPER " + std::to_string(i) : "LEAVER";
    std::snprintf(p.name, kNameSize, "%s", name.c_str());
    std::snprintf(p.last_played, kDateSize, "%s", i < kKeepers ? kToday : "Jan 01 2000");
    std::snprintf(p.last_traded, kDateSize, "%s", p.last_played);
    p.cash = 1000 * (i + 1);
    p.net_worth = p.cash + 100;
    for (int c = 0; c < kCompanyCount; ++c) p.holdings[c].count[kCommon] = c * 10 + 1;
    return p;
}

std::string player_bytes(bool with_leaver) {
    std::string bytes((kKeepers + with_leaver) * kPlayerBytes, '\0');
    for (int i = 0; i < kKeepers + with_leaver; ++i)
        encode_player(player(i), reinterpret_cast<unsigned char*>(bytes.data()) + i * kPlayerBytes);
    return bytes;
}

// The three replacing writes, as the writers run them.
int (*const save_new_market)() = [] { return save_market(market_version(1)); };
int (*const run_pass)() = [] { return player_file_pass(market_version(0), kToday, kYesterday); };
int (*const append_leaver)() = [] { return rewrite_player(player(kKeepers), kLeaverOffset); };

std::string read(const char* name) {
    std::ostringstream bytes;
    bytes << std::ifstream(name, std::ios::binary).rdbuf();
    return bytes.str();
}

// A new file each time, its mode from the umask.
void write(const char* name, const std::string& bytes) {
    std::remove(name);
    std::ofstream(name, std::ios::binary | std::ios::trunc) << bytes;
}

bool temporary_left() {
    return access("quonda.tmp", F_OK) == 0 || access("quonda.dat.tmp", F_OK) == 0;
}

// Starts body in a child, its file size limited to limit bytes when positive (SIGXFSZ ignored:
// writes past it fail with EFBIG, as on a full disk); returns the pid once the child runs.
pid_t spawn(int (*body)(), long limit = 0) {
    int ready[2];
    if (pipe(ready) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        const rlimit cap{static_cast<rlim_t>(limit), static_cast<rlim_t>(limit)};
        signal(SIGXFSZ, SIG_IGN);
        if (limit > 0 && setrlimit(RLIMIT_FSIZE, &cap) != 0) _exit(1);
        (void)!::write(ready[1], "r", 1);
        _exit(body() + 10);
    }
    close(ready[1]);
    char byte = 0;
    const bool started = ::read(ready[0], &byte, 1) == 1;  // ends early if the child died
    close(ready[0]);
    return started ? pid : -1;
}

// body's result in a child spawned as above.
int result_of(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) - 10 : -100;
}

// A writer's endless round, as one node's: a market save (alternating contents), the leaver
// appended and a pass that drops him again.
int write_forever() {
    for (unsigned round = 0;; ++round) {
        (void)save_market(market_version(round % 2));
        (void)append_leaver();
        (void)run_pass();
    }
}

// Each test works in a fresh directory holding the old market and the five keepers.
class DataFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(0, chdir(dir_.c_str()));
        write("quonda.dat", market_bytes(0));
        write("quonda.plr", player_bytes(false));
    }
    void TearDown() override {
        ASSERT_EQ(0, chdir(BULLMOOR_BINARY_DIR));
        remove_tree(dir_);
    }
    const std::string dir_ = make_temp_dir("crash");
};

TEST_F(DataFiles, KilledWritersNeverLeaveAPartFile) {
    constexpr int kKillPoints = 300;
    const std::string markets[] = {market_bytes(0), market_bytes(1)};
    const std::string players[] = {player_bytes(false), player_bytes(true)};
    int damaged = 0, temporaries_left = 0;
    std::string first_damage;  // the sizes found after the first damaging kill
    for (int point = 0; point < kKillPoints; ++point) {
        // Two writers at once now and then, as on two nodes; one is killed first, the other just
        // after. The delays spread over 0 to 10 ms, a prime step apart, so the kills land at many
        // points of saves, appends and passes.
        const pid_t first = spawn(write_forever);
        const pid_t second = point % 4 == 0 ? spawn(write_forever) : -1;
        ASSERT_GT(first, 0);
        std::this_thread::sleep_for(std::chrono::microseconds((point * 7919L) % 10000));
        kill(first, SIGKILL);
        if (second > 0) {
            std::this_thread::sleep_for(std::chrono::microseconds((point * 104729L) % 977));
            kill(second, SIGKILL);
            waitpid(second, nullptr, 0);
        }
        waitpid(first, nullptr, 0);
        const std::string market = read("quonda.dat"), player_file = read("quonda.plr");
        const bool whole = (market == markets[0] || market == markets[1]) &&
                           (player_file == players[0] || player_file == players[1]);
        if (!whole && damaged++ == 0) {
            first_damage = "quonda.dat: " + std::to_string(market.size()) +
                           " bytes, quonda.plr: " + std::to_string(player_file.size());
        }
        if (temporary_left()) ++temporaries_left;
    }
    std::printf("kill points tried: %d, files damaged: %d\n", kKillPoints, damaged);
    std::printf("kills that left a temporary behind (inside a replacement): %d\n",
                temporaries_left);
    EXPECT_EQ(0, damaged) << first_damage;
    EXPECT_GT(temporaries_left, 0) << "no kill landed inside a replacement";
}

// A node waiting for the market file while a save renames the new market over it must read the
// new market, not the old file that no longer has the name.
TEST_F(DataFiles, ReaderWaitingForTheOldMarketReadsTheNewOne) {
    FileHandle saving, replacement;
    std::snprintf(saving.path, sizeof saving.path, "quonda.dat");
    ASSERT_EQ(kOpenOk, open_locked(saving, kModeUpdate, true, false));
    const long waits_before = lock_wait_count();
    MarketRecord loaded{};
    int load_result = 99;
    std::thread reader([&] { load_result = load_market(loaded); });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (lock_wait_count() == waits_before && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    EXPECT_GT(lock_wait_count(), waits_before) << "the reader never waited";
    // The save's second half, done by hand while quonda.dat is held: temporary, rename.
    ASSERT_TRUE(temporary_name("quonda.dat", replacement.path, sizeof replacement.path));
    ASSERT_EQ(kOpenOk, open_locked(replacement, kModeWrite, true, true));
    ASSERT_EQ(kMarketBytes, write_market(replacement.fd, market_version(1)));
    EXPECT_EQ(0, commit_replacement(replacement, "quonda.dat"));
    close_locked(saving);
    reader.join();
    EXPECT_EQ(0, load_result);
    EXPECT_EQ(market_version(1).general_trend, loaded.general_trend) << "read the old market";
    EXPECT_STREQ("New Ltd", loaded.companies[5].name);
}

// Each write with a file-size limit: short of room, the result says so, the old file is left
// as it was and no temporary or fragment remains; with room the file is replaced whole by one
// only the owner may read or write (the old files are 0666).
TEST_F(DataFiles, FullDiskLeavesTheOldFileWhole) {
    const struct {
        const char* name;
        long limit;  // bytes a file may grow to
        int (*write)();
        int expected;
        std::string replaced;  // the file that holds the new contents afterwards
    } cases[] = {
        {"market save, 7958 bytes do not fit", 5000, save_new_market, -1, ""},
        {"market save, nothing fits", 1, save_new_market, -1, ""},
        {"pass, its five records (2780 bytes) do not fit", 2000, run_pass, -1, ""},
        {"new player appended in part", kLeaverOffset + 100, append_leaver, -1, ""},
        {"market save with room", 100000, save_new_market, 0, "quonda.dat"},
        {"pass with room", 100000, run_pass, 0, "quonda.plr"},
    };
    const mode_t old_mask = umask(0);  // new files get exactly the mode the program asks for
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        write("quonda.dat", market_bytes(0));
        write("quonda.plr", player_bytes(c.write != append_leaver));
        const std::string market_after =
            c.replaced == "quonda.dat" ? market_bytes(1) : read("quonda.dat");
        const std::string players_after =
            c.replaced == "quonda.plr" ? player_bytes(false) : read("quonda.plr");
        EXPECT_EQ(c.expected, result_of(spawn(c.write, c.limit)));
        EXPECT_TRUE(read("quonda.dat") == market_after) << "quonda.dat";
        EXPECT_TRUE(read("quonda.plr") == players_after) << "quonda.plr";
        EXPECT_FALSE(temporary_left());
        for (const char* name : {"quonda.dat", "quonda.plr"}) {
            struct stat info {};
            ASSERT_EQ(0, stat(name, &info));
            EXPECT_EQ(c.replaced == name ? 0600u : 0666u, info.st_mode & 0777) << name;
        }
    }
    umask(old_mask);
}

}  // namespace

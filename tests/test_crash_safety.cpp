// Writers of quonda.dat and quonda.plr killed with SIGKILL at many moments leave both files whole,
// old or new; a full disk (a file-size limit) leaves the old files in place.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "data/codec.h"
#include "data/file_access.h"
#include "session/session.h"
#include "vcaller/caller.h"

namespace {

constexpr const char* kToday = "Jun 15 2024";
constexpr const char* kYesterday = "Jun 14 2024";
constexpr int kKeepers = 5;  // players the pass keeps

// Two markets that differ at the start, the middle and the end of the record.
MarketRecord market_version(int version) {
    MarketRecord market{};
    std::snprintf(market.date, sizeof market.date, "%s", version == 0 ? kYesterday : kToday);
    std::snprintf(market.companies[5].name, kNameSize, "%s", version == 0 ? "Old Inc" : "New Ltd");
    market.companies[kCompanyCount - 1].bond_guaranteed_value = version == 0 ? 111 : 222;
    return market;
}

// Keepers played today; the leaver was last seen years ago and every pass drops him.
PlayerRecord player(int i) {
    PlayerRecord p{};
    std::snprintf(p.name, kNameSize, "%s",
                  i < kKeepers ? ("KEEPER " + std::to_string(i)).c_str() : "LEAVER");
    std::snprintf(p.last_played, kDateSize, "%s", i < kKeepers ? kToday : "Jan 01 2000");
    return p;
}

std::string market_bytes(int version) {
    std::string bytes(kMarketBytes, '\0');
    encode_market(market_version(version), reinterpret_cast<unsigned char*>(bytes.data()));
    return bytes;
}

std::string player_bytes(bool with_leaver) {
    std::string bytes((kKeepers + with_leaver) * kPlayerBytes, '\0');
    for (int i = 0; i < kKeepers + with_leaver; ++i)
        encode_player(player(i), reinterpret_cast<unsigned char*>(bytes.data()) + i * kPlayerBytes);
    return bytes;
}

int (*const save_new_market)() = [] { return save_market(market_version(1)); };
int (*const run_pass)() = [] { return player_file_pass(market_version(0), kToday, kYesterday); };
int (*const append_leaver)() = [] {
    return rewrite_player(player(kKeepers), kKeepers * kPlayerBytes);
};

std::string read(const char* name) {
    std::ifstream in(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

bool temporary_left() {
    return access("quonda.tmp", F_OK) == 0 || access("quonda.dat.tmp", F_OK) == 0;
}

// Runs body in a child whose writes past limit bytes, when positive, fail as on a full disk.
pid_t spawn(int (*body)(), long limit = 0) {
    const pid_t pid = fork();
    if (pid == 0) {
        const rlimit cap{static_cast<rlim_t>(limit), static_cast<rlim_t>(limit)};
        signal(SIGXFSZ, SIG_IGN);
        _exit(limit > 0 && setrlimit(RLIMIT_FSIZE, &cap) != 0 ? 1 : body() + 10);
    }
    return pid;
}

// One node's endless round: markets saved, the leaver appended and dropped again by a pass.
int (*const write_forever)() = []() -> int {
    for (unsigned round = 0;; ++round)
        (void)(save_market(market_version(round % 2)) + append_leaver() + run_pass());
};

class DataFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(0, chdir(dir_.c_str()));
        std::ofstream("quonda.dat", std::ios::binary) << market_bytes(0);
        std::ofstream("quonda.plr", std::ios::binary) << player_bytes(false);
    }
    void TearDown() override {
        ASSERT_EQ(0, chdir(BULLMOOR_BINARY_DIR));
        remove_tree(dir_);
    }
    const std::string dir_ = make_temp_dir("crash");
};

TEST_F(DataFiles, KilledWritersNeverLeaveAPartFile) {
    constexpr int kKillPoints = 300;
    int damaged = 0, temporaries_left = 0;
    for (int point = 0; point < kKillPoints; ++point) {
        // Now and then two writers at once, as on two nodes, killed one after the other. The
        // delays spread over 0 to 10 ms a prime step apart, landing in saves, appends, passes.
        const pid_t writers[] = {spawn(write_forever), point % 4 ? -1 : spawn(write_forever)};
        std::this_thread::sleep_for(std::chrono::microseconds((point * 7919L) % 10000));
        for (pid_t pid : writers) {
            if (pid > 0 && kill(pid, SIGKILL) == 0) waitpid(pid, nullptr, 0);
        }
        const std::string market = read("quonda.dat"), plr = read("quonda.plr");
        damaged += (market != market_bytes(0) && market != market_bytes(1)) ||
                   (plr != player_bytes(false) && plr != player_bytes(true));
        temporaries_left += temporary_left();
    }
    std::printf("kill points tried: %d, files damaged: %d\n", kKillPoints, damaged);
    EXPECT_EQ(0, damaged);
    EXPECT_GT(temporaries_left, 0) << "no kill landed inside a replacement";
}

// A node waiting for quonda.dat while a save renames the new market over it must read the new
// market, not the old file that no longer has the name.
TEST_F(DataFiles, ReaderWaitingForTheOldMarketReadsTheNewOne) {
    FileHandle saving{"quonda.dat"}, replacement;
    ASSERT_EQ(kOpenOk, open_locked(saving, kModeUpdate, true, false));
    const long waits_before = lock_wait_count();
    MarketRecord loaded{};
    int load_result = 99;
    std::thread reader([&] { load_result = load_market(loaded); });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (lock_wait_count() == waits_before && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    EXPECT_GT(lock_wait_count(), waits_before) << "the reader never waited";
    ASSERT_TRUE(temporary_name("quonda.dat", replacement.path, sizeof replacement.path));
    ASSERT_EQ(kOpenOk, open_locked(replacement, kModeWrite, true, true));
    ASSERT_EQ(kMarketBytes, write_market(replacement.fd, market_version(1)));
    EXPECT_EQ(0, commit_replacement(replacement, "quonda.dat"));
    close_locked(saving);
    reader.join();
    EXPECT_EQ(0, load_result);
    EXPECT_STREQ("New Ltd", loaded.companies[5].name) << "read the old market";
}

// Short of room a write says so and leaves the old file as it was and no temporary.
TEST_F(DataFiles, FullDiskLeavesTheOldFileWhole) {
    const struct {
        const char* name;
        long limit;
        int (*write)();
        std::string replaced;  // the file holding the new contents afterwards; empty: none
    } cases[] = {
        {"market save, 7958 bytes do not fit", 5000, save_new_market, ""},
        {"market save, nothing fits", 1, save_new_market, ""},
        {"pass, its five records (2780 bytes) do not fit", 2000, run_pass, ""},
        {"new player appended in part", kKeepers * kPlayerBytes + 100, append_leaver, ""},
        {"market save with room", 100000, save_new_market, "quonda.dat"},
        {"pass with room", 100000, run_pass, "quonda.plr"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::ofstream("quonda.dat", std::ios::binary) << market_bytes(0);
        std::ofstream("quonda.plr", std::ios::binary) << player_bytes(c.write != append_leaver);
        const std::string dat = c.replaced == "quonda.dat" ? market_bytes(1) : read("quonda.dat");
        const std::string plr =
            c.replaced == "quonda.plr" ? player_bytes(false) : read("quonda.plr");
        int status = 0;
        waitpid(spawn(c.write, c.limit), &status, 0);
        EXPECT_EQ((c.replaced.empty() ? -1 : 0) + 10, WIFEXITED(status) ? WEXITSTATUS(status) : -1);
        EXPECT_TRUE(read("quonda.dat") == dat && read("quonda.plr") == plr);
        EXPECT_FALSE(temporary_left());
    }
}

}  // namespace

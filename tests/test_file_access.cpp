// Locked opens across processes, their results, and the error log.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <tuple>

#include "data/file_access.h"
#include "data/session_state.h"
#include "vcaller/caller.h"

namespace {

class FileAccess : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(0, chdir(dir_.c_str())); }
    void TearDown() override {
        set_lock_wait_limit(0);
        set_error_display(ErrorDisplay{});
        ASSERT_EQ(0, chdir(BULLMOOR_BINARY_DIR));
        remove_tree(dir_);
    }
    const std::string dir_ = make_temp_dir("files");
};

std::string contents(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// A missing file is created only when asked, empty and owner-only; a directory fails in every
// mode once its uncounted retries run out.
TEST_F(FileAccess, MissingFilesAndDirectories) {
    FileHandle h{"absent"};
    EXPECT_EQ(kOpenMissing, open_locked(h, kModeRead, true, false));
    EXPECT_NE(0, access("absent", F_OK));
    ASSERT_EQ(kOpenOk, open_locked(h, kModeRead, true, true));
    close_locked(h);
    close_locked(h);  // twice is harmless
    struct stat info {};
    ASSERT_EQ(0, stat("absent", &info));
    EXPECT_EQ(0, info.st_size);
    EXPECT_EQ(0600u, info.st_mode & 0777);
    ASSERT_EQ(0, mkdir("folder", 0700));
    for (int mode : {kModeRead, kModeWrite, kModeAppend, kModeUpdate}) {
        FileHandle folder{"folder"};
        EXPECT_EQ(kOpenBadPath, open_locked(folder, mode, true, true)) << mode;
        EXPECT_EQ(0, folder.state);
    }
}

// Starts a process that opens "shared" in mode, writes "first half," unless reading and stops;
// continued, it writes "second half" and closes. Returns its pid once it is stopped holding the
// file, -1 if it failed. (Record locks never conflict within one process.)
pid_t hold(int mode) {
    const pid_t pid = fork();
    if (pid == 0) {
        FileHandle h{"shared"};
        const bool writes = mode != kModeRead;
        if (open_locked(h, mode, true, true) != 0 ||
            (writes && write(h.fd, "first half,", 11) != 11) || raise(SIGSTOP) != 0 ||
            (writes && write(h.fd, "second half", 11) != 11))
            _exit(1);
        close_locked(h);
        _exit(0);
    }
    int status = 0;
    return waitpid(pid, &status, WUNTRACED) == pid && WIFSTOPPED(status) ? pid : -1;
}

// Lets the holder finish; its exit status (0 when all went well).
int let_go(pid_t pid) {
    int status = 0;
    kill(pid, SIGCONT);
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Whatever the modes, the second open waits until the holder has closed: it never sees half of
// the holder's write, and its own write never lands inside the holder's.
TEST_F(FileAccess, SecondOpenWaitsForTheHolder) {
    const char* const both = "first half,second half";
    // The holder's mode, this process's (it writes "+mine" unless reading), the file as this
    // process finds it once open and afterwards.
    const std::tuple<int, int, std::string, std::string> cases[] = {
        {kModeWrite, kModeRead, both, both},
        {kModeAppend, kModeAppend, both, "first half,second half+mine"},
        {kModeUpdate, kModeAppend, both, "first half,second half+mine"},
        {kModeAppend, kModeUpdate, both, "+mine half,second half"},
        {kModeAppend, kModeWrite, "", "+mine"},
        {kModeRead, kModeWrite, "", "+mine"},
        {kModeRead, kModeRead, "", ""},
    };
    for (const auto& [held, wanted, first_seen, after] : cases) {
        SCOPED_TRACE(::testing::Message() << "held " << held << ", wanted " << wanted);
        std::ofstream("shared", std::ios::trunc);
        const pid_t holder = hold(held);
        ASSERT_GT(holder, 0);
        const long before = lock_wait_count();
        std::atomic<int> result{99};
        std::string seen;
        std::thread opener([&] {
            FileHandle h{"shared"};
            if ((result = open_locked(h, wanted, true, false)) != kOpenOk) return;
            char buffer[64] = "";
            seen.assign(buffer, std::max<ssize_t>(0, pread(h.fd, buffer, sizeof buffer, 0)));
            if (wanted != kModeRead && write(h.fd, "+mine", 5) != 5) seen = "write failed";
            close_locked(h);
        });
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (lock_wait_count() == before && std::chrono::steady_clock::now() < deadline)
            std::this_thread::yield();
        EXPECT_NE(before, lock_wait_count()) << "the open never waited";
        EXPECT_EQ(99, result.load());  // still waiting
        EXPECT_EQ(0, let_go(holder));
        opener.join();
        ASSERT_EQ(kOpenOk, result.load());
        EXPECT_EQ(first_seen, seen);
        EXPECT_EQ(after, contents("shared"));
    }
}

TEST_F(FileAccess, WaitingEndsAtTheLimit) {
    std::ofstream("shared", std::ios::trunc);
    const pid_t holder = hold(kModeRead);
    ASSERT_GT(holder, 0);
    set_lock_wait_limit(100);
    for (int mode : {kModeRead, kModeWrite}) {
        FileHandle h{"shared"};
        EXPECT_EQ(kOpenLockTimeout, open_locked(h, mode, true, false)) << mode;
        EXPECT_EQ(0, h.state);
    }
    EXPECT_EQ(0, let_go(holder));
    FileHandle h{"shared"};
    EXPECT_EQ(kOpenOk, open_locked(h, kModeRead, true, false));
    close_locked(h);
}

std::string g_shown;  // what the display hooks saw
int g_pauses = 0;
bool g_remote = false;

// Each entry opens with the date and the caller's name (blank before they are known), adds no
// line end and is never cut short. The text is shown only when asked and the hooks are installed;
// a shown text or any remote one pauses five seconds.
TEST_F(FileAccess, LogEntriesAndTheirDisplay) {
    // Hooks installed?, remote?, show asked?, the text shown?, the pauses.
    const std::tuple<bool, bool, bool, bool, int> cases[] = {
        {true, false, true, true, 1},  {true, true, true, true, 1},
        {true, true, false, false, 1}, {true, false, false, false, 0},
        {false, true, true, false, 0},
    };
    const ErrorDisplay hooks{[](const char* text) { g_shown += text; },
                             [](int seconds) { g_pauses += seconds == 5 ? 1 : 100; },
                             [] { return g_remote; }};
    std::string expected;
    for (const auto& [installed, remote, show, shown, pauses] : cases) {
        g_shown.clear();
        g_pauses = 0;
        g_remote = remote;
        set_error_display(installed ? hooks : ErrorDisplay{});
        EXPECT_EQ(0, log_error(show, "Error [%d] - %s", 7, "x"));
        EXPECT_EQ(shown ? "Error [7] - x" : "", g_shown);
        EXPECT_EQ(pauses, g_pauses);
        expected += "   \nError [7] - x";
    }
    std::snprintf(g_session.today, sizeof g_session.today, "%s", "Mar 05 2024");
    std::snprintf(g_session.player.name, sizeof g_session.player.name, "%s", "ALICE");
    const std::string long_text(700, 'z');
    EXPECT_EQ(0, log_error(false, "long %s\n", long_text.c_str()));
    g_session.today[0] = g_session.player.name[0] = '\0';
    EXPECT_EQ(expected + "Mar 05 2024   ALICE\nlong " + long_text + "\n", contents("quonda.err"));
}

}  // namespace

// Locked opens across processes, their results, and the error log.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>

#include "data/file_access.h"
#include "data/session_state.h"
#include "vcaller/caller.h"

namespace {

// Each test works in a fresh directory.
class FileAccess : public ::testing::Test {
  protected:
    void SetUp() override {
        signal(SIGPIPE, SIG_IGN);  // a holder that failed early must not take the test down
        ASSERT_EQ(0, chdir(dir_.c_str()));
    }
    void TearDown() override {
        set_lock_wait_limit(0);
        set_error_display(ErrorDisplay{});
        ASSERT_EQ(0, chdir(BULLMOOR_BINARY_DIR));
        remove_tree(dir_);
    }
    const std::string dir_ = make_temp_dir("files");
};

FileHandle handle_for(const char* path) {
    FileHandle h;
    std::snprintf(h.path, sizeof h.path, "%s", path);
    return h;
}

std::string contents(const char* path) {
    std::ostringstream bytes;
    bytes << std::ifstream(path, std::ios::binary).rdbuf();
    return bytes.str();
}

void put(const char* path, const char* text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// A missing file is created only when asked, empty and owner-only.
TEST_F(FileAccess, MissingFileIsCreatedOnlyWhenAsked) {
    FileHandle h = handle_for("absent");
    EXPECT_EQ(kOpenMissing, open_locked(h, kModeRead, true, false));
    EXPECT_NE(0, access("absent", F_OK));
    ASSERT_EQ(kOpenOk, open_locked(h, kModeRead, true, true));
    close_locked(h);
    close_locked(h);  // twice is harmless
    struct stat info {};
    ASSERT_EQ(0, stat("absent", &info));
    EXPECT_EQ(0, info.st_size);
    EXPECT_EQ(0600u, info.st_mode & 0777);
}

TEST_F(FileAccess, EachModeHasItsAccess) {
    const struct {
        int mode;
        const char* after;  // file "abcdef" after writing "XY" through the stream
    } cases[] = {{kModeRead, "abcdef"},
                 {kModeWrite, "XY"},
                 {kModeAppend, "abcdefXY"},
                 {kModeUpdate, "XYcdef"}};
    for (const auto& c : cases) {
        put("file", "abcdef");
        FileHandle h = handle_for("file");
        ASSERT_EQ(kOpenOk, open_locked(h, c.mode, false, false)) << c.mode;
        EXPECT_EQ(c.mode == kModeRead ? -1 : 2, write(h.fd, "XY", 2)) << c.mode;
        close_locked(h);
        EXPECT_EQ(c.after, contents("file")) << c.mode;
    }
}

// A directory keeps failing with an uncounted error until the bound; a file this process may not
// read runs out of counted attempts (as root the open runs in a child that has given up root).
TEST_F(FileAccess, UnopenableFilesFailAtOnce) {
    ASSERT_EQ(0, mkdir("folder", 0700));
    for (int mode : {kModeRead, kModeWrite, kModeAppend, kModeUpdate}) {
        FileHandle h = handle_for("folder");
        EXPECT_EQ(kOpenBadPath, open_locked(h, mode, true, true)) << mode;
        EXPECT_EQ(0, h.state);
    }
    put("secret", "x");
    ASSERT_EQ(0, chmod("secret", 0));
    ASSERT_EQ(0, chmod(".", 0755));
    const pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0 &&
            (setresgid(65534, 65534, 65534) != 0 || setresuid(65534, 65534, 65534) != 0))
            _exit(99);
        FileHandle h = handle_for("secret");
        _exit(-open_locked(h, kModeRead, false, false));
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(kOpenAttemptsOut, -WEXITSTATUS(status));
}

// Starts a second process that opens "shared" in mode and, unless reading, writes "first half,";
// returns its pid once it holds the file (-1 if it failed), release receiving the pipe that lets
// it go on. (Record locks never conflict within one process.)
pid_t hold(int mode, int& release) {
    int ready[2], go[2];
    if (pipe(ready) != 0 || pipe(go) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        FileHandle h = handle_for("shared");
        const bool writes = mode != kModeRead;
        char byte = 0;
        if (open_locked(h, mode, true, true) != 0) _exit(1);
        if ((writes && write(h.fd, "first half,", 11) != 11) || write(ready[1], "R", 1) != 1)
            _exit(2);
        if (read(go[0], &byte, 1) != 1 || (writes && write(h.fd, "second half", 11) != 11))
            _exit(3);
        close_locked(h);
        _exit(0);
    }
    close(ready[1]);
    close(go[0]);
    release = go[1];
    char byte = 0;
    const bool held = read(ready[0], &byte, 1) == 1;
    close(ready[0]);
    return held ? pid : -1;
}

// Lets the holder write "second half" and close; its exit status (0 when all went well).
int let_go(pid_t pid, int release) {
    const bool told = write(release, "G", 1) == 1;
    close(release);
    int status = 0;
    waitpid(pid, &status, 0);
    return told && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Whatever the modes, the second open waits until the holder has closed, so it never sees half
// of the holder's write and its own write never lands inside the holder's.
TEST_F(FileAccess, SecondOpenWaitsForTheHolder) {
    const char* const both = "first half,second half";
    const struct {
        // The holder's mode, and this process's: it writes "+mine" unless reading.
        int held, wanted;
        const char* seen;  // the file as this process finds it once open
        const char* after;
    } cases[] = {
        {kModeWrite, kModeRead, both, both},
        {kModeAppend, kModeRead, both, both},
        {kModeAppend, kModeAppend, both, "first half,second half+mine"},
        {kModeUpdate, kModeAppend, both, "first half,second half+mine"},
        {kModeAppend, kModeUpdate, both, "+mine half,second half"},
        {kModeAppend, kModeWrite, "", "+mine"},
        {kModeRead, kModeWrite, "", "+mine"},
        {kModeRead, kModeRead, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "held " << c.held << ", wanted " << c.wanted);
        put("shared", "");
        int release = -1;
        const pid_t holder = hold(c.held, release);
        ASSERT_GT(holder, 0);
        const long before = lock_wait_count();
        std::atomic<int> result{99};
        std::string seen;
        std::thread opener([&] {
            FileHandle h = handle_for("shared");
            result = open_locked(h, c.wanted, true, false);
            if (result != kOpenOk) return;
            char buffer[64] = "";
            const ssize_t n = pread(h.fd, buffer, sizeof buffer - 1, 0);
            if (n > 0) seen.assign(buffer, static_cast<size_t>(n));
            if (c.wanted != kModeRead && write(h.fd, "+mine", 5) != 5) seen = "write failed";
            close_locked(h);
        });
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (lock_wait_count() == before && std::chrono::steady_clock::now() < deadline)
            std::this_thread::yield();
        EXPECT_NE(before, lock_wait_count()) << "the open never waited";
        EXPECT_EQ(99, result.load());  // still waiting
        EXPECT_EQ(0, let_go(holder, release));
        opener.join();
        ASSERT_EQ(kOpenOk, result.load());
        EXPECT_EQ(c.seen, seen);
        EXPECT_EQ(c.after, contents("shared"));
    }
}

TEST_F(FileAccess, WaitingEndsAtTheLimit) {
    put("shared", "");
    int release = -1;
    const pid_t holder = hold(kModeRead, release);
    ASSERT_GT(holder, 0);
    set_lock_wait_limit(100);
    for (int mode : {kModeRead, kModeWrite}) {
        FileHandle h = handle_for("shared");
        EXPECT_EQ(kOpenLockTimeout, open_locked(h, mode, true, false)) << mode;
        EXPECT_EQ(0, h.state);
    }
    EXPECT_EQ(0, let_go(holder, release));
    FileHandle h = handle_for("shared");
    EXPECT_EQ(kOpenOk, open_locked(h, kModeRead, true, false));
    close_locked(h);
}

// What the display hooks saw.
std::string g_shown;
int g_pauses = 0;
bool g_remote = false;

// Each entry opens with the date and the caller's name (empty before they are known) and adds no
// line end of its own. The hooks show the text only when asked and installed, and pause five
// seconds for a shown text or any remote one.
TEST_F(FileAccess, LogEntriesAndTheirDisplay) {
    std::snprintf(g_session.today, sizeof g_session.today, "%s", "Mar 05 2024");
    std::snprintf(g_session.player.name, sizeof g_session.player.name, "%s", "ALICE");
    EXPECT_EQ(0, log_error(false, "first %d.", 1));
    EXPECT_EQ(0, log_error(false, "%s", "second\n"));
    const std::string long_text(700, 'z');
    EXPECT_EQ(0, log_error(false, "third %s", long_text.c_str()));
    EXPECT_EQ(
        "Mar 05 2024   ALICE\nfirst 1.Mar 05 2024   ALICE\nsecond\nMar 05 2024   ALICE\nthird " +
            long_text,
        contents("quonda.err"));
    g_session.today[0] = g_session.player.name[0] = '\0';
    std::remove("quonda.err");

    const struct {
        bool installed, remote, show;
        const char* shown;
        int pauses;
    } cases[] = {
        {true, false, true, "Error [7] - x", 1},
        {true, true, true, "Error [7] - x", 1},
        {true, true, false, "", 1},
        {true, false, false, "", 0},
        {false, true, true, "", 0},
    };
    const ErrorDisplay hooks{[](const char* text) { g_shown += text; },
                             [](int seconds) { g_pauses += seconds == 5 ? 1 : 100; },
                             [] { return g_remote; }};
    for (const auto& c : cases) {
        g_shown.clear();
        g_pauses = 0;
        g_remote = c.remote;
        set_error_display(c.installed ? hooks : ErrorDisplay{});
        log_error(c.show, "Error [%d] - %s", 7, "x");
        EXPECT_EQ(c.shown, g_shown);
        EXPECT_EQ(c.pauses, g_pauses);
    }
    std::string expected;
    for (size_t i = 0; i < std::size(cases); ++i) expected += "   \nError [7] - x";
    EXPECT_EQ(expected, contents("quonda.err"));
}

}  // namespace

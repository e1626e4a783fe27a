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

TEST_F(FileAccess, MissingFileIsCreatedOnlyWhenAskedAndOwnerOnly) {
    FileHandle h = handle_for("absent");
    EXPECT_EQ(kOpenMissing, open_locked(h, kModeRead, true, false));
    EXPECT_EQ(0, h.state);
    EXPECT_NE(0, access("absent", F_OK));
    ASSERT_EQ(kOpenOk, open_locked(h, kModeRead, true, true));
    EXPECT_EQ(EOF, std::fgetc(h.stream));  // created empty
    close_locked(h);
    close_locked(h);  // twice is harmless
    EXPECT_EQ(-1, h.fd);
    struct stat info {};
    ASSERT_EQ(0, stat("absent", &info));
    EXPECT_EQ(0600u, info.st_mode & 0777);
}

TEST_F(FileAccess, EachModeHasItsAccess) {
    const struct {
        int mode;
        const char* after;  // file "abcdef" after writing "XY" through the stream
    } cases[] = {{kModeWrite, "XY"}, {kModeAppend, "abcdefXY"}, {kModeUpdate, "XYcdef"}};
    for (const auto& c : cases) {
        put("file", "abcdef");
        FileHandle h = handle_for("file");
        ASSERT_EQ(kOpenOk, open_locked(h, c.mode, false, false)) << c.mode;
        std::fputs("XY", h.stream);
        close_locked(h);
        EXPECT_EQ(c.after, contents("file")) << c.mode;
    }
    put("file", "abcdef");
    FileHandle h = handle_for("file");
    ASSERT_EQ(kOpenOk, open_locked(h, kModeRead, false, false));
    EXPECT_EQ(-1, write(h.fd, "XY", 2));  // read only
    char first[4] = "";
    ASSERT_NE(nullptr, std::fgets(first, sizeof first, h.stream));
    EXPECT_STREQ("abc", first);
    EXPECT_EQ(6, current_offset(h.fd));  // the stream read ahead through the descriptor
    close_locked(h);
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

// A second process that opens the file in mode, writes first, says so, and when released
// writes second and closes. (Record locks never conflict within one process.)
class Holder {
  public:
    Holder(int mode, const char* first, const char* second) {
        int ready[2], release[2];
        if (pipe(ready) != 0 || pipe(release) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            FileHandle h = handle_for("shared");
            char go = 0;
            if (open_locked(h, mode, true, true) != 0) _exit(1);
            if ((*first && write(h.fd, first, std::strlen(first)) < 0) ||
                write(ready[1], "R", 1) != 1)
                _exit(2);
            if (read(release[0], &go, 1) != 1 ||
                (*second && write(h.fd, second, std::strlen(second)) < 0))
                _exit(3);
            close_locked(h);
            _exit(0);
        }
        close(ready[1]);
        close(release[0]);
        release_ = release[1];
        char byte = 0;
        ready_ = read(ready[0], &byte, 1) == 1;
        close(ready[0]);
    }
    ~Holder() { release(); }
    bool ready() const { return ready_; }
    // Lets the holder finish; its exit status (0 when all went well).
    int release() {
        if (pid_ <= 0 || write(release_, "G", 1) != 1) return -1;
        close(release_);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

  private:
    pid_t pid_ = -1;
    int release_ = -1;
    bool ready_ = false;
};

// Whatever the modes, the second open waits until the holder has closed, so it never sees half
// of the holder's write and its own write never lands inside the holder's.
TEST_F(FileAccess, SecondOpenWaitsForTheHolder) {
    const char* const both = "first half,second half";
    const struct {
        int held;          // the holder's mode; it writes "first half," and then "second half"
        int wanted;        // this process's mode; it writes "+mine" unless reading
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
        const bool reader = c.held == kModeRead;
        Holder holder(c.held, reader ? "" : "first half,", reader ? "" : "second half");
        ASSERT_TRUE(holder.ready());
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
        EXPECT_EQ(0, holder.release());
        opener.join();
        ASSERT_EQ(kOpenOk, result.load());
        EXPECT_EQ(c.seen, seen);
        EXPECT_EQ(c.after, contents("shared"));
    }
}

TEST_F(FileAccess, WaitingEndsAtTheLimit) {
    put("shared", "");
    Holder holder(kModeUpdate, "", "");
    ASSERT_TRUE(holder.ready());
    set_lock_wait_limit(100);
    for (int mode : {kModeRead, kModeWrite}) {
        FileHandle h = handle_for("shared");
        EXPECT_EQ(kOpenLockTimeout, open_locked(h, mode, true, false)) << mode;
        EXPECT_EQ(0, h.state);
    }
    EXPECT_EQ(0, holder.release());
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

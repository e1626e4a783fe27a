// Locked opens across processes, their results, and the error log.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "data/file_access.h"
#include "data/session_state.h"

namespace {

class FileAccessTest : public ::testing::Test {
  protected:
    void SetUp() override {
        signal(SIGPIPE, SIG_IGN);  // a holder that failed early must not take the test down
        ASSERT_NE(getcwd(saved_, sizeof saved_), nullptr);
        char tmpl[] = "/tmp/bm_files_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        ASSERT_EQ(chdir(dir_.c_str()), 0);
    }
    void TearDown() override {
        set_lock_wait_limit(0);
        set_error_display(ErrorDisplay{});
        ASSERT_EQ(chdir(saved_), 0);
        std::string command = "rm -rf " + dir_;
        ASSERT_EQ(std::system(command.c_str()), 0);
    }
    char saved_[4096];
    std::string dir_;
};

FileHandle handle_for(const char* path) {
    FileHandle h;
    std::snprintf(h.path, sizeof h.path, "%s", path);
    return h;
}

std::string contents(const char* path) {
    std::string text;
    FILE* f = std::fopen(path, "rb");
    if (f == nullptr) return "<missing>";
    int c;
    while ((c = std::fgetc(f)) != EOF) text.push_back(static_cast<char>(c));
    std::fclose(f);
    return text;
}

void put(const char* path, const char* text) {
    FILE* f = std::fopen(path, "wb");
    ASSERT_NE(f, nullptr);
    std::fputs(text, f);
    std::fclose(f);
}

TEST_F(FileAccessTest, MissingFileInReadMode) {
    FileHandle h = handle_for("absent");
    EXPECT_EQ(open_locked(h, kModeRead, true, false), kOpenMissing);
    EXPECT_EQ(h.state, 0);
    EXPECT_EQ(h.fd, -1);
    EXPECT_EQ(access("absent", F_OK), -1);

    EXPECT_EQ(open_locked(h, kModeRead, true, true), 0);
    EXPECT_EQ(h.state, kModeRead + 1);
    EXPECT_EQ(h.binary, 1);
    ASSERT_NE(h.stream, nullptr);
    EXPECT_EQ(std::fgetc(h.stream), EOF);  // created empty
    close_locked(h);
    close_locked(h);  // twice is harmless
    EXPECT_EQ(h.state, 0);
    EXPECT_EQ(h.fd, -1);
    EXPECT_EQ(h.stream, nullptr);
    struct stat info {};
    ASSERT_EQ(stat("absent", &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(FileAccessTest, EachModeHasItsAccess) {
    struct Case {
        int mode;
        const char* after;  // file "abcdef" after writing "XY" through the stream
    };
    const Case cases[] = {
        {kModeWrite, "XY"},         // truncated
        {kModeAppend, "abcdefXY"},  // at the end
        {kModeUpdate, "XYcdef"},    // in place from the start
    };
    for (const Case& c : cases) {
        put("file", "abcdef");
        FileHandle h = handle_for("file");
        ASSERT_EQ(open_locked(h, c.mode, false, false), 0) << c.mode;
        EXPECT_EQ(h.state, c.mode + 1);
        EXPECT_EQ(h.binary, 0);
        std::fputs("XY", h.stream);
        close_locked(h);
        EXPECT_EQ(contents("file"), c.after) << c.mode;
    }
    put("file", "abcdef");
    FileHandle h = handle_for("file");
    ASSERT_EQ(open_locked(h, kModeRead, false, false), 0);
    EXPECT_EQ(write(h.fd, "XY", 2), -1);  // read only
    char first[4] = "";
    ASSERT_NE(std::fgets(first, sizeof first, h.stream), nullptr);
    EXPECT_STREQ(first, "abc");
    EXPECT_EQ(current_offset(h.fd), 6);  // the stream read ahead through the descriptor
    close_locked(h);
}

TEST_F(FileAccessTest, DirectoryHitsTheBoundOnUncountedErrors) {
    ASSERT_EQ(mkdir("folder", 0700), 0);
    for (int mode : {kModeRead, kModeWrite, kModeAppend, kModeUpdate}) {
        FileHandle h = handle_for("folder");
        EXPECT_EQ(open_locked(h, mode, true, true), kOpenBadPath) << mode;
        EXPECT_EQ(h.state, 0);
    }
}

TEST_F(FileAccessTest, PermissionDeniedRunsOutOfAttempts) {
    // Root opens any file, so the open runs in a child that has given up root.
    put("secret", "x");
    ASSERT_EQ(chmod("secret", 0), 0);
    ASSERT_EQ(chmod(".", 0755), 0);
    const passwd* nobody = getpwnam("nobody");
    if (geteuid() == 0 && nobody == nullptr) GTEST_SKIP() << "no unprivileged user to switch to";
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(nobody->pw_gid) != 0 ||
                               setuid(nobody->pw_uid) != 0)) {
            _exit(99);
        }
        FileHandle h = handle_for("secret");
        _exit(-open_locked(h, kModeRead, false, false));
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_NE(WEXITSTATUS(status), 99) << "could not switch to an unprivileged user";
    EXPECT_EQ(-WEXITSTATUS(status), kOpenAttemptsOut);
}

// A second process that opens the file, says so, and closes it when told.
class Holder {
  public:
    Holder(const char* path, int mode, const char* first, const char* second) {
        int ready[2], release[2];
        if (pipe(ready) != 0 || pipe(release) != 0) std::abort();
        pid_ = fork();
        if (pid_ == 0) {
            close(ready[0]);
            close(release[1]);
            FileHandle h = handle_for(path);
            if (open_locked(h, mode, true, true) != 0) _exit(1);
            if (*first != '\0' && write(h.fd, first, std::strlen(first)) < 0) _exit(2);
            if (write(ready[1], "R", 1) != 1) _exit(3);
            char go;
            if (read(release[0], &go, 1) != 1) _exit(4);
            if (*second != '\0' && write(h.fd, second, std::strlen(second)) < 0) _exit(5);
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
    bool ready() const { return ready_; }
    // Lets the holder finish and close; returns its exit status (0 when all went well).
    int release() {
        if (pid_ <= 0) return -1;
        if (write(release_, "G", 1) != 1) return -1;
        close(release_);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    ~Holder() {
        if (pid_ > 0) release();
    }

  private:
    pid_t pid_ = -1;
    int release_ = -1;
    bool ready_ = false;
};

// Waits (with a deadline) until this process has begun waiting for a lock.
bool wait_for_lock_wait(long before) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (lock_wait_count() == before) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

struct Contention {
    int held;            // mode of the process holding the file
    const char* first;   // what the holder writes before it is told to finish
    const char* second;  // and after
    int wanted;          // mode of this process's open, which writes "+mine" unless reading
    const char* seen;    // the file as this process finds it once open
    const char* after;   // the file at the end
};

class ContentionTest : public FileAccessTest, public ::testing::WithParamInterface<Contention> {};
void PrintTo(const Contention& c, std::ostream* os) {
    *os << c.held << " then " << c.wanted;
}

// Whatever the modes, the second open waits until the holder has closed, so it never sees half
// of the holder's write and its own write never lands inside the holder's.
TEST_P(ContentionTest, SecondOpenWaitsForTheHolder) {
    const Contention c = GetParam();
    put("shared", "");
    Holder holder("shared", c.held, c.first, c.second);
    ASSERT_TRUE(holder.ready());

    const long before = lock_wait_count();
    std::atomic<int> result{99};
    std::string seen;
    std::thread opener([&] {
        FileHandle h = handle_for("shared");
        result = open_locked(h, c.wanted, true, false);
        if (result == 0) {
            char buffer[64] = "";
            const ssize_t n = pread(h.fd, buffer, sizeof buffer - 1, 0);
            if (n > 0) seen.assign(buffer, static_cast<size_t>(n));
            if (c.wanted != kModeRead && write(h.fd, "+mine", 5) != 5) seen = "write failed";
            close_locked(h);
        }
    });
    EXPECT_TRUE(wait_for_lock_wait(before));
    EXPECT_EQ(result.load(), 99);  // still waiting
    EXPECT_EQ(holder.release(), 0);
    opener.join();
    ASSERT_EQ(result.load(), 0);
    EXPECT_EQ(seen, c.seen);
    EXPECT_EQ(contents("shared"), c.after);
}

constexpr const char* kA = "first half,";
constexpr const char* kB = "second half";

INSTANTIATE_TEST_SUITE_P(
    Modes, ContentionTest,
    ::testing::Values(Contention{kModeWrite, kA, kB, kModeRead, "first half,second half",
                                 "first half,second half"},
                      Contention{kModeAppend, kA, kB, kModeRead, "first half,second half",
                                 "first half,second half"},
                      Contention{kModeAppend, kA, kB, kModeAppend, "first half,second half",
                                 "first half,second half+mine"},
                      Contention{kModeUpdate, kA, kB, kModeAppend, "first half,second half",
                                 "first half,second half+mine"},
                      Contention{kModeAppend, kA, kB, kModeUpdate, "first half,second half",
                                 "+mine half,second half"},
                      Contention{kModeAppend, kA, kB, kModeWrite, "", "+mine"},
                      Contention{kModeRead, "", "", kModeWrite, "", "+mine"},
                      Contention{kModeRead, "", "", kModeRead, "", ""}),
    [](const ::testing::TestParamInfo<Contention>& info) {
        auto name = [](int mode) {
            return mode == kModeRead     ? "Read"
                   : mode == kModeWrite  ? "Write"
                   : mode == kModeAppend ? "Append"
                                         : "Update";
        };
        return std::string(name(info.param.held)) + "Then" + name(info.param.wanted);
    });

TEST_F(FileAccessTest, WaitingEndsAtTheLimit) {
    put("shared", "");
    Holder holder("shared", kModeUpdate, "", "");
    ASSERT_TRUE(holder.ready());
    set_lock_wait_limit(100);
    for (int mode : {kModeRead, kModeWrite}) {
        FileHandle h = handle_for("shared");
        EXPECT_EQ(open_locked(h, mode, true, false), kOpenLockTimeout) << mode;
        EXPECT_EQ(h.state, 0);
    }
    EXPECT_EQ(holder.release(), 0);
    FileHandle h = handle_for("shared");
    EXPECT_EQ(open_locked(h, kModeRead, true, false), 0);
    close_locked(h);
}

// What the display hooks saw.
std::string g_shown;
std::vector<int> g_pauses;
bool g_remote = false;

void record_show(const char* text) {
    g_shown += text;
}
void record_pause(int seconds) {
    g_pauses.push_back(seconds);
}
bool report_remote() {
    return g_remote;
}

TEST_F(FileAccessTest, LogEntriesRunTogetherWithoutLineEnds) {
    std::snprintf(g_session.today, sizeof g_session.today, "%s", "Mar 05 2024");
    std::snprintf(g_session.player.name, sizeof g_session.player.name, "%s", "ALICE");
    EXPECT_EQ(log_error(false, "first %d.", 1), 0);
    EXPECT_EQ(log_error(false, "%s", "second\n"), 0);
    const std::string long_text(700, 'z');
    EXPECT_EQ(log_error(false, "third %s", long_text.c_str()), 0);
    EXPECT_EQ(
        contents("quonda.err"),
        "Mar 05 2024   ALICE\nfirst 1.Mar 05 2024   ALICE\nsecond\nMar 05 2024   ALICE\nthird " +
            long_text);
    g_session.today[0] = '\0';
    g_session.player.name[0] = '\0';
}

TEST_F(FileAccessTest, LogShowsAndPausesThroughTheHooks) {
    struct Case {
        bool installed;
        bool remote;
        bool show;
        const char* shown;
        size_t pauses;
    };
    const Case cases[] = {
        {true, false, true, "Error [7] - x", 1},
        {true, true, true, "Error [7] - x", 1},
        {true, true, false, "", 1},
        {true, false, false, "", 0},
        {false, true, true, "", 0},
    };
    for (const Case& c : cases) {
        g_shown.clear();
        g_pauses.clear();
        g_remote = c.remote;
        ErrorDisplay display;
        if (c.installed) display = ErrorDisplay{record_show, record_pause, report_remote};
        set_error_display(display);
        log_error(c.show, "Error [%d] - %s", 7, "x");
        EXPECT_EQ(g_shown, c.shown);
        ASSERT_EQ(g_pauses.size(), c.pauses);
        if (c.pauses == 1) {
            EXPECT_EQ(g_pauses[0], 5);
        }
    }
    // Before the caller is known the entry has an empty date and name.
    std::string expected;
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) expected += "   \nError [7] - x";
    EXPECT_EQ(contents("quonda.err"), expected);
}

}  // namespace

// VirtualCaller: starts a door binary as a BBS does (node, drop-file directory, the caller's
// socket, or standard input and output on pipes or a pseudo-terminal, or locally on a
// pseudo-terminal), types keys, hangs up, and reads what the door sends into a VirtualScreen.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "screen.h"
#include "telnet_client.h"

enum class DropKind { kDoor32, kDoorSys, kDorinfo };

enum class Link {
    kSocket,    // one end of a socketpair, its number as argument 3 (telnet)
    kStdPipes,  // standard input and output are pipes, no argument 3
    kStdPty,    // standard input and output are a pseudo-terminal, no argument 3
    kLocal,     // no arguments at all: a local session on a pseudo-terminal
};

struct CallerOptions {
    std::string door;      // path of the door binary
    std::string work_dir;  // the door's working directory (must exist)
    Link link = Link::kSocket;
    int node = 1;
    DropKind drop = DropKind::kDoor32;
    bool crlf = true;              // line ends of the drop file
    bool lower_case_name = false;  // door32.sys instead of DOOR32.SYS
    std::string user_name = "Test Caller";
    int security = 10;
    int minutes = 60;
    std::string faketime;  // start the door's clock here: "YYYY-MM-DD hh:mm:ss"
    // Replaces the whole command line after the program name when set.
    bool use_args = false;
    std::vector<std::string> args;
    std::vector<std::pair<std::string, std::string>> env;  // extra environment
};

class VirtualCaller {
  public:
    explicit VirtualCaller(CallerOptions options);
    ~VirtualCaller();  // a door still running is killed
    VirtualCaller(const VirtualCaller&) = delete;
    VirtualCaller& operator=(const VirtualCaller&) = delete;

    // Writes the drop file and starts the door. False (with a test failure) when it cannot.
    bool start();
    // The directory holding the drop file.
    const std::string& drop_dir() const { return drop_dir_; }

    // Sends bytes in one write.
    void type(std::string_view bytes);
    // Sends bytes in pieces of piece_size, each written only after the door has read the one
    // before, so each piece reaches the door in a read of its own.
    void type_split(std::string_view bytes, size_t piece_size);
    // Waits (up to timeout_ms) until the door has read everything typed so far.
    bool wait_consumed(int timeout_ms = 5000);
    // The caller goes away: the socket or pseudo-terminal is closed.
    void hang_up();

    // Reads what the door sends until text shows on the screen (at row and column when they are
    // 0 or more, anywhere on the row when only the row is given) or the time runs out.
    bool wait_for(std::string_view text, int row = -1, int col = -1, int timeout_ms = 5000);
    // The same as an assertion: on failure it names expected and actual text and the screen.
    ::testing::AssertionResult shows(std::string_view text, int row = -1, int col = -1,
                                     int timeout_ms = 5000);
    // Reads output until none has arrived for timeout_ms (0: only what is there already).
    void drain(int timeout_ms);

    // Waits for the door to end; its exit code, 128 + signal number for a signal, -1 when it
    // did not end in time (it is then killed).
    int wait_exit(int timeout_ms = 10000);
    bool running();

    VirtualScreen& screen() { return screen_; }
    const std::string& raw_output() const { return raw_; }
    size_t bytes_received() const { return raw_.size(); }
    int telnet_commands() const { return receiver_.commands(); }
    std::string stderr_text();
    pid_t pid() const { return pid_; }
    // The terminal side of the pseudo-terminal (kStdPty and kLocal), held open by the caller.
    int pty_slave() const { return slave_fd_; }

  private:
    bool write_drop_file();
    bool read_some(int timeout_ms);
    void collect_stderr();

    CallerOptions options_;
    std::string drop_dir_;
    pid_t pid_ = -1;
    int status_ = 0;
    bool exited_ = false;
    int in_fd_ = -1;     // we write keys here
    int out_fd_ = -1;    // we read the door's output here
    int slave_fd_ = -1;  // pty terminal side, kept open to watch its settings
    int err_fd_ = -1;    // the door's standard error
    std::string raw_;    // everything received, as sent
    std::string err_;
    TelnetReceiver receiver_;
    VirtualScreen screen_;
};

// A fresh empty directory under the build tree for one test; removed by the caller's test.
std::string make_temp_dir(const std::string& tag);
void remove_tree(const std::string& path);

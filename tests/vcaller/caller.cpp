// The virtual caller: a door started as a BBS starts it, driven through its connection.
#include "caller.h"

#include <fcntl.h>
#include <linux/sockios.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kFaketimeLibrary = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1";

int ms_left(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

// Cells a UTF-8 text takes on the screen (one per code point; CP437 glyphs are all narrow).
int cell_count(std::string_view text) {
    int cells = 0;
    for (char c : text) cells += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return cells;
}

}  // namespace

std::string make_temp_dir(const std::string& tag) {
    std::string name = "/tmp/bullmoor-" + tag + "-XXXXXX";
    return mkdtemp(name.data()) == nullptr ? "" : name;
}

void remove_tree(const std::string& path) {
    std::error_code ignored;
    if (!path.empty()) std::filesystem::remove_all(path, ignored);
}

VirtualCaller::VirtualCaller(CallerOptions options) : options_(std::move(options)) {}

VirtualCaller::~VirtualCaller() {
    if (pid_ > 0 && !exited_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status_, 0);
    }
    hang_up();
    if (slave_fd_ >= 0) close(slave_fd_);
    if (err_fd_ >= 0) close(err_fd_);
}

bool VirtualCaller::write_drop_file() {
    const auto& o = options_;
    drop_dir_ = o.work_dir + "/node" + std::to_string(o.node);
    mkdir(drop_dir_.c_str(), 0755);
    const std::string& name = o.user_name;
    size_t space = name.find(' ');
    std::string first = name.substr(0, space);
    std::string last = space == std::string::npos ? "" : name.substr(space + 1);
    std::string security = std::to_string(o.security), minutes = std::to_string(o.minutes);
    std::string node = std::to_string(o.node), kind = o.link == Link::kSocket ? "2" : "0";
    std::vector<std::string> lines;
    std::string file;
    switch (o.drop) {
        case DropKind::kDoor32:
            file = "DOOR32.SYS";
            lines = {kind,    "0", "38400", "Test BBS 1.0", "7", name, name, security,
                     minutes, "1", node};
            break;
        case DropKind::kDoorSys:
            file = "DOOR.SYS";
            lines = {
                "COM1:", "38400", "8",      node, "38400",       "Y",
                "Y",     "Y",     "Y",      name, "Springfield", "0",
                "0",     "0",     security, "0",  "0",           std::to_string(o.minutes * 60),
                minutes, "GR",    "24"};
            lines.resize(35, "0");
            lines.push_back(name);
            lines.resize(52, "0");
            break;
        case DropKind::kDorinfo:
            file = "DORINFO1.DEF";
            lines = {"Test BBS", "Sys",   "Op", "COM1",    "38400 BAUD,N,8,1",
                     "0",        first,   last, "Nowhere", "1",
                     security,   minutes, "-1"};
            break;
    }
    for (char& c : file) c = o.lower_case_name ? static_cast<char>(std::tolower(c)) : c;
    std::ofstream out(drop_dir_ + "/" + file, std::ios::binary);
    for (const auto& line : lines) out << line << (o.crlf ? "\r\n" : "\n");
    return static_cast<bool>(out);
}

bool VirtualCaller::start() {
    if (options_.link != Link::kLocal && !write_drop_file()) {
        ADD_FAILURE() << "cannot write the drop file in " << drop_dir_;
        return false;
    }
    int door_in = -1, door_out = -1, door_socket = -1;
    int err_pipe[2];
    if (pipe(err_pipe) != 0) return false;
    err_fd_ = err_pipe[0];
    std::string slave_name;
    bool pty = options_.link == Link::kStdPty || options_.link == Link::kLocal;
    if (options_.link == Link::kSocket) {
        int fds[2];
        if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) return false;
        in_fd_ = out_fd_ = fds[0];
        door_socket = fds[1];
    } else if (options_.link == Link::kStdPipes) {
        int to_door[2], from_door[2];
        if (pipe(to_door) != 0 || pipe(from_door) != 0) return false;
        door_in = to_door[0];
        in_fd_ = to_door[1];
        out_fd_ = from_door[0];
        door_out = from_door[1];
    } else {
        int master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return false;
        slave_name = ptsname(master);
        in_fd_ = out_fd_ = master;
        slave_fd_ = open(slave_name.c_str(), O_RDWR | O_NOCTTY);
        winsize size{VirtualScreen::kRows, VirtualScreen::kColumns, 0, 0};
        ioctl(master, TIOCSWINSZ, &size);
    }

    std::vector<std::string> args = {options_.door};
    if (options_.use_args) {
        args.insert(args.end(), options_.args.begin(), options_.args.end());
    } else if (options_.link != Link::kLocal) {
        args.insert(args.end(), {std::to_string(options_.node), drop_dir_});
        if (options_.link == Link::kSocket) args.push_back(std::to_string(door_socket));
    }
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
    for (const auto& [key, value] : options_.env) env.push_back(key + "=" + value);
    if (!options_.faketime.empty()) {
        env.insert(env.end(), {std::string("LD_PRELOAD=") + kFaketimeLibrary,
                               "FAKETIME=@" + options_.faketime, "DONT_FAKE_MONOTONIC=1"});
    }
    std::vector<char*> argv, envp;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    pid_ = fork();
    if (pid_ < 0) return false;
    if (pid_ == 0) {
        setsid();
        int null_fd = open("/dev/null", O_RDWR);
        int stdin_fd = door_in >= 0 ? door_in : null_fd;  // pipes only for kStdPipes
        int stdout_fd = door_out >= 0 ? door_out : null_fd;
        if (pty) {
            stdin_fd = stdout_fd = open(slave_name.c_str(), O_RDWR);  // the controlling terminal
            ioctl(stdin_fd, TIOCSCTTY, 0);
        }
        dup2(stdin_fd, 0);
        dup2(stdout_fd, 1);
        dup2(err_pipe[1], 2);
        for (int fd = 3; fd < 1024; ++fd) close(fd == door_socket ? -1 : fd);
        if (chdir(options_.work_dir.c_str()) != 0) _exit(127);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(err_pipe[1]);
    for (int fd : {door_in, door_out, door_socket}) close(fd);  // -1 ones are no-ops
    for (int fd : {out_fd_, err_fd_}) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    return true;
}

void VirtualCaller::type(std::string_view bytes) {
    while (!bytes.empty() && in_fd_ >= 0) {
        ssize_t n = options_.link == Link::kSocket
                        ? send(in_fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL)
                        : write(in_fd_, bytes.data(), bytes.size());
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
            if (errno == EAGAIN) read_some(10);  // the door may be waiting for us to read first
            continue;
        }
        if (n <= 0) return;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
}

bool VirtualCaller::wait_consumed(int timeout_ms) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        int unread = 0;
        bool socket = options_.link == Link::kSocket;
        ioctl(socket || options_.link == Link::kStdPipes ? in_fd_ : slave_fd_,
              socket ? SIOCOUTQ : FIONREAD, &unread);
        if (unread == 0) return true;
        if (Clock::now() >= deadline) return false;
        read_some(5);  // keep the door's output moving while it reads
    }
}

void VirtualCaller::type_split(std::string_view bytes, size_t piece_size) {
    while (!bytes.empty()) {
        size_t n = std::min(std::max<size_t>(piece_size, 1), bytes.size());
        if (!wait_consumed()) ADD_FAILURE() << "the door stopped reading keys";
        type(bytes.substr(0, n));
        bytes.remove_prefix(n);
        if (!wait_consumed()) ADD_FAILURE() << "the door stopped reading keys";
    }
}

void VirtualCaller::hang_up() {
    if (in_fd_ >= 0) close(in_fd_);
    if (out_fd_ >= 0 && out_fd_ != in_fd_) close(out_fd_);
    in_fd_ = out_fd_ = -1;
}

void VirtualCaller::collect_stderr() {
    if (err_fd_ < 0) return;
    char buffer[1024];
    ssize_t n;
    while ((n = read(err_fd_, buffer, sizeof buffer)) > 0) err_.append(buffer, size_t(n));
    if (n == 0) {
        close(err_fd_);
        err_fd_ = -1;
    }
}

bool VirtualCaller::read_some(int timeout_ms) {
    collect_stderr();
    if (out_fd_ < 0) {
        if (timeout_ms > 0) poll(nullptr, 0, timeout_ms);
        return false;
    }
    pollfd p{out_fd_, POLLIN, 0};
    if (poll(&p, 1, timeout_ms) <= 0) return false;
    char buffer[8192];
    ssize_t n = read(out_fd_, buffer, sizeof buffer);
    if (n <= 0) {
        if (n == 0 || (errno != EAGAIN && errno != EINTR)) {  // EIO: the pty's door has gone
            close(out_fd_);
            if (in_fd_ == out_fd_) in_fd_ = -1;
            out_fd_ = -1;
        }
        return false;
    }
    std::string_view chunk(buffer, static_cast<size_t>(n));
    raw_.append(chunk);
    std::string data;
    if (options_.link == Link::kSocket) receiver_.feed(chunk, data);
    screen_.feed(options_.link == Link::kSocket ? std::string_view(data) : chunk);
    return true;
}

void VirtualCaller::drain(int timeout_ms) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (read_some(ms_left(deadline))) continue;
}

bool VirtualCaller::wait_for(std::string_view text, int row, int col, int timeout_ms) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    auto found = [&] {
        if (row >= 0 && col >= 0) return screen_.text(row, col, cell_count(text)) == text;
        if (row >= 0) return screen_.row(row).find(text) != std::string::npos;
        return screen_.contains(text);
    };
    for (;;) {
        if (found()) return true;
        if (ms_left(deadline) == 0) return false;
        if (out_fd_ < 0) return found();  // nothing more will come
        read_some(ms_left(deadline));
    }
}

::testing::AssertionResult VirtualCaller::shows(std::string_view text, int row, int col,
                                                int timeout_ms) {
    if (wait_for(text, row, col, timeout_ms)) return ::testing::AssertionSuccess();
    auto failure = ::testing::AssertionFailure() << "expected \"" << text << "\"";
    if (row >= 0 && col >= 0) {
        failure << " at row " << row << ", column " << col << "\n  actual   \""
                << screen_.text(row, col, cell_count(text)) << "\"";
    } else if (row >= 0) {
        failure << " on row " << row << "\n  actual   \"" << screen_.row(row) << "\"";
    } else {
        failure << " anywhere on the screen";
    }
    failure << "\n" << screen_.dump();
    if (!err_.empty()) failure << "door's standard error: " << err_;
    return failure;
}

bool VirtualCaller::running() {
    if (pid_ <= 0 || exited_) return false;
    if (waitpid(pid_, &status_, WNOHANG) == pid_) exited_ = true;
    return !exited_;
}

int VirtualCaller::wait_exit(int timeout_ms) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (running()) {
        if (ms_left(deadline) == 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status_, 0);
            exited_ = true;
            return -1;
        }
        read_some(std::min(20, ms_left(deadline)));  // keeps the door's output flowing
    }
    drain(0);
    collect_stderr();
    if (WIFEXITED(status_)) return WEXITSTATUS(status_);
    if (WIFSIGNALED(status_)) return 128 + WTERMSIG(status_);
    return -1;
}

std::string VirtualCaller::stderr_text() {
    collect_stderr();
    return err_;
}

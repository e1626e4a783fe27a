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
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
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
    std::string pattern = "/tmp/bullmoor-" + tag + "-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (mkdtemp(name.data()) == nullptr) return "";
    return name.data();
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
    if (in_fd_ >= 0) close(in_fd_);
    if (out_fd_ >= 0 && out_fd_ != in_fd_) close(out_fd_);
    if (slave_fd_ >= 0) close(slave_fd_);
    if (err_fd_ >= 0) close(err_fd_);
}

bool VirtualCaller::write_drop_file() {
    drop_dir_ = options_.work_dir + "/node" + std::to_string(options_.node);
    mkdir(drop_dir_.c_str(), 0755);
    const auto& o = options_;
    std::string name = o.user_name;
    std::string first = name.substr(0, name.find(' '));
    std::string last = name.find(' ') == std::string::npos ? "" : name.substr(name.find(' ') + 1);
    std::vector<std::string> lines;
    std::string file;
    switch (o.drop) {
        case DropKind::kDoor32:
            file = "DOOR32.SYS";
            lines = {o.link == Link::kSocket ? "2" : "0",
                     "0",
                     "38400",
                     "Test BBS 1.0",
                     "7",
                     name,
                     name,
                     std::to_string(o.security),
                     std::to_string(o.minutes),
                     "1",
                     std::to_string(o.node)};
            break;
        case DropKind::kDoorSys:
            file = "DOOR.SYS";
            lines.assign(52, "0");
            lines[0] = "COM1:";
            lines[1] = "38400";
            lines[2] = "8";
            lines[3] = std::to_string(o.node);
            lines[4] = "38400";
            lines[5] = lines[6] = lines[7] = lines[8] = "Y";
            lines[9] = name;
            lines[10] = "Springfield";
            lines[14] = std::to_string(o.security);
            lines[17] = std::to_string(o.minutes * 60);
            lines[18] = std::to_string(o.minutes);
            lines[19] = "GR";
            lines[20] = "24";
            lines[35] = name;
            break;
        case DropKind::kDorinfo:
            file = "DORINFO1.DEF";
            lines = {"Test BBS",
                     "Sys",
                     "Op",
                     "COM1",
                     "38400 BAUD,N,8,1",
                     "0",
                     first,
                     last,
                     "Nowhere",
                     "1",
                     std::to_string(o.security),
                     std::to_string(o.minutes),
                     "-1"};
            break;
    }
    if (o.lower_case_name) {
        for (char& c : file) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
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
    switch (options_.link) {
        case Link::kSocket: {
            int fds[2];
            if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) return false;
            in_fd_ = out_fd_ = fds[0];
            door_socket = fds[1];
            break;
        }
        case Link::kStdPipes: {
            int to_door[2], from_door[2];
            if (pipe(to_door) != 0 || pipe(from_door) != 0) return false;
            in_fd_ = to_door[1];
            door_in = to_door[0];
            out_fd_ = from_door[0];
            door_out = from_door[1];
            break;
        }
        case Link::kStdPty:
        case Link::kLocal: {
            int master = posix_openpt(O_RDWR | O_NOCTTY);
            if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return false;
            slave_name = ptsname(master);
            in_fd_ = out_fd_ = master;
            slave_fd_ = open(slave_name.c_str(), O_RDWR | O_NOCTTY);
            winsize size{VirtualScreen::kRows, VirtualScreen::kColumns, 0, 0};
            ioctl(master, TIOCSWINSZ, &size);
            break;
        }
    }

    std::vector<std::string> args = {options_.door};
    if (options_.use_args) {
        args.insert(args.end(), options_.args.begin(), options_.args.end());
    } else if (options_.link != Link::kLocal) {
        args.push_back(std::to_string(options_.node));
        args.push_back(drop_dir_);
        if (options_.link == Link::kSocket) args.push_back(std::to_string(door_socket));
    }
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
    for (const auto& [key, value] : options_.env) env.push_back(key + "=" + value);
    if (!options_.faketime.empty()) {
        env.push_back(std::string("LD_PRELOAD=") + kFaketimeLibrary);
        env.push_back("FAKETIME=@" + options_.faketime);
        env.push_back("DONT_FAKE_MONOTONIC=1");
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
        int stdin_fd = null_fd, stdout_fd = null_fd;
        if (options_.link == Link::kStdPipes) {
            stdin_fd = door_in;
            stdout_fd = door_out;
        } else if (options_.link == Link::kStdPty || options_.link == Link::kLocal) {
            int tty = open(slave_name.c_str(), O_RDWR);  // becomes the controlling terminal
            ioctl(tty, TIOCSCTTY, 0);
            stdin_fd = stdout_fd = tty;
        }
        dup2(stdin_fd, 0);
        dup2(stdout_fd, 1);
        dup2(err_pipe[1], 2);
        for (int fd = 3; fd < 1024; ++fd) {
            if (fd != door_socket) close(fd);
        }
        if (chdir(options_.work_dir.c_str()) != 0) _exit(127);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(err_pipe[1]);
    for (int fd : {door_in, door_out, door_socket}) {
        if (fd >= 0) close(fd);
    }
    fcntl(out_fd_, F_SETFL, fcntl(out_fd_, F_GETFL) | O_NONBLOCK);
    fcntl(err_fd_, F_SETFL, fcntl(err_fd_, F_GETFL) | O_NONBLOCK);
    return true;
}

void VirtualCaller::type(std::string_view bytes) {
    while (!bytes.empty() && in_fd_ >= 0) {
        ssize_t n = options_.link == Link::kSocket
                        ? send(in_fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL)
                        : write(in_fd_, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) {
            read_some(10);  // the door may be waiting for us to read first
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
        switch (options_.link) {
            case Link::kSocket:
                ioctl(in_fd_, SIOCOUTQ, &unread);
                break;
            case Link::kStdPipes:
                ioctl(in_fd_, FIONREAD, &unread);
                break;
            default:
                ioctl(slave_fd_, FIONREAD, &unread);
                break;
        }
        if (unread == 0) return true;
        if (Clock::now() >= deadline) return false;
        read_some(5);  // keep the door's output moving while it reads
    }
}

void VirtualCaller::type_split(std::string_view bytes, size_t piece_size) {
    if (piece_size == 0) piece_size = 1;
    while (!bytes.empty()) {
        size_t n = std::min(piece_size, bytes.size());
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
    for (;;) {
        ssize_t n = read(err_fd_, buffer, sizeof buffer);
        if (n <= 0) {
            if (n == 0) {
                close(err_fd_);
                err_fd_ = -1;
            }
            return;
        }
        err_.append(buffer, static_cast<size_t>(n));
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
        if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            // end of output (EIO on a pseudo-terminal once the door has gone)
            close(out_fd_);
            if (in_fd_ == out_fd_) in_fd_ = -1;
            out_fd_ = -1;
        }
        return false;
    }
    std::string_view chunk(buffer, static_cast<size_t>(n));
    raw_.append(chunk);
    if (options_.link == Link::kSocket) {
        std::string data;
        receiver_.feed(chunk, data);
        screen_.feed(data);
    } else {
        screen_.feed(chunk);
    }
    return true;
}

void VirtualCaller::drain(int timeout_ms) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (read_some(ms_left(deadline))) {
    }
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
    auto failure = ::testing::AssertionFailure();
    failure << "expected \"" << text << "\"";
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

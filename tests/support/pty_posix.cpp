#include "support/child_posix.h"
#include "support/pty.h"

#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
// forkpty() is declared in <pty.h> (glibc, musl) or <util.h> (BSD, macOS).
#ifdef SUITE_HAVE_PTY_H
#include <pty.h>
#else
#include <util.h>
#endif

#include <cerrno>
#include <chrono>
#include <cstring>

namespace testsupport {
namespace {

using Clock = std::chrono::steady_clock;

int ms_until(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

PtySession::~PtySession() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        reap(true);
    }
    if (master_ >= 0) ::close(master_);
}

bool PtySession::start(const std::string& program, const std::vector<std::string>& args,
                       const std::vector<std::string>& env, const std::string& cwd, int columns, int rows) {
    ChildCommand command = child_command(program, args, env);

    winsize size = {};
    size.ws_col = static_cast<unsigned short>(columns);
    size.ws_row = static_cast<unsigned short>(rows);
    pid_ = ::forkpty(&master_, nullptr, nullptr, &size);
    if (pid_ < 0) return false;
    if (pid_ == 0) {
        if (!cwd.empty() && ::chdir(cwd.c_str()) != 0) ::_exit(126);
        ::execve(command.argv[0], command.argv.data(), command.envp.data());
        ::_exit(127);
    }
    return true;
}

bool PtySession::read_some(int timeout_ms) {
    if (master_ < 0) return false;
    pollfd fd = {master_, POLLIN, 0};
    int ready = ::poll(&fd, 1, timeout_ms);
    if (ready <= 0) return false;
    char buffer[65536];
    ssize_t got = ::read(master_, buffer, sizeof buffer);
    if (got > 0) {
        for (ssize_t i = 0; i < got; ++i)
            if (buffer[i] != '\r') shown_ += buffer[i];
        return true;
    }
    if (got < 0 && errno == EINTR) return false;
    // EIO: every holder of the terminal's other side has closed it.
    ::close(master_);
    master_ = -1;
    return false;
}

void PtySession::reap(bool block) {
    if (pid_ <= 0) return;
    int status = 0;
    pid_t done = ::waitpid(pid_, &status, block ? 0 : WNOHANG);
    if (done != pid_) return;
    pid_ = -1;
    if (WIFEXITED(status))
        exit_code_ = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        exit_code_ = 128 + WTERMSIG(status);
}

bool PtySession::wait_for(const std::string& text, int timeout_ms) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    std::size_t from = 0;
    for (;;) {
        if (shown_.find(text, from) != std::string::npos) return true;
        if (shown_.size() >= text.size()) from = shown_.size() - text.size();
        if (master_ < 0 || Clock::now() >= deadline) return false;
        read_some(ms_until(deadline));
    }
}

bool PtySession::wait_quiet(int quiet_ms, int timeout_ms) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    auto last_growth = Clock::now();
    for (;;) {
        if (master_ < 0) return false;
        reap(false);
        if (pid_ <= 0) return false;
        if (Clock::now() - last_growth >= std::chrono::milliseconds(quiet_ms)) return true;
        if (Clock::now() >= deadline) return false;
        if (read_some(20)) last_growth = Clock::now();
    }
}

void PtySession::pump(int ms) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    while (master_ >= 0 && Clock::now() < deadline) read_some(ms_until(deadline));
}

void PtySession::send(const std::string& keys) {
    if (master_ < 0) return;
    std::size_t done = 0;
    while (done < keys.size()) {
        ssize_t put = ::write(master_, keys.data() + done, keys.size() - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return;
        done += static_cast<std::size_t>(put);
    }
}

void PtySession::signal(int number) {
    if (pid_ > 0) ::kill(pid_, number);
}

int PtySession::wait_exit(int timeout_ms) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    // Output is read to the end first: a program blocked on a full terminal
    // would never exit.
    while (master_ >= 0 && Clock::now() < deadline) read_some(ms_until(deadline));
    while (pid_ > 0 && Clock::now() < deadline) {
        reap(false);
        if (pid_ > 0) ::usleep(2000);
    }
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        reap(true);
        return -1;
    }
    return exit_code_;
}

}  // namespace testsupport

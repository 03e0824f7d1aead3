#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "support/child_posix.h"
#include "support/process.h"

namespace testsupport {
namespace {

bool make_pipe(int fds[2]) {
    if (::pipe(fds) != 0) return false;
    ::fcntl(fds[0], F_SETFD, FD_CLOEXEC);
    ::fcntl(fds[1], F_SETFD, FD_CLOEXEC);
    return true;
}

int exit_code_of(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

}  // namespace

RunResult run(const std::string& program, const std::vector<std::string>& args, const RunOptions& options) {
    RunResult result;
    // Everything the child needs is built before fork: no allocation after it.
    ChildCommand command = child_command(program, args, options.env);

    int out_pipe[2], err_pipe[2];
    if (!make_pipe(out_pipe)) return result;
    if (!make_pipe(err_pipe)) {
        ::close(out_pipe[0]);
        ::close(out_pipe[1]);
        return result;
    }
    const char* cwd = options.cwd.empty() ? nullptr : options.cwd.c_str();
    const char* input = options.input_file.empty() ? "/dev/null" : options.input_file.c_str();
    pid_t pid = ::fork();
    if (pid == 0) {
        // No controlling terminal: the program sees no keyboard at all.
        ::setsid();
        int input_fd = ::open(input, O_RDONLY);
        ::dup2(input_fd, 0);
        ::dup2(options.output_file.empty() ? out_pipe[1] : ::open(options.output_file.c_str(), O_WRONLY), 1);
        ::dup2(err_pipe[1], 2);
        if (cwd && ::chdir(cwd) != 0) ::_exit(126);
        ::signal(SIGPIPE, SIG_DFL);
        ::execve(command.argv[0], command.argv.data(), command.envp.data());
        ::_exit(127);
    }
    ::close(out_pipe[1]);
    ::close(err_pipe[1]);
    if (pid < 0) {
        ::close(out_pipe[0]);
        ::close(err_pipe[0]);
        return result;
    }

    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(options.timeout_ms);
    pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open_count = 2;
    char buffer[65536];
    while (open_count > 0) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            result.timed_out = true;
            break;
        }
        int ready = ::poll(fds, 2, static_cast<int>(left.count()));
        if (ready < 0 && errno != EINTR) break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            const std::size_t room = i == 0 ? options.output_limit - result.out.size() : sizeof buffer;
            ssize_t got = ::read(fds[i].fd, buffer, std::min(sizeof buffer, room));
            if (got > 0) sinks[i]->append(buffer, static_cast<std::size_t>(got));
            const bool reader_gone = i == 0 && result.out.size() >= options.output_limit;
            if (reader_gone || got == 0 || (got < 0 && errno != EINTR)) {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open_count;
            }
        }
    }
    for (pollfd& fd : fds)
        if (fd.fd >= 0) ::close(fd.fd);

    int status = 0;
    while (!result.timed_out) {
        pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            result.exit_code = exit_code_of(status);
            return result;
        }
        if (done < 0 && errno != EINTR) return result;
        if (Clock::now() >= deadline) {
            result.timed_out = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ::kill(-pid, SIGKILL);
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    result.exit_code = exit_code_of(status);
    return result;
}

}  // namespace testsupport

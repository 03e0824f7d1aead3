// Drives a program through a pseudo-terminal, as a user at a keyboard would:
// start it, read what the screen shows, wait for text, type keys, wait for
// the exit code. POSIX only.
#pragma once
#include <string>
#include <vector>

#include <sys/types.h>

namespace testsupport {

class PtySession {
public:
    PtySession() = default;
    ~PtySession();
    PtySession(const PtySession&) = delete;
    PtySession& operator=(const PtySession&) = delete;

    // Starts program with args on a terminal of the given size; env entries
    // and cwd as in RunOptions (locale and fault variables are not inherited).
    bool start(const std::string& program, const std::vector<std::string>& args, const std::vector<std::string>& env,
               const std::string& cwd, int columns = 80, int rows = 24);

    // Reads until text appears in the output; false after timeout_ms.
    bool wait_for(const std::string& text, int timeout_ms = 10000);
    // Reads until the output has not grown for quiet_ms; false when the
    // program ended or timeout_ms passed first.
    bool wait_quiet(int quiet_ms, int timeout_ms = 10000);
    // Reads whatever arrives within ms.
    void pump(int ms);
    // Types keys: each byte is one key ("\x1b" is ESC).
    void send(const std::string& keys);
    // Sends the program a signal (SIGTERM, SIGHUP), as another process would.
    void signal(int number);
    // Waits for the program to end, reading its output to the end; its exit
    // code, or -1 when it had to be killed after timeout_ms.
    int wait_exit(int timeout_ms = 10000);

    // Everything shown so far, with the terminal's carriage returns removed.
    const std::string& output() const { return shown_; }
    bool running() const { return pid_ > 0; }

private:
    bool read_some(int timeout_ms);
    void reap(bool block);

    int master_ = -1;
    pid_t pid_ = -1;
    int exit_code_ = -1;
    std::string shown_;
};

}  // namespace testsupport

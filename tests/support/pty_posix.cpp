#include "support/child_posix.h"
#include "support/process.h"
#include "support/pty.h"

#include <iconv.h>
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
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace testsupport {
namespace {

using Clock = std::chrono::steady_clock;

int ms_until(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// The Windows build tree and the runner, or empty.
const char* wine_build() {
    static const char* build = std::getenv("SUITE_PTY_RUNNER") ? std::getenv("SUITE_PTY_BUILD") : nullptr;
    return build;
}

// How Wine's console shows a byte of its code page 437 on the terminal.
const std::string& shown_byte(unsigned char byte) {
    static const std::vector<std::string> table = [] {
        std::vector<std::string> out(256);
        iconv_t converter = iconv_open("UTF-8", "CP437");
        for (int i = 0; i < 256; ++i) {
            char in = static_cast<char>(i), utf8[8];
            char* in_ptr = &in;
            char* out_ptr = utf8;
            std::size_t in_left = 1, out_left = sizeof utf8;
            if (i < 0x80 || converter == reinterpret_cast<iconv_t>(-1) ||
                iconv(converter, &in_ptr, &in_left, &out_ptr, &out_left) == static_cast<std::size_t>(-1))
                out[i] = std::string(1, in);
            else
                out[i] = std::string(utf8, out_ptr);
        }
        if (converter != reinterpret_cast<iconv_t>(-1)) iconv_close(converter);
        return out;
    }();
    return table[byte];
}

}  // namespace

bool terminal_under_wine() { return wine_build() != nullptr; }

std::string terminal_program(const std::string& name) {
    // Test helpers are built beside the test programs, the suite's in bin/.
    const bool helper = name == "kesto_prompt";
    if (!terminal_under_wine()) return helper ? std::string(SUITE_TESTS_DIR) + "/" + name : program_path(name);
    return std::string(wine_build()) + (helper ? "/tests/" : "/bin/") + name + ".exe";
}

std::string terminal_path(std::string path) {
    if (terminal_under_wine())
        for (char& c : path)
            if (c == '/') c = '\\';
    return path;
}

std::string terminal_screen(std::string_view text) {
    if (!terminal_under_wine()) return std::string(text);
    std::string shown;
    for (char c : text)
        if (c != '\a') shown += shown_byte(static_cast<unsigned char>(c));
    ScreenText screen;
    screen.add(shown);
    return screen.text();
}

void ScreenText::add(std::string_view bytes) {
    for (char c : bytes) {
        if (partial_.empty()) {
            if (c == '\x1b')
                partial_ = c;
            else if (c == '\n')
                end_row();
            else if (c == '\r')
                column_ = 0;
            else
                put(c);
            continue;
        }
        partial_ += c;
        if (partial_.size() == 2) {
            // Escapes other than a control sequence or a window title show nothing.
            if (c != '[' && c != ']') partial_.clear();
        } else if (partial_[1] == '[') {
            if (c >= 0x40 && c <= 0x7E) {
                control_sequence(std::string_view(partial_).substr(2, partial_.size() - 3), c);
                partial_.clear();
            }
        } else if (c == '\a' || (c == '\\' && partial_[partial_.size() - 2] == '\x1b')) {
            partial_.clear();  // the window title: ESC ] ... BEL, or ESC ] ... ESC and a backslash
        }
    }
}

std::string ScreenText::text() const {
    std::string out = text_;
    Marks marks = marks_;
    for (const Cell& cell : row_) write(out, marks, cell);
    close(out, marks);
    return out;
}

void ScreenText::write(std::string& out, Marks& marks, const Cell& cell) {
    if (cell.look != marks.look) {
        close(out, marks);
        if (cell.look != 0) out += cell.look == 1 ? "\x1b[7m" : "\x1b[?m";
        marks.look = cell.look;
    }
    out += marks.held;
    marks.held.clear();
    out += cell.byte;
}

void ScreenText::line_feed(std::string& out, Marks& marks) {
    if (marks.look != 0)
        marks.held += '\n';
    else
        out += '\n';
}

void ScreenText::close(std::string& out, Marks& marks) {
    if (marks.look != 0) out += "\x1b[27m";
    marks.look = 0;
    out += marks.held;
    marks.held.clear();
}

void ScreenText::put(char c) {
    if (column_ < row_.size())
        row_[column_] = {c, look_};
    else
        row_.push_back({c, look_});
    ++column_;
}

// The width PtySession gives the terminal.
constexpr std::size_t SCREEN_COLUMNS = 80;

void ScreenText::end_row() {
    // Blanks at the end of a row do not show (the console does not draw them).
    while (!row_.empty() && row_.back().byte == ' ' && row_.back().look == 0) row_.pop_back();
    std::size_t columns = 0;
    for (const Cell& cell : row_) {
        write(text_, marks_, cell);
        // UTF-8 continuation bytes take no column.
        if ((static_cast<unsigned char>(cell.byte) & 0xC0) != 0x80) ++columns;
    }
    if (columns != SCREEN_COLUMNS) line_feed(text_, marks_);
    row_.clear();
    column_ = 0;
}

void ScreenText::control_sequence(std::string_view parameters, char final) {
    if (final == 'm') {
        set_attributes(parameters);
    } else if (final == 'C') {
        // The console moves over blank cells instead of writing them.
        const int cells = parameters.empty() ? 1 : std::atoi(std::string(parameters).c_str());
        for (int i = 0; i < cells; ++i) put(' ');
    } else if (final == 'K') {
        if (column_ < row_.size()) row_.resize(column_);
    } else if (parameters == "?25") {
        // Hiding and showing the cursor.
    } else {
        for (char c : "\x1b[" + std::string(parameters) + final) put(c);
    }
}

// Reverse video is the program's own "7" or the console's white on grey
// (90 on 107): Wine draws the inverted default colours (grey on black)
// that way. Anything else but the default colours counts as other colours.
void ScreenText::set_attributes(std::string_view parameters) {
    bool reverse = look_ == 1 && foreground_ == 0 && background_ == 0;
    std::size_t at = 0;
    do {
        const std::size_t end = std::min(parameters.find(';', at), parameters.size());
        const int code = std::atoi(std::string(parameters.substr(at, end - at)).c_str());
        if (code == 0) {
            reverse = false;
            foreground_ = background_ = 0;
        } else if (code == 7 || code == 27) {
            reverse = code == 7;
        } else if ((code >= 30 && code <= 37) || (code >= 90 && code <= 97) || code == 39) {
            foreground_ = code == 39 || code == 37 ? 0 : code;
        } else if ((code >= 40 && code <= 47) || (code >= 100 && code <= 107) || code == 49) {
            background_ = code == 49 || code == 40 ? 0 : code;
        } else {
            foreground_ = -1;
        }
        at = end + 1;
    } while (at <= parameters.size());
    look_ = 2;
    if (foreground_ == 0 && background_ == 0) look_ = reverse ? 1 : 0;
    if (!reverse && foreground_ == 90 && background_ == 107) look_ = 1;
}

PtySession::~PtySession() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        reap(true);
    }
    if (master_ >= 0) ::close(master_);
}

bool PtySession::start(const std::string& program, const std::vector<std::string>& args,
                       const std::vector<std::string>& env, const std::string& cwd, int columns, int rows) {
    wine_ = terminal_under_wine();
    std::vector<std::string> wine_args, wine_env = env;
    if (wine_) {
        wine_args.push_back(program);
        wine_args.insert(wine_args.end(), args.begin(), args.end());
        // Wine writes the console to the terminal in the locale's character
        // set: in the C locale a character beyond ASCII would show as "?".
        for (std::string& entry : wine_env)
            if (entry == "LC_ALL=C") entry = "LC_ALL=C.UTF-8";
    }
    const std::string runner = wine_ ? std::getenv("SUITE_PTY_RUNNER") : "";
    ChildCommand command = wine_ ? child_command(runner, wine_args, wine_env) : child_command(program, args, env);

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
        if (wine_)
            screen_.add(std::string_view(buffer, static_cast<std::size_t>(got)));
        else
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
        if (output().find(text, from) != std::string::npos) return true;
        if (output().size() >= text.size()) from = output().size() - text.size();
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

void PtySession::send(const std::string& typed) {
    if (master_ < 0) return;
    // Wine's console takes the terminal out of its line mode a moment after
    // the program has started (and may have written): a key typed before
    // would be echoed by the terminal. Wait for its echo to go.
    termios mode = {};
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (wine_ && master_ >= 0 && ::tcgetattr(master_, &mode) == 0 && (mode.c_lflag & ECHO) &&
           Clock::now() < deadline)
        read_some(10);
    std::string keys;
    for (char c : typed) keys += wine_ && c == '\x1b' ? std::string(2, c) : std::string(1, c);
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

std::size_t PtySession::unnamed_files_in(const std::string& path) const {
    // /proc shows such a file as "<folder>/#<inode> (deleted)".
    const std::string folder = std::filesystem::absolute(path).lexically_normal().string() + "/#";
    std::size_t count = 0;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/" + std::to_string(pid_) + "/fd", error)) {
        const std::string target = std::filesystem::read_symlink(entry.path(), error).string();
        if (target.rfind(folder, 0) == 0 && target.size() > 10 &&
            target.compare(target.size() - 10, 10, " (deleted)") == 0)
            ++count;
    }
    return count;
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

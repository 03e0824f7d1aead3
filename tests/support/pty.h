// Drives a program through a pseudo-terminal, as a user at a keyboard would:
// start it, read what the screen shows, wait for text, type keys, wait for
// the exit code. The driver is POSIX only; the programs it drives are this
// build's, or the Windows build's run under Wine (see terminal_under_wine).
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include <sys/types.h>

namespace testsupport {

// When SUITE_PTY_BUILD names the build tree of the Windows programs and
// SUITE_PTY_RUNNER the script that runs one under Wine (cmake/wine-run.sh),
// the terminal tests drive those programs: Wine gives a program started from
// a terminal a console of that terminal.
bool terminal_under_wine();
// The program a terminal test starts: one of the suite's programs ("kesto"),
// or the test helper kesto_prompt.
std::string terminal_program(const std::string& name);
// A relative path written with "/" in the form the programs print it.
std::string terminal_path(std::string path);
// A program's output, as the pty shows it, in the form PtySession::output()
// gives it. Natively the text itself. Under Wine, whose console redraws the
// terminal from its screen buffer, both are reduced to what shows, row by
// row: the console's cursor and blank-filling sequences followed, blanks
// that end a row dropped (never drawn), bytes from 0x80 on in the console's code page (437) shown as UTF-8, the bell (a
// message beep there, never written) dropped, a line feed that follows a full
// row dropped (the console's own wrap and a program's line end after 80
// columns look alike), and reverse video marked around the reversed
// characters only ("\x1b[7m" after any line feeds, "\x1b[27m" before them),
// wherever the program switched it.
std::string terminal_screen(std::string_view text);

// Reduces a terminal stream to the form terminal_screen() gives, piece by
// piece as it arrives (an escape sequence may be split across reads).
class ScreenText {
public:
    void add(std::string_view bytes);
    // The text so far, the row being written included.
    std::string text() const;

private:
    // One byte shown, with its look: 0 plain, 1 reversed, 2 other colours.
    struct Cell {
        char byte;
        int look;
    };
    // Where reverse video starts and ends in the finished text.
    struct Marks {
        int look = 0;      // of the stretch open (0: none)
        std::string held;  // line feeds inside it, not yet written
    };
    static void write(std::string& out, Marks& marks, const Cell& cell);
    static void line_feed(std::string& out, Marks& marks);
    static void close(std::string& out, Marks& marks);
    void put(char c);
    void end_row();
    void control_sequence(std::string_view parameters, char final);
    void set_attributes(std::string_view parameters);

    std::string text_;  // the finished rows
    Marks marks_;
    std::vector<Cell> row_;   // the row being written
    std::size_t column_ = 0;  // the cursor's byte in row_
    std::string partial_;     // an escape sequence not complete yet
    int look_ = 0;
    int foreground_ = 0, background_ = 0;  // 0: the default
};

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

    // Reads until text appears in the output (in the form output() gives);
    // false after timeout_ms.
    bool wait_for(const std::string& text, int timeout_ms = 10000);
    // Reads until the output has not grown for quiet_ms; false when the
    // program ended or timeout_ms passed first.
    bool wait_quiet(int quiet_ms, int timeout_ms = 10000);
    // Reads whatever arrives within ms.
    void pump(int ms);
    // Types keys: each byte is one key ("\x1b" is ESC). Under Wine an ESC is
    // typed twice: its console turns a lone ESC from the terminal into a key
    // without a character code, which _getch() drops, and ESC ESC into
    // Alt+ESC with the code 27, which is what a Windows keyboard's ESC gives.
    void send(const std::string& keys);
    // Sends the program a signal (SIGTERM, SIGHUP), as another process would.
    void signal(int number);
    // Files the program holds open that have no name (yet), made in the
    // folder at path: on Linux the copies it makes unnamed; 0 elsewhere.
    std::size_t unnamed_files_in(const std::string& path) const;
    // Waits for the program to end, reading its output to the end; its exit
    // code, or -1 when it had to be killed after timeout_ms.
    int wait_exit(int timeout_ms = 10000);

    // Everything shown so far, with the terminal's carriage returns removed
    // (under Wine in the form terminal_screen() gives).
    std::string output() const { return wine_ ? screen_.text() : shown_; }
    bool running() const { return pid_ > 0; }

private:
    bool read_some(int timeout_ms);
    void reap(bool block);

    int master_ = -1;
    pid_t pid_ = -1;
    int exit_code_ = -1;
    std::string shown_;
    bool wine_ = false;
    ScreenText screen_;
};

}  // namespace testsupport

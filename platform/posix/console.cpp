#include "platform/console.h"

#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/backend.h"
#include "platform/fault.h"
#include "platform/message.h"
#include "platform/output.h"

namespace plat {
namespace {

int tty_fd = -1;
termios saved_mode;
termios program_mode;  // raw: what open_keyboard set
bool raw_mode = false;
bool suspended = false;  // raw mode left for a child process
bool japanese = false;
Encoding encoding = Encoding::utf8;
bool broken_pipe = false;
long long last_poll_stamp = -1;

void restore_terminal() {
    if (raw_mode) {
        tcsetattr(tty_fd, TCSANOW, &saved_mode);
        raw_mode = false;
    }
}

// A signal that ends the program: the copy in flight goes, the terminal is
// restored, and the signal ends the program as it would have.
extern "C" void on_fatal_signal(int signal_number) {
    backend::remove_file_at_termination();
    restore_terminal();
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
}

// The first set of the variables, or "".
std::string first_set(const char* const* names) {
    for (; *names; ++names) {
        const char* value = std::getenv(*names);
        if (value && *value) return value;
    }
    return "";
}

bool names_shift_jis(std::string codeset) {
    std::string folded;
    for (char c : codeset)
        if (c != '-' && c != '_') folded += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return folded == "sjis" || folded == "shiftjis" || folded == "cp932" || folded == "windows31j" ||
           folded == "mskanji";
}

// The codeset of the character-type locale: from the installed locale, or
// from its name ("ja_JP.SJIS@x" -> "SJIS") when it is not installed.
std::string locale_codeset() {
    static const char* const ctype_names[] = {"LC_ALL", "LC_CTYPE", "LANG", nullptr};
    std::string name = first_set(ctype_names);
    std::string codeset;
    if (std::setlocale(LC_CTYPE, "")) codeset = nl_langinfo(CODESET);
    std::setlocale(LC_CTYPE, "C");
    if (!codeset.empty() && codeset != "ANSI_X3.4-1968") return codeset;
    std::size_t dot = name.find('.');
    if (dot == std::string::npos) return codeset;
    std::string from_name = name.substr(dot + 1);
    std::size_t at = from_name.find('@');
    if (at != std::string::npos) from_name.resize(at);
    return from_name;
}

void open_keyboard() {
    tty_fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (tty_fd < 0) return;
    // A background job must not take the terminal (tcsetattr would stop it).
    if (tcgetpgrp(tty_fd) != getpgrp() || tcgetattr(tty_fd, &saved_mode) != 0) {
        close(tty_fd);
        tty_fd = -1;
        return;
    }
    termios mode = saved_mode;
    // Keys one at a time, no echo, no signals, no flow control; output
    // processing stays as it is so line feeds still return the carriage.
    mode.c_lflag &= ~(ICANON | ECHO | ISIG | IEXTEN);
    mode.c_iflag &= ~(IXON | IXOFF | ICRNL | INLCR | IGNCR);
    mode.c_cc[VMIN] = 1;
    mode.c_cc[VTIME] = 0;
    if (tcsetattr(tty_fd, TCSANOW, &mode) != 0) return;
    program_mode = mode;
    raw_mode = true;
    std::atexit(restore_terminal);
}

bool poll_tty(int timeout_ms) {
    pollfd p{tty_fd, POLLIN, 0};
    return poll(&p, 1, timeout_ms) > 0 && (p.revents & POLLIN);
}

int read_byte() {
    unsigned char c;
    for (;;) {
        ssize_t n = read(tty_fd, &c, 1);
        if (n == 1) return c;
        if (n < 0 && errno == EINTR) continue;
        return KEY_NONE;
    }
}

}  // namespace

void console_init() {
    std::signal(SIGINT, SIG_IGN);
    // A closed pipe shows as a failed write (EPIPE), so the terminal is
    // restored and the program ends on its own terms.
    std::signal(SIGPIPE, SIG_IGN);
    // A write beyond the file size limit fails with EFBIG instead of ending
    // the program, so that a copy can remove what it wrote.
    std::signal(SIGXFSZ, SIG_IGN);
    for (int s : {SIGTERM, SIGHUP, SIGQUIT, SIGABRT}) std::signal(s, on_fatal_signal);
    static const char* const message_names[] = {"LC_ALL", "LC_MESSAGES", "LANG", nullptr};
    std::string language = first_set(message_names);
    japanese = language.compare(0, 2, "ja") == 0;
    encoding = names_shift_jis(locale_codeset()) ? Encoding::shift_jis : Encoding::utf8;
    use_english = !japanese;
    if (const char* faults = std::getenv("SUITE_FAULTS")) fault::arm_from_text(faults);
    open_keyboard();
}

bool console_japanese() { return japanese; }
bool text_is_utf8() { return true; }

bool names_in_utf8() { return false; }

Encoding console_encoding() { return encoding; }

std::string to_console_text(std::string_view utf8) {
    if (encoding != Encoding::shift_jis) return std::string(utf8);
    iconv_t cd = iconv_open("CP932", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(utf8);
    std::string out;
    std::string in(utf8);
    char* in_ptr = in.data();
    std::size_t in_left = in.size();
    char chunk[256];
    while (in_left > 0) {
        char* out_ptr = chunk;
        std::size_t out_left = sizeof chunk;
        std::size_t r = iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left);
        out.append(chunk, sizeof chunk - out_left);
        if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
            // A character without a Shift-JIS form: shown as '?'.
            out += '?';
            ++in_ptr;
            --in_left;
            while (in_left > 0 && (static_cast<unsigned char>(*in_ptr) & 0xC0) == 0x80) {
                ++in_ptr;
                --in_left;
            }
        }
    }
    iconv_close(cd);
    return out;
}

int screen_width() {
    winsize size{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
}

bool have_keyboard() { return tty_fd >= 0; }

void suspend_keyboard() {
    if (!raw_mode) return;
    restore_terminal();
    suspended = true;
}

void resume_keyboard() {
    if (!suspended) return;
    suspended = false;
    // Keys typed for the child while it ran are not answers to the program.
    tcflush(tty_fd, TCIFLUSH);
    if (tcsetattr(tty_fd, TCSANOW, &program_mode) == 0) raw_mode = true;
}

bool key_waiting() {
    if (tty_fd < 0) return false;
    // Called after every dump line: ask the terminal at most once per tick
    // of the coarse clock (a few ms), which costs nanoseconds, instead of a
    // system call per line.
    timespec now;
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    long long stamp = static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
    if (stamp == last_poll_stamp) return false;
    last_poll_stamp = stamp;
    return poll_tty(0);
}

int read_key() {
    if (tty_fd < 0) return KEY_NONE;
    last_poll_stamp = -1;
    int key = read_byte();
    if (key != KEY_ESC) return key;
    // A lone ESC is ESC; bytes that follow at once make an escape sequence
    // (arrows, function keys), which is one extended key.
    if (!poll_tty(30)) return KEY_ESC;
    while (poll_tty(5)) read_byte();
    return KEY_EXTENDED;
}

bool stream_is_console(int stream) { return isatty(stream) == 1; }

bool write_stream(int stream, const void* data, std::size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = write(stream, bytes, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            broken_pipe = errno == EPIPE;
            return false;
        }
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Names are the system's bytes: nothing to convert.
std::string display_name(const char* name) { return name; }

bool write_text_stream(int stream, const void* data, std::size_t size) { return write_stream(stream, data, size); }

bool stream_broken_pipe() { return broken_pipe; }

std::string_view text_line_end() { return "\n"; }

// Colours and cursor moves are ANSI sequences, sent through the stream's
// buffer so that they land between the texts they belong to, and only to a
// terminal: a file or pipe gets the plain text.
namespace {

void send_control(int stream, std::string_view sequence) {
    if (!stream_is_console(stream)) return;
    (stream == 2 ? std_err() : std_out()).binary(sequence.data(), sequence.size());
}

// Whether each stream shows reversed colours, so that a restore that has
// nothing to undo writes nothing.
bool reversed[3] = {false, false, false};

int stream_width(int stream) {
    winsize size{};
    if (ioctl(stream, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
}

}  // namespace

void reverse_colour(int stream) {
    reversed[stream == 2 ? 2 : 1] = true;
    send_control(stream, "\x1b[7m");
}

void restore_colour(int stream) {
    bool& state = reversed[stream == 2 ? 2 : 1];
    if (state) send_control(stream, "\x1b[27m");
    state = false;
}

void move_cursor_back(int stream, int cells) {
    if (cells <= 0 || !stream_is_console(stream)) return;
    int width = stream_width(stream);
    char text[32];
    int length = 0;
    if (cells / width > 0) length += std::snprintf(text, sizeof text, "\x1b[%dA", cells / width);
    if (cells % width > 0)
        length +=
            std::snprintf(text + length, sizeof text - static_cast<std::size_t>(length), "\x1b[%dD", cells % width);
    send_control(stream, std::string_view(text, static_cast<std::size_t>(length)));
}

// The row the cursor is on becomes blank and the cursor goes to its start.
void erase_line(int stream) { send_control(stream, "\r\x1b[2K"); }

void beep() {
    // The bell goes to the terminal the keyboard belongs to, whatever the
    // standard streams were redirected to.
    if (tty_fd >= 0) {
        ssize_t written = write(tty_fd, "\a", 1);
        (void)written;
    }
}

}  // namespace plat

// Console of the Windows build: code page, keyboard (conio), screen buffer
// and the two standard handles.
#include "platform/console.h"

#include <windows.h>

#include <conio.h>
#include <fcntl.h>
#include <io.h>

#include <csignal>
#include <cstdint>
#include <string>

#include "platform/backend.h"
#include "platform/fault.h"
#include "platform/message.h"
#include "platform/output.h"
#include "platform/process.h"
#include "platform/win32/wide.h"

namespace plat {
namespace {

constexpr UINT CP_JAPANESE = 932;

// _kbhit() is a console round trip (microseconds on Windows, about 0.3 ms in
// a Wine console); GetTickCount64() reads shared memory (nanoseconds).
constexpr std::uint64_t POLL_INTERVAL_MS = 10;

struct ConsoleState {
    bool code_page_known = false;
    UINT code_page = 0;
    bool keyboard_known = false;
    bool keyboard = false;
    // key_waiting() asks the console at most once per POLL_INTERVAL_MS; a
    // key seen stays waiting until read.
    std::uint64_t last_poll = 0;
    bool key_seen = false;
    bool broken_pipe = false;
    // The output's text attribute at start-up, which restore_colour() sets
    // again; none when standard output is not a console.
    bool attribute_known = false;
    WORD start_attribute = 0;
    // Per stream (output, error): the first bytes of a UTF-8 character
    // that the last text written ended in the middle of.
    std::string pending[2];
};

ConsoleState state;

UINT output_code_page() {
    if (!state.code_page_known) {
        state.code_page = GetConsoleOutputCP();
        state.code_page_known = true;
    }
    return state.code_page;
}

HANDLE stream_handle(int stream) { return GetStdHandle(stream == 2 ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE); }

bool keyboard_present() {
    if (!state.keyboard_known) {
        DWORD mode = 0;
        HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
        state.keyboard = input != nullptr && input != INVALID_HANDLE_VALUE && GetConsoleMode(input, &mode) != 0;
        state.keyboard_known = true;
    }
    return state.keyboard;
}

}  // namespace

void console_init() {
    std::signal(SIGINT, SIG_IGN);
    state.code_page_known = false;
    state.keyboard_known = false;
    use_english = output_code_page() != CP_JAPANESE;
    keyboard_present();
    CONSOLE_SCREEN_BUFFER_INFO info;
    state.attribute_known = GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info) != 0;
    if (state.attribute_known) state.start_attribute = info.wAttributes;
    // The layer writes bytes as they are and does its own line ends.
    _setmode(1, _O_BINARY);
    _setmode(2, _O_BINARY);
    std::string faults;
    if (get_env("SUITE_FAULTS", faults)) fault::arm_from_text(faults.c_str());
}

bool console_japanese() { return output_code_page() == CP_JAPANESE; }

bool text_is_utf8() { return false; }

bool names_in_utf8() { return true; }

Encoding console_encoding() { return output_code_page() == CP_JAPANESE ? Encoding::shift_jis : Encoding::utf8; }

std::string to_console_text(std::string_view utf8) {
    if (console_encoding() != Encoding::shift_jis) return std::string(utf8);
    std::string sjis;
    backend::to_code_page(backend::widen(utf8), CP_JAPANESE, sjis);
    return sjis;
}

int screen_width() {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info) || info.dwSize.X <= 0) return 80;
    return info.dwSize.X;
}

bool have_keyboard() { return keyboard_present(); }

// The console's input mode is never changed: a child finds it as it was.
void suspend_keyboard() {}
void resume_keyboard() {}

bool key_waiting() {
    if (!keyboard_present()) return false;
    if (state.key_seen) return true;
    // Called after every dump line: asks the console only when the interval
    // has passed since the last question.
    std::uint64_t now = GetTickCount64();
    if (now - state.last_poll < POLL_INTERVAL_MS) return false;
    state.last_poll = now;
    // The wait (signalled while input is queued) comes first: Wine's console
    // reads its terminal only for a wait or a read, never for _kbhit() alone.
    state.key_seen = WaitForSingleObject(GetStdHandle(STD_INPUT_HANDLE), 0) == WAIT_OBJECT_0 && _kbhit() != 0;
    return state.key_seen;
}

int read_key() {
    if (!keyboard_present()) return KEY_NONE;
    state.key_seen = false;
    state.last_poll = 0;  // the next key_waiting() asks the console at once
    int code = _getch();
    if (code == 0 || code == 0xE0) {
        _getch();
        return KEY_EXTENDED;
    }
    return code;
}

bool stream_is_console(int stream) {
    DWORD mode = 0;
    return GetConsoleMode(stream_handle(stream), &mode) != 0;
}

bool write_stream(int stream, const void* data, std::size_t size) {
    HANDLE handle = stream_handle(stream);
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(handle, bytes, chunk, &written, nullptr)) {
            DWORD error = GetLastError();
            // Windows reports a reader gone as ERROR_NO_DATA (or BROKEN_PIPE);
            // Wine, writing to a closed Unix pipe, as PIPE_NOT_CONNECTED.
            state.broken_pipe =
                error == ERROR_BROKEN_PIPE || error == ERROR_NO_DATA || error == ERROR_PIPE_NOT_CONNECTED;
            backend::set_last_error(static_cast<int>(error));
            return false;
        }
        if (written == 0) {
            backend::set_last_error(ERROR_WRITE_FAULT);
            return false;
        }
        bytes += written;
        size -= written;
    }
    return true;
}

namespace {

// How many bytes at the end of text are the start of a UTF-8 character
// whose other bytes have not come yet.
std::size_t cut_character_length(const std::string& text) {
    for (std::size_t back = 1; back <= 3 && back <= text.size(); ++back) {
        const auto c = static_cast<unsigned char>(text[text.size() - back]);
        if ((c & 0xC0) == 0x80) continue;  // a continuation byte
        const std::size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        return length > back ? back : 0;
    }
    return 0;
}

bool write_console_wide(int stream, const std::wstring& text) {
    const wchar_t* rest = text.data();
    std::size_t size = text.size();
    while (size > 0) {
        // A piece the console takes at once; a pair of surrogates is never
        // split (its second half never starts a piece).
        DWORD chunk = static_cast<DWORD>(size > 8192 ? 8192 : size);
        if (chunk < size && rest[chunk] >= 0xDC00 && rest[chunk] <= 0xDFFF) --chunk;
        DWORD written = 0;
        if (!WriteConsoleW(stream_handle(stream), rest, chunk, &written, nullptr) || written == 0) {
            backend::set_last_error(static_cast<int>(GetLastError()));
            return false;
        }
        rest += written;
        size -= written;
    }
    return true;
}

// What names are shown in: the console's output code page, or the ANSI
// code page of a program without a console.
UINT display_code_page() { return output_code_page() != 0 ? output_code_page() : GetACP(); }

}  // namespace

std::string display_name(const char* name) {
    std::string bytes;
    backend::to_code_page(backend::widen(name), display_code_page(), bytes);
    return bytes;
}

bool write_text_stream(int stream, const void* data, std::size_t size) {
    std::string& text = state.pending[stream == 2 ? 1 : 0];
    text.append(static_cast<const char*>(data), size);
    const std::size_t whole = text.size() - cut_character_length(text);
    const std::wstring wide = backend::widen(std::string_view(text.data(), whole));
    text.erase(0, whole);
    std::string bytes;
    if (backend::to_code_page(wide, display_code_page(), bytes) || !stream_is_console(stream))
        return write_stream(stream, bytes.data(), bytes.size());
    return write_console_wide(stream, wide);
}

bool stream_broken_pipe() { return state.broken_pipe; }

std::string_view text_line_end() { return "\r\n"; }

// The console calls act at once, so the text buffered for the stream goes
// out first. A stream that is not a console is left alone.
namespace {

Output& stream_output(int stream) { return stream == 2 ? std_err() : std_out(); }

bool screen_info(int stream, CONSOLE_SCREEN_BUFFER_INFO& info) {
    stream_output(stream).flush();
    return GetConsoleScreenBufferInfo(stream_handle(stream), &info) != 0;
}

void set_cursor(int stream, SHORT column, SHORT row) {
    SetConsoleCursorPosition(stream_handle(stream), COORD{column, row});
}

}  // namespace

void reverse_colour(int stream) {
    if (!state.attribute_known) return;
    stream_output(stream).flush();
    SetConsoleTextAttribute(stream_handle(stream), static_cast<WORD>(~state.start_attribute & 0xFF));
}

void restore_colour(int stream) {
    if (!state.attribute_known) return;
    stream_output(stream).flush();
    SetConsoleTextAttribute(stream_handle(stream), state.start_attribute);
}

// Up by cells / width rows and left by cells % width columns, never beyond
// the top row or the first column.
void move_cursor_back(int stream, int cells) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (cells <= 0 || !screen_info(stream, info)) return;
    int width = info.dwMaximumWindowSize.X > 0 ? info.dwMaximumWindowSize.X : 80;
    int row = info.dwCursorPosition.Y - cells / width;
    int column = info.dwCursorPosition.X - cells % width;
    if (row < 0) {
        row = 0;
        column = 0;
    }
    if (column < 0) column = 0;
    set_cursor(stream, static_cast<SHORT>(column), static_cast<SHORT>(row));
}

// Blanks the cursor's row: from column 0 as many blanks as the buffer is
// wide (the cursor wraps to the next row), then back up one row.
void erase_line(int stream) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!screen_info(stream, info)) return;
    set_cursor(stream, 0, info.dwCursorPosition.Y);
    Output& out = stream_output(stream);
    out.printf("%*s", static_cast<int>(info.dwSize.X), "");
    if (!screen_info(stream, info)) return;
    if (info.dwCursorPosition.Y > 0) set_cursor(stream, info.dwCursorPosition.X, info.dwCursorPosition.Y - 1);
}

void beep() { MessageBeep(0); }

}  // namespace plat

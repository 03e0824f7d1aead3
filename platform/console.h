// Console: language, output encoding, keyboard, screen width and the two
// standard streams. Every program calls console_init() first.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace plat {

enum class Encoding { utf8, shift_jis };

// Ignores the interrupt signal (only ESC stops a program), opens the keyboard
// (POSIX: /dev/tty in raw mode, restored on every way out), detects language
// and output encoding, and loads fault injections from the environment.
void console_init();

// Japanese when the console code page is 932 (Windows) or the locale names
// Japanese (POSIX); the encoding Japanese text is printed in.
bool console_japanese();
Encoding console_encoding();

// True when text that is not Shift-JIS is UTF-8 (POSIX names), false for
// the single-byte code pages of Windows.
bool text_is_utf8();

// True where names, arguments and environment values reach the programs in
// UTF-8 whatever the console shows (Windows, through the wide calls), false
// where they are the system's own bytes (POSIX).
bool names_in_utf8();

// A name or other argument as the console shows it, for a program that
// prints names among bytes of its own (the byte-range tools): on Windows,
// where names are UTF-8, in the code page write_text_stream uses, "?" for
// each character that page cannot spell; on POSIX as it is.
std::string display_name(const char* name);

// Converts UTF-8 text to the console's encoding (Shift-JIS or UTF-8).
std::string to_console_text(std::string_view utf8);

// Width of the console screen buffer in columns; 80 when unknown.
int screen_width();

// Keys. read_key() waits for a key and returns its code, or KEY_EXTENDED for
// arrows and function keys; without a keyboard it returns KEY_NONE at once.
constexpr int KEY_NONE = -1;
constexpr int KEY_CTRL_C = 3;
constexpr int KEY_CTRL_Q = 17;
constexpr int KEY_CTRL_S = 19;
constexpr int KEY_ESC = 27;
constexpr int KEY_SPACE = 32;
constexpr int KEY_EXTENDED = 0x100;
bool key_waiting();
int read_key();
bool have_keyboard();
// Around a child process that shares the terminal: suspend puts the
// keyboard back in the mode the program found it in (POSIX: echo, lines,
// Ctrl+C as a signal), resume returns to the program's own mode. Nothing
// happens where the program does not change the keyboard's mode.
void suspend_keyboard();
void resume_keyboard();

// Standard streams (1 = output, 2 = error).
bool stream_is_console(int stream);
// Writes all bytes unchanged; false on failure (last_error() tells why).
bool write_stream(int stream, const void* data, std::size_t size);
// Writes UTF-8 text in the console's encoding (Windows). The code page is
// the console's output code page, or the ANSI code page for a program
// without a console. A console gets the code page's bytes, or the text
// through the wide console call where the code page cannot spell one of its
// characters; a file or pipe gets the code page's bytes, each character it
// cannot spell written as the system's replacement character ("?"). The
// bytes of a character cut short at the end wait for the rest. POSIX writes
// the bytes unchanged.
bool write_text_stream(int stream, const void* data, std::size_t size);
// True when the last failed stream write found the reader gone (broken pipe).
bool stream_broken_pipe();
// What a line feed becomes on a text-mode stream ("\n" or "\r\n").
std::string_view text_line_end();

// Console services used by kesto: inverted colours, cursor moves, beeps.
void reverse_colour(int stream);
void restore_colour(int stream);
void move_cursor_back(int stream, int cells);
void erase_line(int stream);
void beep();

}  // namespace plat

// Expected program output in the target's form.
#pragma once
#include <string>

namespace testsupport {

// What a line feed written by a program in text mode becomes: "\n" on POSIX,
// "\r\n" on Windows.
const char* line_end();
// True when the programs are built for Windows.
bool on_windows();
// text with every "\n" replaced by line_end().
std::string with_line_ends(const std::string& text);

// A name (UTF-8) as kesto writes it to a file or pipe: as it is on POSIX;
// on Windows in the ANSI code page of the test prefix (1252), which has no
// character of the test names beyond ASCII: each is the system's
// replacement "?", one per UTF-16 unit.
std::string shown_name(const std::string& name);

// UTF-8 text converted to Shift-JIS (code page 932).
std::string to_shift_jis(const std::string& utf8);

// How Japanese text (given in UTF-8) comes out of a program run with
// LC_ALL=locale: in UTF-8 or in Shift-JIS, depending on the codeset the
// target derives from it.
std::string japanese_output(const std::string& utf8, const std::string& locale);

// True when the character column of a hex dump run with LC_ALL=locale shows
// bytes from 0x80 on as they are (Shift-JIS, and always on Windows); false
// when it shows them as ".".
bool dump_shows_high_bytes(const std::string& locale);

}  // namespace testsupport

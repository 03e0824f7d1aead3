// The find and replace notation of mirelk: hexadecimal byte pairs mixed with
// quoted text, given on the command line or as the first line of a string
// file, and the rule that makes the two patterns equally long.
#pragma once
#include <cstddef>
#include <memory>

namespace mirelk {

// Results of parse_patch_string besides a length.
constexpr std::ptrdiff_t PATCH_SYNTAX_ERROR = -1;        // bad hex pair, blank, lone digit
constexpr std::ptrdiff_t PATCH_BROKEN_DOUBLE_BYTE = -2;  // lead byte without a valid trail byte

// Decodes the NUL-terminated text in place (the bytes never outgrow the
// text) and returns their number, or one of the two errors. Outside quotes
// the text is pairs of hex digits; ' opens quoted text, where '' stands for
// one quote and ' followed by anything else closes it; the end of the text
// ends the pattern, also inside quotes. With double_byte, a Shift-JIS lead
// byte inside quotes is copied with its trail byte, so the trail byte never
// counts as a quote.
std::ptrdiff_t parse_patch_string(char* text, bool double_byte);

// Result codes of read_patch_string_file, as error levels.
constexpr int STRING_FILE_OK = 0;
constexpr int STRING_FILE_NO_MEMORY = 4;
constexpr int STRING_FILE_ACCESS = 5;

// Reads the first line of a string file into a NUL-terminated heap buffer,
// read as a text-mode file would be: it ends at the first line feed or
// Ctrl+Z, and trailing carriage returns are dropped. The rest of the file
// is ignored and read no further than the block that holds the line end, so
// a pipe or a device serves as well as a file. Returns STRING_FILE_OK, STRING_FILE_NO_MEMORY or
// STRING_FILE_ACCESS (cannot open or read).
int read_patch_string_file(const char* name, std::unique_ptr<unsigned char[]>& line);

// Length of the first line of size bytes of a string file, by the rules of
// read_patch_string_file.
std::size_t first_line_length(const unsigned char* data, std::size_t size);

// A pattern: its bytes and their number. storage owns them when they do not
// live in a command-line argument.
struct Pattern {
    unsigned char* bytes = nullptr;
    std::size_t length = 0;
    std::unique_ptr<unsigned char[]> storage;
};

// Extends a pattern to length bytes (not shorter than it is, and it must not
// be empty) by repeating its last byte. False when memory is exhausted.
bool pad_pattern(Pattern& pattern, std::size_t length);

}  // namespace mirelk

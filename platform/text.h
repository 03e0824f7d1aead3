// Multibyte text in the console's encoding (kesto, tolven, mirelk, nevrik).
#pragma once
#include <cstddef>

namespace plat {

// The capital of an ASCII letter; any other byte as it is.
constexpr char ascii_upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
// The digits of hexadecimal numbers, by value.
inline constexpr char HEX_DIGITS[] = "0123456789ABCDEF";
inline constexpr char HEX_DIGITS_LOWER[] = "0123456789abcdef";

// True for the first byte of a double-byte Shift-JIS (code page 932)
// character.
constexpr bool is_shift_jis_lead(unsigned c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }
// True for a byte that can be the second half of a double-byte Shift-JIS
// character. Bytes below 0x40 ("/", "\0", ".", ":", "*", "?") never are, so a
// name that ends on a lead byte never swallows the separator after it.
constexpr bool is_shift_jis_trail(unsigned c) { return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC); }

// Length in bytes of the character of a name or argument that starts at
// text. Where names are UTF-8 (Windows: names_in_utf8) the length of a
// well-formed UTF-8 sequence (1 to 4), else 1. On POSIX 2 for a Shift-JIS
// lead byte followed by a byte that can be its trail byte when the console
// prints Shift-JIS; otherwise the length of a well-formed UTF-8 sequence;
// else 1. A NUL-terminated text is never read past its end.
std::size_t char_length(const char* text);
// Shows every control character (below 0x20, and 0x7F) of the bytes from
// begin to end as "?", as ls shows names on a terminal. No byte of a
// multibyte character (UTF-8 or Shift-JIS) is one.
void mask_control_characters(char* begin, char* end);
// Upper-cases single-byte letters of a NUL-terminated text in place.
void to_upper(char* text);

// True when text is Shift-JIS, a lead byte and the byte after it making one
// character: where the console prints Shift-JIS (code page 932; on POSIX a
// Shift-JIS locale).
bool text_is_shift_jis();
// Length in bytes of the well-formed UTF-8 sequence that starts at text (1
// to 4), else 1, whatever the console's encoding. A NUL-terminated text is
// never read past its end.
std::size_t utf8_char_length(const char* text);

}  // namespace plat

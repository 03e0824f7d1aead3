// Multibyte text in the console's encoding (kesto, tolven).
#pragma once
#include <cstddef>

namespace plat {

// Length in bytes of the character that starts at text: 2 for a
// Shift-JIS lead byte followed by its trail byte when the console prints
// Shift-JIS; on POSIX otherwise the length of a well-formed UTF-8 sequence
// (1 to 4); else 1. A NUL-terminated text is never read past its end.
std::size_t char_length(const char* text);
// Upper-cases single-byte letters of a NUL-terminated text in place.
void to_upper(char* text);

}  // namespace plat

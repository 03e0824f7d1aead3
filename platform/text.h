// Multibyte text in the console's encoding (kesto, tolven).
#pragma once
#include <cstddef>

namespace plat {

// Length in bytes of the character that starts at text (1 or 2).
std::size_t char_length(const char* text);
// Upper-cases single-byte letters of a NUL-terminated text in place.
void to_upper(char* text);

}  // namespace plat

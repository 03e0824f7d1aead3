// The block sort: the line index is cut into about the square root of its
// length blocks of consecutive lines; each block's text is read in one piece
// and its entries sorted (primary phase); then the sorted blocks are merged
// to standard output, every line read back from the source by its offset
// (secondary phase). The order is total, so the sort is stable and "/R"
// gives exactly the reverse.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/file.h"
#include "platform/text.h"
#include "tolven/scan.h"

namespace tolven {

// Compares two NUL-terminated keys by state.case_mode over at most budget
// characters (a double-byte character is one): negative, 0 or positive.
// Single bytes order by their folded value, double-byte characters after
// every single byte and by their 16-bit code; a NUL ends the key. Without
// state.double_byte every byte is a single byte.
int compare_key(const unsigned char* x, const unsigned char* y, std::int64_t budget);

// An integer that orders lines as their keys do, from their first few
// bytes: a smaller value means an earlier line; equal values say nothing
// unless both lines are too short to reach the start column (then their keys
// are equal). text is NUL-terminated at length.
std::uint64_t key_prefix(const unsigned char* text, std::int64_t length);

// Bytes of a line of length bytes that are written with "/T column": the
// line is cut at column bytes, earlier when that would split a character (a
// double-byte character with state.double_byte, else a UTF-8 sequence).
std::int64_t truncated_length(const unsigned char* text, std::int64_t length, std::int64_t column);

// Sorts the count (at least 1) lines of index, reading their text from
// source, and writes them to standard output. Sets state.error_level and
// prints the failure on error.
void sort_and_output(LineEntry* index, std::int64_t count, plat::File& source);

}  // namespace tolven

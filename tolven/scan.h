// The scan: reads the input once, front to back, and builds the line index,
// one LineEntry per line. Nothing of the text is kept; the sort reads lines
// back from the source file by their offsets. Standard input is copied to
// the spool file on the way, so that offsets refer to it.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/file.h"
#include "tolven/movable_array.h"

namespace tolven {

struct LineEntry {
    std::int64_t offset;  // first byte of the line in the source
    std::int64_t length;  // content bytes, line end not included
};
static_assert(sizeof(LineEntry) == 16, "the index holds 16 bytes a line");

// Records added to the index per growth step (8,000,000 bytes).
constexpr std::size_t INDEX_GROWTH = 500000;

// Line splitting carried from one piece of input to the next. A line ends
// only at LF (or at the end of the input); its content is what precedes the
// run of CR and LF bytes that ends it, however the pieces cut that run.
struct ScanState {
    std::int64_t offset = 0;       // first byte of the current line
    std::int64_t line_length = 0;  // bytes of the current line so far
    std::int64_t pending_cr = 0;   // CR bytes that end the current line so far
    std::int64_t max_line = 0;     // longest content length
    std::uint64_t null_count = 0;  // NUL bytes seen
};

// Splits the next piece of input, adding an entry for every line that ends
// in it. False when the index cannot grow.
bool scan_bytes(ScanState& scan, const unsigned char* data, std::size_t size, MovableArray& index);
// The end of the input: a last line without a line end is added too.
bool finish_scan(ScanState& scan, MovableArray& index);

// Bytes read from the input at a time.
constexpr std::size_t SCAN_READ_SIZE = 1 << 20;

// Reads the whole input (input_length bytes, or unknown when not above 0),
// copying it to the spool file when that is open, and fills index. Sets
// state.error_level and prints the failure on error; prints the progress
// marks, the statistics and the NUL warning.
void scan_input(plat::File& input_stream, plat::File& spool_descriptor, std::int64_t input_length, MovableArray& index);

}  // namespace tolven

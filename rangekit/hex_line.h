// The 16-byte hex dump line of holmic and zobrin:
// address (14 columns), 16 cells "%02X " (48 columns), a blank, and 16
// characters, bytes below 0x20 shown as "." (and in UTF-8 those from 0x80
// on too).
#pragma once
#include <cstddef>
#include <cstdint>

#include "rangekit/tool_frame.h"

namespace rangekit {

enum class AddressStyle {
    file_offset,  // "%04lX%08lX: " of the line's byte offset
    sector,       // "%08lX/%03lX: " sector number / byte within the sector
};

class HexLine {
public:
    // The character column follows the console's encoding, which must be
    // known (tool_start()).
    explicit HexLine(AddressStyle style, std::uint32_t sector_size = 512);

    // Prepares the line that holds position: its address, and blank cells
    // for the positions before it in that line.
    void start(std::int64_t position);
    // Adds bytes at the current position; each completed line is printed and
    // passed to the pager. Stops when the pager cancels; returns the number
    // of bytes taken.
    std::size_t add(const unsigned char* data, std::size_t size, Pager& pager);
    // Prints the line under assembly if it holds any cell.
    void finish();

private:
    void print_line();
    int format_address(char* out, std::int64_t line_start) const;

    AddressStyle style_;
    std::uint32_t sector_size_;
    const char* shown_;  // the character for each byte value
    std::int64_t position_ = 0;
    int cells_ = 0;  // cells filled, blank ones included
    char hex_[48];
    char chars_[16];
};

}  // namespace rangekit

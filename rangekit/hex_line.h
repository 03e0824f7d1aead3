// The 16-byte hex dump line of holmic and zobrin:
// address (14 columns), 16 cells "%02X " (48 columns), a blank, and 16
// characters, bytes below 0x20 shown as "." (and in UTF-8 those from 0x80
// on too).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "rangekit/tool_frame.h"

namespace rangekit {

enum class AddressStyle {
    file_offset,  // "%04lX%08lX: " of the line's byte offset
    sector,       // "%08lX/%03lX: " sector number / byte within the sector
};

// How whole lines are formatted: the same text by every method, faster with
// the vector instructions of the processor. The fastest one it has is
// chosen at start.
enum class HexMethod { portable, ssse3 };

// Switches to a method; false (nothing changed) when the processor lacks it.
bool use_hex_method(HexMethod method);
HexMethod current_hex_method();

// Formats `lines` whole lines of the 16 bytes each from data on, the first
// one at position (a multiple of 16; the last line's below 2^48), with the
// file offset address, and each followed by line_end (at most two bytes).
// The character column shows the bytes from 0x20 on as they are, or with
// high_bytes false those from 0x20 to 0x7F only; others show as ".".
// Writes lines x (79 + line_end.size()) bytes into out and returns that
// number.
std::size_t format_hex_lines(const unsigned char* data, std::size_t lines, std::uint64_t position, bool high_bytes,
                             std::string_view line_end, char* out);

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
    void print_whole_lines(const unsigned char* data, std::size_t lines);
    // True when the address of the line takes its 14 columns exactly, as
    // all but the largest do.
    bool address_fits(std::uint64_t line_start) const;
    int format_address(char* out, std::int64_t line_start) const;

    AddressStyle style_;
    std::uint32_t sector_size_;
    bool high_bytes_;    // bytes from 0x80 on show as they are
    const char* shown_;  // the character for each byte value
    // Lines printed at once between two looks at the keyboard: one on a
    // console, where each line shows as soon as it is complete.
    std::size_t batch_lines_;
    std::int64_t position_ = 0;
    int cells_ = 0;  // cells filled, blank ones included
    char hex_[48];
    char chars_[16];
};

}  // namespace rangekit

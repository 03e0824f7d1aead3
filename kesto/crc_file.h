// kesto's CRC operation on the walker's current file.
#pragma once
#include <cstdint>

namespace kesto {

// The crc_polynomial value of /FN: files are read to the end, no CRC is
// computed or shown.
constexpr std::uint32_t READ_TEST_ONLY = 0xFFFFFFFF;

// What crc_file found. complete: the file was read to its end, crc and
// measured_speed (KB per second, -1 when not measured) are valid. Otherwise
// the failure is reported and walk_result is what the operation returns to
// the walker (1 go on, 0 stop).
struct CrcResult {
    bool complete = false;
    int walk_result = 0;
    std::uint32_t crc = 0;
    int measured_speed = -1;
};

// Reads the walker's current file (entry_long_path) to its end in blocks of
// the transfer buffer, computing the CRC that crc_polynomial selects (none
// for READ_TEST_ONLY), with the progress report of /FP on standard error.
CrcResult crc_file();

}  // namespace kesto

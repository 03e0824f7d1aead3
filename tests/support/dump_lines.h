// Expected output of the hex dumps, built independently of the programs.
#pragma once
#include <cstdint>
#include <string>

namespace testsupport {

// The dump lines of positions [from, to), as a user expects to see them: 16
// bytes a line under the address of the line's first position (twelve hex
// digits), bytes before from left blank, bytes below 0x20 shown as "." (and
// from 0x80 on as well where the dump run with LC_ALL=locale shows them so).
// data holds the file's bytes from data_offset on.
std::string dump_lines(const std::string& data, std::uint64_t from, std::uint64_t to, std::uint64_t data_offset = 0,
                       const std::string& locale = "C");

// size bytes of repeatable noise.
std::string pseudo_random(std::size_t size, std::uint32_t seed);

}  // namespace testsupport

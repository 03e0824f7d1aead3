#include "support/dump_lines.h"

#include <cstdio>

#include "support/text.h"

namespace testsupport {
namespace {

std::string padded(std::string text, std::size_t width) {
    if (text.size() < width) text.append(width - text.size(), ' ');
    return text;
}

}  // namespace

std::string dump_lines(const std::string& data, std::uint64_t from, std::uint64_t to, std::uint64_t data_offset,
                       const std::string& locale) {
    const bool high_bytes = dump_shows_high_bytes(locale);
    std::string out, hex, chars;
    std::uint64_t line_start = from & ~std::uint64_t{15};
    auto print_line = [&] {
        if (hex.empty()) return;
        char address[32];
        std::snprintf(address, sizeof address, "%04X%08X: ", static_cast<unsigned>(line_start >> 32),
                      static_cast<unsigned>(line_start));
        out += padded(address, 14) + padded(hex, 48) + " " + padded(chars, 16) + "\n";
        hex.clear();
        chars.clear();
    };
    for (std::uint64_t p = line_start; p < (to > from ? to : from); ++p) {
        if (p % 16 == 0) {
            print_line();
            line_start = p;
        }
        if (p < from) {
            hex += "   ";
            chars += ' ';
            continue;
        }
        unsigned char byte = static_cast<unsigned char>(data[p - data_offset]);
        char cell[4];
        std::snprintf(cell, sizeof cell, "%02X ", byte);
        hex += cell;
        chars += byte < 0x20 || (byte >= 0x80 && !high_bytes) ? '.' : static_cast<char>(byte);
    }
    print_line();
    return out;
}

std::string pseudo_random(std::size_t size, std::uint32_t seed) {
    std::string data(size, '\0');
    for (char& c : data) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 24);
    }
    return data;
}

}  // namespace testsupport

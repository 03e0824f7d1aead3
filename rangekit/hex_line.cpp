#include "rangekit/hex_line.h"

#include <cstdio>
#include <cstring>
#include <string_view>

#include "platform/console.h"
#include "platform/output.h"
#include "platform/text.h"

namespace rangekit {
namespace {

constexpr int ADDRESS_WIDTH = 14;
constexpr int HEX_WIDTH = 48;
constexpr int CHAR_WIDTH = 16;
constexpr int MAX_LINE = 128;  // widest address, columns and line end

// Precomputed cells: "%02X " for every byte value (plus a spare byte so a
// cell can be copied as one 4-byte word), and the character shown for it:
// as it is (double-byte text shows as its characters), or with the bytes
// from 0x80 on as "." too.
struct Tables {
    char cell[256][4] = {};
    char shown[256] = {};
    char shown_ascii[256] = {};
    constexpr Tables() {
        for (int b = 0; b < 256; ++b) {
            cell[b][0] = plat::HEX_DIGITS[b >> 4];
            cell[b][1] = plat::HEX_DIGITS[b & 15];
            cell[b][2] = ' ';
            cell[b][3] = ' ';
            shown[b] = b < 0x20 ? '.' : static_cast<char>(b);
            shown_ascii[b] = b >= 0x80 ? '.' : shown[b];
        }
    }
};
constexpr Tables tables;

}  // namespace

HexLine::HexLine(AddressStyle style, std::uint32_t sector_size)
    : style_(style),
      sector_size_(sector_size),
      // In UTF-8, bytes from 0x80 on written as they are form sequences of
      // their own, C1 controls among them that drive the terminal: a dumped
      // file must not. Shift-JIS consoles show double-byte text as it is.
      shown_(plat::console_encoding() == plat::Encoding::utf8 && plat::text_is_utf8() ? tables.shown_ascii
                                                                                      : tables.shown) {}

int HexLine::format_address(char* out, std::int64_t line_start) const {
    auto position = static_cast<std::uint64_t>(line_start);
    int length;
    if (style_ == AddressStyle::file_offset && position < (std::uint64_t{1} << 48)) {
        // The common case, twelve digits, without a formatted print.
        for (int i = 11; i >= 0; --i, position >>= 4) out[i] = plat::HEX_DIGITS[position & 15];
        out[12] = ':';
        out[13] = ' ';
        return 14;
    }
    if (style_ == AddressStyle::sector) {
        std::uint64_t sector = position / sector_size_, within = position % sector_size_;
        if (sector <= 0xFFFFFFFFu && within <= 0xFFF) {
            // The common case, eight and three digits, without a formatted print.
            for (int i = 7; i >= 0; --i, sector >>= 4) out[i] = plat::HEX_DIGITS[sector & 15];
            out[8] = '/';
            for (int i = 11; i >= 9; --i, within >>= 4) out[i] = plat::HEX_DIGITS[within & 15];
            out[12] = ':';
            out[13] = ' ';
            return 14;
        }
    }
    if (style_ == AddressStyle::file_offset)
        length = std::snprintf(out, 32, "%04lX%08lX: ", static_cast<unsigned long>(position >> 32),
                               static_cast<unsigned long>(position & 0xFFFFFFFFu));
    else
        length = std::snprintf(out, 32, "%08llX/%03lX: ", static_cast<unsigned long long>(position / sector_size_),
                               static_cast<unsigned long>(position % sector_size_));
    for (; length < ADDRESS_WIDTH; ++length) out[length] = ' ';
    return length;
}

void HexLine::start(std::int64_t position) {
    position_ = position;
    cells_ = static_cast<int>(position & 15);
    std::memset(hex_, ' ', sizeof hex_);
    std::memset(chars_, ' ', sizeof chars_);
}

void HexLine::print_line() {
    plat::Output& out = plat::std_out();
    std::string_view line_end = plat::text_line_end();
    char* p = out.reserve(MAX_LINE);
    int n = format_address(p, (position_ - 1) & ~std::int64_t{15});
    std::memcpy(p + n, hex_, HEX_WIDTH);
    p[n + HEX_WIDTH] = ' ';
    std::memcpy(p + n + HEX_WIDTH + 1, chars_, CHAR_WIDTH);
    n += HEX_WIDTH + 1 + CHAR_WIDTH;
    std::memcpy(p + n, line_end.data(), line_end.size());
    out.commit(static_cast<std::size_t>(n) + line_end.size());
    cells_ = 0;
    std::memset(hex_, ' ', sizeof hex_);
    std::memset(chars_, ' ', sizeof chars_);
}

std::size_t HexLine::add(const unsigned char* data, std::size_t size, Pager& pager) {
    plat::Output& out = plat::std_out();
    std::string_view line_end = plat::text_line_end();
    std::size_t i = 0;
    while (i < size) {
        if (cells_ == 0 && size - i >= 16) {
            // A whole line straight into the output buffer.
            char* p = out.reserve(MAX_LINE);
            int n = format_address(p, position_);
            char* hex = p + n;
            char* chars = hex + HEX_WIDTH + 1;
            for (int k = 0; k < 16; ++k) {
                std::memcpy(hex + 3 * k, tables.cell[data[i + k]], 4);
                chars[k] = shown_[data[i + k]];
            }
            hex[HEX_WIDTH] = ' ';
            std::memcpy(chars + CHAR_WIDTH, line_end.data(), line_end.size());
            out.commit(static_cast<std::size_t>(n + HEX_WIDTH + 1 + CHAR_WIDTH) + line_end.size());
            i += 16;
            position_ += 16;
        } else {
            unsigned char b = data[i++];
            std::memcpy(hex_ + 3 * cells_, tables.cell[b], 3);
            chars_[cells_] = shown_[b];
            ++position_;
            if (++cells_ < 16) continue;
            print_line();
        }
        if (!pager.line_shown()) return i;
    }
    return size;
}

void HexLine::finish() {
    if (cells_ > 0) print_line();
}

}  // namespace rangekit

#include "rangekit/hex_line.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "platform/console.h"
#include "platform/cpu.h"
#include "platform/output.h"
#include "platform/text.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define RANGEKIT_HEX_VECTOR 1
#endif

namespace rangekit {
namespace {

constexpr int ADDRESS_WIDTH = 14;
constexpr int HEX_WIDTH = 48;
constexpr int CHAR_WIDTH = 16;
constexpr int CHARS_AT = ADDRESS_WIDTH + HEX_WIDTH + 1;  // where the character column starts
constexpr int BODY_END = CHARS_AT + CHAR_WIDTH;          // where the line end goes
constexpr int MAX_LINE = 128;                            // widest address, columns and line end
// Lines formatted into the output buffer at once when it is no console.
// Measured on the reference machine (2 cores, AMD EPYC, 256 MiB dump to
// /dev/null, processor time): a line at a time 0.24 s, 16 lines 0.09 s,
// 64 to 1024 lines 0.08 s.
constexpr std::size_t BATCH_LINES = 256;
constexpr std::uint64_t TWELVE_DIGITS_END = std::uint64_t{1} << 48;

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

// What the line formatters need besides the bytes. Each line is length()
// bytes long and starts with the 14 address columns, which are written
// only with_address (twelve digits of the file offset); else they are not
// touched.
struct LineLayout {
    bool with_address;
    bool high_bytes;
    std::string_view line_end;
    std::size_t length() const { return BODY_END + line_end.size(); }
};

void put_line_end(char* line, const LineLayout& layout) {
    line[BODY_END] = layout.line_end[0];
    if (layout.line_end.size() > 1) line[BODY_END + 1] = layout.line_end[1];
}

void format_portable(const unsigned char* data, std::size_t lines, std::uint64_t position, const LineLayout& layout,
                     char* out) {
    const char* shown = layout.high_bytes ? tables.shown : tables.shown_ascii;
    for (; lines > 0; --lines, data += 16, position += 16, out += layout.length()) {
        if (layout.with_address) {
            std::uint64_t digits = position;
            for (int i = 11; i >= 0; --i, digits >>= 4) out[i] = plat::HEX_DIGITS[digits & 15];
            out[12] = ':';
            out[13] = ' ';
        }
        char* hex = out + ADDRESS_WIDTH;
        char* chars = out + CHARS_AT;
        for (int k = 0; k < 16; ++k) {
            std::memcpy(hex + 3 * k, tables.cell[data[k]], 4);
            chars[k] = shown[data[k]];
        }
        hex[HEX_WIDTH] = ' ';
        put_line_end(out, layout);
    }
}

#ifdef RANGEKIT_HEX_VECTOR

// Shuffle patterns of the vector formatters. The digits of a line's 16
// bytes come in two vectors of pairs (high digit, low digit): bytes 0-7 in
// the first, 8-15 in the second. spread_* place them in the three 16-column
// pieces of the hex column, where every third column is a blank; an index
// of -128 picks nothing (zero), filled by the blank of blanks. address picks
// the digit pairs of the six low bytes of a little-endian offset, highest
// first, and leaves room for ": ".
struct Shuffles {
    alignas(16) signed char spread_first[3][16] = {};
    alignas(16) signed char spread_second[3][16] = {};
    alignas(16) char blanks[3][16] = {};
    alignas(16) signed char address[16] = {};
    alignas(16) char address_end[16] = {};
    constexpr Shuffles() {
        for (int column = 0; column < HEX_WIDTH; ++column) {
            const int cell = column / 3, digit = column % 3, piece = column / 16, at = column % 16;
            const bool blank = digit == 2;
            const auto pair = static_cast<signed char>(2 * (cell % 8) + digit);
            spread_first[piece][at] = !blank && cell < 8 ? pair : -128;
            spread_second[piece][at] = !blank && cell >= 8 ? pair : -128;
            blanks[piece][at] = blank ? ' ' : 0;
        }
        for (int i = 0; i < 16; ++i) address[i] = i < 12 ? static_cast<signed char>(2 * (5 - i / 2) + i % 2) : -128;
        address_end[12] = ':';
        address_end[13] = ' ';
    }
};
constexpr Shuffles shuffles;

#define RANGEKIT_SSSE3 __attribute__((target("ssse3")))

RANGEKIT_SSSE3 inline __m128i load16(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
RANGEKIT_SSSE3 inline void store16(char* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

// The hex digit of each nibble: high and low digit of every byte, as the
// first (bytes 0-7) and second (8-15) vector of pairs.
RANGEKIT_SSSE3 inline void digit_pairs(__m128i bytes, __m128i& first, __m128i& second) {
    const __m128i digits = load16(plat::HEX_DIGITS), nibble = _mm_set1_epi8(0x0F);
    const __m128i high = _mm_shuffle_epi8(digits, _mm_and_si128(_mm_srli_epi16(bytes, 4), nibble));
    const __m128i low = _mm_shuffle_epi8(digits, _mm_and_si128(bytes, nibble));
    first = _mm_unpacklo_epi8(high, low);
    second = _mm_unpackhi_epi8(high, low);
}

RANGEKIT_SSSE3 void format_ssse3(const unsigned char* data, std::size_t lines, std::uint64_t position,
                                 const LineLayout& layout, char* out) {
    const __m128i lowest = _mm_set1_epi8(0x20);
    const __m128i highest = _mm_set1_epi8(static_cast<char>(layout.high_bytes ? 0xFF : 0x7F));
    const __m128i dots = _mm_set1_epi8('.');
    for (; lines > 0; --lines, data += 16, position += 16, out += layout.length()) {
        __m128i first, second;
        if (layout.with_address) {
            // 16 bytes, of which the body overwrites the last two.
            digit_pairs(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(&position)), first, second);
            store16(out, _mm_or_si128(_mm_shuffle_epi8(first, load16(shuffles.address)), load16(shuffles.address_end)));
        }
        const __m128i bytes = load16(data);
        digit_pairs(bytes, first, second);
        char* hex = out + ADDRESS_WIDTH;
        store16(hex,
                _mm_or_si128(_mm_shuffle_epi8(first, load16(shuffles.spread_first[0])), load16(shuffles.blanks[0])));
        store16(hex + 16, _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(first, load16(shuffles.spread_first[1])),
                                                    _mm_shuffle_epi8(second, load16(shuffles.spread_second[1]))),
                                       load16(shuffles.blanks[1])));
        store16(hex + 32,
                _mm_or_si128(_mm_shuffle_epi8(second, load16(shuffles.spread_second[2])), load16(shuffles.blanks[2])));
        hex[HEX_WIDTH] = ' ';
        // A byte shows as itself when lowest <= byte <= highest, else as ".".
        const __m128i shown = _mm_cmpeq_epi8(_mm_min_epu8(_mm_max_epu8(bytes, lowest), highest), bytes);
        store16(out + CHARS_AT, _mm_or_si128(_mm_and_si128(shown, bytes), _mm_andnot_si128(shown, dots)));
        put_line_end(out, layout);
    }
}

#endif

HexMethod fastest_method() { return plat::cpu_has(plat::CpuFeature::ssse3) ? HexMethod::ssse3 : HexMethod::portable; }

// Chosen while the program starts. Lines formatted before that go the
// portable way (zero), which gives the same text.
HexMethod method = fastest_method();

void format_lines(const unsigned char* data, std::size_t lines, std::uint64_t position, const LineLayout& layout,
                  char* out) {
    switch (method) {
    case HexMethod::portable: break;
#ifdef RANGEKIT_HEX_VECTOR
    case HexMethod::ssse3: return format_ssse3(data, lines, position, layout, out);
#else
    case HexMethod::ssse3: break;
#endif
    }
    format_portable(data, lines, position, layout, out);
}

}  // namespace

bool use_hex_method(HexMethod candidate) {
    if (candidate == HexMethod::ssse3 && fastest_method() != HexMethod::ssse3) return false;
    method = candidate;
    return true;
}

HexMethod current_hex_method() { return method; }

std::size_t format_hex_lines(const unsigned char* data, std::size_t lines, std::uint64_t position, bool high_bytes,
                             std::string_view line_end, char* out) {
    const LineLayout layout{true, high_bytes, line_end};
    format_lines(data, lines, position, layout, out);
    return lines * layout.length();
}

HexLine::HexLine(AddressStyle style, std::uint32_t sector_size)
    : style_(style),
      sector_size_(sector_size),
      // In UTF-8, bytes from 0x80 on written as they are form sequences of
      // their own, C1 controls among them that drive the terminal: a dumped
      // file must not. Shift-JIS consoles show double-byte text as it is.
      high_bytes_(!(plat::console_encoding() == plat::Encoding::utf8 && plat::text_is_utf8())),
      shown_(high_bytes_ ? tables.shown : tables.shown_ascii),
      batch_lines_(plat::stream_is_console(1) ? 1 : BATCH_LINES) {}

bool HexLine::address_fits(std::uint64_t line_start) const {
    if (style_ == AddressStyle::file_offset) return line_start < TWELVE_DIGITS_END;
    return line_start / sector_size_ <= 0xFFFFFFFFu && sector_size_ <= 0x1000;
}

int HexLine::format_address(char* out, std::int64_t line_start) const {
    auto position = static_cast<std::uint64_t>(line_start);
    int length;
    if (style_ == AddressStyle::sector && address_fits(position)) {
        // The common case, eight and three digits, without a formatted print.
        std::uint64_t sector = position / sector_size_, within = position % sector_size_;
        for (int i = 7; i >= 0; --i, sector >>= 4) out[i] = plat::HEX_DIGITS[sector & 15];
        out[8] = '/';
        for (int i = 11; i >= 9; --i, within >>= 4) out[i] = plat::HEX_DIGITS[within & 15];
        out[12] = ':';
        out[13] = ' ';
        return ADDRESS_WIDTH;
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

// Prints whole lines at the current position, which starts a line.
void HexLine::print_whole_lines(const unsigned char* data, std::size_t lines) {
    plat::Output& out = plat::std_out();
    const auto first = static_cast<std::uint64_t>(position_);
    position_ += static_cast<std::int64_t>(16 * lines);
    // Addresses grow from line to line: when the last one fits its 14
    // columns, all do, and the lines are formatted in one go, the file
    // offsets with them.
    const bool twelve_digits = style_ == AddressStyle::file_offset;
    if (address_fits(first + 16 * (lines - 1))) {
        const LineLayout layout{twelve_digits, high_bytes_, plat::text_line_end()};
        char* p = out.reserve(lines * layout.length());
        format_lines(data, lines, first, layout, p);
        if (!twelve_digits)
            for (std::size_t k = 0; k < lines; ++k)
                format_address(p + k * layout.length(), static_cast<std::int64_t>(first + 16 * k));
        out.commit(lines * layout.length());
        return;
    }
    // Wider addresses, one line at a time: the formatter writes the
    // columns behind the address, wherever it ends.
    const LineLayout layout{false, high_bytes_, plat::text_line_end()};
    for (std::size_t k = 0; k < lines; ++k) {
        char* p = out.reserve(MAX_LINE);
        const int n = format_address(p, static_cast<std::int64_t>(first + 16 * k));
        format_lines(data + 16 * k, 1, 0, layout, p + (n - ADDRESS_WIDTH));
        out.commit(static_cast<std::size_t>(n - ADDRESS_WIDTH) + layout.length());
    }
}

std::size_t HexLine::add(const unsigned char* data, std::size_t size, Pager& pager) {
    std::size_t i = 0;
    while (i < size) {
        if (cells_ == 0 && size - i >= 16) {
            // Whole lines straight into the output buffer, as many as come
            // before a page stop.
            const std::size_t lines = std::min({(size - i) / 16, batch_lines_, pager.lines_before_stop()});
            print_whole_lines(data + i, lines);
            i += 16 * lines;
            if (!pager.lines_shown(lines)) return i;
            continue;
        }
        unsigned char b = data[i++];
        std::memcpy(hex_ + 3 * cells_, tables.cell[b], 3);
        chars_[cells_] = shown_[b];
        ++position_;
        if (++cells_ < 16) continue;
        print_line();
        if (!pager.line_shown()) return i;
    }
    return size;
}

void HexLine::finish() {
    if (cells_ > 0) print_line();
}

}  // namespace rangekit

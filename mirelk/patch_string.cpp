#include "mirelk/patch_string.h"

#include <cstring>

#include "platform/file.h"
#include "platform/text.h"
#include "rangekit/tool_frame.h"

namespace mirelk {
namespace {

constexpr unsigned char QUOTE = '\'';
constexpr unsigned char CTRL_Z = 0x1A;
// Bytes a string file is read in at first; a find string is short.
constexpr std::size_t STRING_FILE_BLOCK = 4096;

int hex_digit(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// True when the bytes hold the end of the first line: a line feed, or the
// Ctrl+Z that ends a text-mode file.
bool holds_line_end(const unsigned char* data, std::size_t size) {
    return std::memchr(data, '\n', size) != nullptr || std::memchr(data, CTRL_Z, size) != nullptr;
}

}  // namespace

std::ptrdiff_t parse_patch_string(char* text, bool double_byte) {
    auto* in = reinterpret_cast<unsigned char*>(text);
    auto* out = in;
    const auto* begin = in;
    while (*in) {
        if (*in != QUOTE) {
            // A hex pair; the second digit may be the terminating NUL, which
            // is no digit, so nothing is read beyond the text.
            int high = hex_digit(in[0]);
            int low = high < 0 ? -1 : hex_digit(in[1]);
            if (low < 0) return PATCH_SYNTAX_ERROR;
            *out++ = static_cast<unsigned char>(high << 4 | low);
            in += 2;
            continue;
        }
        // Quoted text, up to a single quote or the end of the text.
        for (++in; *in; ++in) {
            if (*in == QUOTE) {
                if (in[1] != QUOTE) {
                    ++in;
                    break;
                }
                *out++ = *in++;
            } else if (double_byte && plat::is_shift_jis_lead(*in)) {
                if (!plat::is_shift_jis_trail(in[1])) return PATCH_BROKEN_DOUBLE_BYTE;
                *out++ = *in++;
                *out++ = *in;
            } else {
                *out++ = *in;
            }
        }
    }
    return out - begin;
}

std::size_t first_line_length(const unsigned char* data, std::size_t size) {
    std::size_t length = 0;
    while (length < size && data[length] != '\n' && data[length] != CTRL_Z) ++length;
    while (length > 0 && data[length - 1] == '\r') --length;
    return length;
}

int read_patch_string_file(const char* name, std::unique_ptr<unsigned char[]>& line) {
    plat::File file;
    if (!file.open(name, plat::OpenMode::read)) return STRING_FILE_ACCESS;
    // Read in blocks up to the end of the first line: the rest of the file,
    // however large, is never read, and a pipe or a device (whose size says
    // nothing) gives its first line like a file.
    std::unique_ptr<unsigned char[]> buffer;
    std::size_t capacity = 0, got = 0;
    for (;;) {
        if (got == capacity) {
            std::size_t larger = capacity == 0 ? STRING_FILE_BLOCK : capacity * 2;
            // One byte more for the terminating NUL.
            std::unique_ptr<unsigned char[]> grown = rangekit::allocate_buffer(larger + 1);
            if (!grown) return STRING_FILE_NO_MEMORY;
            if (got > 0) std::memcpy(grown.get(), buffer.get(), got);
            buffer = std::move(grown);
            capacity = larger;
        }
        std::int64_t n = file.read(buffer.get() + got, capacity - got);
        if (n < 0) return STRING_FILE_ACCESS;
        if (n == 0) break;
        const std::size_t block_start = got;
        got += static_cast<std::size_t>(n);
        if (holds_line_end(buffer.get() + block_start, got - block_start)) break;
    }
    buffer[first_line_length(buffer.get(), got)] = '\0';
    line = std::move(buffer);
    return STRING_FILE_OK;
}

bool pad_pattern(Pattern& pattern, std::size_t length) {
    if (length == pattern.length) return true;
    std::unique_ptr<unsigned char[]> longer = rangekit::allocate_buffer(length);
    if (!longer) return false;
    std::memcpy(longer.get(), pattern.bytes, pattern.length);
    std::memset(longer.get() + pattern.length, pattern.bytes[pattern.length - 1], length - pattern.length);
    pattern.storage = std::move(longer);
    pattern.bytes = pattern.storage.get();
    pattern.length = length;
    return true;
}

}  // namespace mirelk

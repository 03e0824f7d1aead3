// Fuzz target for the find and replace notation of mirelk.
//
// Besides crashes and sanitizer reports it checks:
// - any text parses to an error or to at most as many bytes as it holds,
//   with and without double-byte characters;
// - the first line of a string file holds no line end and no Ctrl+Z and
//   ends in no carriage return;
// - any byte string, written in the notation (hex pairs and quoted runs
//   mixed as the input decides, quotes doubled, the last quote sometimes left
//   open), parses back to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "mirelk/patch_string.h"
#include "platform/text.h"

namespace {

using namespace mirelk;

void check_raw_text(const std::uint8_t* data, std::size_t size, bool double_byte) {
    // A fresh heap copy: reads past the terminating NUL hit the redzone.
    std::string text(reinterpret_cast<const char*>(data), size);
    text.resize(std::strlen(text.c_str()));
    std::ptrdiff_t length = parse_patch_string(&text[0], double_byte);
    if (length < PATCH_BROKEN_DOUBLE_BYTE || length > static_cast<std::ptrdiff_t>(text.size())) std::abort();
}

void check_first_line(const std::uint8_t* data, std::size_t size) {
    std::size_t length = first_line_length(data, size);
    if (length > size) std::abort();
    if (std::memchr(data, '\n', length) || std::memchr(data, 0x1A, length)) std::abort();
    if (length > 0 && data[length - 1] == '\r') std::abort();
}

// Writes bytes in the notation; choices come from seed.
std::string encode(const std::string& bytes, std::uint32_t seed, bool double_byte) {
    const char* hex = "0123456789AbCdEf";
    std::string text;
    bool quoted = false;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        seed = seed * 1103515245u + 12345u;
        const auto b = static_cast<unsigned char>(bytes[i]);
        const bool lead = double_byte && plat::is_shift_jis_lead(b);
        const bool pair =
            lead && i + 1 < bytes.size() && plat::is_shift_jis_trail(static_cast<unsigned char>(bytes[i + 1]));
        // A zero byte would end the text; a lead byte needs its trail byte.
        const bool quote = (seed >> 16 & 1) && b != 0 && (!lead || pair);
        if (quote != quoted) text += '\'';
        quoted = quote;
        if (!quote) {
            text += hex[b >> 4];
            text += hex[b & 15];
        } else if (pair) {
            text += bytes.substr(i, 2);
            ++i;
        } else {
            text += bytes[i];
            if (b == '\'') text += '\'';
        }
    }
    seed = seed * 1103515245u + 12345u;
    if (quoted && (seed >> 16 & 1)) text += '\'';
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    check_raw_text(data, size, false);
    check_raw_text(data, size, true);
    check_first_line(data, size);

    if (size < 1) return 0;
    const bool double_byte = data[0] & 1;
    const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    std::string text = encode(bytes, data[0], double_byte);
    std::ptrdiff_t length = parse_patch_string(&text[0], double_byte);
    if (length != static_cast<std::ptrdiff_t>(bytes.size()) || text.compare(0, bytes.size(), bytes) != 0) std::abort();
    return 0;
}

#include "platform/text.h"

#include "platform/console.h"

namespace plat {
namespace {

bool continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Length of a well-formed UTF-8 sequence at text, or 1.
std::size_t utf8_length(const unsigned char* text) {
    std::size_t length = text[0] >= 0xF0 && text[0] <= 0xF4  ? 4
                         : text[0] >= 0xE0                   ? 3
                         : text[0] >= 0xC2 && text[0] < 0xE0 ? 2
                                                             : 1;
    if (text[0] >= 0xF5) length = 1;
    for (std::size_t i = 1; i < length; ++i)
        if (!continuation(text[i])) return 1;
    return length;
}

}  // namespace

std::size_t char_length(const char* text) {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
    if (names_in_utf8()) return utf8_length(bytes);
    if (console_encoding() == Encoding::shift_jis)
        return is_shift_jis_lead(bytes[0]) && is_shift_jis_trail(bytes[1]) ? 2 : 1;
    return text_is_utf8() ? utf8_length(bytes) : 1;
}

void mask_control_characters(char* begin, char* end) {
    for (; begin < end; ++begin)
        if (static_cast<unsigned char>(*begin) < 0x20 || *begin == 0x7F) *begin = '?';
}

void to_upper(char* text) {
    while (*text) {
        std::size_t length = char_length(text);
        if (length == 1) *text = ascii_upper(*text);
        text += length;
    }
}

bool text_is_shift_jis() { return console_encoding() == Encoding::shift_jis; }

std::size_t utf8_char_length(const char* text) { return utf8_length(reinterpret_cast<const unsigned char*>(text)); }

}  // namespace plat

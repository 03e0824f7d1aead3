#include <iconv.h>

#include <stdexcept>

#include "support/pty.h"
#include "support/text.h"

namespace testsupport {

const char* line_end() { return "\n"; }

std::string to_shift_jis(const std::string& utf8) {
    iconv_t converter = iconv_open("CP932", "UTF-8");
    if (converter == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("no CP932 converter");
    std::string out(utf8.size() * 2 + 8, '\0');
    char* in_ptr = const_cast<char*>(utf8.data());
    std::size_t in_left = utf8.size();
    char* out_ptr = out.data();
    std::size_t out_left = out.size();
    std::size_t done = iconv(converter, &in_ptr, &in_left, &out_ptr, &out_left);
    iconv_close(converter);
    if (done == static_cast<std::size_t>(-1)) throw std::runtime_error("text not in CP932");
    out.resize(out.size() - out_left);
    return out;
}

namespace {

// The codeset is read from the locale's name (ja_JP.SJIS, ja_JP.UTF-8).
bool shift_jis_locale(const std::string& locale) {
    const std::size_t point = locale.find('.');
    std::string codeset = point == std::string::npos ? "" : locale.substr(point + 1);
    for (char& c : codeset)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return codeset == "SJIS" || codeset == "SHIFT_JIS" || codeset == "CP932";
}

}  // namespace

std::string japanese_output(const std::string& utf8, const std::string& locale) {
    return shift_jis_locale(locale) ? to_shift_jis(utf8) : utf8;
}

// Elsewhere the output is UTF-8, where those bytes could drive the terminal.
// The Windows programs a terminal test drives show them, whatever the locale.
bool dump_shows_high_bytes(const std::string& locale) { return shift_jis_locale(locale) || terminal_under_wine(); }

}  // namespace testsupport

#include <windows.h>

#include <stdexcept>

#include "support/text.h"

namespace testsupport {

const char* line_end() { return "\r\n"; }

std::string to_shift_jis(const std::string& utf8) {
    if (utf8.empty()) return utf8;
    int wide_length =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    if (wide_length <= 0) throw std::runtime_error("invalid UTF-8");
    std::wstring wide(static_cast<std::size_t>(wide_length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), wide_length);
    int length = WideCharToMultiByte(932, 0, wide.data(), wide_length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(932, 0, wide.data(), wide_length, out.data(), length, nullptr, nullptr);
    return out;
}

bool dump_shows_high_bytes(const std::string&) { return true; }

// Japanese on Windows is always code page 932, whatever the locale says.
std::string japanese_output(const std::string& utf8, const std::string&) { return to_shift_jis(utf8); }

}  // namespace testsupport

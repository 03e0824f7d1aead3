#include "platform/win32/wide.h"

#include <windows.h>

namespace plat::backend {

std::wstring widen(std::string_view utf8) {
    if (utf8.empty()) return std::wstring();
    const int size = static_cast<int>(utf8.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), length);
    return wide;
}

std::string narrow(std::wstring_view wide) {
    if (wide.empty()) return std::string();
    const int size = static_cast<int>(wide.size());
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, utf8.data(), length, nullptr, nullptr);
    return utf8;
}

bool to_code_page(std::wstring_view wide, unsigned code_page, std::string& out) {
    out.clear();
    if (wide.empty()) return true;
    const int size = static_cast<int>(wide.size());
    // No best fit: a character the code page lacks is never shown as a
    // look-alike ("e" for "é" would name another file). UTF-8, GB18030 and
    // a few more take neither that flag nor the question of a replacement.
    for (const bool plain : {false, true}) {
        const DWORD flags = plain ? 0 : WC_NO_BEST_FIT_CHARS;
        BOOL replaced = FALSE;
        BOOL* replaced_flag = plain ? nullptr : &replaced;
        const int length = WideCharToMultiByte(code_page, flags, wide.data(), size, nullptr, 0, nullptr, replaced_flag);
        if (length <= 0) continue;
        out.assign(static_cast<std::size_t>(length), '\0');
        WideCharToMultiByte(code_page, flags, wide.data(), size, out.data(), length, nullptr, replaced_flag);
        return !replaced;
    }
    out = narrow(wide);  // a code page the system cannot write in
    return false;
}

}  // namespace plat::backend

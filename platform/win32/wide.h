// For the Windows backend: the one place where text changes encoding. The
// programs hold names, arguments and environment values in UTF-8; the
// system's wide (...W) calls take UTF-16. Not for use outside platform/.
#pragma once
#include <string>
#include <string_view>

namespace plat::backend {

// UTF-8 text as UTF-16 for a wide call; a malformed sequence becomes U+FFFD.
std::wstring widen(std::string_view utf8);
// UTF-16 text from a wide call as UTF-8.
std::string narrow(std::wstring_view wide);

// Text in the code page (932, 1252, ...): every character the code page
// cannot spell becomes its replacement character ("?"); true when none
// did. A code page the system cannot write in leaves the text in UTF-8,
// and false.
bool to_code_page(std::wstring_view wide, unsigned code_page, std::string& out);

}  // namespace plat::backend

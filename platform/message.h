// Bilingual messages: every text the user sees is an English/Japanese pair
// reading the same arguments, written in UTF-8 in the source and printed
// in the console's encoding. Where a translation needs the arguments in
// another order it numbers them ("%2$lld"), so callers never look at the
// language.
#pragma once
#include <cstdarg>
#include <cstddef>
#include <string>
#include <vector>

namespace plat {

struct Message {
    const char* english;
    const char* japanese;
};

// Chosen once at start from the console (console_init), forced by options
// such as kesto's /E.
extern bool use_english;

// The text of the message in the current language and console encoding
// (in UTF-8 where the program keeps its text so: keep_text_in_utf8).
std::string message_text(const Message& message);
// Screen columns of the message in the current language.
std::size_t message_columns(const Message& message);

// Formats like vsnprintf, numbered conversions ("%1$s") included; with
// mask_names, every control character of a "%s" argument shows as "?".
std::string format_text(const char* format, std::va_list args, bool mask_names);
// What each argument of a format is read as, in argument order: the length
// modifier and conversion letter ("lld", "s"), "*" for a width or
// precision.
std::vector<std::string> argument_conversions(const char* format);

}  // namespace plat

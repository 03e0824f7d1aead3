// Bilingual messages: every text the user sees is an English/Japanese pair
// with the same format arguments, written in UTF-8 in the source and printed
// in the console's encoding.
#pragma once
#include <string>

namespace plat {

struct Message {
    const char* english;
    const char* japanese;
};

// Chosen once at start from the console (console_init), forced by options
// such as kesto's /E.
extern bool use_english;

// The text of the message in the current language and console encoding.
std::string message_text(const Message& message);

}  // namespace plat

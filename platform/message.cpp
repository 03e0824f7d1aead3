#include "message.h"

#include "console.h"

namespace plat {

bool use_english = true;

std::string message_text(const Message& message) {
    if (use_english) return message.english;
    return to_console_text(message.japanese);
}

}  // namespace plat

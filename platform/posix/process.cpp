#include "platform/process.h"

#include <cstdlib>

namespace plat {

bool get_env(const char* name, std::string& value) {
    const char* text = std::getenv(name);
    if (!text) return false;
    value = text;
    return true;
}

const char* default_command_interpreter() { return "/bin/sh"; }

}  // namespace plat

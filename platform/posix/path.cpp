#include "platform/path.h"

#include <cstring>

namespace plat {

char path_separator() { return '/'; }

bool is_path_separator(char c) { return c == '/'; }

bool ends_path_component(char c) { return is_path_separator(c); }

bool is_end_of_options(const char* argument) { return std::strcmp(argument, "--") == 0; }

bool shell_expands_arguments() { return true; }

bool is_path_argument(const char* argument) {
    if (argument[0] != '/') return false;
    for (const char* p = argument + 1; *p && *p != ':'; ++p)
        if (*p == '/') return true;
    return false;
}

}  // namespace plat

// Path rules of the Windows build: backslash separators ("/" read as one), and options keep
// the original rules (no "--", no path taken for an option).
#include "platform/path.h"

namespace plat {

char path_separator() { return '\\'; }

bool is_path_separator(char c) { return c == '\\' || c == '/'; }

bool ends_path_component(char c) { return is_path_separator(c) || c == ':'; }

bool is_end_of_options(const char*) { return false; }

bool shell_expands_arguments() { return false; }

bool is_path_argument(const char*) { return false; }

}  // namespace plat

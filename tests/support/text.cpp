#include "support/text.h"

namespace testsupport {

bool on_windows() { return std::string(line_end()) == "\r\n"; }

std::string with_line_ends(const std::string& text) {
    const std::string end = line_end();
    if (end == "\n") return text;
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (char c : text) {
        if (c == '\n')
            out += end;
        else
            out += c;
    }
    return out;
}

}  // namespace testsupport

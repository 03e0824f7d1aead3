#include "support/text.h"

namespace testsupport {

bool on_windows() { return std::string(line_end()) == "\r\n"; }

std::string shown_name(const std::string& name) {
    if (!on_windows()) return name;
    std::string out;
    for (std::size_t i = 0; i < name.size();) {
        const auto c = static_cast<unsigned char>(name[i]);
        const std::size_t length = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
        out += c < 0x80 ? name.substr(i, 1) : length == 4 ? "??" : "?";
        i += length;
    }
    return out;
}

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

#include "support/process.h"

#include "support/files.h"

#include <utility>

namespace testsupport {

RunOptions options_in(const std::string& cwd, std::vector<std::string> env) {
    bool has_locale = false;
    for (const std::string& entry : env) has_locale |= entry.rfind("LC_ALL=", 0) == 0;
    if (!has_locale) env.push_back("LC_ALL=C");
    RunOptions options;
    options.env = std::move(env);
    options.cwd = cwd;
    return options;
}

std::string program_path(const std::string& name) {
    return native_path(std::string(SUITE_BIN_DIR) + "/" + name + SUITE_EXE_SUFFIX);
}

}  // namespace testsupport

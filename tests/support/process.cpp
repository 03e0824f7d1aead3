#include "support/process.h"

#include "support/files.h"

namespace testsupport {

std::string program_path(const std::string& name) {
    return native_path(std::string(SUITE_BIN_DIR) + "/" + name + SUITE_EXE_SUFFIX);
}

}  // namespace testsupport

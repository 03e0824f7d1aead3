#include "process.h"

#include <cerrno>

#include "backend.h"

namespace plat {

CommandFailure run_command(const std::string& interpreter, const std::string& command) {
    switch (backend::run_command(interpreter, command)) {
    case 0: return CommandFailure::none;
    case ENOENT: return CommandFailure::not_found;
    case E2BIG: return CommandFailure::too_long;
    case ENOEXEC: return CommandFailure::not_executable;
    case ENOMEM: return CommandFailure::no_memory;
    case EINVAL: return CommandFailure::invalid;
    default: return CommandFailure::other;
    }
}

}  // namespace plat

// Environment of the Windows build.
#include "platform/process.h"

#include <windows.h>

#include <errno.h>
#include <process.h>

#include <utility>

#include "platform/backend.h"

namespace plat {

bool get_env(const char* name, std::string& value) {
    char small[256];
    SetLastError(ERROR_SUCCESS);
    DWORD length = GetEnvironmentVariableA(name, small, sizeof small);
    if (length == 0) {
        // Zero is also the length of a variable set to the empty text.
        if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return false;
        value.clear();
        return true;
    }
    if (length < sizeof small) {
        value.assign(small, length);
        return true;
    }
    // Too small: length is the size needed, terminator included. The value
    // may change in between; try until it fits.
    for (;;) {
        std::string large(length, '\0');
        DWORD got = GetEnvironmentVariableA(name, large.data(), length);
        if (got == 0) {
            if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return false;
            value.clear();
            return true;
        }
        if (got < length) {
            large.resize(got);
            value = std::move(large);
            return true;
        }
        length = got;
    }
}

const char* default_command_interpreter() {
    // The top bit of the version word is clear on the NT family.
    return (GetVersion() & 0x80000000u) == 0 ? "CMD.EXE" : "COMMAND.COM";
}

const char* command_switch() { return "/c"; }

// The interpreter takes the command line as typed: names are inserted as
// they are.
std::string quote_command_argument(std::string_view text) { return std::string(text); }

int backend::run_command(const std::string& interpreter, const std::string& command) {
    // The child's command line is the interpreter, a blank and "/c command".
    const std::string argument = std::string(command_switch()) + " " + command;
    const char* arguments[] = {interpreter.c_str(), argument.c_str(), nullptr};
    errno = 0;
    if (_spawnv(_P_WAIT, interpreter.c_str(), arguments) != -1) return 0;
    return errno != 0 ? errno : -1;  // a failure without a number: unknown
}

int take_standard_options(int&, char**, const char*, HelpAs) { return -1; }

}  // namespace plat

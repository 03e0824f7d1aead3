// Environment of the Windows build.
#include "platform/process.h"

#include <windows.h>

#include <errno.h>
#include <process.h>
#include <shellapi.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/backend.h"
#include "platform/win32/wide.h"

namespace plat {

using backend::widen;

bool get_env(const char* name, std::string& value) {
    const std::wstring wide_name = backend::widen(name);
    std::wstring wide(256, L'\0');
    for (;;) {
        SetLastError(ERROR_SUCCESS);
        const DWORD length = GetEnvironmentVariableW(wide_name.c_str(), wide.data(), static_cast<DWORD>(wide.size()));
        // Zero is also the length of a variable set to the empty text.
        if (length == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) return false;
        if (length < wide.size()) {
            value = backend::narrow(std::wstring_view(wide.data(), length));
            return true;
        }
        // Too small: length is the size needed, terminator included. The
        // value may change in between; try until it fits.
        wide.resize(length);
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
    const std::wstring program = widen(interpreter);
    const std::wstring argument = widen(std::string(command_switch()) + " " + command);
    const wchar_t* arguments[] = {program.c_str(), argument.c_str(), nullptr};
    errno = 0;
    if (_wspawnv(_P_WAIT, program.c_str(), arguments) != -1) return 0;
    return errno != 0 ? errno : -1;  // a failure without a number: unknown
}

void argument_to_ansi(char* argument) {
    std::string bytes;
    backend::to_code_page(widen(argument), GetACP(), bytes);
    // Never longer: a character of one UTF-8 byte is one byte in any code
    // page, a longer one at most two.
    std::memcpy(argument, bytes.c_str(), bytes.size() + 1);
}

// Windows has its own options only. The arguments are taken again from the
// wide command line, in UTF-8 as every name inside the programs: the C
// runtime's argv holds them in the ANSI code page, where a name that page
// cannot spell has lost its characters.
int take_standard_options(int& argc, char**& argv, const char*, HelpAs) {
    static std::vector<std::string> texts;
    static std::vector<char*> pointers;
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide) return -1;  // keep the C runtime's
    texts.clear();
    for (int i = 0; i < count; ++i) texts.push_back(backend::narrow(wide[i]));
    LocalFree(wide);
    pointers.clear();
    for (std::string& text : texts) pointers.push_back(text.data());
    pointers.push_back(nullptr);
    argc = count;
    argv = pointers.data();
    return -1;
}

}  // namespace plat

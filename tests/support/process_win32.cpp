#include <windows.h>

#include <algorithm>
#include <cstring>
#include <thread>

#include "support/process.h"

namespace testsupport {
namespace {

// Quotes one argument so that the C runtime's command-line parser gives it
// back unchanged; always quoted when it passes through cmd.exe, which leaves
// its special characters alone inside quotes.
std::string quote(const std::string& arg, bool always) {
    if (!always && !arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
    std::string out = "\"";
    std::size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        out += c;
        backslashes = 0;
    }
    out.append(backslashes * 2, '\\');
    return out + '"';
}

bool starts_with_nocase(const char* text, const char* prefix) {
    return _strnicmp(text, prefix, std::strlen(prefix)) == 0;
}

// An entry the child inherits: not a language or fault variable, nor one
// the test sets itself (the first of two equal names would win).
bool inherited(const char* entry, const std::vector<std::string>& extra) {
    for (const std::string& own : extra) {
        const std::size_t name = own.find('=') + 1;
        if (name > 0 && starts_with_nocase(entry, own.substr(0, name).c_str())) return false;
    }
    return !starts_with_nocase(entry, "LANG=") && !starts_with_nocase(entry, "LANGUAGE=") &&
           !starts_with_nocase(entry, "LC_") && !starts_with_nocase(entry, "SUITE_FAULTS=");
}

// A Windows program takes its language from the console's output code page,
// not from the locale variables. A test asking for Japanese gets a console
// of its own (the test process may have none), switched to code page 932 by
// chcp before the program starts in it.
bool wants_japanese(const std::vector<std::string>& env) {
    for (const std::string& entry : env)
        if (starts_with_nocase(entry.c_str(), "LC_ALL=ja")) return true;
    return false;
}

std::string environment_block(const std::vector<std::string>& extra) {
    std::string block;
    char* strings = GetEnvironmentStringsA();
    for (const char* entry = strings; entry && *entry; entry += std::strlen(entry) + 1)
        if (inherited(entry, extra)) block.append(entry).push_back('\0');
    if (strings) FreeEnvironmentStringsA(strings);
    for (const std::string& entry : extra) block.append(entry).push_back('\0');
    block.push_back('\0');
    return block;
}

// Arguments and paths are UTF-8, as the programs take them.
std::wstring wide(const std::string& utf8) {
    std::wstring out(utf8.size() + 1, L'\0');
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, out.data(), static_cast<int>(out.size()));
    out.resize(length > 0 ? static_cast<std::size_t>(length) - 1 : 0);
    return out;
}

// Reads the pipe to its end, or until limit bytes came: then its reading
// end is closed, as by a reader that went away, and *pipe becomes null.
void drain(HANDLE* pipe, std::string* sink, std::size_t limit) {
    char buffer[65536];
    DWORD got = 0;
    while (sink->size() < limit &&
           ReadFile(*pipe, buffer, static_cast<DWORD>(std::min(sizeof buffer, limit - sink->size())), &got, nullptr) &&
           got > 0)
        sink->append(buffer, got);
    if (sink->size() < limit) return;
    CloseHandle(*pipe);
    *pipe = nullptr;
}

RunResult run_once(const std::string& program, const std::vector<std::string>& args, const RunOptions& options) {
    RunResult result;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE out_read, out_write, err_read, err_write;
    if (!CreatePipe(&out_read, &out_write, &inherit, 0)) return result;
    if (!CreatePipe(&err_read, &err_write, &inherit, 0)) {
        CloseHandle(out_read);
        CloseHandle(out_write);
        return result;
    }
    SetHandleInformation(out_read, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(err_read, HANDLE_FLAG_INHERIT, 0);
    const char* input = options.input_file.empty() ? "NUL" : options.input_file.c_str();
    HANDLE input_handle =
        CreateFileA(input, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);

    const bool japanese = wants_japanese(options.env);
    std::string command_line = quote(program, japanese);
    for (const std::string& arg : args) command_line += " " + quote(arg, japanese);
    if (japanese) command_line = "cmd.exe /s /c \"chcp 932 >nul && " + command_line + "\"";
    std::string env = environment_block(options.env);

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input_handle;
    HANDLE output_handle = options.output_file.empty()
                               ? out_write
                               : CreateFileA(options.output_file.c_str(), GENERIC_WRITE,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
    startup.hStdOutput = output_handle;
    startup.hStdError = err_write;
    PROCESS_INFORMATION process = {};
    const std::wstring wide_program = wide(program), wide_cwd = wide(options.cwd);
    std::wstring wide_command_line = wide(command_line);
    BOOL started = CreateProcessW(japanese ? nullptr : wide_program.c_str(), wide_command_line.data(), nullptr, nullptr,
                                  TRUE, japanese ? CREATE_NO_WINDOW : 0, env.data(),
                                  options.cwd.empty() ? nullptr : wide_cwd.c_str(), &startup, &process);
    CloseHandle(out_write);
    CloseHandle(err_write);
    if (input_handle != INVALID_HANDLE_VALUE) CloseHandle(input_handle);
    if (output_handle != out_write && output_handle != INVALID_HANDLE_VALUE) CloseHandle(output_handle);
    if (started) {
        std::thread out_reader(drain, &out_read, &result.out, options.output_limit);
        std::thread err_reader(drain, &err_read, &result.err, static_cast<std::size_t>(-1));
        if (WaitForSingleObject(process.hProcess, static_cast<DWORD>(options.timeout_ms)) != WAIT_OBJECT_0) {
            result.timed_out = true;
            TerminateProcess(process.hProcess, 255);
            WaitForSingleObject(process.hProcess, INFINITE);
        }
        out_reader.join();
        err_reader.join();
        DWORD code = 0;
        if (GetExitCodeProcess(process.hProcess, &code)) result.exit_code = static_cast<int>(code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    if (out_read) CloseHandle(out_read);
    CloseHandle(err_read);
    return result;
}

}  // namespace

// Wine's cmd now and then fails to find chcp while other Wine programs start
// at the same moment (the terminal tests run beside these). The program has
// not run then (the && stops it), so it is started again.
RunResult run(const std::string& program, const std::vector<std::string>& args, const RunOptions& options) {
    RunResult result = run_once(program, args, options);
    for (int tries = 1; tries < 3 && wants_japanese(options.env) && result.err.rfind("Can't recognize 'chcp", 0) == 0;
         ++tries)
        result = run_once(program, args, options);
    return result;
}

}  // namespace testsupport

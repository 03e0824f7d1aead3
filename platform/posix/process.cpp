#include "platform/process.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "platform/backend.h"
#include "platform/console.h"
#include "platform/output.h"

extern char** environ;

namespace plat {
namespace {

// Characters a shell takes literally in a word.
bool shell_literal(char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
    switch (c) {
    case '_':
    case '.':
    case '/':
    case '+':
    case ',':
    case ':':
    case '@':
    case '%':
    case '=':
    case '-': return true;
    default: return false;
    }
}

}  // namespace

bool get_env(const char* name, std::string& value) {
    const char* text = std::getenv(name);
    if (!text) return false;
    value = text;
    return true;
}

const char* default_command_interpreter() { return "/bin/sh"; }

const char* command_switch() { return "-c"; }

std::string quote_command_argument(std::string_view text) {
    bool literal = true;
    for (char c : text) literal = literal && shell_literal(c);
    if (literal) return std::string(text);
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    quoted += '\'';
    return quoted;
}

int backend::run_command(const std::string& interpreter, const std::string& command) {
    posix_spawnattr_t attributes;
    if (int error = posix_spawnattr_init(&attributes)) return error;
    // The program ignores these signals; the child gets them back, so that
    // Ctrl+C ends it and a pipeline of its own ends when its reader goes.
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int s : {SIGINT, SIGPIPE, SIGXFSZ}) sigaddset(&defaults, s);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    char* arguments[] = {const_cast<char*>(interpreter.c_str()), const_cast<char*>(command_switch()),
                         const_cast<char*>(command.c_str()), nullptr};
    suspend_keyboard();
    pid_t child = 0;
    int error = posix_spawnp(&child, interpreter.c_str(), nullptr, &attributes, arguments, environ);
    if (error == 0) {
        int status = 0;
        while (waitpid(child, &status, 0) < 0 && errno == EINTR) {}
    }
    resume_keyboard();
    posix_spawnattr_destroy(&attributes);
    return error;
}

void argument_to_ansi(char*) {}

int take_standard_options(int& argc, char**& argv, const char* program, HelpAs help_as) {
    if (argc < 2) return -1;
    if (std::strcmp(argv[1], "--help") == 0) {
        static char help_option[] = "/?";
        if (help_as == HelpAs::option)
            argv[1] = help_option;
        else
            argc = 1;
        return -1;
    }
    if (std::strcmp(argv[1], "--version") != 0) return -1;
    Output& out = std_out();
    out.printf("%s (%s) %s\n", program, SUITE_PACKAGE, SUITE_VERSION);
    return out.flush() ? 0 : 1;
}

}  // namespace plat

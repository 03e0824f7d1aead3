#include "support/child_posix.h"

#include <cstring>

extern char** environ;

namespace testsupport {
namespace {

// The test process's language and fault settings never reach a child: a
// test that cares sets them itself.
bool inherited(const char* entry) {
    static const char* const dropped[] = {"LANG=", "LANGUAGE=", "SUITE_FAULTS="};
    if (std::strncmp(entry, "LC_", 3) == 0) return false;
    for (const char* name : dropped)
        if (std::strncmp(entry, name, std::strlen(name)) == 0) return false;
    return true;
}

}  // namespace

ChildCommand child_command(const std::string& program, const std::vector<std::string>& args,
                           const std::vector<std::string>& env) {
    ChildCommand command;
    command.argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args) command.argv.push_back(const_cast<char*>(arg.c_str()));
    command.argv.push_back(nullptr);
    for (char** entry = environ; *entry; ++entry)
        if (inherited(*entry)) command.envp.push_back(*entry);
    for (const std::string& entry : env) command.envp.push_back(const_cast<char*>(entry.c_str()));
    command.envp.push_back(nullptr);
    return command;
}

}  // namespace testsupport

// The argument and environment vectors of a child program, built before
// fork() so that the child allocates nothing. POSIX only.
#pragma once
#include <string>
#include <vector>

namespace testsupport {

struct ChildCommand {
    std::vector<char*> argv;  // program, args, null
    std::vector<char*> envp;  // the inherited environment without locale and
                              // fault variables, then env, then null
};

// The vectors point into program, args and env, which must outlive them.
ChildCommand child_command(const std::string& program, const std::vector<std::string>& args,
                           const std::vector<std::string>& env);

}  // namespace testsupport

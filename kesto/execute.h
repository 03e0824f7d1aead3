// /X: a command template run through the command interpreter for every
// selected file and, after its contents, every selected directory.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

#include "platform/message.h"
#include "platform/process.h"
#include "platform/time.h"

namespace kesto {

// The command text and what stands in front of it ("/c ") may use this
// many bytes together with the terminating zero: a command has at most
// COMMAND_LIMIT - COMMAND_PREFIX - 1 (1020) bytes.
constexpr std::size_t COMMAND_LIMIT = 1024;
constexpr std::size_t COMMAND_PREFIX = 3;

// What a template can insert for one entry.
struct CommandNames {
    std::string short_path;  // the short form
    std::string long_path;
    plat::FileTime last_write_time = 0;
    bool four_digit_year = false;
    bool double_dollar = false;  // write every '$' of an inserted name twice
};

// Expands the command of template that starts at cursor into command and
// moves cursor behind it and the "$;" that ends it. Names are inserted as
// plat::quote_command_argument gives them, then with '$' doubled when
// double_dollar is set. The limit is checked before each template
// character, so one insertion may run past it. Returns the length the
// buffer holds: COMMAND_PREFIX, the command, the terminating zero; more
// than COMMAND_LIMIT means the command is too long. An empty command means
// the template is used up (or holds an empty command).
std::size_t expand_command(const std::string& command_template, std::size_t& cursor, const CommandNames& names,
                           std::string& command);

// The text of a failed child start's error number.
const plat::Message& child_error_text(plat::CommandFailure failure);

// The operation of /X: 1 goes on, 0 stops the walk.
int execute_entry();

}  // namespace kesto

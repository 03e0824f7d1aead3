#include "kesto/execute.h"

#include "kesto/console.h"
#include "kesto/listing.h"
#include "kesto/options.h"
#include "kesto/walker.h"
#include "platform/directory.h"
#include "platform/output.h"
#include "platform/path.h"
#include "platform/process.h"
#include "platform/text.h"

namespace kesto {
namespace {

using plat::Message;

const Message MSG_TOO_LONG = {"Too long command line to execute!\n[%s]\n", "コプロセスの引数が長すぎます!\n[%s]\n"};
const Message MSG_CHILD_FAILED = {"%s!\n", "%s!\n"};

const Message CHILD_NOT_FOUND = {"file or path not found", "ファイル名またはパス名が見つかりません"};
const Message CHILD_TOO_BIG = {"command line exceeds more than 1024 bytes", "引数リストが1024バイトを超えています"};
const Message CHILD_NOT_EXECUTABLE = {"file is not executable or bat format",
                                      "指定されたファイルが実行可能ファイルでないか、実行可能ファイルの形式が不正です"};
const Message CHILD_NO_MEMORY = {"insufficent memory to execute child process",
                                 "メモリ不足のため子プロセスを実行できません"};
const Message CHILD_INVALID = {"mode is invalidです", "modeが無効です"};
const Message CHILD_UNKNOWN = {"unknown child process error", "コプロセスの不明なエラーです"};

// The parts of a path: directory part (up to and including the separator
// or drive colon before the name), base name (the name without its last
// '.' and what follows) and extension (behind that '.', empty when the name
// has none).
struct PathParts {
    std::string_view directory;
    std::string_view base;
    std::string_view extension;
};

PathParts split_path(std::string_view path) {
    const std::size_t name = last_component_offset(path);
    std::string_view name_part = path.substr(name);
    const std::size_t dot = name_part.rfind('.');
    PathParts parts;
    parts.directory = path.substr(0, name);
    parts.base = name_part.substr(0, dot);
    if (dot != std::string_view::npos) parts.extension = name_part.substr(dot + 1);
    return parts;
}

// A directory part that starts with a drive letter and its colon (never on
// POSIX, where ':' is an ordinary character).
bool has_drive(std::string_view directory) {
    return directory.size() >= 2 && directory[1] == ':' && plat::ends_path_component(':');
}

// $P: the directory part without its trailing separator ("C:" stays).
std::string_view parent_of(std::string_view directory) {
    if (!directory.empty() && plat::is_path_separator(directory.back())) directory.remove_suffix(1);
    return directory;
}

// $S: the same without a drive; "." when nothing else is left.
std::string_view parent_without_drive(std::string_view directory) {
    if (has_drive(directory)) directory.remove_prefix(2);
    if (directory.empty()) return ".";
    return parent_of(directory);
}

// $V and $v: the drive, its letter's case bit cleared or set; "." without one.
std::string drive_of(std::string_view directory, bool lower) {
    if (!has_drive(directory)) return ".";
    const char letter = lower ? static_cast<char>(directory[0] | 0x20) : static_cast<char>(directory[0] & ~0x20);
    return std::string{letter, ':'};
}

// Appends an inserted name: quoted for the interpreter, then with every
// '$' doubled when asked.
void append_name(std::string& command, std::string_view name, bool double_dollar) {
    for (char c : plat::quote_command_argument(name)) {
        command += c;
        if (double_dollar && c == '$') command += c;
    }
}

// Appends what "$" and the character letter stand for; false when the
// pair has no meaning (it is then copied as it is).
bool append_variable(std::string& command, char letter, const CommandNames& names) {
    const PathParts short_form = split_path(names.short_path);
    const PathParts long_form = split_path(names.long_path);
    const bool lower = letter >= 'a' && letter <= 'z';
    const PathParts& form = lower ? long_form : short_form;
    const std::string& path = lower ? names.long_path : names.short_path;
    char text[DATE_MAX > TIME_MAX ? DATE_MAX : TIME_MAX];
    switch (letter) {
    case 'D':
    case 'd':
        command.append(text, format_date(text, names.last_write_time, letter == 'D' ? '-' : 0, names.four_digit_year));
        return true;
    case 'T':
    case 't':
        command.append(text, format_time(text, names.last_write_time, letter == 'T' ? TIME_COLONS : TIME_COMPACT));
        return true;
    case 'E':
    case 'e': append_name(command, form.extension, names.double_dollar); return true;
    case 'F':
    case 'f': append_name(command, form.base, names.double_dollar); return true;
    case 'N':
    case 'n': append_name(command, path, names.double_dollar); return true;
    case 'P':
    case 'p': append_name(command, parent_of(form.directory), names.double_dollar); return true;
    case 'S':
    case 's': append_name(command, parent_without_drive(form.directory), names.double_dollar); return true;
    case 'V':
    case 'v': command += drive_of(short_form.directory, lower); return true;
    default: return false;
    }
}

// The path forms of the current entry; with A both come from the full path.
CommandNames entry_names() {
    const OperationOptions& o = state.options;
    CommandNames names;
    names.long_path = walker.entry_long_path;
    names.short_path = walker.entry_short_path;
    names.last_write_time = current_level().find_data.last_write_time;
    names.four_digit_year = o.four_digit_year;
    names.double_dollar = o.exec_double_dollar;
    std::string full;
    if (o.exec_full_path && plat::full_path(walker.entry_long_path.c_str(), full)) {
        if (!plat::short_path(full.c_str(), names.short_path)) names.short_path = full;
        names.long_path = full;
    }
    return names;
}

}  // namespace

std::size_t expand_command(const std::string& command_template, std::size_t& cursor, const CommandNames& names,
                           std::string& command) {
    command.clear();
    const char* text = command_template.c_str();
    const std::size_t end = command_template.size();
    while (cursor < end && COMMAND_PREFIX + command.size() <= COMMAND_LIMIT) {
        std::size_t length = plat::char_length(text + cursor);
        if (text[cursor] != '$') {
            command.append(text + cursor, length);
            cursor += length;
            continue;
        }
        ++cursor;
        if (cursor == end) {
            command += '$';
            break;
        }
        length = plat::char_length(text + cursor);
        const char next = text[cursor];
        cursor += length;
        if (length == 1 && next == ';') break;
        if (length == 1 && next == '$') {
            command += '$';
        } else if (length != 1 || !append_variable(command, next, names)) {
            command += '$';
            command.append(text + cursor - length, length);
        }
    }
    return COMMAND_PREFIX + command.size() + 1;
}

const Message& child_error_text(plat::CommandFailure failure) {
    switch (failure) {
    case plat::CommandFailure::not_found: return CHILD_NOT_FOUND;
    case plat::CommandFailure::too_long: return CHILD_TOO_BIG;
    case plat::CommandFailure::not_executable: return CHILD_NOT_EXECUTABLE;
    case plat::CommandFailure::no_memory: return CHILD_NO_MEMORY;
    case plat::CommandFailure::invalid: return CHILD_INVALID;
    default: return CHILD_UNKNOWN;
    }
}

int execute_entry() {
    ++state.pause_counter;
    const OperationOptions& o = state.options;
    const CommandNames names = entry_names();
    plat::Output& out = plat::std_out();
    plat::Output& err = plat::std_err();
    std::string command;
    for (std::size_t cursor = 0;;) {
        const std::size_t used = expand_command(o.exec_command, cursor, names, command);
        if (command.empty()) return 1;
        if (used > COMMAND_LIMIT) {
            err.print(MSG_TOO_LONG, (std::string(plat::command_switch()) + " " + command).c_str());
            err.flush();
            return 0;
        }
        if (o.confirm_each || !o.exec_hide_command) {
            out.flush();
            err.name(command);
            const int answer = o.confirm_each ? ask_confirm(PROMPT_EXECUTE) : 1;
            err.text("\n");
            if (answer < 0) return 0;
            if (answer == 0) continue;
        }
        // What the program wrote stands before what the child writes.
        out.flush();
        err.flush();
        const plat::CommandFailure failure = plat::run_command(o.command_interpreter, command);
        if (failure != plat::CommandFailure::none) {
            err.print(MSG_CHILD_FAILED, plat::message_text(child_error_text(failure)).c_str());
            err.flush();
            return 0;
        }
    }
}

}  // namespace kesto

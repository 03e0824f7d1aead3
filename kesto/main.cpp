// kesto's driver: sets up the console, classifies the command line, turns
// the source into the level-0 search and the destination into the path
// prefix, reserves the buffers, walks, and ends with the exit code (a count
// of at most 254, or 255 after an error).
#include <cstdint>
#include <new>
#include <string>

#include "kesto/console.h"
#include "kesto/copy.h"
#include "kesto/options.h"
#include "kesto/size_tree.h"
#include "kesto/walker.h"
#include "platform/console.h"
#include "platform/directory.h"
#include "platform/fault.h"
#include "platform/output.h"
#include "platform/path.h"
#include "platform/process.h"

namespace kesto {
namespace {

using plat::Message;

const Message MSG_NOT_FOUND = {"Source file or directory is not found.\n",
                               "ソースファイルまたはディレクトリが見つかりません.\n"};
const Message MSG_SAME_DIRECTORY = {"Source and destination are same directory.\n",
                                    "ソースとディスティネーションが同じディレクトリです.\n"};
const Message MSG_DESTINATION_IN_SOURCE = {"Destination is inside the source directory.\n",
                                           "ディスティネーションがソースディレクトリの中にあります.\n"};
const Message MSG_OUT_OF_MEMORY = {"Out of memory!\n", "Out of memory!\n"};

constexpr int EXIT_ERROR = 255;
constexpr std::uint32_t EXIT_COUNT_LIMIT = 254;

bool ends_with_separator(const std::string& path) {
    return !path.empty() && last_component_offset(path) == path.size();
}

void print_debug_arguments() {
    plat::std_err().printf("src:[%s],dst:[%s]\n", state.source_arg ? state.source_arg->c_str() : "",
                           state.dest_arg ? state.dest_arg->c_str() : "");
}

// The level-0 search path of the source argument, with the selection flags
// it implies; false when it does not fit. named_exists: a source that names
// one entry (no wildcard, no trailing separator) names one that exists.
bool make_source_search(bool& named_exists) {
    named_exists = true;
    LevelRecord& level = walker.levels[0];
    std::string path = "*";
    if (state.source_arg) {
        std::string& source = *state.source_arg;
        // A last component "." or ".." names a directory by a name that the
        // walk would skip: its contents are walked, as with a trailing
        // separator.
        const std::string last = source.substr(last_component_offset(source));
        if (last == "." || last == "..") source += plat::path_separator();
        path = source;
        if (path.empty() || ends_with_separator(path)) {
            path += '*';
        } else if (probe_source_wildcard(source)) {
            path = source;
        } else {
            plat::DirectorySearch search;
            plat::FindRecord record;
            named_exists = search.first(path.c_str(), record);
            if (named_exists && (record.attributes & plat::ATTR_DIRECTORY))
                state.options.selection_flags |= SELECT_SOURCE_DIRECTORY;
        }
    }
    level.prefix_length = last_component_offset(path);
    // A directory source keeps its own name: the directory itself is the
    // only level-0 entry.
    if (!(state.options.selection_flags & SELECT_SOURCE_DIRECTORY))
        path.replace(level.prefix_length, std::string::npos, "*");
    if (path.size() >= PATH_BUFFER_SIZE) {
        return report_path_too_long(path);
    }
    level.search_path = path;
    return true;
}

bool uses_destination(std::uint16_t mode) {
    return (mode & (MODE_COPY | MODE_UPDATE | MODE_VERIFY)) != 0 || mode == MODE_DELETE_VERIFIED;
}

// The destination prefix; false when the run cannot go on (a destination
// root that cannot be created, the source's own directory, or a directory
// inside the tree a copy reads, checked before anything is created). A copy
// refused for that whose named source does not exist says so: that is what
// the user has to mend first.
bool make_destination(bool source_exists) {
    const OperationOptions& o = state.options;
    const std::uint16_t mode = o.operation_mode;
    const bool copies = (mode & (MODE_COPY | MODE_UPDATE)) != 0;
    walker.dest_path.clear();
    bool create_root = false;
    std::string prefix;
    if (state.dest_arg) {
        walker.dest_path = *state.dest_arg;
        prefix = walker.dest_path;
        if (!ends_with_separator(prefix)) {
            create_root = copies && !probe_dest(plat::ATTR_DIRECTORY);
            prefix += plat::path_separator();
        }
    }
    // A walk that enters directories would copy its own copies again.
    if (copies && o.max_depth > 0 &&
        destination_in_source(prefix, walker.levels[0].search_path,
                              (o.selection_flags & SELECT_SOURCE_DIRECTORY) != 0)) {
        if (source_exists)
            plat::std_out().print(MSG_DESTINATION_IN_SOURCE);
        else
            print_reversed(1, MSG_NOT_FOUND);
        return false;
    }
    if (create_root && !create_directory(nullptr, plat::ATTR_DIRECTORY, true)) return false;
    walker.dest_path = prefix;
    walker.dest_prefix_length = walker.dest_path.size();
    if ((copies || mode == MODE_DELETE_VERIFIED) &&
        same_directory_check(walker.dest_path, walker.levels[0].search_path) == 0) {
        plat::std_out().print(MSG_SAME_DIRECTORY);
        return false;
    }
    return true;
}

bool reserve(std::unique_ptr<unsigned char[]>& buffer) {
    if (plat::fault::hit(plat::fault::Call::allocate)) return false;
    buffer.reset(new (std::nothrow) unsigned char[TRANSFER_BUFFER_SIZE]);
    return buffer != nullptr;
}

bool reserve_buffers() {
    const std::uint16_t mode = state.options.operation_mode;
    if ((state.options.crc_polynomial != 0 || uses_destination(mode)) && !reserve(state.transfer_buffer)) return false;
    if (((mode & (MODE_FLAG_VERIFY | MODE_VERIFY)) != 0 || mode == MODE_DELETE_VERIFIED) &&
        !reserve(state.compare_buffer))
        return false;
    return true;
}

bool tree_mode() { return (state.options.operation_mode & MODE_OPERATION) == MODE_TREE; }

// Walks the entries of the open level-0 search.
void walk_source() {
    walk_level_entries();
    close_search(current_level().find_handle);
    if (tree_mode()) close_search(current_lookahead().find_handle);
}

int run(int argc, char** argv) {
    classify_arguments(argc, argv);
    if (state.options.help_request & HELP_USAGE) {
        print_usage_screen();
        return 0;
    }
    if (state.parameter_errors != 0) return EXIT_ERROR;
    if (state.options.help_request & HELP_PARAMETERS) print_parameter_list(argc, argv);

    std::string debug;
    const bool debugging = plat::get_env("kestodebug", debug);
    if (debugging) print_debug_arguments();
    if (state.source_arg) strip_double_quotes(*state.source_arg);
    if (state.dest_arg) strip_double_quotes(*state.dest_arg);
    if (debugging) print_debug_arguments();
    plat::std_err().flush();

    bool source_exists = true;
    if (!make_source_search(source_exists)) return EXIT_ERROR;
    // The source first: a missing one leaves no trace at the destination.
    if (!open_level_search()) {
        print_reversed(1, MSG_NOT_FOUND);
        return EXIT_ERROR;
    }
    if (uses_destination(state.options.operation_mode) && !make_destination(source_exists)) return EXIT_ERROR;
    if (!reserve_buffers()) {
        plat::std_out().print(MSG_OUT_OF_MEMORY);
        return EXIT_ERROR;
    }
    walk_source();
    const std::uint16_t mode = state.options.operation_mode;
    std::uint32_t count = state.selected_file_count;
    if (mode & MODE_SIZE) {
        // /ST printed nothing during the walk: the total is its only line.
        if (state.options.size_total_only) {
            state.options.size_total_only = false;
            add_size_units(0);
            plat::std_out().text("\n");
        }
        return static_cast<int>(state.size_total < EXIT_COUNT_LIMIT ? state.size_total : EXIT_COUNT_LIMIT);
    }
    if ((mode & MODE_VERIFY) || mode == MODE_DELETE_VERIFIED) count = state.verified_file_count;
    return static_cast<int>(count < EXIT_COUNT_LIMIT ? count : EXIT_COUNT_LIMIT);
}

}  // namespace
}  // namespace kesto

int main(int argc, char** argv) {
    plat::console_init();
    // Every name reaches the screen in the console's own encoding.
    plat::keep_text_in_utf8();
    // Names reach a terminal without their control characters.
    plat::std_out().mask_names();
    plat::std_err().mask_names();
    int exit_code = plat::take_standard_options(argc, argv, "kesto", plat::HelpAs::option);
    if (exit_code < 0) exit_code = kesto::run(argc, argv);
    kesto::state.transfer_buffer.reset();
    kesto::state.compare_buffer.reset();
    plat::restore_colour(1);
    // Output that did not arrive is a failure, never a count.
    if (!plat::finish_standard_output()) exit_code = kesto::EXIT_ERROR;
    return exit_code;
}

#include "kesto/walker.h"

#include <cstring>
#include <utility>
#include <vector>

#include "kesto/change.h"
#include "kesto/console.h"
#include "kesto/copy.h"
#include "kesto/delete.h"
#include "kesto/execute.h"
#include "kesto/listing.h"
#include "kesto/options.h"
#include "kesto/size_tree.h"
#include "kesto/verify.h"
#include "kesto/work_ahead.h"
#include "platform/file.h"
#include "platform/output.h"
#include "platform/path.h"
#include "platform/text.h"
#include "platform/time.h"

namespace kesto {

Walker walker;

namespace {

using plat::Message;

const Message MSG_FIND_CLOSE_FAILED = {"FindClose() failed.\n", "FindClose() failed.\n"};
const Message MSG_PATH_TOO_LONG = {"Path %s is too long!\n", "パス%sが長すぎます!\n"};
const Message MSG_DESTINATION_IS_SOURCE = {"Destination file %s is the source file itself!\n",
                                           "出力ファイル %s は入力ファイルそのものです!\n"};

// The walker's only link to the operations: what each operation does with
// a file, and with a directory before and after its subtree.
struct OperationRow {
    std::uint16_t mode;
    int (*file)();
    int (*before)();
    int (*after)();
};
const OperationRow OPERATIONS[] = {
    {MODE_LIST, list_entry, list_entry, nullptr},
    {MODE_SIZE, sum_entry_size, nullptr, nullptr},
    {MODE_TREE, tree_entry, tree_entry, tree_entry},
    {MODE_ATTRIB, change_attributes_entry, change_attributes_entry, nullptr},
    {MODE_DELETE, delete_entry, nullptr, delete_entry},
    {MODE_COPY, copy_entry, copy_entry, nullptr},
    {MODE_UPDATE, copy_entry, copy_entry, nullptr},
    {MODE_VERIFY, verify_entry, verify_entry, nullptr},
    {MODE_DATE, change_date_entry, nullptr, change_date_entry},
    {MODE_EXEC, execute_entry, nullptr, execute_entry},
};

const OperationRow* operation_row(std::uint16_t mode) {
    for (const OperationRow& row : OPERATIONS)
        if (row.mode == mode) return &row;
    return nullptr;
}

std::uint16_t operation() { return state.options.operation_mode & MODE_OPERATION; }

// Length of the character at text, 0 at its end.
std::size_t char_at(const char* text) { return *text ? plat::char_length(text) : 0; }

bool same_char(const char* a, std::size_t a_length, const char* b, std::size_t b_length) {
    if (a_length != b_length) return false;
    if (a_length == 1) return plat::ascii_upper(*a) == plat::ascii_upper(*b);
    return std::memcmp(a, b, a_length) == 0;
}

// Compares the pattern characters [pattern, end) with the name from name
// on, moving name behind what they matched. "?" matches any one character,
// and nothing at the end of the name.
bool match_segment(const char*& name, const char* pattern, const char* end) {
    while (pattern < end) {
        if (*pattern == '?') {
            name += char_at(name);
            ++pattern;
            continue;
        }
        std::size_t pattern_length = plat::char_length(pattern);
        std::size_t name_length = char_at(name);
        if (!same_char(name, name_length, pattern, pattern_length)) return false;
        name += name_length;
        pattern += pattern_length;
    }
    return true;
}

// The first position from name on where the character c (of c_length
// bytes) may start a match, or null.
const char* find_char(const char* name, const char* c, std::size_t c_length) {
    if (*c == '?') return *name ? name : nullptr;
    for (; *name; name += plat::char_length(name))
        if (same_char(name, plat::char_length(name), c, c_length)) return name;
    return nullptr;
}

// The rest of a pattern after a "*", against the name from name on.
int star_step(const char* name, const char* pattern) {
    while (*pattern == '*') ++pattern;
    if (!*pattern) return 1;
    const char* end = pattern;
    while (*end && *end != '*') end += plat::char_length(end);
    const bool final_dot = end - pattern == 1 && *pattern == '.' && !*end;
    const std::size_t first_length = plat::char_length(pattern);
    for (const char* from = name;;) {
        const char* found = find_char(from, pattern, first_length);
        if (!found) return (*pattern == '.' && final_dot) ? 1 : 0;
        const char* rest = found;
        if (match_segment(rest, pattern, end)) {
            if (*end) {
                int result = star_step(rest, end);
                if (result != 0) return result < 0 ? result : 1;
            } else {
                if (!*rest) return 1;
                if (final_dot) return -1;
            }
        }
        from = found + plat::char_length(found);
    }
}

// The components of a path, split at its separators.
std::vector<std::string_view> path_components(std::string_view path) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t i = 0; i < path.size();) {
        std::size_t length = plat::char_length(path.data() + i);
        if (length == 1 && plat::ends_path_component(path[i])) {
            parts.push_back(path.substr(start, i - start));
            start = i + 1;
        }
        i += length;
    }
    parts.push_back(path.substr(start));
    return parts;
}

// A long name and its short alias (the last component of the short path)
// against a pattern: the long name first, the short one on 0.
int match_long_then_short(std::string_view long_name, std::string_view short_name, const std::string& pattern) {
    int result = match_wildcard(std::string(long_name).c_str(), pattern.c_str());
    if (result == 0) result = match_wildcard(std::string(short_name).c_str(), pattern.c_str());
    return result;
}

// One element of a name list against the current entry: a name, or a path
// whose components, from the last one leftwards, must each match the
// entry's name and the names of its parent directories.
bool match_element(std::string_view element) {
    std::vector<std::string_view> pattern = path_components(element);
    std::vector<std::string_view> long_parts = path_components(walker.entry_long_path);
    std::vector<std::string_view> short_parts = path_components(walker.entry_short_path);
    if (pattern.size() > long_parts.size()) return false;
    for (std::size_t k = 1; k <= pattern.size(); ++k) {
        std::string_view short_part =
            k <= short_parts.size() ? short_parts[short_parts.size() - k] : std::string_view();
        if (match_long_then_short(long_parts[long_parts.size() - k], short_part,
                                  std::string(pattern[pattern.size() - k])) <= 0)
            return false;
    }
    return true;
}

// Sets the name and extension positions of a path.
void locate_name(const std::string& path, std::size_t& name, std::size_t& extension) {
    name = last_component_offset(path);
    std::size_t dot = path.rfind('.');
    extension = (dot == std::string::npos || dot < name) ? std::string::npos : dot + 1;
}

bool make_entry_paths() {
    if (!make_entry_long_path()) return false;
    make_entry_short_path();
    return true;
}

// A path without one trailing separator, unless that separator is a root's
// ("/", "C:\" on Windows).
std::string without_trailing_separator(std::string path) {
    if (path.size() > 1 && plat::is_path_separator(path.back()) && !plat::ends_path_component(path[path.size() - 2]))
        path.pop_back();
    return path;
}

// The directory a level enumerates, as a path for the system: "dir/" names
// dir, a root ("/", "C:\") keeps its separator.
std::string level_directory(const LevelRecord& level) {
    std::string directory = level.search_path.substr(0, last_component_offset(level.search_path));
    return directory.empty() ? "." : without_trailing_separator(std::move(directory));
}

// True when the directory root is one of the directories above the one
// that path leads to, or (with itself) that directory itself. The
// directories above are reached through "..", which the system resolves
// from where a link leads, not from the text of the path, so that any link
// on the way counts. A path that does not exist counts from its deepest
// existing directory, itself included.
bool leads_into(std::string path, const plat::FileIdentity& root, bool itself) {
    plat::FileIdentity identity;
    while (!plat::file_identity(path.c_str(), identity)) {
        std::string above = without_trailing_separator(path.substr(0, last_component_offset(path)));
        if (above.empty() || above == path) return false;
        path = std::move(above);
        itself = true;  // an existing directory above the path
    }
    if (itself && identity == root) return true;
    for (;;) {
        if (!plat::is_path_separator(path.back())) path += plat::path_separator();
        path += "..";
        plat::FileIdentity above;
        if (!plat::file_identity(path.c_str(), above) || above == identity) return false;  // the top
        if (above == root) return true;
        identity = above;
    }
}

// True when the directory of the current link entry lies in the
// destination tree: a walk that copies or verifies would meet its own
// destination there.
bool leads_into_destination() {
    const std::uint16_t op = operation();
    if (walker.dest_prefix_length == 0 || !(op == MODE_COPY || op == MODE_UPDATE || op == MODE_VERIFY)) return false;
    plat::FileIdentity destination;
    const std::string root = walker.dest_path.substr(0, walker.dest_prefix_length);
    return plat::file_identity(root.c_str(), destination) && leads_into(walker.entry_long_path, destination, true);
}

// Operations that only read the tree enter links to directories; those
// that change things never do (they would act on what the link leads to).
bool reads_only() {
    const std::uint16_t mode = state.options.operation_mode;
    switch (mode & MODE_OPERATION) {
    case MODE_LIST:
    case MODE_SIZE:
    case MODE_TREE:
    case MODE_VERIFY: return true;
    case MODE_COPY:
    case MODE_UPDATE: return !(mode & (MODE_FLAG_MOVE | MODE_FLAG_REMOVE_SOURCE));
    default: return false;
    }
}

// True when the current directory entry may be entered: a plain directory,
// or in a reading walk a link that does not lead back to a directory open
// above it (a loop, which is listed but not entered) nor into the
// destination tree.
bool may_enter() {
    if (!(current_level().find_data.attributes & plat::ATTR_REPARSE_POINT)) return true;
    if (!reads_only()) return false;
    plat::FileIdentity target;
    if (!plat::file_identity(walker.entry_long_path.c_str(), target) || leads_into_destination()) return false;
    for (int depth = 0; depth <= walker.current_depth; ++depth) {
        plat::FileIdentity open;
        if (plat::file_identity(level_directory(walker.levels[static_cast<std::size_t>(depth)]).c_str(), open) &&
            open == target)
            return false;
    }
    return true;
}

// Enters the directory of the current entry and walks it. False when the
// run must stop; remaining is the directory's remaining_entries (1 when it
// was not entered).
bool walk_subtree(int& remaining) {
    remaining = 1;
    if (!may_enter()) return true;
    const LevelRecord& parent = current_level();
    if (walker.entry_long_path.size() + 2 >= PATH_BUFFER_SIZE) {
        report_path_too_long(walker.entry_long_path + plat::path_separator() + "*");
        return true;
    }
    ++walker.current_depth;
    LevelRecord& child = current_level();
    child.prefix_length = parent.prefix_length;
    child.search_path = walker.entry_long_path;
    child.search_path += plat::path_separator();
    child.search_path += '*';
    child.remaining_entries = 0;
    if (open_level_search() && !walk_level_entries()) return false;
    close_search(child.find_handle);
    if (operation() == MODE_TREE) close_search(current_lookahead().find_handle);
    child.directory.close();
    remaining = child.remaining_entries;
    --walker.current_depth;
    return true;
}

int walk_directory() {
    OperationOptions& o = state.options;
    const std::string& name = current_level().find_data.long_name;
    if (name == "." || name == "..") return 1;
    ++current_level().remaining_entries;
    if (!make_entry_paths()) return 1;
    if (!o.exclude_dir_list.empty() && match_name_list(o.exclude_dir_list)) return 1;
    const int pre = select_directory();
    const bool include_list = !o.include_dir_list.empty();
    if (include_list && (o.include_depth != 0 || match_name_list(o.include_dir_list))) ++o.include_depth;
    const OperationRow* row = operation_row(operation());
    if (o.include_depth > 0 && pre == 1 && row && row->before && row->before() == 0) return 0;

    int remaining = 1;
    if (walker.current_depth < o.max_depth && !walk_subtree(remaining)) return 0;
    make_entry_paths();  // the subtree overwrote them; they fitted before

    // A move empties the directories it leaves; each emptied one goes, once
    // it stands at the destination (a directory that was never made there,
    // being empty or holding nothing selected, stays where it is).
    const std::uint16_t op = operation();
    if (o.include_depth > 0 && remaining == 0 && (o.operation_mode & MODE_FLAG_MOVE) &&
        (op == MODE_COPY || op == MODE_UPDATE) && build_dest_path() && probe_dest(plat::ATTR_DIRECTORY)) {
        delete_entry();
    }
    int result = 1;
    if (o.include_depth > 0 && select_directory() == 1 && row && row->after) result = row->after();
    if (include_list && o.include_depth > 0) --o.include_depth;
    return result;
}

int walk_file() {
    const OperationOptions& o = state.options;
    ++current_level().remaining_entries;
    if (!make_entry_paths()) return 1;
    if (o.include_depth <= 0) return 1;
    if (!o.exclude_file_list.empty() && match_name_list(o.exclude_file_list)) return 1;
    if (!o.include_file_list.empty() && !match_name_list(o.include_file_list)) return 1;
    if (!select_file()) return 1;
    if (state.selected_file_count != 0xFFFFFFFFu) ++state.selected_file_count;
    const OperationRow* row = operation_row(operation());
    return row && row->file ? row->file() : 1;
}

}  // namespace

bool report_path_too_long(const std::string& path) {
    print_reversed(1, MSG_PATH_TOO_LONG, path.c_str());
    return false;
}

bool open_level_search() {
    LevelRecord& level = current_level();
    const std::string pattern = level.search_path.substr(last_component_offset(level.search_path));
    bool opened;
    if (walker.current_depth == 0) {
        opened = level.directory.open(level_directory(level).c_str());
    } else {
        const LevelRecord& parent = walker.levels[static_cast<std::size_t>(walker.current_depth - 1)];
        const plat::FindRecord& entry = parent.find_data;
        opened = level.directory.open_in(parent.directory, entry.long_name.c_str(),
                                         (entry.attributes & plat::ATTR_REPARSE_POINT) != 0);
    }
    if (!opened) return false;
    bool found = level.find_handle.first(level.directory, pattern.c_str(), level.find_data);
    if (operation() == MODE_TREE) {
        LookaheadRecord& ahead = current_lookahead();
        found = ahead.find_handle.first(level.directory, pattern.c_str(), ahead.find_data) && found;
    }
    return found;
}

bool walk_level_entries() {
    LevelRecord& level = current_level();
    const bool tree = operation() == MODE_TREE;
    for (;;) {
        if (tree) current_lookahead().advanced = false;
        if (walk_entry() == 0) {
            stop_work_ahead();
            return false;
        }
        if (!level.find_handle.next(level.find_data)) {
            stop_work_ahead();
            return true;
        }
        LookaheadRecord& ahead = current_lookahead();
        if (tree && !ahead.advanced) ahead.find_handle.next(ahead.find_data);
    }
}

void reset_walker() {
    for (LevelRecord& level : walker.levels) {
        level.find_handle.close();
        level.directory.close();
        level.find_data = plat::FindRecord{};
        level.prefix_length = 0;
        level.search_path.clear();
        level.remaining_entries = 0;
    }
    for (LookaheadRecord& ahead : walker.lookahead) {
        ahead.find_handle.close();
        ahead.find_data = plat::FindRecord{};
        ahead.advanced = false;
    }
    walker.current_depth = 0;
    walker.entry_long_path.clear();
    walker.entry_short_path.clear();
    walker.entry_long_name = walker.entry_short_name = 0;
    walker.entry_long_extension = walker.entry_short_extension = std::string::npos;
    walker.in_source_directory = false;
    walker.dest_path.clear();
    walker.dest_prefix_length = 0;
    walker.dest_find_data = plat::FindRecord{};
    walker.dest_directory.close();
    walker.dest_directory_path.clear();
}

int walk_entry() {
    const OperationOptions& o = state.options;
    if (o.pause_every != 0 && state.pause_counter >= o.pause_every) {
        state.pause_counter = 0;
        if (check_user_break(nullptr, true)) return 0;
    } else if (check_user_break(nullptr, false)) {
        return 0;
    }
    if (current_level().find_data.attributes & plat::ATTR_DIRECTORY) return walk_directory();
    return walk_file();
}

int select_directory() {
    const OperationOptions& o = state.options;
    const std::uint16_t op = operation();
    if (walker.in_source_directory) {
        if (walker.current_depth == 0) {
            walker.in_source_directory = false;
            return 1;
        }
        if (op == MODE_TREE || op == MODE_COPY || op == MODE_UPDATE) return 1;
        return match_attributes();
    }
    if (o.selection_flags & SELECT_SOURCE_DIRECTORY) {
        if (walker.current_depth != 0 || !match_source_name()) return 0;
        walker.in_source_directory = true;
        return 1;
    }
    if (op == MODE_TREE) return 1;
    if (o.selection_flags & SELECT_DATE) return 0;  // directories are never selected by date
    if (!match_source_name()) return 0;
    return match_attributes();
}

int select_file() {
    if (state.options.selection_flags & SELECT_SOURCE_DIRECTORY) {
        if (!walker.in_source_directory) return 0;
        return match_date_range() && match_attributes();
    }
    return match_source_name() && match_date_range() && match_attributes();
}

int match_source_name() {
    if (!state.source_arg) return 1;
    const std::string& source = *state.source_arg;
    const std::size_t prefix = current_level().prefix_length;
    if (prefix >= source.size()) return 1;
    const char* pattern = source.c_str() + prefix;
    int result = match_wildcard(walker.entry_long_path.c_str() + walker.entry_long_name, pattern);
    if (result == 0) result = match_wildcard(walker.entry_short_path.c_str() + walker.entry_short_name, pattern);
    return result > 0;
}

int match_attributes() {
    const OperationOptions& o = state.options;
    const std::uint32_t a = current_level().find_data.attributes;
    if (o.attr_any_mask && !(a & o.attr_any_mask)) return 0;
    if (o.attr_all_mask && (a & o.attr_all_mask) != o.attr_all_mask) return 0;
    if (o.attr_none_mask && (a & o.attr_none_mask)) return 0;
    return 1;
}

int match_date_range() {
    const OperationOptions& o = state.options;
    // Without /A and /B every time passes, also the zero time, which the
    // open lower bound would otherwise refuse.
    if (!(o.selection_flags & SELECT_DATE)) return 1;
    const plat::FileTime t = current_level().find_data.last_write_time;
    if (t < o.date_lower_bound || (t == o.date_lower_bound && !(o.selection_flags & SELECT_LOWER_INCLUSIVE))) return 0;
    if (t > o.date_upper_bound || (t == o.date_upper_bound && !(o.selection_flags & SELECT_UPPER_INCLUSIVE))) return 0;
    return 1;
}

int match_name_list(std::string_view list) {
    std::size_t start = 0;
    while (start < list.size()) {
        std::size_t comma = list.find(',', start);
        if (comma == std::string_view::npos) comma = list.size();
        std::string_view element = list.substr(start, comma - start);
        start = comma + 1;
        if (element.size() >= 2 && element.front() == '"' && element.back() == '"')
            element = element.substr(1, element.size() - 2);
        if (!element.empty() && match_element(element)) return 1;
    }
    return 0;
}

int match_wildcard(const char* name, const char* pattern) {
    const char* star = pattern;
    while (*star && *star != '*') star += plat::char_length(star);
    if (!match_segment(name, pattern, star)) return 0;
    if (!*star) return *name ? 0 : 1;
    return star_step(name, star);
}

std::size_t last_component_offset(std::string_view path) {
    std::size_t offset = 0;
    for (std::size_t i = 0; i < path.size();) {
        std::size_t length = plat::char_length(path.data() + i);
        if (length == 1 && plat::ends_path_component(path[i])) offset = i + 1;
        i += length;
    }
    return offset;
}

bool make_entry_long_path() {
    const LevelRecord& level = current_level();
    const std::size_t name = last_component_offset(level.search_path);
    walker.entry_long_path.assign(level.search_path, 0, name);
    walker.entry_long_path += level.find_data.long_name;
    if (walker.entry_long_path.size() >= PATH_BUFFER_SIZE) return report_path_too_long(walker.entry_long_path);
    locate_name(walker.entry_long_path, walker.entry_long_name, walker.entry_long_extension);
    return true;
}

void make_entry_short_path() {
    // A failed query or a short form that does not fit falls back to the
    // long path: never the previous entry's path. Where there are no short
    // names the long path is the short form; the entry was just found, so
    // there is nothing to ask.
    if (!plat::has_short_names() || !plat::short_path(walker.entry_long_path.c_str(), walker.entry_short_path) ||
        walker.entry_short_path.size() >= PATH_BUFFER_SIZE)
        walker.entry_short_path = walker.entry_long_path;
    locate_name(walker.entry_short_path, walker.entry_short_name, walker.entry_short_extension);
}

bool close_search(plat::DirectorySearch& search) {
    if (search.close()) return true;
    plat::std_out().print(MSG_FIND_CLOSE_FAILED);
    return false;
}

int probe_source_wildcard(std::string& source) {
    const std::size_t name = last_component_offset(source);
    if (source.find_first_of("*?", name) == std::string::npos) return 0;
    state.options.selection_flags |= SELECT_SOURCE_WILDCARD;
    if (source.compare(name, std::string::npos, "*.*") == 0) source.replace(name, std::string::npos, "*");
    return 1;
}

namespace {

// A path as a full path; the empty path is the current directory.
std::string full_directory(const std::string& path) {
    std::string full;
    if (!plat::full_path(path.empty() ? "." : path.c_str(), full)) return path;
    return without_trailing_separator(full);
}

// The directory part of a path (before its last component) as a full path.
std::string directory_part(const std::string& path) {
    return full_directory(without_trailing_separator(path.substr(0, last_component_offset(path))));
}

}  // namespace

int same_directory_check(const std::string& dest, const std::string& search_path) {
    const std::string a = directory_part(dest);
    const std::string b = directory_part(search_path);
    return (a == b || plat::same_file(a.c_str(), b.c_str())) ? 0 : 1;
}

bool destination_in_source(const std::string& dest, const std::string& search_path, bool source_is_directory) {
    // The walk reads the source directory's tree; a directory source adds
    // its own name to every destination path.
    const std::string source = source_is_directory ? full_directory(search_path) : directory_part(search_path);
    std::string written = directory_part(dest);
    if (source_is_directory) {
        if (written.empty() || !plat::is_path_separator(written.back())) written += plat::path_separator();
        written += search_path.substr(last_component_offset(search_path));
    }
    plat::FileIdentity root;
    if (!plat::file_identity(source.c_str(), root)) return false;
    // The directories above the written one, by what they are (so that links
    // and other spellings count); the written directory itself being the
    // source is the same-directory case.
    return leads_into(written, root, false);
}

int probe_dest(std::uint32_t directory_bit) {
    if (!plat::find_entry(walker.dest_path.c_str(), walker.dest_find_data)) return 0;
    return (walker.dest_find_data.attributes & plat::ATTR_DIRECTORY) == directory_bit ? 1 : 0;
}

bool destination_is_source(bool line_open) {
    if (!plat::same_file(walker.entry_long_path.c_str(), walker.dest_path.c_str())) return false;
    if (line_open) plat::std_out().text("\n");
    print_reversed(1, MSG_DESTINATION_IS_SOURCE, walker.dest_path.c_str());
    return true;
}

bool open_dest_directory() {
    const std::string& dest = walker.dest_path;
    const std::size_t name = last_component_offset(dest);
    if (walker.dest_prefix_length == 0 || name < walker.dest_prefix_length) {
        walker.dest_directory.close();
        walker.dest_directory_path.clear();
        return true;
    }
    std::string parent = without_trailing_separator(dest.substr(0, name));
    if (walker.dest_directory.is_open() && parent == walker.dest_directory_path) return true;
    walker.dest_directory.close();
    plat::Directory directory;
    if (!directory.open(without_trailing_separator(dest.substr(0, walker.dest_prefix_length)).c_str())) return false;
    const std::string below = dest.substr(walker.dest_prefix_length, name - walker.dest_prefix_length);
    for (std::string_view component : path_components(below)) {
        if (component.empty()) continue;
        plat::Directory inner;
        if (!inner.open_in(directory, std::string(component).c_str(), false)) return false;
        directory = std::move(inner);
    }
    walker.dest_directory = std::move(directory);
    walker.dest_directory_path = std::move(parent);
    return true;
}

const char* dest_name() {
    if (!walker.dest_directory.is_open()) return walker.dest_path.c_str();
    return walker.dest_path.c_str() + last_component_offset(walker.dest_path);
}

std::string dest_directory_entry(const std::string& name) {
    if (!walker.dest_directory.is_open()) return name;
    std::string path = walker.dest_directory_path;
    if (path.empty() || !plat::ends_path_component(path.back())) path += plat::path_separator();
    return path + name;
}

bool build_dest_path() {
    walker.dest_path.resize(walker.dest_prefix_length);
    walker.dest_path.append(walker.entry_long_path, current_level().prefix_length, std::string::npos);
    if (walker.dest_path.size() < PATH_BUFFER_SIZE) return true;
    return report_path_too_long(walker.dest_path);
}

}  // namespace kesto

// kesto's directory walker: visits the tree below the source depth first,
// in the order of the directory search, builds each entry's paths, applies
// the selection filters and calls the operation of the operation mode, for
// files once and for directories before or after their subtree.
//
// Operations take no arguments: they read the current entry here
// (current_level().find_data, entry_long_path, entry_short_path) and the
// option record, and return nonzero to go on or 0 to stop the whole walk.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/directory.h"

namespace kesto {

// Levels 0 (the source level) to 512.
constexpr int LEVEL_COUNT = 513;
// Paths and search patterns are limited to this many bytes, terminator
// included; a longer path is reported and skipped, never cut.
constexpr std::size_t PATH_BUFFER_SIZE = 1024;

struct LevelRecord {
    plat::FindRecord find_data;  // the current entry of this level
    plat::Directory directory;   // the directory the search enumerates, held open
    plat::DirectorySearch find_handle;
    std::size_t prefix_length = 0;  // length of the source's directory part
    std::string search_path;        // a directory path and "*" (level 0: the source)
    int remaining_entries = 0;      // entries met, minus those operations removed
};

// Tree mode only: a second search over the directory of the same level
// that runs one entry ahead, so that the tree display can tell the last
// entry of a directory. The tree operation sets advanced when it has moved
// the look-ahead itself.
struct LookaheadRecord {
    plat::FindRecord find_data;
    plat::DirectorySearch find_handle;
    bool advanced = false;
};

// The walker's state; one instance, `walker`, reset by reset_walker().
struct Walker {
    std::array<LevelRecord, LEVEL_COUNT> levels;
    std::array<LookaheadRecord, LEVEL_COUNT> lookahead;
    int current_depth = 0;
    std::string entry_long_path;
    std::size_t entry_long_name = 0;                       // start of the last component
    std::size_t entry_long_extension = std::string::npos;  // after the last "."; npos: none
    std::string entry_short_path;                          // the short form (upper case on Windows)
    std::size_t entry_short_name = 0;
    std::size_t entry_short_extension = std::string::npos;
    bool in_source_directory = false;  // inside a source that names a directory
    // Destination prefix and the record probe_dest found.
    std::string dest_path;
    std::size_t dest_prefix_length = 0;
    plat::FindRecord dest_find_data;
    // The destination directory that holds dest_path's last component, held
    // open (open_dest_directory), and the path it stands at.
    plat::Directory dest_directory;
    std::string dest_directory_path;
};
extern Walker walker;

// Closes every search and returns the walker to its start.
void reset_walker();

inline LevelRecord& current_level() { return walker.levels[static_cast<std::size_t>(walker.current_depth)]; }
inline LookaheadRecord& current_lookahead() { return walker.lookahead[static_cast<std::size_t>(walker.current_depth)]; }

// Opens the directory the current level enumerates and starts its search
// (and in tree mode the look-ahead's): at level 0 the directory part of the
// source, by its path; deeper, the parent level's current entry inside the
// parent's directory, following it only when it is a link (which only a
// reading walk enters). Operations then act on entries through the
// level's directory, never through a path that could have changed. False
// when nothing is found.
bool open_level_search();

// Handles the entry current_level() holds; 0 stops the run.
int walk_entry();
// Runs walk_entry over the entries of the current level, whose search has
// found its first entry, stepping the tree look-ahead along. False when the
// run must stop.
bool walk_level_entries();

// Reports a path that does not fit PATH_BUFFER_SIZE; false, so that the
// caller skips it.
bool report_path_too_long(const std::string& path);

// The filters; 1 selects or passes.
int select_directory();
int select_file();
int match_source_name();
int match_attributes();
int match_date_range();
// 1 when an element of a name list (",a,b\c,...") matches the current entry.
int match_name_list(std::string_view list);
// 1 match, 0 no match, negative: a definite no-match ("*." against a name
// with a dot inside).
int match_wildcard(const char* name, const char* pattern);

// Fill the entry paths from current_level(); false (reported) when the path
// does not fit PATH_BUFFER_SIZE.
bool make_entry_long_path();
void make_entry_short_path();

// Closes a search; false (reported) when closing failed.
bool close_search(plat::DirectorySearch& search);

// Offset of a path's last component: behind its last separator.
std::size_t last_component_offset(std::string_view path);

// The driver's helpers.
// 1 when the source's last component holds a wildcard: sets
// SELECT_SOURCE_WILDCARD and cuts a last component "*.*" down to "*".
int probe_source_wildcard(std::string& source);
// 0 when the destination prefix and the search path name the same directory.
int same_directory_check(const std::string& dest, const std::string& search_path);
// True when a copy from the level-0 search path into the destination prefix
// dest would write inside the tree it reads, below the source directory (by
// any spelling or link), so that the walk would meet its own copies.
// source_is_directory: the search path names the source directory itself,
// whose name every destination path then holds.
bool destination_in_source(const std::string& dest, const std::string& search_path, bool source_is_directory);
// 1 when dest_path exists and is (directory_bit ATTR_DIRECTORY) or is not
// (0) a directory; the record found is left in walker.dest_find_data.
int probe_dest(std::uint32_t directory_bit);
// True when dest_path is the very file entry_long_path names (through
// another path, a link or a hard link): reported, and the caller skips the
// entry, so that no operation copies a file onto itself or deletes the one
// copy it compared with. Call it only when the destination exists. With
// line_open the entry's line, already begun, is ended before the message.
bool destination_is_source(bool line_open = false);
// dest_path = its prefix and the entry's path relative to the source;
// false (reported) when that does not fit PATH_BUFFER_SIZE.
bool build_dest_path();
// Opens walker.dest_directory, the directory that holds dest_path's last
// component, so that the copy creates, replaces and renames through it:
// from the destination root (reached by its path, links the user named
// included), each directory below it is opened inside the one before
// without following a link, so that a directory exchanged for a link
// cannot lead the copy elsewhere. The directory stays open while dest_path
// stays in it. Above the destination prefix (the root itself being made)
// nothing is opened: dest_name() is then the whole path. False when a
// directory on the way cannot be opened (last_error() tells why).
bool open_dest_directory();
// dest_path's name in walker.dest_directory.
const char* dest_name();
// The path of the entry name of walker.dest_directory, for reading and for
// messages.
std::string dest_directory_entry(const std::string& name);

}  // namespace kesto

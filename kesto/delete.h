// Delete: the operation of /R and /RV, the move clean-up of emptied source
// directories, and the two removal primitives the copy uses too.
#pragma once

namespace plat {
class Directory;
}

namespace kesto {

// The operation of /R for files and, after their contents, directories:
// 1 goes on, 0 stops the walk.
int delete_entry();

// Deletes the file name of directory (a path with a directory that is not
// open), clearing read-only, hidden and system first; false (reported,
// naming shown) when it cannot.
bool remove_file(const plat::Directory& directory, const char* name, const char* shown);
// The same for the walker's current entry, through its level's directory
// (never through a path that may have changed since the walk read it);
// shown is the path the messages name.
bool remove_entry_file(const char* shown);

// Removes the walker's current entry, an empty directory, the same way:
// 1 removed, -1 failed and the walk goes on, 0 failed and the walk stops
// unless /E.
int remove_directory(const char* shown);

}  // namespace kesto

// Delete: the operation of /R and /RV, the move clean-up of emptied source
// directories, and the two removal primitives the copy uses too.
#pragma once

namespace kesto {

// The operation of /R for files and, after their contents, directories:
// 1 goes on, 0 stops the walk.
int delete_entry();

// Deletes a file, clearing read-only, hidden and system first; false
// (reported) when it cannot.
bool remove_file(const char* path);

// Removes an empty directory the same way: 1 removed, -1 failed and the walk
// goes on, 0 failed and the walk stops unless /E.
int remove_directory(const char* path);

}  // namespace kesto

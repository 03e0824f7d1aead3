// Verify: each selected source entry against the entry of the same relative
// path under the destination, by contents or by attributes, size and date;
// and the byte comparison of one file with its destination that the copy's
// and the delete's V use.
#pragma once

namespace kesto {

// The operation of /V for files and directories: 1 goes on, 0 stops the walk.
int verify_entry();

// Compares walker.entry_long_path with a destination file over the size of
// current_level().find_data: 1 equal, 0 different, -1 error or user abort.
// The file opened is destination_file, or walker.dest_path when none is
// given; messages name walker.dest_path. Messages start with a line end
// when newline_prefix is set.
int compare_files(bool newline_prefix, const char* destination_file = nullptr);

}  // namespace kesto

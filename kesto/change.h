// In-place changes of the selected entries: attributes (/+ /-) and the
// last-write time (/D).
#pragma once

namespace kesto {

// The operation of /+ and /- for files and, before their contents,
// directories: 1 goes on, 0 stops the walk.
int change_attributes_entry();

// The operation of /D for files and, after their contents, directories.
int change_date_entry();

}  // namespace kesto

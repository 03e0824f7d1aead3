// Copy, update and move into the destination tree.
#pragma once
#include <cstdint>

namespace kesto {

// The operation of /C and /U for files and, before their contents,
// directories: 1 goes on, 0 stops the walk.
int copy_entry();

// Creates walker.dest_path as a directory, from a model directory (its
// properties) or none, and sets the attribute word on it. With announce,
// "Create directory %s" comes before and a line end after. False (reported)
// when the directory cannot be created; attributes that cannot be set are
// reported and still count as success.
bool create_directory(const char* model_path, std::uint32_t attributes, bool announce);

}  // namespace kesto

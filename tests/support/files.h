// Whole-file helpers for test data.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

bool write_file(const std::string& path, const std::string& bytes);
// The file's bytes; empty when it cannot be read.
std::string read_file(const std::string& path);
bool file_exists(const std::string& path);

// Creates a sparse file of size bytes (zeros) holding bytes at offset.
// Offsets beyond 4 GiB cost no disk space.
bool make_sparse_file(const std::string& path, std::int64_t size, std::int64_t offset, const std::string& bytes);

// The bytes the file takes on disk: fewer than its size where it has holes.
// -1 when it cannot be told.
std::int64_t allocated_bytes(const std::string& path);
// Creates a FIFO (a named pipe) at path; false where the system has none.
bool make_fifo(const std::string& path);

// Permissions bind no one who runs as root (as CI does). When the tests
// run as root on POSIX, this hands the tree at path to an unprivileged user
// and returns the command that runs a program as that user (a prefix of
// the program's path and arguments); otherwise it returns nothing and the
// program runs as it is.
std::vector<std::string> run_as_tree_owner(const std::string& path);

// A build-system path (always with "/") in the form the target's programs
// take.
std::string native_path(const std::string& path);

}  // namespace testsupport

// Files with 64-bit offsets. A File owns its handle and closes it when it
// goes out of scope, so no path can leave one open.
#pragma once
#include <cstddef>
#include <cstdint>

namespace plat {

enum class OpenMode {
    read,             // read only, others may read and write
    write_existing,   // write only, neither created nor truncated
    create_truncate,  // write only, created or truncated
};

// Hints for open(); they never change results, only speed or durability.
enum : unsigned {
    OPEN_SEQUENTIAL = 1,     // read or written front to back
    OPEN_WRITE_THROUGH = 2,  // each write reaches the disk before returning
};

class File {
public:
    File() = default;
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;

    bool open(const char* path, OpenMode mode, unsigned hints = 0);
    bool is_open() const { return handle_ != INVALID; }
    // Bytes read (0 at end of file), or -1 on failure.
    std::int64_t read(void* buffer, std::size_t size);
    // Bytes written (fewer than size when the device is full), or -1.
    std::int64_t write(const void* buffer, std::size_t size);
    // Moves to an absolute offset from the beginning.
    bool seek(std::int64_t offset);
    // Size in bytes, or -1.
    std::int64_t size();
    bool close();

private:
    static constexpr std::intptr_t INVALID = -1;
    std::intptr_t handle_ = INVALID;
};

// The OS error code of the last failed call of this layer (errno on POSIX,
// GetLastError() on Windows), for messages of the form "(%d/0x%lX)".
int last_error();

// True when both paths name one existing file (same device and inode, or on
// Windows the same volume and file index).
bool same_file(const char* path_a, const char* path_b);

// A temporary spool file that disappears when closed (or when the program
// ends). Opened for reading and writing.
bool open_spool_file(File& file);

}  // namespace plat

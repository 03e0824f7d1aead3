// Files with 64-bit offsets. A File owns its handle and closes it when it
// goes out of scope, so no path can leave one open.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "error.h"
#include "time.h"

namespace plat {

class Directory;  // directory.h

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

// Which step of open_spool_file() failed.
enum class SpoolFailure { none, name, create };

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
    // Makes the data written so far reach the disk before this returns
    // (fdatasync, FlushFileBuffers).
    bool sync();
    bool close();
    // Sets the times given of the open file; a null pointer leaves that time
    // alone. POSIX cannot set the creation time: it is left alone.
    bool set_times(const FileTime* creation, const FileTime* access, const FileTime* write);
    // Reads size bytes at offset without regard to the file position, in as
    // many calls as it takes: bytes read (fewer only at the end of the file),
    // or -1.
    std::int64_t read_at(std::int64_t offset, void* buffer, std::size_t size);
    // True when the open file is a regular file on disk, whose bytes can be
    // read again at any offset; false for a pipe, a terminal, a socket or a
    // device.
    bool is_regular_file();

private:
    friend class FileReader;
    friend class MappedPair;
    friend class DataCopy;
    friend bool open_spool_file(File& file, SpoolFailure* failure);
    friend bool open_replacement_file(File& file, const Directory& directory, const char* path, unsigned hints,
                                      const File* model, std::string& name);
    friend bool open_standard_input(File& file);
    friend bool open_unnamed_file(File& file, const Directory& directory, unsigned hints, const File* model);
    friend bool name_unnamed_file(File& file, const Directory& directory, const char* name, bool read_only);
    static constexpr std::intptr_t INVALID = -1;
    std::intptr_t handle_ = INVALID;
};

// True when both paths name one existing file (same device and inode, or on
// Windows the same volume and file index).
bool same_file(const char* path_a, const char* path_b);

// A temporary spool file that disappears when closed (or when the program
// ends). Opened for reading and writing. On failure, failure (when given)
// tells which step failed: making the file's unique name, or opening it.
bool open_spool_file(File& file, SpoolFailure* failure = nullptr);

// Creates a new, empty file for writing in directory (directory.h; a
// directory that is not open stands for the directory of path), under a
// name of its own that starts with path's last component, and sets name to
// its name there: the copy that will take path's place (replace_file,
// directory.h) once it is complete, so that path stays as it was until
// then. On POSIX the new file takes the permission bits of model (an open
// file) when one is given. Fails, creating nothing, when path is a
// directory or a special file, with the error that writing there gives.
bool open_replacement_file(File& file, const Directory& directory, const char* path, unsigned hints, const File* model,
                           std::string& name);

// Creates a new, empty file for writing in directory that has no name yet:
// a copy that name_unnamed_file gives its name once complete. Until then no
// other program sees it, and nothing of it is left when the program ends,
// however it ends. On POSIX it takes the permission bits of model (an open
// file) when one is given. False where the system makes no such files (the
// Windows build; file systems without O_TMPFILE): open_replacement_file is
// the way there.
bool open_unnamed_file(File& file, const Directory& directory, unsigned hints, const File* model);

// Gives an open file from open_unnamed_file the name name in directory,
// never replacing an entry there (that fails), after giving it the owner's
// write permission, or taking it away, as read_only says (the read-only
// attribute). The file stays open.
bool name_unnamed_file(File& file, const Directory& directory, const char* name, bool read_only);

// Files that a termination signal removes before it ends the program
// (POSIX: SIGTERM, SIGHUP, SIGQUIT, SIGABRT): the copies in flight, which
// must not outlive the program. remove_at_termination gives the ticket that
// keep_at_termination takes back once the file has its place (or is gone),
// or -1 when all TERMINATION_PLACES are taken (or the path is too long).
// Any thread may call both.
constexpr int TERMINATION_PLACES = 16;
int remove_at_termination(const char* path);
void keep_at_termination(int ticket);

// The standard input as a file, in binary mode (no line end translation),
// for reading. False when the program has no usable standard input.
bool open_standard_input(File& file);

// Which side of a DataCopy failed.
enum class CopyFailure { none, read, write };

// Copies a file's data from the position of source to the position of
// destination (a new, empty file), piece by piece, both positions moving
// on. On POSIX the system copies the data itself where it can
// (copy_file_range), and the holes of a sparse source stay holes in the
// copy; elsewhere every piece goes through buffer.
class DataCopy {
public:
    DataCopy(File& source, File& destination, void* buffer, std::size_t capacity);
    DataCopy(const DataCopy&) = delete;
    DataCopy& operator=(const DataCopy&) = delete;

    // Copies the next piece of at most size (> 0) bytes: data of at most
    // capacity bytes, or a hole of any length. The bytes it covers, or -1:
    // failure() tells which side failed and last_error() why (a source that
    // ends early is a failed read without an error code).
    std::int64_t next(std::uint64_t size);
    CopyFailure failure() const { return failure_; }

private:
    std::int64_t failed(CopyFailure side) {
        failure_ = side;
        return -1;
    }

    File& source_;
    File& destination_;
    unsigned char* buffer_;
    std::size_t capacity_;
    bool sparse_ = false;       // the source may have holes to keep
    bool system_copy_ = false;  // the system may copy by itself
    CopyFailure failure_ = CopyFailure::none;
};

// Reads pieces of an open file at random offsets, many times over. Where the
// system allows, the file is mapped into memory and a read is a copy; a file
// that shrinks under the map makes the read come back short (or, near the
// new end, see shrunk()) instead of ending the program. The file
// must stay open while the reader is used.
class FileReader {
public:
    FileReader() = default;
    ~FileReader();
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;

    void attach(File& file);
    // As File::read_at.
    std::int64_t read(std::int64_t offset, void* buffer, std::size_t size);
    // Says that the first bytes at offset will be read soon, so that they can
    // be brought into the processor's cache meanwhile. Only a hint.
    void prefetch(std::int64_t offset) const;
    // True when the file is now shorter than when it was attached. A mapped
    // read near the new end finds zeros where the data was: callers check
    // this after their reads to know that they read true data.
    bool shrunk();

private:
    File* file_ = nullptr;
    std::int64_t size_ = 0;  // when attached
    const unsigned char* map_ = nullptr;
};

// Two open files compared over their first bytes through maps of both,
// without copying them into buffers, where the system maps them. Both files
// must stay open while it is used.
class MappedPair {
public:
    MappedPair() = default;
    ~MappedPair();
    MappedPair(const MappedPair&) = delete;
    MappedPair& operator=(const MappedPair&) = delete;

    // Maps the first size bytes of each file, to be compared front to back.
    // False when either cannot be mapped (shorter than size, not a file on
    // disk, too large for the address space) or a fault is armed for a test
    // (which counts reads): the files are then compared by reading.
    bool map(File& a, File& b, std::uint64_t size);
    // 1 when the size bytes at offset are the same in both files, 0 when they
    // differ, -1 when a file has shrunk under its map: reading from offset on
    // then tells how.
    int compare(std::uint64_t offset, std::size_t size) const;

private:
    const unsigned char* a_ = nullptr;
    const unsigned char* b_ = nullptr;
    std::int64_t size_ = 0;
};

}  // namespace plat

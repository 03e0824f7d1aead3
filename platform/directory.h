// Directories, attributes and times of files: what kesto's walker and its
// operations need from the system. Every call that fails returns false and
// leaves the OS error code in last_error() (file.h); output arguments are
// written only on success.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "time.h"

namespace plat {

// Bits of the attribute word, as the Windows file system reports them.
enum : std::uint32_t {
    ATTR_READONLY = 0x01,
    ATTR_HIDDEN = 0x02,
    ATTR_SYSTEM = 0x04,
    ATTR_DIRECTORY = 0x10,
    ATTR_ARCHIVE = 0x20,
    ATTR_REPARSE_POINT = 0x400,  // a link: symbolic link, junction
};

// One entry of a directory search. A link has ATTR_REPARSE_POINT set; on
// POSIX the rest describes what the link points to (attributes, times,
// size), and a link that points nowhere is a file of size 0. (Windows
// reports a junction's own times.)
struct FindRecord {
    std::uint32_t attributes = 0;
    FileTime creation_time = 0;
    FileTime last_access_time = 0;
    FileTime last_write_time = 0;
    FileTime change_time = 0;  // POSIX: of the last change of data or status; 0 on Windows
    std::uint64_t size = 0;    // 0 for a directory
    std::string long_name;     // last component only
    std::string short_name;    // the 8.3 alias; empty when there is none
};

// A search over a pattern: a directory path followed by a last component
// that may hold "*" and "?" ("dir/*", "*.txt", or a plain name). Matching is
// without regard to case for single-byte letters and "*.*" matches every
// name. A plain last component "." or ".." stands for the directory it
// leads to, reported under that directory's own name. In a directory
// "." and ".." come first where they match; on POSIX the other entries
// follow sorted by name byte-wise, and FIFOs, sockets and device nodes are
// left out. The search owns its handle and closes it when it goes out of
// scope.
class Directory;

class DirectorySearch {
public:
    DirectorySearch();
    ~DirectorySearch();
    DirectorySearch(const DirectorySearch&) = delete;
    DirectorySearch& operator=(const DirectorySearch&) = delete;

    // Starts a search (closing one still open) and fills record with the
    // first entry. False when nothing matches or the directory cannot be
    // read; the search is then closed.
    bool first(const char* pattern, FindRecord& record);
    // The same over the entries of an open directory that match pattern (a
    // last component only). The directory must stay open while the search
    // is used.
    bool first(const Directory& directory, const char* pattern, FindRecord& record);
    // The next entry; false when there is none left.
    bool next(FindRecord& record);
    // Ends the search; false when the system failed to close it (it counts
    // as closed all the same). Closing a closed search succeeds.
    bool close();
    bool is_open() const;

private:
    struct State;  // the backend's
    // POSIX: begins reporting the names of state that match name.
    bool start(std::unique_ptr<State> state, const char* name, FindRecord& record);
    std::unique_ptr<State> state_;
};

namespace backend {
struct DirectoryAccess;
}

// A directory held open while its entries are walked and changed, so that
// whatever happens to its path meanwhile (a directory exchanged for a link
// by another program) cannot send a change elsewhere: the entry operations
// below that take a Directory act on a name inside it. On POSIX it holds a
// descriptor and every act is relative to it; on Windows it holds a handle
// that keeps the directory from being renamed or removed while it is open,
// and acts go through its path. A Directory that is not open stands for the
// working directory: names given with it are paths.
class Directory {
public:
    Directory();
    ~Directory();
    Directory(const Directory&) = delete;
    Directory& operator=(const Directory&) = delete;
    Directory(Directory&& other) noexcept;
    Directory& operator=(Directory&& other) noexcept;

    // Opens the directory path leads to (links on the way are followed: the
    // user named them). Closes one still open first.
    bool open(const char* path);
    // Opens the directory called name inside parent. A link there is
    // followed only with follow_link; otherwise opening a link fails.
    bool open_in(const Directory& parent, const char* name, bool follow_link);
    void close();
    bool is_open() const;

private:
    friend struct backend::DirectoryAccess;
    struct State;  // the backend's
    std::unique_ptr<State> state_;
};

// The entry that path names, exactly: its last component is a name, never a
// pattern (on POSIX a name may hold "*" and "?"). The record is the one a
// search would report for it. False when there is no such entry.
bool find_entry(const char* path, FindRecord& record);

// True when path still names the file (not a link) that found describes,
// unchanged: the same size, attributes and times, the access time aside
// (reading the file changes it). reported is the record a search has just
// given for path. A POSIX search describes each entry as it reports it, so
// that record is fresh and decides (with the status-change time, which any
// change of attributes moves); Windows hands out records read in batches,
// as stale as found may be, so the entry is asked for anew.
bool still_as_found(const char* path, const FindRecord& reported, const FindRecord& found);

// What a path leads to, for telling whether two paths name one directory
// (device and inode; on Windows volume serial number and file index).
// Links are followed.
struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
};
inline bool operator==(const FileIdentity& a, const FileIdentity& b) {
    return a.volume == b.volume && a.index == b.index;
}
bool file_identity(const char* path, FileIdentity& out);

// The current directory of the process, as an absolute path.
bool current_directory(std::string& out);
// The absolute form of path, with "." and ".." components resolved in the
// text (the file system is not consulted; the path need not exist).
bool full_path(const char* path, std::string& out);
// The short form of an existing path: on Windows its 8.3 form in upper case;
// on POSIX, which has no short names, the path itself.
bool short_path(const char* path, std::string& out);
// False where paths have no short form (POSIX): short_path then only
// confirms that the path exists.
bool has_short_names();

// Sets the attribute word of the entry name of directory, a file or
// directory this program has just made as a copy, as set_attributes. On
// POSIX a directory (the attribute word has ATTR_DIRECTORY) keeps the
// owner's write permission (no read-only bit), so that files can still be
// copied into it, and a file system that cannot store the hidden, system
// and archive bits is no failure.
bool set_copy_attributes(const Directory& directory, const char* name, std::uint32_t attributes);

// Creates a directory. With a model directory it takes the model's
// attributes (on POSIX also its permission bits, always keeping the owner's
// read, write and search permission, and its last-access and last-write
// times).
bool create_directory(const char* path, const char* model_path = nullptr);
// The same for the entry name of directory.
bool create_directory(const Directory& directory, const char* name, const char* model_path = nullptr);
// Removes an empty directory, or a link to a directory (the link itself).
bool remove_directory(const char* path);
// The same for the entry name of directory. A link there is removed only
// when link says the entry was found as one; otherwise the removal fails
// (ENOTDIR, ERROR_DIRECTORY), since it was meant for a directory that has
// been exchanged for the link since.
bool remove_directory(const Directory& directory, const char* name, bool link);
// Deletes a file or a link (never what the link points to).
bool delete_file(const char* path);
bool delete_file(const Directory& directory, const char* name);
// Renames or moves a file or directory; never replaces an existing one.
bool rename_path(const char* from, const char* to);
// The same for the entry name of directory, to the name to_name in
// to_directory.
bool rename_path(const Directory& directory, const char* name, const Directory& to_directory, const char* to_name);
// Renames the file name of directory to to_name in to_directory, replacing
// a file there in one step; when it fails both stay as they were. (Windows
// lifts the read-only, hidden and system attributes of the file replaced
// for the step, and puts them back when it fails.)
bool replace_file(const Directory& directory, const char* name, const Directory& to_directory, const char* to_name);

// Attributes of the path itself: a link reports ATTR_REPARSE_POINT (with
// ATTR_DIRECTORY when it leads to a directory), not what it points to.
bool get_attributes(const char* path, std::uint32_t& attributes);
bool get_attributes(const Directory& directory, const char* name, std::uint32_t& attributes);
// Sets the attribute word of the path itself. POSIX keeps the read-only,
// hidden, system and archive bits and ignores the others; it fails when it
// cannot store a bit asked for (on a link, or on a file system without
// extended attributes), and clearing the hidden bit of a name that starts
// with "." succeeds though the name keeps it hidden.
bool set_attributes(const char* path, std::uint32_t attributes);
bool set_attributes(const Directory& directory, const char* name, std::uint32_t attributes);

// The three times of what the path leads to (links are followed).
bool get_file_times(const char* path, FileTime& creation, FileTime& access, FileTime& write);
// Sets the times given; a null pointer leaves that time alone. A directory
// is allowed. POSIX cannot set the creation time: it is left alone.
bool set_file_times(const char* path, const FileTime* creation, const FileTime* access, const FileTime* write);

// Steps of set_last_write_time that failed.
enum : unsigned {
    WRITE_TIME_OPEN_FAILED = 1,  // last_error() tells why; nothing else was tried
    WRITE_TIME_SET_FAILED = 2,
    WRITE_TIME_CLOSE_FAILED = 4,
};
// Sets only the last-write time of the entry name of directory, in three
// steps: open it for writing, sharing read (a directory through its
// directory handle), set the time, close it. 0 when every step succeeded,
// else the WRITE_TIME_ bits of the steps that failed; the close is tried
// whenever the open succeeded. A link is followed only with follow_link:
// else the open fails on it (POSIX: ELOOP) or takes the link itself
// (Windows), so that an entry exchanged for a link since it was found never
// sends the time elsewhere. POSIX has no handle to open: its open step
// checks that the entry is there, its close step cannot fail except by
// fault injection (open, set_times and close). Windows needs a read-only
// file's read-only bit lifted first (read_only_blocks_times).
unsigned set_last_write_time(const Directory& directory, const char* name, FileTime time, bool follow_link);
// True where set_last_write_time cannot open a read-only file (Windows);
// POSIX lets the owner set the times of a file it may not write.
bool read_only_blocks_times();

}  // namespace plat

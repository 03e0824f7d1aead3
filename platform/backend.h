// What the OS-neutral parts of this layer need from the backend for the
// current OS. Not for use outside platform/.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "drive.h"
#include "file.h"

namespace plat {

class Directory;    // directory.h
struct FindRecord;  // directory.h

namespace backend {

// The OS error code for a symbolic name (io, nospace, access, notfound), or
// 0 when the name is unknown.
int error_code_for(const char* name);

// Records the error a failing call reports through last_error().
void set_last_error(int code);

// Records code as the error of the call that failed, and gives false.
bool fail(int code);

// Records the error the OS reports for the call that just failed (errno on
// POSIX, GetLastError() on Windows), and gives false.
bool fail_with_os_error();

// Removes the file given to remove_at_termination() (file.h), if any. Safe
// in a signal handler.
void remove_file_at_termination();

// File calls (file.h) on an OS handle held as an integer, -1 for none. Each
// sets last_error() when it fails; a call that opens gives -1 then.
std::intptr_t open_file(const char* path, OpenMode mode, unsigned hints);
// One read from the file position: bytes read (0 at the end), or -1.
std::int64_t read_file(std::intptr_t file, void* buffer, std::size_t size);
// As File::read_at.
std::int64_t read_file_at(std::intptr_t file, std::int64_t offset, void* buffer, std::size_t size);
// As File::write.
std::int64_t write_file(std::intptr_t file, const void* buffer, std::size_t size);
bool seek_file(std::intptr_t file, std::int64_t offset);
std::int64_t file_size(std::intptr_t file);
bool sync_file(std::intptr_t file);
bool close_file(std::intptr_t file);
bool set_times_of(std::intptr_t file, const FileTime* creation, const FileTime* access, const FileTime* write);
bool is_disk_file(std::intptr_t file);
// As open_spool_file; failure tells which step failed.
std::intptr_t open_spool_file(SpoolFailure& failure);
// As open_replacement_file; model is the handle of the model file, or -1.
std::intptr_t open_replacement_file(const Directory& directory, const char* path, unsigned hints, std::intptr_t model,
                                    std::string& name);
std::intptr_t open_standard_input();
// As open_unnamed_file and name_unnamed_file, on handles.
std::intptr_t open_unnamed_file(const Directory& directory, unsigned hints, std::intptr_t model);
bool name_unnamed_file(std::intptr_t file, const Directory& directory, const char* name, bool read_only);

// Mapped reads (FileReader, MappedPair): the hint that reads will jump
// about, the map of the first size bytes of a file (null when the system
// will not map it; sequential: to be read front to back), its release, a
// copy out of it and a comparison of two: false when a file shrank under
// its map.
void expect_random_reads(std::intptr_t file);
const unsigned char* map_file(std::intptr_t file, std::int64_t size, bool sequential);
void unmap_file(const unsigned char* map, std::int64_t size);
bool copy_from_map(void* to, const unsigned char* from, std::size_t size);
bool compare_maps(const unsigned char* a, const unsigned char* b, std::size_t size, bool& same);

// Drive calls (drive.h), as the file calls above.
bool drive_method(DriveMethod& method);
std::intptr_t open_drive(const std::string& path);
// Reads sectors through the DOS services of the Windows 95 family
// (DriveMethod::dos_extended and dos_int25); result.asked is set.
void read_sectors_through_dos(std::intptr_t drive, DriveMethod method, int drive_number, std::int64_t first_sector,
                              std::uint32_t sector_count, void* buffer, SectorRead& result);

// run_command (process.h), with the C runtime's error number of a failed
// start (0 when the child ran).
int run_command(const std::string& interpreter, const std::string& command);

// find_entry (directory.h), tried once.
bool find_entry(const char* path, FindRecord& record);
// True when a directory search describes each entry as it reports it (so
// that its record is as fresh as one asked anew), false when it hands out
// records read in batches.
bool search_records_are_fresh();

// The changes of directory.h that a fault can stop, done.
bool create_directory(const Directory& directory, const char* name, const char* model_path);
bool remove_directory(const Directory& directory, const char* name, bool link);
bool delete_file(const Directory& directory, const char* name);
bool rename_path(const Directory& directory, const char* name, const Directory& to_directory, const char* to_name);
bool replace_file(const Directory& directory, const char* name, const Directory& to_directory, const char* to_name);
bool set_attributes(const Directory& directory, const char* name, std::uint32_t attributes);
bool set_file_times(const char* path, const FileTime* creation, const FileTime* access, const FileTime* write);

// The three steps of set_last_write_time (directory.h) on the entry name of
// directory: open it (false when that fails), set its last-write time, close
// it. Windows holds a handle between the steps; POSIX works on the name, its
// open checking that the entry is there and not a link to be left alone.
struct WriteTimeEntry {
    const Directory& directory;
    const char* name;
    bool follow_link;
    std::intptr_t handle = -1;
};
bool open_for_write_time(WriteTimeEntry& entry);
bool set_write_time(WriteTimeEntry& entry, FileTime time);
bool close_for_write_time(WriteTimeEntry& entry);

}  // namespace backend
}  // namespace plat

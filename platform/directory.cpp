// The steps of directory work that are the same on every system.
#include "directory.h"

#include "backend.h"
#include "error.h"
#include "fault.h"
#include "time.h"

namespace plat {
namespace {

const Directory working_directory;  // not open: names are paths

}  // namespace

// A search that meets a file held for a moment by another program (a virus
// scanner) is tried again this often, this far apart, before it fails.
constexpr int SHARING_TRIES = 10;
constexpr unsigned SHARING_RETRY_MS = 10;

bool find_entry(const char* path, FindRecord& record) {
    for (int tries = 1;; ++tries) {
        if (backend::find_entry(path, record)) return true;
        if (!is_sharing_violation(last_error()) || tries == SHARING_TRIES) return false;
        sleep_ms(SHARING_RETRY_MS);
    }
}

bool still_as_found(const char* path, const FindRecord& reported, const FindRecord& found) {
    const bool fresh = backend::search_records_are_fresh();
    FindRecord asked;
    if (!fresh && !find_entry(path, asked)) return false;
    const FindRecord& now = fresh ? reported : asked;
    return !(found.attributes & (ATTR_DIRECTORY | ATTR_REPARSE_POINT)) && now.attributes == found.attributes &&
           now.size == found.size && now.last_write_time == found.last_write_time &&
           now.creation_time == found.creation_time && now.change_time == found.change_time;
}

bool create_directory(const Directory& directory, const char* name, const char* model_path) {
    return !fault::hit(fault::Call::make_directory) && backend::create_directory(directory, name, model_path);
}

bool create_directory(const char* path, const char* model_path) {
    return create_directory(working_directory, path, model_path);
}

bool remove_directory(const Directory& directory, const char* name, bool link) {
    return !fault::hit(fault::Call::remove) && backend::remove_directory(directory, name, link);
}

bool remove_directory(const char* path) { return remove_directory(working_directory, path, true); }

bool delete_file(const Directory& directory, const char* name) {
    return !fault::hit(fault::Call::remove) && backend::delete_file(directory, name);
}

bool delete_file(const char* path) { return delete_file(working_directory, path); }

bool rename_path(const Directory& directory, const char* name, const Directory& to_directory, const char* to_name) {
    return !fault::hit(fault::Call::rename) && backend::rename_path(directory, name, to_directory, to_name);
}

bool rename_path(const char* from, const char* to) {
    return rename_path(working_directory, from, working_directory, to);
}

bool replace_file(const Directory& directory, const char* name, const Directory& to_directory, const char* to_name) {
    return !fault::hit(fault::Call::rename) && backend::replace_file(directory, name, to_directory, to_name);
}

bool get_attributes(const char* path, std::uint32_t& attributes) {
    return get_attributes(working_directory, path, attributes);
}

bool set_attributes(const Directory& directory, const char* name, std::uint32_t attributes) {
    return !fault::hit(fault::Call::set_attributes) && backend::set_attributes(directory, name, attributes);
}

bool set_attributes(const char* path, std::uint32_t attributes) {
    return set_attributes(working_directory, path, attributes);
}

bool set_file_times(const char* path, const FileTime* creation, const FileTime* access, const FileTime* write) {
    return !fault::hit(fault::Call::set_times) && backend::set_file_times(path, creation, access, write);
}

unsigned set_last_write_time(const Directory& directory, const char* name, FileTime time, bool follow_link) {
    backend::WriteTimeEntry entry{directory, name, follow_link};
    if (fault::hit(fault::Call::open) || !backend::open_for_write_time(entry)) return WRITE_TIME_OPEN_FAILED;
    unsigned failed = 0;
    if (fault::hit(fault::Call::set_times) || !backend::set_write_time(entry, time)) failed |= WRITE_TIME_SET_FAILED;
    // The entry is closed whatever the fault: nothing stays open.
    const bool closed = backend::close_for_write_time(entry);
    if (fault::hit(fault::Call::close) || !closed) failed |= WRITE_TIME_CLOSE_FAILED;
    return failed;
}

}  // namespace plat

// Directories, attributes and times of the Windows build: the Win32 wide
// calls, with paths held in UTF-8 (wide.h converts them).
#include "platform/directory.h"

#include <windows.h>

#include <vector>

#include "platform/backend.h"
#include "platform/path.h"
#include "platform/text.h"
#include "platform/win32/entry_path.h"
#include "platform/win32/filetime.h"
#include "platform/win32/wide.h"

namespace plat {
namespace {

using backend::fail_with_os_error;
using backend::from_filetime;
using backend::narrow;
using backend::to_filetime;
using backend::widen;

void to_record(const WIN32_FIND_DATAW& data, FindRecord& record) {
    record.attributes = data.dwFileAttributes;
    record.creation_time = from_filetime(data.ftCreationTime);
    record.last_access_time = from_filetime(data.ftLastAccessTime);
    record.last_write_time = from_filetime(data.ftLastWriteTime);
    record.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    record.long_name = narrow(data.cFileName);
    record.short_name = narrow(data.cAlternateFileName);
}

// A handle on a file or directory (directories need backup semantics) for
// reading or changing its attributes and times; closed with the object.
class Handle {
public:
    Handle(const char* path, DWORD access)
        : handle_(CreateFileW(widen(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)) {
        if (handle_ == INVALID_HANDLE_VALUE) fail_with_os_error();
    }
    ~Handle() { close(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    HANDLE get() const { return handle_; }
    bool is_open() const { return handle_ != INVALID_HANDLE_VALUE; }
    bool close() {
        if (handle_ == INVALID_HANDLE_VALUE) return true;
        bool closed = CloseHandle(handle_) != 0;
        handle_ = INVALID_HANDLE_VALUE;
        return closed || fail_with_os_error();
    }

private:
    HANDLE handle_;
};

// Runs a Win32 query that writes a path into a buffer of a given size and
// returns its length, or the size it needs when the buffer is too small,
// or 0 on failure; grows the buffer until the whole path fits.
template <typename Query>
bool query_path(Query query, std::string& out) {
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    for (;;) {
        DWORD length = query(buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return fail_with_os_error();
        if (length < buffer.size()) {
            out = narrow(std::wstring_view(buffer.data(), length));
            return true;
        }
        buffer.resize(length + 1);
    }
}

}  // namespace

// Windows walks by path: a Directory holds the path its entries are named
// under and a handle on the directory, opened without following a reparse
// point and without delete sharing, so that the directory can be neither
// removed nor renamed, nor exchanged for a junction, while it is open. The
// path calls have no form relative to a handle: an entry is reached by the
// Directory's path and its name (see docs/kesto.md).
struct Directory::State {
    HANDLE handle = INVALID_HANDLE_VALUE;
    std::string path;  // with a closing separator
    ~State() { CloseHandle(handle); }
};

namespace backend {
struct DirectoryAccess {
    // The path of the entry name of directory.
    static std::string entry(const Directory& directory, const char* name) {
        return directory.state_ ? directory.state_->path + name : std::string(name);
    }
};
}  // namespace backend

std::string backend::entry_path(const Directory& directory, const char* name) {
    return DirectoryAccess::entry(directory, name);
}

namespace {

using backend::entry_path;

// True when path ends with a character after which a component starts,
// judged character by character (a double-byte character may end in the
// byte of a backslash).
bool ends_with_separator(const std::string& path) {
    bool separator = false;
    for (std::size_t i = 0; i < path.size();) {
        const std::size_t length = char_length(path.c_str() + i);
        separator = length == 1 && ends_path_component(path[i]);
        i += length;
    }
    return separator;
}

}  // namespace

Directory::Directory() = default;
Directory::~Directory() = default;
Directory::Directory(Directory&& other) noexcept = default;
Directory& Directory::operator=(Directory&& other) noexcept = default;

bool Directory::open(const char* path) {
    close();
    std::string text = path;
    if (!text.empty() && !ends_with_separator(text)) text += '\\';
    HANDLE handle = CreateFileW(widen(text.empty() ? "." : text).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return fail_with_os_error();
    state_ = std::make_unique<State>();
    state_->handle = handle;
    state_->path = text;
    return true;
}

bool Directory::open_in(const Directory& parent, const char* name, bool follow_link) {
    close();
    const std::string path = entry_path(parent, name);
    HANDLE handle = CreateFileW(widen(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | (follow_link ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr);
    if (handle == INVALID_HANDLE_VALUE) return fail_with_os_error();
    state_ = std::make_unique<State>();
    state_->handle = handle;
    state_->path = path + '\\';
    // What the handle holds must be a directory, and no reparse point
    // unless links are followed.
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(handle, &information)) {
        fail_with_os_error();
        state_.reset();
        return false;
    }
    const DWORD attributes = information.dwFileAttributes;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || (!follow_link && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))) {
        state_.reset();
        backend::set_last_error(ERROR_DIRECTORY);
        return false;
    }
    return true;
}

void Directory::close() { state_.reset(); }

bool Directory::is_open() const { return state_ != nullptr; }

struct DirectorySearch::State {
    HANDLE handle = INVALID_HANDLE_VALUE;
    ~State() {
        if (handle != INVALID_HANDLE_VALUE) FindClose(handle);
    }
};

DirectorySearch::DirectorySearch() = default;
DirectorySearch::~DirectorySearch() = default;

bool DirectorySearch::first(const char* pattern, FindRecord& record) {
    close();
    WIN32_FIND_DATAW data;
    HANDLE handle = FindFirstFileW(widen(pattern).c_str(), &data);
    if (handle == INVALID_HANDLE_VALUE) return fail_with_os_error();
    state_ = std::make_unique<State>();
    state_->handle = handle;
    to_record(data, record);
    return true;
}

bool DirectorySearch::first(const Directory& directory, const char* pattern, FindRecord& record) {
    return first(entry_path(directory, pattern).c_str(), record);
}

bool DirectorySearch::next(FindRecord& record) {
    if (!state_) {
        backend::set_last_error(ERROR_INVALID_HANDLE);
        return false;
    }
    WIN32_FIND_DATAW data;
    if (!FindNextFileW(state_->handle, &data)) return fail_with_os_error();
    to_record(data, record);
    return true;
}

bool DirectorySearch::close() {
    if (!state_) return true;
    bool closed = FindClose(state_->handle) != 0;
    if (!closed) fail_with_os_error();
    state_->handle = INVALID_HANDLE_VALUE;
    state_.reset();
    return closed;
}

bool DirectorySearch::is_open() const { return state_ != nullptr; }

// Windows names cannot hold "*" or "?": a search for the path finds that
// entry alone.
bool backend::find_entry(const char* path, FindRecord& record) {
    DirectorySearch search;
    return search.first(path, record);
}

// A search hands out records read in batches.
bool backend::search_records_are_fresh() { return false; }

bool file_identity(const char* path, FileIdentity& out) {
    Handle file(path, 0);
    BY_HANDLE_FILE_INFORMATION information;
    if (!file.is_open()) return false;
    if (!GetFileInformationByHandle(file.get(), &information)) return fail_with_os_error();
    out.volume = information.dwVolumeSerialNumber;
    out.index = (static_cast<std::uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
    return true;
}

bool current_directory(std::string& out) {
    return query_path([](wchar_t* buffer, DWORD size) { return GetCurrentDirectoryW(size, buffer); }, out);
}

bool full_path(const char* path, std::string& out) {
    const std::wstring wide = widen(path);
    return query_path(
        [&wide](wchar_t* buffer, DWORD size) { return GetFullPathNameW(wide.c_str(), size, buffer, nullptr); }, out);
}

bool short_path(const char* path, std::string& out) {
    const std::wstring wide = widen(path);
    std::string result;
    if (!query_path([&wide](wchar_t* buffer, DWORD size) { return GetShortPathNameW(wide.c_str(), buffer, size); },
                    result))
        return false;
    std::wstring upper = widen(result);
    CharUpperW(upper.data());
    out = narrow(upper);
    return true;
}

bool backend::create_directory(const Directory& directory, const char* name, const char* model_path) {
    const std::wstring path = widen(entry_path(directory, name));
    const std::wstring model = model_path ? widen(model_path) : std::wstring();
    // Windows refuses a model it cannot open; Wine would ignore it.
    if (model_path && GetFileAttributesW(model.c_str()) == INVALID_FILE_ATTRIBUTES) return fail_with_os_error();
    BOOL created =
        model_path ? CreateDirectoryExW(model.c_str(), path.c_str(), nullptr) : CreateDirectoryW(path.c_str(), nullptr);
    return created || fail_with_os_error();
}

bool backend::remove_directory(const Directory& directory, const char* name, bool link) {
    const std::wstring path = widen(entry_path(directory, name));
    if (!link) {
        const DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            backend::set_last_error(ERROR_DIRECTORY);
            return false;
        }
    }
    return RemoveDirectoryW(path.c_str()) || fail_with_os_error();
}

bool backend::delete_file(const Directory& directory, const char* name) {
    return DeleteFileW(widen(entry_path(directory, name)).c_str()) || fail_with_os_error();
}

bool backend::rename_path(const Directory& directory, const char* name, const Directory& to_directory,
                          const char* to_name) {
    return MoveFileW(widen(entry_path(directory, name)).c_str(), widen(entry_path(to_directory, to_name)).c_str()) ||
           fail_with_os_error();
}

bool set_copy_attributes(const Directory& directory, const char* name, std::uint32_t attributes) {
    return set_attributes(directory, name, attributes);
}

bool get_attributes(const Directory& directory, const char* name, std::uint32_t& attributes) {
    DWORD result = GetFileAttributesW(widen(entry_path(directory, name)).c_str());
    if (result == INVALID_FILE_ATTRIBUTES) return fail_with_os_error();
    attributes = result;
    return true;
}

bool backend::set_attributes(const Directory& directory, const char* name, std::uint32_t attributes) {
    return SetFileAttributesW(widen(entry_path(directory, name)).c_str(), attributes) || fail_with_os_error();
}

bool has_short_names() { return true; }

bool backend::replace_file(const Directory& directory, const char* name, const Directory& to_directory,
                           const char* to_name) {
    const std::wstring from_path = widen(entry_path(directory, name)),
                       to_path = widen(entry_path(to_directory, to_name));
    const wchar_t* from = from_path.c_str();
    const wchar_t* to = to_path.c_str();
    // MoveFileEx refuses to replace a read-only file; hidden and system ones
    // are lifted too, so that no attribute of the old file stands in the way.
    constexpr DWORD GUARDED = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    const DWORD old = GetFileAttributesW(to);
    const bool lifted = old != INVALID_FILE_ATTRIBUTES && !(old & FILE_ATTRIBUTE_DIRECTORY) && (old & GUARDED) != 0 &&
                        SetFileAttributesW(to, (old & ~GUARDED) ? (old & ~GUARDED) : FILE_ATTRIBUTE_NORMAL);
    if (MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED)) return true;
    const DWORD code = GetLastError();
    if (lifted) SetFileAttributesW(to, old);
    backend::set_last_error(static_cast<int>(code));
    return false;
}

bool get_file_times(const char* path, FileTime& creation, FileTime& access, FileTime& write) {
    Handle file(path, FILE_READ_ATTRIBUTES);
    FILETIME times[3];
    if (!file.is_open()) return false;
    if (!GetFileTime(file.get(), &times[0], &times[1], &times[2])) return fail_with_os_error();
    if (!file.close()) return false;
    creation = from_filetime(times[0]);
    access = from_filetime(times[1]);
    write = from_filetime(times[2]);
    return true;
}

bool backend::set_file_times(const char* path, const FileTime* creation, const FileTime* access,
                             const FileTime* write) {
    Handle file(path, FILE_WRITE_ATTRIBUTES);
    if (!file.is_open()) return false;
    if (!backend::set_handle_times(file.get(), creation, access, write)) return fail_with_os_error();
    return file.close();
}

bool read_only_blocks_times() { return true; }

bool backend::open_for_write_time(WriteTimeEntry& entry) {
    // FILE_FLAG_BACKUP_SEMANTICS opens a directory as well as a file.
    HANDLE file = CreateFileW(
        widen(entry_path(entry.directory, entry.name)).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | (entry.follow_link ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr);
    if (file == INVALID_HANDLE_VALUE) return fail_with_os_error();
    entry.handle = reinterpret_cast<std::intptr_t>(file);
    return true;
}

bool backend::set_write_time(WriteTimeEntry& entry, FileTime time) {
    const FILETIME write = to_filetime(time);
    return SetFileTime(reinterpret_cast<HANDLE>(entry.handle), nullptr, nullptr, &write) || fail_with_os_error();
}

bool backend::close_for_write_time(WriteTimeEntry& entry) {
    return CloseHandle(reinterpret_cast<HANDLE>(entry.handle)) || fail_with_os_error();
}

}  // namespace plat

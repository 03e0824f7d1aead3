// Files of the Windows build: CreateFileW handles with 64-bit offsets.
#include "platform/file.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>

#include "platform/backend.h"
#include "platform/directory.h"
#include "platform/win32/entry_path.h"
#include "platform/win32/filetime.h"
#include "platform/win32/wide.h"

namespace plat {
namespace {

// Largest single ReadFile/WriteFile request (a DWORD count).
constexpr std::size_t MAX_CHUNK = std::size_t(1) << 30;

HANDLE to_handle(std::intptr_t value) { return value == -1 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(value); }

std::intptr_t from_handle(HANDLE handle) {
    return handle == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<std::intptr_t>(handle);
}

// Reads size bytes in pieces ReadFile can take, from the file position, or
// from offset when one is given; stops at the end of the data. The bytes
// read, or -1.
std::int64_t read_chunks(HANDLE handle, char* bytes, std::size_t size, const std::uint64_t* offset) {
    std::size_t total = 0;
    while (total < size) {
        std::size_t want = size - total;
        DWORD chunk = static_cast<DWORD>(want > MAX_CHUNK ? MAX_CHUNK : want);
        OVERLAPPED at = {};
        if (offset) {
            const std::uint64_t position = *offset + total;
            at.Offset = static_cast<DWORD>(position & 0xFFFFFFFFu);
            at.OffsetHigh = static_cast<DWORD>(position >> 32);
        }
        DWORD got = 0;
        if (!ReadFile(handle, bytes + total, chunk, &got, offset ? &at : nullptr)) {
            DWORD code = GetLastError();
            if (code == ERROR_HANDLE_EOF || code == ERROR_BROKEN_PIPE) break;  // end of data
            backend::set_last_error(static_cast<int>(code));
            return -1;
        }
        total += got;
        if (got < chunk) break;  // end of file
    }
    return static_cast<std::int64_t>(total);
}

}  // namespace

// A virus scanner or an indexer holding the file for a moment.
bool is_sharing_violation(int code) { return code == ERROR_SHARING_VIOLATION; }

namespace backend {

bool fail_with_os_error() { return fail(static_cast<int>(GetLastError())); }

int error_code_for(const char* name) {
    if (std::strcmp(name, "io") == 0) return ERROR_IO_DEVICE;             // 1117
    if (std::strcmp(name, "nospace") == 0) return ERROR_DISK_FULL;        // 112
    if (std::strcmp(name, "access") == 0) return ERROR_ACCESS_DENIED;     // 5
    if (std::strcmp(name, "notfound") == 0) return ERROR_FILE_NOT_FOUND;  // 2
    return 0;
}

std::intptr_t open_file(const char* path, OpenMode mode, unsigned hints) {
    DWORD access = GENERIC_READ;
    DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    DWORD disposition = OPEN_EXISTING;
    switch (mode) {
    case OpenMode::read: break;
    case OpenMode::write_existing:
        access = GENERIC_WRITE;
        share = FILE_SHARE_READ;
        break;
    case OpenMode::create_truncate:
        access = GENERIC_WRITE;
        share = FILE_SHARE_READ;
        disposition = CREATE_ALWAYS;
        break;
    }
    DWORD flags = FILE_ATTRIBUTE_NORMAL;
    if (hints & OPEN_SEQUENTIAL) flags |= FILE_FLAG_SEQUENTIAL_SCAN;
    if (hints & OPEN_WRITE_THROUGH) flags |= FILE_FLAG_WRITE_THROUGH;
    // Without FILE_FLAG_BACKUP_SEMANTICS a directory cannot be opened: it
    // fails with ERROR_ACCESS_DENIED, as a directory must.
    HANDLE handle = CreateFileW(widen(path).c_str(), access, share, nullptr, disposition, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) fail_with_os_error();
    return from_handle(handle);
}

std::int64_t read_file(std::intptr_t file, void* buffer, std::size_t size) {
    return read_chunks(to_handle(file), static_cast<char*>(buffer), size, nullptr);
}

std::int64_t read_file_at(std::intptr_t file, std::int64_t offset, void* buffer, std::size_t size) {
    const auto position = static_cast<std::uint64_t>(offset);
    return read_chunks(to_handle(file), static_cast<char*>(buffer), size, &position);
}

std::int64_t write_file(std::intptr_t file, const void* buffer, std::size_t size) {
    const char* bytes = static_cast<const char*>(buffer);
    std::size_t total = 0;
    while (total < size) {
        std::size_t want = size - total;
        DWORD chunk = static_cast<DWORD>(want > MAX_CHUNK ? MAX_CHUNK : want);
        DWORD put = 0;
        if (!WriteFile(to_handle(file), bytes + total, chunk, &put, nullptr)) {
            fail_with_os_error();
            // Bytes already written count; the next call reports the error.
            return total > 0 ? static_cast<std::int64_t>(total) : -1;
        }
        total += put;
        if (put < chunk) break;  // device full
    }
    return static_cast<std::int64_t>(total);
}

bool seek_file(std::intptr_t file, std::int64_t offset) {
    LARGE_INTEGER distance;
    distance.QuadPart = offset;
    return SetFilePointerEx(to_handle(file), distance, nullptr, FILE_BEGIN) || fail_with_os_error();
}

std::int64_t file_size(std::intptr_t file) {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(to_handle(file), &size)) return fail_with_os_error(), -1;
    return size.QuadPart;
}

bool sync_file(std::intptr_t file) { return FlushFileBuffers(to_handle(file)) || fail_with_os_error(); }

bool close_file(std::intptr_t file) { return CloseHandle(to_handle(file)) || fail_with_os_error(); }

bool set_times_of(std::intptr_t file, const FileTime* creation, const FileTime* access, const FileTime* write) {
    return set_handle_times(to_handle(file), creation, access, write) || fail_with_os_error();
}

// Disk files (and disk devices) have offsets; pipes and consoles do not.
bool is_disk_file(std::intptr_t file) { return GetFileType(to_handle(file)) == FILE_TYPE_DISK; }

std::intptr_t open_spool_file(SpoolFailure& failure) {
    wchar_t folder[MAX_PATH + 1];
    DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH + 1) std::wcscpy(folder, L".");
    wchar_t name[MAX_PATH + 1];
    // The system makes the name unique by creating the (empty) file.
    if (GetTempFileNameW(folder, L"TVN", 0, name) == 0) {
        failure = SpoolFailure::name;
        return fail_with_os_error(), -1;
    }
    HANDLE handle =
        CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        fail_with_os_error();
        DeleteFileW(name);
        failure = SpoolFailure::create;
    }
    return from_handle(handle);
}

std::intptr_t open_replacement_file(const Directory& directory, const char* name_in_directory, unsigned hints,
                                    std::intptr_t /*model*/, std::string& name) {
    const std::string full = entry_path(directory, name_in_directory);
    // A directory refuses, as creating a file there would.
    const DWORD existing = GetFileAttributesW(widen(full).c_str());
    if (existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_DIRECTORY)) {
        set_last_error(ERROR_ACCESS_DENIED);
        return -1;
    }
    DWORD flags = FILE_ATTRIBUTE_NORMAL;
    if (hints & OPEN_SEQUENTIAL) flags |= FILE_FLAG_SEQUENTIAL_SCAN;
    if (hints & OPEN_WRITE_THROUGH) flags |= FILE_FLAG_WRITE_THROUGH;
    static std::atomic<unsigned> serial{0};
    for (int tries = 0; tries < 100; ++tries) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".~kesto%lx%x", GetCurrentProcessId(), serial++);
        const std::string candidate = full + suffix;
        HANDLE handle =
            CreateFileW(widen(candidate).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, flags, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            name = std::string(name_in_directory) + suffix;
            return from_handle(handle);
        }
        const DWORD code = GetLastError();
        if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) {
            set_last_error(static_cast<int>(code));
            return -1;
        }
    }
    set_last_error(ERROR_FILE_EXISTS);
    return -1;
}

// Windows has no file without a name: copies are made under a name of
// their own (open_replacement_file).
std::intptr_t open_unnamed_file(const Directory& /*directory*/, unsigned /*hints*/, std::intptr_t /*model*/) {
    set_last_error(ERROR_NOT_SUPPORTED);
    return -1;
}

bool name_unnamed_file(std::intptr_t /*file*/, const Directory& /*directory*/, const char* /*name*/,
                       bool /*read_only*/) {
    set_last_error(ERROR_NOT_SUPPORTED);
    return false;
}

std::intptr_t open_standard_input() {
    // Reads go straight to the handle, past the C runtime and its text mode:
    // the bytes arrive as they are.
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    HANDLE copy = INVALID_HANDLE_VALUE;
    if (input == nullptr || input == INVALID_HANDLE_VALUE ||
        !DuplicateHandle(GetCurrentProcess(), input, GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS))
        return fail_with_os_error(), -1;
    return from_handle(copy);
}

// The file is mapped: Windows refuses to shrink a file while a view of it
// exists, so no read can run past a new end (on POSIX it could).
void expect_random_reads(std::intptr_t) {}

const unsigned char* map_file(std::intptr_t file, std::int64_t, bool) {
    HANDLE mapping = CreateFileMappingW(to_handle(file), nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (!mapping) return nullptr;
    // The view keeps the mapping alive.
    const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    CloseHandle(mapping);
    return static_cast<const unsigned char*>(view);
}

void unmap_file(const unsigned char* map, std::int64_t) { UnmapViewOfFile(map); }

bool copy_from_map(void* to, const unsigned char* from, std::size_t size) {
    std::memcpy(to, from, size);
    return true;
}

bool compare_maps(const unsigned char* a, const unsigned char* b, std::size_t size, bool& same) {
    same = std::memcmp(a, b, size) == 0;
    return true;
}

}  // namespace backend

// Every piece goes through the buffer.
DataCopy::DataCopy(File& source, File& destination, void* buffer, std::size_t capacity)
    : source_(source), destination_(destination), buffer_(static_cast<unsigned char*>(buffer)), capacity_(capacity) {}

std::int64_t DataCopy::next(std::uint64_t size) {
    const std::size_t piece = static_cast<std::size_t>(size < capacity_ ? size : capacity_);
    const std::int64_t got = source_.read(buffer_, piece);
    if (got != static_cast<std::int64_t>(piece)) return failed(CopyFailure::read);
    if (destination_.write(buffer_, piece) != got) return failed(CopyFailure::write);
    return got;
}

// Windows ends a console program without a signal it could catch (no
// handler of the program's own is installed): nothing to remember.
int remove_at_termination(const char*) { return 0; }
void keep_at_termination(int) {}

bool same_file(const char* path_a, const char* path_b) {
    auto identify = [](const char* path, BY_HANDLE_FILE_INFORMATION& info) {
        HANDLE handle =
            CreateFileW(backend::widen(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (handle == INVALID_HANDLE_VALUE) return false;
        bool ok = GetFileInformationByHandle(handle, &info) != 0;
        CloseHandle(handle);
        return ok;
    };
    BY_HANDLE_FILE_INFORMATION a, b;
    if (!identify(path_a, a) || !identify(path_b, b)) return false;
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

}  // namespace plat

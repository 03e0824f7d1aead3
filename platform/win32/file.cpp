// Files of the Windows build: CreateFileA handles with 64-bit offsets.
#include "platform/file.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "platform/backend.h"
#include "platform/directory.h"
#include "platform/fault.h"
#include "platform/win32/entry_path.h"
#include "platform/win32/filetime.h"

namespace plat {
namespace {

int last_error_code = 0;

// Largest single ReadFile/WriteFile request (a DWORD count).
constexpr std::size_t MAX_CHUNK = std::size_t(1) << 30;

HANDLE to_handle(std::intptr_t value) {
    return value == -1 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(value);
}

std::intptr_t from_handle(HANDLE handle) {
    return handle == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<std::intptr_t>(handle);
}

void record_os_error() { last_error_code = static_cast<int>(GetLastError()); }

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
            last_error_code = static_cast<int>(code);
            return -1;
        }
        total += got;
        if (got < chunk) break;  // end of file
    }
    return static_cast<std::int64_t>(total);
}

// A fault that asks for a short transfer where none exists still fails.
void record_fault(int error) {
    if (error == fault::SHORT_TRANSFER) backend::set_last_error(ERROR_IO_DEVICE);
}

}  // namespace

namespace backend {

int error_code_for(const char* name) {
    if (std::strcmp(name, "io") == 0) return ERROR_IO_DEVICE;       // 1117
    if (std::strcmp(name, "nospace") == 0) return ERROR_DISK_FULL;  // 112
    if (std::strcmp(name, "access") == 0) return ERROR_ACCESS_DENIED;     // 5
    if (std::strcmp(name, "notfound") == 0) return ERROR_FILE_NOT_FOUND;  // 2
    return 0;
}

void set_last_error(int code) { last_error_code = code; }

}  // namespace backend

int last_error() { return last_error_code; }

File::~File() { close(); }

File::File(File&& other) noexcept : handle_(std::exchange(other.handle_, INVALID)) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        close();
        handle_ = std::exchange(other.handle_, INVALID);
    }
    return *this;
}

bool File::open(const char* path, OpenMode mode, unsigned hints) {
    close();
    int error = 0;
    if (fault::hit(fault::Call::open, error)) {
        record_fault(error);
        return false;
    }
    DWORD access = GENERIC_READ;
    DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    DWORD disposition = OPEN_EXISTING;
    switch (mode) {
    case OpenMode::read:
        break;
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
    HANDLE handle = CreateFileA(path, access, share, nullptr, disposition, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        record_os_error();
        return false;
    }
    handle_ = from_handle(handle);
    return true;
}

std::int64_t File::read(void* buffer, std::size_t size) {
    if (!fault::transfer(fault::Call::read, size)) return -1;
    return read_chunks(to_handle(handle_), static_cast<char*>(buffer), size, nullptr);
}

std::int64_t File::write(const void* buffer, std::size_t size) {
    if (!fault::transfer(fault::Call::write, size)) return -1;
    const char* bytes = static_cast<const char*>(buffer);
    std::size_t total = 0;
    while (total < size) {
        std::size_t want = size - total;
        DWORD chunk = static_cast<DWORD>(want > MAX_CHUNK ? MAX_CHUNK : want);
        DWORD put = 0;
        if (!WriteFile(to_handle(handle_), bytes + total, chunk, &put, nullptr)) {
            record_os_error();
            // Bytes already written count; the next call reports the error.
            return total > 0 ? static_cast<std::int64_t>(total) : -1;
        }
        total += put;
        if (put < chunk) break;  // device full
    }
    return static_cast<std::int64_t>(total);
}

bool File::seek(std::int64_t offset) {
    int error = 0;
    if (fault::hit(fault::Call::seek, error)) {
        record_fault(error);
        return false;
    }
    LARGE_INTEGER distance;
    distance.QuadPart = offset;
    if (!SetFilePointerEx(to_handle(handle_), distance, nullptr, FILE_BEGIN)) {
        record_os_error();
        return false;
    }
    return true;
}

std::int64_t File::size() {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(to_handle(handle_), &size)) {
        record_os_error();
        return -1;
    }
    return size.QuadPart;
}

bool File::sync() {
    int error = 0;
    if (fault::hit(fault::Call::sync, error)) {
        record_fault(error);
        return false;
    }
    if (!FlushFileBuffers(to_handle(handle_))) {
        record_os_error();
        return false;
    }
    return true;
}

bool File::close() {
    if (handle_ == INVALID) return true;
    HANDLE handle = to_handle(std::exchange(handle_, INVALID));
    int error = 0;
    if (fault::hit(fault::Call::close, error)) {
        // The handle is released all the same: a failed close never leaks.
        CloseHandle(handle);
        record_fault(error);
        return false;
    }
    if (!CloseHandle(handle)) {
        record_os_error();
        return false;
    }
    return true;
}

bool File::set_times(const FileTime* creation, const FileTime* access, const FileTime* write) {
    int error = 0;
    if (fault::hit(fault::Call::set_times, error)) {
        record_fault(error);
        return false;
    }
    if (!backend::set_handle_times(to_handle(handle_), creation, access, write)) {
        record_os_error();
        return false;
    }
    return true;
}

std::int64_t File::read_at(std::int64_t offset, void* buffer, std::size_t size) {
    if (!fault::transfer(fault::Call::read, size)) return -1;
    const auto position = static_cast<std::uint64_t>(offset);
    return read_chunks(to_handle(handle_), static_cast<char*>(buffer), size, &position);
}

// Disk files (and disk devices) have offsets; pipes and consoles do not.
bool File::is_regular_file() { return GetFileType(to_handle(handle_)) == FILE_TYPE_DISK; }

bool open_spool_file(File& file, SpoolFailure* failure) {
    auto failed = [&](SpoolFailure step) {
        if (failure) *failure = step;
        return false;
    };
    if (failure) *failure = SpoolFailure::none;
    file.close();
    char folder[MAX_PATH + 1];
    DWORD length = GetTempPathA(sizeof folder, folder);
    if (length == 0 || length > sizeof folder) std::strcpy(folder, ".");
    char name[MAX_PATH + 1];
    // The system makes the name unique by creating the (empty) file.
    if (GetTempFileNameA(folder, "TVN", 0, name) == 0) {
        record_os_error();
        return failed(SpoolFailure::name);
    }
    int error = 0;
    if (fault::hit(fault::Call::open, error)) {
        record_fault(error);
        DeleteFileA(name);
        return failed(SpoolFailure::create);
    }
    HANDLE handle = CreateFileA(name, GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                                nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        record_os_error();
        DeleteFileA(name);
        return failed(SpoolFailure::create);
    }
    file.handle_ = from_handle(handle);
    return true;
}

bool open_replacement_file(File& file, const char* path, unsigned hints, const File* model, std::string& name) {
    return open_replacement_file(file, Directory(), path, hints, model, name);
}

bool open_replacement_file(File& file, const Directory& directory, const char* name_in_directory, unsigned hints,
                           const File* /*model*/, std::string& name) {
    file.close();
    const std::string full = backend::entry_path(directory, name_in_directory);
    const char* path = full.c_str();
    int error = 0;
    if (fault::hit(fault::Call::open, error)) {
        record_fault(error);
        return false;
    }
    // A directory refuses, as creating a file there would.
    const DWORD existing = GetFileAttributesA(path);
    if (existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_DIRECTORY)) {
        last_error_code = ERROR_ACCESS_DENIED;
        return false;
    }
    DWORD flags = FILE_ATTRIBUTE_NORMAL;
    if (hints & OPEN_SEQUENTIAL) flags |= FILE_FLAG_SEQUENTIAL_SCAN;
    if (hints & OPEN_WRITE_THROUGH) flags |= FILE_FLAG_WRITE_THROUGH;
    static unsigned serial = 0;
    for (int tries = 0; tries < 100; ++tries) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".~kesto%lx%x", GetCurrentProcessId(), serial++);
        const std::string candidate = full + suffix;
        HANDLE handle =
            CreateFileA(candidate.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, flags, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            file.handle_ = from_handle(handle);
            name = std::string(name_in_directory) + suffix;
            return true;
        }
        const DWORD code = GetLastError();
        if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) {
            last_error_code = static_cast<int>(code);
            return false;
        }
    }
    last_error_code = ERROR_FILE_EXISTS;
    return false;
}

// Every piece goes through the buffer.
DataCopy::DataCopy(File& source, File& destination, void* buffer, std::size_t capacity)
    : source_(source), destination_(destination), buffer_(static_cast<unsigned char*>(buffer)),
      capacity_(capacity) {}

std::int64_t DataCopy::next(std::uint64_t size) {
    const std::size_t piece = static_cast<std::size_t>(size < capacity_ ? size : capacity_);
    const std::int64_t got = source_.read(buffer_, piece);
    if (got != static_cast<std::int64_t>(piece)) return failed(CopyFailure::read);
    if (destination_.write(buffer_, piece) != got) return failed(CopyFailure::write);
    return got;
}

// Windows ends a console program without a signal it could catch (no
// handler of the program's own is installed): nothing to remember.
void remove_at_termination(const char*) {}

bool open_standard_input(File& file) {
    file.close();
    // Reads go straight to the handle, past the C runtime and its text mode:
    // the bytes arrive as they are.
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    HANDLE copy = INVALID_HANDLE_VALUE;
    if (input == nullptr || input == INVALID_HANDLE_VALUE ||
        !DuplicateHandle(GetCurrentProcess(), input, GetCurrentProcess(), &copy, 0, FALSE,
                         DUPLICATE_SAME_ACCESS)) {
        record_os_error();
        return false;
    }
    file.handle_ = from_handle(copy);
    return true;
}

// The file is mapped: Windows refuses to shrink a file while a view of it
// exists, so no read can run past a new end (on POSIX it could).
FileReader::~FileReader() {
    if (map_) UnmapViewOfFile(map_);
}

void FileReader::attach(File& file) {
    file_ = &file;
    size_ = file.size();
    if (size_ <= 0 || static_cast<std::uint64_t>(size_) > SIZE_MAX / 2) return;
    HANDLE mapping = CreateFileMappingA(to_handle(file.handle_), nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (!mapping) return;
    // The view keeps the mapping alive.
    map_ = static_cast<const unsigned char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
    CloseHandle(mapping);
}

std::int64_t FileReader::read(std::int64_t offset, void* buffer, std::size_t size) {
    if (map_ && offset >= 0 && offset <= size_ && size <= static_cast<std::uint64_t>(size_ - offset)) {
        if (!fault::transfer(fault::Call::read, size)) return -1;
        std::memcpy(buffer, map_ + offset, size);
        return static_cast<std::int64_t>(size);
    }
    return file_->read_at(offset, buffer, size);
}

void FileReader::prefetch(std::int64_t offset) const {
    if (map_ && offset >= 0 && offset < size_) __builtin_prefetch(map_ + offset);
}

bool FileReader::shrunk() { return file_->size() < size_; }

bool same_file(const char* path_a, const char* path_b) {
    auto identify = [](const char* path, BY_HANDLE_FILE_INFORMATION& info) {
        HANDLE handle = CreateFileA(path, 0,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (handle == INVALID_HANDLE_VALUE) return false;
        bool ok = GetFileInformationByHandle(handle, &info) != 0;
        CloseHandle(handle);
        return ok;
    };
    BY_HANDLE_FILE_INFORMATION a, b;
    if (!identify(path_a, a) || !identify(path_b, b)) return false;
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

}  // namespace plat

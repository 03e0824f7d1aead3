// Files of the Windows build: CreateFileA handles with 64-bit offsets.
#include "platform/file.h"

#include <windows.h>

#include <cstring>
#include <utility>

#include "platform/backend.h"
#include "platform/fault.h"

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
    char* bytes = static_cast<char*>(buffer);
    std::size_t total = 0;
    while (total < size) {
        std::size_t want = size - total;
        DWORD chunk = static_cast<DWORD>(want > MAX_CHUNK ? MAX_CHUNK : want);
        DWORD got = 0;
        if (!ReadFile(to_handle(handle_), bytes + total, chunk, &got, nullptr)) {
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

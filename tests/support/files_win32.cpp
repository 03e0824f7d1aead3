#include <windows.h>
#include <winioctl.h>

#include <filesystem>

#include "support/files.h"

namespace testsupport {

// Windows has no root that permissions leave alone.
std::vector<std::string> run_as_tree_owner(const std::string&) { return {}; }

bool make_sparse_file(const std::string& path, std::int64_t size, std::int64_t offset, const std::string& bytes) {
    HANDLE file = CreateFileW(std::filesystem::u8path(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD returned = 0;
    // Not every file system takes the flag (Wine's mapping of a POSIX file
    // system is sparse anyway); the data are right either way.
    DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
    LARGE_INTEGER position;
    position.QuadPart = size;
    bool ok = SetFilePointerEx(file, position, nullptr, FILE_BEGIN) && SetEndOfFile(file);
    position.QuadPart = offset;
    DWORD written = 0;
    ok = ok && SetFilePointerEx(file, position, nullptr, FILE_BEGIN) &&
         WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size();
    return CloseHandle(file) && ok;
}

bool make_fifo(const std::string&) { return false; }

std::int64_t allocated_bytes(const std::string& path) {
    DWORD high = 0;
    const DWORD low = GetCompressedFileSizeW(std::filesystem::u8path(path).c_str(), &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return -1;
    return (static_cast<std::int64_t>(high) << 32) | low;
}

// The Windows build runs under Wine, whose drive Z: is the POSIX root.
std::string native_path(const std::string& path) {
    if (path.empty() || path[0] != '/') return path;
    std::string out = "Z:" + path;
    for (char& c : out)
        if (c == '/') c = '\\';
    return out;
}

}  // namespace testsupport

// File times of the Windows backend: a FileTime is a FILETIME as one 64-bit
// number. Not for use outside platform/.
#pragma once
#include <windows.h>

#include "platform/time.h"

namespace plat::backend {

inline FILETIME to_filetime(FileTime time) {
    FILETIME out;
    out.dwLowDateTime = static_cast<DWORD>(time & 0xFFFFFFFFu);
    out.dwHighDateTime = static_cast<DWORD>(time >> 32);
    return out;
}

inline FileTime from_filetime(const FILETIME& time) {
    return (static_cast<FileTime>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// Sets the times given of an open handle; a null pointer leaves that time
// alone. GetLastError() tells why it failed.
inline bool set_handle_times(HANDLE handle, const FileTime* creation, const FileTime* access, const FileTime* write) {
    FILETIME times[3];
    const FileTime* given[3] = {creation, access, write};
    for (int i = 0; i < 3; ++i)
        if (given[i]) times[i] = to_filetime(*given[i]);
    return SetFileTime(handle, creation ? &times[0] : nullptr, access ? &times[1] : nullptr,
                       write ? &times[2] : nullptr) != 0;
}

}  // namespace plat::backend

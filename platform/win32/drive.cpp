// Drives of the Windows build. The NT family reads the device paths
// "\\.\C:" and "\\.\PHYSICALDRIVE0" like files; Windows 95, 98 and Me
// read through the VWIN32 device's DOS services (INT 21h 7305h, or INT 25h
// on the first Windows 95 and on Win32s).
#include "platform/drive.h"

#include <windows.h>
#include <winioctl.h>

#include <cctype>
#include <cstring>

#include "platform/backend.h"
#include "platform/file.h"
#include "platform/win32/wide.h"

namespace plat {
namespace {

constexpr DWORD VWIN32_DIOC_DOS_INT25 = 2;
constexpr DWORD VWIN32_DIOC_DOS_DRIVEINFO = 6;
constexpr DWORD CARRY_FLAG = 1;

// Register image passed to and from the VWIN32 services.
struct DiocRegisters {
    DWORD reg_EBX, reg_EDX, reg_ECX, reg_EAX, reg_EDI, reg_ESI, reg_Flags;
};
static_assert(sizeof(DiocRegisters) == 28);

// Disk I/O packet of INT 25h and INT 21h 7305h.
#pragma pack(push, 1)
struct DiskIoPacket {
    DWORD start_sector;
    WORD sector_count;
    DWORD buffer;
};
#pragma pack(pop)
static_assert(sizeof(DiskIoPacket) == 10);

HANDLE to_handle(std::intptr_t value) { return value == -1 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(value); }

// A 32-bit address, as the DOS services take it. They exist only on the
// 32-bit Windows 95 family, where every address fits.
DWORD address32(const void* p) { return static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(p)); }

}  // namespace

bool backend::drive_method(DriveMethod& method) {
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version)) {
        return backend::fail_with_os_error();
    }
    switch (version.dwPlatformId) {
    case VER_PLATFORM_WIN32_NT: method = DriveMethod::device_file; break;
    case VER_PLATFORM_WIN32_WINDOWS:
        // The first Windows 95 ("C" is its service mark) lacks INT 21h 7305h.
        method = version.dwMajorVersion == 4 && version.dwMinorVersion == 0 && version.szCSDVersion[0] == 'C' &&
                         version.szCSDVersion[1] == '\0'
                     ? DriveMethod::dos_int25
                     : DriveMethod::dos_extended;
        break;
    default:  // Win32s
        method = DriveMethod::dos_int25;
        break;
    }
    return true;
}

bool is_drive_path(const char*) { return false; }

std::string drive_device_path(DriveMethod method, char drive) {
    if (method != DriveMethod::device_file) return "\\\\.\\vwin32";
    if (drive >= '0' && drive <= '9') return std::string("\\\\.\\PHYSICALDRIVE") + drive;
    return std::string("\\\\.\\") + static_cast<char>(std::toupper(static_cast<unsigned char>(drive))) + ":";
}

bool file_backs_drive(const char* path, const std::string& device_path) { return same_file(path, device_path.c_str()); }

// Windows has no loop devices.
std::string loop_backing_file(const std::string&, unsigned, unsigned) { return {}; }

std::intptr_t backend::open_drive(const std::string& path) {
    HANDLE handle = CreateFileW(backend::widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        backend::fail_with_os_error();
        return -1;
    }
    return reinterpret_cast<std::intptr_t>(handle);
}

GeometryStatus Drive::geometry(DriveGeometry& geometry) {
    DISK_GEOMETRY disk = {};
    DWORD returned = 0;
    if (!DeviceIoControl(to_handle(handle_), IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &disk, sizeof disk, &returned,
                         nullptr)) {
        backend::fail_with_os_error();
        return GeometryStatus::failed;
    }
    geometry.cylinders = disk.Cylinders.QuadPart;
    geometry.tracks_per_cylinder = disk.TracksPerCylinder;
    geometry.sectors_per_track = disk.SectorsPerTrack;
    geometry.bytes_per_sector = disk.BytesPerSector;
    return GeometryStatus::ok;
}

std::int64_t Drive::size() {
    if (method_ != DriveMethod::device_file) return -1;
    GET_LENGTH_INFORMATION length = {};
    DWORD returned = 0;
    if (DeviceIoControl(to_handle(handle_), IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length, sizeof length, &returned,
                        nullptr))
        return length.Length.QuadPart;
    // An image file mapped as a drive answers like a file.
    LARGE_INTEGER bytes;
    if (GetFileSizeEx(to_handle(handle_), &bytes) && bytes.QuadPart > 0) return bytes.QuadPart;
    return -1;
}

void backend::read_sectors_through_dos(std::intptr_t drive, DriveMethod method, int drive_number,
                                       std::int64_t first_sector, std::uint32_t sector_count, void* buffer,
                                       SectorRead& result) {
    DiskIoPacket packet = {static_cast<DWORD>(first_sector), static_cast<WORD>(sector_count), address32(buffer)};
    DiocRegisters registers = {};
    DWORD service;
    registers.reg_EBX = address32(&packet);
    if (method == DriveMethod::dos_extended) {
        registers.reg_EAX = 0x7305;
        registers.reg_ECX = 0xFFFFFFFF;
        registers.reg_EDX = static_cast<DWORD>(drive_number);
        registers.reg_ESI = 0;  // read
        service = VWIN32_DIOC_DOS_DRIVEINFO;
    } else {
        registers.reg_EAX = static_cast<DWORD>(drive_number - 1);  // A = 0
        registers.reg_ECX = 0xFFFF;
        service = VWIN32_DIOC_DOS_INT25;
    }
    DWORD returned = 0;
    if (!DeviceIoControl(to_handle(drive), service, &registers, sizeof registers, &registers, sizeof registers,
                         &returned, nullptr)) {
        result.status = SectorRead::ioctl_failed;
        result.error = static_cast<int>(GetLastError());
    } else if (registers.reg_Flags & CARRY_FLAG) {
        result.status = method == DriveMethod::dos_extended ? SectorRead::dos_call_failed : SectorRead::int25_failed;
        result.eax = registers.reg_EAX;
    } else {
        result.got = result.asked;
    }
}

bool Drive::volume_information(char drive, std::string& file_system, std::string& label) {
    char root[] = {drive, ':', '\\', '\0'};
    char volume_name[32] = {};
    char file_system_name[32] = {};
    if (!GetVolumeInformationA(root, volume_name, sizeof volume_name, nullptr, nullptr, nullptr, file_system_name,
                               sizeof file_system_name))
        return false;
    file_system = file_system_name;
    label = volume_name;
    return true;
}

}  // namespace plat

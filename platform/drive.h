// Raw access to drives, disks and disk images (zobrin): the access method,
// opening a device, whole-sector reads, geometry, and the file system name
// and label of a volume.
#pragma once
#include <cstdint>
#include <string>

namespace plat {

struct DriveGeometry {
    std::int64_t cylinders = 0;
    std::uint32_t tracks_per_cylinder = 0;
    std::uint32_t sectors_per_track = 0;
    std::uint32_t bytes_per_sector = 0;
};

// How sectors are read, chosen once from the system version.
enum class DriveMethod {
    device_file = 0,   // the device path read like a file (Windows NT family, POSIX)
    dos_extended = 1,  // INT 21h function 7305h through VWIN32 (Windows 95 OSR2, 98, Me)
    dos_int25 = 2,     // INT 25h through VWIN32 (the first Windows 95, Win32s)
};

// The method for this system; false when the version query failed
// (last_error() tells why).
bool drive_method(DriveMethod& method);

// True for an operand that names a device or a disk image by its path
// (POSIX: it holds a "/"); never on Windows, where the operand's first
// character is the drive.
bool is_drive_path(const char* operand);

// The path open() takes for a drive letter or disk digit under a method.
std::string drive_device_path(DriveMethod method, char drive);

// True when writing path would write the drive, disk or image at
// device_path: it is the very same file, or (Linux) the file a loop device,
// or the loop device a partition belongs to, reads from.
bool file_backs_drive(const char* path, const std::string& device_path);

// Linux: the file a loop device reads from, as sysfs under sys_root tells it
// for the block device numbered major:minor (a partition of a loop device
// gives its device's file). Empty when there is none, and on other systems.
std::string loop_backing_file(const std::string& sys_root, unsigned major, unsigned minor);

enum class GeometryStatus {
    ok,
    none,    // an image file: it has no geometry, which is no error
    failed,  // the device did not tell (last_error() tells why)
};

// Outcome of a sector read. Anything but ok means nothing usable arrived.
struct SectorRead {
    enum Status {
        ok,
        seek_failed,      // error
        read_failed,      // error
        short_read,       // asked, got: the device or image ended first
        dos_call_failed,  // carry set after INT 21h 7305h: eax holds the code
        int25_failed,     // carry set after INT 25h: eax holds the code
        ioctl_failed,     // DeviceIoControl itself failed: error
    };
    Status status = ok;
    int error = 0;
    std::uint32_t asked = 0, got = 0;
    std::uint32_t eax = 0;
};

// An open drive, disk or image; closed when it goes out of scope.
class Drive {
public:
    Drive() = default;
    ~Drive();
    Drive(const Drive&) = delete;
    Drive& operator=(const Drive&) = delete;

    // Opens path for reading, others may read and write. drive_number
    // (A = 1) is what the DOS methods address; 0 for the device file method.
    bool open(DriveMethod method, const std::string& path, int drive_number);
    bool is_open() const { return handle_ != INVALID; }

    // Cylinders, heads, sectors per track and sector size of the device.
    GeometryStatus geometry(DriveGeometry& geometry);

    // Bytes the device or image holds; -1 when it does not tell.
    std::int64_t size();

    // Reads sector_count whole sectors of sector_size bytes from first_sector
    // into buffer; all of them or a failure.
    SectorRead read_sectors(std::int64_t first_sector, std::uint32_t sector_count, std::uint32_t sector_size,
                            void* buffer);

    // The volume's file system name and label as the system reports them
    // (Windows asks for the root "d:\" of the drive letter; POSIX reads them
    // from the volume itself). False when the volume is not recognised.
    bool volume_information(char drive, std::string& file_system, std::string& label);

    bool close();

private:
    static constexpr std::intptr_t INVALID = -1;
    std::intptr_t handle_ = INVALID;
    DriveMethod method_ = DriveMethod::device_file;
    int drive_number_ = 0;
};

}  // namespace plat

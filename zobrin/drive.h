// Drive access and the drive report of zobrin: opening a drive, disk or
// image, reading sectors with the messages of each failure, the geometry
// and the file system data of the boot sector.
#pragma once
#include <cstdint>
#include <string>

#include "platform/drive.h"

namespace zobrin {

constexpr int EXIT_DRIVE_ACCESS = 7;
constexpr int EXIT_OS_VERSION = 8;

// Sector size assumed until the device or the volume tells another.
constexpr std::uint32_t DEFAULT_SECTOR_SIZE = 512;
// The part of sector 0 the report reads.
constexpr std::size_t BOOT_SECTOR_SIZE = 512;

// The drive operand: a letter names a logical drive, a digit a physical
// disk; on POSIX a path names a device or an image and counts as a letter.
struct DriveOperand {
    char drive = 0;              // first character as typed; 0 for a path
    const char* path = nullptr;  // the device or image path, when given as one

    bool is_disk() const { return drive >= '0' && drive <= '9'; }
    // As the report prints it: the character as typed, or the path.
    std::string name() const { return path ? std::string(path) : std::string(1, drive); }
};

// Name of a media descriptor byte ("Fixed hard disk" for 0xF8).
const char* media_type_name(unsigned char media);

// True for a bytes-per-sector value that a volume can really have: a power
// of two from 512 to 4096. Anything else (0 on exFAT, damaged or unformatted
// volumes) must never become the sector size.
bool usable_sector_size(std::uint32_t size);

// The file system lines of the drive report for the first BOOT_SECTOR_SIZE
// bytes of sector 0. file_system and label are what the system reported for
// the volume (ntfs: it reported "NTFS"). sector_size becomes the boot
// sector's bytes per sector when that value is usable.
std::string volume_report(const unsigned char* boot, bool ntfs, const std::string& file_system,
                          const std::string& label, std::uint32_t& sector_size);

// The path of the device (or image) the operand names under a method.
std::string device_path(plat::DriveMethod method, const DriveOperand& operand);

// Opens the device of the operand; prints the failure.
bool open_drive(plat::Drive& drive, plat::DriveMethod method, const DriveOperand& operand);

// Reads whole sectors; prints the failure. True only when all arrived.
bool read_sectors(plat::Drive& drive, std::int64_t first_sector, std::uint32_t sector_count, std::uint32_t sector_size,
                  unsigned char* buffer);

// Prints the drive report: the geometry (device file method), then for
// letters and paths the boot sector's file system data. sector_size comes
// out as the size to read the drive with; buffer holds at least one sector.
// Returns the error level (0 or EXIT_DRIVE_ACCESS); go_on is false when the
// boot sector could not be read, which ends the program.
int drive_report(plat::Drive& drive, plat::DriveMethod method, const DriveOperand& operand, unsigned char* buffer,
                 std::uint32_t& sector_size, bool& go_on);

}  // namespace zobrin

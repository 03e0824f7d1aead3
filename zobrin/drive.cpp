#include "zobrin/drive.h"

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/file.h"
#include "platform/output.h"

namespace zobrin {
namespace {

using plat::Message;

const Message MSG_OPEN_DRIVE_FAILED = {"Open drive %s failed! (%lu/%lX)\n", "ドライブ%sが開けません! (%lu/%lX)\n"};
const Message MSG_SEEK_DRIVE_FAILED = {"Seek drive failed! (%lu/%lX)\n", "ドライブがシークできません! (%lu/%lX)\n"};
const Message MSG_READ_SECTORS_FAILED = {"Read sectors failed! (%lu/%lX)\n", "セクタが読み出せません! (%lu/%lX)\n"};
const Message MSG_READ_SIZE_DISCORD = {"Sector read size is discord! (%lu - %lu)\n",
                                       "指定したセクタサイズが読み出せません! (%lu - %lu)\n"};
const Message MSG_DRIVEINFO_FAILED = {"VWIN32_DIOC_DOS_DRIVEINFO failed! eax=%08lX\n",
                                      "VWIN32_DIOC_DOS_DRIVEINFOが失敗しました! eax=%08lX\n"};
const Message MSG_INT25_FAILED = {"VWIN32_DIOC_DOS_INT25 failed! eax=%08lX\n",
                                  "VWIN32_DIOC_DOS_INT25が失敗しました! eax=%08lX\n"};
const Message MSG_IOCTL_FAILED = {"DeviceIoControl failed! (%lu/%lX)\n", "DeviceIoControlが失敗しました! (%lu/%lX)\n"};
const Message MSG_GEOMETRY_FAILED = {"DeviceIoControl(,IOCTL_DISK_GET_DRIVE_GEOMETRY,,,,,) failed! (%lu/%lX)\n",
                                     "DeviceIoControl(,IOCTL_DISK_GET_DRIVE_GEOMETRY,,,,,)が失敗しました! (%lu/%lX)\n"};

// Fields of the boot sector, little-endian. Every read is checked against
// the part of the sector the report looks at.
class BootSector {
public:
    explicit BootSector(const unsigned char* bytes) : bytes_(bytes) {}
    std::uint64_t field(std::size_t at, std::size_t width) const {
        std::uint64_t value = 0;
        if (at + width > BOOT_SECTOR_SIZE) return 0;
        for (std::size_t i = width; i-- > 0;) value = (value << 8) | bytes_[at + i];
        return value;
    }
    unsigned long u8(std::size_t at) const { return static_cast<unsigned long>(field(at, 1)); }
    unsigned long u16(std::size_t at) const { return static_cast<unsigned long>(field(at, 2)); }
    unsigned long u32(std::size_t at) const { return static_cast<unsigned long>(field(at, 4)); }
    unsigned long long u64(std::size_t at) const { return field(at, 8); }
    // A text field of length bytes, cut at its first zero byte as a C string
    // would be.
    std::string text(std::size_t at, std::size_t length) const {
        if (at + length > BOOT_SECTOR_SIZE) return {};
        const char* start = reinterpret_cast<const char*>(bytes_) + at;
        return std::string(start, strnlen(start, length));
    }

private:
    const unsigned char* bytes_;
};

unsigned long error_code(int error) { return static_cast<unsigned long>(static_cast<unsigned>(error)); }

void print_system_error(const Message& message, int error) {
    plat::std_out().print(message, error_code(error), error_code(error));
}

// Sector size from a boot sector field, when the field is usable.
void take_sector_size(unsigned long field, std::uint32_t& sector_size) {
    if (usable_sector_size(static_cast<std::uint32_t>(field))) sector_size = static_cast<std::uint32_t>(field);
}

std::string format_line(const char* format, ...) {
    char line[512];
    va_list args;
    va_start(args, format);
    int length = std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    return std::string(line, length < 0 ? 0 : std::min<std::size_t>(static_cast<std::size_t>(length), sizeof line - 1));
}

}  // namespace

const char* media_type_name(unsigned char media) {
    switch (media) {
    case 0xF0: return "1.44/2.88Mbytes FDD";
    case 0xF8: return "Fixed hard disk";
    case 0xF9: return "720K/1.2MBytes FDD";
    case 0xFC: return "180KBytes FDD";
    case 0xFD: return "360KBytes FDD";
    case 0xFE: return "160KBytes FDD";
    case 0xFF: return "320KBytes FDD";
    default: return "Unknown media type";
    }
}

bool usable_sector_size(std::uint32_t size) { return size >= 512 && size <= 4096 && (size & (size - 1)) == 0; }

std::string volume_report(const unsigned char* bytes, bool ntfs, const std::string& file_system,
                          const std::string& label, std::uint32_t& sector_size) {
    BootSector boot(bytes);
    const char* media = media_type_name(static_cast<unsigned char>(boot.u8(21)));
    std::string report;
    if (ntfs) {
        unsigned long serial = boot.u32(72);
        report += format_line("  File System %s, Media Type %s\n", file_system.c_str(), media);
        report +=
            format_line("  Volume Serial %04lX-%04lX, Volume label %s\n", serial >> 16, serial & 0xFFFF, label.c_str());
        report +=
            format_line("  Sectors Per Cluster %u, SectorSize %hu, Total Sector counts %llu\n",
                        static_cast<unsigned>(boot.u8(13)), static_cast<unsigned short>(boot.u16(11)), boot.u64(40));
        report += format_line("  MFT start Cluser %llu, MFT Mirror start Cluster %llu\n", boot.u64(48), boot.u64(56));
        report += format_line("  Clusters Per FRS %lu, Cluster Per Index Block %lu\n", boot.u32(64), boot.u32(68));
        take_sector_size(boot.u16(11), sector_size);
        return report;
    }
    // FAT32 keeps its fields behind the larger parameter block; FAT12 and
    // FAT16 keep them earlier, the 16-bit total being 0 when it does not fit.
    const bool fat32 = boot.text(82, 3) == "FAT";
    const std::string type = boot.text(fat32 ? 82 : 54, 8);
    const std::string volume_label = boot.text(fat32 ? 71 : 43, 11);
    const unsigned long serial = boot.u32(fat32 ? 67 : 39);
    unsigned long total = fat32 ? boot.u32(32) : boot.u16(19);
    if (!fat32 && total == 0) total = boot.u32(32);
    const unsigned long fat_sectors = fat32 ? boot.u32(36) : boot.u16(22);
    if (fat32 || type.compare(0, 3, "FAT") == 0)
        report += format_line("  File System %s, Media Type %s\n", type.c_str(), media);
    else
        report += format_line("  File System is unknown assumed FAT12, Media Type %s\n", media);
    report += format_line("  Volume serial %04lX-%04lX, Volume label %s\n", serial >> 16, serial & 0xFFFF,
                          volume_label.c_str());
    report +=
        format_line("  Sector Size %hu, Total Sector counts %lu\n", static_cast<unsigned short>(boot.u16(11)), total);
    report += format_line("  FAT start sector %lu, FAT sector count %lu, FAT count %lu\n", boot.u16(14), fat_sectors,
                          boot.u8(16));
    take_sector_size(boot.u16(11), sector_size);
    return report;
}

std::string device_path(plat::DriveMethod method, const DriveOperand& operand) {
    return operand.path ? std::string(operand.path) : plat::drive_device_path(method, operand.drive);
}

bool open_drive(plat::Drive& drive, plat::DriveMethod method, const DriveOperand& operand) {
    const std::string path = device_path(method, operand);
    // The DOS services number the drives from A = 1.
    const int drive_number =
        operand.path || operand.is_disk() ? 0 : std::toupper(static_cast<unsigned char>(operand.drive)) - 64;
    if (drive.open(method, path, drive_number)) return true;
    plat::std_out().print(MSG_OPEN_DRIVE_FAILED, path.c_str(), error_code(plat::last_error()),
                          error_code(plat::last_error()));
    return false;
}

bool read_sectors(plat::Drive& drive, std::int64_t first_sector, std::uint32_t sector_count, std::uint32_t sector_size,
                  unsigned char* buffer) {
    const plat::SectorRead read = drive.read_sectors(first_sector, sector_count, sector_size, buffer);
    plat::Output& out = plat::std_out();
    switch (read.status) {
    case plat::SectorRead::ok: return true;
    case plat::SectorRead::seek_failed: print_system_error(MSG_SEEK_DRIVE_FAILED, read.error); break;
    case plat::SectorRead::read_failed: print_system_error(MSG_READ_SECTORS_FAILED, read.error); break;
    case plat::SectorRead::short_read:
        out.print(MSG_READ_SIZE_DISCORD, static_cast<unsigned long>(read.asked), static_cast<unsigned long>(read.got));
        break;
    case plat::SectorRead::dos_call_failed:
        out.print(MSG_DRIVEINFO_FAILED, static_cast<unsigned long>(read.eax));
        break;
    case plat::SectorRead::int25_failed: out.print(MSG_INT25_FAILED, static_cast<unsigned long>(read.eax)); break;
    case plat::SectorRead::ioctl_failed: print_system_error(MSG_IOCTL_FAILED, read.error); break;
    }
    return false;
}

int drive_report(plat::Drive& drive, plat::DriveMethod method, const DriveOperand& operand, unsigned char* buffer,
                 std::uint32_t& sector_size, bool& go_on) {
    plat::Output& out = plat::std_out();
    const std::string name = operand.name();
    int level = 0;
    go_on = true;
    sector_size = DEFAULT_SECTOR_SIZE;
    if (method == plat::DriveMethod::device_file) {
        plat::DriveGeometry geometry;
        switch (drive.geometry(geometry)) {
        case plat::GeometryStatus::ok:
            out.printf("Device %s\n", name.c_str());
            out.printf(" Cylinders %lld, TracksPerCylinder %lu, SectorsPerTrack %lu, BytesPerSector %lu\n",
                       static_cast<long long>(geometry.cylinders),
                       static_cast<unsigned long>(geometry.tracks_per_cylinder),
                       static_cast<unsigned long>(geometry.sectors_per_track),
                       static_cast<unsigned long>(geometry.bytes_per_sector));
            if (usable_sector_size(geometry.bytes_per_sector)) sector_size = geometry.bytes_per_sector;
            break;
        case plat::GeometryStatus::none: break;
        case plat::GeometryStatus::failed:
            print_system_error(MSG_GEOMETRY_FAILED, plat::last_error());
            level = EXIT_DRIVE_ACCESS;
            break;
        }
    }
    if (operand.is_disk()) return level;

    // Sector 0 is read whole, at the size the device was found to have: raw
    // devices refuse anything but whole sectors.
    if (!read_sectors(drive, 0, 1, sector_size, buffer)) {
        go_on = false;
        return EXIT_DRIVE_ACCESS;
    }
    out.printf("Drive %s\n", name.c_str());
    std::string file_system, label;
    bool ntfs = false;
    if (drive.volume_information(operand.drive, file_system, label)) {
        std::string upper = file_system;
        for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        ntfs = upper == "NTFS";
    }
    out.text(volume_report(buffer, ntfs, file_system, label, sector_size));
    return level;
}

}  // namespace zobrin

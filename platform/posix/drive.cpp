// Drives of the POSIX build: block devices and disk image files read with
// plain file calls. Letters and digits stand for Linux device names (see
// drive_device_path); any other device or image is named by its path.
#include "platform/drive.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/fs.h>
#include <linux/hdreg.h>
#include <sys/sysmacros.h>
#endif

#include <cerrno>
#include <cstring>
#include <fstream>
#include <vector>

#include "platform/backend.h"
#include "platform/file.h"
#include "platform/text.h"

namespace plat {
namespace {

int fd_of(std::intptr_t handle) { return static_cast<int>(handle); }

std::uint32_t le16(const unsigned char* p) { return p[0] | (p[1] << 8); }
std::uint32_t le32(const unsigned char* p) { return le16(p) | (static_cast<std::uint32_t>(le16(p + 2)) << 16); }
std::uint64_t le64(const unsigned char* p) { return le32(p) | (static_cast<std::uint64_t>(le32(p + 4)) << 32); }

bool power_of_two_between(std::uint64_t value, std::uint64_t low, std::uint64_t high) {
    return value >= low && value <= high && (value & (value - 1)) == 0;
}

// UTF-16LE text as UTF-8.
std::string utf8_from_utf16le(const unsigned char* p, std::size_t units) {
    std::string out;
    for (std::size_t i = 0; i < units; ++i) {
        std::uint32_t c = le16(p + 2 * i);
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < units) {
            std::uint32_t low = le16(p + 2 * (i + 1));
            if (low >= 0xDC00 && low < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// The label of an NTFS volume: the $VOLUME_NAME attribute (type 0x60) of
// the $Volume file, record 3 of the MFT. Every field is checked against the
// record's bounds; an unreadable or odd record gives no label.
std::string ntfs_label(std::intptr_t drive, const unsigned char* boot) {
    std::uint32_t sector_size = le16(boot + 11);
    // Clusters above 128 sectors, and records smaller than a cluster, are
    // written as negative powers of two. Sizes beyond what NTFS allows (2 MiB
    // clusters, 64 KiB records) are no NTFS.
    int spc = boot[13];
    int spc_shift = spc > 0x80 ? 256 - spc : 0;
    auto frs = static_cast<signed char>(boot[64]);
    std::uint64_t mft_cluster = le64(boot + 48);
    if (!power_of_two_between(sector_size, 256, 4096) || spc == 0 || spc_shift > 12 || frs < -16 ||
        mft_cluster > (std::uint64_t{1} << 40))
        return {};
    std::uint64_t cluster_size = (spc_shift ? std::uint64_t{1} << spc_shift : std::uint64_t(spc)) * sector_size;
    std::uint64_t record_size = frs < 0 ? std::uint64_t{1} << -frs : frs * cluster_size;
    if (cluster_size > (std::uint64_t{1} << 21) || !power_of_two_between(record_size, 256, 65536)) return {};
    std::vector<unsigned char> record(record_size);
    std::uint64_t offset = mft_cluster * cluster_size + 3 * record_size;
    if (backend::read_file_at(drive, static_cast<std::int64_t>(offset), record.data(), record.size()) !=
            static_cast<std::int64_t>(record.size()) ||
        std::memcmp(record.data(), "FILE", 4) != 0)
        return {};
    // The update sequence: the last two bytes of each 512-byte stride were
    // replaced by a check value on disk; put the saved bytes back.
    std::uint32_t usa_offset = le16(&record[4]), usa_count = le16(&record[6]);
    if (usa_count == 0 || usa_offset + 2ull * usa_count > record_size || (usa_count - 1) * 512ull > record_size)
        return {};
    for (std::uint32_t i = 1; i < usa_count; ++i) {
        unsigned char* end = &record[i * 512 - 2];
        if (std::memcmp(end, &record[usa_offset], 2) != 0) return {};
        std::memcpy(end, &record[usa_offset + 2 * i], 2);
    }
    std::size_t at = le16(&record[20]);
    while (at + 24 <= record_size) {
        std::uint32_t type = le32(&record[at]), length = le32(&record[at + 4]);
        if (type == 0xFFFFFFFF || length < 24 || length > record_size - at) break;
        if (type == 0x60 && record[at + 8] == 0) {
            std::uint32_t value_length = le32(&record[at + 16]), value_offset = le16(&record[at + 20]);
            if (value_offset > length || value_length > length - value_offset) break;
            return utf8_from_utf16le(&record[at + value_offset], value_length / 2);
        }
        at += length;
    }
    return {};
}

}  // namespace

bool backend::drive_method(DriveMethod& method) {
    method = DriveMethod::device_file;
    return true;
}

bool is_drive_path(const char* operand) { return std::strchr(operand, '/') != nullptr; }

// Letters and digits, as a PC with one disk names them: 0-9 are the whole
// disks /dev/sda to /dev/sdj; A and B the floppy drives /dev/fd0 and
// /dev/fd1; C to Z the partitions of the first disk, /dev/sda1 to /dev/sda24.
std::string drive_device_path(DriveMethod, char drive) {
    if (drive >= '0' && drive <= '9') return std::string("/dev/sd") + static_cast<char>('a' + (drive - '0'));
    char letter = ascii_upper(drive);
    if (letter == 'A' || letter == 'B') return std::string("/dev/fd") + static_cast<char>('0' + (letter - 'A'));
    return "/dev/sda" + std::to_string(letter - 'C' + 1);
}

std::string loop_backing_file(const std::string& sys_root, unsigned major, unsigned minor) {
    const std::string device = sys_root + "/dev/block/" + std::to_string(major) + ":" + std::to_string(minor);
    // A partition's folder sits inside its disk's folder.
    for (const char* place : {"/loop/backing_file", "/../loop/backing_file"}) {
        std::ifstream file(device + place);
        std::string name;
        if (std::getline(file, name) && !name.empty()) return name;
    }
    return {};
}

bool file_backs_drive(const char* path, const std::string& device_path) {
    if (same_file(path, device_path.c_str())) return true;
    struct stat device;
    if (stat(device_path.c_str(), &device) != 0 || !S_ISBLK(device.st_mode)) return false;
    const std::string backing = loop_backing_file("/sys", major(device.st_rdev), minor(device.st_rdev));
    return !backing.empty() && same_file(path, backing.c_str());
}

std::intptr_t backend::open_drive(const std::string& path) {
    // Without blocking: a FIFO or terminal named by mistake then reads as
    // empty or failing instead of waiting forever; files and disks are not
    // affected.
    int fd;
    do fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        backend::set_last_error(errno);
        return -1;
    }
    struct stat info;
    if (fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        ::close(fd);
        backend::set_last_error(EISDIR);
        return -1;
    }
    return fd;
}

// drive_method() chooses the device file method alone: nothing comes here.
void backend::read_sectors_through_dos(std::intptr_t, DriveMethod, int, std::int64_t, std::uint32_t, void*,
                                       SectorRead& result) {
    result.status = SectorRead::read_failed;
    result.error = ENOSYS;
}

GeometryStatus Drive::geometry(DriveGeometry& geometry) {
    struct stat info;
    if (fstat(fd_of(handle_), &info) != 0) {
        backend::set_last_error(errno);
        return GeometryStatus::failed;
    }
    if (!S_ISBLK(info.st_mode)) return GeometryStatus::none;
#ifdef __linux__
    std::uint64_t bytes = 0;
    int sector_size = 0;
    if (ioctl(fd_of(handle_), BLKGETSIZE64, &bytes) != 0 || ioctl(fd_of(handle_), BLKSSZGET, &sector_size) != 0 ||
        sector_size <= 0) {
        backend::set_last_error(errno);
        return GeometryStatus::failed;
    }
    // Devices without a translation of their own (loop, NVMe, most USB
    // disks) get the 255 heads of 63 sectors that PC firmware uses.
    struct hd_geometry chs = {};
    std::uint32_t heads = 255, sectors = 63;
    if (ioctl(fd_of(handle_), HDIO_GETGEO, &chs) == 0 && chs.heads != 0 && chs.sectors != 0) {
        heads = chs.heads;
        sectors = chs.sectors;
    }
    geometry.tracks_per_cylinder = heads;
    geometry.sectors_per_track = sectors;
    geometry.bytes_per_sector = static_cast<std::uint32_t>(sector_size);
    geometry.cylinders =
        static_cast<std::int64_t>(bytes / (std::uint64_t{heads} * sectors * geometry.bytes_per_sector));
    return GeometryStatus::ok;
#else
    // Other systems name their geometry calls differently: none is known.
    return GeometryStatus::none;
#endif
}

std::int64_t Drive::size() {
    struct stat info;
    if (fstat(fd_of(handle_), &info) != 0) return -1;
    if (S_ISREG(info.st_mode)) return info.st_size;
#ifdef BLKGETSIZE64
    std::uint64_t bytes = 0;
    if (S_ISBLK(info.st_mode) && ioctl(fd_of(handle_), BLKGETSIZE64, &bytes) == 0 && bytes <= INT64_MAX)
        return static_cast<std::int64_t>(bytes);
#endif
    return -1;
}

bool Drive::volume_information(char, std::string& file_system, std::string& label) {
    unsigned char boot[512];
    if (backend::read_file_at(handle_, 0, boot, sizeof boot) != static_cast<std::int64_t>(sizeof boot)) return false;
    label.clear();
    if (std::memcmp(boot + 3, "NTFS    ", 8) == 0) {
        file_system = "NTFS";
        label = ntfs_label(handle_, boot);
        return true;
    }
    // FAT labels are taken from the boot sector by the report itself.
    if (std::memcmp(boot + 82, "FAT32", 5) == 0)
        file_system = "FAT32";
    else if (std::memcmp(boot + 54, "FAT", 3) == 0)
        file_system = "FAT";
    else
        return false;
    return true;
}

}  // namespace plat

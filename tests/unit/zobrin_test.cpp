// zobrin's own routines: the range resolution and the drive report's file
// system lines for boot sectors built here.
#include "zobrin/zobrin.h"
#include "zobrin/drive.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/drive.h"
#include "support/temp_dir.h"

namespace {

using namespace zobrin;

TEST(ZobrinRange, Resolution) {
    constexpr std::int64_t NONE = INT64_MIN;  // option not given
    struct Row {
        const char* name;
        std::int64_t start, end, count;       // given values
        std::int64_t want_start, want_count;  // resolved
        std::int64_t held = -1;               // sectors the drive holds; -1: it does not tell
    } rows[] = {
        {"start alone: one sector", 0, NONE, NONE, 0, 1},
        {"end alone: from sector 0", NONE, 3, NONE, 0, 4},
        {"count alone: from sector 0", NONE, NONE, 2, 0, 2},
        {"end and count: the sectors ending at end", NONE, 9, 2, 8, 2},
        {"end and a count beyond it: from sector 0", NONE, 3, 10, 0, 4},
        {"end before start: nothing", 5, 2, NONE, 5, -2},
        {"all three: the count comes first", 0, 9, 3, 0, 3},
        {"all three: the end comes first", 4, 5, 30, 4, 2},
        {"start and count", 7, NONE, 130, 7, 130},
        {"count 0", 3, NONE, 0, 3, 0},
        {"negative count", NONE, NONE, -4, 0, 0},
        {"end below start with a count", 8, 2, 3, 8, 1},
        // An end beyond the drive is its last sector, before anything is
        // counted from it: end + 1 would wrap.
        {"largest end alone", NONE, INT64_MAX, NONE, 0, 200, 200},
        {"largest end but one", NONE, INT64_MAX - 1, NONE, 0, 200, 200},
        {"start and a far end", 190, INT64_MAX, NONE, 190, 10, 200},
        {"a far end and a count: the last sectors", NONE, INT64_MAX, 3, 197, 3, 200},
        {"an end within the drive stays", NONE, 9, NONE, 0, 10, 200},
        {"start beyond the drive, far end: nothing", 300, INT64_MAX, NONE, 300, 0, 200},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SectorRange range;
        if (row.start != NONE) range.start = row.start, range.start_given = true;
        if (row.end != NONE) range.end = row.end, range.end_given = true;
        if (row.count != NONE) range.count = row.count, range.count_given = true;
        resolve_range(range, row.held);
        EXPECT_EQ(range.start, row.want_start);
        if (row.want_count >= 1)
            EXPECT_EQ(range.count, row.want_count);
        else
            EXPECT_LT(range.count, 1);
        // Whatever is dumped lies within start..end.
        if (range.count >= 1) {
            EXPECT_LE(range.start + range.count - 1, range.end);
        }
    }
}

TEST(ZobrinReport, SectorSizes) {
    for (std::uint32_t size : {512u, 1024u, 2048u, 4096u}) EXPECT_TRUE(usable_sector_size(size)) << size;
    for (std::uint32_t size : {0u, 1u, 256u, 511u, 520u, 768u, 8192u, 65535u})
        EXPECT_FALSE(usable_sector_size(size)) << size;
}

// A boot sector of 512 zero bytes, filled in by the cases.
struct Boot {
    unsigned char bytes[BOOT_SECTOR_SIZE] = {};
    Boot& put(std::size_t at, std::uint64_t value, int width) {
        for (int i = 0; i < width; ++i) bytes[at + i] = static_cast<unsigned char>(value >> (8 * i));
        return *this;
    }
    Boot& text(std::size_t at, const char* text) {
        std::memcpy(bytes + at, text, std::strlen(text));
        return *this;
    }
};

// FAT16 layout: 512-byte sectors, 4 reserved, 2 FATs of 40 sectors.
Boot fat16(unsigned char media) {
    Boot boot;
    boot.put(11, 512, 2).put(14, 4, 2).put(16, 2, 1).put(19, 40000, 2).put(21, media, 1).put(22, 40, 2);
    boot.put(39, 0x1234ABCD, 4).text(43, "LABEL16    ").text(54, "FAT16   ");
    return boot;
}

std::string report(const Boot& boot, bool ntfs = false, std::uint32_t* size = nullptr, const std::string& label = "") {
    std::uint32_t sector_size = 512;
    std::string text = volume_report(boot.bytes, ntfs, ntfs ? "NTFS" : "FAT", label, sector_size);
    if (size) *size = sector_size;
    return text;
}

TEST(ZobrinReport, MediaTypes) {
    const struct {
        unsigned char media;
        const char* name;
    } rows[] = {
        {0xF0, "1.44/2.88Mbytes FDD"}, {0xF8, "Fixed hard disk"},    {0xF9, "720K/1.2MBytes FDD"},
        {0xFC, "180KBytes FDD"},       {0xFD, "360KBytes FDD"},      {0xFE, "160KBytes FDD"},
        {0xFF, "320KBytes FDD"},       {0x00, "Unknown media type"}, {0xFA, "Unknown media type"},
        {0xF1, "Unknown media type"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_STREQ(media_type_name(row.media), row.name);
        EXPECT_EQ(report(fat16(row.media)), std::string("  File System FAT16   , Media Type ") + row.name +
                                                "\n"
                                                "  Volume serial 1234-ABCD, Volume label LABEL16    \n"
                                                "  Sector Size 512, Total Sector counts 40000\n"
                                                "  FAT start sector 4, FAT sector count 40, FAT count 2\n");
    }
}

TEST(ZobrinReport, Layouts) {
    Boot total_at_32 = fat16(0xF8);
    total_at_32.put(19, 0, 2).put(32, 0x00123456, 4);

    Boot unknown = fat16(0xF0);
    unknown.text(54, "EXFAT   ");

    Boot fat32;
    fat32.put(11, 512, 2).put(14, 32, 2).put(16, 2, 1).put(19, 1234, 2).put(21, 0xF8, 1);
    fat32.put(32, 140000, 4).put(36, 1077, 4).put(67, 0xCAFE0001, 4).text(71, "BIG32      ").text(82, "FAT32   ");
    // The FAT12/16 fields of a FAT32 sector hold other data: they must not show.
    fat32.put(22, 0, 2).text(43, "OTHER").text(54, "XXXX");

    Boot ntfs;
    ntfs.text(3, "NTFS    ").put(11, 512, 2).put(13, 8, 1).put(21, 0xF8, 1).put(40, 0x1234567890ull, 8);
    ntfs.put(48, 4, 8).put(56, 2047, 8).put(64, 0xF6, 4).put(68, 1, 4).put(72, 0x6F32D5BD, 4);

    // Fields that end early: a zero byte cuts the text as it would in C.
    Boot short_texts = fat16(0xF8);
    short_texts.text(43, "AB").put(45, 0, 1).text(46, "CD").text(54, "FAT").put(57, 0, 5);

    struct Row {
        const char* name;
        Boot boot;
        bool ntfs;
        std::string want;
    } rows[] = {
        {"FAT16 total 0 at 19: the 32-bit total", total_at_32, false,
         "  File System FAT16   , Media Type Fixed hard disk\n"
         "  Volume serial 1234-ABCD, Volume label LABEL16    \n"
         "  Sector Size 512, Total Sector counts 1193046\n"
         "  FAT start sector 4, FAT sector count 40, FAT count 2\n"},
        {"unknown type", unknown, false,
         "  File System is unknown assumed FAT12, Media Type 1.44/2.88Mbytes FDD\n"
         "  Volume serial 1234-ABCD, Volume label LABEL16    \n"
         "  Sector Size 512, Total Sector counts 40000\n"
         "  FAT start sector 4, FAT sector count 40, FAT count 2\n"},
        {"FAT32", fat32, false,
         "  File System FAT32   , Media Type Fixed hard disk\n"
         "  Volume serial CAFE-0001, Volume label BIG32      \n"
         "  Sector Size 512, Total Sector counts 140000\n"
         "  FAT start sector 32, FAT sector count 1077, FAT count 2\n"},
        {"NTFS: no FAT lines", ntfs, true,
         "  File System NTFS, Media Type Fixed hard disk\n"
         "  Volume Serial 6F32-D5BD, Volume label Data\n"
         "  Sectors Per Cluster 8, SectorSize 512, Total Sector counts 78187493520\n"
         "  MFT start Cluser 4, MFT Mirror start Cluster 2047\n"
         "  Clusters Per FRS 246, Cluster Per Index Block 1\n"},
        {"texts cut at a zero byte", short_texts, false,
         "  File System FAT, Media Type Fixed hard disk\n"
         "  Volume serial 1234-ABCD, Volume label AB\n"
         "  Sector Size 512, Total Sector counts 40000\n"
         "  FAT start sector 4, FAT sector count 40, FAT count 2\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(report(row.boot, row.ntfs, nullptr, "Data"), row.want);
    }
}

TEST(ZobrinReport, SectorSizeFromTheBootSectorOnlyWhenUsable) {
    const struct {
        std::uint32_t field;
        bool ntfs;
        std::uint32_t want;
    } rows[] = {
        {4096, false, 4096}, {1024, true, 1024}, {0, false, 512},  {0, true, 512},
        {520, false, 512},   {8192, false, 512}, {256, true, 512}, {0xFFFF, false, 512},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.field);
        Boot boot = fat16(0xF8);
        boot.put(11, row.field, 2);
        if (row.ntfs) boot.text(3, "NTFS    ");
        std::uint32_t size = 0;
        report(boot, row.ntfs, &size);
        EXPECT_EQ(size, row.want);
    }
}

// The file a loop device reads from, found in a sysfs tree built here as
// Linux lays it out: /sys/dev/block/MAJOR:MINOR, a partition's folder
// inside its disk's.
TEST(ZobrinDrive, LoopBackingFile) {
    if (!plat::is_drive_path("/dev/loop0")) GTEST_SKIP() << "drives are letters here: no loop devices";
    testsupport::TempDir sys;
    namespace fs = std::filesystem;
    const fs::path block = fs::path(sys.path()) / "dev" / "block";
    fs::create_directories(block / "7:0" / "loop");
    fs::create_directories(block / "7:0" / "loop0p1");
    fs::create_directory_symlink("7:0/loop0p1", block / "259:1");
    std::ofstream(block / "7:0" / "loop" / "backing_file") << "/images/disk image.img\n";
    fs::create_directories(block / "7:1" / "loop");
    std::ofstream(block / "7:1" / "loop" / "backing_file") << "";  // a loop device not set up
    fs::create_directories(block / "8:0" / "queue");               // a disk
    const struct {
        const char* name;
        unsigned major, minor;
        const char* want;
    } rows[] = {
        {"loop device", 7, 0, "/images/disk image.img"},
        {"partition of a loop device", 259, 1, "/images/disk image.img"},
        {"loop device without a file", 7, 1, ""},
        {"other disk", 8, 0, ""},
        {"unknown device", 9, 9, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(plat::loop_backing_file(sys.path(), row.major, row.minor), row.want);
    }
}

}  // namespace

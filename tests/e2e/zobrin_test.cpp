// zobrin run as a process on disk images: the whole drive report, sector
// dumps compared with the image's bytes, raw output, every failure.
//
// On POSIX an image is named by its path ("./disk.img"). The Windows build
// runs under Wine, where a drive letter is pointed at the image through the
// prefix's dosdevices links ("y::" to the image for raw reads, "y:" to its
// folder for the volume calls); Wine's drives answer no geometry query, so
// there every report starts with that failure and ends with level 7.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/dump_lines.h"
#include "support/files.h"
#include "support/process.h"
#include "support/temp_dir.h"
#include "support/text.h"
#include "support/tool_test.h"

namespace {

using namespace testsupport;

const char HELP_ENGLISH[] =
    "Disk dump program  Version 1.00\n"
    "       Copyright (C) 2008. All rights reserved.\n"
    "Usage:\n"
    "       ZOBRIN drive [/S:[0x]start_sector] [/E:[0x]end_sector]\n"
    "                  [/C:[0x]sector_count] [/T[:outfilename]] [/M[:lines]\n"
    "       drive : 0-9,A-Z\n"
    "Option:\n"
    "       /S --- specify dump start sector\n"
    "       /E --- specify dump end sector\n"
    "       /C --- specify dump sector count\n"
    "       /T --- dump data output file (default:CON)\n"
    "       /M --- pause after display specified `lines' (default:24)\n"
    "Remark:\n"
    "       start_sector, end_sector, sector_count can be a value or formula with\n"
    "       operator + - * / ( ), value can be decimal or hexa(need prefix`0x')\n"
    "       scroll stop/continue by any key except ESC, stop every 24 lines by space\n"
    "ErrorLevel:\n"
    "       0 --- no error\n"
    "       1 --- missing arguments\n"
    "       2 --- invalid arguments\n"
    "       3 --- operation canceled by typing ESC\n"
    "       4 --- insufficent memory\n"
    "       5 --- file access error\n"
    "       7 --- drive access error\n"
    "       8 --- get OS version error\n";

const char HELP_JAPANESE[] =
    "ディスクダンププログラム  Version 1.00\n"
    "       Copyright (C) 2008. All rights reserved.\n"
    "使用方法:\n"
    "       ZOBRIN drive [/S:[0x]開始セクタ] [/E:[0x]終了セクタ]\n"
    "                  [/C:[0x]セクタ数] [/T[:出力ファイル]] [/M[:行数]\n"
    "       drive : 0-9,A-Z\n"
    "オプション:\n"
    "       /S --- ダンプ開始セクタ番号\n"
    "       /E --- ダンプ終了セクタ番号\n"
    "       /C --- ダンプセクタ数\n"
    "       /T --- ダンプデータ出力ファイル (省略時:CON)\n"
    "       /M --- 指定した行数(省略時:24)表示する毎に停止しキー入力を待つ\n"
    "注意:\n"
    "       開始位置,終了位置,データ数は数値もしくは()を含む四則演算式\n"
    "           数値は10進数または0xをつけた16進数\n"
    "エラーレベル:\n"
    "       0 --- エラー無し\n"
    "       1 --- パラメータが足りない\n"
    "       2 --- パラメータが不正\n"
    "       3 --- ESCキー入力による中止\n"
    "       4 --- メモリ確保失敗\n"
    "       5 --- ファイルアクセスエラー\n"
    "       7 --- ドライブアクセスエラー\n"
    "       8 --- OSバージョン取得エラー\n";

// The FAT16 lines of the boot sector of sample_image().
const char SAMPLE_REPORT[] =
    "  File System FAT16   , Media Type Fixed hard disk\n"
    "  Volume serial 2008-0701, Volume label SAMPLE     \n"
    "  Sector Size 512, Total Sector counts 200\n"
    "  FAT start sector 4, FAT sector count 3, FAT count 2\n";

constexpr int SAMPLE_SECTORS = 200;

void put_le(std::string& data, std::size_t at, std::uint64_t value, int width) {
    for (int i = 0; i < width; ++i) data[at + i] = static_cast<char>(value >> (8 * i));
}

// A FAT16 boot sector over noise: 200 sectors of 512 bytes.
std::string sample_image(std::uint32_t bytes_per_sector = 512) {
    std::string data = pseudo_random(SAMPLE_SECTORS * 512, 11);
    put_le(data, 11, bytes_per_sector, 2);
    put_le(data, 14, 4, 2);
    put_le(data, 16, 2, 1);
    put_le(data, 19, SAMPLE_SECTORS, 2);
    put_le(data, 21, 0xF8, 1);
    put_le(data, 22, 3, 2);
    put_le(data, 39, 0x20080701, 4);
    data.replace(43, 11, "SAMPLE     ");
    data.replace(54, 8, "FAT16   ");
    return data;
}

// SAMPLE_REPORT for a boot sector whose bytes-per-sector field is field.
std::string sample_report(std::uint32_t field) {
    std::string report = SAMPLE_REPORT;
    report.replace(report.find("Size 512"), 8, "Size " + std::to_string(static_cast<unsigned short>(field)));
    return report;
}

// Hex dump lines of count sectors from first, with zobrin's addresses:
// sector number and the position in the sector.
std::string sector_lines(const std::string& image, std::int64_t first, std::int64_t count,
                         std::uint32_t sector_size = 512) {
    const std::string lines = dump_lines(image, first * sector_size, (first + count) * sector_size);
    std::string out;
    for (std::size_t pos = 0; pos < lines.size();) {
        std::size_t end = lines.find('\n', pos) + 1;
        std::uint64_t address = std::stoull(lines.substr(pos, 12), nullptr, 16);
        char text[32];
        std::snprintf(text, sizeof text, "%08llX/%03llX", static_cast<unsigned long long>(address / sector_size),
                      static_cast<unsigned long long>(address % sector_size));
        out += text + lines.substr(pos + 12, end - pos - 12);
        pos = end;
    }
    return out;
}

bool windows_build() {
    const std::string path = program_path("zobrin");
    return path.size() > 4 && path.compare(path.size() - 4, 4, ".exe") == 0;
}

const char WINE_DOSDEVICES[] = "${WINEPREFIX:-$HOME/.wine}/dosdevices/";

class Zobrin : public ToolTest {
protected:
    Zobrin() : ToolTest("zobrin") {}
    void TearDown() override {
        if (mapped_) shell(std::string("rm -f ") + WINE_DOSDEVICES + "y:: " + WINE_DOSDEVICES + "y:");
    }

    RunResult zobrin(const std::vector<std::string>& args, std::vector<std::string> env = {}) {
        return tool(args, std::move(env));
    }
    // Runs a POSIX shell command in the test's folder; true when it
    // succeeded. Under Wine too: Wine starts host programs in the host path
    // of the current folder, but gives no handle to wait on, so the command
    // leaves its status in a file that is waited for.
    bool shell(const std::string& command) {
        const std::string status_file = dir.file("shell.status");
        std::remove(status_file.c_str());
        RunOptions options;
        options.cwd = dir.path();
        run(native_path("/bin/sh"),
            {"-c", "PATH=$PATH:/usr/sbin:/sbin; (" + command +
                       ") >/dev/null 2>&1; echo $? >shell.tmp && mv shell.tmp shell.status"},
            options);
        for (int wait = 0; wait < 1200 && !file_exists(status_file); ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const std::string status = read_file(status_file);
        std::remove(status_file.c_str());
        return status == "0\n";
    }
    // The operand that names the image: its path on POSIX, drive Y under Wine.
    std::string drive(const std::string& image) {
        if (!windows_build()) return "./" + image;
        const std::string links = WINE_DOSDEVICES;
        mapped_ = shell("ln -sfn $PWD/" + image + " " + links + "y:: && ln -sfn $PWD " + links + "y:");
        EXPECT_TRUE(mapped_) << "no Wine drive mapping";
        return "y";
    }
    // What the report of an image starts with: nothing on POSIX (an image
    // file has no geometry), the failed geometry query under Wine.
    static std::string geometry_line() {
        return windows_build() ? "DeviceIoControl(,IOCTL_DISK_GET_DRIVE_GEOMETRY,,,,,) failed! (50/32)\n" : "";
    }
    // What the report prints before the file system lines.
    static std::string report_head(const std::string& operand) { return geometry_line() + "Drive " + operand + "\n"; }
    // The level of a run that fails in no other way.
    int clean_exit() const { return windows_build() ? 7 : 0; }

    bool mapped_ = false;
};

TEST_F(Zobrin, ArgumentErrors) {
    const std::vector<Row> rows = {
        {"no arguments", {}, HELP_ENGLISH, 1},
        {"options only", {"/M", "/S:1"}, HELP_ENGLISH, 1},
        {"start formula: no text in English", {"c", "/S:1+"}, "Invalid start_sector formula!\n", 2},
        {"end formula", {"c", "/e:abc"}, "Invalid end_sector formula!\n", 2},
        {"count formula", {"/C:()", "c"}, "Invalid sector_count formula!\n", 2},
        {"0x at the end", {"c", "/S:0x"}, "Invalid start_sector formula!\n", 2},
        {"formula error without a drive", {"/c:1,5"}, "Invalid sector_count formula!\n", 2},
        {"the first error ends parsing", {"/S:x", "/E:y", "c"}, "Invalid start_sector formula!\n", 2},
        {"an unknown option is no drive", {"/X"}, "Invalid drive!\n", 2},
        {"/S without colon", {"/S", "c"}, "Invalid drive!\n", 2},
        {"punctuation", {"-c"}, "Invalid drive!\n", 2},
        {"a non-ASCII first byte", {"\xC3\xA9"}, "Invalid drive!\n", 2},
        {"OS version query fails first",
         {"c", "/S:x"},
         "Get Windows Version failed! (5/5)\n",
         8,
         {"SUITE_FAULTS=version:1:5"}},
    };
    check(rows);
}

TEST_F(Zobrin, Japanese) {
    for (const char* locale : {"ja_JP.UTF-8", "ja_JP.SJIS"}) {
        SCOPED_TRACE(locale);
        const std::string lc_all = std::string("LC_ALL=") + locale;
        const struct {
            std::vector<std::string> args;
            const char* out;
            int exit_code;
        } rows[] = {
            {{}, HELP_JAPANESE, 1},
            {{"c", "/S:1+"}, "開始セクタの計算式 1+ が正しくありません!\n", 2},
            {{"c", "/E:0x"}, "終了セクタの計算式 0x が正しくありません!\n", 2},
            {{"c", "/C:(2"}, "セクタ数の計算式 (2 が正しくありません!\n", 2},
            {{"/X"}, "ドライブ指定が正しくありません!\n", 2},
        };
        for (const auto& row : rows) {
            RunResult result = zobrin(row.args, {lc_all});
            EXPECT_EQ(result.out, with_line_ends(japanese_output(row.out, locale)));
            EXPECT_EQ(result.exit_code, row.exit_code);
        }
    }
}

TEST_F(Zobrin, DriveLettersAndDisks) {
    // Which device a letter or digit opens; the open is made to fail so
    // that no real disk is touched.
    const bool windows = windows_build();
    const std::vector<std::string> fail_open = {"SUITE_FAULTS=open:1:2"};
    const std::vector<Row> rows = {
        {"letter, lower case",
         {"c"},
         std::string("Open drive ") + (windows ? "\\\\.\\C:" : "/dev/sda1") + " failed! (2/2)\n",
         7,
         fail_open},
        {"only the first character counts",
         {"Dx", "e"},
         std::string("Open drive ") + (windows ? "\\\\.\\D:" : "/dev/sda2") + " failed! (2/2)\n",
         7,
         fail_open},
        {"floppy",
         {"a"},
         std::string("Open drive ") + (windows ? "\\\\.\\A:" : "/dev/fd0") + " failed! (2/2)\n",
         7,
         fail_open},
        {"disk digit",
         {"/S:0", "0"},
         std::string("Open drive ") + (windows ? "\\\\.\\PHYSICALDRIVE0" : "/dev/sda") + " failed! (2/2)\n",
         7,
         fail_open},
        {"last disk digit",
         {"9"},
         std::string("Open drive ") + (windows ? "\\\\.\\PHYSICALDRIVE9" : "/dev/sdj") + " failed! (2/2)\n",
         7,
         fail_open},
    };
    check(rows);
}

TEST_F(Zobrin, ReportsOfFormattedImages) {
    struct Image {
        const char* name;
        const char* make;
        std::string report;
    } images[] = {
        {"f12.img", "mkfs.fat -C -F 12 -i 1234ABCD -n FLOPPY f12.img 1440",
         "  File System FAT12   , Media Type 1.44/2.88Mbytes FDD\n"
         "  Volume serial 1234-ABCD, Volume label FLOPPY     \n"
         "  Sector Size 512, Total Sector counts 2880\n"
         "  FAT start sector 1, FAT sector count 9, FAT count 2\n"},
        {"f16.img", "mkfs.fat -C -F 16 -s 1 -i 0BAD0F16 -n DATA16 f16.img 4200",
         "  File System FAT16   , Media Type Fixed hard disk\n"
         "  Volume serial 0BAD-0F16, Volume label DATA16     \n"
         "  Sector Size 512, Total Sector counts 8384\n"
         "  FAT start sector 1, FAT sector count 33, FAT count 2\n"},
        {"f32.img", "mkfs.fat -C -F 32 -s 1 -i 32323232 -n BIG32 f32.img 34000",
         "  File System FAT32   , Media Type Fixed hard disk\n"
         "  Volume serial 3232-3232, Volume label BIG32      \n"
         "  Sector Size 512, Total Sector counts 68000\n"
         "  FAT start sector 32, FAT sector count 523, FAT count 2\n"},
    };
    for (const Image& image : images) {
        SCOPED_TRACE(image.name);
        if (!shell(image.make)) GTEST_SKIP() << "mkfs.fat (dosfstools) is not installed";
        const std::string operand = drive(image.name);
        RunResult result = zobrin({operand});
        EXPECT_EQ(result.out, with_line_ends(report_head(operand) + image.report));
        EXPECT_EQ(result.exit_code, clean_exit());
        // The boot sector dumped is the image's first sector.
        result = zobrin({operand, "/S:0"});
        EXPECT_EQ(result.out,
                  with_line_ends(report_head(operand) + image.report + sector_lines(get(image.name), 0, 1)));
    }
}

TEST_F(Zobrin, ReportOfNtfsImage) {
    // Wine tells the volume calls no NTFS from an image: it is read as FAT.
    if (windows_build()) GTEST_SKIP() << "Wine reports no NTFS file system for a mapped image";
    if (!shell("truncate -s 8M n.img && mkntfs -F -q -L NtfsVol n.img"))
        GTEST_SKIP() << "mkntfs (ntfs-3g) is not installed";
    const std::string image = get("n.img");
    char serial[16];
    std::snprintf(serial, sizeof serial, "%02X%02X-%02X%02X", static_cast<unsigned char>(image[75]),
                  static_cast<unsigned char>(image[74]), static_cast<unsigned char>(image[73]),
                  static_cast<unsigned char>(image[72]));
    RunResult result = zobrin({"./n.img"});
    EXPECT_EQ(result.out,
              "Drive ./n.img\n"
              "  File System NTFS, Media Type Fixed hard disk\n"
              "  Volume Serial " +
                  std::string(serial) +
                  ", Volume label NtfsVol\n"
                  "  Sectors Per Cluster 8, SectorSize 512, Total Sector counts 16383\n"
                  "  MFT start Cluser 4, MFT Mirror start Cluster 1023\n"
                  "  Clusters Per FRS 246, Cluster Per Index Block 1\n");
    EXPECT_EQ(result.exit_code, 0);
}

TEST_F(Zobrin, Dumps) {
    const std::string image = sample_image();
    put("data.img", image);
    const std::string d = drive("data.img");
    const std::string head = report_head(d) + SAMPLE_REPORT;
    const int ok = clean_exit();
    const std::vector<Row> rows = {
        {"no range: the report only", {d}, head, ok},
        {"start alone: one sector", {d, "/S:0"}, head + sector_lines(image, 0, 1), ok},
        {"end alone", {d, "/E:3"}, head + sector_lines(image, 0, 4), ok},
        {"count alone", {"/C:2", d}, head + sector_lines(image, 0, 2), ok},
        {"end and count", {d, "/E:9", "/C:2"}, head + sector_lines(image, 8, 2), ok},
        {"end before start: nothing", {d, "/S:5", "/E:2"}, head, ok},
        {"count 0: nothing", {d, "/S:5", "/C:0"}, head, ok},
        {"count comes first", {d, "/S:0", "/E:9", "/C:3"}, head + sector_lines(image, 0, 3), ok},
        {"more than 64 sectors", {d, "/S:3", "/C:130"}, head + sector_lines(image, 3, 130), ok},
        {"to the last sector", {d, "/S:190", "/E:199"}, head + sector_lines(image, 190, 10), ok},
        // An end beyond the drive is its last sector: nothing wraps, nothing
        // fails after the dump.
        {"the largest end", {d, "/E:0x7FFFFFFFFFFFFFFF"}, head + sector_lines(image, 0, 200), ok},
        {"the largest end but one", {d, "/E:0x7FFFFFFFFFFFFFFE"}, head + sector_lines(image, 0, 200), ok},
        {"a start and a far end", {d, "/S:190", "/E:0x7FFFFFFFFFFFFFFF"}, head + sector_lines(image, 190, 10), ok},
        {"formulas, lower case", {d, "/s:0x10*2", "/c:(3+1)"}, head + sector_lines(image, 32, 4), ok},
        {"0x and a blank", {d, "/S:0x 5"}, head + sector_lines(image, 5, 1), ok},
        {"0x and a sign", {d, "/S:0x+5"}, head + sector_lines(image, 10, 1), ok},
        {"/M without a keyboard never stops", {d, "/S:1", "/M:2"}, head + sector_lines(image, 1, 1), ok},
        {"a second drive is ignored", {d, "c", "/S:2"}, head + sector_lines(image, 2, 1), ok},
        {"past the end: a failure, nothing passed off as data",
         {d, "/S:198", "/C:5"},
         head + "Sector read size is discord! (2560 - 1024)\n",
         7},
        {"the block that reaches past the end is not shown",
         {d, "/S:100", "/C:140"},
         head + sector_lines(image, 100, 64) + "Sector read size is discord! (32768 - 18432)\n",
         7},
    };
    check(rows);
}

TEST_F(Zobrin, SectorSize) {
    const struct {
        const char* name;
        std::uint32_t field;
        std::uint32_t size;  // the size the dump goes by
    } rows[] = {
        {"4096 from the boot sector", 4096, 4096},
        {"0 (unformatted, exFAT): 512", 0, 512},
        {"not a power of two: 512", 520, 512},
        {"too large: 512", 0x8000, 512},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string image = sample_image(row.field);
        put("data.img", image);
        const std::string d = drive("data.img");
        RunResult result = zobrin({d, "/S:1", "/C:2"});
        EXPECT_EQ(result.out,
                  with_line_ends(report_head(d) + sample_report(row.field) + sector_lines(image, 1, 2, row.size)));
        EXPECT_EQ(result.exit_code, clean_exit());
    }
}

TEST_F(Zobrin, RawOutput) {
    const std::string image = sample_image();
    put("data.img", image);
    put("out.bin", std::string(100000, 'x'));  // truncated by the run
    const std::string d = drive("data.img");
    const std::string head = with_line_ends(report_head(d) + SAMPLE_REPORT);

    RunResult result = zobrin({d, "/S:3", "/C:130", "/T:out.bin"});
    EXPECT_EQ(result.out, head);
    EXPECT_EQ(result.exit_code, clean_exit());
    EXPECT_EQ(get("out.bin"), image.substr(3 * 512, 130 * 512));

    // Nothing to write: the output file is neither created nor emptied.
    put("kept.bin", "kept");
    result = zobrin({d, "/t:kept.bin", "/S:5", "/E:2"});
    EXPECT_EQ(result.exit_code, clean_exit());
    EXPECT_EQ(get("kept.bin"), "kept");
    result = zobrin({d, "/t:none.bin", "/S:5", "/E:2"});
    EXPECT_FALSE(file_exists(dir.file("none.bin")));

    // Redirected, the console gets the bytes unchanged.
    result = zobrin({d, "/TYPE", "/E:9", "/C:2", "/M:1"});
    EXPECT_EQ(result.out, head + image.substr(8 * 512, 2 * 512));
    EXPECT_EQ(result.exit_code, clean_exit());
}

TEST_F(Zobrin, OutputIntoTheImageIsRefused) {
    if (windows_build()) GTEST_SKIP() << "the Windows build names drives, not image files";
    const std::string image = sample_image();
    put("data.img", image);
    check({
        {"same name", {"./data.img", "/S:0", "/T:data.img"}, "Output file data.img is the dumped drive itself!\n", 2},
        {"another path",
         {"/T:../" + dir.path().substr(dir.path().rfind('/') + 1) + "/data.img", "./data.img"},
         "Output file ../" + dir.path().substr(dir.path().rfind('/') + 1) + "/data.img is the dumped drive itself!\n",
         2},
    });
    EXPECT_EQ(get("data.img"), image);
    // The output file is touched only once there are sectors for it.
    put("kept.bin", "kept");
    check({{"drive that cannot be opened",
            {"./missing.img", "/S:0", "/T:kept.bin"},
            "Open drive ./missing.img failed! (2/2)\n",
            7}});
    EXPECT_EQ(get("kept.bin"), "kept");
}

TEST_F(Zobrin, OutputGone) {
    check_output_gone({
        {"endless dump", {"/dev/zero", "/C:0x7FFFFFFFFFFFFFFF"}, "", 5},
        {"endless raw output", {"/dev/zero", "/C:0x7FFFFFFFFFFFFFFF", "/T"}, "", 5},
    });
}

TEST_F(Zobrin, BlockDeviceGeometry) {
    // A loop device over the image: the geometry line, then the report; the
    // device's sector size is the size sector 0 and the dump are read with.
    if (windows_build()) GTEST_SKIP() << "Wine's drives answer no geometry query";
    for (std::uint32_t sector_size : {512u, 4096u}) {
        SCOPED_TRACE(sector_size);
        const std::string image = sample_image(sector_size);
        put("data.img", image);
        if (!shell("losetup -f --show --sector-size " + std::to_string(sector_size) + " data.img >loop.txt"))
            GTEST_SKIP() << "no loop device (needs root and loop support)";
        std::string device = get("loop.txt");
        device.resize(device.find('\n'));
        RunResult result = zobrin({device, "/S:1"});
        // The image the loop device reads is no output.
        RunResult refused = zobrin({device, "/S:0", "/T:./data.img"});
        shell("losetup -d " + device);
        EXPECT_EQ(refused.out, "Output file ./data.img is the dumped drive itself!\n");
        EXPECT_EQ(refused.exit_code, 2);
        EXPECT_EQ(get("data.img"), image);
        EXPECT_EQ(result.out, "Device " + device + "\n" +
                                  " Cylinders 0, TracksPerCylinder 255, SectorsPerTrack 63, BytesPerSector " +
                                  std::to_string(sector_size) + "\nDrive " + device + "\n" +
                                  sample_report(sector_size) + sector_lines(image, 1, 1, sector_size));
        EXPECT_EQ(result.exit_code, 0);
    }
}

TEST_F(Zobrin, Failures) {
    const std::string image = sample_image();
    put("data.img", image);
    put("empty.img", "");
    const std::string d = drive("data.img");
    const std::string head = report_head(d) + SAMPLE_REPORT;
    const std::vector<Row> rows = {
        {"no memory for the buffer", {d, "/S:0"}, "Out of memory!\n", 4, {"SUITE_FAULTS=alloc:1:5"}},
        // After the report: the output is created when the first sectors are read.
        {"output into a missing folder",
         {d, "/S:0", "/T:nodir/out.bin"},
         head + "Open output file nodir/out.bin failed!\n",
         5},
        {"opening the drive",
         {d},
         "Open drive " + std::string(windows_build() ? "\\\\.\\Y:" : "./data.img") + " failed! (5/5)\n",
         7,
         {"SUITE_FAULTS=open:1:5"}},
        {"reading the boot sector",
         {d, "/S:0"},
         geometry_line() + "Read sectors failed! (5/5)\n",
         7,
         {"SUITE_FAULTS=read:1:5"}},
        {"short boot sector read",
         {d, "/S:0"},
         geometry_line() + "Sector read size is discord! (512 - 256)\n",
         7,
         {"SUITE_FAULTS=read:1:short"}},
        {"positioning for the boot sector",
         {d},
         geometry_line() + "Seek drive failed! (5/5)\n",
         7,
         {"SUITE_FAULTS=seek:1:5"}},
        {"reading the second block",
         {d, "/S:0", "/C:65"},
         head + sector_lines(image, 0, 64) + "Read sectors failed! (5/5)\n",
         7,
         {"SUITE_FAULTS=read:3:5"}},
        {"positioning for the dump", {d, "/S:7"}, head + "Seek drive failed! (5/5)\n", 7, {"SUITE_FAULTS=seek:2:5"}},
        {"a negative sector",
         {d, "/S:-1"},
         head + (windows_build() ? "Seek drive failed! (131/83)\n" : "Seek drive failed! (22/16)\n"),
         7},
        {"short write to the output file",
         {d, "/S:0", "/T:out.bin"},
         head + "Write output file out.bin failed!\n",
         5,
         {"SUITE_FAULTS=write:1:short"}},
        // A failed close is told, but an earlier failure keeps its level.
        {"closing the output file",
         {d, "/S:0", "/T:out.bin"},
         head + "Write output file out.bin failed!\n",
         windows_build() ? 7 : 5,
         {"SUITE_FAULTS=close:1:5"}},
        {"closing the drive",
         {d, "/S:1"},
         head + sector_lines(image, 1, 1) + "Close drive " + d + ": failed!\n",
         7,
         {"SUITE_FAULTS=close:1:5"}},
    };
    check(rows);
}

TEST_F(Zobrin, EmptyImage) {
    put("empty.img", "");
    const std::string d = drive("empty.img");
    check({{"nothing to read: the report ends at the boot sector",
            {d, "/S:0"},
            geometry_line() + "Sector read size is discord! (512 - 0)\n",
            7}});
}

}  // namespace

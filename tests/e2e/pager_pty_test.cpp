// The pager of holmic, nevrik and zobrin at a terminal: page stops, the
// space bar, other keys and ESC, typed through a pseudo-terminal. Each row
// waits for every screen of its steps, checks that nothing more shows, types
// the step's keys, then compares the whole screen and the exit code.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "support/dump_lines.h"
#include "support/pty_tool_test.h"

namespace {

using namespace testsupport;

// The hex dump of bytes [from, to) of an image, as zobrin shows it after its
// report: sector/offset addresses.
std::string sector_dump(const std::string& image, std::size_t from, std::size_t to) {
    std::string lines = dump_lines(image, from, to), out;
    for (std::size_t pos = 0; pos < lines.size();) {
        std::size_t end = lines.find('\n', pos) + 1;
        unsigned long long address = std::stoull(lines.substr(pos, 12), nullptr, 16);
        char text[32];
        std::snprintf(text, sizeof text, "%08llX/%03llX", address / 512, address % 512);
        out += text + lines.substr(pos + 12, end - pos - 12);
        pos = end;
    }
    return out;
}

// zobrin's operand for the image disk.img in the test's folder: its path,
// or under Wine drive X (the Windows build names drives), which ImageDrive
// points at it.
const std::string IMAGE = terminal_under_wine() ? "x" : "./disk.img";

// Under Wine, while it lives, drive X is the image disk.img in dir, if there
// is one: the prefix's link "x::" to the image for raw reads, "x:" to its
// folder for the volume calls. (The Windows build's own zobrin tests use Y.)
class ImageDrive {
public:
    explicit ImageDrive(const TempDir& dir) {
        namespace fs = std::filesystem;
        if (!terminal_under_wine() || !file_exists(dir.file("disk.img"))) return;
        const char* prefix = std::getenv("WINEPREFIX");
        links_ = (prefix ? std::string(prefix) : std::string(std::getenv("HOME")) + "/.wine") + "/dosdevices/x:";
        remove();
        fs::create_symlink(dir.file("disk.img"), links_ + ":");
        fs::create_directory_symlink(dir.path(), links_);
    }
    ~ImageDrive() { remove(); }
    ImageDrive(const ImageDrive&) = delete;
    ImageDrive& operator=(const ImageDrive&) = delete;

private:
    void remove() {
        if (links_.empty()) return;
        std::error_code ignored;
        std::filesystem::remove(links_ + ":", ignored);
        std::filesystem::remove(links_, ignored);
    }
    std::string links_;
};

// zobrin's report on an image without a file system whose first 90 bytes
// are zero; under Wine, whose drives answer no geometry query, after the
// failed query.
const std::string REPORT =
    std::string(terminal_under_wine() ? "DeviceIoControl(,IOCTL_DISK_GET_DRIVE_GEOMETRY,,,,,) failed! (50/32)\n" : "") +
    "Drive " + IMAGE +
    "\n"
    "  File System is unknown assumed FAT12, Media Type Unknown media type\n"
    "  Volume serial 0000-0000, Volume label \n"
    "  Sector Size 0, Total Sector counts 0\n"
    "  FAT start sector 0, FAT sector count 0, FAT count 0\n";

// nevrik's lines for bytes [from, to) of two files differing in every byte,
// 00 against FF.
std::string difference_lines(std::size_t from, std::size_t to) {
    std::string text;
    char line[32];
    for (std::size_t offset = from; offset < to; ++offset) {
        std::snprintf(line, sizeof line, "%016zX: 00 FF\n", offset);
        text += line;
    }
    return text;
}

struct Step {
    std::string screen;  // the whole screen at the page stop
    std::string keys;
};

struct PagerRow {
    const char* name;
    const char* tool;
    std::vector<std::pair<std::string, std::string>> files;  // name, bytes
    std::vector<std::string> args;
    std::vector<Step> steps;
    std::string screen;
    int level;
};

TEST(Pager, KeysAtPageStops) {
    const std::string noise1 = pseudo_random(0x10000, 1), noise2 = pseudo_random(0x10000, 2);
    const std::string noise3 = pseudo_random(0x1000, 3);
    std::string image = pseudo_random(64 * 512, 5);
    image.replace(0, 90, std::string(90, '\0'));
    // Raw output of sectors holding text: pages count line feeds.
    std::string sector_text;
    for (int i = 0; i < 100; ++i) sector_text += "line " + std::to_string(i) + "\n";
    sector_text.resize(2 * 512, '.');
    const std::string text_image = std::string(512, '\0') + sector_text;
    // On an 80-column screen the 80th character ends a line, and the line
    // feed behind it ends another.
    const std::string wide(80, 'A');
    std::string text = wide + "\n";
    for (int i = 2; i <= 9; ++i) text += "L0" + std::to_string(i) + "\n";
    const std::string wide_page = wide + "\nL02\n", wide_pages = wide_page + "L03\nL04\nL05\n";
    const std::string row = "**: 256/256 byte(s) are different\n";
    std::string six_rows;
    for (int r = 0; r < 6; ++r) six_rows += "0000000000000" + std::to_string(r) + row;
    const std::string row0 = "00000000000000**: 256/256 byte(s) are different\n";
    const std::string zeros = std::string(0x600, '\0'), ones = std::string(0x600, '\xFF');
    const std::string text_page = REPORT + "line 0\nline 1\nline 2\n";
    // A cancel's level, unless the failed geometry query of zobrin under
    // Wine set 7.
    const int canceled = terminal_under_wine() ? 7 : 3;

    const PagerRow rows[] = {
        {"holmic: ESC at a page stop",
         "holmic",
         {{"big.bin", noise1}},
         {"big.bin", "/M:5"},
         {{dump_lines(noise1, 0, 0x50), ESC}},
         dump_lines(noise1, 0, 0x50) + "Canceled at offset 0x0000000000000050\n",
         3},
        {"holmic: the space bar grants one page",
         "holmic",
         {{"big.bin", noise2}},
         {"big.bin", "/m:5"},
         {{dump_lines(noise2, 0, 0x50), " "}, {dump_lines(noise2, 0, 0xA0), ESC}},
         dump_lines(noise2, 0, 0xA0) + "Canceled at offset 0x00000000000000A0\n",
         3},
        {"holmic: another key runs to the end",
         "holmic",
         {{"data.bin", noise3}},
         {"data.bin", "/M"},
         {{dump_lines(noise3, 0, 24 * 16), "a"}},
         dump_lines(noise3, 0, noise3.size()),
         0},
        // 0x61 bytes were written: 81, then 4 lines of 4.
        {"holmic /T: pages of screen lines",
         "holmic",
         {{"text.txt", text}},
         {"text.txt", "/T", "/M:3"},
         {{wide_page, " "}, {wide_pages, ESC}},
         wide_pages + "\nCanceled at offset 0x0000000000000061\n",
         3},
        // Canceled at the next byte to compare; no size or result line follows.
        {"nevrik: the space bar grants a page, ESC cancels",
         "nevrik",
         {{"a.bin", zeros.substr(0, 0x100)}, {"b.bin", ones.substr(0, 0x100)}},
         {"/M:5", "a.bin", "b.bin"},
         {{difference_lines(0, 5), " "}, {difference_lines(0, 10), ESC}},
         difference_lines(0, 10) + "Canceled at offset 0x000000000000000A\n",
         3},
        {"nevrik: another key runs to the end",
         "nevrik",
         {{"a.bin", zeros}, {"b.bin", ones}},
         {"/B", "/m:2", "a.bin", "b.bin"},
         {{six_rows.substr(0, 2 * row0.size()), "x"}},
         six_rows,
         12},
        // The key that resumes is followed by ESC, read after the compare of
        // the rest: row 1 still waits for its line.
        {"nevrik: ESC with a row pending prints the row first",
         "nevrik",
         {{"a.bin", zeros.substr(0, 0x180)}, {"b.bin", ones.substr(0, 0x180)}},
         {"/B", "/M:1", "a.bin", "b.bin"},
         {{row0, std::string("a") + ESC}},
         row0 + "00000000000001**: 128/128 byte(s) are different\nCanceled at offset 0x0000000000000180\n",
         3},
        {"zobrin: ESC at a page stop tells the sector",
         "zobrin",
         {{"disk.img", image}},
         {IMAGE, "/S:12", "/C:4", "/M:8"},
         {{REPORT + sector_dump(image, 12 * 512, 12 * 512 + 8 * 16), ESC}},
         REPORT + sector_dump(image, 12 * 512, 12 * 512 + 8 * 16) + "Canceled at sector 12/0xC\n",
         canceled},
        {"zobrin: the space bar grants pages across sectors",
         "zobrin",
         {{"disk.img", image}},
         {IMAGE, "/S:12", "/C:4", "/m:16"},
         {{REPORT + sector_dump(image, 12 * 512, 12 * 512 + 256), " "},
          {REPORT + sector_dump(image, 12 * 512, 13 * 512), " "},
          {REPORT + sector_dump(image, 12 * 512, 13 * 512 + 256), ESC}},
         REPORT + sector_dump(image, 12 * 512, 13 * 512 + 256) + "Canceled at sector 13/0xD\n",
         canceled},
        // 21 bytes of the first sector were written; the cancel message
        // starts on a line of its own.
        {"zobrin /T: ESC after a page",
         "zobrin",
         {{"disk.img", text_image}},
         {IMAGE, "/S:1", "/C:2", "/T", "/M:3"},
         {{text_page, ESC}},
         text_page + "\nCanceled at sector 1/0x1\n",
         canceled},
    };
    for (const PagerRow& r : rows) {
        SCOPED_TRACE(r.name);
        TempDir dir;
        for (const auto& [name, bytes] : r.files) ASSERT_TRUE(write_file(dir.file(name), bytes));
        const ImageDrive drive(dir);
        PtySession pty;
        ASSERT_TRUE(pty.start(terminal_program(r.tool), r.args, {"LC_ALL=C"}, dir.path()));
        for (const Step& step : r.steps) {
            const std::string screen = terminal_screen(step.screen);
            ASSERT_TRUE(pty.wait_for(screen)) << pty.output();
            pty.pump(300);
            EXPECT_EQ(pty.output(), screen);
            pty.send(step.keys);
        }
        EXPECT_EQ(pty.wait_exit(), r.level);
        EXPECT_EQ(pty.output(), terminal_screen(r.screen));
    }
}

// A key while the output scrolls pauses it until the next key. The output
// is far larger than the terminal buffers: the program is still writing when
// the key arrives.
TEST(Pager, KeyDuringOutputPausesHolmicUntilTheNextKey) {
    TempDir dir;
    const std::string data = pseudo_random(1 << 20, 4);
    const std::string whole = terminal_screen(dump_lines(data, 0, data.size()));
    ASSERT_TRUE(write_file(dir.file("big.bin"), data));
    PtySession pty;
    ASSERT_TRUE(pty.start(terminal_program("holmic"), {"big.bin"}, {"LC_ALL=C"}, dir.path()));
    ASSERT_TRUE(pty.wait_for("000000000000: ")) << pty.output();
    pty.send("a");
    ASSERT_TRUE(pty.wait_quiet(1000)) << "no pause; shown " << pty.output().size() << " bytes";
    const std::string paused = pty.output();
    EXPECT_LT(paused.size(), whole.size());
    EXPECT_EQ(whole.compare(0, paused.size(), paused), 0) << "output before the pause is not the dump";
    pty.send("b");
    EXPECT_EQ(pty.wait_exit(LONG_OUTPUT_MS), 0);
    EXPECT_TRUE(pty.output() == whole) << "dump after resuming differs";
}

TEST(Pager, KeyDuringOutputPausesNevrikAndEscCancels) {
    TempDir dir;
    const std::size_t size = 1 << 20;
    ASSERT_TRUE(write_file(dir.file("a.bin"), std::string(size, '\0')));
    ASSERT_TRUE(write_file(dir.file("b.bin"), std::string(size, '\xFF')));
    PtySession pty;
    ASSERT_TRUE(pty.start(terminal_program("nevrik"), {"a.bin", "b.bin"}, {"LC_ALL=C"}, dir.path()));
    ASSERT_TRUE(pty.wait_for("0000000000000000: 00 FF\n")) << pty.output();
    pty.send("a");
    ASSERT_TRUE(pty.wait_quiet(1000)) << "no pause; shown " << pty.output().size() << " bytes";
    const std::string paused = pty.output();
    EXPECT_EQ(difference_lines(0, paused.size() / 24), paused);
    pty.send(ESC);
    EXPECT_EQ(pty.wait_exit(), 3);
    const std::string end = pty.output().substr(paused.size());
    char expected[64];
    std::snprintf(expected, sizeof expected, "Canceled at offset 0x%016zX\n", paused.size() / 24);
    EXPECT_EQ(end, expected);
}

}  // namespace

// zobrin at a terminal: page stops and ESC during a sector dump, typed
// through a pseudo-terminal.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/dump_lines.h"
#include "support/files.h"
#include "support/process.h"
#include "support/pty_tool_test.h"
#include "support/temp_dir.h"

namespace {

using namespace testsupport;


// An image of 64 sectors of noise: with no file system the report is the
// unknown-type one.
const char REPORT[] =
    "Drive ./disk.img\n"
    "  File System is unknown assumed FAT12, Media Type Unknown media type\n";

class ZobrinKeys : public PtyToolTest {
protected:
    ZobrinKeys() : PtyToolTest("zobrin") {}
    void start(std::vector<std::string> args) {
        image = pseudo_random(64 * 512, 5);
        // Zero the fields the report shows, so that its lines are known.
        image.replace(0, 90, std::string(90, '\0'));
        ASSERT_TRUE(write_file(dir.file("disk.img"), image));
        args.insert(args.begin(), "./disk.img");
        PtyToolTest::start(args);
    }
    // The report, then the dump lines of bytes [from, to) of the image.
    std::string shown(std::size_t from, std::size_t to) {
        std::string lines = dump_lines(image, from, to), out = REPORT;
        out += "  Volume serial 0000-0000, Volume label \n"
               "  Sector Size 0, Total Sector counts 0\n"
               "  FAT start sector 0, FAT sector count 0, FAT count 0\n";
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
    std::string image;
};

TEST_F(ZobrinKeys, EscAtPageStopTellsTheSector) {
    start({"/S:12", "/C:4", "/M:8"});
    const std::string page = shown(12 * 512, 12 * 512 + 8 * 16);
    ASSERT_TRUE(pty.wait_for(page)) << pty.output();
    EXPECT_EQ(settled_output(), page);
    pty.send(ESC);
    EXPECT_EQ(pty.wait_exit(), 3);
    EXPECT_EQ(pty.output(), page + "Canceled at sector 12/0xC\n");
}

TEST_F(ZobrinKeys, SpaceGrantsPagesAcrossSectors) {
    start({"/S:12", "/C:4", "/m:16"});
    ASSERT_TRUE(pty.wait_for(shown(12 * 512, 12 * 512 + 256))) << pty.output();
    pty.send(" ");
    ASSERT_TRUE(pty.wait_for(shown(12 * 512, 13 * 512))) << pty.output();
    pty.send(" ");
    const std::string three_pages = shown(12 * 512, 13 * 512 + 256);
    ASSERT_TRUE(pty.wait_for(three_pages)) << pty.output();
    EXPECT_EQ(settled_output(), three_pages);
    pty.send(ESC);
    EXPECT_EQ(pty.wait_exit(), 3);
    EXPECT_EQ(pty.output(), three_pages + "Canceled at sector 13/0xD\n");
}

TEST_F(ZobrinKeys, RawConsoleEscAfterAPage) {
    // Raw output of sectors holding text: pages count line feeds; the cancel
    // message starts on a line of its own.
    std::string text;
    for (int i = 0; i < 100; ++i) text += "line " + std::to_string(i) + "\n";
    text.resize(2 * 512, '.');
    image = std::string(512, '\0') + text;
    ASSERT_TRUE(write_file(dir.file("disk.img"), image));
    ASSERT_TRUE(pty.start(program_path("zobrin"), {"./disk.img", "/S:1", "/C:2", "/T", "/M:3"}, {"LC_ALL=C"},
                          dir.path()));
    const std::string page = shown(0, 0) + "line 0\nline 1\nline 2\n";
    ASSERT_TRUE(pty.wait_for(page)) << pty.output();
    EXPECT_EQ(settled_output(), page);
    pty.send(ESC);
    EXPECT_EQ(pty.wait_exit(), 3);
    // 21 bytes of the first sector were written.
    EXPECT_EQ(pty.output(), page + "\nCanceled at sector 1/0x1\n");
}

}  // namespace

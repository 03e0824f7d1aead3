// nevrik at a terminal: page stops, pauses and ESC while differences scroll.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/process.h"
#include "support/pty_tool_test.h"
#include "support/temp_dir.h"

namespace {

using namespace testsupport;


// Two files of size bytes that differ in every byte: 00 against FF.
class NevrikKeys : public PtyToolTest {
protected:
    NevrikKeys() : PtyToolTest("nevrik") {}
    void start(std::size_t size, std::vector<std::string> args) {
        ASSERT_TRUE(write_file(dir.file("a.bin"), std::string(size, '\0')));
        ASSERT_TRUE(write_file(dir.file("b.bin"), std::string(size, '\xFF')));
        args.push_back("a.bin");
        args.push_back("b.bin");
        PtyToolTest::start(args);
    }
    static std::string lines(std::size_t from, std::size_t to) {
        std::string text;
        char line[32];
        for (std::size_t offset = from; offset < to; ++offset) {
            std::snprintf(line, sizeof line, "%016zX: 00 FF\n", offset);
            text += line;
        }
        return text;
    }
};

TEST_F(NevrikKeys, SpaceGrantsAPageAndEscCancels) {
    start(0x100, {"/M:5"});
    ASSERT_TRUE(pty.wait_for(lines(0, 5))) << pty.output();
    EXPECT_EQ(settled_output(), lines(0, 5));
    pty.send(" ");
    ASSERT_TRUE(pty.wait_for(lines(0, 10))) << pty.output();
    EXPECT_EQ(settled_output(), lines(0, 10));
    pty.send(ESC);
    EXPECT_EQ(pty.wait_exit(), 3);
    // Canceled at the next byte to compare; no size or result line follows.
    EXPECT_EQ(pty.output(), lines(0, 10) + "Canceled at offset 0x000000000000000A\n");
}

TEST_F(NevrikKeys, OtherKeyAtPageStopRunsToTheEnd) {
    start(0x600, {"/B", "/m:2"});
    const std::string row = "**: 256/256 byte(s) are different\n";
    const std::string two = "00000000000000" + row + "00000000000001" + row;
    ASSERT_TRUE(pty.wait_for(two)) << pty.output();
    EXPECT_EQ(settled_output(), two);
    pty.send("x");
    EXPECT_EQ(pty.wait_exit(), 12);
    std::string all;
    for (int r = 0; r < 6; ++r) all += "0000000000000" + std::to_string(r) + row;
    EXPECT_EQ(pty.output(), all);
}

TEST_F(NevrikKeys, KeyDuringOutputPausesAndEscCancels) {
    // Far more lines than the terminal buffers: still scrolling when the key
    // arrives.
    const std::size_t size = 1 << 20;
    start(size, {});
    ASSERT_TRUE(pty.wait_for("0000000000000000: 00 FF\n")) << pty.output();
    pty.send("a");
    ASSERT_TRUE(pty.wait_quiet(1000)) << "no pause; shown " << pty.output().size() << " bytes";
    const std::string paused = pty.output();
    EXPECT_EQ(lines(0, paused.size() / 24), paused);
    pty.send(ESC);
    EXPECT_EQ(pty.wait_exit(), 3);
    const std::string end = pty.output().substr(paused.size());
    char expected[64];
    std::snprintf(expected, sizeof expected, "Canceled at offset 0x%016zX\n", paused.size() / 24);
    EXPECT_EQ(end, expected);
}

TEST_F(NevrikKeys, EscWithARowPendingPrintsTheRowFirst) {
    // Row 0 fills the page; the key that resumes is followed by ESC, which
    // is read after the compare of the rest: row 1 still waits for its line.
    start(0x180, {"/B", "/M:1"});
    const std::string row0 = "00000000000000**: 256/256 byte(s) are different\n";
    ASSERT_TRUE(pty.wait_for(row0)) << pty.output();
    pty.send(std::string("a") + ESC);
    EXPECT_EQ(pty.wait_exit(), 3);
    EXPECT_EQ(pty.output(), row0 + "00000000000001**: 128/128 byte(s) are different\n" +
                                "Canceled at offset 0x0000000000000180\n");
}

}  // namespace

// holmic at a terminal: page stops, pauses and ESC, typed through a
// pseudo-terminal.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/dump_lines.h"
#include "support/files.h"
#include "support/process.h"
#include "support/pty_tool_test.h"
#include "support/temp_dir.h"

namespace {

using namespace testsupport;


class HolmicKeys : public PtyToolTest {
protected:
    HolmicKeys() : PtyToolTest("holmic") {}
    void start(const std::string& file, const std::string& data, std::vector<std::string> args) {
        ASSERT_TRUE(write_file(dir.file(file), data));
        args.insert(args.begin(), file);
        PtyToolTest::start(args);
    }
};

TEST_F(HolmicKeys, EscAtPageStop) {
    const std::string data = pseudo_random(0x10000, 1);
    start("big.bin", data, {"/M:5"});
    const std::string page = dump_lines(data, 0, 0x50);
    ASSERT_TRUE(pty.wait_for(page)) << pty.output();
    EXPECT_EQ(settled_output(), page);
    pty.send(ESC);
    EXPECT_EQ(pty.wait_exit(), 3);
    EXPECT_EQ(pty.output(), page + "Canceled at offset 0x0000000000000050\n");
}

TEST_F(HolmicKeys, SpaceGrantsOnePage) {
    const std::string data = pseudo_random(0x10000, 2);
    start("big.bin", data, {"/m:5"});
    ASSERT_TRUE(pty.wait_for(dump_lines(data, 0, 0x50))) << pty.output();
    pty.send(" ");
    const std::string two_pages = dump_lines(data, 0, 0xA0);
    ASSERT_TRUE(pty.wait_for(two_pages)) << pty.output();
    EXPECT_EQ(settled_output(), two_pages);
    pty.send(ESC);
    EXPECT_EQ(pty.wait_exit(), 3);
    EXPECT_EQ(pty.output(), two_pages + "Canceled at offset 0x00000000000000A0\n");
}

TEST_F(HolmicKeys, OtherKeyAtPageStopRunsToTheEnd) {
    const std::string data = pseudo_random(0x1000, 3);
    start("data.bin", data, {"/M"});
    ASSERT_TRUE(pty.wait_for(dump_lines(data, 0, 24 * 16))) << pty.output();
    EXPECT_EQ(settled_output(), dump_lines(data, 0, 24 * 16));
    pty.send("a");
    EXPECT_EQ(pty.wait_exit(), 0);
    EXPECT_EQ(pty.output(), dump_lines(data, 0, data.size()));
}

TEST_F(HolmicKeys, KeyDuringOutputPausesUntilTheNextKey) {
    // Output far larger than the terminal's buffer: the program is still
    // writing when the key arrives.
    const std::string data = pseudo_random(1 << 20, 4);
    const std::string whole = dump_lines(data, 0, data.size());
    start("big.bin", data, {});
    ASSERT_TRUE(pty.wait_for("000000000000: ")) << pty.output();
    pty.send("a");
    ASSERT_TRUE(pty.wait_quiet(1000)) << "no pause; shown " << pty.output().size() << " bytes";
    const std::string paused = pty.output();
    EXPECT_LT(paused.size(), whole.size());
    EXPECT_EQ(whole.compare(0, paused.size(), paused), 0) << "output before the pause is not the dump";
    pty.send("b");
    EXPECT_EQ(pty.wait_exit(30000), 0);
    EXPECT_TRUE(pty.output() == whole) << "dump after resuming differs";
}

TEST_F(HolmicKeys, RawConsoleOutputPagesByLines) {
    // On an 80-column screen the 80th character ends a line, and the line
    // feed behind it ends another.
    const std::string wide(80, 'A');
    std::string text = wide + "\n";
    for (int i = 2; i <= 9; ++i) text += "L0" + std::to_string(i) + "\n";
    start("text.txt", text, {"/T", "/M:3"});
    const std::string page = wide + "\nL02\n";
    ASSERT_TRUE(pty.wait_for(page)) << pty.output();
    EXPECT_EQ(settled_output(), page);
    pty.send(" ");
    ASSERT_TRUE(pty.wait_for("L05\n")) << pty.output();
    EXPECT_EQ(settled_output(), page + "L03\nL04\nL05\n");
    pty.send(ESC);
    EXPECT_EQ(pty.wait_exit(), 3);
    // 0x61 bytes were written: 81, then 4 lines of 4.
    EXPECT_EQ(pty.output(), page + "L03\nL04\nL05\n\nCanceled at offset 0x0000000000000061\n");
}

}  // namespace

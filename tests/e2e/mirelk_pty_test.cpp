// mirelk at a terminal: ESC stops the scan and the copy phases, other keys
// are dropped, typed through a pseudo-terminal.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/process.h"
#include "support/pty_tool_test.h"
#include "support/temp_dir.h"

namespace {

using namespace testsupport;

// Large enough that no scan or copy of it ends before the keys arrive
// (reading a hole runs at a few hundred MiB/s here).
constexpr std::int64_t BIG = 16LL << 30;

class MirelkKeys : public PtyToolTest {
protected:
    MirelkKeys() : PtyToolTest("mirelk") {}
    // Writes bytes into an existing file at offset.
    void poke(const std::string& name, std::int64_t offset, const std::string& bytes) {
        std::fstream file(dir.file(name), std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(offset);
        file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        ASSERT_TRUE(file.good());
    }
};

TEST_F(MirelkKeys, EscStopsTheScan) {
    ASSERT_TRUE(make_sparse_file(dir.file("big.bin"), BIG, 0, "MIRELK"));
    start({"big.bin", "/F:'MIRELK'", "/R:'mirelk'"});
    const std::string first = "Replace at 0000000000000000 big.bin\n";
    ASSERT_TRUE(pty.wait_for(first)) << pty.output();
    pty.send(ESC);
    EXPECT_EQ(pty.wait_exit(), 3);
    EXPECT_EQ(pty.output(), terminal_screen(first + "Canceled!\n"));
}

TEST_F(MirelkKeys, OtherKeysAreDropped) {
    ASSERT_TRUE(make_sparse_file(dir.file("big.bin"), BIG, 0, "MIRELK"));
    poke("big.bin", 0x10000000, "MIRELK");
    start({"big.bin", "/F:'MIRELK'"});
    const std::string first = "Find    at 0000000000000000 big.bin\n";
    const std::string second = "Find    at 0000000010000000 big.bin\n";
    ASSERT_TRUE(pty.wait_for(first)) << pty.output();
    pty.send("a");
    // The scan goes on without waiting for another key.
    ASSERT_TRUE(pty.wait_for(second)) << pty.output();
    pty.send(ESC);
    EXPECT_EQ(pty.wait_exit(), 3);
    EXPECT_EQ(pty.output(), terminal_screen(first + second + "Canceled!\n"));
}

TEST_F(MirelkKeys, EscStopsTheCopyPhase) {
    ASSERT_TRUE(make_sparse_file(dir.file("big.bin"), BIG, 0, ""));
    start({"big.bin", "/F:'QQ'", "/R:'qq'", "/O:out.bin", "/S:15*0x40000000"});
    const std::string title = "Coping to destination file until start offset.";
    ASSERT_TRUE(pty.wait_for(title)) << pty.output();
    pty.send(ESC);
    EXPECT_EQ(pty.wait_exit(), 3);
    // The title, maybe a few dots, then the cancel message on a line of its own.
    const std::string shown = pty.output();
    const std::string ending = "\nCanceled!\n";
    ASSERT_GE(shown.size(), title.size() + ending.size());
    EXPECT_EQ(shown.substr(0, title.size()), title);
    EXPECT_EQ(shown.substr(shown.size() - ending.size()), ending);
    const std::string dots = shown.substr(title.size(), shown.size() - title.size() - ending.size());
    EXPECT_EQ(dots, std::string(dots.size(), '.'));
    // Whole blocks were copied, far fewer than asked for.
    const std::int64_t copied = std::ifstream(dir.file("out.bin"), std::ios::ate).tellg();
    EXPECT_EQ(copied % 0x8000, 0);
    EXPECT_LT(copied, 15LL << 30);
}

}  // namespace

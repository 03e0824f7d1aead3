// The prompts of /+, /D and /X at a terminal, and a child of /X that gets
// the terminal in its normal mode, so that Ctrl+C stops it.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/directory.h"
#include "support/kesto_tree.h"
#include "support/process.h"
#include "support/pty_tool_test.h"
#include "support/temp_dir.h"

namespace {

using namespace testsupport;

const std::string UPDATE = " <Update:Y, Skip:N, All:A, Skip All:X>? ";
const std::string EXECUTE = " <Execute:Y, Skip:N, All:A, Skip All:X>? ";

class KestoChangeKeys : public PtyToolTest {
protected:
    KestoChangeKeys() : PtyToolTest("kesto") {}
    void SetUp() override {
        // Archived, as Wine shows a file that has no attributes stored.
        const std::uint32_t A = plat::ATTR_ARCHIVE;
        make_tree(dir,
                  {{"f1", A, 0, false, 1}, {"f2", A, 0, false, 2}, {"f3", A, 0, false, 3}, {"f4", A, 0, false, 4}});
    }
    bool read_only(const std::string& name) {
        std::uint32_t attributes = 0;
        EXPECT_TRUE(plat::get_attributes(dir.file(name).c_str(), attributes));
        return (attributes & plat::ATTR_READONLY) != 0;
    }
};

TEST_F(KestoChangeKeys, AttributesYesNoAll) {
    start({"/+R", "f*"});
    std::string expected = "a----- f1" + UPDATE;
    answer(expected, "y");
    expected += "y\na----- f2" + UPDATE;
    answer(expected, "n");
    expected += "n\na----- f3" + UPDATE;
    answer(expected, "a");
    expected += "a\na----- f4\n";
    EXPECT_EQ(pty.wait_exit(), 4);
    EXPECT_EQ(pty.output(), expected);
    EXPECT_TRUE(read_only("f1"));
    EXPECT_FALSE(read_only("f2"));
    EXPECT_TRUE(read_only("f3"));
    EXPECT_TRUE(read_only("f4"));
}

TEST_F(KestoChangeKeys, DateEscChangesNothing) {
    start({"/D2020-01-02,03:04:05", "f1"});
    const std::string expected = "2024-03-15 12:01:56.789 f1" + UPDATE;
    answer(expected, ESC);
    EXPECT_EQ(pty.wait_exit(), 1);
    EXPECT_EQ(pty.output(), shown(expected + ABORT + "\n"));
    plat::FileTime creation = 0, access = 0, write = 0;
    ASSERT_TRUE(plat::get_file_times(dir.file("f1").c_str(), creation, access, write));
    EXPECT_EQ(write, local_time(2024, 3, 15, 12, 1, 56, 789));
}

// Y runs the command, N skips it, ESC ends the walk. The child that hangs
// gets Ctrl+C from the terminal and ends; kesto goes on.
TEST_F(KestoChangeKeys, ExecutePromptAndCtrlC) {
    if (terminal_under_wine())
        GTEST_SKIP() << "the commands are a POSIX shell's, and Wine's console turns Ctrl+C into a break";
    start({"/X='echo started; sleep 60$;echo done $f'", "f*"});
    std::string expected = "echo started; sleep 60" + EXECUTE;
    answer(expected, "y");
    ASSERT_TRUE(pty.wait_for(expected + "y\nstarted\n")) << pty.output();
    // A shell may let a Ctrl+C typed between its commands go by: type it
    // until the child has ended (a late one rings kesto's bell at most).
    bool ended = false;
    for (int tries = 0; tries < 20 && !ended; ++tries) {
        pty.send("\x03");
        ended = pty.wait_for("echo done f1" + EXECUTE, 1000);
    }
    ASSERT_TRUE(ended) << pty.output();
    pty.send("y");
    ASSERT_TRUE(pty.wait_for("y\ndone f1\necho started; sleep 60" + EXECUTE)) << pty.output();
    pty.send("n");
    ASSERT_TRUE(pty.wait_for("n\necho done f2" + EXECUTE)) << pty.output();
    pty.send(ESC);
    EXPECT_EQ(pty.wait_exit(), 2);
    const std::string tail = shown(std::string("echo done f2") + EXECUTE + ABORT + "\n");
    const std::string& shown = pty.output();
    ASSERT_GE(shown.size(), tail.size());
    EXPECT_EQ(shown.substr(shown.size() - tail.size()), tail);
}

}  // namespace

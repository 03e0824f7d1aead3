// tolven at a terminal: ESC typed while the sorted lines go out.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "support/pty_tool_test.h"

namespace {

using namespace testsupport;

class TolvenKeys : public PtyToolTest {
protected:
    TolvenKeys() : PtyToolTest("tolven") {}
};

TEST_F(TolvenKeys, EscDuringTheMergeStopsAfterTheLinesWritten) {
    // Far more output than the terminal buffers: the program is still
    // writing (and waiting for the terminal) when the key arrives.
    std::string input;
    for (int i = 200000; i > 0; --i) input += "line " + std::to_string(i) + "\n";
    ASSERT_TRUE(write_file(dir.file("in.txt"), input));
    start({"/P", "in.txt"});
    answer("Sorting secondary...\n", ESC);
    // Unread, the terminal fills up and holds the program for a while: the
    // merge looks at the keyboard at most about once a second.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_EQ(pty.wait_exit(LONG_OUTPUT_MS), 3);
    const std::string& shown = pty.output();
    ASSERT_GE(shown.size(), 10u);
    EXPECT_EQ(shown.substr(shown.size() - 10), "Canceled!\n");
    // Sorted as text: "line 1", "line 10", ...; the last line never came.
    EXPECT_NE(shown.find("line 1\nline 10\nline 100\n"), std::string::npos);
    EXPECT_EQ(shown.find("line 99999\n"), std::string::npos);
}

TEST_F(TolvenKeys, OtherKeysAreIgnored) {
    std::string input;
    for (int i = 0; i < 50000; ++i) input += std::to_string(i % 997) + "\n";
    ASSERT_TRUE(write_file(dir.file("in.txt"), input));
    start({"/P", "/R", "in.txt"});
    answer("Sorting secondary...\n", "a ");
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_EQ(pty.wait_exit(LONG_OUTPUT_MS), 0);
    EXPECT_NE(pty.output().find("\nDone, used another memory "), std::string::npos);
    EXPECT_EQ(pty.output().find("Canceled!"), std::string::npos);
}

}  // namespace

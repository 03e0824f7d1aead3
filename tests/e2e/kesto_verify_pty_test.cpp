// kesto /R and /V at a terminal: the delete prompt answered Y, N, A, X and
// ESC, the discord beeps, and ESC during a long compare.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/process.h"
#include "support/pty_tool_test.h"
#include "support/temp_dir.h"

namespace {

using namespace testsupport;

const std::string PROMPT = " <Delete:Y, Skip:N, All:A, Skip All:X>? ";

class KestoDeletePrompt : public PtyToolTest {
protected:
    KestoDeletePrompt() : PtyToolTest("kesto") {}
    // Files d/a/f1 d/a/f2 d/b/g, walked in that order.
    void SetUp() override {
        for (const char* folder : {"d", "d/a", "d/b"}) ASSERT_TRUE(std::filesystem::create_directory(dir.file(folder)));
        for (const char* name : {"d/a/f1", "d/a/f2", "d/b/g"}) ASSERT_TRUE(write_file(dir.file(name), name));
    }
    // Waits for the prompt behind the entry's line, then answers it.
    void answer(const std::string& line, const char* key) { PtyToolTest::answer(shown(line + PROMPT), key); }
    std::vector<std::string> left() {
        std::vector<std::string> names;
        for (const char* name : {"d/a/f1", "d/a/f2", "d/b/g", "d/a", "d/b", "d"})
            if (file_exists(dir.file(name))) names.push_back(name);
        return names;
    }
};

// Y deletes, N skips, A deletes this and everything after without asking.
TEST_F(KestoDeletePrompt, YesNoAll) {
    start({"/R", terminal_path("d/")});
    answer("delete file      d/a/f1", "y");
    answer("delete file      d/a/f2", "n");
    answer("delete directory d/a", "a");
    EXPECT_EQ(pty.wait_exit(), 3);
    EXPECT_EQ(pty.output(),
              shown("delete file      d/a/f1" + PROMPT + "y\ndelete file      d/a/f2" + PROMPT +
                    "n\ndelete directory d/a" + PROMPT + "a\x1b[7m\nDelete directory d/a failed!\x1b[27m\n" +
                    "delete file      d/b/g\ndelete directory d/b\n"));
    EXPECT_EQ(left(), (std::vector<std::string>{"d/a/f2", "d/a", "d"}));
}

// /RV asks before it compares: a file written to while the prompt waits
// stays, since the compare would cover only the size the walk found.
TEST_F(KestoDeletePrompt, VerifiedDeleteKeepsAFileChangedMeanwhile) {
    for (const char* folder : {"copy", "copy/a", "copy/b"})
        ASSERT_TRUE(std::filesystem::create_directory(dir.file(folder)));
    for (const char* name : {"d/a/f1", "d/a/f2", "d/b/g"})
        ASSERT_TRUE(write_file(dir.file(std::string("copy") + (name + 1)), name));
    start({"/RV", terminal_path("d/"), terminal_path("copy/")});
    ASSERT_TRUE(pty.wait_for(shown("delete file      d/a/f1" + PROMPT))) << pty.output();
    ASSERT_TRUE(write_file(dir.file("d/a/f1"), "d/a/f1 and more"));
    pty.send("a");
    EXPECT_EQ(pty.wait_exit(), 2);
    EXPECT_EQ(pty.output(), shown("delete file      d/a/f1" + PROMPT + "a  Verify \x1b[7mdifferent.\x1b[27m\n" +
                                  "delete file      d/a/f2  Verify done.\n" +
                                  "delete directory d/a\x1b[7m\nDelete directory d/a failed!\x1b[27m\n" +
                                  "delete file      d/b/g  Verify done.\ndelete directory d/b\n"));
    EXPECT_EQ(left(), (std::vector<std::string>{"d/a/f1", "d/a", "d"}));
}

// X skips the entry and every later one, silently.
TEST_F(KestoDeletePrompt, SkipAll) {
    start({"/R", terminal_path("d/")});
    answer("delete file      d/a/f1", "x");
    EXPECT_EQ(pty.wait_exit(), 3);
    EXPECT_EQ(pty.output(), shown("delete file      d/a/f1" + PROMPT +
                                  "x\ndelete file      d/a/f2\ndelete directory d/a\ndelete file      d/b/g\n"
                                  "delete directory d/b\n"));
    EXPECT_EQ(left().size(), 6u);
}

// ESC at a prompt stops the walk and deletes nothing more.
TEST_F(KestoDeletePrompt, EscStops) {
    start({"/R", terminal_path("d/")});
    answer("delete file      d/a/f1", "y");
    answer("delete file      d/a/f2", ESC);
    EXPECT_EQ(pty.wait_exit(), 2);
    EXPECT_EQ(pty.output(),
              shown("delete file      d/a/f1" + PROMPT + "y\ndelete file      d/a/f2" + PROMPT + ABORT + "\n"));
    EXPECT_EQ(left().size(), 5u);
}

// With prompts on and a source that names a directory, a directory that
// cannot be removed stops the walk; /E goes on.
const char DIRECTORY_FAILED[] = "y\x1b[7m\nDelete directory d/a failed!\x1b[27m";

TEST_F(KestoDeletePrompt, KeptDirectoryStopsAskedWalk) {
    start({"/R", "d"});
    answer("delete file      d/a/f1", "n");
    answer("delete file      d/a/f2", "n");
    answer("delete directory d/a", "y");
    EXPECT_EQ(pty.wait_exit(), 2);
    const std::string& screen = pty.output();
    const std::string tail = shown(DIRECTORY_FAILED);
    ASSERT_GE(screen.size(), tail.size());
    EXPECT_EQ(screen.substr(screen.size() - tail.size()), tail);
    EXPECT_EQ(left().size(), 6u);
}

TEST_F(KestoDeletePrompt, KeptDirectoryWithE) {
    start({"/RE", "d"});
    answer("delete file      d/a/f1", "n");
    answer("delete file      d/a/f2", "n");
    answer("delete directory d/a", "y");
    answer(std::string(DIRECTORY_FAILED) + "\ndelete file      d/b/g", ESC);
    EXPECT_EQ(pty.wait_exit(), 3);
    EXPECT_EQ(left().size(), 6u);
}

// /V rings the bell /Q times at every discord, not at a match.
TEST(KestoVerifyTerminal, DiscordBeeps) {
    if (terminal_under_wine()) GTEST_SKIP() << "Wine's message beep writes nothing to the terminal";
    TempDir dir;
    PtySession pty;
    for (const char* folder : {"s", "t"}) ASSERT_TRUE(std::filesystem::create_directory(dir.file(folder)));
    for (const char* name : {"s/1", "s/2", "t/1"}) ASSERT_TRUE(write_file(dir.file(name), "x"));
    ASSERT_TRUE(pty.start(program_path("kesto"), {"/V", "/Q2", "s/", "t"}, {"LC_ALL=C"}, dir.path()));
    EXPECT_EQ(pty.wait_exit(), 1);
    std::string shown = pty.output();
    EXPECT_EQ(std::count(shown.begin(), shown.end(), '\a'), 2) << shown;
    shown.erase(std::remove(shown.begin(), shown.end(), '\a'), shown.end());
    EXPECT_EQ(shown, "Verify file      t/1 is same.\nVerify file      t/2 \x1b[7mis not found.\x1b[27m\n");
}

// A long compare shows its progress; ESC stops it and the file is not
// counted. (16 GiB of holes on each side: seconds of reading.)
TEST(KestoVerifyTerminal, EscStopsALongCompare) {
    TempDir dir;
    PtySession pty;
    for (const char* folder : {"s", "t"}) ASSERT_TRUE(std::filesystem::create_directory(dir.file(folder)));
    for (const char* name : {"s/big.bin", "t/big.bin"})
        ASSERT_TRUE(make_sparse_file(dir.file(name), std::int64_t{16} << 30, 0, "x"));
    ASSERT_TRUE(
        pty.start(terminal_program("kesto"), {"/VP", terminal_path("s/big.bin"), "t"}, {"LC_ALL=C"}, dir.path()));
    ASSERT_TRUE(pty.wait_for(terminal_path("Verify file      t/big.bin ("), 30000)) << pty.output();
    ASSERT_TRUE(pty.wait_for("KB/sec)\x1b[")) << pty.output();
    pty.send(ESC);
    EXPECT_EQ(pty.wait_exit(30000), 0);
    const std::string& shown = pty.output();
    EXPECT_NE(shown.find(terminal_screen(ABORT)), std::string::npos) << shown;
    EXPECT_EQ(shown.find("is same."), std::string::npos) << shown;
}

}  // namespace

// kesto /C at a terminal: the create and update prompts answered Y, N, A,
// X and ESC, ESC during a long copy, and a source that grows while the walk
// holds before it.
#include <gtest/gtest.h>

#include <csignal>
#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/process.h"
#include "support/pty_tool_test.h"
#include "support/temp_dir.h"

namespace {

using namespace testsupport;

const std::string CREATE = " <Create:Y, Skip:N, All:A, Skip All:X>? ";
const std::string UPDATE = " <Update:Y, Skip:N, All:A, Skip All:X>? ";

class KestoCopyKeys : public PtyToolTest {
protected:
    KestoCopyKeys() : PtyToolTest("kesto") {}
    // src/a src/b src/c src/d, and an old dst/b.
    void SetUp() override {
        for (const char* folder : {"src", "dst"}) ASSERT_TRUE(std::filesystem::create_directory(dir.file(folder)));
        for (const char* name : {"a", "b", "c", "d"})
            ASSERT_TRUE(write_file(dir.file(std::string("src/") + name), name));
        ASSERT_TRUE(write_file(dir.file("dst/b"), "old"));
    }
    // The contents of dst/a .. dst/d, "-" for a missing one.
    std::string destination() {
        std::string out;
        for (const char* name : {"a", "b", "c", "d"}) {
            const std::string path = dir.file(std::string("dst/") + name);
            out += (file_exists(path) ? read_file(path) : "-") + " ";
        }
        return out;
    }
    // Names in dst, copies in flight included.
    std::ptrdiff_t entries() { return std::distance(std::filesystem::directory_iterator(dir.file("dst")), {}); }
    // Holds the walk (/M1) before b, until the copies of c and d made ahead
    // of it, named or not yet, are there beside a and the old b (or a while
    // has gone by).
    void hold_until_copied_ahead() {
        start({"/CI", "/M1", terminal_path("src/"), "dst"});
        ASSERT_TRUE(pty.wait_for(shown("create file      dst/a\n"))) << pty.output();
        for (int tries = 0;
             tries < 1000 && entries() + static_cast<std::ptrdiff_t>(pty.unnamed_files_in(dir.file("dst"))) < 4;
             ++tries)
            pty.pump(10);
    }
};

// Y copies, N skips, A copies this one and the rest without asking.
TEST_F(KestoCopyKeys, YesNoAll) {
    start({"/C", terminal_path("src/"), "dst"});
    answer(shown("create file      dst/a" + CREATE), "y");
    answer(shown("update file      dst/b" + UPDATE), "n");
    answer(shown("create file      dst/c" + CREATE), "a");
    EXPECT_EQ(pty.wait_exit(), 4);
    EXPECT_EQ(pty.output(), shown("create file      dst/a" + CREATE + "y\nupdate file      dst/b" + UPDATE +
                                  "n\ncreate file      dst/c" + CREATE + "a\ncreate file      dst/d\n"));
    EXPECT_EQ(destination(), "a old c d ");
}

// X skips this entry and every later one silently; ESC stops the run.
TEST_F(KestoCopyKeys, SkipAllAndEsc) {
    start({"/C", terminal_path("src/"), "dst"});
    answer(shown("create file      dst/a" + CREATE), "x");
    EXPECT_EQ(pty.wait_exit(), 4);
    EXPECT_EQ(pty.output(), shown("create file      dst/a" + CREATE +
                                  "x\nupdate file      dst/b\ncreate file      dst/c\ncreate file      dst/d\n"));
    EXPECT_EQ(destination(), "- old - - ");

    PtySession again;
    ASSERT_TRUE(again.start(terminal_program("kesto"), {"/C", terminal_path("src/"), "dst"}, {"LC_ALL=C"}, dir.path()));
    ASSERT_TRUE(again.wait_for(shown("create file      dst/a" + CREATE))) << again.output();
    again.send(ESC);
    EXPECT_EQ(again.wait_exit(), 1);
    EXPECT_EQ(again.output(), shown("create file      dst/a" + CREATE + ABORT + "\n"));
    EXPECT_EQ(destination(), "- old - - ");
}

// ESC while a file is copied: the old destination stays, nothing partial
// is left, the walk stops.
TEST_F(KestoCopyKeys, EscDuringACopy) {
    ASSERT_TRUE(make_sparse_file(dir.file("src/b"), 64 << 20, 0, "new"));
    start({"/C", terminal_path("src/b"), "dst"});
    // The key that answers and the ESC arrive together: the ESC is waiting
    // when the copy begins.
    answer(shown("update file      dst/b" + UPDATE), std::string("y") + ESC);
    EXPECT_EQ(pty.wait_exit(30000), 1);
    EXPECT_EQ(pty.output(), shown("update file      dst/b" + UPDATE + "y" + ABORT));
    EXPECT_EQ(read_file(dir.file("dst/b")), "old");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.file("dst")), {}), 1);
}

// ESC while the walk is held before b: what was copied ahead of the walk
// meanwhile (c and d) goes, only what the walk put in place stays.
TEST_F(KestoCopyKeys, EscLeavesNoCopyMadeAhead) {
    hold_until_copied_ahead();
    pty.send(ESC);
    EXPECT_EQ(pty.wait_exit(), 1);
    EXPECT_EQ(destination(), "a old - - ");
    EXPECT_EQ(entries(), 2);
}

// c changes while the walk is held before b, after its copy was made ahead:
// that copy is dropped, and the walk copies c as it is now.
TEST_F(KestoCopyKeys, ChangedFileIsCopiedAgain) {
    hold_until_copied_ahead();
    ASSERT_TRUE(write_file(dir.file("src/c"), "changed"));
    for (int i = 0; i < 4; ++i) {
        pty.send(" ");
        pty.wait_quiet(200);
    }
    EXPECT_EQ(pty.wait_exit(), 4);
    EXPECT_EQ(destination(), "a b changed d ");
    EXPECT_EQ(entries(), 4);
}

// SIGTERM or SIGHUP while a file is copied: the new file in flight goes
// with the program, the old destination stays. Ctrl+S, waiting when the
// copy begins, holds it at its first break check.
TEST_F(KestoCopyKeys, TerminationRemovesTheCopyInFlight) {
    if (terminal_under_wine()) GTEST_SKIP() << "a Windows program gets no SIGTERM or SIGHUP";
    ASSERT_TRUE(make_sparse_file(dir.file("src/b"), 64 << 20, 0, "new"));
    for (int number : {SIGTERM, SIGHUP}) {
        SCOPED_TRACE(number);
        PtySession copy;
        ASSERT_TRUE(copy.start(terminal_program("kesto"), {"/C", "src/b", "dst"}, {"LC_ALL=C"}, dir.path()));
        ASSERT_TRUE(copy.wait_for("update file      dst/b" + UPDATE)) << copy.output();
        copy.send("y\x13");
        // Wait until the new file exists beside the old one.
        for (int tries = 0; tries < 1000 && std::distance(std::filesystem::directory_iterator(dir.file("dst")), {}) < 2;
             ++tries)
            copy.pump(10);
        ASSERT_EQ(std::distance(std::filesystem::directory_iterator(dir.file("dst")), {}), 2);
        copy.signal(number);
        EXPECT_EQ(copy.wait_exit(), 128 + number);
        EXPECT_EQ(read_file(dir.file("dst/b")), "old");
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.file("dst")), {}), 1);
    }
}

// The source grows while the walk is held before it (after its directory
// entry was read): the copy takes the grown contents.
TEST_F(KestoCopyKeys, GrowingSource) {
    start({"/CI", "/M1", terminal_path("src/"), "dst"});
    ASSERT_TRUE(pty.wait_for(shown("create file      dst/a\n"))) << pty.output();
    pty.pump(200);
    const std::string grown = "b" + std::string(100000, 'g');
    ASSERT_TRUE(write_file(dir.file("src/b"), grown));
    pty.send(" ");
    for (int i = 0; i < 3; ++i) {
        pty.wait_quiet(200);
        pty.send(" ");
    }
    EXPECT_EQ(pty.wait_exit(), 4);
    EXPECT_EQ(read_file(dir.file("dst/b")), grown);
}

}  // namespace

// kesto at a terminal: the /M pause, ESC and Ctrl+S/Ctrl+Q, typed through
// a pseudo-terminal.
#include <gtest/gtest.h>

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

const char CTRL_S[] = "\x13";
const char CTRL_Q[] = "\x11";

class KestoKeys : public PtyToolTest {
protected:
    KestoKeys() : PtyToolTest("kesto") {}
    // Nine empty files f1 .. f9, listed by name only (/!A keeps the listing
    // short to read: every line ends with its name).
    void start(std::vector<std::string> args) {
        for (int i = 1; i <= 9; ++i) ASSERT_TRUE(write_file(dir.file("f" + std::to_string(i)), ""));
        PtyToolTest::start(args);
    }
    // The names listed so far, in order.
    std::string names() {
        std::string out;
        const std::string& shown = pty.output();
        for (std::size_t at = shown.find(" f"); at != std::string::npos; at = shown.find(" f", at + 1))
            out += shown.substr(at + 1, 2);
        return out;
    }
    // Gives the program time to show more than it should.
    std::string settled_names() {
        pty.pump(300);
        return names();
    }
};

TEST_F(KestoKeys, PauseEveryThirdEntryAndEscAborts) {
    start({"/M3"});
    ASSERT_TRUE(pty.wait_for(" f3\n")) << pty.output();
    EXPECT_EQ(settled_names(), "f1f2f3");
    pty.send(" ");
    ASSERT_TRUE(pty.wait_for(" f6\n")) << pty.output();
    EXPECT_EQ(settled_names(), "f1f2f3f4f5f6");
    pty.send(ESC);
    EXPECT_EQ(pty.wait_exit(), 6);
    EXPECT_EQ(names(), "f1f2f3f4f5f6");
    const std::string& shown = pty.output();
    const std::string abort = terminal_screen(ABORT);
    ASSERT_GE(shown.size(), abort.size());
    EXPECT_EQ(shown.substr(shown.size() - abort.size()), abort);
}

TEST_F(KestoKeys, CtrlSHoldsUntilCtrlQ) {
    start({"/M3"});
    ASSERT_TRUE(pty.wait_for(" f3\n")) << pty.output();
    // At the pause Ctrl+S holds; other keys are read over.
    pty.send(CTRL_S);
    pty.send("x");
    EXPECT_EQ(settled_names(), "f1f2f3");
    pty.send(CTRL_Q);
    ASSERT_TRUE(pty.wait_for(" f6\n")) << pty.output();
    EXPECT_EQ(settled_names(), "f1f2f3f4f5f6");
    pty.send("y");
    ASSERT_TRUE(pty.wait_for(" f9\n")) << pty.output();
    EXPECT_EQ(pty.wait_exit(), 9);
    EXPECT_EQ(names(), "f1f2f3f4f5f6f7f8f9");
}

TEST_F(KestoKeys, CtrlCDoesNotEndTheProgram) {
    if (terminal_under_wine())
        GTEST_SKIP() << "Wine's console turns Ctrl+C from the terminal into a break, never a key";
    start({"/M3"});
    ASSERT_TRUE(pty.wait_for(" f3\n")) << pty.output();
    pty.send("\x03");
    ASSERT_TRUE(pty.wait_for(" f6\n")) << pty.output();
    pty.send(ESC);
    EXPECT_EQ(pty.wait_exit(), 6);
}

// ESC stops a long read: the file gets no line. The line of the file read
// before it is on the screen by then. With /P the read shows its progress;
// without, held by /M1 before it, the read is under way ahead of the walk
// when SPACE lets the walk on and ESC comes. (16 GiB of holes: seconds of
// reading.)
TEST_F(KestoKeys, EscStopsALongRead) {
    struct Row {
        std::vector<std::string> args;
        std::string shown_before_keys;
        std::string keys;
    };
    const std::vector<Row> rows = {
        {{"/FNP"}, "KB/sec)\x1b[", ESC},
        {{"/FN", "/M1"}, " a.txt\n", std::string(" ") + ESC},
    };
    ASSERT_TRUE(write_file(dir.file("a.txt"), "a"));
    ASSERT_TRUE(make_sparse_file(dir.file("big.bin"), std::int64_t{16} << 30, 0, "x"));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args[0]);
        PtySession session;
        ASSERT_TRUE(session.start(terminal_program("kesto"), row.args, {"LC_ALL=C"}, dir.path()));
        ASSERT_TRUE(session.wait_for(row.shown_before_keys, 30000)) << session.output();
        EXPECT_NE(session.output().find(" a.txt\n"), std::string::npos) << session.output();
        session.pump(300);
        session.send(row.keys);
        EXPECT_EQ(session.wait_exit(30000), 2);
        const std::string& shown = session.output();
        EXPECT_NE(shown.find(terminal_screen(ABORT)), std::string::npos) << shown;
        EXPECT_EQ(shown.find(" big.bin\n"), std::string::npos) << shown;
    }
}

// Control characters of names show as "?" on a terminal, as ls shows them,
// in every kind of line; a pipe gets the bytes as they are.
TEST(KestoNames, ControlCharactersShowAsQuestionMarks) {
    if (terminal_under_wine()) GTEST_SKIP() << "Windows names cannot hold control characters";
    TempDir dir;
    const std::string name = "a\x1b[7mb\ty\x7f";
    ASSERT_TRUE(std::filesystem::create_directory(dir.file("src")));
    ASSERT_TRUE(write_file(dir.file("src/" + name), "x"));
    const std::string shown = "a?[7mb?y?";
    struct Row {
        std::vector<std::string> args;
        std::string screen;
    } rows[] = {
        {{"/CI", "src/", "dst"}, "Create directory dst\ncreate file      dst/" + shown + "\n"},
        {{"/S", "dst/"}, "              1 bytes dst/" + shown + "\n"},
        {{"/XIN=|true|", "dst/"}, ""},
        {{"/XI=|true $n|", "dst/"}, "true 'dst/" + shown + "'\n"},
    };
    for (const Row& row : rows) {
        PtySession pty;
        ASSERT_TRUE(pty.start(program_path("kesto"), row.args, {"LC_ALL=C", "COMSPEC=/bin/sh"}, dir.path()));
        EXPECT_EQ(pty.wait_exit(), 1);
        EXPECT_EQ(pty.output(), row.screen);
    }
    PtySession listing;
    ASSERT_TRUE(listing.start(program_path("kesto"), {"/!D", "dst/"}, {"LC_ALL=C"}, dir.path()));
    EXPECT_EQ(listing.wait_exit(), 1);
    EXPECT_EQ(listing.output().substr(listing.output().size() - shown.size() - 6), " dst/" + shown + "\n");
    RunOptions piped;
    piped.cwd = dir.path();
    piped.env = {"LC_ALL=C"};
    const RunResult result = run(program_path("kesto"), {"/!D", "dst/"}, piped);
    EXPECT_EQ(result.out.substr(result.out.size() - name.size() - 6), " dst/" + name + "\n");
}

// The Y/N/A/X prompt: other keys ring the bell, X skips every later
// prompt silently until Ctrl+C, A turns prompting off, ESC aborts without
// an echo.
TEST(KestoPrompt, Answers) {
    if (terminal_under_wine())
        GTEST_SKIP() << "Wine's console turns Ctrl+C from the terminal into a break, never a key";
    TempDir dir;
    PtySession pty;
    ASSERT_TRUE(
        pty.start(terminal_program("kesto_prompt"), {"p", "p", "p", "p", "w", "p", "p"}, {"LC_ALL=C"}, dir.path()));
    const std::string prompt = " <Delete:Y, Skip:N, All:A, Skip All:X>? ";
    std::string expected = prompt;
    ASSERT_TRUE(pty.wait_for(expected)) << pty.output();
    pty.send("q");
    expected += "\a";
    ASSERT_TRUE(pty.wait_for(expected)) << pty.output();
    pty.send("y");
    expected += "y[1 1 0]\n" + prompt;
    ASSERT_TRUE(pty.wait_for(expected)) << pty.output();
    pty.send("N");
    expected += "N[0 1 0]\n" + prompt;
    ASSERT_TRUE(pty.wait_for(expected)) << pty.output();
    pty.send("x");
    expected += "x[0 1 1]\n[0 1 1]\n";  // the fourth prompt is not shown
    ASSERT_TRUE(pty.wait_for(expected)) << pty.output();
    pty.send("\x03");  // at the waiting break check: prompts again
    expected += "[0 1 0]\n" + prompt;
    ASSERT_TRUE(pty.wait_for(expected)) << pty.output();
    pty.send("a");
    expected += "a[1 0 0]\n" + prompt;
    ASSERT_TRUE(pty.wait_for(expected)) << pty.output();
    pty.send(ESC);
    expected += std::string(ABORT) + "[-1 0 0]\n";
    EXPECT_EQ(pty.wait_exit(), 0);
    EXPECT_EQ(pty.output(), expected);
}

}  // namespace

// kesto /X run as a process: the $ variables of the entries the walk
// selects, "$;" and empty commands, '$' doubling, names that would run
// commands of their own, the length limit, the display rules, and failing
// starts and children. The commands are echo, which the POSIX shell and
// cmd.exe print alike for these names.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "support/files.h"
#include "support/kesto_tree.h"
#include "support/process.h"
#include "support/temp_dir.h"
#include "support/text.h"

namespace {

using namespace testsupport;

// The short form: Windows upper-cases it.
std::string short_form(std::string path) {
    path = native(path);
    if (on_windows())
        for (char& c : path) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return path;
}

const std::vector<TreeEntry> WIDE = wide_named_files("wide");
const std::vector<TreeEntry> TREE = {
    {"wide", 0, 0, true, 0},
    WIDE[0],
    WIDE[1],
    WIDE[2],
    {"top.txt", 0, 1, false, 1, "t"},
    {"src", 0, 0, true, 0},
    {"src/noext", 0, 0, false, 2},
    {"src/sub", 0, 0, true, 0},
    {"src/sub/read.me", 0, 0, false, 3},
    {"lim", 0, 0, true, 0},
    {"lim/a.txt", 0, 0, false, 4},
    {"lim/bb.txt", 0, 0, false, 5},
    {"odd", 0, 0, true, 0},
    {"odd/d$e.txt", 0, 0, false, 6},
    {"odd/semi;echo bad.txt", 0, 0, false, 7},
    {"odd/x$(echo bad)'s.txt", 0, 0, false, 8},
};

struct Row {
    const char* name;
    std::vector<std::string> args;
    std::string out;
    std::string err;
    int exit_code;
    std::vector<std::string> env = {};
};

class KestoExecute : public ::testing::Test {
protected:
    void SetUp() override { make_tree(dir, TREE); }
    void check(const std::vector<Row>& rows) {
        for (const Row& row : rows) {
            SCOPED_TRACE(row.name);
            RunResult result = run_kesto(dir, row.args, row.env);
            EXPECT_EQ(result.out, with_line_ends(row.out));
            EXPECT_EQ(result.err, with_line_ends(row.err));
            EXPECT_EQ(result.exit_code, row.exit_code);
        }
    }

    TempDir dir;
};

const char ALL[] = "/XIN='echo N=$N n=$n P=$P p=$p S=$S s=$s F=$F f=$f E=$E e=$e V=$V v=$v'";

// Every variable, for files at three places; dates and times in both /Y
// styles; directories after their contents.
TEST_F(KestoExecute, Variables) {
    const std::string sub = "src/sub/read.me";
    check({
        {"file in a subdirectory",
         {ALL, native(sub)},
         "N=" + short_form(sub) + " n=" + native(sub) + " P=" + short_form("src/sub") + " p=" + native("src/sub") +
             " S=" + short_form("src/sub") + " s=" + native("src/sub") + " F=" + short_form("read") +
             " f=read E=" + short_form("me") + " e=me V=. v=.\n",
         "",
         1},
        {"file in the current directory",
         {ALL, "top.txt"},
         "N=" + short_form("top.txt") + " n=top.txt P= p= S=. s=. F=" + short_form("top") +
             " f=top E=" + short_form("txt") + " e=txt V=. v=.\n",
         "",
         1},
        {"file without extension",
         {"/XIN='echo [$N] [$n] [$F] [$E] [$e]'", native("src/noext")},
         "[" + short_form("src/noext") + "] [" + native("src/noext") + "] [" + short_form("noext") + "] [] []\n",
         "",
         1},
        {"dates and times", {"/XIN='echo $D $d $T $t'", "top.txt"}, "24-03-15 240315 12:01:56 120156\n", "", 1},
        {"four-digit years", {"/Y4", "/XIN='echo $D $d'", "top.txt"}, "2024-03-15 20240315\n", "", 1},
        {"directories after their contents",
         {"/XIN='echo $n'", "src"},
         native("src/noext\nsrc/sub/read.me\nsrc/sub\nsrc\n"),
         "",
         2},
    });
}

TEST_F(KestoExecute, FullPaths) {
    std::string folder = native_path(dir.path());
    if (!on_windows()) folder = std::filesystem::canonical(folder).string();
    const std::string drive = on_windows() ? std::string(1, static_cast<char>(std::tolower(folder[0]))) + ":" : ".";
    check({{"A takes the full path",
            {"/XAIN='echo $n $p $v'", "top.txt"},
            folder + native("/top.txt") + " " + folder + " " + drive + "\n",
            "",
            1}});
}

TEST_F(KestoExecute, CommandsAndNames) {
    const std::string show = on_windows() ? "type" : "cat";
    check({
        {"names no code page spells reach the command",
         {"/XIN='" + show + " $n'", native("wide/")},
         "betanihonsmile",
         "",
         3},
        {"two commands for each file",
         {"/XIN='echo 1 $f$;echo 2 $f'", native("lim/")},
         "1 a\n2 a\n1 bb\n2 bb\n",
         "",
         2},
        {"an empty command ends the entry", {"/XIN='echo 1 $f$;$;echo never'", native("lim/")}, "1 a\n1 bb\n", "", 2},
        {"a template that starts with $; runs nothing", {"/XIN='$;echo never'", native("lim/")}, "", "", 2},
        {"F doubles the dollars of names only", {"/XFIN='echo $$ $f'", native("odd/d$e.txt")}, "$ d$$e\n", "", 1},
        // A name is a name, never a command.
        {"names that hold commands", {"/XIN='echo $f'", native("odd/*s*")}, "semi;echo bad\nx$(echo bad)'s\n", "", 2},
    });
}

TEST_F(KestoExecute, DisplayAndFailures) {
    const std::string switch_text = on_windows() ? "/c " : "-c ";
    const std::string padding(1014, 'x');
    check({
        {"shown on standard error", {"/XI='echo $f'", native("lim/")}, "a\nbb\n", "echo a\necho bb\n", 2},
        {"asking without a keyboard aborts",
         {"/X='echo $f'", native("lim/")},
         "\nAbort by user!\n",
         "echo a <Execute:Y, Skip:N, All:A, Skip All:X>? \n",
         1},
        {"N shows the command it asks about",
         {"/XN='echo $f'", native("lim/")},
         "\nAbort by user!\n",
         "echo a <Execute:Y, Skip:N, All:A, Skip All:X>? \n",
         1},
        {"1020 bytes run, 1021 are too long",
         {"/XIN='echo " + padding + "$f'", native("lim/")},
         padding + "a\n",
         "Too long command line to execute!\n[" + switch_text + "echo " + padding + "bb]\n",
         2},
    });
    // (Wine starts its own cmd.exe for any path that ends in cmd.exe.)
    const std::string missing = on_windows() ? "C:\\nonexistent\\sh.exe" : "/nonexistent/sh";
    check({{"a missing interpreter stops the walk",
            {"/XIN='echo $f'", native("lim/")},
            "",
            "file or path not found!\n",
            1,
            {"COMSPEC=" + missing}}});
    // A command that fails does not stop the walk (what the interpreter
    // says about it varies).
    RunResult result = run_kesto(dir, {"/XIN='kesto_no_such_command$;echo $f'", native("lim/")});
    EXPECT_EQ(result.out, with_line_ends("a\nbb\n"));
    EXPECT_NE(result.err, "");
    EXPECT_EQ(result.exit_code, 2);
}

}  // namespace

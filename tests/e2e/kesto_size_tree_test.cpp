// kesto's size totals (/S) and tree drawing (/T) run as a process over
// fixed trees (sizes, attributes and time stamps set through the platform
// layer): whole outputs and exit codes.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/directory.h"
#include "platform/path.h"
#include "platform/time.h"
#include "support/files.h"
#include "support/kesto_tree.h"
#include "support/process.h"
#include "support/temp_dir.h"
#include "support/text.h"

namespace {

using namespace testsupport;

// Sizes chosen for the rounding: 1 byte is one unit of every size, 513
// bytes two halves of a KB, 5000 bytes two 4 KB clusters, 0 bytes nothing,
// 1024 bytes exactly one KB. z.log comes last in its directory.
const std::vector<TreeEntry> TREE = {
    {"src", 0, 0, true, 0},
    {"src/a.txt", plat::ATTR_ARCHIVE | plat::ATTR_READONLY, 1, false, 1},
    {"src/b.c", plat::ATTR_ARCHIVE | plat::ATTR_HIDDEN, 513, false, 2},
    {"src/sub", 0, 0, true, 0},
    {"src/sub/c.c", plat::ATTR_ARCHIVE, 5000, false, 3},
    {"src/sub/deep", 0, 0, true, 0},
    {"src/sub/deep/d.txt", plat::ATTR_ARCHIVE, 0, false, 4},
    {"src/tmp", 0, 0, true, 0},
    {"src/tmp/e.txt", plat::ATTR_ARCHIVE, 1024, false, 5},
    {"src/z.log", plat::ATTR_ARCHIVE, 2, false, 6},
};

std::string grouped(std::uint64_t value) {
    std::string digits = std::to_string(value);
    for (std::size_t i = digits.size(); i > 3; i -= 3) digits.insert(i - 3, ",");
    return digits;
}

class SizeTreeFixture : public ::testing::Test {
protected:
    void make_tree(const std::vector<TreeEntry>& entries) {
        tree = entries;
        testsupport::make_tree(dir, tree);
    }

    // A tree line: its connectors and name as drawn, then the columns of
    // the entry at path, then tail.
    std::string line(const std::string& drawn, const std::string& path, const std::string& tail = "") const {
        const TreeEntry& e = entry_at(tree, path);
        const std::string attributes = attribute_column(e);
        const std::string stamp =
            e.directory ? "23-01-02 03:04:05 " : "24-03-15 12:0" + std::to_string(e.minute) + ":56 ";
        const std::string size = e.directory ? "" : grouped(e.size) + " ";
        return drawn + "        " + attributes + " " + stamp + size + tail + "\n";
    }

    RunResult kesto(const std::vector<std::string>& args) { return run_kesto(dir, args); }

    struct Row {
        const char* name;
        std::vector<std::string> args;
        std::string out;
        int exit_code;
    };

    void check(const std::vector<Row>& rows) {
        for (const Row& row : rows) {
            SCOPED_TRACE(row.name);
            RunResult result = kesto(row.args);
            EXPECT_EQ(result.out, with_line_ends(row.out));
            EXPECT_EQ(result.err, "");
            EXPECT_EQ(result.exit_code, row.exit_code);
        }
    }

    TempDir dir;
    std::vector<TreeEntry> tree;
};

class KestoSizeTest : public SizeTreeFixture {};
class KestoTreeTest : public SizeTreeFixture {};

// The running total in front of each file, in every unit, and the one line
// of /ST; the exit code is the total, at most 254.
TEST_F(KestoSizeTest, Totals) {
    make_tree(TREE);
    const std::vector<std::string> files = {"src/a.txt",          "src/b.c",       "src/sub/c.c",
                                            "src/sub/deep/d.txt", "src/tmp/e.txt", "src/z.log"};
    // Each file's line with the running total given.
    auto lines = [&](const std::vector<std::string>& totals, const std::string& unit) {
        std::string out;
        for (std::size_t i = 0; i < files.size(); ++i) out += totals[i] + unit + native(files[i]) + "\n";
        return out;
    };
    const std::vector<Row> rows = {
        {"bytes",
         {"/S", "src"},
         lines({"              1", "            514", "          5,514", "          5,514", "          6,538",
                "          6,540"},
               " bytes "),
         254},
        {"half KB",
         {"/S0.5", "src"},
         lines({"          1", "          3", "         13", "         13", "         15", "         16"},
               " clusters/.5Kbytes "),
         16},
        {"4 KB",
         {"/S4", "src"},
         lines({"          1", "          2", "          4", "          4", "          5", "          6"},
               " clusters/ 4Kbytes "),
         6},
        {"32 KB",
         {"/S32", "src"},
         lines({"          1", "          2", "          3", "          3", "          4", "          5"},
               " clusters/32Kbytes "),
         5},
        {"total only", {"/ST", "src"}, "          6,540 bytes \n", 254},
        {"total only in clusters", {"/ST0.5", "src"}, "         16 clusters/.5Kbytes \n", 16},
        {"total only of nothing", {"/ST", "nothing*"}, "              0 bytes \n", 0},
        {"source not found: no total", {"/ST", native("none/x")}, "Source file or directory is not found.\n", 255},
        {"filters apply; a total of 0 keeps its 0",
         {"/S0.5", "/!R", native("src/*.txt")},
         "          0 clusters/.5Kbytes " + native("src/sub/deep/d.txt") + "\n" + "          2 clusters/.5Kbytes " +
             native("src/tmp/e.txt") + "\n",
         2},
    };
    check(rows);
}

// Totals past 32 bits, and of a billion units or more: the byte unit keeps
// four groups of three digits up to 10^12, the cluster units three up to
// 10^9; beyond, the first group takes the extra digits.
TEST_F(KestoSizeTest, LargeTotals) {
    const std::uint64_t huge = 1024000000000u;  // 2 * 10^9 half KB clusters
    if (!make_sparse_file(dir.file("big"), static_cast<std::int64_t>(huge), 0, "x"))
        GTEST_SKIP() << "no sparse file of " << huge << " bytes here";
    ASSERT_TRUE(make_sparse_file(dir.file("mid"), 5000000000, 0, "x"));
    const std::vector<Row> rows = {
        {"past 32 bits", {"/S", "mid"}, "  5,000,000,000 bytes mid\n", 254},
        {"past 32 bits in clusters", {"/S0.5", "mid"}, "  9,765,625 clusters/.5Kbytes mid\n", 254},
        {"bytes past 10^12", {"/S", "big"}, "1024,000,000,000 bytes big\n", 254},
        {"a billion clusters", {"/S1", "big"}, "1000,000,000 clusters/ 1Kbytes big\n", 254},
        {"two billion clusters", {"/ST0.5", "big"}, "2000,000,000 clusters/.5Kbytes \n", 254},
    };
    check(rows);
}

// Tree drawings of every source form, depth limits, filters and name
// styles; the exit code is the count of files drawn.
TEST_F(KestoTreeTest, Drawings) {
    make_tree(TREE);
    const std::string whole_tree = line("--- src", "src") + line("     |- a.txt", "src/a.txt") +
                                   line("     |- b.c", "src/b.c") + line("     |- sub", "src/sub") +
                                   line("     |   |- c.c", "src/sub/c.c") + line("     |   +- deep", "src/sub/deep") +
                                   line("     |       +- d.txt", "src/sub/deep/d.txt") +
                                   line("     |- tmp", "src/tmp") + line("     |   +- e.txt", "src/tmp/e.txt") +
                                   line("     +- z.log", "src/z.log");
    // Short names in the twelve columns of an 8.3 name; the system's short
    // form is upper case on Windows and the name itself on POSIX.
    auto short_name = [](std::string name) {
        if (on_windows())
            for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return name;
    };
    const std::vector<Row> rows = {
        {"directory source: the only entry of its level", {"/T", "src"}, whole_tree, 6},
        {"contents of a directory",
         {"/T", native("src/")},
         line("-+- a.txt", "src/a.txt") + line(" |- b.c", "src/b.c") + line(" |- sub", "src/sub") +
             line(" |   |- c.c", "src/sub/c.c") + line(" |   +- deep", "src/sub/deep") +
             line(" |       +- d.txt", "src/sub/deep/d.txt") + line(" |- tmp", "src/tmp") +
             line(" |   +- e.txt", "src/tmp/e.txt") + line(" +- z.log", "src/z.log"),
         6},
        {"depth limit",
         {"/T", "/1", native("src/")},
         line("-+- a.txt", "src/a.txt") + line(" |- b.c", "src/b.c") + line(" |- sub", "src/sub") +
             line(" |   |- c.c", "src/sub/c.c") + line(" |   +- deep", "src/sub/deep", "---not displayed") +
             line(" |- tmp", "src/tmp") + line(" |   +- e.txt", "src/tmp/e.txt") + line(" +- z.log", "src/z.log"),
         5},
        {"depth 0 directory source", {"/T", "/0", "src"}, line("--- src", "src", "---not displayed"), 0},
        {"hidden last entries: the last one shown keeps |-",
         {"/T", native("src/*.txt")},
         line("-+- a.txt", "src/a.txt") + line(" |- sub", "src/sub") + line(" |   +- deep", "src/sub/deep") +
             line(" |       +- d.txt", "src/sub/deep/d.txt") + line(" |- tmp", "src/tmp") +
             line(" |   +- e.txt", "src/tmp/e.txt"),
         3},
        {"excluded directory",
         {"/T", "/O='sub'", "/I='z.log'", "src"},
         line("--- src", "src") + line("     |- a.txt", "src/a.txt") + line("     |- b.c", "src/b.c") +
             line("     |- tmp", "src/tmp") + line("     |   +- e.txt", "src/tmp/e.txt"),
         3},
        {"plain name: the directories and that name in them",
         {"/T", native("src/b.c")},
         line("-+- b.c", "src/b.c") + line(" |- sub", "src/sub") + line(" |   +- deep", "src/sub/deep") +
             line(" |- tmp", "src/tmp"),
         1},
        {"short names in columns",
         {"/T", "/L0", native("src/sub/")},
         line("-+- " + short_name("c       .c  "), "src/sub/c.c") +
             line(" +- " + short_name("deep        "), "src/sub/deep") +
             line("     +- " + short_name("d       .txt"), "src/sub/deep/d.txt"),
         2},
        // The included directory is drawn once: its after-subtree call draws
        // nothing, though its parents have no lines.
        {"included directories only",
         {"/T", "/P='deep,tmp'", "src"},
         line("--- deep", "src/sub/deep") + line("             +- d.txt", "src/sub/deep/d.txt") +
             line("     |- tmp", "src/tmp") + line("     |   +- e.txt", "src/tmp/e.txt"),
         2},
    };
    check(rows);
}

// Deeper than 32 levels the columns are still drawn from the right flags:
// the column of depth 34 carries "|" while y follows x.
TEST_F(KestoTreeTest, DeeperThan32Levels) {
    constexpr int DEPTH = 34;
    std::vector<TreeEntry> entries = {{"top", 0, 0, true, 0}};
    std::string path = "top";
    for (int depth = 0; depth < DEPTH; ++depth) {
        path += "/n";
        entries.push_back({path, 0, 0, true, 0});
    }
    entries.push_back({path + "/x", 0, 0, true, 0});
    entries.push_back({path + "/x/f", plat::ATTR_ARCHIVE, 7, false, 1});
    entries.push_back({path + "/y", plat::ATTR_ARCHIVE, 8, false, 2});
    entries.push_back({"top/z", plat::ATTR_ARCHIVE, 9, false, 3});
    make_tree(entries);

    std::string columns = " |  ";  // z follows n at depth 0
    std::string n = "top";
    std::string expected = line("-+- n", n += "/n");
    for (int depth = 1; depth < DEPTH; ++depth) {
        expected += line(columns + " +- n", n += "/n");
        columns += "    ";
    }
    expected += line(columns + " |- x", n + "/x");
    expected += line(columns + " |   +- f", n + "/x/f");
    expected += line(columns + " +- y", n + "/y");
    expected += line(" +- z", "top/z");
    check({{"deep tree", {"/T", native("top/")}, expected, 3}});
}

}  // namespace

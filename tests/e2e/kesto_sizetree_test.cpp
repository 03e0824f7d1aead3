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
#include "support/process.h"
#include "support/temp_dir.h"
#include "support/text.h"

namespace {

using namespace testsupport;

bool on_windows() { return std::string(line_end()) == "\r\n"; }

// A path written with "/" in the form kesto prints it.
std::string native(std::string path) {
    for (char& c : path)
        if (c == '/') c = plat::path_separator();
    return path;
}

struct Entry {
    std::string path;
    std::uint32_t attributes;  // without the directory bit
    std::uint64_t size;        // files only; a sparse file of this size
    bool directory;
    int minute;                // of a file's last-write stamp
};

// Sizes chosen for the rounding: 1 byte is one unit of every size, 513
// bytes two halves of a KB, 5000 bytes two 4 KB clusters, 0 bytes nothing,
// 1024 bytes exactly one KB. z.log comes last in its directory.
const std::vector<Entry> TREE = {
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

plat::FileTime local_time(int year, int month, int day, int hour, int minute, int second) {
    plat::CalendarTime fields;
    fields.year = year;
    fields.month = month;
    fields.day = day;
    fields.hour = hour;
    fields.minute = minute;
    fields.second = second;
    fields.millisecond = 789;
    plat::FileTime time = 0;
    EXPECT_TRUE(plat::local_to_file_time(fields, time));
    return time;
}

// Files carry distinct stamps on 2024-03-15; directories one on 2023-01-02.
plat::FileTime stamp_of(const Entry& entry) {
    return entry.directory ? local_time(2023, 1, 2, 3, 4, 5) : local_time(2024, 3, 15, 12, entry.minute, 56);
}

std::string grouped(std::uint64_t value) {
    std::string digits = std::to_string(value);
    for (std::size_t i = digits.size(); i > 3; i -= 3) digits.insert(i - 3, ",");
    return digits;
}

class SizeTreeFixture : public ::testing::Test {
protected:
    void make_tree(const std::vector<Entry>& entries) {
        tree = entries;
        for (const Entry& e : tree) {
            const std::string path = native_path(dir.file(e.path));
            if (e.directory)
                ASSERT_TRUE(plat::create_directory(path.c_str())) << e.path;
            else
                ASSERT_TRUE(make_sparse_file(dir.file(e.path), static_cast<std::int64_t>(e.size), 0, "")) << e.path;
        }
        // Deepest first, so that nothing created later touches a stamp.
        for (auto e = tree.rbegin(); e != tree.rend(); ++e) {
            const std::string path = native_path(dir.file(e->path));
            const plat::FileTime time = stamp_of(*e);
            ASSERT_TRUE(plat::set_file_times(path.c_str(), nullptr, &time, &time)) << e->path;
            const std::uint32_t directory = e->directory ? plat::ATTR_DIRECTORY : 0u;
            ASSERT_TRUE(plat::set_attributes(path.c_str(), e->attributes | directory)) << e->path;
        }
    }

    const Entry& entry(const std::string& path) const {
        for (const Entry& e : tree)
            if (path == e.path) return e;
        ADD_FAILURE() << "no entry " << path;
        return tree.front();
    }

    // A tree line: its connectors and name as drawn, then the columns of
    // the entry at path, then tail.
    std::string line(const std::string& drawn, const std::string& path, const std::string& tail = "") const {
        const Entry& e = entry(path);
        std::string attributes = "------";
        if (e.attributes & plat::ATTR_ARCHIVE) attributes[0] = 'a';
        if (e.directory) attributes[1] = 'd';
        if (e.attributes & plat::ATTR_HIDDEN) attributes[4] = 'h';
        if (e.attributes & plat::ATTR_READONLY) attributes[5] = 'r';
        const std::string stamp =
            e.directory ? "23-01-02 03:04:05 " : "24-03-15 12:0" + std::to_string(e.minute) + ":56 ";
        const std::string size = e.directory ? "" : grouped(e.size) + " ";
        return drawn + "        " + attributes + " " + stamp + size + tail + "\n";
    }

    RunResult kesto(const std::vector<std::string>& args) {
        RunOptions options;
        options.env = {"LC_ALL=C"};
        options.cwd = dir.path();
        RunResult result = run(program_path("kesto"), args, options);
        EXPECT_FALSE(result.timed_out);
        return result;
    }

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
    std::vector<Entry> tree;
};

class KestoSizeTest : public SizeTreeFixture {};
class KestoTreeTest : public SizeTreeFixture {};

// The running total in front of each file, in every unit, and the one line
// of /ST; the exit code is the total, at most 254.
TEST_F(KestoSizeTest, Totals) {
    make_tree(TREE);
    const std::vector<std::string> files = {"src/a.txt", "src/b.c", "src/sub/c.c", "src/sub/deep/d.txt",
                                            "src/tmp/e.txt", "src/z.log"};
    // Each file's line with the running total given.
    auto lines = [&](const std::vector<std::string>& totals, const std::string& unit) {
        std::string out;
        for (std::size_t i = 0; i < files.size(); ++i) out += totals[i] + unit + native(files[i]) + "\n";
        return out;
    };
    const std::vector<Row> rows = {
        {"bytes", {"/S", "src"},
         lines({"              1", "            514", "          5,514", "          5,514", "          6,538",
                "          6,540"},
               " bytes "),
         254},
        {"half KB", {"/S0.5", "src"},
         lines({"          1", "          3", "         13", "         13", "         15", "         16"},
               " clusters/.5Kbytes "),
         16},
        {"4 KB", {"/S4", "src"},
         lines({"          1", "          2", "          4", "          4", "          5", "          6"},
               " clusters/ 4Kbytes "),
         6},
        {"32 KB", {"/S32", "src"},
         lines({"          1", "          2", "          3", "          3", "          4", "          5"},
               " clusters/32Kbytes "),
         5},
        {"total only", {"/ST", "src"}, "          6,540 bytes \n", 254},
        {"total only in clusters", {"/ST0.5", "src"}, "         16 clusters/.5Kbytes \n", 16},
        {"total only of nothing", {"/ST", "nothing*"}, "              0 bytes \n", 0},
        {"source not found: no total", {"/ST", native("none/x")}, "Source file or directory is not found.\n", 255},
        {"filters apply; a total of 0 keeps its 0", {"/S0.5", "/!R", native("src/*.txt")},
         "          0 clusters/.5Kbytes " + native("src/sub/deep/d.txt") + "\n" +
             "          2 clusters/.5Kbytes " + native("src/tmp/e.txt") + "\n",
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
    const std::string whole_tree =
        line("--- src", "src") +
        line("     |- a.txt", "src/a.txt") +
        line("     |- b.c", "src/b.c") +
        line("     |- sub", "src/sub") +
        line("     |   |- c.c", "src/sub/c.c") +
        line("     |   +- deep", "src/sub/deep") +
        line("     |       +- d.txt", "src/sub/deep/d.txt") +
        line("     |- tmp", "src/tmp") +
        line("     |   +- e.txt", "src/tmp/e.txt") +
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
        {"contents of a directory", {"/T", native("src/")},
         line("-+- a.txt", "src/a.txt") +
             line(" |- b.c", "src/b.c") +
             line(" |- sub", "src/sub") +
             line(" |   |- c.c", "src/sub/c.c") +
             line(" |   +- deep", "src/sub/deep") +
             line(" |       +- d.txt", "src/sub/deep/d.txt") +
             line(" |- tmp", "src/tmp") +
             line(" |   +- e.txt", "src/tmp/e.txt") +
             line(" +- z.log", "src/z.log"),
         6},
        {"depth limit", {"/T", "/1", native("src/")},
         line("-+- a.txt", "src/a.txt") +
             line(" |- b.c", "src/b.c") +
             line(" |- sub", "src/sub") +
             line(" |   |- c.c", "src/sub/c.c") +
             line(" |   +- deep", "src/sub/deep", "---not displayed") +
             line(" |- tmp", "src/tmp") +
             line(" |   +- e.txt", "src/tmp/e.txt") +
             line(" +- z.log", "src/z.log"),
         5},
        {"depth 0 directory source", {"/T", "/0", "src"}, line("--- src", "src", "---not displayed"), 0},
        {"hidden last entries: the last one shown keeps |-", {"/T", native("src/*.txt")},
         line("-+- a.txt", "src/a.txt") +
             line(" |- sub", "src/sub") +
             line(" |   +- deep", "src/sub/deep") +
             line(" |       +- d.txt", "src/sub/deep/d.txt") +
             line(" |- tmp", "src/tmp") +
             line(" |   +- e.txt", "src/tmp/e.txt"),
         3},
        {"excluded directory", {"/T", "/O='sub'", "/I='z.log'", "src"},
         line("--- src", "src") +
             line("     |- a.txt", "src/a.txt") +
             line("     |- b.c", "src/b.c") +
             line("     |- tmp", "src/tmp") +
             line("     |   +- e.txt", "src/tmp/e.txt"),
         3},
        {"plain name: the directories and that name in them", {"/T", native("src/b.c")},
         line("-+- b.c", "src/b.c") +
             line(" |- sub", "src/sub") +
             line(" |   +- deep", "src/sub/deep") +
             line(" |- tmp", "src/tmp"),
         1},
        {"short names in columns", {"/T", "/L0", native("src/sub/")},
         line("-+- " + short_name("c       .c  "), "src/sub/c.c") +
             line(" +- " + short_name("deep        "), "src/sub/deep") +
             line("     +- " + short_name("d       .txt"), "src/sub/deep/d.txt"),
         2},
        // The included directory is drawn once: its after-subtree call draws
        // nothing, though its parents have no lines.
        {"included directories only", {"/T", "/P='deep,tmp'", "src"},
         line("--- deep", "src/sub/deep") +
             line("             +- d.txt", "src/sub/deep/d.txt") +
             line("     |- tmp", "src/tmp") +
             line("     |   +- e.txt", "src/tmp/e.txt"),
         2},
    };
    check(rows);
}

// Deeper than 32 levels the columns are still drawn from the right flags:
// the column of depth 34 carries "|" while y follows x.
TEST_F(KestoTreeTest, DeeperThan32Levels) {
    constexpr int DEPTH = 34;
    std::vector<Entry> entries = {{"top", 0, 0, true, 0}};
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

// kesto run as a process over a fixed tree (sizes, attributes and time
// stamps set through the platform layer): whole listings, messages and exit
// codes.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
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

// Files carry distinct stamps on 2024-03-15; directories one on 2023-01-02.
const std::vector<TreeEntry> TREE = {
    {"src", 0, 0, true, 0},
    {"src/a.txt", plat::ATTR_ARCHIVE | plat::ATTR_READONLY, 6, false, 1, "hello\n"},
    {"src/b.c", plat::ATTR_ARCHIVE | plat::ATTR_HIDDEN, 9, false, 2, "123456789"},
    {"src/sub", 0, 0, true, 0},
    {"src/sub/c.c", plat::ATTR_ARCHIVE, 3, false, 3, "abc"},
    {"src/sub/deep", 0, 0, true, 0},
    {"src/sub/deep/d.txt", plat::ATTR_ARCHIVE, 0, false, 4},
    {"src/tmp", 0, 0, true, 0},
    {"src/tmp/e.txt", plat::ATTR_ARCHIVE, 1000, false, 5, std::string(1000, 'x')},
};

// The listing line of an entry as /L1 /Y2 without CRC prints it.
std::string line_of(const TreeEntry& entry, const std::string& shown, const std::string& crc = "") {
    const std::string attributes = attribute_column(entry);
    char size[32];
    if (entry.directory) {
        std::snprintf(size, sizeof size, "%15s", "");
    } else {
        std::string grouped = std::to_string(entry.size);
        if (grouped.size() > 3) grouped.insert(grouped.size() - 3, ",");
        std::snprintf(size, sizeof size, "%14s ", grouped.c_str());
    }
    char stamp[32];
    if (entry.directory)
        std::snprintf(stamp, sizeof stamp, "23-01-02 03:04:05.00 ");
    else
        std::snprintf(stamp, sizeof stamp, "24-03-15 12:%02d:56.78 ", entry.minute);
    return attributes + size + stamp + crc + shown_name(native(shown)) + "\n";
}

const TreeEntry& entry(const std::string& path) { return entry_at(TREE, path); }

class KestoTest : public ::testing::Test {
protected:
    void SetUp() override { make_tree(dir, TREE); }
    void set_stamp(const TreeEntry& e) { testsupport::set_stamp(dir, e); }
    RunResult kesto(const std::vector<std::string>& args, std::vector<std::string> env = {}) {
        return run_kesto(dir, args, std::move(env));
    }

    TempDir dir;
};

// Listings of the tree: every source form and filter, whole output and the
// count of selected files. List values are quoted with "'", a quote
// character on every system. Each shown path is the entry's path with the
// leading `from` text replaced by `to`.
struct ListRow {
    const char* name;
    std::vector<std::string> args;
    std::vector<std::string> entries;
    int exit_code;
    std::string from = "";
    std::string to = "";
};

TEST_F(KestoTest, Listings) {
    const std::vector<std::string> all = {
        "src",          "src/a.txt",          "src/b.c", "src/sub",      "src/sub/c.c",
        "src/sub/deep", "src/sub/deep/d.txt", "src/tmp", "src/tmp/e.txt"};
    const std::vector<std::string> inside(all.begin() + 1, all.end());
    const std::vector<ListRow> rows = {
        {"no arguments: the current directory, whole tree", {}, all, 5},
        {"directory source: itself and its tree", {"src"}, all, 5},
        {"trailing separator: its contents", {native("src/")}, inside, 5},
        {"*.*: reduced to *", {native("src/*.*")}, inside, 5},
        {"/0 directory source: not entered", {"/0", "src"}, {"src"}, 0},
        {"/0 trailing separator: one level", {"/0", native("src/")}, {"src/a.txt", "src/b.c", "src/sub", "src/tmp"}, 2},
        {"/1 limits the depth",
         {"/1", native("src/")},
         {"src/a.txt", "src/b.c", "src/sub", "src/sub/c.c", "src/sub/deep", "src/tmp", "src/tmp/e.txt"},
         4},
        {"pattern at every depth", {"*.c"}, {"src/b.c", "src/sub/c.c"}, 2},
        {"plain name selects it at every depth", {native("src/c.c")}, {"src/sub/c.c"}, 1},
        {"pattern matching nothing: no message", {"nothing*"}, {}, 0},
        {"pattern ? at the end matches nothing", {native("src/b.c?")}, {"src/b.c"}, 1},
        {"*. selects names without a dot", {native("src/*.")}, {"src/sub", "src/sub/deep", "src/tmp"}, 0},
        {"dot source: its contents", {"."}, all, 5, "", "./"},
        {"dot last component", {native("src/.")}, inside, 5, "src/", "src/./"},
        {"dot-dot last component", {native("src/sub/..")}, inside, 5, "src/", "src/sub/../"},
        {"/W includes files",
         {"/W='*.txt'", "src"},
         {"src", "src/a.txt", "src/sub", "src/sub/deep", "src/sub/deep/d.txt", "src/tmp", "src/tmp/e.txt"},
         3},
        {"/I excludes files",
         {"/I='*.txt,b*'", "src"},
         {"src", "src/sub", "src/sub/c.c", "src/sub/deep", "src/tmp"},
         1},
        {"/W element with a path",
         {"/W='" + native("sub/*.c") + "'", "src"},
         {"src", "src/sub", "src/sub/c.c", "src/sub/deep", "src/tmp"},
         1},
        {"/W element with a path deeper than the tree",
         {"/W='" + native("x/src/*.c") + "'", "src"},
         {"src", "src/sub", "src/sub/deep", "src/tmp"},
         0},
        {"/W quoted value", {"/W=\"a.txt\"", "src"}, {"src", "src/a.txt", "src/sub", "src/sub/deep", "src/tmp"}, 1},
        {"/O keeps a subtree out",
         {"/O='tmp'", "src"},
         {"src", "src/a.txt", "src/b.c", "src/sub", "src/sub/c.c", "src/sub/deep", "src/sub/deep/d.txt"},
         4},
        {"/P operates inside included directories",
         {"/P='sub'", "src"},
         {"src/sub", "src/sub/c.c", "src/sub/deep", "src/sub/deep/d.txt"},
         2},
        {"/P nested name", {"/P='deep'", "src"}, {"src/sub/deep", "src/sub/deep/d.txt"}, 1},
        {"/=: any of the attributes", {"/=RH", native("src/")}, {"src/a.txt", "src/b.c"}, 2},
        {"/&: all of the attributes", {"/&AR", native("src/")}, {"src/a.txt"}, 1},
        {"/!: none of the attributes",
         {"/!HD", native("src/")},
         {"src/a.txt", "src/sub/c.c", "src/sub/deep/d.txt", "src/tmp/e.txt"},
         4},
        {"/A lower bound excluded",
         {"/A2024-03-15,12:02:56.789", native("src/")},
         {"src/sub/c.c", "src/sub/deep/d.txt", "src/tmp/e.txt"},
         3},
        {"/AE lower bound included",
         {"/AE2024-03-15,12:02:56.789", native("src/")},
         {"src/b.c", "src/sub/c.c", "src/sub/deep/d.txt", "src/tmp/e.txt"},
         4},
        {"/B upper bound excluded", {"/B2024-03-15,12:02:56.789", native("src/")}, {"src/a.txt"}, 1},
        {"/BE upper bound included", {"/BE2024-03-15,12:02:56.789", native("src/")}, {"src/a.txt", "src/b.c"}, 2},
        {"/VV of a tree against itself: no discord, every file the same", {"/VV", "src"}, {}, 5},
    };
    for (const ListRow& row : rows) {
        SCOPED_TRACE(row.name);
        std::string expected;
        for (const std::string& path : row.entries)
            expected += line_of(entry(path), row.to + path.substr(row.from.size()));
        RunResult result = kesto(row.args);
        EXPECT_EQ(result.out, with_line_ends(expected));
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.exit_code, row.exit_code);
    }
}

// /F: CRC-16, CRC-32, start values and the read test; directories get
// blanks where files have the CRC.
TEST_F(KestoTest, CrcColumns) {
    struct Row {
        const char* name;
        std::vector<std::string> args;
        std::vector<std::pair<std::string, std::string>> lines;  // entry, CRC column
        std::vector<TreeEntry> more = {};                        // entries added to the tree for good
    };
    const std::vector<TreeEntry> wide = wide_named_files(native("src/wide"));
    const std::vector<Row> rows = {
        {"CRC-16", {"/F", "/0", "src"}, {{"src", "     "}}},
        {"CRC-16 of files",
         {"/F", native("src/sub/")},
         {{"src/sub/c.c", "9738 "}, {"src/sub/deep", "     "}, {"src/sub/deep/d.txt", "0000 "}}},
        {"CRC-32 of files",
         {"/FD", native("src/sub/")},
         {{"src/sub/c.c", "352441c2 "}, {"src/sub/deep", "         "}, {"src/sub/deep/d.txt", "00000000 "}}},
        {"check values", {"/F", native("src/b.c")}, {{"src/b.c", "BB3D "}}},
        {"check values CRC-32", {"/FD", native("src/b.c")}, {{"src/b.c", "cbf43926 "}}},
        {"CRC-16 from FFFF", {"/FIFFFF", native("src/b.c")}, {{"src/b.c", "4B37 "}}},
        {"CRC-32 from 0", {"/FDI0", native("src/b.c")}, {{"src/b.c", "d202d277 "}}},
        {"more than one block", {"/FD", native("src/tmp/e.txt")}, {{"src/tmp/e.txt", "3b41c9e6 "}}},
        {"read test: no column", {"/FN", native("src/tmp/")}, {{"src/tmp/e.txt", ""}}},
        {"speed column of a short read", {"/FP", native("src/sub/c.c")}, {{"src/sub/c.c", "9738 -----KB/sec "}}},
        {"speed column of a directory", {"/FP", "/0", "src"}, {{"src", "                 "}}},
        {"names no code page spells: * and ? match them, their files are read",
         {"/FD", native("src/wide/*.???")},
         {{wide[0].path, "8f910463 "}, {wide[1].path, "a8a52717 "}, {wide[2].path, "028a030f "}},
         {{native("src/wide"), 0, 0, true, 0}, wide[0], wide[1], wide[2]}},
        {"a character beyond the plane is one", {"/F", native("src/wide/?.dat")}, {{wide[2].path, "5024 "}}},
    };
    std::vector<TreeEntry> tree = TREE;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        make_tree(dir, row.more);
        tree.insert(tree.end(), row.more.begin(), row.more.end());
        std::string expected;
        for (const auto& [path, crc] : row.lines) expected += line_of(entry_at(tree, path), path, crc);
        RunResult result = kesto(row.args);
        EXPECT_EQ(result.out, with_line_ends(expected));
        EXPECT_EQ(result.err, "");
    }
}

// A big file crosses many blocks: its CRC must not depend on them.
TEST_F(KestoTest, CrcOfLargeSparseFile) {
    const std::string name = "big.bin";
    ASSERT_TRUE(make_sparse_file(dir.file(name), (1 << 20) + 17, 1 << 19, "mark"));
    RunResult result = kesto({"/FD", name});
    // The file's contents: zeros with "mark" at 512 KiB.
    EXPECT_NE(result.out.find(" 09266298 big.bin"), std::string::npos) << result.out;
    EXPECT_EQ(result.exit_code, 1);
    // A read that fails past the first block: a message, no line.
    result = kesto({"/FD", name}, {"SUITE_FAULTS=read:2:io"});
    EXPECT_EQ(result.out, with_line_ends("Read file big.bin failed!\n"));
    EXPECT_EQ(result.exit_code, 1);
}

// Files that cannot be read get a message and no line; /FE goes on.
TEST_F(KestoTest, UnreadableFiles) {
    struct Row {
        const char* name;
        std::vector<std::string> args;
        std::string fault;
        std::string out;
        int exit_code;
    };
    const TreeEntry& b = entry("src/b.c");
    const TreeEntry& a = entry("src/a.txt");
    const std::string open_error = on_windows() ? "(5/0x5)" : "(13/0xD)";
    const std::vector<Row> rows = {
        {"read error stops the walk",
         {"/F", "/0", native("src/")},
         "read:1:io",
         "Read file " + native("src/a.txt") + " failed!\n",
         1},
        {"read error with /FE goes on",
         {"/FE", "/0", native("src/")},
         "read:1:io",
         "Read file " + native("src/a.txt") + " failed!\n" + line_of(b, "src/b.c", "BB3D ") +
             line_of(entry("src/sub"), "src/sub", "     ") + line_of(entry("src/tmp"), "src/tmp", "     "),
         2},
        {"open error with /FE goes on",
         {"/FDE", "/0", native("src/")},
         "open:2:access",
         line_of(a, "src/a.txt", "363a3020 ") + "Cannot opepn file " + native("src/b.c") + "!" + open_error + "\n" +
             line_of(entry("src/sub"), "src/sub", "         ") + line_of(entry("src/tmp"), "src/tmp", "         "),
         2},
        {"read test reports too",
         {"/FN", native("src/b.c")},
         "read:1:io",
         "Read file " + native("src/b.c") + " failed!\n",
         1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        RunResult result = kesto(row.args, {"SUITE_FAULTS=" + row.fault});
        EXPECT_EQ(result.out, with_line_ends(row.out));
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.exit_code, row.exit_code);
    }
}

// Messages and exit codes of the driver.
TEST_F(KestoTest, DriverOutcomes) {
    struct Row {
        const char* name;
        std::vector<std::string> args;
        std::string out;
        std::string err;
        int exit_code;
        std::vector<std::string> env = {};
    };
    const std::vector<Row> rows = {
        {"source not found", {native("none/x")}, "Source file or directory is not found.\n", "", 255},
        {"source not found, Japanese",
         {native("none/x")},
         japanese_output("ソースファイルまたはディレクトリが見つかりません.\n", "ja_JP.UTF-8"),
         "",
         255,
         {"LC_ALL=ja_JP.UTF-8"}},
        {"/E forces English",
         {"/E", native("none/x")},
         "Source file or directory is not found.\n",
         "",
         255,
         {"LC_ALL=ja_JP.UTF-8"}},
        {"parameter error", {"/Z", "src"}, "Parameter error. [/Z]\nUse /? option to show usage.\n", "", 255},
        {"same directory", {"/C", native("src/"), "src"}, "Source and destination are same directory.\n", "", 255},
        {"destination root cannot be created",
         {"/C", "src", native("none/x")},
         "Create directory " + native("none/x") + "\nCannot create directory!" +
             (on_windows() ? "(3/0x3)" : "(2/0x2)") + "\n",
         "",
         255},
        {"buffer not reserved", {"/F", "src"}, "Out of memory!\n", "", 255, {"SUITE_FAULTS=alloc:1:12"}},
        {"debug lines show the quotes stripped",
         {"/0", "\"src\""},
         line_of(entry("src"), "src"),
         "src:[\"src\"],dst:[]\nsrc:[src],dst:[]\n",
         0,
         {"kestodebug=1"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        RunResult result = kesto(row.args, row.env);
        EXPECT_EQ(result.out, with_line_ends(row.out));
        EXPECT_EQ(result.err, with_line_ends(row.err));
        EXPECT_EQ(result.exit_code, row.exit_code);
    }
}

TEST_F(KestoTest, UsageWinsOverParameterErrors) {
    RunResult result = kesto({"/Z", "/?"});
    EXPECT_EQ(result.out.rfind(with_line_ends("Parameter error. [/Z]\nUse /? option to show usage.\n"), 0), 0u);
    EXPECT_NE(result.out.find("Version 6.01"), std::string::npos);
    EXPECT_EQ(result.exit_code, 0);
}

// The count in the exit code stops at 254.
TEST_F(KestoTest, CountCappedAt254) {
    for (int files : {253, 300}) {
        TempDir many;
        for (int i = 0; i < files; ++i) ASSERT_TRUE(write_file(many.file("f" + std::to_string(i)), ""));
        RunOptions options;
        options.cwd = many.path();
        RunResult result = run(program_path("kesto"), {}, options);
        EXPECT_EQ(result.exit_code, files == 300 ? 254 : 253);
    }
}

// A link back to a directory open above is listed, not entered; another
// link to a directory is entered.
TEST_F(KestoTest, LinkLoopIsNotEntered) {
    std::error_code error;
    std::filesystem::create_directory_symlink("..", dir.file("src/sub/up"), error);
    if (error) GTEST_SKIP() << "no directory links here";
    std::filesystem::create_directory_symlink(native("../tmp"), dir.file("src/sub/tmplink"), error);
    ASSERT_FALSE(error);
    set_stamp(entry("src/sub"));
    RunResult result = kesto({"/I='*.c'", "src"});
    const std::string expected =
        line_of(entry("src"), "src") + line_of(entry("src/a.txt"), "src/a.txt") + line_of(entry("src/sub"), "src/sub") +
        line_of(entry("src/sub/deep"), "src/sub/deep") + line_of(entry("src/sub/deep/d.txt"), "src/sub/deep/d.txt") +
        line_of(entry("src/tmp"), "src/sub/tmplink") + line_of(entry("src/tmp/e.txt"), "src/sub/tmplink/e.txt") +
        line_of(entry("src"), "src/sub/up") + line_of(entry("src/tmp"), "src/tmp") +
        line_of(entry("src/tmp/e.txt"), "src/tmp/e.txt");
    EXPECT_EQ(result.out, with_line_ends(expected));
    EXPECT_EQ(result.exit_code, 4);
}

// "/" separates path components on every system (Windows names cannot hold
// it): the source's directory part ends at the last one, whatever the
// spelling. Each row is the number of files the source selects.
TEST_F(KestoTest, SlashSeparatesOnEverySystem) {
    std::string full = dir.path();
    for (char& c : full)
        if (c == '\\') c = '/';
    const std::vector<std::pair<std::string, int>> rows = {
        {"src/sub", 2}, {"src/*.txt", 3}, {full + "/src/*.txt", 3}, {"src/sub/", 2}, {"src/tmp/e.txt", 1}};
    for (const auto& [source, count] : rows) {
        SCOPED_TRACE(source);
        // A POSIX absolute path follows the end of the options.
        EXPECT_EQ(kesto(source[0] == '/' ? std::vector<std::string>{"--", source} : std::vector<std::string>{source})
                      .exit_code,
                  count);
    }
}

// Under a Shift-JIS locale a name whose bytes end on a lead byte still ends
// at the separator behind it: the plain name below it is selected, and a
// copy creates the directory. (The last two names are no UTF-8, which a
// POSIX name may be all the same.)
TEST(KestoShiftJis, NamesEndingOnALeadByte) {
    if (on_windows()) GTEST_SKIP() << "Windows names are in the console's code page";
    for (const std::string name : {"\xE3\x81\x82", "\xE3\x81\x9F", "x\xE0", "x\xFC"}) {
        SCOPED_TRACE(name);
        TempDir dir;
        ASSERT_TRUE(plat::create_directory(dir.file("src").c_str()));
        ASSERT_TRUE(plat::create_directory(dir.file("src/" + name).c_str()));
        ASSERT_TRUE(write_file(dir.file("src/memo.txt"), "top"));
        ASSERT_TRUE(write_file(dir.file("src/" + name + "/memo.txt"), "inside"));
        const std::vector<std::string> sjis = {"LC_ALL=ja_JP.SJIS"};
        EXPECT_EQ(run_kesto(dir, {"/E", "src/memo.txt"}, sjis).exit_code, 2);
        EXPECT_EQ(run_kesto(dir, {"/E", "/CI", "src/", "dst"}, sjis).exit_code, 2);
        EXPECT_EQ(read_file(dir.file("dst/" + name + "/memo.txt")), "inside");
    }
}

// A path beyond the buffers is reported and skipped, never cut short.
TEST_F(KestoTest, OverlongPathIsSkipped) {
    if (on_windows()) GTEST_SKIP() << "the system refuses such paths itself";
    std::string path = "long";
    const std::string part(200, 'd');
    ASSERT_TRUE(plat::create_directory(dir.file(path).c_str()));
    for (int i = 0; i < 6; ++i) {
        path += "/" + part;
        ASSERT_TRUE(plat::create_directory(dir.file(path).c_str()));
    }
    ASSERT_TRUE(write_file(dir.file("long/a.txt"), "x"));
    RunResult result = kesto({"/!D", "long/"});
    // The sixth level's path is 1,210 bytes: reported, neither listed nor
    // entered; the walk goes on.
    const std::string report = "Path " + path + " is too long!\n";
    ASSERT_GT(result.out.size(), report.size());
    EXPECT_EQ(result.out.substr(result.out.size() - report.size()), report);
    EXPECT_NE(result.out.find(" long/a.txt\n"), std::string::npos);
    EXPECT_EQ(result.exit_code, 1);
}

}  // namespace

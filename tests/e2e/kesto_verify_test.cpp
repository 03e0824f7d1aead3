// kesto /V (verify) and /R, /RV (delete) run as a process over a source
// tree and a destination tree that differ in known ways: whole output,
// exit code, and what is left on disk.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "platform/directory.h"
#include "platform/time.h"
#include "support/files.h"
#include "support/kesto_tree.h"
#include "support/process.h"
#include "support/temp_dir.h"
#include "support/text.h"

namespace {

using namespace testsupport;

constexpr std::uint32_t A = plat::ATTR_ARCHIVE;
constexpr std::uint32_t PROTECTED = plat::ATTR_ARCHIVE | plat::ATTR_READONLY | plat::ATTR_HIDDEN | plat::ATTR_SYSTEM;

// Walk order: attr.txt byte.txt date.txt empty equal.txt gone.txt kind
// long.txt only sub sub/c.c. Each file differs from its destination in the
// one way its name says.
const std::vector<TreeEntry> TREE = {
    {"src", 0, 0, true, 0},
    {"src/attr.txt", A, 1, false, 1, "x"},
    {"src/byte.txt", A, 9, false, 2, "123456789"},
    {"src/date.txt", A, 1, false, 3, "d"},
    {"src/empty", A, 0, false, 4},
    {"src/equal.txt", PROTECTED, 6, false, 5, "hello\n"},
    {"src/gone.txt", A, 1, false, 6, "g"},
    {"src/kind", A, 1, false, 7, "k"},
    {"src/long.txt", A, 3, false, 8, "abc"},
    {"src/only", plat::ATTR_READONLY | plat::ATTR_HIDDEN, 0, true, 0},
    {"src/sub", 0, 0, true, 0},
    {"src/sub/c.c", A, 3, false, 9, "abc"},
    {"dst", 0, 0, true, 0},
    {"dst/attr.txt", A | plat::ATTR_HIDDEN, 1, false, 1, "x"},
    {"dst/byte.txt", A, 9, false, 2, "123456780"},
    {"dst/date.txt", A, 1, false, 10, "d"},
    {"dst/empty", A, 0, false, 4},
    {"dst/equal.txt", PROTECTED, 6, false, 5, "hello\n"},
    {"dst/kind", 0, 0, true, 0},
    {"dst/long.txt", A, 4, false, 8, "abcd"},
    {"dst/sub", 0, 0, true, 0},
    {"dst/sub/c.c", A, 3, false, 9, "abc"},
};

const std::vector<std::string> SOURCE_FILES = {"attr.txt", "byte.txt", "date.txt", "empty",  "equal.txt",
                                               "gone.txt", "kind",     "long.txt", "sub/c.c"};

std::string file_line(const std::string& name, const std::string& verdict) {
    return "Verify file      " + native("dst/" + name) + " " + verdict + "\n";
}
std::string directory_line(const std::string& name, const std::string& verdict) {
    return "Verify directory " + native("dst/" + name) + " " + verdict + "\n";
}
std::string delete_line(const std::string& name, const std::string& rest = "") {
    return "delete file      " + native("src/" + name) + rest + "\n";
}

class KestoVerify : public ::testing::Test {
public:
    void SetUp() override { make_tree(dir, TREE); }
    RunResult kesto(const std::vector<std::string>& args, std::vector<std::string> env = {}) {
        return run_kesto(dir, args, std::move(env));
    }

protected:
    // The source files still there.
    std::vector<std::string> kept() {
        std::vector<std::string> names;
        for (const std::string& name : SOURCE_FILES)
            if (file_exists(dir.file("src/" + name))) names.push_back(name);
        return names;
    }

    TempDir dir;
};

struct OutputRow {
    const char* name;
    std::vector<std::string> args;
    std::string out;
    int exit_code;
    std::vector<std::string> env = {};
};

void expect_rows(KestoVerify& test, const std::vector<OutputRow>& rows) {
    for (const OutputRow& row : rows) {
        SCOPED_TRACE(row.name);
        RunResult result = test.kesto(row.args, row.env);
        EXPECT_EQ(result.out, with_line_ends(row.out));
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.exit_code, row.exit_code);
    }
}

// Every letter of /V over the whole tree; the exit code counts the files
// found the same.
TEST_F(KestoVerify, Verdicts) {
    const std::string src = native("src/");
    const std::string not_found = "is not found.";
    const std::vector<OutputRow> rows = {
        {"contents",
         {"/V", src, "dst"},
         file_line("attr.txt", "is same.") + file_line("byte.txt", "is different.") +
             file_line("date.txt", "is same.") + file_line("empty", "is same.") + file_line("equal.txt", "is same.") +
             file_line("gone.txt", not_found) + file_line("kind", not_found) + file_line("long.txt", "is different.") +
             directory_line("only", not_found) + directory_line("sub", "is exist.") + file_line("sub/c.c", "is same."),
         5},
        {"contents, discords only",
         {"/VV", src, "dst"},
         file_line("byte.txt", "is different.") + file_line("gone.txt", not_found) + file_line("kind", not_found) +
             file_line("long.txt", "is different.") + directory_line("only", not_found),
         5},
        {"attributes, size and date",
         {"/VN", src, "dst"},
         file_line("attr.txt", "attrib:--h- are different.") + file_line("byte.txt", "is same.") +
             file_line("date.txt", "date, are different.") + file_line("empty", "is same.") +
             file_line("equal.txt", "is same.") + file_line("gone.txt", not_found) + file_line("kind", not_found) +
             file_line("long.txt", "size, are different.") + directory_line("only", not_found) +
             directory_line("sub", "attribute is same.") + file_line("sub/c.c", "is same."),
         4},
        {"archive bit only: a hidden destination is the same",
         {"/VAV", src, "dst"},
         file_line("gone.txt", not_found) + file_line("kind", not_found) + directory_line("only", not_found),
         7},
        {"size only",
         {"/VLV", native("src/*.txt"), "dst"},
         file_line("gone.txt", not_found) + file_line("long.txt", "size, are different."),
         4},
        {"hidden bit and date",
         {"/VHDV", native("src/*.txt"), "dst"},
         file_line("attr.txt", "attrib:--h- are different.") + file_line("date.txt", "date, are different.") +
             file_line("gone.txt", not_found),
         3},
        {"Japanese",
         {"/VNV", native("src/*.txt"), "dst"},
         japanese_output("照合ファイル     " + native("dst/attr.txt") + " 属性--h-が違います.\n" + "照合ファイル     " +
                             native("dst/date.txt") + " 日付が違います.\n" + "照合ファイル     " +
                             native("dst/gone.txt") + " が見つかりません.\n" + "照合ファイル     " +
                             native("dst/long.txt") + " サイズが違います.\n",
                         "ja_JP.UTF-8"),
         2,
         {"LC_ALL=ja_JP.UTF-8"}},
        {"progress of a compare",
         {"/VP", native("src/equal.txt"), "dst"},
         file_line("equal.txt", "(100%,-----KB/sec) is same."),
         1},
    };
    expect_rows(*this, rows);
}

// /V2: last-write times less than two seconds apart are the same.
TEST_F(KestoVerify, TwoSecondTolerance) {
    const plat::FileTime base = local_time(2024, 3, 15, 12, 0, 0, 0);
    const plat::FileTime near = base + 19000000, far = base + 20000000;
    const std::string source = native_path(dir.file("src/date.txt")), dest = native_path(dir.file("dst/date.txt"));
    ASSERT_TRUE(plat::set_file_times(source.c_str(), nullptr, nullptr, &base));
    const std::string different = file_line("date.txt", "date, are different.");
    const struct {
        plat::FileTime dest_time;
        const char* option;
        std::string out;
        int exit_code;
    } rows[] = {
        {near, "/VD", different, 0},
        {near, "/VD2", file_line("date.txt", "is same."), 1},
        {far, "/VD2", different, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.option);
        ASSERT_TRUE(plat::set_file_times(dest.c_str(), nullptr, nullptr, &row.dest_time));
        RunResult result = kesto({row.option, native("src/date.txt"), "dst"});
        EXPECT_EQ(result.out, with_line_ends(row.out));
        EXPECT_EQ(result.exit_code, row.exit_code);
    }
}

// A difference past the first block is found, in a file compared by
// reading and in one compared through maps; a destination longer than the
// source would be compared only over the source's length (the sizes differ
// first, so /RV keeps it).
TEST_F(KestoVerify, DifferenceBeyondTheFirstBlock) {
    for (std::uint64_t size : {200000, 3 << 20}) {
        SCOPED_TRACE(size);
        const std::uint64_t at = size * 3 / 4;
        ASSERT_TRUE(make_sparse_file(dir.file("src/big.bin"), size, at, "x"));
        ASSERT_TRUE(make_sparse_file(dir.file("dst/big.bin"), size, at, "y"));
        RunResult result = kesto({"/V", native("src/big.bin"), "dst"});
        EXPECT_EQ(result.out, with_line_ends(file_line("big.bin", "is different.")));
        ASSERT_TRUE(make_sparse_file(dir.file("dst/big.bin"), size, at, "x"));
        result = kesto({"/V", native("src/big.bin"), "dst"});
        EXPECT_EQ(result.out, with_line_ends(file_line("big.bin", "is same.")));
        EXPECT_EQ(result.exit_code, 1);
    }
}

// Every failure of a content compare: /V stops the walk, /VE ends the line
// and goes on; /RV stops even with E and keeps the file.
TEST_F(KestoVerify, CompareFailures) {
    const std::string open_error = on_windows() ? "(5/0x5)" : "(13/0xD)";
    const std::string source = native("src/equal.txt"), dest = native("dst/equal.txt");
    const std::string header = "Verify file      " + dest + " ";
    struct Row {
        const char* fault;
        std::string message;
    };
    const std::vector<Row> rows = {
        {"open:1:access", "Cannot open source file " + source + "!" + open_error},
        {"open:2:access", "Cannot open destination file " + dest + "!" + open_error},
        {"read:1:io", "Read source file " + source + " failed!"},
        {"read:2:io", "Read destination file " + dest + " failed!"},
        {"close:1:io", "Close destination file " + dest + " failed!"},
        {"close:2:io", "Close source file " + source + " failed!"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fault);
        const std::vector<std::string> env = {std::string("SUITE_FAULTS=") + row.fault};
        RunResult result = kesto({"/V", source, "dst"}, env);
        EXPECT_EQ(result.out, with_line_ends(header + "\n" + row.message));
        EXPECT_EQ(result.exit_code, 0);
        result = kesto({"/RVIE", source, "dst"}, env);
        EXPECT_EQ(result.out, with_line_ends("delete file      " + source + row.message));
        EXPECT_EQ(result.exit_code, 0);
        EXPECT_TRUE(file_exists(dir.file("src/equal.txt")));
    }
    // With E the walk goes on after the first file.
    RunResult result = kesto({"/VVE", native("src/*.txt"), "dst"}, {"SUITE_FAULTS=open:1:access"});
    EXPECT_EQ(
        result.out,
        with_line_ends(file_line("attr.txt", "\nCannot open source file " + native("src/attr.txt") + "!" + open_error) +
                       file_line("byte.txt", "is different.") + file_line("gone.txt", "is not found.") +
                       file_line("long.txt", "is different.")));
    EXPECT_EQ(result.exit_code, 2);
}

// /RV deletes only the files equal to their destination and says why it
// keeps the others; the exit code counts the deleted files.
TEST_F(KestoVerify, DeleteVerified) {
    RunResult result = kesto({"/RVI", native("src/"), "dst"});
    const std::string not_found = "  Verify file is not found.";
    EXPECT_EQ(
        result.out,
        with_line_ends(delete_line("attr.txt", "  Verify done.") + delete_line("byte.txt", "  Verify different.") +
                       delete_line("date.txt", "  Verify done.") + delete_line("empty", "  Verify done.") +
                       delete_line("equal.txt", "  Verify done.") + delete_line("gone.txt", not_found) +
                       delete_line("kind", not_found) + delete_line("long.txt", "  Verify file size is different.") +
                       "delete directory " + native("src/only") + "\n" + delete_line("sub/c.c", "  Verify done.") +
                       "delete directory " + native("src/sub") + "\n"));
    EXPECT_EQ(result.exit_code, 5);
    EXPECT_EQ(kept(), (std::vector<std::string>{"byte.txt", "gone.txt", "kind", "long.txt"}));
    EXPECT_FALSE(file_exists(dir.file("src/sub")));
    EXPECT_TRUE(file_exists(dir.file("dst/equal.txt")));
}

// /R removes everything selected, protected files and directories
// included; the exit code counts the selected files.
TEST_F(KestoVerify, DeleteTree) {
    RunResult result = kesto({"/RI", native("src/")});
    std::string expected;
    for (const std::string& name : SOURCE_FILES) {
        if (name == "sub/c.c") expected += "delete directory " + native("src/only") + "\n";
        expected += delete_line(name);
    }
    expected += "delete directory " + native("src/sub") + "\n";
    EXPECT_EQ(result.out, with_line_ends(expected));
    EXPECT_EQ(result.exit_code, 9);
    EXPECT_TRUE(kept().empty());
    EXPECT_FALSE(file_exists(dir.file("src/only")));
    EXPECT_TRUE(file_exists(dir.file("src")));
}

// Removal failures: the injected faults of each step, then a directory
// that keeps an unselected file.
TEST_F(KestoVerify, DeleteFailures) {
    const std::string c = native("src/sub/c.c"), sub = native("src/sub"), only = native("src/only");
    const std::string equal = native("src/equal.txt");
    const std::vector<OutputRow> rows = {
        {"file attributes",
         {"/RI", equal},
         "delete file      " + equal + "\nChagne file " + equal + " attributes failed!",
         1,
         {"SUITE_FAULTS=setattr:1:access"}},
        {"file removal with E",
         {"/RIE", equal},
         delete_line("equal.txt", "\nDelete file " + equal + " failed!"),
         1,
         {"SUITE_FAULTS=remove:1:access"}},
        {"directory attributes",
         {"/RI", only},
         "delete directory " + only + "\nChange directory " + only + " attributes failed!\n",
         0,
         {"SUITE_FAULTS=setattr:1:access"}},
        {"directory removal",
         {"/RI", only},
         "delete directory " + only + "\nDelete directory " + only + " failed!\n",
         0,
         {"SUITE_FAULTS=remove:1:access"}},
        {"directory kept by an unselected file: the walk goes on",
         {"/RI", "/I='c.c'", "src"},
         [&] {
             std::string out;
             for (const std::string& name : SOURCE_FILES)
                 if (name != "sub/c.c")
                     out += delete_line(name) + (name == "long.txt" ? "delete directory " + only + "\n" : "");
             return out + "delete directory " + sub + "\nDelete directory " + sub + " failed!\n" +
                    "delete directory src\nDelete directory src failed!\n";
         }(),
         8},
    };
    expect_rows(*this, rows);
    EXPECT_TRUE(file_exists(dir.file("src/sub/c.c")));
}

// The last-write time of what path leads to.
plat::FileTime write_time(const std::string& path) {
    plat::FileTime creation = 0, access = 0, write = 0;
    EXPECT_TRUE(plat::get_file_times(path.c_str(), creation, access, write)) << path;
    return write;
}

// A time as /D shows the time it replaces.
std::string local_stamp(plat::FileTime time) {
    plat::CalendarTime t;
    plat::file_time_to_local(time, t);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second, t.millisecond);
    return text;
}

// /R never enters a link to a directory: it removes the link and leaves
// what it leads to. /RV never deletes a file whose destination is the file
// itself (a hard link).
TEST_F(KestoVerify, LinksAreNotFollowed) {
    std::error_code error;
    std::filesystem::create_directory(dir.file("outside"), error);
    ASSERT_TRUE(write_file(dir.file("outside/keep.txt"), "keep"));
    std::filesystem::create_directory_symlink(dir.file("outside"), dir.file("src/sub/link"), error);
    if (error || on_windows()) GTEST_SKIP() << "no directory links here";
    std::filesystem::create_hard_link(dir.file("src/attr.txt"), dir.file("dst/same.txt"), error);
    ASSERT_FALSE(error);
    std::filesystem::rename(dir.file("dst/same.txt"), dir.file("dst/attr.txt"), error);
    ASSERT_FALSE(error);

    RunResult result = kesto({"/RVI", native("src/attr.txt"), "dst"});
    EXPECT_EQ(result.out, delete_line("attr.txt", "\nDestination file dst/attr.txt is the source file itself!"));
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_TRUE(file_exists(dir.file("src/attr.txt")));

    // A directory exchanged for a link to outside the tree after the walk
    // looked at it and before it is entered (as a racing program could):
    // nothing outside is touched, and a change meant for the directory
    // reaches the link at most. The same for a destination directory that
    // a copy or move is about to write into.
    const plat::FileTime outside_time = write_time(dir.file("outside"));
    struct SwapRow {
        const char* name;
        std::vector<std::string> args;
        std::string out;
        int exit_code;
        int nth;              // of the directories entered, the one exchanged
        std::string swapped;  // its path
    };
    const std::vector<SwapRow> swaps = {
        {"delete", {"/RI", "src/sub"}, "delete directory src/sub\nDelete directory src/sub failed!\n", 0, 1, "src/sub"},
        {"attributes", {"/+HI", "src/sub"}, "-d---- src/sub\n", 0, 1, "src/sub"},
        {"date",
         {"/DI2020-01-02,03:04:05", "src/sub"},
         local_stamp(write_time(dir.file("src/sub"))) + " src/sub\nCannot open file src/sub!(40/0x28)",
         0,
         1,
         "src/sub"},
        // src/only and src/sub are entered first.
        {"copy",
         {"/CI", "src/*.c", "dst"},
         "update file      dst/sub/c.c\nCannot open destination file dst/sub/c.c!(20/0x14)",
         1,
         3,
         "dst/sub"},
        {"move",
         {"/CMI", "src/*.c", "dst"},
         "update file      dst/sub/c.c\nMove file src/sub/c.c to dst/sub/c.c failed!",
         1,
         3,
         "dst/sub"},
    };
    for (const SwapRow& row : swaps) {
        SCOPED_TRACE(row.name);
        result = kesto(row.args, {"SUITE_FAULTS=swap:" + std::to_string(row.nth) + ":" + dir.file("outside")});
        EXPECT_EQ(result.out, row.out);
        EXPECT_EQ(result.exit_code, row.exit_code);
        EXPECT_EQ(read_file(dir.file("outside/keep.txt")), "keep");
        std::uint32_t attributes = 0;
        EXPECT_TRUE(plat::get_attributes(dir.file("outside/keep.txt").c_str(), attributes));
        EXPECT_EQ(attributes & plat::ATTR_HIDDEN, 0u);
        EXPECT_EQ(write_time(dir.file("outside")), outside_time);
        std::filesystem::remove(dir.file(row.swapped), error);
        std::filesystem::rename(dir.file(row.swapped + "~"), dir.file(row.swapped), error);
        ASSERT_FALSE(error) << error.message();
    }

    result = kesto({"/RI", "src/sub"});
    EXPECT_EQ(result.out, "delete file      src/sub/c.c\ndelete directory src/sub/link\ndelete directory src/sub\n");
    EXPECT_FALSE(file_exists(dir.file("src/sub")));
    EXPECT_EQ(read_file(dir.file("outside/keep.txt")), "keep");
}

// A read-only directory gives up its entries, as on Windows: /R deletes
// them and /CM moves them out.
TEST(KestoReadOnlyDirectories, GiveUpTheirEntries) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        std::string out;
    };
    const std::string d = native("d"), f = native("d/f"), t = native("t");
    const std::vector<Case> cases = {
        {"delete", {"/RI", d}, "delete file      " + f + "\ndelete directory " + d + "\n"},
        {"move",
         {"/CMI", d, t},
         "Create directory " + t + "\nCreate directory " + native("t/d") + "\nmove file        " + native("t/d/f") +
             "\ndelete directory " + d + "\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        make_tree(dir, {{"d", plat::ATTR_READONLY, 0, true, 0}, {"d/f", plat::ATTR_READONLY, 1, false, 1, "x"}});
        RunResult result = run_kesto_as_tree_owner(dir, c.args);
        EXPECT_EQ(result.out, with_line_ends(c.out));
        EXPECT_EQ(result.exit_code, 1);
        EXPECT_FALSE(file_exists(dir.file("d")));
    }
}

}  // namespace

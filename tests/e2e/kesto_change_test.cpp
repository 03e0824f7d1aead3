// kesto /+ /- and /D run as a process: the lines shown, the order of
// files and directories, the changes read back through the platform layer
// and by a listing, the failure messages, and links that are not entered.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <sstream>
#include <string>
#include <utility>
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

constexpr std::uint32_t CHANGEABLE = plat::ATTR_READONLY | plat::ATTR_HIDDEN | plat::ATTR_SYSTEM | plat::ATTR_ARCHIVE;

const std::vector<TreeEntry> WIDE = wide_named_files("src");
const std::vector<TreeEntry> TREE = {
    {"src", 0, 0, true, 0},
    {"src/a.txt", plat::ATTR_ARCHIVE | plat::ATTR_READONLY, 6, false, 1, "hello\n"},
    {"src/b.c", plat::ATTR_ARCHIVE, 3, false, 2, "abc"},
    {"src/sub", plat::ATTR_HIDDEN, 0, true, 0},
    {"src/sub/c.c", plat::ATTR_SYSTEM, 0, false, 3},
    WIDE[0],
    WIDE[1],
    WIDE[2],
};

// Walk orders: directories before their contents (/+ /-) and after them (/D).
const std::vector<std::string> PRE_ORDER = {"src",         "src/a.txt",  "src/b.c",    "src/sub",
                                            "src/sub/c.c", WIDE[0].path, WIDE[1].path, WIDE[2].path};
const std::vector<std::string> POST_ORDER = {"src/a.txt",  "src/b.c",    "src/sub/c.c", "src/sub",
                                             WIDE[0].path, WIDE[1].path, WIDE[2].path,  "src"};

class KestoChange : public ::testing::Test {
protected:
    void SetUp() override { make_tree(dir, TREE); }
    void TearDown() override {
        // Read-only directories would keep the folder from being removed.
        for (const TreeEntry& e : TREE) plat::set_attributes(path_of(e.path).c_str(), 0);
    }
    RunResult kesto(const std::vector<std::string>& args, std::vector<std::string> env = {}) {
        return run_kesto(dir, args, std::move(env));
    }
    std::string path_of(const std::string& entry) { return native_path(dir.file(entry)); }
    std::uint32_t attributes_of(const std::string& entry) {
        std::uint32_t attributes = 0;
        EXPECT_TRUE(plat::get_attributes(path_of(entry).c_str(), attributes)) << entry;
        return attributes & CHANGEABLE;
    }
    plat::FileTime write_time_of(const std::string& entry) {
        plat::FileTime creation = 0, access = 0, write = 0;
        EXPECT_TRUE(plat::get_file_times(path_of(entry).c_str(), creation, access, write)) << entry;
        return write;
    }

    TempDir dir;
};

// What the file system keeps of an attribute word: Wine shows the archive
// bit on every file and keeps no read-only bit on a directory.
std::uint32_t as_stored(std::uint32_t attributes, bool directory) {
    if (!on_windows()) return attributes;
    return directory ? attributes & ~std::uint32_t{plat::ATTR_READONLY} : attributes | plat::ATTR_ARCHIVE;
}

// The line /+ and /- show: the attribute column and the path.
std::string attribute_line(std::uint32_t attributes, bool directory, const std::string& path) {
    attributes = as_stored(attributes, directory);
    std::string column = "------";
    if (attributes & plat::ATTR_ARCHIVE) column[0] = 'a';
    if (directory) column[1] = 'd';
    if (attributes & plat::ATTR_SYSTEM) column[3] = 's';
    if (attributes & plat::ATTR_HIDDEN) column[4] = 'h';
    if (attributes & plat::ATTR_READONLY) column[5] = 'r';
    return column + " " + shown_name(native(path)) + "\n";
}

TEST_F(KestoChange, AttributesAddAndRemove) {
    // Read-only and no archive bit everywhere, directories first.
    RunResult result = kesto({"/+RI", "/-AI", "src"});
    std::string expected;
    for (const std::string& path : PRE_ORDER) {
        const TreeEntry& e = entry_at(TREE, path);
        expected += attribute_line(e.attributes, e.directory, path);
    }
    EXPECT_EQ(result.out, with_line_ends(expected));
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.exit_code, 6);
    const auto changed = [](const TreeEntry& e) {
        return as_stored((e.attributes & ~std::uint32_t{plat::ATTR_ARCHIVE}) | plat::ATTR_READONLY, e.directory);
    };
    for (const TreeEntry& e : TREE) EXPECT_EQ(attributes_of(e.path), changed(e)) << e.path;

    // The listing shows the new attributes.
    result = kesto({"src"});
    std::string shown;  // attribute column and path of each line
    std::istringstream lines(result.out);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        shown += line.substr(0, 6) + line.substr(line.rfind(' ')) + "\n";
    }
    expected.clear();
    for (const std::string& path : PRE_ORDER) {
        const TreeEntry& e = entry_at(TREE, path);
        expected += attribute_line(changed(e), e.directory, path);
    }
    EXPECT_EQ(shown, expected);

    // A read-only directory loses its read-only bit before its contents
    // are visited; every bit can go at once.
    result = kesto({"/-RHSI", "src"});
    expected.clear();
    for (const std::string& path : PRE_ORDER) {
        const TreeEntry& e = entry_at(TREE, path);
        expected += attribute_line((e.attributes & ~std::uint32_t{plat::ATTR_ARCHIVE}) | plat::ATTR_READONLY,
                                   e.directory, path);
    }
    EXPECT_EQ(result.out, with_line_ends(expected));
    for (const TreeEntry& e : TREE) EXPECT_EQ(attributes_of(e.path), as_stored(0, e.directory)) << e.path;
}

TEST_F(KestoChange, DateGiven) {
    // Read-only with the group's write bit: POSIX needs no lifting to set
    // the time, so no bit may change.
    namespace fs = std::filesystem;
    const fs::perms odd =
        fs::perms::owner_read | fs::perms::group_read | fs::perms::group_write | fs::perms::others_read;  // 0464
    if (!on_windows()) fs::permissions(dir.file("src/a.txt"), odd);
    RunResult result = kesto({"/DI2020-01-02,03:04:05.678", "/Y2", "src"});
    std::string expected;
    for (const std::string& path : POST_ORDER) {
        const TreeEntry& e = entry_at(TREE, path);
        // The old time, in full whatever /Y says.
        expected +=
            e.directory ? "2023-01-02 03:04:05.000 " : "2024-03-15 12:0" + std::to_string(e.minute) + ":56.789 ";
        expected += shown_name(native(path)) + "\n";
    }
    EXPECT_EQ(result.out, with_line_ends(expected));
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.exit_code, 6);
    const plat::FileTime wanted = local_time(2020, 1, 2, 3, 4, 5, 678);
    for (const TreeEntry& e : TREE) {
        EXPECT_EQ(write_time_of(e.path), wanted) << e.path;
        EXPECT_EQ(attributes_of(e.path), as_stored(e.attributes, e.directory)) << e.path;  // read-only stays
    }
    if (!on_windows()) {
        EXPECT_EQ(fs::status(dir.file("src/a.txt")).permissions(), odd);
    }
}

TEST_F(KestoChange, DateOfTheRun) {
    const plat::FileTime before = plat::now_file_time();
    RunResult result = kesto({"/DI", "src"});
    EXPECT_EQ(result.exit_code, 6);
    // One time, taken once, for every entry.
    const plat::FileTime stamped = write_time_of("src");
    EXPECT_GE(stamped, before / 10000000 * 10000000);
    for (const TreeEntry& e : TREE) EXPECT_EQ(write_time_of(e.path), stamped) << e.path;
}

// Each failing step has its message (reversed colours, no line end), and
// the first failure ends the walk.
TEST_F(KestoChange, Failures) {
    struct Row {
        const char* name;
        std::vector<std::string> args;
        std::string fault;
        std::string out;
        int exit_code;
        std::vector<std::string> env = {};
        bool lifts_read_only = false;  // a step only where read-only blocks setting times
    };
    const std::string a = native("src/a.txt");
    const std::string date_line = "2024-03-15 12:01:56.789 " + a + "\n";
    const std::vector<Row> rows = {
        {"attributes", {"/+HI", "src"}, "setattr:1:5", "-d---- src\nChange file src attributes failed!", 0},
        {"open", {"/DI2020-01-02,03:04:05", "src"}, "open:1:5", date_line + "Cannot open file " + a + "!(5/0x5)", 1},
        {"open, in Japanese",
         {"/DI2020-01-02,03:04:05", "src"},
         "open:1:5",
         japanese_output(date_line + "ファイル" + a + "をオープンできません!(5/0x5)", "ja_JP.UTF-8"),
         1,
         {"LC_ALL=ja_JP.UTF-8"}},
        {"set", {"/DI2020-01-02,03:04:05", "src"}, "settimes:1:5", date_line + "Change file " + a + " date failed!", 1},
        {"close", {"/DI2020-01-02,03:04:05", "src"}, "close:1:5", date_line + "Close file " + a + " failed!", 1},
        {"set and close",
         {"/DI2020-01-02,03:04:05", "src"},
         "settimes:1:5,close:1:5",
         date_line + "Change file " + a + " date failed!Close file " + a + " failed!",
         1},
        {"lifting read-only",
         {"/DI2020-01-02,03:04:05", "src"},
         "setattr:1:5",
         date_line + "Change file " + a + " attributes failed!",
         1,
         {},
         true},
        {"restoring read-only",
         {"/DI2020-01-02,03:04:05", "src"},
         "setattr:2:5",
         date_line + "Change file " + a + " attributes failed!",
         1,
         {},
         true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.lifts_read_only && !on_windows()) continue;
        for (const TreeEntry& e : TREE) set_stamp(dir, e);
        std::vector<std::string> env = row.env;
        env.push_back("SUITE_FAULTS=" + row.fault);
        RunResult result = kesto(row.args, env);
        EXPECT_EQ(result.out, with_line_ends(row.out));
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.exit_code, row.exit_code);
        EXPECT_EQ(write_time_of("src/b.c"), stamp_of(entry_at(TREE, "src/b.c")));  // the walk stopped
    }
}

// A link to a directory is changed as an entry but never entered.
TEST_F(KestoChange, DirectoryLinksAreNotEntered) {
    if (on_windows()) GTEST_SKIP() << "symbolic links are a POSIX test";
    ASSERT_TRUE(plat::create_directory(path_of("outside").c_str()));
    ASSERT_TRUE(write_file(dir.file("outside/f.txt"), "x"));
    std::error_code error;
    std::filesystem::create_directory_symlink("../../outside", dir.file("src/sub/link"), error);
    ASSERT_FALSE(error) << error.message();
    const plat::FileTime old_time = write_time_of("outside/f.txt");

    RunResult result = kesto({"/-AI", "src"});
    EXPECT_EQ(result.out.find("f.txt"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find(" src/sub/link\n"), std::string::npos) << result.out;
    result = kesto({"/DI2020-01-02,03:04:05", "src"});
    EXPECT_EQ(result.out.find("f.txt"), std::string::npos) << result.out;
    EXPECT_EQ(write_time_of("outside/f.txt"), old_time);
    EXPECT_EQ(result.exit_code, 6);
}

}  // namespace

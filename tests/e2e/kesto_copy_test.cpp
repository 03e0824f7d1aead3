// kesto /C, /U and their M, V, R letters run as a process over a source
// tree: whole output, exit code, and what is on disk afterwards, above all
// that a failed copy never costs the old destination and never leaves a
// partial file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
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
constexpr std::uint32_t R = plat::ATTR_READONLY;
constexpr std::uint32_t H = plat::ATTR_HIDDEN;
constexpr std::uint32_t S = plat::ATTR_SYSTEM;

// Walk order: a.txt b.c empty sub sub/c.c.
const std::vector<TreeEntry> TREE = {
    {"src", 0, 0, true, 0},
    {"src/a.txt", A | R, 6, false, 1, "hello\n"},
    {"src/b.c", A | H, 9, false, 2, "123456789"},
    {"src/empty", A, 0, false, 3},
    {"src/sub", 0, 0, true, 0},
    {"src/sub/c.c", A, 3, false, 4, "abc"},
};

std::string create(const std::string& path, const std::string& rest = "") {
    return "create file      " + shown_name(native(path)) + rest + "\n";
}
std::string update(const std::string& path, const std::string& rest = "") {
    return "update file      " + shown_name(native(path)) + rest + "\n";
}
std::string directory(const std::string& path) { return "Create directory " + native(path) + "\n"; }

// The error code part of a message: POSIX errno, else the Windows code.
std::string code(int posix, int windows) {
    const int value = on_windows() ? windows : posix;
    char text[32];
    std::snprintf(text, sizeof text, "(%d/0x%X)", value, static_cast<unsigned>(value));
    return text;
}

// The names in a folder of a test, sorted.
std::vector<std::string> names_in(const TempDir& dir, const std::string& folder) {
    std::vector<std::string> found;
    std::error_code error;
    for (const auto& item : std::filesystem::directory_iterator(dir.file(folder), error))
        found.push_back(item.path().filename().u8string());
    std::sort(found.begin(), found.end());
    return found;
}

class KestoCopy : public ::testing::Test {
protected:
    void SetUp() override { make_tree(dir, TREE); }
    RunResult kesto(const std::vector<std::string>& args, std::vector<std::string> env = {}) {
        return run_kesto(dir, args, std::move(env));
    }
    std::vector<std::string> names(const std::string& folder) { return names_in(dir, folder); }
    plat::FileTime write_time(const std::string& path) {
        plat::FileTime creation = 0, access = 0, write = 0;
        EXPECT_TRUE(plat::get_file_times(native_path(dir.file(path)).c_str(), creation, access, write)) << path;
        return write;
    }
    std::uint32_t attributes(const std::string& path) {
        std::uint32_t value = 0;
        EXPECT_TRUE(plat::get_attributes(native_path(dir.file(path)).c_str(), value)) << path;
        return value & (A | R | H | S | plat::ATTR_DIRECTORY);
    }
    // dst/name holding "old", with the given attributes.
    void put_old_destination(const std::string& name, std::uint32_t attributes_of_old = A) {
        ASSERT_TRUE(plat::create_directory(native_path(dir.file("dst")).c_str()));
        ASSERT_TRUE(write_file(dir.file("dst/" + name), "old"));
        set_stamp(dir, {"dst/" + name, attributes_of_old, 3, false, 0});
    }

    TempDir dir;
};

// Every operation and its letters: the whole output, the exit code and the
// files left at the source and the destination.
TEST_F(KestoCopy, Operations) {
    struct Row {
        const char* name;
        std::vector<std::string> args;
        std::string out;
        int exit_code;
        std::vector<std::string> source;  // names left in src
        std::vector<std::string> dest;    // names in dst
        std::vector<std::string> env = {};
        std::vector<TreeEntry> more = {};  // entries added to the tree
    };
    const std::vector<std::string> all = {"a.txt", "b.c", "empty", "sub"};
    const std::vector<TreeEntry> wide = wide_named_files("src");
    const std::vector<std::string> all_wide = {"a.txt", "b.c", "empty", "sub", "αβγ.txt", "日本語.txt", "😀.dat"};
    const std::string files = create("dst/src/a.txt") + create("dst/src/b.c") + create("dst/src/empty") +
                              directory("dst/src/sub") + create("dst/src/sub/c.c");
    const std::vector<Row> rows = {
        {"copy a directory source",
         {"/CI", "src", "dst"},
         directory("dst") + directory("dst/src") + files,
         4,
         all,
         {"src"}},
        {"copy its contents",
         {"/CI", native("src/"), "dst"},
         directory("dst") + create("dst/a.txt") + create("dst/b.c") + create("dst/empty") + directory("dst/sub") +
             create("dst/sub/c.c"),
         4,
         all,
         all},
        {"a pattern creates the directories its files need",
         {"/CI", native("src/*.c"), "dst"},
         directory("dst") + create("dst/b.c") + create("dst/sub/c.c"),
         2,
         all,
         {"b.c", "sub"}},
        {"the depth limit: the directory is not created", {"/CI", "/0", "src", "dst"}, directory("dst"), 0, all, {}},
        {"/0 contents: the directory is not created",
         {"/CI", "/0", native("src/"), "dst"},
         directory("dst") + create("dst/a.txt") + create("dst/b.c") + create("dst/empty"),
         3,
         all,
         {"a.txt", "b.c", "empty"}},
        {"verify after copy",
         {"/CVI", native("src/*.c"), "dst"},
         directory("dst") + create("dst/b.c", "  verify done") + create("dst/sub/c.c", "  verify done"),
         2,
         all,
         {"b.c", "sub"}},
        {"verify and delete the source",
         {"/CVRI", native("src/*.c"), "dst"},
         directory("dst") + create("dst/b.c", "  verify done  delete source file") +
             create("dst/sub/c.c", "  verify done  delete source file"),
         2,
         {"a.txt", "empty", "sub"},
         {"b.c", "sub"}},
        {"delete the source without verify",
         {"/CRI", native("src/b.c"), "dst"},
         directory("dst") + create("dst/b.c", "  delete source file"),
         1,
         {"a.txt", "empty", "sub"},
         {"b.c"}},
        {"move: emptied directories go",
         {"/CMI", native("src/"), "dst"},
         directory("dst") + "move file        " + native("dst/a.txt") + "\nmove file        " + native("dst/b.c") +
             "\nmove file        " + native("dst/empty") + "\n" + directory("dst/sub") + "move file        " +
             native("dst/sub/c.c") + "\ndelete directory " + native("src/sub") + "\n",
         4,
         {},
         all},
        {"move: a directory never made at the destination stays",
         {"/CMI", native("src/*.c"), "dst"},
         directory("dst") + "move file        " + native("dst/b.c") + "\nmove file        " + native("dst/sub/c.c") +
             "\ndelete directory " + native("src/sub") + "\n",
         2,
         {"a.txt", "empty", "none"},
         {"b.c", "sub"},
         {},
         {{"src/none", 0, 0, true, 0}}},
        {"a failed move keeps its directory",
         {"/CMEI", native("src/"), "dst"},
         directory("dst") + "move file        " + native("dst/a.txt") + "\nmove file        " + native("dst/b.c") +
             "\nmove file        " + native("dst/empty") + "\n" + directory("dst/sub") + "move file        " +
             native("dst/sub/c.c") + "\nMove file " + native("src/sub/c.c") + " to " + native("dst/sub/c.c") +
             " failed!\n",
         4,
         {"sub"},
         all,
         {"SUITE_FAULTS=rename:4:io"}},
        {"a new file needs no flush",
         {"/CI", native("src/b.c"), "dst"},
         directory("dst") + create("dst/b.c"),
         1,
         all,
         {"b.c"},
         {"SUITE_FAULTS=sync:1:io"}},
        {"a copy is on the disk before its source goes",
         {"/CRI", native("src/b.c"), "dst"},
         directory("dst") + "create file      " + native("dst/b.c") + "\nWrite destination file " + native("dst/b.c") +
             " failed!",
         1,
         all,
         {},
         {"SUITE_FAULTS=sync:1:io"}},
        {"names no code page spells: ? matches one character, copy and verify",
         {"/CVI", native("src/???.txt"), "dst"},
         directory("dst") + create("dst/αβγ.txt", "  verify done") + create("dst/日本語.txt", "  verify done"),
         2,
         all_wide,
         {"αβγ.txt", "日本語.txt"},
         {},
         wide},
        {"a character beyond the plane: copy, verify, delete the source",
         {"/CVRI", native("src/?.dat"), "dst"},
         directory("dst") + create("dst/😀.dat", "  verify done  delete source file"),
         1,
         {"a.txt", "b.c", "empty", "sub", "αβγ.txt", "日本語.txt"},
         {"😀.dat"},
         {},
         wide},
        {"names no code page spells: move",
         {"/CMI", native("src/*.dat"), "dst"},
         directory("dst") + "move file        " + shown_name(native("dst/😀.dat")) + "\n",
         1,
         {"a.txt", "b.c", "empty", "sub", "αβγ.txt", "日本語.txt"},
         {"😀.dat"},
         {},
         wide},
        {"names under code page 932: shown in its bytes",
         {"/CVI", native("src/???.txt"), "dst"},
         japanese_output("作成ディレクトリ " + native("dst") + "\n作成ファイル     " + native("dst/αβγ.txt") +
                             "  照合正常\n作成ファイル     " + native("dst/日本語.txt") + "  照合正常\n",
                         "ja_JP.UTF-8"),
         2,
         all_wide,
         {"αβγ.txt", "日本語.txt"},
         {"LC_ALL=ja_JP.UTF-8"},
         wide},
        {"names no code page spells: update an older destination",
         {"/UI", native("src/???.txt"), "dst"},
         create("dst/αβγ.txt") + update("dst/日本語.txt"),
         2,
         all_wide,
         {"αβγ.txt", "日本語.txt"},
         {},
         {wide[0], wide[1], wide[2], {"dst", 0, 0, true, 0}, {"dst/日本語.txt", A, 3, false, 0, "old"}}},
        {"progress of an empty file",
         {"/CPI", native("src/empty"), "dst"},
         directory("dst") + create("dst/empty", " (100%,-----KB/sec)"),
         1,
         all,
         {"empty"}},
        {"Japanese labels",
         {"/CVI", native("src/b.c"), "dst"},
         japanese_output(
             "作成ディレクトリ " + native("dst") + "\n作成ファイル     " + native("dst/b.c") + "  照合正常\n",
             "ja_JP.UTF-8"),
         1,
         all,
         {"b.c"},
         {"LC_ALL=ja_JP.UTF-8"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir fresh;
        std::vector<TreeEntry> tree = TREE;
        tree.insert(tree.end(), row.more.begin(), row.more.end());
        make_tree(fresh, tree);
        RunResult result = run_kesto(fresh, row.args, row.env);
        EXPECT_EQ(result.out, with_line_ends(row.out));
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.exit_code, row.exit_code);
        EXPECT_EQ(names_in(fresh, "src"), row.source);
        EXPECT_EQ(names_in(fresh, "dst"), row.dest);
    }
}

// A copy has its source's contents, last-write time and attributes, an
// empty file included; a created directory its source's attributes, and a
// read-only one still takes files. empty, read-only with no other bit (the
// usual file of a system without those bits), is copied ahead of the walk
// in the other way than b.c, whose bits are to be stored.
TEST_F(KestoCopy, CopiesKeepTimesAndAttributes) {
    set_stamp(dir, {"src/sub", R | H, 0, true, 0});
    set_stamp(dir, {"src/empty", R, 0, false, 3});
    RunResult result = kesto({"/CI", native("src/"), "dst"});
    EXPECT_EQ(result.exit_code, 4) << result.out;
    for (const char* name : {"a.txt", "b.c", "empty", "sub/c.c"}) {
        SCOPED_TRACE(name);
        const std::string from = std::string("src/") + name, to = std::string("dst/") + name;
        EXPECT_EQ(read_file(dir.file(to)), read_file(dir.file(from)));
        EXPECT_EQ(write_time(to), write_time(from));
        EXPECT_EQ(attributes(to), attributes(from));
    }
    // POSIX keeps a created directory writable for its owner.
    EXPECT_EQ(attributes("dst/sub") | R, attributes("src/sub") | R);
}

// /U copies what is newer by more than the tolerance; /C always copies.
TEST_F(KestoCopy, UpdateRules) {
    struct Row {
        const char* option;
        int destination_older_by;  // seconds
        bool copied;
    };
    const std::vector<Row> rows = {
        {"/UI", 1, true},  {"/U2I", 1, false}, {"/U2I", 2, true},
        {"/UI", 0, false}, {"/UI", -1, false}, {"/CI", -1, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.option) + " " + std::to_string(row.destination_older_by));
        TempDir fresh;
        make_tree(fresh, TREE);
        ASSERT_TRUE(plat::create_directory(native_path(fresh.file("dst")).c_str()));
        ASSERT_TRUE(write_file(fresh.file("dst/b.c"), "old"));
        const plat::FileTime time =
            stamp_of(entry_at(TREE, "src/b.c")) - static_cast<plat::FileTime>(row.destination_older_by) * 10000000;
        ASSERT_TRUE(plat::set_file_times(native_path(fresh.file("dst/b.c")).c_str(), nullptr, &time, &time));
        RunResult result = run_kesto(fresh, {row.option, native("src/b.c"), "dst"});
        EXPECT_EQ(result.out, with_line_ends(row.copied ? update("dst/b.c") : ""));
        EXPECT_EQ(read_file(fresh.file("dst/b.c")), row.copied ? "123456789" : "old");
    }
}

// An old destination that is read-only, hidden or system is replaced, and
// its attributes become the source's.
TEST_F(KestoCopy, ProtectedDestinationsAreReplaced) {
    put_old_destination("b.c", A | R | H | S);
    RunResult result = kesto({"/CI", native("src/b.c"), "dst"});
    EXPECT_EQ(result.out, with_line_ends(update("dst/b.c")));
    EXPECT_EQ(read_file(dir.file("dst/b.c")), "123456789");
    EXPECT_EQ(attributes("dst/b.c"), A | H);
    EXPECT_EQ(names("dst"), std::vector<std::string>{"b.c"});
}

// Every failure from the source's open to the final rename: its message,
// the old destination untouched, nothing else left in its directory, the
// source in place.
TEST_F(KestoCopy, FailuresKeepTheOldDestination) {
    struct Row {
        const char* fault;
        std::string message;
        std::vector<std::string> args = {"/CRI"};
    };
    const std::string dest = native("dst/b.c"), source = native("src/b.c");
    const std::vector<Row> rows = {
        {"open:1:access", "\nCannot open source file " + source + "!" + code(13, 5)},
        {"open:2:nospace", "\nCannot open destination file " + dest + "!" + code(28, 112)},
        {"read:1:io", "\nRead source file " + source + " failed!"},
        {"read:1:short", "\nRead source file " + source + " failed!"},
        {"write:1:nospace", "\nWrite destination file " + dest + " failed!"},
        {"settimes:1:io", "\nChange destination file " + dest + " date failed!"},
        {"settimes:2:io", "\nChange destination file " + dest + " date failed!"},
        {"close:1:io", "\nClose destination file " + dest + " failed!"},
        {"close:2:io", "\nClose source file " + source + " failed!"},
        {"setattr:1:io", "\nChange destination file " + dest + " attributes failed!"},
        {"sync:1:io", "\nWrite destination file " + dest + " failed!"},
        {"rename:1:io", "\nDelete file " + dest + " failed!"},
        {"rename:1:io", "\nMove file " + source + " to " + dest + " failed!", {"/CMI"}},
        {"read:2:io", "  verify\nRead source file " + source + " failed!", {"/CVRI"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.fault) + " " + row.args[0]);
        TempDir fresh;
        make_tree(fresh, TREE);
        ASSERT_TRUE(plat::create_directory(native_path(fresh.file("dst")).c_str()));
        ASSERT_TRUE(write_file(fresh.file("dst/b.c"), "old"));
        std::vector<std::string> args = row.args;
        args.insert(args.end(), {native("src/b.c"), "dst"});
        RunResult result = run_kesto(fresh, args, {"SUITE_FAULTS=" + std::string(row.fault)});
        // Without /E the walk stops: the line stays open.
        EXPECT_EQ(result.out, with_line_ends("update file      " + dest + row.message));
        EXPECT_EQ(result.exit_code, 1);
        EXPECT_EQ(read_file(fresh.file("dst/b.c")), "old");
        EXPECT_EQ(read_file(fresh.file("src/b.c")), "123456789");
        EXPECT_EQ(names_in(fresh, "dst"), std::vector<std::string>{"b.c"});
    }
}

// /E goes on after a failed entry, ending its line; a directory in the way
// of a file fails as a destination that cannot be opened.
TEST_F(KestoCopy, DirectoryNamedLikeAFile) {
    ASSERT_TRUE(plat::create_directory(native_path(dir.file("dst")).c_str()));
    ASSERT_TRUE(plat::create_directory(native_path(dir.file("dst/a.txt")).c_str()));
    RunResult result = kesto({"/CEI", "/0", native("src/"), "dst"});
    EXPECT_EQ(result.out,
              with_line_ends("create file      " + native("dst/a.txt") + "\nCannot open destination file " +
                             native("dst/a.txt") + "!" + code(21, 5) + "\n" + create("dst/b.c") + create("dst/empty")));
    EXPECT_EQ(result.exit_code, 3);
    EXPECT_EQ(names("dst"), (std::vector<std::string>{"a.txt", "b.c", "empty"}));
}

// Refusals: nothing is created, exit code 255.
TEST_F(KestoCopy, Refusals) {
    struct Row {
        const char* name;
        std::vector<std::string> args;
        std::string out;
        std::string cwd = "";
    };
    const std::string same = "Source and destination are same directory.\n";
    const std::string inside = "Destination is inside the source directory.\n";
    const std::string not_found = "Source file or directory is not found.\n";
    const std::vector<Row> rows = {
        {"same directory", {"/CI", native("src/"), "src"}, same},
        {"same directory through ..", {"/CI", native("src/"), native("src/sub/..")}, same},
        {"a directory source into itself", {"/CI", "src", "src"}, inside},
        {"contents into a subdirectory", {"/CI", native("src/"), native("src/sub")}, inside},
        {"contents into a new subdirectory", {"/CI", native("src/*.c"), native("src/new")}, inside},
        {"move into a subdirectory", {"/CMI", native("src/"), native("src/sub/x")}, inside},
        {"no destination: the current directory", {"/RVI", "*.*"}, same, "src"},
        {"no destination, update", {"/UI", "*"}, same, "src"},
        {"a missing source directory", {"/CI", native("srcc/"), "dst"}, not_found},
        {"a missing source name", {"/UI", "missing", "dst"}, not_found},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        RunResult result = run(program_path("kesto"), row.args, options_in(dir.file(row.cwd), {}));
        EXPECT_EQ(result.out, with_line_ends(row.out));
        EXPECT_EQ(result.exit_code, 255);
        EXPECT_EQ(names("src"), (std::vector<std::string>{"a.txt", "b.c", "empty", "sub"}));
        EXPECT_EQ(names("src/sub"), std::vector<std::string>{"c.c"});
        EXPECT_FALSE(file_exists(dir.file("dst")));
    }
    // The same through a link to the source.
    std::error_code error;
    std::filesystem::create_directory_symlink("src", dir.file("link"), error);
    if (!error) {
        EXPECT_EQ(kesto({"/CI", native("src/"), "link"}).out, with_line_ends(same));
        EXPECT_EQ(kesto({"/CI", native("src/"), native("link/sub")}).out, with_line_ends(inside));
        // A destination, or an existing directory above it, that is a link
        // into the source tree.
        std::filesystem::create_directory_symlink(native("src/sub"), dir.file("down"), error);
        ASSERT_FALSE(error);
        EXPECT_EQ(kesto({"/CI", "src", "down"}).out, with_line_ends(inside));
        EXPECT_EQ(kesto({"/CI", native("src/"), "down"}).out, with_line_ends(inside));
        EXPECT_EQ(kesto({"/CI", native("src/"), native("down/new/deeper")}).out, with_line_ends(inside));
        EXPECT_EQ(names("src/sub"), std::vector<std::string>{"c.c"});
        // A link in the source that leads into the destination is copied as
        // a directory but not entered.
        std::filesystem::create_directory_symlink(native("../dst"), dir.file("src/backup"), error);
        ASSERT_FALSE(error);
        const RunResult copied = kesto({"/CI", native("src/"), "dst"});
        EXPECT_EQ(copied.out,
                  with_line_ends(directory("dst") + create("dst/a.txt") + create("dst/b.c") + directory("dst/backup") +
                                 create("dst/empty") + directory("dst/sub") + create("dst/sub/c.c")));
        EXPECT_EQ(names("dst/backup"), std::vector<std::string>{});
        std::filesystem::remove(dir.file("src/backup"), error);
    }
    // Without entering directories nothing is met twice.
    RunResult result = kesto({"/CI", "/0", native("src/*.c"), native("src/sub")});
    EXPECT_EQ(result.out, with_line_ends(create("src/sub/b.c")));
}

// A sparse file stays sparse: its holes are skipped, not written as zeros,
// so 5 GiB with 12 KiB of data copy at once and take 12 KiB.
TEST_F(KestoCopy, SparseFilesStaySparse) {
    if (on_windows()) GTEST_SKIP() << "Windows copies every byte";
    constexpr std::int64_t SIZE = std::int64_t{5} << 30;
    const std::string page(4096, 'p');
    const std::int64_t offsets[] = {0, SIZE / 2 + 12345, SIZE - 4096};
    ASSERT_TRUE(make_sparse_file(dir.file("src/sparse"), SIZE, offsets[0], page));
    for (std::int64_t offset : offsets) {
        std::fstream file(dir.file("src/sparse"), std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(offset);
        file.write(page.data(), static_cast<std::streamsize>(page.size()));
    }
    constexpr std::int64_t LITTLE = 1 << 20;
    if (allocated_bytes(dir.file("src/sparse")) > LITTLE) GTEST_SKIP() << "no holes on this file system";
    ASSERT_EQ(kesto({"/CI", native("src/sparse"), "dst"}).exit_code, 1);
    EXPECT_EQ(std::filesystem::file_size(dir.file("dst/sparse")), static_cast<std::uintmax_t>(SIZE));
    EXPECT_LE(allocated_bytes(dir.file("dst/sparse")), LITTLE);
    std::ifstream copy(dir.file("dst/sparse"), std::ios::binary);
    for (std::int64_t offset : {offsets[0], offsets[1], offsets[2], offsets[1] - 4096, SIZE - 8192}) {
        std::string bytes(page.size(), '\0');
        copy.seekg(offset);
        copy.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        const bool data = offset == offsets[0] || offset == offsets[1] || offset == offsets[2];
        EXPECT_EQ(bytes, data ? page : std::string(page.size(), '\0')) << offset;
    }
}

// A destination is looked up by its exact name, never as a pattern: POSIX
// names may hold "*" and "?".
TEST_F(KestoCopy, WildcardsInNamesAreNames) {
    if (on_windows()) GTEST_SKIP() << "Windows names cannot hold wildcards";
    ASSERT_TRUE(write_file(dir.file("src/*.txt"), "star"));
    set_stamp(dir, {"src/*.txt", A, 4, false, 1});
    ASSERT_TRUE(plat::create_directory(dir.file("src/dir?").c_str()));
    ASSERT_TRUE(write_file(dir.file("src/dir?/f"), "f"));
    put_old_destination("a.txt");
    ASSERT_TRUE(write_file(dir.file("dst/a.txt"), "newer"));
    ASSERT_TRUE(plat::create_directory(dir.file("dst/dirA").c_str()));
    kesto({"/UI", "src/", "dst"});
    EXPECT_EQ(read_file(dir.file("dst/*.txt")), "star");
    EXPECT_EQ(read_file(dir.file("dst/dir?/f")), "f");
    EXPECT_EQ(read_file(dir.file("dst/a.txt")), "newer");
}

// A destination that is the source file itself (another name of it) is
// skipped with a message, never copied onto itself.
TEST_F(KestoCopy, DestinationIsTheSourceFile) {
    ASSERT_TRUE(plat::create_directory(native_path(dir.file("dst")).c_str()));
    std::error_code error;
    std::filesystem::create_hard_link(dir.file("src/b.c"), dir.file("dst/b.c"), error);
    if (error) GTEST_SKIP() << "no hard links here";
    for (const char* option : {"/CI", "/CMI", "/CVRI"}) {
        SCOPED_TRACE(option);
        RunResult result = kesto({option, native("src/b.c"), "dst"});
        EXPECT_EQ(result.out,
                  with_line_ends("Destination file " + native("dst/b.c") + " is the source file itself!\n"));
        EXPECT_EQ(read_file(dir.file("src/b.c")), "123456789");
        EXPECT_EQ(read_file(dir.file("dst/b.c")), "123456789");
    }
}

// A write that the file size limit cuts short (EFBIG) fails the copy: no
// partial file, the old destination kept.
TEST_F(KestoCopy, ShortWriteLeavesNoPartialFile) {
    if (on_windows()) GTEST_SKIP() << "no file size limit";
    ASSERT_TRUE(make_sparse_file(dir.file("src/big.bin"), 1 << 20, 0, "x"));
    put_old_destination("big.bin");
    RunOptions options = options_in(dir.path(), {});
    RunResult result =
        run("/bin/sh", {"-c", "ulimit -f 256 && exec \"$0\" /CEI src/big.bin dst", program_path("kesto")}, options);
    EXPECT_EQ(result.out, "update file      dst/big.bin\nWrite destination file dst/big.bin failed!\n");
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(read_file(dir.file("dst/big.bin")), "old");
    EXPECT_EQ(names("dst"), std::vector<std::string>{"big.bin"});
}

}  // namespace

// The directory layer over real temporary trees. Rows that depend on POSIX
// behaviour (links, special files, permission bits, sorted order) run where
// the path separator is "/" and are skipped in the Windows build.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/directory.h"
#include "platform/fault.h"
#include "platform/file.h"
#include "platform/path.h"
#include "support/files.h"
#include "support/temp_dir.h"
#include "support/text.h"

namespace {

namespace fs = std::filesystem;
using plat::FileTime;
using plat::FindRecord;
using testsupport::on_windows;
using testsupport::TempDir;

std::string join(const std::string& directory, const std::string& name) {
    return directory + plat::path_separator() + name;
}

// Every entry a search over pattern reports, by name, in order.
std::vector<FindRecord> search(const std::string& pattern) {
    std::vector<FindRecord> records;
    plat::DirectorySearch search;
    FindRecord record;
    for (bool found = search.first(pattern.c_str(), record); found; found = search.next(record))
        records.push_back(record);
    EXPECT_TRUE(search.close());
    return records;
}

std::vector<std::string> names(const std::vector<FindRecord>& records) {
    std::vector<std::string> out;
    for (const FindRecord& record : records) out.push_back(record.long_name);
    return out;
}

std::vector<std::string> sorted(std::vector<std::string> list) {
    std::sort(list.begin(), list.end());
    return list;
}

const FindRecord* find(const std::vector<FindRecord>& records, const std::string& name) {
    for (const FindRecord& record : records)
        if (record.long_name == name) return &record;
    return nullptr;
}

std::uint32_t attributes_of(const std::string& path) {
    std::uint32_t attributes = 0xFFFFFFFF;
    EXPECT_TRUE(plat::get_attributes(path.c_str(), attributes)) << path;
    return attributes;
}

// A tree with files of several cases and sizes and one subdirectory.
struct Tree {
    TempDir dir;
    Tree() {
        testsupport::write_file(dir.file("b.txt"), "bb");
        testsupport::write_file(dir.file("A.TXT"), "a");
        testsupport::write_file(dir.file("c"), "ccc");
        testsupport::write_file(dir.file("_x"), "");
        testsupport::write_file(dir.file("!bang"), "!");  // sorts before "." byte-wise
        fs::create_directory(dir.file("sub"));
    }
};

TEST(DirectorySearch, ReportsEveryEntryDotsFirstThenSortedByName) {
    Tree tree;
    std::vector<FindRecord> records = search(join(tree.dir.path(), "*"));
    std::vector<std::string> expected = {".", "..", "!bang", "A.TXT", "_x", "b.txt", "c", "sub"};
    if (!on_windows())
        EXPECT_EQ(names(records), expected);
    else
        EXPECT_EQ(sorted(names(records)), sorted(expected));

    const FindRecord* sub = find(records, "sub");
    ASSERT_NE(sub, nullptr);
    EXPECT_EQ(sub->attributes & plat::ATTR_DIRECTORY, plat::ATTR_DIRECTORY);
    const FindRecord* c = find(records, "c");
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->attributes & plat::ATTR_DIRECTORY, 0u);
    EXPECT_EQ(c->size, 3u);
    EXPECT_NE(c->last_write_time, 0u);
    EXPECT_EQ(find(records, "b.txt")->size, 2u);
    EXPECT_EQ(find(records, "_x")->size, 0u);
}

TEST(DirectorySearch, MatchesPatternsWithoutRegardToCase) {
    Tree tree;
    struct Row {
        const char* pattern;
        std::vector<std::string> expected;  // empty: the search finds nothing
    };
    const Row rows[] = {
        {"*.*", {".", "..", "!bang", "A.TXT", "_x", "b.txt", "c", "sub"}},
        {"*.txt", {"A.TXT", "b.txt"}},
        {"?.TxT", {"A.TXT", "b.txt"}},
        {"*x*", {"A.TXT", "_x", "b.txt"}},
        {"s?b", {"sub"}},
        {"su", {}},
        {"b.txt", {"b.txt"}},
        {"sub", {"sub"}},
        {"nothing*", {}},
        {"missing", {}},
    };
    for (const Row& row : rows) {
        std::vector<FindRecord> records = search(join(tree.dir.path(), row.pattern));
        EXPECT_EQ(sorted(names(records)), sorted(row.expected)) << row.pattern;
    }
    EXPECT_TRUE(search(join(join(tree.dir.path(), "missing"), "*")).empty());
    EXPECT_TRUE(search(join(join(tree.dir.path(), "c"), "*")).empty());
}

TEST(DirectorySearch, DotNamesStandForTheirDirectoryUnderItsOwnName) {
    Tree tree;
    const std::string root = tree.dir.path();
    const std::string root_name = root.substr(root.find_last_of(plat::path_separator()) + 1);
    const std::string sub = join(root, "sub");
    struct Row {
        std::string pattern, name;
    };
    const Row rows[] = {
        {join(root, "."), root_name},
        {join(sub, "."), "sub"},
        {join(sub, ".."), root_name},
        {join(join(sub, "."), ".."), root_name},
    };
    for (const Row& row : rows) {
        std::vector<FindRecord> records = search(row.pattern);
        ASSERT_EQ(records.size(), 1u) << row.pattern;
        EXPECT_EQ(records[0].long_name, row.name) << row.pattern;
        EXPECT_EQ(records[0].attributes & plat::ATTR_DIRECTORY, plat::ATTR_DIRECTORY);
    }
    EXPECT_TRUE(search(join(sub, "")).empty());  // a pattern must name something
}

TEST(DirectorySearch, ClosesAndReopens) {
    Tree tree;
    plat::DirectorySearch search;
    FindRecord record;
    EXPECT_FALSE(search.is_open());
    ASSERT_TRUE(search.first(join(tree.dir.path(), "*.txt").c_str(), record));
    EXPECT_TRUE(search.is_open());
    ASSERT_TRUE(search.first(join(tree.dir.path(), "c").c_str(), record));
    EXPECT_EQ(record.long_name, "c");
    EXPECT_FALSE(search.next(record));
    EXPECT_TRUE(search.close());
    EXPECT_FALSE(search.is_open());
    EXPECT_TRUE(search.close());
    EXPECT_FALSE(search.next(record));
    EXPECT_FALSE(search.first(join(tree.dir.path(), "none").c_str(), record));
    EXPECT_FALSE(search.is_open());
}

TEST(DirectorySearch, LeavesOutSpecialFiles) {
    if (on_windows()) GTEST_SKIP() << "no FIFOs on Windows";
    Tree tree;
    ASSERT_TRUE(testsupport::make_fifo(tree.dir.file("pipe")));
    EXPECT_EQ(find(search(join(tree.dir.path(), "*")), "pipe"), nullptr);
    EXPECT_TRUE(search(tree.dir.file("pipe")).empty());
}

TEST(DirectorySearch, ReportsWhatLinksPointTo) {
    if (on_windows()) GTEST_SKIP() << "symbolic links are a POSIX row";
    Tree tree;
    const std::string& root = tree.dir.path();
    fs::create_symlink("c", tree.dir.file("to_file"));
    fs::create_directory_symlink("sub", tree.dir.file("to_dir"));
    fs::create_symlink("gone", tree.dir.file("dangling"));
    fs::create_symlink("self", tree.dir.file("self"));
    fs::create_directory_symlink("..", tree.dir.file("sub/up"));

    std::vector<FindRecord> records = search(join(root, "*"));
    struct Row {
        const char* name;
        std::uint32_t attributes;  // D and link bits
        std::uint64_t size;
    };
    const Row rows[] = {
        {"to_file", plat::ATTR_REPARSE_POINT, 3},
        {"to_dir", plat::ATTR_REPARSE_POINT | plat::ATTR_DIRECTORY, 0},
        {"dangling", plat::ATTR_REPARSE_POINT, 0},
        {"self", plat::ATTR_REPARSE_POINT, 0},
    };
    for (const Row& row : rows) {
        const FindRecord* record = find(records, row.name);
        ASSERT_NE(record, nullptr) << row.name;
        EXPECT_EQ(record->attributes & (plat::ATTR_REPARSE_POINT | plat::ATTR_DIRECTORY), row.attributes) << row.name;
        EXPECT_EQ(record->size, row.size) << row.name;
    }
    EXPECT_EQ(find(records, "to_file")->last_write_time, find(records, "c")->last_write_time);

    // A loop: the link leads back to a directory above it.
    plat::FileIdentity up, top, sub;
    ASSERT_TRUE(plat::file_identity(tree.dir.file("sub/up").c_str(), up));
    ASSERT_TRUE(plat::file_identity(root.c_str(), top));
    ASSERT_TRUE(plat::file_identity(tree.dir.file("sub").c_str(), sub));
    EXPECT_TRUE(up == top);
    EXPECT_FALSE(up == sub);
    EXPECT_FALSE(plat::file_identity(tree.dir.file("dangling").c_str(), up));

    // The path itself: links are not what they point to.
    EXPECT_EQ(attributes_of(tree.dir.file("to_dir")), plat::ATTR_REPARSE_POINT | plat::ATTR_DIRECTORY);
    EXPECT_EQ(attributes_of(tree.dir.file("dangling")), plat::ATTR_REPARSE_POINT);
}

TEST(DirectorySearch, RemovingALinkLeavesItsTargetAlone) {
    if (on_windows()) GTEST_SKIP() << "symbolic links are a POSIX row";
    Tree tree;
    ASSERT_TRUE(plat::set_attributes(tree.dir.file("c").c_str(), plat::ATTR_READONLY));
    fs::create_symlink("c", tree.dir.file("to_file"));
    fs::create_directory_symlink("sub", tree.dir.file("to_dir"));

    EXPECT_FALSE(plat::set_attributes(tree.dir.file("to_file").c_str(), plat::ATTR_READONLY));
    EXPECT_FALSE(plat::set_attributes(tree.dir.file("to_file").c_str(), plat::ATTR_HIDDEN));
    EXPECT_TRUE(plat::set_attributes(tree.dir.file("to_file").c_str(), 0));
    EXPECT_EQ(attributes_of(tree.dir.file("c")), plat::ATTR_READONLY);

    EXPECT_TRUE(plat::delete_file(tree.dir.file("to_file").c_str()));
    EXPECT_TRUE(plat::remove_directory(tree.dir.file("to_dir").c_str()));
    EXPECT_FALSE(fs::exists(fs::symlink_status(tree.dir.file("to_file"))));
    EXPECT_FALSE(fs::exists(fs::symlink_status(tree.dir.file("to_dir"))));
    EXPECT_EQ(testsupport::read_file(tree.dir.file("c")), "ccc");
    EXPECT_TRUE(fs::is_directory(tree.dir.file("sub")));
}

TEST(DirectoryAttributes, SetAndReadBack) {
    TempDir dir;
    testsupport::write_file(dir.file("file"), "x");
    fs::create_directory(dir.file("dir"));
    const std::uint32_t R = plat::ATTR_READONLY, H = plat::ATTR_HIDDEN, S = plat::ATTR_SYSTEM, A = plat::ATTR_ARCHIVE,
                        D = plat::ATTR_DIRECTORY;
    // Wine reports every file as archived and keeps neither R nor A on a
    // directory: the Windows build compares the bits Wine keeps.
    const std::uint32_t file_bits = !on_windows() ? R | H | S | A : R | H | S;
    const std::uint32_t dir_bits = !on_windows() ? R | H | S | A | D : H | S | D;
    const std::uint32_t values[] = {R, H, S, A, R | H | S | A, H | A, S | R, 0};
    for (std::uint32_t value : values) {
        ASSERT_TRUE(plat::set_attributes(dir.file("file").c_str(), value)) << value;
        EXPECT_EQ(attributes_of(dir.file("file")) & ~file_bits & ~A, 0u) << value;
        EXPECT_EQ(attributes_of(dir.file("file")) & file_bits, value & file_bits) << value;
        ASSERT_TRUE(plat::set_attributes(dir.file("dir").c_str(), value | D)) << value;
        EXPECT_EQ(attributes_of(dir.file("dir")) & dir_bits, (value | D) & dir_bits) << value;
        const std::vector<FindRecord> records = search(join(dir.path(), "*"));
        const FindRecord* record = find(records, "file");
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(record->attributes, attributes_of(dir.file("file"))) << value;
    }
    EXPECT_FALSE(plat::set_attributes(dir.file("missing").c_str(), 0));
    std::uint32_t untouched = 77;
    EXPECT_FALSE(plat::get_attributes(dir.file("missing").c_str(), untouched));
    EXPECT_EQ(untouched, 77u);
}

TEST(DirectoryAttributes, ReadOnlyIsTheOwnersWritePermission) {
    if (on_windows()) GTEST_SKIP() << "permission bits are a POSIX row";
    TempDir dir;
    const std::string file = dir.file("file");
    testsupport::write_file(file, "x");
    fs::permissions(file, fs::perms(0664));
    ASSERT_TRUE(plat::set_attributes(file.c_str(), plat::ATTR_READONLY | plat::ATTR_HIDDEN));
    EXPECT_EQ(fs::status(file).permissions(), fs::perms(0444));
    ASSERT_TRUE(plat::set_attributes(file.c_str(), plat::ATTR_SYSTEM));
    EXPECT_EQ(fs::status(file).permissions(), fs::perms(0644));
    EXPECT_EQ(attributes_of(file), plat::ATTR_SYSTEM);

    fs::permissions(file, fs::perms(0464));  // group may write, owner may not
    EXPECT_EQ(attributes_of(file), plat::ATTR_SYSTEM | plat::ATTR_READONLY);
}

TEST(DirectoryAttributes, LeadingDotCountsAsHidden) {
    if (on_windows()) GTEST_SKIP() << "a POSIX naming rule";
    TempDir dir;
    testsupport::write_file(dir.file(".profile"), "x");
    EXPECT_EQ(attributes_of(dir.file(".profile")), plat::ATTR_HIDDEN);
    EXPECT_TRUE(plat::set_attributes(dir.file(".profile").c_str(), 0));
    EXPECT_EQ(attributes_of(dir.file(".profile")), plat::ATTR_HIDDEN);
    EXPECT_EQ(find(search(join(dir.path(), "*")), ".profile")->attributes, plat::ATTR_HIDDEN);
    EXPECT_EQ(find(search(join(dir.path(), "*")), ".")->attributes, plat::ATTR_DIRECTORY);
    EXPECT_EQ(attributes_of(dir.file(".")), plat::ATTR_DIRECTORY);
}

// Linux keeps no user extended attributes on a FIFO: it stands in for a file
// system without them.
TEST(DirectoryAttributes, WithoutExtendedAttributesOnlyClearingSucceeds) {
    if (on_windows()) GTEST_SKIP() << "no FIFOs on Windows";
    TempDir dir;
    const std::string pipe = dir.file("pipe");
    ASSERT_TRUE(testsupport::make_fifo(pipe));
    EXPECT_EQ(attributes_of(pipe), 0u);
    EXPECT_FALSE(plat::set_attributes(pipe.c_str(), plat::ATTR_HIDDEN));
    EXPECT_FALSE(plat::set_attributes(pipe.c_str(), plat::ATTR_ARCHIVE | plat::ATTR_READONLY));
    EXPECT_EQ(attributes_of(pipe), 0u);  // a failed change leaves R alone too
    EXPECT_TRUE(plat::set_attributes(pipe.c_str(), plat::ATTR_READONLY));
    EXPECT_EQ(attributes_of(pipe), plat::ATTR_READONLY);
    EXPECT_TRUE(plat::set_attributes(pipe.c_str(), 0));
    EXPECT_EQ(attributes_of(pipe), 0u);
    // A leading dot stores the hidden bit by itself.
    const std::string dotted = dir.file(".pipe");
    ASSERT_TRUE(testsupport::make_fifo(dotted));
    EXPECT_TRUE(plat::set_attributes(dotted.c_str(), plat::ATTR_HIDDEN | plat::ATTR_READONLY));
    EXPECT_EQ(attributes_of(dotted), plat::ATTR_HIDDEN | plat::ATTR_READONLY);
}

// 2021-03-04 05:06:07.1234567 UTC and a few others, in 100 ns units.
constexpr FileTime MARCH_2021 = 132592383671234567ULL;
constexpr FileTime JUNE_1965 = 120000000009876543ULL;
constexpr FileTime YEAR_2100 = 157766400000000001ULL;

TEST(DirectoryTimes, SetAndReadBackTo100Nanoseconds) {
    TempDir dir;
    testsupport::write_file(dir.file("file"), "x");
    fs::create_directory(dir.file("dir"));
    for (const char* name : {"file", "dir"}) {
        const std::string path = dir.file(name);
        FileTime creation_before, creation, access, write;
        ASSERT_TRUE(plat::get_file_times(path.c_str(), creation_before, access, write));
        const FileTime wanted[][3] = {
            {MARCH_2021, MARCH_2021 + 1, MARCH_2021 + 2},
            {JUNE_1965, JUNE_1965, YEAR_2100},
        };
        for (const auto& times : wanted) {
            ASSERT_TRUE(plat::set_file_times(path.c_str(), &times[0], &times[1], &times[2]));
            ASSERT_TRUE(plat::get_file_times(path.c_str(), creation, access, write));
            EXPECT_EQ(access, times[1]) << name;
            EXPECT_EQ(write, times[2]) << name;
            // POSIX cannot set the birth time and leaves it alone. (Wine
            // reports the status-change time instead: not checked there.)
            if (!on_windows()) {
                EXPECT_EQ(creation, creation_before) << name;
            }
        }
        const std::vector<FindRecord> records = search(join(dir.path(), "*"));
        const FindRecord* record = find(records, name);
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(record->last_write_time, YEAR_2100);
        EXPECT_EQ(record->last_access_time, JUNE_1965);
    }
}

TEST(DirectoryTimes, NullLeavesATimeAlone) {
    TempDir dir;
    const std::string path = dir.file("file");
    testsupport::write_file(path, "x");
    ASSERT_TRUE(plat::set_file_times(path.c_str(), nullptr, &MARCH_2021, &MARCH_2021));
    ASSERT_TRUE(plat::set_file_times(path.c_str(), nullptr, nullptr, &YEAR_2100));
    FileTime creation, access, write;
    ASSERT_TRUE(plat::get_file_times(path.c_str(), creation, access, write));
    EXPECT_EQ(access, MARCH_2021);
    EXPECT_EQ(write, YEAR_2100);
    ASSERT_TRUE(plat::set_file_times(path.c_str(), nullptr, &JUNE_1965, nullptr));
    ASSERT_TRUE(plat::get_file_times(path.c_str(), creation, access, write));
    EXPECT_EQ(access, JUNE_1965);
    EXPECT_EQ(write, YEAR_2100);

    const std::string missing = dir.file("missing");
    EXPECT_FALSE(plat::set_file_times(missing.c_str(), nullptr, nullptr, nullptr));
    EXPECT_FALSE(plat::set_file_times(missing.c_str(), &MARCH_2021, nullptr, nullptr));
    EXPECT_FALSE(plat::get_file_times(missing.c_str(), creation, access, write));
}

TEST(DirectoryPaths, FullPathResolvesDotsInTheText) {
    std::string cwd;
    ASSERT_TRUE(plat::current_directory(cwd));
    const char sep = plat::path_separator();
    auto native = [sep](std::string text) {
        std::replace(text.begin(), text.end(), '/', sep);
        return text;
    };
    struct Row {
        const char* path;
        const char* expected;  // behind the current directory
    };
    const Row rows[] = {
        {"a/b/../c", "/a/c"}, {"./x/.", "/x"}, {"x/./y", "/x/y"}, {"a/..", ""}, {"never/made", "/never/made"},
    };
    for (const Row& row : rows) {
        std::string out;
        ASSERT_TRUE(plat::full_path(native(row.path).c_str(), out)) << row.path;
        EXPECT_EQ(out, cwd + native(row.expected)) << row.path;
    }
    std::string out;
    ASSERT_TRUE(plat::full_path(".", out));
    EXPECT_EQ(out, cwd);

    // Long results come back whole, or (from Wine's ANSI calls) not at all.
    std::string long_path;
    for (int i = 0; i < 100; ++i) long_path += native("directory" + std::to_string(i) + "/");
    out = "unchanged";
    if (plat::full_path(long_path.c_str(), out) || !on_windows()) {
        EXPECT_EQ(out, cwd + sep + long_path);
    } else {
        EXPECT_EQ(out, "unchanged");
    }

    if (on_windows()) return;
    const Row absolute[] = {
        {"/a/../..", "/"},
        {"/a//b/", "/a/b/"},
        {"/", "/"},
        {"//x/../y/./", "/y/"},
    };
    for (const Row& row : absolute) {
        ASSERT_TRUE(plat::full_path(row.path, out)) << row.path;
        EXPECT_EQ(out, row.expected) << row.path;
    }
}

TEST(DirectoryPaths, ShortPathNamesTheSameFileInUpperCaseOnWindowsUnchangedOnPosix) {
    TempDir dir;
    fs::create_directory(dir.file("Long Directory Name"));
    const std::string path = join(dir.file("Long Directory Name"), "Mixed Case File.text");
    testsupport::write_file(path, "x");
    std::string out;
    ASSERT_TRUE(plat::short_path(path.c_str(), out));
    if (!on_windows()) {
        EXPECT_EQ(out, path);
    } else {
        EXPECT_TRUE(std::none_of(out.begin(), out.end(), [](char c) { return std::islower(c); })) << out;
        plat::FileIdentity a, b;
        ASSERT_TRUE(plat::file_identity(out.c_str(), a));
        ASSERT_TRUE(plat::file_identity(path.c_str(), b));
        EXPECT_TRUE(a == b);
    }
    // A failed query leaves the previous result in place for the caller
    // to notice, never half a path.
    std::string previous = out;
    EXPECT_FALSE(plat::short_path(dir.file("missing").c_str(), out));
    EXPECT_EQ(out, previous);
}

TEST(DirectoryOperations, CreateRemoveDeleteRename) {
    TempDir dir;
    const std::string a = dir.file("a"), b = dir.file("b"), file = dir.file("file");
    testsupport::write_file(file, "data");

    EXPECT_TRUE(plat::create_directory(a.c_str()));
    EXPECT_FALSE(plat::create_directory(a.c_str()));
    EXPECT_FALSE(plat::create_directory(join(dir.file("missing"), "x").c_str()));
    EXPECT_TRUE(fs::is_directory(a));

    testsupport::write_file(join(a, "inside"), "i");
    EXPECT_FALSE(plat::remove_directory(a.c_str()));  // not empty
    EXPECT_FALSE(plat::delete_file(a.c_str()));       // not a file
    EXPECT_TRUE(fs::exists(join(a, "inside")));

    EXPECT_TRUE(plat::rename_path(a.c_str(), b.c_str()));
    EXPECT_FALSE(fs::exists(a));
    EXPECT_EQ(testsupport::read_file(join(b, "inside")), "i");

    // A rename never replaces what is there.
    testsupport::write_file(a, "other");
    EXPECT_FALSE(plat::rename_path(file.c_str(), a.c_str()));
    EXPECT_EQ(testsupport::read_file(a), "other");
    EXPECT_EQ(testsupport::read_file(file), "data");

    EXPECT_TRUE(plat::delete_file(join(b, "inside").c_str()));
    EXPECT_TRUE(plat::remove_directory(b.c_str()));
    EXPECT_FALSE(fs::exists(b));
    EXPECT_FALSE(plat::remove_directory(b.c_str()));
    EXPECT_TRUE(plat::delete_file(file.c_str()));
    EXPECT_FALSE(plat::delete_file(file.c_str()));
    EXPECT_FALSE(plat::rename_path(file.c_str(), b.c_str()));
}

TEST(DirectoryOperations, CreateFromAModel) {
    TempDir dir;
    const std::string model = dir.file("model"), copy = dir.file("copy");
    fs::create_directory(model);
    ASSERT_TRUE(plat::set_attributes(model.c_str(), plat::ATTR_DIRECTORY | plat::ATTR_HIDDEN | plat::ATTR_SYSTEM));
    ASSERT_TRUE(plat::set_file_times(model.c_str(), nullptr, &JUNE_1965, &MARCH_2021));
    if (!on_windows()) fs::permissions(model, fs::perms(0550));

    ASSERT_TRUE(plat::create_directory(copy.c_str(), model.c_str()));
    EXPECT_FALSE(plat::create_directory(dir.file("other").c_str(), dir.file("missing").c_str()));
    EXPECT_FALSE(fs::exists(dir.file("other")));
    if (on_windows()) return;  // the rest is what the POSIX build copies by hand
    EXPECT_EQ(fs::status(copy).permissions(), fs::perms(0750));
    EXPECT_EQ(attributes_of(copy), plat::ATTR_DIRECTORY | plat::ATTR_HIDDEN | plat::ATTR_SYSTEM);
    FileTime creation, access, write;
    ASSERT_TRUE(plat::get_file_times(copy.c_str(), creation, access, write));
    EXPECT_EQ(write, MARCH_2021);
    EXPECT_EQ(access, JUNE_1965);
}

TEST(DirectoryOperations, InjectedFaultsFailAndChangeNothing) {
    TempDir dir;
    const std::string file = dir.file("file"), sub = dir.file("sub");
    testsupport::write_file(file, "x");
    fs::create_directory(sub);
    const int ERROR_CODE = 5;
    const int IO_ERROR = on_windows() ? 1117 : EIO;  // what a "short" fault reports where nothing transfers
    struct Row {
        plat::fault::Call call;
        std::function<bool()> run;
        int error = ERROR_CODE;
    };
    const Row rows[] = {
        {plat::fault::Call::set_times,
         [&] { return plat::set_file_times(file.c_str(), nullptr, &MARCH_2021, nullptr); }},
        {plat::fault::Call::set_attributes, [&] { return plat::set_attributes(file.c_str(), plat::ATTR_HIDDEN); }},
        {plat::fault::Call::rename, [&] { return plat::rename_path(file.c_str(), dir.file("moved").c_str()); }},
        {plat::fault::Call::remove, [&] { return plat::delete_file(file.c_str()); }},
        {plat::fault::Call::remove, [&] { return plat::remove_directory(sub.c_str()); }},
        {plat::fault::Call::make_directory, [&] { return plat::create_directory(dir.file("new").c_str()); }},
        {plat::fault::Call::open, [&] { return plat::File().open(file.c_str(), plat::OpenMode::read); },
         plat::fault::SHORT_TRANSFER},
    };
    FileTime creation, access_before, write, access;
    ASSERT_TRUE(plat::get_file_times(file.c_str(), creation, access_before, write));
    const std::uint32_t attributes_before = attributes_of(file);
    for (const Row& row : rows) {
        // Another failure's code first, so that a fault that sets none shows.
        EXPECT_FALSE(plat::File().open(dir.file("missing").c_str(), plat::OpenMode::read));
        plat::fault::arm(row.call, 1, row.error);
        EXPECT_FALSE(row.run());
        EXPECT_EQ(plat::last_error(), row.error == plat::fault::SHORT_TRANSFER ? IO_ERROR : row.error);
        plat::fault::clear();
    }
    EXPECT_EQ(sorted(names(search(join(dir.path(), "*")))), (std::vector<std::string>{".", "..", "file", "sub"}));
    EXPECT_EQ(attributes_of(file), attributes_before);
    ASSERT_TRUE(plat::get_file_times(file.c_str(), creation, access, write));
    EXPECT_EQ(access, access_before);
}

TEST(DirectoryPaths, CurrentDirectoryIsAbsolute) {
    std::string cwd, full;
    ASSERT_TRUE(plat::current_directory(cwd));
    ASSERT_TRUE(plat::full_path(cwd.c_str(), full));
    EXPECT_EQ(full, cwd);
}

}  // namespace

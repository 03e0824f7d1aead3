// The name tests of kesto's walker: wildcards and name lists.
#include <gtest/gtest.h>

#include <string>

#include "kesto/console.h"
#include "kesto/options.h"
#include "kesto/walker.h"
#include "platform/path.h"

namespace {

using kesto::match_name_list;
using kesto::match_wildcard;
using kesto::walker;

std::string native(std::string path) {
    for (char& c : path)
        if (c == '/') c = plat::path_separator();
    return path;
}

TEST(KestoWildcard, Matches) {
    struct Row {
        const char* name;
        const char* pattern;
        int result;
    };
    const Row rows[] = {
        {"abc", "abc", 1},
        {"ABC", "abc", 1},
        {"abcd", "abc", 0},
        {"ab", "abc", 0},
        {"abc", "a?c", 1},
        {"ac", "a?c", 0},
        {"abc", "abc?", 1},
        {"abcd", "abc?", 1},
        {"abcde", "abc?", 0},
        {"", "", 1},
        {"a", "", 0},
        {"anything.txt", "*", 1},
        {"", "*", 1},
        {"a.txt", "*.*", 1},
        {"README", "*.*", 0},
        {"a.txt", "*.TXT", 1},
        {"a.txt.bak", "*.txt", 0},
        {"a.txt.txt", "*.txt", 1},
        {"README", "*.", 1},
        {"a.", "*.", 1},
        {"a.txt", "*.", -1},
        {"abx", "*?x", 1},
        {"bx", "*?x", 1},
        {"x", "*?x", 0},
        {"abcabd", "a*bd", 1},
        {"abcabc", "a*bd", 0},
        {"makefile", "m*f*e", 1},
        {"makefile", "**e", 1},
        {"xab", "ab*", 0},
        {"Sub.C", "s*.c", 1},
        {"a.b.c", "*.b*", 1},
        {"a1.txt", "a?.*", 1},
        {"readme.txt", "*me*.", -1},
    };
    for (const Row& row : rows)
        EXPECT_EQ(match_wildcard(row.name, row.pattern), row.result) << row.name << " / " << row.pattern;
}

class KestoNameList : public ::testing::Test {
protected:
    void SetUp() override {
        kesto::reset_walker();
        kesto::state = kesto::State{};
    }
    void TearDown() override { kesto::reset_walker(); }
    // The walker's current entry: long path, and a short path that differs
    // only where given.
    void entry(const std::string& long_path, const std::string& short_path = "") {
        walker.entry_long_path = native(long_path);
        walker.entry_short_path = native(short_path.empty() ? long_path : short_path);
        walker.entry_long_name = kesto::last_component_offset(walker.entry_long_path);
        walker.entry_short_name = kesto::last_component_offset(walker.entry_short_path);
    }
};

TEST_F(KestoNameList, Elements) {
    struct Row {
        const char* path;
        const char* short_path;
        const char* list;
        int result;
    };
    const Row rows[] = {
        {"src/a.txt", "", ",*.txt", 1},
        {"src/a.txt", "", ",*.c,*.h", 0},
        {"src/a.txt", "", ",*.c,a*", 1},
        {"src/a.txt", "", ",", 0},
        {"src/a.txt", "", ",\"a.txt\"", 1},
        {"src/sub/x.c", "", ",sub/*.c", 1},
        {"src/other/x.c", "", ",sub/*.c", 0},
        {"src/sub/x.c", "", ",src/sub/*.c", 1},
        {"src/sub/x.c", "", ",s*/s*/x.c", 1},
        {"sub/x.c", "", ",src/sub/x.c", 0},
        {"src/Program Files", "SRC/PROGRA~1", ",PROGRA~1", 1},
        {"src/Program Files/x", "SRC/PROGRA~1/X", ",progra~1/x", 1},
        {"src/a.txt", "", ",*.", 0},
    };
    for (const Row& row : rows) {
        entry(row.path, row.short_path);
        EXPECT_EQ(match_name_list(native(row.list)), row.result) << row.path << " in " << row.list;
    }
}

TEST(KestoPaths, LastComponent) {
    const std::string sep(1, plat::path_separator());
    EXPECT_EQ(kesto::last_component_offset("name"), 0u);
    EXPECT_EQ(kesto::last_component_offset("dir" + sep + "name"), 4u);
    EXPECT_EQ(kesto::last_component_offset("dir" + sep), 4u);
    EXPECT_EQ(kesto::last_component_offset(""), 0u);
}

TEST(KestoPaths, SourceWildcard) {
    struct Row {
        const char* source;
        int result;
        const char* after;
    };
    const Row rows[] = {
        {"*.*", 1, "*"},         {"dir/*.*", 1, "dir/*"}, {"dir/*.c", 1, "dir/*.c"},
        {"dir/a?", 1, "dir/a?"}, {"dir/", 0, "dir/"},     {"d*r/name", 0, "d*r/name"},
    };
    for (const Row& row : rows) {
        kesto::state = kesto::State{};
        std::string source = native(row.source);
        EXPECT_EQ(kesto::probe_source_wildcard(source), row.result) << row.source;
        EXPECT_EQ(source, native(row.after));
        EXPECT_EQ((kesto::state.options.selection_flags & kesto::SELECT_SOURCE_WILDCARD) != 0, row.result == 1);
    }
}

// Without a keyboard (as here: the console is not set up) no answer can
// come: a prompt aborts and changes nothing, and every later break check
// reports the abort.
TEST(KestoConsole, PromptWithoutKeyboard) {
    kesto::state = kesto::State{};
    kesto::state.skip_all = true;
    EXPECT_EQ(kesto::ask_confirm(kesto::PROMPT_DELETE), 0);
    EXPECT_FALSE(kesto::state.aborted);
    EXPECT_EQ(kesto::check_user_break(nullptr, false), 0);
    EXPECT_EQ(kesto::check_user_break(nullptr, true), 0);

    kesto::state.skip_all = false;
    EXPECT_EQ(kesto::ask_confirm(kesto::PROMPT_DELETE), -1);
    EXPECT_TRUE(kesto::state.aborted);
    int key = 0;
    EXPECT_EQ(kesto::check_user_break(&key, false), 1);
    EXPECT_EQ(key, 27);
    EXPECT_EQ(kesto::ask_confirm(kesto::PROMPT_DELETE), -1);
    kesto::state = kesto::State{};
}

// An entry whose short form cannot be had (it is gone) shows its long path,
// never the previous entry's short path; a path beyond the buffers is not
// built.
TEST(KestoPaths, EntryPaths) {
    kesto::reset_walker();
    kesto::LevelRecord& level = kesto::current_level();
    level.search_path = native("no-such-directory/*");
    level.find_data.long_name = "gone.txt";
    walker.entry_short_path = native("OTHER/PREVIOUS.TXT");
    ASSERT_TRUE(kesto::make_entry_long_path());
    kesto::make_entry_short_path();
    EXPECT_EQ(walker.entry_long_path, native("no-such-directory/gone.txt"));
    EXPECT_EQ(walker.entry_short_path, walker.entry_long_path);
    EXPECT_EQ(walker.entry_long_name, 18u);
    EXPECT_EQ(walker.entry_long_extension, 23u);

    level.find_data.long_name = std::string(kesto::PATH_BUFFER_SIZE, 'x');
    EXPECT_FALSE(kesto::make_entry_long_path());
    kesto::reset_walker();
}

}  // namespace

#include <filesystem>

#include "platform/directory.h"
#include "support/files.h"
#include "support/temp_dir.h"

namespace {

// Where a copy writes against what it reads: the same directory (by any
// spelling), a directory inside the source tree, or elsewhere. Paths are
// absolute, below a fresh folder holding src/sub and dst.
TEST(KestoDestination, SameDirectoryAndInsideSource) {
    testsupport::TempDir dir;
    for (const char* name : {"src", "src/sub", "dst"})
        ASSERT_TRUE(plat::create_directory(testsupport::native_path(dir.file(name)).c_str()));
    auto at = [&dir](const std::string& name) { return testsupport::native_path(dir.file(native(name))); };
    struct Row {
        const char* name;
        std::string dest, search_path;
        bool source_is_directory;
        int same_check;  // 0: same directory
        bool inside;
    };
    const std::string root = testsupport::native_path(std::filesystem::path(dir.path()).root_path().string());
    const std::vector<Row> rows = {
        {"contents into their own directory", at("src/"), at("src/*"), false, 0, false},
        {"through ..", at("src/sub/../"), at("src/*"), false, 0, false},
        {"elsewhere", at("dst/"), at("src/*"), false, 1, false},
        {"into a subdirectory", at("src/sub/"), at("src/*"), false, 1, true},
        {"into one not made yet", at("src/new/deeper/"), at("src/*"), false, 1, true},
        {"a directory source into itself", at("src/"), at("src"), true, 1, true},
        {"a directory source into its parent", at(""), at("src"), true, 0, false},
        {"a directory source elsewhere", at("dst/"), at("src"), true, 1, false},
        {"a root keeps its separator", root, "*", false, 1, false},
        {"a root is a root", root, root + "*", false, 0, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(kesto::same_directory_check(row.dest, row.search_path), row.same_check);
        EXPECT_EQ(kesto::destination_in_source(row.dest, row.search_path, row.source_is_directory), row.inside);
    }
}

}  // namespace

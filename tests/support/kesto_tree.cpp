#include "support/kesto_tree.h"

#include <gtest/gtest.h>

#include <utility>

#include "platform/directory.h"
#include "platform/path.h"
#include "support/files.h"

namespace testsupport {

plat::FileTime local_time(int year, int month, int day, int hour, int minute, int second, int ms) {
    const plat::CalendarTime fields{year, month, day, hour, minute, second, ms};
    plat::FileTime time = 0;
    EXPECT_TRUE(plat::local_to_file_time(fields, time));
    return time;
}

plat::FileTime stamp_of(const TreeEntry& entry) {
    return entry.directory ? local_time(2023, 1, 2, 3, 4, 5, 0) : local_time(2024, 3, 15, 12, entry.minute, 56, 789);
}

std::vector<TreeEntry> wide_named_files(const std::string& folder) {
    return {{folder + "/αβγ.txt", plat::ATTR_ARCHIVE, 4, false, 6, "beta"},
            {folder + "/日本語.txt", plat::ATTR_ARCHIVE, 5, false, 7, "nihon"},
            {folder + "/😀.dat", plat::ATTR_ARCHIVE, 5, false, 8, "smile"}};
}

void make_tree(const TempDir& dir, const std::vector<TreeEntry>& entries) {
    for (const TreeEntry& e : entries) {
        if (e.directory)
            ASSERT_TRUE(plat::create_directory(native_path(dir.file(e.path)).c_str())) << e.path;
        else
            ASSERT_TRUE(make_sparse_file(dir.file(e.path), static_cast<std::int64_t>(e.size), 0, e.data)) << e.path;
    }
    for (auto e = entries.rbegin(); e != entries.rend(); ++e) set_stamp(dir, *e);
}

void set_stamp(const TempDir& dir, const TreeEntry& e) {
    const std::string path = native_path(dir.file(e.path));
    const plat::FileTime time = stamp_of(e);
    ASSERT_TRUE(plat::set_file_times(path.c_str(), nullptr, &time, &time)) << e.path;
    const std::uint32_t directory = e.directory ? std::uint32_t{plat::ATTR_DIRECTORY} : 0u;
    ASSERT_TRUE(plat::set_attributes(path.c_str(), e.attributes | directory)) << e.path;
}

std::string attribute_column(const TreeEntry& entry) {
    std::string attributes = "------";
    if (entry.attributes & plat::ATTR_ARCHIVE) attributes[0] = 'a';
    if (entry.directory) attributes[1] = 'd';
    if (entry.attributes & plat::ATTR_HIDDEN) attributes[4] = 'h';
    if (entry.attributes & plat::ATTR_READONLY) attributes[5] = 'r';
    return attributes;
}

std::string native(std::string path) {
    for (char& c : path)
        if (c == '/') c = plat::path_separator();
    return path;
}

const TreeEntry& entry_at(const std::vector<TreeEntry>& entries, const std::string& path) {
    for (const TreeEntry& e : entries)
        if (path == e.path) return e;
    ADD_FAILURE() << "no entry " << path;
    return entries.front();
}

RunResult run_kesto(const TempDir& dir, const std::vector<std::string>& args, std::vector<std::string> env) {
    RunOptions options = options_in(dir.path(), std::move(env));
    RunResult result = run(program_path("kesto"), args, options);
    EXPECT_FALSE(result.timed_out);
    return result;
}

RunResult run_kesto_as_tree_owner(const TempDir& dir, const std::vector<std::string>& args) {
    std::vector<std::string> command = run_as_tree_owner(dir.path());
    if (command.empty()) return run_kesto(dir, args);
    const std::string runner = command.front();
    command.erase(command.begin());
    command.push_back(program_path("kesto"));
    command.insert(command.end(), args.begin(), args.end());
    RunResult result = run(runner, command, options_in(dir.path(), {}));
    EXPECT_FALSE(result.timed_out);
    return result;
}

}  // namespace testsupport

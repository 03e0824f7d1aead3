// Test trees for kesto: entries with fixed sizes, attributes and time
// stamps, built through the platform layer, and kesto run over them.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/time.h"
#include "support/process.h"
#include "support/temp_dir.h"

namespace testsupport {

struct TreeEntry {
    std::string path;          // with "/"
    std::uint32_t attributes;  // without the directory bit
    std::uint64_t size;        // a file's size
    bool directory;
    int minute;             // of a file's last-write stamp
    std::string data = {};  // a file's first bytes; the rest are zeros (sparse)
};

// Files named in Greek, in Japanese and with a character outside the Basic
// Multilingual Plane, in folder: names no single-byte code page spells.
// Walk order (by name, in bytes or in UTF-16 units alike).
std::vector<TreeEntry> wide_named_files(const std::string& folder);

// A local time in the test's time zone, as kesto shows it.
plat::FileTime local_time(int year, int month, int day, int hour, int minute, int second, int ms);
// Files are stamped 2024-03-15 12:<minute>:56.789, directories
// 2023-01-02 03:04:05.00 (local).
plat::FileTime stamp_of(const TreeEntry& entry);

// Creates the entries in dir, then stamps them deepest first, so that
// nothing created later touches a stamp.
void make_tree(const TempDir& dir, const std::vector<TreeEntry>& entries);
// Sets the entry's stamp and attributes again.
void set_stamp(const TempDir& dir, const TreeEntry& entry);

// The attribute column ("ad--hr") of an entry.
std::string attribute_column(const TreeEntry& entry);
// A path written with "/" in the form kesto prints it.
std::string native(std::string path);
// The entry of entries at path (a test failure when there is none).
const TreeEntry& entry_at(const std::vector<TreeEntry>& entries, const std::string& path);

// Runs kesto in dir, in English unless env sets LC_ALL.
RunResult run_kesto(const TempDir& dir, const std::vector<std::string>& args, std::vector<std::string> env = {});
// The same, as an ordinary user who owns the tree (see run_as_tree_owner),
// so that permissions count also where the tests run as root.
RunResult run_kesto_as_tree_owner(const TempDir& dir, const std::vector<std::string>& args);

}  // namespace testsupport

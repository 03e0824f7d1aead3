// Directories, attributes and times of files (kesto). Declared here so the
// whole layer is one interface; the backends implement it with the walker.
#pragma once
#include <cstdint>
#include <string>

#include "time.h"

namespace plat {

enum : std::uint32_t {
    ATTR_READONLY = 0x01,
    ATTR_HIDDEN = 0x02,
    ATTR_SYSTEM = 0x04,
    ATTR_DIRECTORY = 0x10,
    ATTR_ARCHIVE = 0x20,
    ATTR_REPARSE_POINT = 0x400,
};

struct FindRecord {
    std::uint32_t attributes = 0;
    FileTime creation_time = 0;
    FileTime last_access_time = 0;
    FileTime last_write_time = 0;
    std::uint64_t size = 0;
    std::string long_name;
    std::string short_name;
};

class DirectorySearch;  // find first / find next / close over a pattern

bool create_directory(const char* path, const char* model_path);
bool remove_directory(const char* path);
bool delete_file(const char* path);
bool rename_path(const char* from, const char* to);
bool get_attributes(const char* path, std::uint32_t& attributes);
bool set_attributes(const char* path, std::uint32_t attributes);
bool get_file_times(const char* path, FileTime& creation, FileTime& access, FileTime& write);
bool set_file_times(const char* path, const FileTime* creation, const FileTime* access,
                    const FileTime* write);
bool full_path(const char* path, std::string& out);
bool short_path(const char* path, std::string& out);

}  // namespace plat

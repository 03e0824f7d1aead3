#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/files.h"

namespace testsupport {

bool make_sparse_file(const std::string& path, std::int64_t size, std::int64_t offset, const std::string& bytes) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return false;
    bool ok =
        ::ftruncate(fd, static_cast<off_t>(size)) == 0 &&
        ::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)) == static_cast<ssize_t>(bytes.size());
    return ::close(fd) == 0 && ok;
}

std::vector<std::string> run_as_tree_owner(const std::string& path) {
    if (::geteuid() != 0) return {};
    constexpr uid_t NOBODY = 65534;
    auto give = [](const char* entry, const struct stat*, int, FTW*) {
        return ::lchown(entry, NOBODY, NOBODY) == 0 ? 0 : 1;
    };
    if (::nftw(path.c_str(), give, 16, FTW_PHYS) != 0) return {};
    return {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
}

std::int64_t allocated_bytes(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 ? static_cast<std::int64_t>(info.st_blocks) * 512 : -1;
}

bool make_fifo(const std::string& path) { return ::mkfifo(path.c_str(), 0644) == 0; }

std::string native_path(const std::string& path) { return path; }

}  // namespace testsupport

#include "platform/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/backend.h"
#include "platform/fault.h"

namespace plat {
namespace {

int error_code = 0;

bool fail(int code) {
    error_code = code;
    return false;
}

}  // namespace

namespace backend {

int error_code_for(const char* name) {
    if (std::strcmp(name, "io") == 0) return EIO;
    if (std::strcmp(name, "nospace") == 0) return ENOSPC;
    if (std::strcmp(name, "access") == 0) return EACCES;
    if (std::strcmp(name, "notfound") == 0) return ENOENT;
    return 0;
}

void set_last_error(int code) { error_code = code; }

}  // namespace backend

int last_error() { return error_code; }

File::~File() { close(); }

File::File(File&& other) noexcept : handle_(other.handle_) { other.handle_ = INVALID; }

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        close();
        handle_ = other.handle_;
        other.handle_ = INVALID;
    }
    return *this;
}

bool File::open(const char* path, OpenMode mode, unsigned hints) {
    close();
    int error;
    if (fault::hit(fault::Call::open, error)) return false;
    int flags = O_CLOEXEC;
    switch (mode) {
    case OpenMode::read: flags |= O_RDONLY; break;
    case OpenMode::write_existing: flags |= O_WRONLY; break;
    case OpenMode::create_truncate: flags |= O_WRONLY | O_CREAT | O_TRUNC; break;
    }
    if (hints & OPEN_WRITE_THROUGH) flags |= O_DSYNC;
    int fd;
    do fd = ::open(path, flags, 0666);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) return fail(errno);
    struct stat info;
    if (fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        ::close(fd);
        return fail(EISDIR);
    }
    if (hints & OPEN_SEQUENTIAL) posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    handle_ = fd;
    return true;
}

std::int64_t File::read(void* buffer, std::size_t size) {
    if (!fault::transfer(fault::Call::read, size)) return -1;
    for (;;) {
        ssize_t n = ::read(static_cast<int>(handle_), buffer, size);
        if (n >= 0) return n;
        if (errno != EINTR) return fail(errno), -1;
    }
}

std::int64_t File::write(const void* buffer, std::size_t size) {
    if (!fault::transfer(fault::Call::write, size)) return -1;
    const char* bytes = static_cast<const char*>(buffer);
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = ::write(static_cast<int>(handle_), bytes + done, size - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            // What was written counts; the caller sees a short write.
            fail(errno);
            return done > 0 ? static_cast<std::int64_t>(done) : -1;
        }
        done += static_cast<std::size_t>(n);
    }
    return static_cast<std::int64_t>(done);
}

bool File::seek(std::int64_t offset) {
    int error;
    if (fault::hit(fault::Call::seek, error)) return false;
    if (offset < 0) return fail(EINVAL);
    if (lseek(static_cast<int>(handle_), static_cast<off_t>(offset), SEEK_SET) < 0) return fail(errno);
    return true;
}

std::int64_t File::size() {
    struct stat info;
    if (fstat(static_cast<int>(handle_), &info) != 0) return fail(errno), -1;
    return info.st_size;
}

bool File::close() {
    if (handle_ == INVALID) return true;
    int fd = static_cast<int>(handle_);
    handle_ = INVALID;
    int error;
    if (fault::hit(fault::Call::close, error)) {
        ::close(fd);
        return false;
    }
    if (::close(fd) != 0 && errno != EINTR) return fail(errno);
    return true;
}

bool same_file(const char* path_a, const char* path_b) {
    struct stat a, b;
    return stat(path_a, &a) == 0 && stat(path_b, &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}

}  // namespace plat

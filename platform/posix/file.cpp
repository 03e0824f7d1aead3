#include "platform/file.h"

#include <fcntl.h>
#include <setjmp.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/backend.h"
#include "platform/directory.h"
#include "platform/fault.h"
#include "platform/posix/at.h"
#include "platform/posix/filetime.h"

namespace plat {
namespace {

int error_code = 0;

bool fail(int code) {
    error_code = code;
    return false;
}

// One read of at most size bytes: the bytes read (0 at the end), or -1.
std::int64_t read_some(int fd, void* buffer, std::size_t size) {
    for (;;) {
        ssize_t n = ::read(fd, buffer, size);
        if (n >= 0) return n;
        if (errno != EINTR) return fail(errno), -1;
    }
}

// Writes all size bytes: the bytes written, fewer when a write failed after
// some were written (the caller sees a short write), or -1.
std::int64_t write_all(int fd, const void* buffer, std::size_t size) {
    const char* bytes = static_cast<const char*>(buffer);
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = ::write(fd, bytes + done, size - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            fail(errno);
            return done > 0 ? static_cast<std::int64_t>(done) : -1;
        }
        done += static_cast<std::size_t>(n);
    }
    return static_cast<std::int64_t>(done);
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

namespace {

// What a signal handler may read: a fixed buffer, valid while the flag is set.
char termination_path[4096];
volatile sig_atomic_t termination_path_set = 0;

}  // namespace

void remove_file_at_termination() {
    if (termination_path_set) ::unlink(termination_path);
}

}  // namespace backend

void remove_at_termination(const char* path) {
    backend::termination_path_set = 0;
    if (!path || std::strlen(path) >= sizeof backend::termination_path) return;
    std::strcpy(backend::termination_path, path);
    backend::termination_path_set = 1;
}

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
    return read_some(static_cast<int>(handle_), buffer, size);
}

std::int64_t File::write(const void* buffer, std::size_t size) {
    if (!fault::transfer(fault::Call::write, size)) return -1;
    return write_all(static_cast<int>(handle_), buffer, size);
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

bool File::sync() {
    int error;
    if (fault::hit(fault::Call::sync, error)) return false;
    int result;
    do result = ::fdatasync(static_cast<int>(handle_));
    while (result != 0 && errno == EINTR);
    return result == 0 || fail(errno);
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

bool File::set_times(const FileTime* /*creation*/, const FileTime* access, const FileTime* write) {
    int error;
    if (fault::hit(fault::Call::set_times, error)) return false;
    const backend::TimePair pair(access, write);
    if (::futimens(static_cast<int>(handle_), pair.times) != 0) return fail(errno);
    return true;
}

std::int64_t File::read_at(std::int64_t offset, void* buffer, std::size_t size) {
    if (!fault::transfer(fault::Call::read, size)) return -1;
    if (offset < 0) return fail(EINVAL), -1;
    char* bytes = static_cast<char*>(buffer);
    std::size_t done = 0;
    // One call transfers at most about 2 GiB: larger reads take several.
    while (done < size) {
        ssize_t n = ::pread(static_cast<int>(handle_), bytes + done, size - done,
                            static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail(errno), -1;
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<std::int64_t>(done);
}

DataCopy::DataCopy(File& source, File& destination, void* buffer, std::size_t capacity)
    : source_(source), destination_(destination), buffer_(static_cast<unsigned char*>(buffer)),
      capacity_(capacity) {
    const int in = static_cast<int>(source.handle_);
#ifdef SEEK_DATA
    // Fewer blocks than its size needs: the file has holes (cp's test too).
    struct stat info;
    sparse_ = ::fstat(in, &info) == 0 && info.st_blocks * 512 < info.st_size;
#endif
#ifdef __linux__
    // Until a call shows that it cannot (across file systems on older
    // kernels, for one).
    system_copy_ = true;
#endif
    (void)in;
}

std::int64_t DataCopy::next(std::uint64_t size) {
    const int in = static_cast<int>(source_.handle_);
    const int out = static_cast<int>(destination_.handle_);
    std::uint64_t piece = size;
#ifdef SEEK_DATA
    if (sparse_) {
        const off_t at = ::lseek(in, 0, SEEK_CUR);
        off_t data = ::lseek(in, at, SEEK_DATA);
        struct stat info;
        if (data < 0 && errno == ENXIO && ::fstat(in, &info) == 0) data = info.st_size;  // a hole to the end
        if (data > at) {
            // A hole: the copy skips it and grows to cover it.
            const std::uint64_t hole = std::min<std::uint64_t>(static_cast<std::uint64_t>(data - at), size);
            ::lseek(in, at + static_cast<off_t>(hole), SEEK_SET);
            const off_t end = ::lseek(out, static_cast<off_t>(hole), SEEK_CUR);
            if (end < 0 || ::ftruncate(out, end) != 0) return fail(errno), failed(CopyFailure::write);
            return static_cast<std::int64_t>(hole);
        }
        if (data == at) {
            const off_t hole = ::lseek(in, at, SEEK_HOLE);
            if (hole > at) piece = std::min<std::uint64_t>(piece, static_cast<std::uint64_t>(hole - at));
        } else {
            sparse_ = false;  // the system tells nothing about holes here
        }
        ::lseek(in, at, SEEK_SET);
    }
#endif
    piece = std::min<std::uint64_t>(piece, capacity_);
    std::size_t allowed = static_cast<std::size_t>(piece);
    if (!fault::transfer(fault::Call::read, allowed) || allowed < piece) return failed(CopyFailure::read);
    if (!fault::transfer(fault::Call::write, allowed) || allowed < piece) return failed(CopyFailure::write);
#ifdef __linux__
    if (system_copy_) {
        ssize_t copied;
        do copied = ::copy_file_range(in, nullptr, out, nullptr, allowed, 0);
        while (copied < 0 && errno == EINTR);
        if (copied > 0) return copied;
        if (copied == 0) return failed(CopyFailure::read);  // the source ended
        // The plain read and write below tell which side failed, and why.
        system_copy_ = false;
    }
#endif
    const std::int64_t got = read_some(in, buffer_, allowed);
    if (got <= 0) return failed(CopyFailure::read);
    if (write_all(out, buffer_, static_cast<std::size_t>(got)) != got) return failed(CopyFailure::write);
    return got;
}

bool File::is_regular_file() {
    struct stat info;
    return ::fstat(static_cast<int>(handle_), &info) == 0 && S_ISREG(info.st_mode);
}

bool open_spool_file(File& file, SpoolFailure* failure) {
    auto failed = [&](SpoolFailure step) {
        if (failure) *failure = step;
        return false;
    };
    if (failure) *failure = SpoolFailure::none;
    file.close();
    int error;
    if (fault::hit(fault::Call::open, error)) return failed(SpoolFailure::create);
    const char* folders[] = {std::getenv("TMPDIR"), "/tmp", "."};
    int fd = -1;
    for (const char* folder : folders) {
        if (!folder || !*folder) continue;
        std::string name = std::string(folder) + "/TVNXXXXXX";
        fd = mkostemp(name.data(), O_CLOEXEC);
        if (fd < 0) continue;
        // Unlinked at once: the file lives only as long as the descriptor,
        // however the program ends.
        if (::unlink(name.c_str()) != 0) {
            int code = errno;
            ::close(fd);
            fail(code);
            return failed(SpoolFailure::create);
        }
        break;
    }
    if (fd < 0) {
        fail(errno);
        return failed(SpoolFailure::name);
    }
    file.handle_ = fd;
    return true;
}

bool open_replacement_file(File& file, const char* path, unsigned hints, const File* model, std::string& name) {
    return open_replacement_file(file, Directory(), path, hints, model, name);
}

bool open_replacement_file(File& file, const Directory& directory, const char* path, unsigned hints,
                           const File* model, std::string& name) {
    file.close();
    int error;
    if (fault::hit(fault::Call::open, error)) return false;
    const int at = backend::descriptor_of(directory);
    // Only a regular file is replaced: a directory refuses, and a FIFO or a
    // device would take the data instead of a file (or block the open).
    struct stat existing;
    if (::fstatat(at, path, &existing, 0) == 0) {
        if (S_ISDIR(existing.st_mode)) return fail(EISDIR);
        if (!S_ISREG(existing.st_mode)) return fail(EINVAL);
    }
    mode_t mode = 0666;  // less the umask, as for any new file
    struct stat source;
    if (model && ::fstat(static_cast<int>(model->handle_), &source) == 0) mode = source.st_mode & 0777;
    // The name: path's own, cut to leave room for the suffix within the
    // 255 bytes a name may have, then ".~kesto" and a number.
    constexpr std::size_t NAME_ROOM = 200;
    std::string base = path;
    const std::size_t slash = base.rfind('/');
    const std::size_t name_start = slash == std::string::npos ? 0 : slash + 1;
    if (base.size() - name_start > NAME_ROOM) base.resize(name_start + NAME_ROOM);
    int flags = O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC;
    if (hints & OPEN_WRITE_THROUGH) flags |= O_DSYNC;
    static const unsigned process = static_cast<unsigned>(::getpid());
    static unsigned serial = 0;
    for (int tries = 0; tries < 100; ++tries) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".~kesto%x%x", process, serial++);
        const std::string candidate = base + suffix;
        int fd;
        do fd = ::openat(at, candidate.c_str(), flags, mode);
        while (fd < 0 && errno == EINTR);
        if (fd >= 0) {
            // OPEN_SEQUENTIAL: nothing to tell the system about a file written
            // front to back.
            file.handle_ = fd;
            name = candidate;
            return true;
        }
        if (errno != EEXIST) return fail(errno);
    }
    return fail(EEXIST);
}

bool open_standard_input(File& file) {
    file.close();
    int fd = ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) return fail(errno);
#ifdef F_SETPIPE_SZ
    // A pipe of 1 MiB instead of 64 KiB: a sixteenth of the switches
    // between writer and reader. Only a hint: other inputs refuse it.
    ::fcntl(fd, F_SETPIPE_SZ, 1 << 20);
#endif
    file.handle_ = fd;
    return true;
}

namespace {

// A read from a mapped file that shrank raises SIGBUS; while a copy is under
// way the handler jumps back to it, which then reads the file the ordinary
// way and sees the real, shorter, contents.
// volatile: the compiler knows memcpy() does not read it and would drop
// the store before the copy.
thread_local sigjmp_buf* volatile copy_in_progress = nullptr;

extern "C" void on_bus_error(int signal_number) {
    if (sigjmp_buf* resume = copy_in_progress) {
        copy_in_progress = nullptr;
        siglongjmp(*resume, 1);
    }
    // Not ours: the default action ends the program when the fault repeats.
    ::signal(signal_number, SIG_DFL);
}

bool copy_from_map(void* to, const void* from, std::size_t size) {
    sigjmp_buf resume;
    // No signal mask is saved (that would cost a system call per copy); the
    // handler runs with SA_NODEFER, so SIGBUS stays unblocked after the jump.
    if (sigsetjmp(resume, 0) != 0) return false;
    copy_in_progress = &resume;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    std::memcpy(to, from, size);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    copy_in_progress = nullptr;
    return true;
}

void catch_bus_errors() {
    static bool installed = false;
    if (installed) return;
    struct sigaction action {};
    action.sa_handler = on_bus_error;
    action.sa_flags = SA_NODEFER;
    sigemptyset(&action.sa_mask);
    installed = sigaction(SIGBUS, &action, nullptr) == 0;
}

}  // namespace

FileReader::~FileReader() {
    if (map_) ::munmap(const_cast<unsigned char*>(map_), static_cast<std::size_t>(size_));
}

void FileReader::attach(File& file) {
    file_ = &file;
    size_ = file.size();
    // The file may have been read front to back through this descriptor
    // (OPEN_SEQUENTIAL); the reads from here on jump about.
    posix_fadvise(static_cast<int>(file.handle_), 0, 0, POSIX_FADV_NORMAL);
    // Files too large for the address space (32-bit systems) and empty ones
    // are read the ordinary way.
    if (size_ <= 0 || static_cast<std::uint64_t>(size_) > SIZE_MAX / 2) return;
    catch_bus_errors();
    void* map = ::mmap(nullptr, static_cast<std::size_t>(size_), PROT_READ, MAP_SHARED,
                       static_cast<int>(file.handle_), 0);
    if (map != MAP_FAILED) map_ = static_cast<const unsigned char*>(map);
}

std::int64_t FileReader::read(std::int64_t offset, void* buffer, std::size_t size) {
    if (map_ && offset >= 0 && offset <= size_ && size <= static_cast<std::uint64_t>(size_ - offset)) {
        if (!fault::transfer(fault::Call::read, size)) return -1;
        if (copy_from_map(buffer, map_ + offset, size)) return static_cast<std::int64_t>(size);
    }
    return file_->read_at(offset, buffer, size);
}

void FileReader::prefetch(std::int64_t offset) const {
    // Two cache lines: a typical text line.
    if (map_ && offset >= 0 && offset < size_) {
        __builtin_prefetch(map_ + offset);
        if (offset + 64 < size_) __builtin_prefetch(map_ + offset + 64);
    }
}

bool FileReader::shrunk() { return file_->size() < size_; }

bool same_file(const char* path_a, const char* path_b) {
    struct stat a, b;
    return stat(path_a, &a) == 0 && stat(path_b, &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}

}  // namespace plat

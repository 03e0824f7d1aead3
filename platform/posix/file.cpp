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

using backend::fail;

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

bool fail_with_os_error() { return fail(errno); }

int error_code_for(const char* name) {
    if (std::strcmp(name, "io") == 0) return EIO;
    if (std::strcmp(name, "nospace") == 0) return ENOSPC;
    if (std::strcmp(name, "access") == 0) return EACCES;
    if (std::strcmp(name, "notfound") == 0) return ENOENT;
    return 0;
}

namespace {

// What a signal handler may read: fixed buffers, each valid while its state
// is SET. A thread takes a FREE place by moving it to FILLING.
enum : int { FREE, FILLING, SET };
struct TerminationPlace {
    std::atomic<int> state{FREE};
    char path[4096];
};
TerminationPlace termination_places[TERMINATION_PLACES];
static_assert(std::atomic<int>::is_always_lock_free, "read in a signal handler");

}  // namespace

void remove_file_at_termination() {
    for (TerminationPlace& place : termination_places)
        if (place.state.load() == SET) ::unlink(place.path);
}

}  // namespace backend

int remove_at_termination(const char* path) {
    if (std::strlen(path) >= sizeof backend::termination_places[0].path) return -1;
    for (int ticket = 0; ticket < TERMINATION_PLACES; ++ticket) {
        backend::TerminationPlace& place = backend::termination_places[ticket];
        int expected = backend::FREE;
        if (!place.state.compare_exchange_strong(expected, backend::FILLING)) continue;
        std::strcpy(place.path, path);
        place.state.store(backend::SET);
        return ticket;
    }
    return -1;
}

void keep_at_termination(int ticket) {
    if (ticket >= 0 && ticket < TERMINATION_PLACES) backend::termination_places[ticket].state.store(backend::FREE);
}

// No lock of a POSIX file shuts out a reader.
bool is_sharing_violation(int) { return false; }

namespace backend {

std::intptr_t open_file(const char* path, OpenMode mode, unsigned hints) {
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
    if (fd < 0) return fail(errno), -1;
    struct stat info;
    const bool known = fstat(fd, &info) == 0;
    if (known && S_ISDIR(info.st_mode)) {
        ::close(fd);
        return fail(EISDIR), -1;
    }
    // A file of one read has nothing to read ahead: no call for it (a copy
    // of thousands of small files makes thousands of calls fewer).
    constexpr off_t ONE_READ = 128 * 1024;
    if ((hints & OPEN_SEQUENTIAL) && !(known && S_ISREG(info.st_mode) && info.st_size <= ONE_READ))
        posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return fd;
}

std::int64_t read_file(std::intptr_t file, void* buffer, std::size_t size) {
    return read_some(static_cast<int>(file), buffer, size);
}

std::int64_t write_file(std::intptr_t file, const void* buffer, std::size_t size) {
    return write_all(static_cast<int>(file), buffer, size);
}

bool seek_file(std::intptr_t file, std::int64_t offset) {
    if (offset < 0) return fail(EINVAL);
    if (lseek(static_cast<int>(file), static_cast<off_t>(offset), SEEK_SET) < 0) return fail(errno);
    return true;
}

std::int64_t file_size(std::intptr_t file) {
    struct stat info;
    if (fstat(static_cast<int>(file), &info) != 0) return fail(errno), -1;
    return info.st_size;
}

bool sync_file(std::intptr_t file) {
    int result;
    do result = ::fdatasync(static_cast<int>(file));
    while (result != 0 && errno == EINTR);
    return result == 0 || fail(errno);
}

bool close_file(std::intptr_t file) { return ::close(static_cast<int>(file)) == 0 || errno == EINTR || fail(errno); }

// POSIX cannot set the creation time: it is left alone.
bool set_times_of(std::intptr_t file, const FileTime* /*creation*/, const FileTime* access, const FileTime* write) {
    const TimePair pair(access, write);
    return ::futimens(static_cast<int>(file), pair.times) == 0 || fail(errno);
}

std::int64_t read_file_at(std::intptr_t file, std::int64_t offset, void* buffer, std::size_t size) {
    if (offset < 0) return fail(EINVAL), -1;
    char* bytes = static_cast<char*>(buffer);
    std::size_t done = 0;
    // One call transfers at most about 2 GiB: larger reads take several.
    while (done < size) {
        ssize_t n = ::pread(static_cast<int>(file), bytes + done, size - done,
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

bool is_disk_file(std::intptr_t file) {
    struct stat info;
    return ::fstat(static_cast<int>(file), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace backend

DataCopy::DataCopy(File& source, File& destination, void* buffer, std::size_t capacity)
    : source_(source), destination_(destination), buffer_(static_cast<unsigned char*>(buffer)), capacity_(capacity) {
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

namespace backend {

std::intptr_t open_spool_file(SpoolFailure& failure) {
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
            failure = SpoolFailure::create;
            return fail(code), -1;
        }
        return fd;
    }
    failure = SpoolFailure::name;
    return fail(errno), -1;
}

namespace {

// The permission bits of a new file: model's, else all; less the umask, as
// for any new file.
mode_t new_file_mode(std::intptr_t model) {
    struct stat source;
    if (model >= 0 && ::fstat(static_cast<int>(model), &source) == 0) return source.st_mode & 0777;
    return 0666;
}

int write_flags(unsigned hints) { return O_WRONLY | O_CLOEXEC | ((hints & OPEN_WRITE_THROUGH) ? O_DSYNC : 0); }

}  // namespace

std::intptr_t open_replacement_file(const Directory& directory, const char* path, unsigned hints, std::intptr_t model,
                                    std::string& name) {
    const int at = descriptor_of(directory);
    // Only a regular file is replaced: a directory refuses, and a FIFO or a
    // device would take the data instead of a file (or block the open).
    struct stat existing;
    if (::fstatat(at, path, &existing, 0) == 0) {
        if (S_ISDIR(existing.st_mode)) return fail(EISDIR), -1;
        if (!S_ISREG(existing.st_mode)) return fail(EINVAL), -1;
    }
    const mode_t mode = new_file_mode(model);
    // The name: path's own, cut to leave room for the suffix within the
    // 255 bytes a name may have, then ".~kesto" and a number.
    constexpr std::size_t NAME_ROOM = 200;
    std::string base = path;
    const std::size_t slash = base.rfind('/');
    const std::size_t name_start = slash == std::string::npos ? 0 : slash + 1;
    if (base.size() - name_start > NAME_ROOM) base.resize(name_start + NAME_ROOM);
    const int flags = write_flags(hints) | O_CREAT | O_EXCL;
    static const unsigned process = static_cast<unsigned>(::getpid());
    static std::atomic<unsigned> serial{0};
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
            name = candidate;
            return fd;
        }
        if (errno != EEXIST) return fail(errno), -1;
    }
    return fail(EEXIST), -1;
}

// Set once naming an unnamed file has proved impossible here (a kernel
// before 6.10 without /proc): none is made from then on.
std::atomic<bool> unnamed_files_unusable{false};

std::intptr_t open_unnamed_file(const Directory& directory, unsigned hints, std::intptr_t model) {
#ifdef O_TMPFILE
    if (unnamed_files_unusable.load(std::memory_order_relaxed)) return fail(ENOTSUP), -1;
    int fd;
    do fd = ::openat(descriptor_of(directory), ".", write_flags(hints) | O_TMPFILE, new_file_mode(model));
    while (fd < 0 && errno == EINTR);
    if (fd < 0) return fail(errno), -1;
    return fd;
#else
    (void)directory, (void)hints, (void)model;
    return fail(ENOTSUP), -1;
#endif
}

bool name_unnamed_file(std::intptr_t file, const Directory& directory, const char* name, bool read_only) {
    const int fd = static_cast<int>(file);
    struct stat own;
    if (::fstat(fd, &own) != 0) return fail(errno);
    if (!(own.st_mode & S_IWUSR) != read_only &&
        ::fchmod(fd, read_only ? own.st_mode & 07555 : (own.st_mode & 07777) | S_IWUSR) != 0)
        return fail(errno);
    const int at = descriptor_of(directory);
    if (::linkat(fd, "", at, name, AT_EMPTY_PATH) == 0) return true;
    // Kernels before 6.10 take the file itself from the privileged only;
    // its entry in /proc leads to it for everyone.
    if (errno != ENOENT && errno != EPERM) return fail(errno);
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (::linkat(AT_FDCWD, self.c_str(), at, name, AT_SYMLINK_FOLLOW) == 0) return true;
    const int error = errno;
    if (error == ENOENT && ::access("/proc/self/fd", F_OK) != 0) unnamed_files_unusable = true;
    return fail(error);
}

std::intptr_t open_standard_input() {
    int fd = ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) return fail(errno), -1;
#ifdef F_SETPIPE_SZ
    // A pipe of 1 MiB instead of 64 KiB: a sixteenth of the switches
    // between writer and reader. Only a hint: other inputs refuse it.
    ::fcntl(fd, F_SETPIPE_SZ, 1 << 20);
#endif
    return fd;
}

}  // namespace backend

namespace {

// A read from a mapped file that shrank raises SIGBUS; while a copy or a
// comparison out of a map is under way the handler jumps back to it, and
// the caller then reads the file the ordinary way and sees the real,
// shorter, contents.
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

namespace backend {

// Runs work, which reads from a map: false when the file shrank under the
// map meanwhile (work then ended at the fault).
template <typename Work>
bool guarded(Work work) {
    sigjmp_buf resume;
    // No signal mask is saved (that would cost a system call per call); the
    // handler runs with SA_NODEFER, so SIGBUS stays unblocked after the jump.
    if (sigsetjmp(resume, 0) != 0) return false;
    copy_in_progress = &resume;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    work();
    std::atomic_signal_fence(std::memory_order_seq_cst);
    copy_in_progress = nullptr;
    return true;
}

bool copy_from_map(void* to, const unsigned char* from, std::size_t size) {
    return guarded([&] { std::memcpy(to, from, size); });
}

bool compare_maps(const unsigned char* a, const unsigned char* b, std::size_t size, bool& same) {
    return guarded([&] { same = std::memcmp(a, b, size) == 0; });
}

void expect_random_reads(std::intptr_t file) {
    // The file may have been read front to back through this descriptor
    // (OPEN_SEQUENTIAL); the reads from here on jump about.
    posix_fadvise(static_cast<int>(file), 0, 0, POSIX_FADV_NORMAL);
}

const unsigned char* map_file(std::intptr_t file, std::int64_t size, bool sequential) {
    catch_bus_errors();
    void* map = ::mmap(nullptr, static_cast<std::size_t>(size), PROT_READ, MAP_SHARED, static_cast<int>(file), 0);
    if (map == MAP_FAILED) return nullptr;
    if (sequential) ::madvise(map, static_cast<std::size_t>(size), MADV_SEQUENTIAL);
    return static_cast<const unsigned char*>(map);
}

void unmap_file(const unsigned char* map, std::int64_t size) {
    ::munmap(const_cast<unsigned char*>(map), static_cast<std::size_t>(size));
}

}  // namespace backend

bool same_file(const char* path_a, const char* path_b) {
    struct stat a, b;
    return stat(path_a, &a) == 0 && stat(path_b, &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace plat

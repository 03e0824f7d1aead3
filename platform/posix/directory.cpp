// Directories, attributes and times of the POSIX build.
//
// A directory search reads the whole directory when it starts and reports
// "." and ".." first, then the other names sorted byte-wise, each described
// when it is reached. Attributes: D from the file type, R when the owner may
// not write, H/S/A in the extended attribute user.DOSATTRIB as the text
// "0x%x" (the form Samba and Wine use), H also for a name starting with ".".
// The creation time is the birth time where statx reports one, else the
// status-change time.
//
// What changes the tree acts through a Directory: an open descriptor, with
// every entry examined and changed relative to it (fstatat, unlinkat,
// renameat, fchmodat, utimensat) and every subdirectory opened relative to
// its parent without following a link, so that a directory exchanged for a
// link while the walk runs makes the act fail instead of reaching outside.
#include "platform/directory.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#if defined(__linux__)
#include <sys/xattr.h>
#endif

#include "platform/backend.h"
#include "platform/fault.h"
#include "platform/file.h"
#include "platform/posix/at.h"
#include "platform/posix/filetime.h"
#include "platform/text.h"

namespace plat {
namespace {

constexpr std::uint32_t DOS_BITS = ATTR_HIDDEN | ATTR_SYSTEM | ATTR_ARCHIVE;
constexpr const char* DOS_XATTR = "user.DOSATTRIB";

using backend::fail;
using backend::to_file_time;

// What this layer needs of a file's status.
struct Status {
    mode_t mode = 0;
    std::uint64_t size = 0, device = 0, inode = 0;
    FileTime creation = 0, access = 0, write = 0, change = 0;
};

// Reads the status of path (relative to the directory descriptor at), or
// of the link itself when follow is false.
bool read_status(int at, const char* path, bool follow, Status& out) {
#ifdef STATX_BTIME
    struct statx extended;
    if (statx(at, path, follow ? 0 : AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME, &extended) == 0) {
        out.mode = extended.stx_mode;
        out.size = extended.stx_size;
        out.device = makedev(extended.stx_dev_major, extended.stx_dev_minor);
        out.inode = extended.stx_ino;
        const statx_timestamp& born = extended.stx_mask & STATX_BTIME ? extended.stx_btime : extended.stx_ctime;
        out.creation = to_file_time(born.tv_sec, born.tv_nsec);
        out.access = to_file_time(extended.stx_atime.tv_sec, extended.stx_atime.tv_nsec);
        out.write = to_file_time(extended.stx_mtime.tv_sec, extended.stx_mtime.tv_nsec);
        out.change = to_file_time(extended.stx_ctime.tv_sec, extended.stx_ctime.tv_nsec);
        return true;
    }
    if (errno != ENOSYS) return fail(errno);  // else a kernel without statx
#endif
    struct stat plain;
    if (fstatat(at, path, &plain, follow ? 0 : AT_SYMLINK_NOFOLLOW) != 0) return fail(errno);
    out.mode = plain.st_mode;
    out.size = static_cast<std::uint64_t>(plain.st_size);
    out.device = plain.st_dev;
    out.inode = plain.st_ino;
    out.creation = to_file_time(plain.st_ctim.tv_sec, plain.st_ctim.tv_nsec);
    out.access = to_file_time(plain.st_atim.tv_sec, plain.st_atim.tv_nsec);
    out.write = to_file_time(plain.st_mtim.tv_sec, plain.st_mtim.tv_nsec);
    out.change = to_file_time(plain.st_ctim.tv_sec, plain.st_ctim.tv_nsec);
    return true;
}

bool read_status(const char* path, bool follow, Status& out) { return read_status(AT_FDCWD, path, follow, out); }

// Extended attributes; where the system has none every call fails with
// ENOTSUP, so H/S/A read as clear and cannot be set.
#if defined(__linux__)
// getxattrat (Linux 6.13; its number is the same on every architecture but
// Alpha): the attribute of a name relative to a directory descriptor,
// without the walk along the whole path that getxattr makes for each of a
// directory's files. The C library has no wrapper for it yet.
#if !defined(__alpha__)
constexpr long GETXATTRAT = 464;
#endif
struct XattrArgs {
    std::uint64_t value;
    std::uint32_t size;
    std::uint32_t flags;
};
std::atomic<bool> getxattrat_missing{false};

// The attribute of path relative to at, also reached as text (a path from
// the working directory, for systems without getxattrat).
ssize_t get_xattr(int at, const char* path, const char* text, bool follow, char* buffer, std::size_t size) {
#if !defined(__alpha__)
    if (at != AT_FDCWD && !getxattrat_missing.load(std::memory_order_relaxed)) {
        XattrArgs args{reinterpret_cast<std::uintptr_t>(buffer), static_cast<std::uint32_t>(size), 0};
        const long length =
            syscall(GETXATTRAT, at, path, follow ? 0 : AT_SYMLINK_NOFOLLOW, DOS_XATTR, &args, sizeof args);
        // An older kernel, or a sandbox that refuses calls it does not know.
        if (length >= 0 || (errno != ENOSYS && errno != EPERM)) return length;
        getxattrat_missing = true;
    }
#endif
    return follow ? getxattr(text, DOS_XATTR, buffer, size) : lgetxattr(text, DOS_XATTR, buffer, size);
}
int set_xattr(const char* path, const char* text, std::size_t size) {
    return lsetxattr(path, DOS_XATTR, text, size, 0);
}
int remove_xattr(const char* path) {
    if (lremovexattr(path, DOS_XATTR) == 0 || errno == ENODATA) return 0;
    return -1;
}
#else
ssize_t get_xattr(int, const char*, const char*, bool, char*, std::size_t) { return errno = ENOTSUP, -1; }
int set_xattr(const char*, const char*, std::size_t) { return errno = ENOTSUP, -1; }
int remove_xattr(const char*) { return errno = ENOTSUP, -1; }
#endif

// The H/S/A bits kept in user.DOSATTRIB: its value starts with "0x" and the
// hexadecimal attribute word (Samba may follow that text with binary data).
// The entry is path relative to at, or text from the working directory.
std::uint32_t read_dos_bits(int at, const char* path, const char* text_path, bool follow) {
    std::vector<char> text(64);
    ssize_t length = get_xattr(at, path, text_path, follow, text.data(), text.size() - 1);
    if (length < 0 && errno == ERANGE) {
        length = get_xattr(at, path, text_path, follow, nullptr, 0);
        if (length <= 0) return 0;
        text.resize(static_cast<std::size_t>(length) + 1);
        length = get_xattr(at, path, text_path, follow, text.data(), text.size() - 1);
    }
    if (length < 3) return 0;
    text[static_cast<std::size_t>(length)] = '\0';
    if (text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) return 0;
    return static_cast<std::uint32_t>(std::strtoul(text.data() + 2, nullptr, 16)) & DOS_BITS;
}

// Stores the H/S/A bits of the path itself (not of a link's target). A
// store the system refuses still succeeds when the bits already read as
// asked (clearing them where nothing can be stored).
bool store_dos_bits(const char* path, std::uint32_t bits) {
    int result;
    if (bits != 0) {
        char text[16];
        int length = std::snprintf(text, sizeof text, "0x%x", static_cast<unsigned>(bits));
        result = set_xattr(path, text, static_cast<std::size_t>(length));
    } else {
        result = remove_xattr(path);
    }
    if (result == 0) return true;
    int error = errno;
    return read_dos_bits(AT_FDCWD, path, path, false) == bits || fail(error);
}

// The path of the entry name relative to the descriptor at, for the calls
// that change what has no form relative to a descriptor (the extended
// attributes): through the descriptor's own entry in /proc, so that the
// directory is still the one held open. (Reads go by the directory's
// path: a lookup through /proc costs more than the read itself.)
std::string path_through(int at, const char* name) {
    if (at == AT_FDCWD) return name;
    return "/proc/self/fd/" + std::to_string(at) + "/" + name;
}

// The last component of a path, ignoring trailing separators.
std::string last_component(const std::string& path) {
    std::size_t end = path.find_last_not_of('/');
    if (end == std::string::npos) return "";
    std::size_t start = path.rfind('/', end);
    start = start == std::string::npos ? 0 : start + 1;
    return path.substr(start, end + 1 - start);
}

bool hidden_name(const std::string& name) { return name.size() > 1 && name[0] == '.' && name != ".."; }

// The attribute word of a file of the given status (the entry path relative
// to at, or text), without link bits; follow tells whether user.DOSATTRIB
// is read through a link.
std::uint32_t attributes_of(const Status& status, int at, const char* path, const char* text, const std::string& name,
                            bool follow) {
    std::uint32_t attributes = read_dos_bits(at, path, text, follow);
    if (S_ISDIR(status.mode)) attributes |= ATTR_DIRECTORY;
    if (!S_ISLNK(status.mode) && !(status.mode & S_IWUSR)) attributes |= ATTR_READONLY;
    if (hidden_name(name)) attributes |= ATTR_HIDDEN;
    return attributes;
}

// Fills record for the entry at path (named name): what a link leads to,
// a dangling link as a file of size 0. False when the entry has gone, or
// when it is a special file (FIFO, socket, device), which holds no data.
// text is the entry's path for reading its extended attributes.
bool describe(int at, const std::string& path, const std::string& text, const std::string& name, FindRecord& record) {
    Status status;
    if (!read_status(at, path.c_str(), false, status)) return false;
    bool link = S_ISLNK(status.mode);
    Status target;
    if (link && read_status(at, path.c_str(), true, target)) status = target;  // else dangling
    if (!S_ISREG(status.mode) && !S_ISDIR(status.mode) && !S_ISLNK(status.mode)) return fail(ENOENT);
    record.attributes = attributes_of(status, at, path.c_str(), text.c_str(), name, true);
    if (link) record.attributes |= ATTR_REPARSE_POINT;
    record.creation_time = status.creation;
    record.last_access_time = status.access;
    record.last_write_time = status.write;
    record.change_time = status.change;
    record.size = S_ISREG(status.mode) ? status.size : 0;
    record.long_name = name;
    record.short_name.clear();
    return true;
}

// True when name matches pattern: "*" any run of bytes, "?" one byte,
// letters without regard to case; "*.*" matches every name.
bool matches(const char* name, const char* pattern) {
    if (std::strcmp(pattern, "*.*") == 0) return true;
    const char* star = nullptr;   // the pattern after the last "*" met
    const char* retry = nullptr;  // where the name resumes if the run grows
    while (*name) {
        if (*pattern == '*') {
            star = ++pattern;
            retry = name;
        } else if (*pattern && (*pattern == '?' || ascii_upper(*pattern) == ascii_upper(*name))) {
            ++pattern;
            ++name;
        } else if (star) {
            pattern = star;
            name = ++retry;
        } else {
            return false;
        }
    }
    while (*pattern == '*') ++pattern;
    return *pattern == '\0';
}

// "." and ".." first, then byte-wise.
bool name_before(const std::string& a, const std::string& b) {
    auto rank = [](const std::string& name) { return name == "." ? 0 : name == ".." ? 1 : 2; };
    if (rank(a) != rank(b)) return rank(a) < rank(b);
    return a < b;
}

// The names in directory (relative to the descriptor at) that match
// pattern, in reporting order.
bool list_directory(int at, const std::string& directory, const char* pattern, std::vector<std::string>& names) {
    const int descriptor = openat(at, directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0) return fail(errno);
    DIR* handle = fdopendir(descriptor);
    if (!handle) {
        const int error = errno;
        ::close(descriptor);
        return fail(error);
    }
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(handle);
        if (!entry) break;
        if (matches(entry->d_name, pattern)) names.emplace_back(entry->d_name);
    }
    int error = errno;
    if (closedir(handle) != 0 && error == 0) error = errno;
    if (error != 0) return fail(error);
    std::sort(names.begin(), names.end(), name_before);
    return true;
}

}  // namespace

struct Directory::State {
    int descriptor = -1;
    std::string path;  // as opened, for reading what has no call relative to the descriptor
    ~State() { ::close(descriptor); }
};

namespace backend {
struct DirectoryAccess {
    // The descriptor that entry names are relative to.
    static int at(const Directory& directory) { return directory.state_ ? directory.state_->descriptor : AT_FDCWD; }
    // The directory's path followed by "/"; "" for the working directory.
    static std::string prefix(const Directory& directory) {
        return directory.state_ ? directory.state_->path + "/" : std::string();
    }
};
}  // namespace backend

int backend::descriptor_of(const Directory& directory) { return DirectoryAccess::at(directory); }

namespace {

using backend::descriptor_of;

// The path of the entry name of directory, for reading.
std::string text_path(const Directory& directory, const char* name) {
    return backend::DirectoryAccess::prefix(directory) + name;
}

// The test hook of fault.h: the directory name in at gives way to a link.
void swap_for_link(int at, const char* name) {
    std::string target;
    if (!fault::swap_due(target)) return;
    const std::string aside = std::string(name) + "~";
    if (renameat(at, name, at, aside.c_str()) == 0) symlinkat(target.c_str(), at, name);
}

}  // namespace

Directory::Directory() = default;
Directory::~Directory() = default;
Directory::Directory(Directory&& other) noexcept = default;
Directory& Directory::operator=(Directory&& other) noexcept = default;

bool Directory::open(const char* path) {
    close();
    const int descriptor = ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0) return fail(errno);
    state_ = std::make_unique<State>();
    state_->descriptor = descriptor;
    state_->path = path;
    return true;
}

bool Directory::open_in(const Directory& parent, const char* name, bool follow_link) {
    close();
    const int at = descriptor_of(parent);
    swap_for_link(at, name);
    const int descriptor = openat(at, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | (follow_link ? 0 : O_NOFOLLOW));
    if (descriptor < 0) return fail(errno);
    std::string path = text_path(parent, name);
    state_ = std::make_unique<State>();
    state_->descriptor = descriptor;
    state_->path = std::move(path);
    return true;
}

void Directory::close() { state_.reset(); }

bool Directory::is_open() const { return state_ != nullptr; }

struct DirectorySearch::State {
    int at = AT_FDCWD;               // the descriptor the names are relative to
    std::string directory;           // the pattern's directory part with its "/", or ""
    std::string text;                // the names' directory as a path with its "/", for reading
    std::vector<std::string> names;  // what is left to report, in order
    std::size_t next = 0;
};

DirectorySearch::DirectorySearch() = default;
DirectorySearch::~DirectorySearch() = default;

bool DirectorySearch::first(const char* pattern, FindRecord& record) {
    close();
    std::string text = pattern;
    std::string name = text.substr(text.rfind('/') + 1);  // npos + 1 == 0
    // As on Windows, a last component "." or ".." stands for the directory
    // it leads to, which is reported under its own name (the root has none).
    if (name == "." || name == "..") {
        if (!full_path(pattern, text)) return false;
        if (text == "/") return fail(ENOENT);
    }
    auto state = std::make_unique<State>();
    std::size_t slash = text.rfind('/');
    state->directory = slash == std::string::npos ? "" : text.substr(0, slash + 1);
    name = text.substr(state->directory.size());
    state->text = state->directory;
    return start(std::move(state), name.c_str(), record);
}

bool DirectorySearch::first(const Directory& directory, const char* pattern, FindRecord& record) {
    close();
    auto state = std::make_unique<State>();
    state->at = descriptor_of(directory);
    state->text = backend::DirectoryAccess::prefix(directory);
    return start(std::move(state), pattern, record);
}

bool DirectorySearch::start(std::unique_ptr<State> state, const char* name, FindRecord& record) {
    if (std::strpbrk(name, "*?")) {
        if (!list_directory(state->at, state->directory.empty() ? "." : state->directory, name, state->names))
            return false;
    } else if (*name) {
        state->names.emplace_back(name);  // a plain name: that entry alone
    }
    state_ = std::move(state);
    if (next(record)) return true;
    state_.reset();
    return false;
}

bool DirectorySearch::next(FindRecord& record) {
    if (!state_) return fail(EBADF);
    int error = ENOENT;
    while (state_->next < state_->names.size()) {
        const std::string& name = state_->names[state_->next++];
        if (describe(state_->at, state_->directory + name, state_->text + name, name, record)) return true;
        error = last_error();
    }
    return fail(error);
}

bool DirectorySearch::close() {
    state_.reset();
    return true;
}

bool DirectorySearch::is_open() const { return state_ != nullptr; }

bool backend::find_entry(const char* path, FindRecord& record) {
    return describe(AT_FDCWD, path, path, last_component(path), record);
}

// Each entry is described as the search reports it.
bool backend::search_records_are_fresh() { return true; }

bool file_identity(const char* path, FileIdentity& out) {
    Status status;
    if (!read_status(path, true, status)) return false;
    out.volume = status.device;
    out.index = status.inode;
    return true;
}

bool current_directory(std::string& out) {
    std::vector<char> buffer(256);
    while (!getcwd(buffer.data(), buffer.size())) {
        if (errno != ERANGE) return fail(errno);
        buffer.resize(buffer.size() * 2);
    }
    out = buffer.data();
    return true;
}

bool full_path(const char* path, std::string& out) {
    if (*path == '\0') return fail(ENOENT);
    std::string text = path;
    if (text[0] != '/') {
        std::string directory;
        if (!current_directory(directory)) return false;
        text = directory + "/" + text;
    }
    std::vector<std::string> components;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('/', start);
        if (end == std::string::npos) end = text.size();
        std::string component = text.substr(start, end - start);
        if (component == "..") {
            if (!components.empty()) components.pop_back();
        } else if (!component.empty() && component != ".") {
            components.push_back(component);
        }
        start = end + 1;
    }
    std::string result;
    for (const std::string& component : components) result += "/" + component;
    if (result.empty() || text.back() == '/') result += "/";
    out = result;
    return true;
}

bool short_path(const char* path, std::string& out) {
    Status status;
    if (!read_status(path, false, status)) return false;
    out = path;
    return true;
}

bool has_short_names() { return false; }

namespace {

// The directory that holds path: "." for a bare name.
std::string parent_directory(const char* path) {
    std::string parent = path;
    while (parent.size() > 1 && parent.back() == '/') parent.pop_back();
    const std::size_t slash = parent.rfind('/');
    if (slash == std::string::npos) return ".";
    parent.resize(slash == 0 ? 1 : slash);
    return parent;
}

// Runs change (a system call: 0 or -1 with errno) on the entry name of the
// directory at. A read-only directory is one without the owner's write
// permission here, and POSIX then refuses to remove or rename its entries,
// where Windows lets a read-only directory's entries go. So when the owner
// is refused only for that reason, the permission is lent for the one
// change and taken back.
template <typename Change>
int change_entry_of(int at, const char* name, Change change) {
    if (change() == 0) return 0;
    const int error = errno;
    const int parent = openat(at, parent_directory(name).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat status;
    if (error != EACCES || parent < 0 || fstat(parent, &status) != 0 || status.st_uid != geteuid() ||
        (status.st_mode & S_IWUSR) || fchmod(parent, (status.st_mode & 07777) | S_IWUSR) != 0) {
        if (parent >= 0) ::close(parent);
        errno = error;
        return -1;
    }
    const int result = change();
    const int retry_error = errno;
    fchmod(parent, status.st_mode & 07777);
    ::close(parent);
    errno = retry_error;
    return result;
}

// Renames the entry name of the directory at to to_name in to_at, where
// both directories may be read-only.
int rename_entry(int at, const char* name, int to_at, const char* to_name) {
    return change_entry_of(
        at, name, [&] { return change_entry_of(to_at, to_name, [&] { return renameat(at, name, to_at, to_name); }); });
}

}  // namespace

bool backend::create_directory(const Directory& directory, const char* name, const char* model_path) {
    const int at = descriptor_of(directory);
    Status model;
    if (model_path && !read_status(model_path, true, model)) return false;
    // A copy starts owner-only and gets the model's permissions once it
    // stands, so that it is never open to more users than its model.
    if (mkdirat(at, name, model_path ? S_IRWXU : 0777) != 0) return fail(errno);
    if (!model_path) return true;
    // The model's permissions, but never fewer than the owner's rwx: a
    // directory the owner cannot write would refuse every file copied in.
    // Its H/S/A bits and times are copied where the file system keeps them;
    // the new directory stands either way. Nothing follows a link that may
    // have taken the new directory's place.
    if (fchmodat(at, name, (model.mode & 07777) | S_IRWXU, AT_SYMLINK_NOFOLLOW) != 0) {
        int error = errno;
        unlinkat(at, name, AT_REMOVEDIR);
        return fail(error);
    }
    store_dos_bits(path_through(at, name).c_str(), read_dos_bits(AT_FDCWD, model_path, model_path, true));
    const backend::TimePair pair(&model.access, &model.write);
    utimensat(at, name, pair.times, AT_SYMLINK_NOFOLLOW);
    return true;
}

bool backend::remove_directory(const Directory& directory, const char* name, bool link) {
    const int at = descriptor_of(directory);
    Status own, target;
    if (!read_status(at, name, false, own)) return false;
    if (S_ISLNK(own.mode) && !link) return fail(ENOTDIR);
    bool directory_link = S_ISLNK(own.mode) && read_status(at, name, true, target) && S_ISDIR(target.mode);
    if (change_entry_of(at, name, [&] { return unlinkat(at, name, directory_link ? 0 : AT_REMOVEDIR); }) != 0)
        return fail(errno);
    return true;
}

bool backend::delete_file(const Directory& directory, const char* name) {
    const int at = descriptor_of(directory);
    if (change_entry_of(at, name, [&] { return unlinkat(at, name, 0); }) != 0) return fail(errno);
    return true;
}

bool backend::rename_path(const Directory& directory, const char* name, const Directory& to_directory,
                          const char* to_name) {
    // rename() would silently replace an existing destination.
    struct stat existing;
    if (fstatat(descriptor_of(to_directory), to_name, &existing, AT_SYMLINK_NOFOLLOW) == 0) return fail(EEXIST);
    if (errno != ENOENT) return fail(errno);
    if (rename_entry(descriptor_of(directory), name, descriptor_of(to_directory), to_name) != 0) return fail(errno);
    return true;
}

bool backend::replace_file(const Directory& directory, const char* name, const Directory& to_directory,
                           const char* to_name) {
    if (rename_entry(descriptor_of(directory), name, descriptor_of(to_directory), to_name) != 0) return fail(errno);
    return true;
}

bool set_copy_attributes(const Directory& directory, const char* name, std::uint32_t attributes) {
    if (attributes & ATTR_DIRECTORY) attributes &= ~ATTR_READONLY;
    if ((attributes & DOS_BITS) == 0) {
        // A new copy holds no hidden, system or archive bits: only its write
        // permission may need a change (most copies need nothing at all).
        Status own;
        if (!read_status(descriptor_of(directory), name, false, own)) return false;
        if (!(own.mode & S_IWUSR) == ((attributes & ATTR_READONLY) != 0)) return true;
    }
    if (set_attributes(directory, name, attributes)) return true;
    if (last_error() != ENOTSUP && last_error() != EOPNOTSUPP) return false;
    return set_attributes(directory, name, attributes & ~DOS_BITS);
}

bool get_attributes(const Directory& directory, const char* name, std::uint32_t& attributes) {
    const int at = descriptor_of(directory);
    Status own, target;
    if (!read_status(at, name, false, own)) return false;
    attributes = attributes_of(own, at, name, text_path(directory, name).c_str(), last_component(name), false);
    if (S_ISLNK(own.mode)) {
        attributes |= ATTR_REPARSE_POINT;
        if (read_status(at, name, true, target) && S_ISDIR(target.mode)) attributes |= ATTR_DIRECTORY;
    }
    return true;
}

bool backend::set_attributes(const Directory& directory, const char* name, std::uint32_t attributes) {
    const int at = descriptor_of(directory);
    Status own;
    if (!read_status(at, name, false, own)) return false;
    bool link = S_ISLNK(own.mode);
    bool want_read_only = (attributes & ATTR_READONLY) != 0;
    if (link && want_read_only) return fail(EPERM);  // a link has no permissions of its own
    mode_t mode = own.mode & 07777;
    bool read_only = !link && !(mode & S_IWUSR);
    // Never through a link: an entry exchanged for one since it was read
    // makes the change fail.
    const auto change_mode = [&](mode_t wanted) {
        return fchmodat(at, name, wanted, AT_SYMLINK_NOFOLLOW) == 0 || fail(errno);
    };
    // The owner may not change the extended attributes of a read-only file:
    // lift the protection while they are written.
    mode_t current = read_only ? mode | S_IWUSR : mode;
    if (current != mode && !change_mode(current)) return false;
    // A name starting with "." is hidden by the name itself: that bit needs
    // no storing (and needs none of the extended attributes that some file
    // systems lack).
    std::uint32_t bits = attributes & DOS_BITS;
    if (hidden_name(last_component(name))) bits &= ~ATTR_HIDDEN;
    bool stored = store_dos_bits(path_through(at, name).c_str(), bits);
    int error = last_error();
    mode_t wanted = mode;
    if (stored && want_read_only && !read_only) wanted = mode & ~0222;
    if (stored && !want_read_only && read_only) wanted = mode | S_IWUSR;
    if (wanted != current && !change_mode(wanted)) return false;
    return stored || fail(error);
}

bool get_file_times(const char* path, FileTime& creation, FileTime& access, FileTime& write) {
    Status status;
    if (!read_status(path, true, status)) return false;
    creation = status.creation;
    access = status.access;
    write = status.write;
    return true;
}

// The creation time is not an argument of any POSIX call: it stays.
bool backend::set_file_times(const char* path, const FileTime* /*creation*/, const FileTime* access,
                             const FileTime* write) {
    Status status;
    if (!access && !write) return read_status(path, true, status);
    const backend::TimePair pair(access, write);
    if (utimensat(AT_FDCWD, path, pair.times, 0) != 0) return fail(errno);
    return true;
}

bool read_only_blocks_times() { return false; }

bool backend::open_for_write_time(WriteTimeEntry& entry) {
    struct stat status;
    if (fstatat(descriptor_of(entry.directory), entry.name, &status, entry.follow_link ? 0 : AT_SYMLINK_NOFOLLOW) != 0)
        return fail(errno);
    return !S_ISLNK(status.st_mode) || fail(ELOOP);  // a link not to be followed
}

bool backend::set_write_time(WriteTimeEntry& entry, FileTime time) {
    const backend::TimePair pair(nullptr, &time);
    return utimensat(descriptor_of(entry.directory), entry.name, pair.times,
                     entry.follow_link ? 0 : AT_SYMLINK_NOFOLLOW) == 0 ||
           fail(errno);
}

// Nothing was opened.
bool backend::close_for_write_time(WriteTimeEntry&) { return true; }

}  // namespace plat

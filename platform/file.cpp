// The steps of file work that are the same on every system: fault checks,
// handle ownership and the order of the calls. The backend does each call.
#include "file.h"

#include <cstdint>
#include <utility>

#include "backend.h"
#include "directory.h"
#include "fault.h"

namespace plat {

File::~File() { close(); }

File::File(File&& other) noexcept : handle_(std::exchange(other.handle_, INVALID)) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        close();
        handle_ = std::exchange(other.handle_, INVALID);
    }
    return *this;
}

bool File::open(const char* path, OpenMode mode, unsigned hints) {
    close();
    if (fault::hit(fault::Call::open)) return false;
    handle_ = backend::open_file(path, mode, hints);
    return is_open();
}

std::int64_t File::read(void* buffer, std::size_t size) {
    if (!fault::transfer(fault::Call::read, size)) return -1;
    return backend::read_file(handle_, buffer, size);
}

std::int64_t File::write(const void* buffer, std::size_t size) {
    if (!fault::transfer(fault::Call::write, size)) return -1;
    return backend::write_file(handle_, buffer, size);
}

bool File::seek(std::int64_t offset) { return !fault::hit(fault::Call::seek) && backend::seek_file(handle_, offset); }

std::int64_t File::size() { return backend::file_size(handle_); }

bool File::sync() { return !fault::hit(fault::Call::sync) && backend::sync_file(handle_); }

bool File::close() {
    if (handle_ == INVALID) return true;
    // The handle is released all the same: a failed close never leaks.
    const bool closed = backend::close_file(std::exchange(handle_, INVALID));
    return !fault::hit(fault::Call::close) && closed;
}

bool File::set_times(const FileTime* creation, const FileTime* access, const FileTime* write) {
    return !fault::hit(fault::Call::set_times) && backend::set_times_of(handle_, creation, access, write);
}

std::int64_t File::read_at(std::int64_t offset, void* buffer, std::size_t size) {
    if (!fault::transfer(fault::Call::read, size)) return -1;
    return backend::read_file_at(handle_, offset, buffer, size);
}

bool File::is_regular_file() { return backend::is_disk_file(handle_); }

bool open_spool_file(File& file, SpoolFailure* failure) {
    file.close();
    SpoolFailure step = SpoolFailure::create;
    if (!fault::hit(fault::Call::open)) file.handle_ = backend::open_spool_file(step);
    if (failure) *failure = file.is_open() ? SpoolFailure::none : step;
    return file.is_open();
}

bool open_replacement_file(File& file, const Directory& directory, const char* path, unsigned hints, const File* model,
                           std::string& name) {
    file.close();
    if (fault::hit(fault::Call::open)) return false;
    file.handle_ = backend::open_replacement_file(directory, path, hints, model ? model->handle_ : File::INVALID, name);
    return file.is_open();
}

bool open_unnamed_file(File& file, const Directory& directory, unsigned hints, const File* model) {
    file.close();
    if (fault::hit(fault::Call::open)) return false;
    file.handle_ = backend::open_unnamed_file(directory, hints, model ? model->handle_ : File::INVALID);
    return file.is_open();
}

bool name_unnamed_file(File& file, const Directory& directory, const char* name, bool read_only) {
    return !fault::hit(fault::Call::rename) && backend::name_unnamed_file(file.handle_, directory, name, read_only);
}

bool open_standard_input(File& file) {
    file.close();
    file.handle_ = backend::open_standard_input();
    return file.is_open();
}

FileReader::~FileReader() {
    if (map_) backend::unmap_file(map_, size_);
}

void FileReader::attach(File& file) {
    file_ = &file;
    size_ = file.size();
    backend::expect_random_reads(file.handle_);
    // Files too large for the address space (32-bit systems) and empty ones
    // are read the ordinary way.
    if (size_ > 0 && static_cast<std::uint64_t>(size_) <= SIZE_MAX / 2)
        map_ = backend::map_file(file.handle_, size_, false);
}

std::int64_t FileReader::read(std::int64_t offset, void* buffer, std::size_t size) {
    if (map_ && offset >= 0 && offset <= size_ && size <= static_cast<std::uint64_t>(size_ - offset)) {
        if (!fault::transfer(fault::Call::read, size)) return -1;
        if (backend::copy_from_map(buffer, map_ + offset, size)) return static_cast<std::int64_t>(size);
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

MappedPair::~MappedPair() {
    if (a_) backend::unmap_file(a_, size_);
    if (b_) backend::unmap_file(b_, size_);
}

bool MappedPair::map(File& a, File& b, std::uint64_t size) {
    if (a_ || size == 0 || size > SIZE_MAX / 4 || fault::any_armed()) return false;
    size_ = static_cast<std::int64_t>(size);
    if (a.size() < size_ || b.size() < size_) return false;
    a_ = backend::map_file(a.handle_, size_, true);
    b_ = a_ ? backend::map_file(b.handle_, size_, true) : nullptr;
    return b_ != nullptr;
}

int MappedPair::compare(std::uint64_t offset, std::size_t size) const {
    bool same = false;
    if (!backend::compare_maps(a_ + offset, b_ + offset, size, same)) return -1;
    return same ? 1 : 0;
}

}  // namespace plat

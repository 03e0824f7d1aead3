// The steps of drive work that are the same on every system: fault checks,
// handle ownership and the sector read through the device file.
#include "drive.h"

#include <utility>

#include "backend.h"
#include "error.h"
#include "fault.h"

namespace plat {

bool drive_method(DriveMethod& method) { return !fault::hit(fault::Call::version) && backend::drive_method(method); }

Drive::~Drive() { close(); }

bool Drive::open(DriveMethod method, const std::string& path, int drive_number) {
    close();
    if (fault::hit(fault::Call::open)) return false;
    handle_ = backend::open_drive(path);
    method_ = method;
    drive_number_ = drive_number;
    return is_open();
}

bool Drive::close() {
    if (handle_ == INVALID) return true;
    // The handle is released all the same: a failed close never leaks.
    const bool closed = backend::close_file(std::exchange(handle_, INVALID));
    return !fault::hit(fault::Call::close) && closed;
}

SectorRead Drive::read_sectors(std::int64_t first_sector, std::uint32_t sector_count, std::uint32_t sector_size,
                               void* buffer) {
    SectorRead result;
    std::size_t size = std::size_t{sector_count} * sector_size;
    result.asked = static_cast<std::uint32_t>(size);
    if (method_ != DriveMethod::device_file) {
        backend::read_sectors_through_dos(handle_, method_, drive_number_, first_sector, sector_count, buffer, result);
        return result;
    }
    // A position that does not fit is one no device has: the seek refuses it.
    const std::int64_t offset =
        first_sector >= 0 && first_sector <= INT64_MAX / sector_size ? first_sector * sector_size : -1;
    if (fault::hit(fault::Call::seek) || !backend::seek_file(handle_, offset)) {
        result.status = SectorRead::seek_failed;
        result.error = last_error();
        return result;
    }
    const std::int64_t got =
        fault::transfer(fault::Call::read, size) ? backend::read_file_at(handle_, offset, buffer, size) : -1;
    if (got < 0) {
        result.status = SectorRead::read_failed;
        result.error = last_error();
        return result;
    }
    result.got = static_cast<std::uint32_t>(got);
    if (result.got != result.asked) result.status = SectorRead::short_read;
    return result;
}

}  // namespace plat

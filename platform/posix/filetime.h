// File times of the POSIX backend: 100 ns units since 1601 against the
// system's seconds and nanoseconds since 1970. Not for use outside platform/.
#pragma once
#include <sys/stat.h>

#include <cstdint>
#include <ctime>

#include "platform/time.h"

namespace plat::backend {

constexpr std::int64_t EPOCH_DIFFERENCE = 11644473600LL;  // seconds, 1601 to 1970
constexpr std::int64_t UNITS_PER_SECOND = 10000000LL;

// A time before 1601 is 0.
inline FileTime to_file_time(std::int64_t seconds, std::int64_t nanoseconds) {
    const std::int64_t since_1601 = seconds + EPOCH_DIFFERENCE;
    if (since_1601 < 0) return 0;
    return static_cast<FileTime>(since_1601) * UNITS_PER_SECOND + static_cast<FileTime>(nanoseconds / 100);
}

inline timespec to_timespec(FileTime time) {
    timespec out;
    out.tv_sec = static_cast<time_t>(static_cast<std::int64_t>(time / UNITS_PER_SECOND) - EPOCH_DIFFERENCE);
    out.tv_nsec = static_cast<long>(time % UNITS_PER_SECOND * 100);
    return out;
}

// The access and write times for utimensat and futimens; a null pointer
// leaves that time alone.
struct TimePair {
    timespec times[2];
    TimePair(const FileTime* access, const FileTime* write)
        : times{access ? to_timespec(*access) : timespec{0, UTIME_OMIT},
                write ? to_timespec(*write) : timespec{0, UTIME_OMIT}} {}
};

}  // namespace plat::backend

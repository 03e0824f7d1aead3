// Clock and file time conversions. A file time is the 64-bit count of 100 ns
// units since 1601-01-01 UTC.
#pragma once
#include <cstdint>

namespace plat {

using FileTime = std::uint64_t;

struct CalendarTime {
    int year = 1601, month = 1, day = 1;     // month 1..12, day 1..31
    int hour = 0, minute = 0, second = 0, millisecond = 0;
    int weekday = 0;                         // 0 = Sunday
};

// Milliseconds since an arbitrary start, monotonic.
std::uint64_t tick_count_ms();
FileTime now_file_time();

bool file_time_to_utc(FileTime time, CalendarTime& out);
bool file_time_to_local(FileTime time, CalendarTime& out);
bool utc_to_file_time(const CalendarTime& fields, FileTime& out);
bool local_to_file_time(const CalendarTime& fields, FileTime& out);

}  // namespace plat

// Clock and file time conversions. A file time is the 64-bit count of 100 ns
// units since 1601-01-01 UTC.
#pragma once
#include <cstdint>

namespace plat {

using FileTime = std::uint64_t;

struct CalendarTime {
    int year = 1601, month = 1, day = 1;  // month 1..12, day 1..31
    int hour = 0, minute = 0, second = 0, millisecond = 0;
    int weekday = 0;  // 0 = Sunday
};

// True for fields that name a real time in the range a Windows SYSTEMTIME
// can hold: years 1601 to 30827, days that the month has, hours 0 to 23,
// no leap second. Both conversions to a file time refuse other fields
// instead of rolling them over.
constexpr bool is_leap_year(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

inline bool valid_calendar_time(const CalendarTime& t) {
    static const int DAYS[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (t.year < 1601 || t.year > 30827 || t.month < 1 || t.month > 12) return false;
    int days = DAYS[t.month - 1] + (t.month == 2 && is_leap_year(t.year) ? 1 : 0);
    return t.day >= 1 && t.day <= days && t.hour >= 0 && t.hour <= 23 && t.minute >= 0 && t.minute <= 59 &&
           t.second >= 0 && t.second <= 59 && t.millisecond >= 0 && t.millisecond <= 999;
}

// Milliseconds since an arbitrary start, monotonic.
std::uint64_t tick_count_ms();
FileTime now_file_time();
// Suspends the program for ms milliseconds.
void sleep_ms(unsigned ms);

bool file_time_to_utc(FileTime time, CalendarTime& out);
bool file_time_to_local(FileTime time, CalendarTime& out);
bool utc_to_file_time(const CalendarTime& fields, FileTime& out);
bool local_to_file_time(const CalendarTime& fields, FileTime& out);

}  // namespace plat

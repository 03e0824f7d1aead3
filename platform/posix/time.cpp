#include "platform/time.h"

#include <time.h>

#include <cerrno>

#include "platform/posix/filetime.h"

namespace plat {
namespace {

using backend::EPOCH_DIFFERENCE;
using backend::UNITS_PER_SECOND;

bool to_fields(FileTime time, CalendarTime& out, bool local) {
    if (time >= FileTime(1) << 63) return false;  // as FileTimeToSystemTime
    std::int64_t seconds = static_cast<std::int64_t>(time / UNITS_PER_SECOND) - EPOCH_DIFFERENCE;
    time_t t = static_cast<time_t>(seconds);
    tm fields;
    if (!(local ? localtime_r(&t, &fields) : gmtime_r(&t, &fields))) return false;
    out.year = fields.tm_year + 1900;
    out.month = fields.tm_mon + 1;
    out.day = fields.tm_mday;
    out.hour = fields.tm_hour;
    out.minute = fields.tm_min;
    out.second = fields.tm_sec;
    out.millisecond = static_cast<int>(time % UNITS_PER_SECOND / 10000);
    out.weekday = fields.tm_wday;
    return true;
}

// Invalid fields are refused before mktime or timegm could roll them over
// into the next day or month.
bool from_fields(const CalendarTime& in, FileTime& out, bool local) {
    if (!valid_calendar_time(in)) return false;
    tm fields{};
    fields.tm_year = in.year - 1900;
    fields.tm_mon = in.month - 1;
    fields.tm_mday = in.day;
    fields.tm_hour = in.hour;
    fields.tm_min = in.minute;
    fields.tm_sec = in.second;
    fields.tm_isdst = -1;
    fields.tm_wday = -1;  // set only by a conversion that succeeds (-1 is also a time)
    time_t t = local ? mktime(&fields) : timegm(&fields);
    if (fields.tm_wday < 0) return false;
    std::int64_t seconds = static_cast<std::int64_t>(t) + EPOCH_DIFFERENCE;
    if (seconds < 0) return false;
    out = static_cast<FileTime>(seconds) * UNITS_PER_SECOND + static_cast<FileTime>(in.millisecond) * 10000;
    return true;
}

}  // namespace

std::uint64_t tick_count_ms() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000 + static_cast<std::uint64_t>(now.tv_nsec) / 1000000;
}

void sleep_ms(unsigned ms) {
    timespec wait{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {}
}

FileTime now_file_time() {
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<FileTime>(now.tv_sec + EPOCH_DIFFERENCE) * UNITS_PER_SECOND +
           static_cast<FileTime>(now.tv_nsec) / 100;
}

bool file_time_to_utc(FileTime time, CalendarTime& out) { return to_fields(time, out, false); }
bool file_time_to_local(FileTime time, CalendarTime& out) { return to_fields(time, out, true); }
bool utc_to_file_time(const CalendarTime& fields, FileTime& out) { return from_fields(fields, out, false); }
bool local_to_file_time(const CalendarTime& fields, FileTime& out) { return from_fields(fields, out, true); }

}  // namespace plat

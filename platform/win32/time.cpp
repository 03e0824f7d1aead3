// Clock and file time conversions of the Windows build: the Win32 calls
// themselves (a FileTime is a FILETIME as one 64-bit number).
#include "platform/time.h"

#include <windows.h>

#include "platform/win32/filetime.h"

namespace plat {
namespace {

using backend::from_filetime;
using backend::to_filetime;

void to_calendar(const SYSTEMTIME& system, CalendarTime& out) {
    out.year = system.wYear;
    out.month = system.wMonth;
    out.day = system.wDay;
    out.hour = system.wHour;
    out.minute = system.wMinute;
    out.second = system.wSecond;
    out.millisecond = system.wMilliseconds;
    out.weekday = system.wDayOfWeek;
}

// SystemTimeToFileTime checks the fields itself, but not everywhere alike
// (Wine takes February 29 of any year): the fields are checked here first,
// so that both builds refuse the same dates.
bool to_systemtime(const CalendarTime& fields, SYSTEMTIME& out) {
    if (!valid_calendar_time(fields)) return false;
    out.wYear = static_cast<WORD>(fields.year);
    out.wMonth = static_cast<WORD>(fields.month);
    out.wDay = static_cast<WORD>(fields.day);
    out.wHour = static_cast<WORD>(fields.hour);
    out.wMinute = static_cast<WORD>(fields.minute);
    out.wSecond = static_cast<WORD>(fields.second);
    out.wMilliseconds = static_cast<WORD>(fields.millisecond);
    out.wDayOfWeek = 0;  // ignored by SystemTimeToFileTime
    return true;
}

}  // namespace

std::uint64_t tick_count_ms() { return GetTickCount64(); }

void sleep_ms(unsigned ms) { Sleep(ms); }

FileTime now_file_time() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return from_filetime(now);
}

bool file_time_to_utc(FileTime time, CalendarTime& out) {
    FILETIME file_time = to_filetime(time);
    SYSTEMTIME system;
    if (!FileTimeToSystemTime(&file_time, &system)) return false;
    to_calendar(system, out);
    return true;
}

bool file_time_to_local(FileTime time, CalendarTime& out) {
    FILETIME file_time = to_filetime(time);
    FILETIME local;
    SYSTEMTIME system;
    if (!FileTimeToLocalFileTime(&file_time, &local) || !FileTimeToSystemTime(&local, &system)) return false;
    to_calendar(system, out);
    return true;
}

bool utc_to_file_time(const CalendarTime& fields, FileTime& out) {
    SYSTEMTIME system;
    FILETIME file_time;
    if (!to_systemtime(fields, system) || !SystemTimeToFileTime(&system, &file_time)) return false;
    out = from_filetime(file_time);
    return true;
}

bool local_to_file_time(const CalendarTime& fields, FileTime& out) {
    SYSTEMTIME system;
    FILETIME local, utc;
    if (!to_systemtime(fields, system) || !SystemTimeToFileTime(&system, &local) ||
        !LocalFileTimeToFileTime(&local, &utc))
        return false;
    out = from_filetime(utc);
    return true;
}

}  // namespace plat

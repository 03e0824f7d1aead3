// File time conversions: fixed UTC values, invalid calendar fields, and local
// time against the C library's own under several time zones (POSIX).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "platform/path.h"
#include "platform/time.h"

namespace {

using plat::CalendarTime;
using plat::FileTime;

constexpr std::int64_t UNITS_PER_SECOND = 10000000;
constexpr std::int64_t EPOCH_DIFFERENCE = 11644473600LL;  // seconds, 1601 to 1970

FileTime from_unix(std::int64_t seconds, int millisecond = 0) {
    return static_cast<FileTime>((seconds + EPOCH_DIFFERENCE) * UNITS_PER_SECOND + millisecond * 10000);
}

CalendarTime fields(int year, int month, int day, int hour = 0, int minute = 0, int second = 0, int millisecond = 0) {
    return CalendarTime{year, month, day, hour, minute, second, millisecond};
}

std::string text(const CalendarTime& t) {
    char buffer[80];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d.%03d weekday %d", t.year, t.month, t.day,
                  t.hour, t.minute, t.second, t.millisecond, t.weekday);
    return buffer;
}

TEST(TimeUtc, KnownValuesBothWays) {
    struct Row {
        CalendarTime fields;  // weekday included
        FileTime time;
    };
    auto with_weekday = [](CalendarTime t, int weekday) {
        t.weekday = weekday;
        return t;
    };
    const Row rows[] = {
        {with_weekday(fields(1601, 1, 1), 1), 0},
        {with_weekday(fields(1970, 1, 1), 4), from_unix(0)},
        {with_weekday(fields(1969, 12, 31, 23, 59, 59, 999), 3), from_unix(-1, 999)},
        {with_weekday(fields(2000, 2, 29, 12, 34, 56, 789), 2), 125963012967890000ULL},
        {with_weekday(fields(2038, 1, 19, 3, 14, 8), 2), from_unix(2147483648LL)},
        {with_weekday(fields(9999, 12, 31, 23, 59, 59, 999), 5), 2650467743999990000ULL},
    };
    for (const Row& row : rows) {
        FileTime time = 1;
        ASSERT_TRUE(plat::utc_to_file_time(row.fields, time)) << text(row.fields);
        EXPECT_EQ(time, row.time) << text(row.fields);
        CalendarTime back;
        ASSERT_TRUE(plat::file_time_to_utc(row.time + 9999, back));  // below a millisecond
        EXPECT_EQ(text(back), text(row.fields));
    }
    FileTime last;
    ASSERT_TRUE(plat::utc_to_file_time(fields(30827, 12, 31, 23, 59, 59, 999), last));
    CalendarTime out;
    EXPECT_TRUE(plat::file_time_to_utc(last, out));
    EXPECT_EQ(out.year, 30827);
    EXPECT_FALSE(plat::file_time_to_utc(FileTime(1) << 63, out));
}

// Both builds refuse what is not a real calendar time instead of rolling it
// over into the next minute, day or month.
TEST(TimeUtc, InvalidFieldsAreRefused) {
    const CalendarTime invalid[] = {
        fields(2021, 0, 1),
        fields(2021, 13, 1),
        fields(2021, 4, 31),
        fields(2021, 1, 0),
        fields(2021, 1, 32),
        fields(2001, 2, 29),
        fields(2000, 2, 30),
        fields(1900, 2, 29),
        fields(2021, 6, 1, 24),
        fields(2021, 6, 1, -1),
        fields(2021, 6, 1, 0, 60),
        fields(2021, 6, 1, 0, 0, 60),
        fields(2021, 6, 1, 0, 0, 0, 1000),
        fields(2021, 6, 1, 0, 0, 0, -1),
        fields(1600, 12, 31),
        fields(30828, 1, 1),
    };
    for (const CalendarTime& row : invalid) {
        FileTime time = 42;
        EXPECT_FALSE(plat::utc_to_file_time(row, time)) << text(row);
        EXPECT_FALSE(plat::local_to_file_time(row, time)) << text(row);
    }
    const CalendarTime valid[] = {
        fields(2000, 2, 29),
        fields(2004, 2, 29),
        fields(2021, 4, 30, 23, 59, 59, 999),
        fields(2021, 12, 31),
    };
    for (const CalendarTime& row : valid) {
        FileTime time;
        EXPECT_TRUE(plat::utc_to_file_time(row, time)) << text(row);
        EXPECT_TRUE(plat::local_to_file_time(row, time)) << text(row);
    }
}

// Sets TZ for the life of the object, then puts the old value back.
class TimeZone {
public:
    explicit TimeZone(const char* zone) : setting_(std::string("TZ=") + zone) {
        const char* old = std::getenv("TZ");
        restore_ = old ? "TZ=" + std::string(old) : "TZ";  // "TZ" alone unsets it
        putenv(&setting_[0]);
        tzset();
    }
    ~TimeZone() {
        putenv(&restore_[0]);
        tzset();
    }
    TimeZone(const TimeZone&) = delete;
    TimeZone& operator=(const TimeZone&) = delete;

private:
    std::string setting_, restore_;
};

TEST(TimeLocal, MatchesTheCLibraryInEveryZone) {
    if (plat::path_separator() != '/') GTEST_SKIP() << "Windows converts with its own zone, not with TZ";
    const char* zones[] = {"Asia/Tokyo", "America/New_York", "Europe/London", "Australia/Lord_Howe", "UTC"};
    const std::int64_t moments[] = {
        0,
        -144000000,              // 1965
        1615705199, 1615705200,  // New York, 2021-03-14 around 02:00 local
        1636264799, 1636264800,  // New York, 2021-11-07 around 02:00 local
        1616893199, 1616893200,  // London, 2021-03-28 around 01:00 UTC
        1617465600,              // Lord Howe, 2021-04-04 around its half-hour change
        4102444800,              // 2100
    };
    for (const char* zone : zones) {
        TimeZone guard(zone);
        for (std::int64_t moment : moments) {
            const FileTime time = from_unix(moment, 250);
            CalendarTime local;
            ASSERT_TRUE(plat::file_time_to_local(time, local));
            std::time_t t = static_cast<std::time_t>(moment);
            const std::tm* shown = std::localtime(&t);
            ASSERT_NE(shown, nullptr);
            const std::tm expected = *shown;
            CalendarTime wanted = fields(expected.tm_year + 1900, expected.tm_mon + 1, expected.tm_mday,
                                         expected.tm_hour, expected.tm_min, expected.tm_sec, 250);
            wanted.weekday = expected.tm_wday;
            EXPECT_EQ(text(local), text(wanted)) << zone << " " << moment;

            // Back again: a time that shows the same local fields (in the hour
            // a clock repeats, either of the two).
            FileTime back;
            ASSERT_TRUE(plat::local_to_file_time(local, back)) << zone << " " << moment;
            CalendarTime again;
            ASSERT_TRUE(plat::file_time_to_local(back, again));
            EXPECT_EQ(text(again), text(local)) << zone << " " << moment;
            EXPECT_LE(std::max(back, time) - std::min(back, time), FileTime(3600) * UNITS_PER_SECOND)
                << zone << " " << moment;
        }
    }
}

}  // namespace

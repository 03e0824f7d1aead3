// kesto's display fields: attribute column, grouped number, size column,
// size total, date and time, whole listing lines, and the progress report
// of a file read.
#include "kesto/listing.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <string>

#include "kesto/crc_file.h"
#include "kesto/progress.h"
#include "platform/time.h"

namespace {

using namespace kesto;

constexpr std::uint64_t MAX64 = 0xFFFFFFFFFFFFFFFFu;

// Runs a formatter into a buffer with guard bytes behind the room it may
// use, and returns its text; writing past the room fails the test.
template <typename Format>
std::string formatted(std::size_t room, Format format) {
    std::string buffer(room + 16, '#');
    char* end = format(&buffer[0]);
    EXPECT_LE(static_cast<std::size_t>(end - buffer.data()), room);
    EXPECT_EQ(buffer.substr(room), std::string(16, '#')) << "written past the room";
    return buffer.substr(0, static_cast<std::size_t>(end - buffer.data()));
}

// The file time of a local calendar time, so that the expected text does
// not depend on the time zone the tests run in.
plat::FileTime local_time(int year, int month, int day, int hour, int minute, int second, int millisecond) {
    plat::CalendarTime fields;
    fields.year = year, fields.month = month, fields.day = day;
    fields.hour = hour, fields.minute = minute, fields.second = second, fields.millisecond = millisecond;
    plat::FileTime time = 0;
    EXPECT_TRUE(plat::local_to_file_time(fields, time));
    return time;
}

TEST(KestoFormat, Attributes) {
    struct Row {
        std::uint32_t attributes;
        const char* text;
    } rows[] = {
        {0x00, "------"},  {0x21, "a----r"}, {0x10, "-d----"}, {0x3F, "ad-shr"},
        {0x04, "---s--"},  {0x02, "----h-"}, {0x08, "------"},  // bit 0x08 has no column
        {0x420, "a-----"},                                      // nor has a link's 0x400
    };
    for (const Row& row : rows)
        EXPECT_EQ(formatted(ATTRIBUTE_WIDTH, [&](char* out) { return print_attributes(out, row.attributes); }),
                  row.text)
            << std::hex << row.attributes;
}

TEST(KestoFormat, GroupedNumber) {
    struct Row {
        std::uint64_t value;
        const char* text;
    } rows[] = {
        {0, "0"},
        {7, "7"},
        {999, "999"},
        {1000, "1,000"},
        {100000, "100,000"},
        {1000000, "1,000,000"},
        {1000000000, "1,000,000,000"},
        {999999999999999999u, "999,999,999,999,999,999"},
        {1000000000000000000u, "1,000,000,000,000,000,000"},
        {10000000000000000000u, "10,000,000,000,000,000,000"},
        {MAX64, "18,446,744,073,709,551,615"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(formatted(GROUPED_NUMBER_MAX, [&](char* out) { return format_grouped_number(out, row.value); }),
                  row.text);

    // Any value: its decimal digits, a comma in front of every third from the right.
    std::mt19937_64 generator(5);
    for (int i = 0; i < 1000; ++i) {
        std::uint64_t value = generator() >> (generator() % 64);
        std::string digits = std::to_string(value), want;
        for (std::size_t k = 0; k < digits.size(); ++k) {
            if (k > 0 && (digits.size() - k) % 3 == 0) want += ',';
            want += digits[k];
        }
        ASSERT_EQ(formatted(GROUPED_NUMBER_MAX, [&](char* out) { return format_grouped_number(out, value); }), want);
    }
}

TEST(KestoFormat, SizeColumn) {
    constexpr std::uint32_t FILE = 0x20, DIRECTORY = 0x10;
    struct Row {
        std::uint64_t size;
        std::uint32_t attributes;
        bool tree_style;
        const char* text;
    } rows[] = {
        {0, FILE, false, "             0 "},
        {1000, FILE, false, "         1,000 "},
        {99999999999, FILE, false, "99,999,999,999 "},           // exactly 14 columns
        {123456789012345, FILE, false, "123,456,789,012,345 "},  // widens the column
        {MAX64, FILE, false, "18,446,744,073,709,551,615 "},
        {4096, DIRECTORY, false, "               "},
        {4096, DIRECTORY | FILE | 0x01, false, "               "},
        {0, FILE, true, "0 "},
        {5000, FILE, true, "5,000 "},
        {4096, DIRECTORY, true, ""},
    };
    for (const Row& row : rows)
        EXPECT_EQ(
            formatted(SIZE_COLUMN_MAX,
                      [&](char* out) { return print_size_column(out, row.size, row.attributes, row.tree_style); }),
            row.text)
            << row.size;
}

TEST(KestoFormat, SizeTotal) {
    struct Row {
        std::uint64_t total;
        std::uint32_t unit;
        const char* text;
    } rows[] = {
        {0, 1, "              0 bytes "},
        {1, 1, "              1 bytes "},
        {5000, 1, "          5,000 bytes "},
        {1000000000, 1, "  1,000,000,000 bytes "},
        {999999999999, 1, "999,999,999,999 bytes "},
        {1000000000000, 1, "1000,000,000,000 bytes "},  // the first group takes four digits
        {MAX64, 1, "18446744073,709,551,615 bytes "},
        {0, 512, "          0 clusters/.5Kbytes "},
        {3, 512, "          3 clusters/.5Kbytes "},
        {2, 4096, "          2 clusters/ 4Kbytes "},
        {1234567, 1024, "  1,234,567 clusters/ 1Kbytes "},
        {20000, 32768, "     20,000 clusters/32Kbytes "},
        {999999999, 16384, "999,999,999 clusters/16Kbytes "},
        {1000000000, 2048, "1000,000,000 clusters/ 2Kbytes "},  // a billion units
        {MAX64, 8192, "18446744073709,551,615 clusters/ 8Kbytes "},
    };
    for (const Row& row : rows)
        EXPECT_EQ(formatted(SIZE_TOTAL_MAX, [&](char* out) { return format_size_total(out, row.total, row.unit); }),
                  row.text)
            << row.total << " in units of " << row.unit;
}

TEST(KestoFormat, DateAndTime) {
    struct Row {
        int year, month, day, hour, minute, second, millisecond;
        const char *date2, *date4, *date2_plain, *date4_plain;
        const char *hundredths, *colons, *compact;
    } rows[] = {
        {2024, 3, 5, 7, 8, 9, 123, "24-03-05", "2024-03-05", "240305", "20240305", "07:08:09.12", "07:08:09", "070809"},
        {1999, 12, 31, 23, 59, 59, 999, "99-12-31", "1999-12-31", "991231", "19991231", "23:59:59.99", "23:59:59",
         "235959"},
        {2000, 1, 1, 0, 0, 0, 0, "00-01-01", "2000-01-01", "000101", "20000101", "00:00:00.00", "00:00:00", "000000"},
        {2107, 11, 28, 12, 34, 56, 9, "07-11-28", "2107-11-28", "071128", "21071128", "12:34:56.00", "12:34:56",
         "123456"},
    };
    for (const Row& row : rows) {
        plat::FileTime time =
            local_time(row.year, row.month, row.day, row.hour, row.minute, row.second, row.millisecond);
        SCOPED_TRACE(row.date4);
        auto date = [&](char separator, bool four) {
            return formatted(DATE_MAX, [&](char* out) { return format_date(out, time, separator, four); });
        };
        auto time_of_day = [&](int style) {
            return formatted(TIME_MAX, [&](char* out) { return format_time(out, time, style); });
        };
        EXPECT_EQ(date('-', false), row.date2);
        EXPECT_EQ(date('-', true), row.date4);
        EXPECT_EQ(date(0, false), row.date2_plain);
        EXPECT_EQ(date(0, true), row.date4_plain);
        EXPECT_EQ(date('/', false), std::string(row.date2).replace(2, 1, "/").replace(5, 1, "/"));
        EXPECT_EQ(time_of_day(TIME_HUNDREDTHS), row.hundredths);
        EXPECT_EQ(time_of_day(TIME_COLONS), row.colons);
        EXPECT_EQ(time_of_day(TIME_COMPACT), row.compact);
        EXPECT_EQ(formatted(DATE_MAX + 1, [&](char* out) { return print_date_column(out, time, true); }),
                  std::string(row.date4) + " ");
        EXPECT_EQ(formatted(TIME_MAX + 3, [&](char* out) { return print_time_column(out, time, " C:"); }),
                  std::string(row.hundredths) + " C:");
        EXPECT_EQ(formatted(TIME_MAX, [&](char* out) { return print_time_short(out, time); }),
                  std::string(row.colons) + " ");
    }
}

// Dates and times are shown in local time. Where the process's time zone
// follows TZ (POSIX), a fixed zone gives fixed text; the Windows build takes
// the zone from the system, so there the text is checked against the
// platform's own local time.
TEST(KestoFormat, LocalTimeZone) {
    const char* saved = std::getenv("TZ");
    static std::string restore;
    restore = saved ? std::string("TZ=") + saved : "TZ";
    static char japan[] = "TZ=JST-9";
    putenv(japan);
    tzset();

    plat::CalendarTime utc;
    utc.year = 2024, utc.month = 12, utc.day = 31, utc.hour = 15, utc.minute = 30, utc.second = 7;
    utc.millisecond = 250;
    plat::FileTime time = 0;
    ASSERT_TRUE(plat::utc_to_file_time(utc, time));
    std::string date = formatted(DATE_MAX, [&](char* out) { return format_date(out, time, '-', true); });
    std::string time_of_day = formatted(TIME_MAX, [&](char* out) { return format_time(out, time, TIME_HUNDREDTHS); });

    plat::CalendarTime local;
    ASSERT_TRUE(plat::file_time_to_local(time, local));
    char want_date[32], want_time[32];
    std::snprintf(want_date, sizeof want_date, "%04d-%02d-%02d", local.year, local.month, local.day);
    std::snprintf(want_time, sizeof want_time, "%02d:%02d:%02d.%02d", local.hour, local.minute, local.second,
                  local.millisecond / 10);
    EXPECT_EQ(date, want_date);
    EXPECT_EQ(time_of_day, want_time);
    if (local.hour == 0 && local.minute == 30) {  // the zone followed TZ
        EXPECT_EQ(date, "2025-01-01");
        EXPECT_EQ(time_of_day, "00:30:07.25");
    }
    putenv(&restore[0]);
    tzset();
}

TEST(KestoFormat, ListLine) {
    constexpr std::uint32_t FILE = 0x21, DIRECTORY = 0x10, CRC16 = 0xA001, CRC32 = 0xEDB88320;
    const std::string stamps = "24-03-05 07:08:09.12 ";
    const std::string all_stamps = "24-03-05 07:08:09.12 C:23-01-02 03:04:05.67 A:24-12-31 23:59:59.99 ";
    const std::string file =
                          "a----r"
                          "         1,234 ",
                      directory = "-d----" + std::string(15, ' ');
    const std::string long_path = "src/Sub/Readme.txt", short_path = "SRC/SUB/README.TXT";
    struct Row {
        const char* name;
        std::uint32_t attributes;
        int name_display;
        bool four_digit_year;
        std::uint32_t crc_polynomial, crc;
        bool show_progress;
        int measured_speed;
        std::string text;
    } rows[] = {
        {"default /L1", FILE, 1, false, 0, 0, false, -1, file + stamps + long_path},
        {"/L0: short path", FILE, 0, false, 0, 0, false, -1, file + stamps + short_path},
        {"/L2: unknown bits ignored", FILE, 2, false, 0, 0, false, -1, file + stamps + short_path},
        {"/L4: three stamps", FILE, 4, false, 0, 0, false, -1, file + all_stamps + short_path},
        {"/L5: three stamps, long path", FILE, 5, false, 0, 0, false, -1, file + all_stamps + long_path},
        {"/Y4", FILE, 1, true, 0, 0, false, -1, file + "2024-03-05 07:08:09.12 " + long_path},
        {"/L5 /Y4", FILE, 5, true, 0, 0, false, -1,
         file + "2024-03-05 07:08:09.12 C:2023-01-02 03:04:05.67 A:2024-12-31 23:59:59.99 " + long_path},
        {"directory", DIRECTORY, 1, false, 0, 0, false, -1, directory + stamps + long_path},
        {"/F: low 16 bits, upper case", FILE, 1, false, CRC16, 0x1234BB3D, false, -1,
         file + stamps + "BB3D " + long_path},
        {"/FD: lower case", FILE, 1, false, CRC32, 0x0BF43926, false, -1, file + stamps + "0bf43926 " + long_path},
        {"/F directory", DIRECTORY, 1, false, CRC16, 0, false, -1, directory + stamps + "     " + long_path},
        {"/FD directory", DIRECTORY, 1, false, CRC32, 0, false, -1, directory + stamps + "         " + long_path},
        {"/FN: no CRC column", FILE, 1, false, READ_TEST_ONLY, 0, false, -1, file + stamps + long_path},
        {"/FP", FILE, 1, false, CRC16, 0, true, 812, file + stamps + "0000   812KB/sec " + long_path},
        {"/FP not measured", FILE, 1, false, READ_TEST_ONLY, 0, true, -1, file + stamps + "-----KB/sec " + long_path},
        {"/FP fast read widens", FILE, 1, false, 0, 0, true, 2500000, file + stamps + "2500000KB/sec " + long_path},
        {"/FDP directory", DIRECTORY, 1, false, CRC32, 0, true, -1,
         directory + stamps + std::string(21, ' ') + long_path},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ListLine line;
        line.attributes = row.attributes;
        line.size = 1234;
        line.last_write_time = local_time(2024, 3, 5, 7, 8, 9, 123);
        line.creation_time = local_time(2023, 1, 2, 3, 4, 5, 678);
        line.last_access_time = local_time(2024, 12, 31, 23, 59, 59, 999);
        line.name_display = row.name_display;
        line.four_digit_year = row.four_digit_year;
        line.crc_polynomial = row.crc_polynomial;
        line.crc32_selected = row.crc_polynomial == CRC32;
        line.crc = row.crc;
        line.show_progress = row.show_progress;
        line.measured_speed = row.measured_speed;
        line.long_path = long_path.c_str();
        line.short_path = short_path.c_str();
        EXPECT_EQ(formatted(list_line_room(line), [&](char* out) { return format_list_line(out, line); }), row.text);
    }
}

// The room a line is given holds the widest line there is.
TEST(KestoFormat, ListLineRoom) {
    ListLine line;
    line.attributes = 0x3F & ~0x10;
    line.size = MAX64;
    line.creation_time = line.last_access_time = line.last_write_time = MAX64;
    line.name_display = 5;
    line.four_digit_year = true;
    line.crc_polynomial = 0xEDB88320;
    line.crc32_selected = true;
    line.show_progress = true;
    line.measured_speed = 2147483647;
    line.long_path = "path";
    std::string text = formatted(list_line_room(line), [&](char* out) { return format_list_line(out, line); });
    EXPECT_EQ(text.substr(0, 33), "a--shr18,446,744,073,709,551,615 ");
    EXPECT_EQ(text.substr(text.size() - 30), "00000000 2147483647KB/sec path");
}

TEST(KestoFormat, ProgressReport) {
    constexpr std::uint64_t HUGE_SIZE = std::uint64_t{1} << 62;
    struct PercentRow {
        std::uint64_t total, remaining;
        int percent;
    } percents[] = {
        {0, 0, 100},  // an empty file is read in its one pass
        {1000, 1000, 0}, {1000, 334, 66}, {1000, 0, 100}, {HUGE_SIZE, HUGE_SIZE / 4, 75},
    };
    for (const PercentRow& row : percents)
        EXPECT_EQ(read_percent(row.total, row.remaining), row.percent) << row.total << " " << row.remaining;

    struct SpeedRow {
        std::uint64_t bytes, milliseconds;
        int speed;
    } speeds[] = {
        {1024000, 1000, 1000},
        {1000, 600, 1},
        {0, 501, 0},
        {2048, 0, 2000},                               // no time passed: as if 1 ms
        {HUGE_SIZE, 501, 0x7FFFFFFF},                  // capped
        {HUGE_SIZE, std::uint64_t{1} << 40, 4096000},  // bytes x 1000 needs more than 64 bits
        {5120000000, 1000, 5000000},
    };
    for (const SpeedRow& row : speeds)
        EXPECT_EQ(kilobytes_per_second(row.bytes, row.milliseconds), row.speed) << row.bytes << " " << row.milliseconds;

    struct ReportRow {
        int percent, speed;
        std::size_t cover;  // the report drawn before
        const char* text;
    } reports[] = {
        {5, 812, 0, "(  5%,  812KB/sec)"},
        {100, 5000000, 0, "(100%,5000000KB/sec)"},
        {100, 0x7FFFFFFF, 0, "(100%,2147483647KB/sec)"},
        {5, 812, 20, "(  5%,  812KB/sec)  "},  // blanks over the longer report
        {100, 5000000, 18, "(100%,5000000KB/sec)"},
    };
    for (const ReportRow& row : reports) {
        auto report = [&](char* out) { return format_progress(out, row.percent, row.speed, row.cover); };
        EXPECT_EQ(formatted(PROGRESS_MAX, report), row.text);
    }
}

}  // namespace

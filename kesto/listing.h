// The text fields of kesto's displays: attribute column, grouped number,
// size column, size total, date and time of a file time stamp, and the
// listing line built from them.
//
// Every formatter writes its text at out and returns the position behind it
// (no terminating zero), so that a line is built in place in an output
// buffer: reserve the room the constants below give, chain the calls,
// commit the length. The formatters read no option record: the caller
// passes the attribute word, size, times, year style and unit.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/time.h"

namespace kesto {

// Widest text of each formatter.
constexpr std::size_t ATTRIBUTE_WIDTH = 6;
constexpr std::size_t GROUPED_NUMBER_MAX = 26;  // 18,446,744,073,709,551,615
constexpr std::size_t SIZE_COLUMN_MAX = GROUPED_NUMBER_MAX + 1;
constexpr std::size_t DATE_MAX = 11;  // years past 9999 take five digits
constexpr std::size_t TIME_MAX = 11;  // hh:mm:ss.hh
constexpr std::size_t SIZE_TOTAL_MAX = 64;
// The widest listing line without its path: attributes, size, three stamps
// with their suffixes, CRC-32 column, speed column of the largest int.
constexpr std::size_t LIST_FIELDS_MAX = ATTRIBUTE_WIDTH + SIZE_COLUMN_MAX + 3 * (DATE_MAX + 1 + TIME_MAX + 3) + 9 + 17;

// Styles of format_time.
constexpr int TIME_HUNDREDTHS = 0;  // hh:mm:ss.hh
constexpr int TIME_COLONS = -1;     // hh:mm:ss
constexpr int TIME_COMPACT = -2;    // hhmmss

// Bits of the /L display selector (name_display).
constexpr int NAME_LONG_PATH = 1;   // long path, else the short upper-case path
constexpr int NAME_ALL_STAMPS = 4;  // creation and last-access stamps as well

// Six characters "ad-shr", '-' for each bit that is clear.
char* print_attributes(char* out, std::uint32_t attributes);

// The decimal value with a comma between groups of three digits: 0, 1,000,
// 18,446,744,073,709,551,615.
char* format_grouped_number(char* out, std::uint64_t value);

// Size column. List style: a file's grouped size right-aligned in 14
// columns (wider when it needs more) and a blank; a directory 15 blanks.
// Tree style: a file's grouped size and a blank; a directory nothing.
char* print_size_column(char* out, std::uint64_t size, std::uint32_t attributes, bool tree_style);

// The running size total of /S: the total in units of unit bytes, grouped,
// with the unit text ("bytes ", "clusters/.5Kbytes ", "clusters/ 4Kbytes "),
// the leading zeros and commas of its fixed-width number turned into blanks.
char* format_size_total(char* out, std::uint64_t total, std::uint32_t unit);

// Date of a file time in local time: yy or yyyy, mm, dd with the separator
// between them, or none when separator is 0.
char* format_date(char* out, plat::FileTime time, char separator, bool four_digit_year);
// Time of day of a file time in local time, in one of the TIME_ styles;
// hundredths are truncated.
char* format_time(char* out, plat::FileTime time, int style);

// The columns of the listing and tree lines: date with '-' and a blank; time
// with hundredths and the suffix; time with colons and a blank.
char* print_date_column(char* out, plat::FileTime time, bool four_digit_year);
char* print_time_column(char* out, plat::FileTime time, const char* suffix);
char* print_time_short(char* out, plat::FileTime time);

// The path a line shows for the /L selector.
const char* display_path(int name_display, const char* long_path, const char* short_path);

// What one listing line shows; the listing operation fills it from the
// entry, the options and the CRC run.
struct ListLine {
    std::uint32_t attributes = 0;
    std::uint64_t size = 0;
    plat::FileTime creation_time = 0;
    plat::FileTime last_access_time = 0;
    plat::FileTime last_write_time = 0;
    int name_display = NAME_LONG_PATH;
    bool four_digit_year = false;
    // 0: no CRC column; the read-test marker 0xFFFFFFFF: none either;
    // otherwise a CRC column, eight lower-case digits with crc32_selected,
    // else four upper-case ones.
    std::uint32_t crc_polynomial = 0;
    bool crc32_selected = false;
    std::uint32_t crc = 0;
    bool show_progress = false;  // speed column
    int measured_speed = -1;     // KB per second, -1 when not measured
    const char* long_path = "";
    const char* short_path = "";
};

// Room a listing line needs, line end excluded.
std::size_t list_line_room(const ListLine& line);
// The listing line without its line end: attributes, size, time stamps,
// CRC column, speed column, path.
char* format_list_line(char* out, const ListLine& line);

// The listing operation: one line for the walker's current entry on
// standard output (after a complete CRC run when /F is given). 1 goes on;
// a file that could not be read gets no line and the CRC run's result.
int list_entry();

}  // namespace kesto

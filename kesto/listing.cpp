// The text fields of kesto's displays, written digit by digit into the
// caller's buffer: a listing prints one line per file, so no formatted print
// runs per field.
#include "kesto/listing.h"

#include <cstring>

#include "kesto/crc_file.h"
#include "kesto/options.h"
#include "kesto/walker.h"
#include "platform/console.h"
#include "platform/directory.h"
#include "platform/output.h"
#include "platform/text.h"

namespace kesto {
namespace {

char* put_text(char* out, const char* text) {
    std::size_t length = std::strlen(text);
    std::memcpy(out, text, length);
    return out + length;
}

char* put_blanks(char* out, std::size_t count) {
    std::memset(out, ' ', count);
    return out + count;
}

// The value in decimal, right-aligned in width columns filled with fill
// (the printf forms "%0Nu" and "%Nu"); wider when it has more digits.
char* put_number(char* out, std::uint64_t value, int width, char fill) {
    char digits[20];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (int i = count; i < width; ++i) *out++ = fill;
    while (count > 0) *out++ = digits[--count];
    return out;
}

char* put_hex(char* out, std::uint32_t value, int digits, const char* alphabet) {
    for (int i = digits - 1; i >= 0; --i, value >>= 4) out[i] = alphabet[value & 15];
    return out + digits;
}

// Calendar fields of a file time in local time. A time the system cannot
// convert shows as the start of the file time scale, 1601-01-01 00:00,
// rather than as whatever the fields last held.
plat::CalendarTime local_fields(plat::FileTime time) {
    plat::CalendarTime fields;
    if (!plat::file_time_to_local(time, fields)) fields = plat::CalendarTime{};
    return fields;
}

// Three calendar fields with their leading zeros (the first in first_width
// columns, the others in two) and the separator, if any, between them.
char* put_calendar_fields(char* out, int first, int first_width, int second, int third, char separator) {
    out = put_number(out, static_cast<std::uint64_t>(first), first_width, '0');
    if (separator != 0) *out++ = separator;
    out = put_number(out, static_cast<std::uint64_t>(second), 2, '0');
    if (separator != 0) *out++ = separator;
    return put_number(out, static_cast<std::uint64_t>(third), 2, '0');
}

char* put_date(char* out, const plat::CalendarTime& fields, char separator, bool four_digit_year) {
    return four_digit_year ? put_calendar_fields(out, fields.year, 4, fields.month, fields.day, separator)
                           : put_calendar_fields(out, fields.year % 100, 2, fields.month, fields.day, separator);
}

char* put_time(char* out, const plat::CalendarTime& fields, int style) {
    out = put_calendar_fields(out, fields.hour, 2, fields.minute, fields.second, style == TIME_COMPACT ? 0 : ':');
    if (style != TIME_HUNDREDTHS) return out;
    *out++ = '.';
    return put_number(out, static_cast<std::uint64_t>(fields.millisecond / 10), 2, '0');
}

// A time stamp of the listing line: the date column and the time column
// with its suffix, from one conversion to local time.
char* put_stamp(char* out, plat::FileTime time, bool four_digit_year, const char* suffix) {
    plat::CalendarTime fields = local_fields(time);
    out = put_date(out, fields, '-', four_digit_year);
    *out++ = ' ';
    return put_text(put_time(out, fields, TIME_HUNDREDTHS), suffix);
}

bool is_directory(std::uint32_t attributes) { return (attributes & plat::ATTR_DIRECTORY) != 0; }

}  // namespace

char* print_attributes(char* out, std::uint32_t attributes) {
    static const struct {
        std::uint32_t bit;
        char letter;
    } columns[ATTRIBUTE_WIDTH] = {
        {plat::ATTR_ARCHIVE, 'a'}, {plat::ATTR_DIRECTORY, 'd'}, {0, '-'},
        {plat::ATTR_SYSTEM, 's'},  {plat::ATTR_HIDDEN, 'h'},    {plat::ATTR_READONLY, 'r'},
    };
    for (const auto& column : columns) *out++ = (attributes & column.bit) ? column.letter : '-';
    return out;
}

char* format_grouped_number(char* out, std::uint64_t value) {
    // Groups of three digits, least significant first; printed from the
    // other end, all but the first with their leading zeros.
    std::uint64_t groups[7];
    int count = 0;
    do {
        groups[count++] = value % 1000;
        value /= 1000;
    } while (value != 0);
    out = put_number(out, groups[--count], 1, '0');
    while (count > 0) {
        *out++ = ',';
        out = put_number(out, groups[--count], 3, '0');
    }
    return out;
}

char* print_size_column(char* out, std::uint64_t size, std::uint32_t attributes, bool tree_style) {
    constexpr std::size_t LIST_WIDTH = 14;
    if (is_directory(attributes)) return tree_style ? out : put_blanks(out, LIST_WIDTH + 1);
    char number[GROUPED_NUMBER_MAX];
    std::size_t length = static_cast<std::size_t>(format_grouped_number(number, size) - number);
    if (!tree_style && length < LIST_WIDTH) out = put_blanks(out, LIST_WIDTH - length);
    std::memcpy(out, number, length);
    out[length] = ' ';
    return out + length + 1;
}

char* format_size_total(char* out, std::uint64_t total, std::uint32_t unit) {
    // A fixed-width number of three-digit groups (the first group takes more
    // digits when the total needs them), then the unit.
    std::uint64_t high = total / 1000000, low = total % 1000000;
    char* number = out;
    if (unit == 1) {
        out = put_number(out, high / 1000, 3, '0');
        *out++ = ',';
        out = put_number(out, high % 1000, 3, '0');
    } else {
        out = put_number(out, high, 3, '0');
    }
    *out++ = ',';
    out = put_number(out, low / 1000, 3, '0');
    *out++ = ',';
    out = put_number(out, low % 1000, 3, '0');
    // Leading zeros and commas become blanks; a total of 0 keeps its last 0.
    for (char* p = number; p < out - 1 && (*p == '0' || *p == ','); ++p) *p = ' ';
    if (unit == 1) return put_text(out, " bytes ");
    out = put_text(out, " clusters/");
    if (unit == 512) return put_text(out, ".5Kbytes ");
    out = put_number(out, unit / 1024, 2, ' ');
    return put_text(out, "Kbytes ");
}

char* format_date(char* out, plat::FileTime time, char separator, bool four_digit_year) {
    return put_date(out, local_fields(time), separator, four_digit_year);
}

char* format_time(char* out, plat::FileTime time, int style) { return put_time(out, local_fields(time), style); }

char* print_date_column(char* out, plat::FileTime time, bool four_digit_year) {
    out = format_date(out, time, '-', four_digit_year);
    *out++ = ' ';
    return out;
}

char* print_time_column(char* out, plat::FileTime time, const char* suffix) {
    return put_text(format_time(out, time, TIME_HUNDREDTHS), suffix);
}

char* print_time_short(char* out, plat::FileTime time) {
    out = format_time(out, time, TIME_COLONS);
    *out++ = ' ';
    return out;
}

const char* display_path(int name_display, const char* long_path, const char* short_path) {
    return (name_display & NAME_LONG_PATH) ? long_path : short_path;
}

std::size_t list_line_room(const ListLine& line) {
    return LIST_FIELDS_MAX + std::strlen(display_path(line.name_display, line.long_path, line.short_path));
}

char* format_list_line(char* out, const ListLine& line) {
    const bool directory = is_directory(line.attributes);
    out = print_attributes(out, line.attributes);
    out = print_size_column(out, line.size, line.attributes, false);

    // "C:" stands in front of the creation stamp, "A:" in front of the
    // last-access stamp.
    if (line.name_display & NAME_ALL_STAMPS) {
        out = put_stamp(out, line.last_write_time, line.four_digit_year, " C:");
        out = put_stamp(out, line.creation_time, line.four_digit_year, " A:");
        out = put_stamp(out, line.last_access_time, line.four_digit_year, " ");
    } else {
        out = put_stamp(out, line.last_write_time, line.four_digit_year, " ");
    }

    if (line.crc_polynomial != 0 && line.crc_polynomial != READ_TEST_ONLY) {
        const int digits = line.crc32_selected ? 8 : 4;
        if (directory) {
            out = put_blanks(out, static_cast<std::size_t>(digits));
        } else {
            out = line.crc32_selected ? put_hex(out, line.crc, digits, plat::HEX_DIGITS_LOWER)
                                      : put_hex(out, line.crc & 0xFFFF, digits, plat::HEX_DIGITS);
        }
        *out++ = ' ';
    }

    if (line.show_progress) {
        if (directory) {
            out = put_blanks(out, 12);
        } else {
            out = line.measured_speed < 0 ? put_text(out, "-----")
                                          : put_number(out, static_cast<std::uint64_t>(line.measured_speed), 5, ' ');
            out = put_text(out, "KB/sec ");
        }
    }

    return put_text(out, display_path(line.name_display, line.long_path, line.short_path));
}

int list_entry() {
    ++state.pause_counter;
    const OperationOptions& o = state.options;
    const plat::FindRecord& entry = current_level().find_data;
    ListLine line;
    if (o.crc_polynomial != 0 && !is_directory(entry.attributes)) {
        const CrcResult crc = crc_file();
        if (!crc.complete) return crc.walk_result;
        line.crc = crc.crc;
        line.measured_speed = crc.measured_speed;
    }
    line.attributes = entry.attributes;
    line.size = entry.size;
    line.creation_time = entry.creation_time;
    line.last_access_time = entry.last_access_time;
    line.last_write_time = entry.last_write_time;
    line.name_display = o.name_display;
    line.four_digit_year = o.four_digit_year;
    line.crc_polynomial = o.crc_polynomial;
    line.crc32_selected = o.crc32_selected;
    line.show_progress = o.show_progress;
    line.long_path = walker.entry_long_path.c_str();
    line.short_path = walker.entry_short_path.c_str();

    plat::Output& out = plat::std_out();
    const std::string_view line_end = plat::text_line_end();
    char* begin = out.reserve(list_line_room(line) + line_end.size());
    char* end = format_list_line(begin, line);
    if (out.masking_names()) plat::mask_control_characters(begin, end);
    std::memcpy(end, line_end.data(), line_end.size());
    out.commit(static_cast<std::size_t>(end - begin) + line_end.size());
    return 1;
}

}  // namespace kesto

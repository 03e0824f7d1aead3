// Fuzz target for kesto's option and date grammars.
//
// Besides crashes and sanitizer reports it checks:
// - any option text leaves the record in a state the operations can trust:
//   depth at most 512, a known size unit, lists that begin with a comma, an
//   operation code of the table, no move combined with verify or removal;
// - the date parser, on any text and with any fill, leaves its cursor
//   inside the text;
// - a value written with any quote character (doubled inside) reads back
//   as written;
// - any valid date and time, written in the grammar, reads back as the
//   local time it names.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "kesto/options.h"

namespace {

using namespace kesto;

// An exact-size heap copy, so that a read past the end hits the redzone.
struct Text {
    std::unique_ptr<char[]> bytes;
    std::string_view view;
    Text(const std::uint8_t* data, std::size_t size) : bytes(new char[size ? size : 1]) {
        std::memcpy(bytes.get(), data, size);
        view = std::string_view(bytes.get(), size);
    }
};

void require(bool condition) {
    if (!condition) std::abort();
}

bool inside(std::string_view cursor, std::string_view text) {
    return cursor.data() >= text.data() && cursor.data() + cursor.size() == text.data() + text.size();
}

void check_option_text(const Text& text) {
    state = State{};
    split_option_text(text.view, parse_option);
    const OperationOptions& o = state.options;
    require(o.max_depth <= 512);
    const std::uint32_t units[] = {1, 512, 1024, 2048, 4096, 8192, 16384, 32768};
    bool known_unit = false;
    for (std::uint32_t unit : units) known_unit |= o.size_unit == unit;
    require(known_unit);
    for (const std::string* list :
         {&o.include_file_list, &o.exclude_file_list, &o.include_dir_list, &o.exclude_dir_list})
        require(list->empty() || list->front() == ',');
    const std::uint16_t codes[] = {MODE_LIST, MODE_ATTRIB, MODE_SIZE,   MODE_TREE, MODE_DELETE,
                                   MODE_COPY, MODE_UPDATE, MODE_VERIFY, MODE_DATE, MODE_EXEC};
    bool known_code = false;
    for (std::uint16_t code : codes) known_code |= (o.operation_mode & MODE_OPERATION) == code;
    require(known_code);
    if (o.operation_mode & MODE_FLAG_MOVE)
        require((o.operation_mode & (MODE_FLAG_VERIFY | MODE_FLAG_REMOVE_SOURCE)) == 0);
}

void check_date_text(const Text& text) {
    plat::CalendarTime now;
    now.year = 2010, now.month = 6, now.day = 15, now.hour = 12, now.minute = 34, now.second = 56;
    for (int fill : {DATE_FILL_NONE, DATE_FILL_START, DATE_FILL_END}) {
        std::string_view cursor = text.view;
        plat::FileTime result;
        if (parse_date_time(result, cursor, fill, now)) require(inside(cursor, text.view));
    }
}

void check_quoted_round_trip(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return;
    // Punctuation that quotes on every system.
    const char quotes[] = "'|#\"!%";
    char quote = quotes[data[0] % (sizeof quotes - 1)];
    std::string value(reinterpret_cast<const char*>(data + 1), size - 1);
    std::string written = "=";
    written += quote;
    for (char c : value) {
        written += c;
        if (c == quote) written += quote;
    }
    written += quote;
    written += "/T";
    std::string_view cursor = written;
    std::string read;
    require(parse_quoted_value(cursor, read));
    require(read == value && cursor == "/T");
}

void check_date_round_trip(const std::uint8_t* data, std::size_t size) {
    if (size < 8) return;
    plat::CalendarTime fields;
    fields.year = 1601 + (data[0] | data[1] << 8) % (30827 - 1601 + 1);
    fields.month = 1 + data[2] % 12;
    fields.day = 1 + data[3] % days_in_month(fields.year, fields.month);
    fields.hour = data[4] % 24;
    fields.minute = data[5] % 60;
    fields.second = data[6] % 60;
    fields.millisecond = data[7] * 999 / 255;
    char written[64];
    std::snprintf(written, sizeof written, "%d-%d/%d&%d:%d:%d.%03d", fields.year, fields.month, fields.day, fields.hour,
                  fields.minute, fields.second, fields.millisecond);
    plat::FileTime expected;
    if (!plat::local_to_file_time(fields, expected)) return;
    std::string_view cursor = written;
    plat::FileTime result;
    require(parse_date_time(result, cursor, DATE_FILL_NONE, fields));
    require(result == expected && cursor.empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Text text(data, size);
    check_option_text(text);
    check_date_text(text);
    check_quoted_round_trip(data, size);
    check_date_round_trip(data, size);
    return 0;
}

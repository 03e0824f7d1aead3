#include "kesto/options.h"

#include <new>

#include "kesto/crc_file.h"
#include "platform/directory.h"
#include "platform/fault.h"
#include "platform/message.h"
#include "platform/output.h"
#include "platform/path.h"
#include "platform/process.h"
#include "platform/text.h"

namespace kesto {

State state;

namespace {

using plat::Message;

const Message MSG_PARAMETER_ERROR = {"Parameter error. [%s]\n", "パラメータが不正です. [%s]\n"};
const Message MSG_SHOW_USAGE = {"Use /? option to show usage.\n", "/?オプションで使用方法を表示します.\n"};
const Message MSG_QUOTE_WILDCARD = {
    "More than two paths: put a path with wild card characters in quotes, as in '*.txt'.\n",
    "パスが3つ以上あります. ワイルドカードを含むパスは '*.txt' のように引用符で括ります.\n"};

constexpr std::int32_t DEPTH_LIMIT = 512;
constexpr std::uint32_t DEFAULT_PAUSE_EVERY = 24;
// SYSTEMTIME, and so every file time the system converts, ends in 30827.
constexpr std::uint32_t FIRST_YEAR = 1601;
constexpr std::uint32_t LAST_YEAR = 30827;
// GetCurrentDirectoryA into a buffer of 1024 bytes, terminator included.
constexpr std::size_t START_DIRECTORY_SIZE = 1024;

bool at(std::string_view cursor, char c) { return !cursor.empty() && cursor.front() == c; }

bool at_digit(std::string_view cursor) { return !cursor.empty() && cursor.front() >= '0' && cursor.front() <= '9'; }

int digit_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = plat::ascii_upper(c);
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 99;
}

// Reads the digits of a number in base 10 or 16 as an unsigned 32-bit value;
// a value too large reads as 0xFFFFFFFF. No digits read as 0. True when
// there was a digit.
bool read_number(std::string_view& cursor, unsigned base, std::uint32_t& value) {
    std::uint64_t number = 0;
    bool any = false;
    while (!cursor.empty() && static_cast<unsigned>(digit_value(cursor.front())) < base) {
        number = number * base + static_cast<unsigned>(digit_value(cursor.front()));
        if (number > 0xFFFFFFFFu) number = 0xFFFFFFFFu;
        cursor.remove_prefix(1);
        any = true;
    }
    value = static_cast<std::uint32_t>(number);
    return any;
}

std::uint32_t read_number(std::string_view& cursor, unsigned base = 10) {
    std::uint32_t value;
    read_number(cursor, base, value);
    return value;
}

// A field of a date: digits required, then a range check.
bool read_field(std::string_view& cursor, std::uint32_t low, std::uint32_t high, int& field) {
    std::uint32_t value;
    if (!read_number(cursor, 10, value) || value < low || value > high) return false;
    field = static_cast<int>(value);
    return true;
}

bool is_ascii_punctuation(char c) {
    return (c >= '!' && c <= '/') || (c >= ':' && c <= '@') || (c >= '[' && c <= '`') || (c >= '{' && c <= '~');
}

// Takes one letter, in either case, if it is next.
bool take_letter(std::string_view& cursor, char letter) {
    if (cursor.empty() || plat::ascii_upper(cursor.front()) != letter) return false;
    cursor.remove_prefix(1);
    return true;
}

bool take(std::string_view& cursor, std::string_view one_of) {
    if (cursor.empty() || one_of.find(cursor.front()) == std::string_view::npos) return false;
    cursor.remove_prefix(1);
    return true;
}

// What a sub-letter handler makes of one letter.
enum class Letter { taken, not_mine, invalid };

// Reads the sub-letters of an option (any order, repeats allowed) until the
// first letter that handle does not take. handle gets the letter upper-cased
// with the cursor already behind it, and may read on (the start value of
// /FI). False when handle finds a letter invalid.
template <typename Handler>
bool take_sub_letters(std::string_view& cursor, Handler handle) {
    while (!cursor.empty()) {
        std::string_view before = cursor;
        char letter = plat::ascii_upper(cursor.front());
        cursor.remove_prefix(1);
        switch (handle(letter)) {
        case Letter::taken: break;
        case Letter::not_mine: cursor = before; return true;
        case Letter::invalid: return false;
        }
    }
    return true;
}

// The attribute bit of a letter, 0 for any other character.
std::uint32_t attribute_bit(char letter) {
    switch (letter) {
    case 'R': return plat::ATTR_READONLY;
    case 'H': return plat::ATTR_HIDDEN;
    case 'S': return plat::ATTR_SYSTEM;
    case 'D': return plat::ATTR_DIRECTORY;
    case 'A': return plat::ATTR_ARCHIVE;
    default: return 0;
    }
}

// /= /: /& /!: R H S A D, and V, which is read and sets nothing.
bool parse_attribute_filter(std::string_view& cursor, std::uint32_t& mask) {
    mask = 0;
    state.options.selection_flags |= SELECT_ATTRIBUTES;
    return take_sub_letters(cursor, [&](char letter) {
        if (letter == 'V') return Letter::taken;
        std::uint32_t bit = attribute_bit(letter);
        if (bit == 0) return Letter::not_mine;
        mask |= bit;
        return Letter::taken;
    });
}

// /+ /-: R H S A, and I for no confirmation.
bool parse_attribute_change(std::string_view& cursor, std::uint32_t& mask) {
    OperationOptions& o = state.options;
    o.operation_mode = MODE_ATTRIB;
    mask = 0;
    return take_sub_letters(cursor, [&](char letter) {
        if (letter == 'I') {
            o.confirm_each = false;
            return Letter::taken;
        }
        std::uint32_t bit = attribute_bit(letter);
        if (bit == 0 || bit == plat::ATTR_DIRECTORY) return Letter::not_mine;
        mask |= bit;
        return Letter::taken;
    });
}

// /A and /B. Without E the bound itself is excluded, so the lower bound is
// the end of a day given without a time and the upper bound its start; with
// E it is included and the other way round.
bool parse_date_bound(std::string_view& cursor, plat::FileTime& bound, bool lower) {
    OperationOptions& o = state.options;
    std::uint32_t inclusive_flag = lower ? SELECT_LOWER_INCLUSIVE : SELECT_UPPER_INCLUSIVE;
    bool inclusive = take_letter(cursor, 'E');
    o.selection_flags |= SELECT_DATE;
    if (inclusive)
        o.selection_flags |= inclusive_flag;
    else
        o.selection_flags &= ~inclusive_flag;
    return parse_date_time(bound, cursor, inclusive == lower ? DATE_FILL_START : DATE_FILL_END);
}

// /C and /U.
bool parse_copy(std::string_view& cursor, std::uint16_t mode) {
    OperationOptions& o = state.options;
    o.operation_mode = mode;
    o.confirm_each = true;
    o.two_second_tolerance = false;
    o.show_progress = false;
    o.write_through = false;
    // A move renames the source away, so it cannot be combined with a
    // verify or a removal of the source.
    return take_sub_letters(cursor, [&](char letter) {
        switch (letter) {
        case '2': o.two_second_tolerance = true; break;
        case 'E': o.continue_on_error = true; break;
        case 'I': o.confirm_each = false; break;
        case 'P': o.show_progress = true; break;
        case 'S': break;
        case 'T': o.write_through = true; break;
        case 'V':
        case 'R':
            if (o.operation_mode & MODE_FLAG_MOVE) return Letter::invalid;
            o.operation_mode |= letter == 'V' ? MODE_FLAG_VERIFY : MODE_FLAG_REMOVE_SOURCE;
            break;
        case 'M':
            if (o.operation_mode & (MODE_FLAG_VERIFY | MODE_FLAG_REMOVE_SOURCE)) return Letter::invalid;
            o.operation_mode |= MODE_FLAG_MOVE;
            break;
        default: return Letter::not_mine;
        }
        return Letter::taken;
    });
}

// /D[I][<date>]: without a date, the current time.
bool parse_new_date(std::string_view& cursor) {
    OperationOptions& o = state.options;
    o.operation_mode = MODE_DATE;
    o.confirm_each = true;
    if (take_letter(cursor, 'I')) o.confirm_each = false;
    if (at_digit(cursor) || at(cursor, ',') || at(cursor, '&'))
        return parse_date_time(o.new_file_time, cursor, DATE_FILL_NONE);
    o.new_file_time = plat::now_file_time();
    return true;
}

// /F: CRC-16 unless D (CRC-32) or N (read only) comes later.
bool parse_crc(std::string_view& cursor) {
    OperationOptions& o = state.options;
    o.crc_polynomial = POLY_CRC16;
    o.show_progress = false;
    o.continue_on_error = false;
    o.crc32_selected = false;
    o.crc_initial_given = false;
    o.confirm_each = true;
    return take_sub_letters(cursor, [&](char letter) {
        switch (letter) {
        case 'D':
            o.crc_polynomial = POLY_CRC32;
            o.crc32_selected = true;
            break;
        case 'E': o.continue_on_error = true; break;
        case 'I':
            // Every hexadecimal digit belongs to the start value, a D or E too.
            o.crc_initial_given = true;
            o.crc_initial_value = read_number(cursor, 16);
            break;
        case 'N': o.crc_polynomial = READ_TEST_ONLY; break;
        case 'P': o.show_progress = true; break;
        default: return Letter::not_mine;
        }
        return Letter::taken;
    });
}

// /R.
bool parse_delete(std::string_view& cursor) {
    OperationOptions& o = state.options;
    o.operation_mode = MODE_DELETE;
    o.confirm_each = true;
    o.show_progress = false;
    return take_sub_letters(cursor, [&](char letter) {
        switch (letter) {
        case 'E': o.continue_on_error = true; break;
        case 'I': o.confirm_each = false; break;
        case 'P': o.show_progress = true; break;
        case 'V': o.operation_mode |= MODE_FLAG_VERIFY; break;
        default: return Letter::not_mine;
        }
        return Letter::taken;
    });
}

// /S[T][n]: n is 0.5, 1, 2, 4, 8, 16 or 32 KB; bytes without n.
bool parse_size(std::string_view& cursor) {
    OperationOptions& o = state.options;
    o.operation_mode = MODE_SIZE;
    o.size_total_only = take_letter(cursor, 'T');
    std::uint32_t n;
    bool digits = read_number(cursor, 10, n);
    if (at(cursor, '.')) {
        // Only "0.5", and no further digit.
        cursor.remove_prefix(1);
        if (!digits || n != 0 || !take(cursor, "5") || at_digit(cursor)) return false;
        o.size_unit = 512;
        return true;
    }
    if (!digits) {
        o.size_unit = 1;
        return true;
    }
    switch (n) {
    case 1:
    case 2:
    case 4:
    case 8:
    case 16:
    case 32: o.size_unit = n * 1024; return true;
    default: return false;
    }
}

// /V.
bool parse_verify(std::string_view& cursor) {
    OperationOptions& o = state.options;
    o.operation_mode = MODE_VERIFY;
    o.show_progress = false;
    o.two_second_tolerance = false;
    o.continue_on_error = false;
    o.verify_attr_mask = 0;
    o.verify_size = false;
    o.verify_date = false;
    o.compare_content = true;
    o.verify_show_all = true;
    return take_sub_letters(cursor, [&](char letter) {
        switch (letter) {
        case '2': o.two_second_tolerance = true; return Letter::taken;
        case 'E': o.continue_on_error = true; return Letter::taken;
        case 'P': o.show_progress = true; return Letter::taken;
        case 'V': o.verify_show_all = false; return Letter::taken;
        case 'A':
        case 'H':
        case 'R':
        case 'S': o.verify_attr_mask |= attribute_bit(letter); break;
        case 'D': o.verify_date = true; break;
        case 'L': o.verify_size = true; break;
        case 'N': break;
        default: return Letter::not_mine;
        }
        // Every comparison of attributes, date or size replaces the one of
        // contents.
        o.compare_content = false;
        return Letter::taken;
    });
}

// Appends "," and the quoted value to a name list. A list that cannot grow
// fails the option.
bool parse_list_value(std::string_view& cursor, std::string& list) {
    std::string value;
    if (!parse_quoted_value(cursor, value)) return false;
    if (plat::fault::hit(plat::fault::Call::allocate)) return false;
    try {
        list.reserve(list.size() + value.size() + 2);
    } catch (const std::bad_alloc&) {
        return false;
    }
    list += ',';
    list += value;
    return true;
}

// /X[AFIN]=<q>command<q>: also takes the current directory and the command
// interpreter the commands will run in.
bool parse_exec(std::string_view& cursor) {
    OperationOptions& o = state.options;
    o.operation_mode = MODE_EXEC;
    o.confirm_each = true;
    o.exec_hide_command = false;
    o.exec_full_path = false;
    o.exec_double_dollar = false;
    take_sub_letters(cursor, [&](char letter) {
        switch (letter) {
        case 'A': o.exec_full_path = true; break;
        case 'F': o.exec_double_dollar = true; break;
        case 'I': o.confirm_each = false; break;
        case 'N': o.exec_hide_command = true; break;
        default: return Letter::not_mine;
        }
        return Letter::taken;
    });
    if (!parse_quoted_value(cursor, o.exec_command)) return false;
    if (!plat::current_directory(o.start_directory) || o.start_directory.size() >= START_DIRECTORY_SIZE) return false;
    if (!plat::get_env("COMSPEC", o.command_interpreter)) o.command_interpreter = plat::default_command_interpreter();
    return true;
}

void report_parameter_error(const char* argument, const Message* hint) {
    // Printed plainly: the inverted colours are for failures of the run.
    plat::Output& out = plat::std_out();
    out.print(MSG_PARAMETER_ERROR, argument);
    if (hint) out.print(*hint);
    out.print(MSG_SHOW_USAGE);
    ++state.parameter_errors;
}

}  // namespace

bool split_option_text(std::string_view argument, bool (*handle_option)(std::string_view& cursor)) {
    std::string_view cursor = argument;
    while (!cursor.empty()) {
        switch (cursor.front()) {
        case '/':
            if (!handle_option(cursor)) return false;
            if (at(cursor, ' '))
                cursor.remove_prefix(1);
            else if (!cursor.empty() && cursor.front() != '\t' && cursor.front() != '/')
                return false;
            break;
        case '"': {
            std::size_t close = cursor.find('"', 1);
            if (close == std::string_view::npos) return false;
            cursor.remove_prefix(close + 1);
            break;
        }
        default: cursor.remove_prefix(1); break;
        }
    }
    return true;
}

bool parse_option(std::string_view& cursor) {
    OperationOptions& o = state.options;
    cursor.remove_prefix(1);  // the slash
    if (cursor.empty()) return false;
    if (at_digit(cursor)) {
        // A depth too large for 32 bits reads as 0xFFFFFFFF, which is -1 and
        // walks the source level only.
        auto depth = static_cast<std::int32_t>(read_number(cursor));
        if (depth > DEPTH_LIMIT) return false;
        o.max_depth = depth;
        return true;
    }
    char letter = plat::ascii_upper(cursor.front());
    cursor.remove_prefix(1);
    switch (letter) {
    case '?': {
        std::uint32_t request = read_number(cursor, 16);
        o.help_request = request != 0 ? request : HELP_USAGE;
        return true;
    }
    case 'E': plat::use_english = true; return true;
    case '=':
    case ':': return parse_attribute_filter(cursor, o.attr_any_mask);
    case '&': return parse_attribute_filter(cursor, o.attr_all_mask);
    case '!': return parse_attribute_filter(cursor, o.attr_none_mask);
    case '+': return parse_attribute_change(cursor, o.attr_add_mask);
    case '-': return parse_attribute_change(cursor, o.attr_remove_mask);
    case 'A': return parse_date_bound(cursor, o.date_lower_bound, true);
    case 'B': return parse_date_bound(cursor, o.date_upper_bound, false);
    case 'C': return parse_copy(cursor, MODE_COPY);
    case 'U': return parse_copy(cursor, MODE_UPDATE);
    case 'D': return parse_new_date(cursor);
    case 'F': return parse_crc(cursor);
    case 'I': return parse_list_value(cursor, o.exclude_file_list);
    case 'L': o.name_display = static_cast<std::int32_t>(read_number(cursor)); return true;
    case 'M': {
        std::uint32_t every = read_number(cursor);
        o.pause_every = every != 0 ? every : DEFAULT_PAUSE_EVERY;
        return true;
    }
    case 'O': return parse_list_value(cursor, o.exclude_dir_list);
    case 'P': o.include_depth = 0; return parse_list_value(cursor, o.include_dir_list);
    case 'Q': o.beep_count = read_number(cursor); return true;
    case 'R': return parse_delete(cursor);
    case 'S': return parse_size(cursor);
    case 'T': o.operation_mode = MODE_TREE; return true;
    case 'V': return parse_verify(cursor);
    case 'W': return parse_list_value(cursor, o.include_file_list);
    case 'X': return parse_exec(cursor);
    case 'Y':
        switch (read_number(cursor)) {
        case 2: o.four_digit_year = false; return true;
        case 4: o.four_digit_year = true; return true;
        default: return false;
        }
    default: return false;
    }
}

bool parse_quoted_value(std::string_view& cursor, std::string& value) {
    if (!(at(cursor, '=') || at(cursor, ':')) || cursor.size() < 2) return false;
    char quote = cursor[1];
    cursor.remove_prefix(2);
    value.clear();
    if (plat::shell_expands_arguments() &&
        !(is_ascii_punctuation(quote) && std::string_view("*?./~$_-").find(quote) == std::string_view::npos)) {
        // The shell took the user's quotes away: the value is the rest.
        value += quote;
        value += cursor;
        cursor.remove_prefix(cursor.size());
        return true;
    }
    for (;;) {
        std::size_t close = cursor.find(quote);
        if (close == std::string_view::npos) {
            value += cursor;
            cursor.remove_prefix(cursor.size());
            return true;
        }
        value += cursor.substr(0, close);
        cursor.remove_prefix(close + 1);
        if (!at(cursor, quote)) return true;
        // A doubled quote is one literal quote.
        value += quote;
        cursor.remove_prefix(1);
    }
}

bool parse_date_time(plat::FileTime& result, std::string_view& cursor, int fill) {
    plat::CalendarTime now;
    if (!plat::file_time_to_local(plat::now_file_time(), now)) return false;
    return parse_date_time(result, cursor, fill, now);
}

bool parse_date_time(plat::FileTime& result, std::string_view& cursor, int fill, const plat::CalendarTime& now) {
    plat::CalendarTime fields = now;
    // A time written without milliseconds means its whole second (.000);
    // only the end of a day takes .999.
    fields.millisecond = fill == DATE_FILL_END ? 999 : 0;
    if (!at(cursor, ',') && !at(cursor, '&')) {
        std::uint32_t year;
        if (!read_number(cursor, 10, year)) return false;
        if (year < 100) year += year < 80 ? 2000 : 1900;
        if (year < FIRST_YEAR || year > LAST_YEAR) return false;
        fields.year = static_cast<int>(year);
        if (!take(cursor, "-/") || !read_field(cursor, 1, 12, fields.month) || !take(cursor, "-/")) return false;
        std::uint32_t last_day = static_cast<std::uint32_t>(days_in_month(fields.year, fields.month));
        if (!read_field(cursor, 1, last_day, fields.day)) return false;
    }
    if (take(cursor, ",&")) {
        if (!read_field(cursor, 0, 23, fields.hour) || !take(cursor, ":") ||
            !read_field(cursor, 0, 59, fields.minute) || !take(cursor, ":") ||
            !read_field(cursor, 0, 59, fields.second))
            return false;
        if (take(cursor, ".")) {
            // Up to three digits, padded on the right: .5 is 500 ms, .05 is
            // 50 ms; further digits are read over.
            int millisecond = 0;
            int place = 100;
            for (std::size_t i = 0; i < 3 && at_digit(cursor.substr(i)); ++i, place /= 10)
                millisecond += (cursor[i] - '0') * place;
            fields.millisecond = millisecond;
            while (at_digit(cursor)) cursor.remove_prefix(1);
        }
    } else if (fill == DATE_FILL_NONE) {
        return false;
    } else {
        bool end = fill == DATE_FILL_END;
        fields.hour = end ? 23 : 0;
        fields.minute = end ? 59 : 0;
        fields.second = end ? 59 : 0;
    }
    return plat::local_to_file_time(fields, result);
}

int days_in_month(int year, int month) {
    switch (month) {
    case 4:
    case 6:
    case 9:
    case 11: return 30;
    case 2: return plat::is_leap_year(year) ? 29 : 28;
    default: return 31;
    }
}

void strip_double_quotes(std::string& text) {
    std::string::size_type kept = 0;
    for (char c : text)
        if (c != '"') text[kept++] = c;
    text.resize(kept);
}

void classify_arguments(int argc, const char* const* argv) {
    bool options_ended = false;
    bool hint_given = false;
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (!options_ended && plat::is_end_of_options(argument)) {
            options_ended = true;
        } else if (!options_ended && argument[0] == '/') {
            if (!split_option_text(argument, parse_option)) report_parameter_error(argument, nullptr);
        } else if (!state.source_arg) {
            state.source_arg = argument;
        } else if (!state.dest_arg) {
            state.dest_arg = argument;
        } else if (plat::shell_expands_arguments()) {
            // The shell expanded a wildcard the user meant for kesto: nothing
            // may be touched with a selection the user did not ask for.
            report_parameter_error(argument, hint_given ? nullptr : &MSG_QUOTE_WILDCARD);
            hint_given = true;
        }
    }
}

}  // namespace kesto

// kesto's command line: the option record that every operation reads, the
// grammars of the options and of dates, parameter errors, and the two
// screens that /? selects (the usage screen and the parameter list).
//
// The driver calls classify_arguments() once, right after the console is set
// up, and then reads `state`:
//   - options.help_request & HELP_USAGE: print_usage_screen(), exit code 0;
//   - else parameter_errors != 0: exit code 255, nothing is touched;
//   - else options.help_request & HELP_PARAMETERS: print_parameter_list();
//   - source_arg, dest_arg and every field of options drive the run.
// The language flag is plat::use_english (/E sets it).
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/time.h"

namespace kesto {

// operation_mode: one operation code in the low part (mode & MODE_OPERATION)
// and modifier bits. An operation option stores its code alone, so it drops
// every earlier operation and its modifiers.
enum : std::uint16_t {
    MODE_LIST = 0x0001,
    MODE_ATTRIB = 0x0002,
    MODE_SIZE = 0x0004,
    MODE_TREE = 0x0008,
    MODE_DELETE = 0x0010,
    MODE_COPY = 0x0020,
    MODE_UPDATE = 0x0040,
    MODE_VERIFY = 0x0080,
    MODE_DATE = 0x0800,
    MODE_EXEC = 0x8000,
    MODE_OPERATION = 0x8FFF,
    MODE_FLAG_VERIFY = 0x1000,         // V of /C /U /R
    MODE_FLAG_REMOVE_SOURCE = 0x2000,  // R of /C /U
    MODE_FLAG_MOVE = 0x4000,           // M of /C /U
    // /RV, delete after verify: tested as the whole word.
    MODE_DELETE_VERIFIED = MODE_DELETE | MODE_FLAG_VERIFY,
};

// selection_flags. SELECT_SOURCE_WILDCARD and SELECT_SOURCE_DIRECTORY are
// the driver's; the command line sets the others.
enum : std::uint32_t {
    SELECT_DATE = 0x01,              // /A or /B given
    SELECT_ATTRIBUTES = 0x02,        // /= /: /& /! given
    SELECT_SOURCE_WILDCARD = 0x04,   // the source's last component holds a wildcard
    SELECT_SOURCE_DIRECTORY = 0x08,  // the source is a directory
    SELECT_LOWER_INCLUSIVE = 0x10,   // /AE
    SELECT_UPPER_INCLUSIVE = 0x20,   // /BE
};

// crc_polynomial: 0 lists without CRC; READ_TEST_ONLY (crc_file.h, /FN) reads
// the files and computes no CRC.
enum : std::uint32_t {
    POLY_CRC16 = 0xA001,
    POLY_CRC32 = 0xEDB88320,
};

// help_request bits.
enum : std::uint32_t {
    HELP_PARAMETERS = 0x00000001,  // /?1
    HELP_USAGE = 0x80000000,       // /?
};

// How parse_date_time completes a date without a time.
enum DateFill {
    DATE_FILL_NONE = 0,   // a time is required (/D)
    DATE_FILL_START = 1,  // 00:00:00.000
    DATE_FILL_END = 2,    // 23:59:59.999
};

// The option record. Options overwrite fields in the order written, so for
// any field the last option that sets it wins.
struct OperationOptions {
    std::uint16_t operation_mode = MODE_LIST;
    std::int32_t max_depth = 512;  // levels below the source level; 0: source level only
    bool confirm_each = true;      // ask before each change
    bool continue_on_error = false;
    bool show_progress = false;
    bool two_second_tolerance = false;
    bool write_through = false;
    bool compare_content = true;         // /V compares contents
    std::uint32_t verify_attr_mask = 0;  // attributes /V compares
    bool verify_size = false;
    bool verify_date = false;
    bool verify_show_all = true;       // false: /V shows discord files only
    std::uint32_t crc_polynomial = 0;  // POLY_*
    bool crc32_selected = false;
    bool crc_initial_given = false;
    std::uint32_t crc_initial_value = 0;
    bool size_total_only = false;
    std::uint32_t size_unit = 1;    // bytes: 1, 512 or n * 1024
    std::int32_t name_display = 1;  // display selector, unchecked
    bool four_digit_year = false;
    std::uint32_t pause_every = 0;  // wait for a key after every n entries; 0: never
    std::uint32_t beep_count = 0;
    std::uint32_t attr_any_mask = 0;
    std::uint32_t attr_all_mask = 0;
    std::uint32_t attr_none_mask = 0;
    std::uint32_t attr_add_mask = 0;
    std::uint32_t attr_remove_mask = 0;
    plat::FileTime date_lower_bound = 0;
    plat::FileTime date_upper_bound = 0xFFFFFFFFFFFFFFFFu;
    plat::FileTime new_file_time = 0;
    std::uint32_t selection_flags = 0;  // SELECT_*
    // Name lists: every /W /I /P /O appends "," and its value, so a list
    // that was given begins with a comma; empty means none.
    std::string include_file_list;
    std::string exclude_file_list;
    std::string include_dir_list;
    std::string exclude_dir_list;
    int include_depth = 1;     // /P sets 0; the walker counts
    std::string exec_command;  // /X template
    bool exec_full_path = false;
    bool exec_double_dollar = false;
    bool exec_hide_command = false;
    std::string command_interpreter;  // COMSPEC, else the system's default
    std::string start_directory;      // current directory when /X was read
    std::uint32_t help_request = 0;   // HELP_*
};

// Size of each of the two file data buffers.
constexpr std::size_t TRANSFER_BUFFER_SIZE = 65536;

// The state of a run: what the command line sets up, the answers and keys
// of the console services, the counters the exit code comes from, and the
// buffers. One instance, `state`; a test starts from a fresh one with
// `state = State{}`. (The walker's level stack is walker.h's.)
struct State {
    OperationOptions options;
    std::optional<std::string> source_arg;  // first path argument
    std::optional<std::string> dest_arg;    // second path argument
    int parameter_errors = 0;               // arguments reported as parameter errors

    bool skip_all = false;            // answer X: every later prompt says no
    bool aborted = false;             // ESC was read; never cleared
    std::uint32_t pause_counter = 0;  // operations since the last /M pause

    int exit_error_code = 0;  // 255 after an error that ends the run
    std::uint32_t selected_file_count = 0;
    std::uint32_t verified_file_count = 0;
    std::uint64_t size_total = 0;

    std::unique_ptr<unsigned char[]> transfer_buffer;  // TRANSFER_BUFFER_SIZE bytes, or none
    std::unique_ptr<unsigned char[]> compare_buffer;
};
extern State state;

// Classifies argv[1..argc-1] in order: options (first character "/") fill
// state.options, the first two other arguments become source_arg and
// dest_arg. On POSIX "--" ends the options, and a path beyond the second is
// a parameter error (the shell expanded an unquoted wildcard); on Windows it
// is ignored. Each failing argument is reported on standard output, in the
// language in force at that moment, and counted in state.parameter_errors.
// The arguments themselves are not changed.
void classify_arguments(int argc, const char* const* argv);

// Walks one argument that starts with "/": calls handle_option with the
// cursor on every "/" that begins an option. After an option the next
// character must be the end, a blank, a tab or "/". Text between options
// (possible inside one argument the user quoted) is stepped over, a
// double-quoted stretch of it as one piece. False when an option fails, a
// double quote there is unmatched, or an option is followed by other text.
bool split_option_text(std::string_view argument, bool (*handle_option)(std::string_view& cursor));

// Reads one option from the cursor on its "/" into state.options and leaves
// the cursor on the first character it did not take. False when the option
// is unknown or malformed or a value is out of range.
bool parse_option(std::string_view& cursor);

// The value of /W /I /O /P /X. The cursor is on "=" or ":"; the character
// after it is the quote, the value runs to the next quote character (a
// doubled one stands for one literal quote) or to the end of the argument,
// and the cursor moves behind the closing quote. Where the shell removes
// quotes (POSIX), only punctuation other than * ? . / ~ $ _ - quotes; any
// other character starts a value that runs to the end of the argument.
// False when the cursor is not on "=" or ":" or nothing follows it.
bool parse_quoted_value(std::string_view& cursor, std::string& value);

// The date grammar [yy]yy-mm-dd[{,|&}hh:mm:ss[.nnn]], a local time, into a
// UTC file time. A leading "," or "&" keeps the date of now (the current
// local time). A date without a time takes the start or end of its day as
// fill says, or fails with DATE_FILL_NONE; a time without milliseconds is
// hh:mm:ss.000, or .999 with DATE_FILL_END. A year below 100 is 20yy when
// below 80, else 19yy; other years run from 1601 to 30827. Leaves the cursor
// behind the date; false on a syntax or range error or when the time cannot
// be converted.
bool parse_date_time(plat::FileTime& result, std::string_view& cursor, int fill);
bool parse_date_time(plat::FileTime& result, std::string_view& cursor, int fill, const plat::CalendarTime& now);

// Days of a month (1..12) in the Gregorian calendar.
int days_in_month(int year, int month);

// Removes every double quote from a path argument.
void strip_double_quotes(std::string& text);

// The usage screen in the current language, on standard output.
void print_usage_screen();

// "Parameters:" and " [argument]" for argv[1..argc-1], on standard error.
void print_parameter_list(int argc, const char* const* argv);

}  // namespace kesto

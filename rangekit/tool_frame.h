// What the byte-range tools share: start-up, command-line rules, help
// screen, error levels, paging and ESC, raw console output.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/file.h"
#include "platform/message.h"
#include "rangekit/formula.h"

namespace rangekit {

enum ErrorLevel {
    EXIT_NO_ERROR = 0,
    EXIT_MISSING_ARGUMENTS = 1,
    EXIT_INVALID_ARGUMENTS = 2,
    EXIT_CANCELED = 3,
    EXIT_NO_MEMORY = 4,
    EXIT_FILE_ACCESS = 5,
};

extern const plat::Message MSG_OUT_OF_MEMORY;
extern const plat::Message MSG_OPEN_OUTPUT_FAILED;

// Size of one read in the dumps and the patch tool.
constexpr std::size_t BLOCK_SIZE = 0x8000;

// Start of every tool: interrupt signal ignored, language chosen, keyboard
// ready.
void tool_start();

// Ends a tool: flushes standard output. A failed write to standard output
// turns a completed run (outcome: level 0, or a tool's own result code) into
// EXIT_FILE_ACCESS, a broken pipe quietly, any other failure with a message
// on standard error. Returns the exit code.
int tool_finish(int error_level, bool outcome);
inline int tool_finish(int error_level) { return tool_finish(error_level, error_level == EXIT_NO_ERROR); }

// How one command-line argument is to be read.
enum class ArgKind {
    end_of_options,  // "--" on POSIX: every later argument is an operand
    operand,         // a file name (or drive)
    option,          // compare with the option prefixes
};
ArgKind classify_argument(const char* argument, bool options_ended);

// Walks the command line once, front to back. The "--" that ends the
// options is taken here: every argument after it is an operand.
class ArgumentScan {
public:
    ArgumentScan(int argc, char** argv) : argc_(argc), argv_(argv) {}
    // The next argument, and whether it is to be compared with the option
    // prefixes; false after the last one.
    bool next(char*& argument, bool& option);

private:
    int argc_;
    char** argv_;
    int index_ = 1;
    bool options_ended_ = false;
};

// True when argument begins with prefix, ignoring case.
bool option_matches(const char* argument, const char* prefix);

// Value of /M or /M:lines: 24, or the leading decimal number behind the
// colon (0 when there is none).
int parse_page_lines(const char* argument);

// A decimal number read as the C library's atoi reads it: blanks, a sign,
// then the leading digits; 0 without digits; held to the int range.
int leading_decimal(const char* text);

// A range of bytes (or sectors) as given by /S:, /E: and /C:.
struct Range {
    std::int64_t start = 0;
    std::int64_t end = 0x7FFFFFFFFFFFFFFE;  // inclusive
    std::int64_t count = 0x7FFFFFFFFFFFFFFF;
    bool start_given = false, end_given = false, count_given = false;
};

// How a tool reads its range options: the messages for a formula that
// cannot be evaluated, and the hexadecimal prefix rule.
struct RangeSyntax {
    plat::Message invalid_start;
    plat::Message invalid_end;
    plat::Message invalid_count;
    HexPrefix hex_prefix;
};
extern const RangeSyntax BYTE_RANGE;  // byte offsets and counts

enum class RangeOption { none, taken, invalid };
// Takes /S:, /E: or /C: into range; none for any other argument, invalid
// (the message printed) for a formula that cannot be evaluated.
RangeOption take_range_option(const char* argument, Range& range, const RangeSyntax& syntax = BYTE_RANGE);

// Signed 64-bit arithmetic that wraps around instead of overflowing.
inline std::int64_t wrapping_add(std::int64_t a, std::int64_t b) {
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) + static_cast<std::uint64_t>(b));
}
inline std::int64_t wrapping_sub(std::int64_t a, std::int64_t b) {
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) - static_cast<std::uint64_t>(b));
}

// The start of a range given by its end and a count but no start: the last
// count units up to the inclusive end, when there are that many; otherwise
// start unchanged.
std::int64_t start_from_end(std::int64_t start, std::int64_t end, std::int64_t count);
// The same for a range whose start was not given.
void place_start_before_end(Range& range);

// Units of a range left from position to the inclusive end (0 when the end
// lies before position).
std::int64_t left_before_end(std::int64_t position, std::int64_t end);

// Tells the offset at which ESC ended the run.
void print_canceled_at(std::int64_t offset);

// What the runs of the tools share: the error level, and a failure told
// with the name of the file it concerns.
class ToolRun {
protected:
    // Prints message with name and takes level; false, so that a step can
    // end with "return fail(...)".
    bool fail(const plat::Message& message, const char* name, int level = EXIT_FILE_ACCESS);

    int level_ = EXIT_NO_ERROR;
};

// Positions file at start for reading. A start beyond the end of the file
// is no failure, also where the system refuses to seek beyond the largest
// file it can hold: the file is then positioned at its end, where reads
// find nothing. False when the seek failed otherwise.
bool seek_start(plat::File& file, std::int64_t start);

// The marks a progress row of width marks shows after done of total units
// (total above 0): width * done / total, exact for any 64-bit done. Inline:
// a sort calls it for every line.
inline std::uint64_t progress_marks(std::uint64_t width, std::uint64_t done, std::uint64_t total) {
    if (done <= UINT64_MAX / width) return width * done / total;
    // In 128 bits where width * done exceeds 64 bits (counts near 2^63).
    return static_cast<std::uint64_t>(static_cast<unsigned __int128>(width) * done / total);
}

// A buffer from the heap, or an empty pointer when memory is exhausted.
std::unique_ptr<unsigned char[]> allocate_buffer(std::size_t size);

// Help screen. Arrays end with a null entry.
struct HelpScreen {
    plat::Message title;  // format with one %s, the version
    const char* version;
    const char* year;
    const plat::Message* usage;    // usage lines
    const plat::Message* options;  // option lines
    const plat::Message* remarks;  // remark lines
    const plat::Message* levels;   // error level lines, numbered from 0, or
                                   // null for a tool that prints its own
};
void print_help(const HelpScreen& screen);

// The standard remark and error level lines.
extern const plat::Message HELP_FORMULA_LINE_2;
extern const plat::Message HELP_LEVELS[];  // levels 0..5, then a null entry

// Paging and ESC for screen output.
class Pager {
public:
    // After a pause, a key other than ESC or SPACE resumes; in a hex dump it
    // also ends the page stops (run_on), elsewhere the page count goes on.
    enum class Resume { run_on, keep_paging };

    explicit Pager(int page_lines, Resume resume = Resume::run_on)
        : page_lines_(page_lines), lines_left_(page_lines), resume_(resume) {}

    // After a line was shown: a waiting key pauses (ESC cancels), and the
    // page counter may call for a stop. False once canceled.
    bool line_shown() { return lines_shown(1); }
    // After count lines were shown at once, no more than
    // lines_before_stop(): as line_shown(), with one look at the keyboard
    // for all of them.
    bool lines_shown(std::size_t count) {
        if (lines_left_ > 0 && (lines_left_ -= static_cast<int>(count)) == 0) return page_stop();
        return !key_pending() || handle_waiting_key(resume_ == Resume::run_on);
    }
    // How many lines may be shown before the page counter calls for a stop.
    std::size_t lines_before_stop() const { return lines_left_ > 0 ? static_cast<std::size_t>(lines_left_) : SIZE_MAX; }
    // Counts a line end of raw console output; true when the page is full
    // and the caller must write what it has and call page_stop().
    bool count_raw_line() { return lines_left_ > 0 && --lines_left_ == 0; }
    // Waits for a key at the end of a page: ESC cancels, SPACE grants another
    // page, any other key lets output run on without stops.
    bool page_stop();
    // The block-start check of raw console output: a waiting key pauses,
    // ESC cancels, SPACE grants a page, another key resumes.
    bool check_block_start() { return !key_pending() || handle_waiting_key(false); }
    // When writing to a file: ESC cancels, other keys are dropped.
    bool check_file_output();

    bool canceled() const { return canceled_; }

private:
    static bool key_pending();
    bool handle_waiting_key(bool in_hex_dump);
    bool apply_resume_key(int key, bool resume_without_stops);

    int page_lines_;
    int lines_left_;
    Resume resume_;
    bool canceled_ = false;
};

// Writes raw data to the console, counting screen lines for the pager: a
// carriage return is skipped, a line feed or reaching the screen width ends
// a line. Returns the number of bytes written before a cancel (all of them
// unless canceled).
class RawConsoleWriter {
public:
    RawConsoleWriter();
    std::size_t write_block(const unsigned char* data, std::size_t size, Pager& pager);

private:
    int width_;
    int column_ = 0;
    bool text_mode_;
};

}  // namespace rangekit

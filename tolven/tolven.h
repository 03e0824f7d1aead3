// tolven: sorts the lines of a text file or of standard input, of any size,
// to standard output. What the scan and the block sort share: the settings
// and run state, the messages, the error levels and the console services.
#pragma once
#include <cstdint>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/message.h"
#include "rangekit/tool_frame.h"

namespace tolven {

using rangekit::EXIT_CANCELED;
using rangekit::EXIT_FILE_ACCESS;
using rangekit::EXIT_INVALID_ARGUMENTS;
using rangekit::EXIT_MISSING_ARGUMENTS;
using rangekit::EXIT_NO_ERROR;
using rangekit::EXIT_NO_MEMORY;
constexpr int EXIT_MEMORY_OPERATION = 6;  // the line index could not grow

// The one record of process-wide state: settings (set only by the parser)
// and what the phases of a run share.
struct State {
    int case_mode = 1;        // 0 as is, 1 fold to upper, 2 fold to lower
    int truncate_column = 0;  // 0: off
    bool reverse_order = false;
    bool show_progress = false;
    int sort_start_column = 0;         // zero-based
    int sort_end_column = 0x7FFFFFFF;  // zero-based, not compared itself
    const char* input_path = nullptr;  // none: standard input
    // Shift-JIS lead bytes begin two-byte characters in keys and /T
    // columns; otherwise every byte is one column.
    bool double_byte = true;

    int error_level = EXIT_NO_ERROR;
    // The word that names the file lines are read back from ("Input" or
    // "temporary"), and the one that names the input ("file" or "stream").
    const plat::Message* source_name = nullptr;
    const plat::Message* input_kind = nullptr;
    std::uint64_t null_count = 0;
    std::uint64_t last_key_poll_ms = 0;
};
extern State state;

// Every message of the program, English and Japanese.
extern const plat::Message MSG_CANCELED;
extern const plat::Message MSG_LINE_END;
extern const plat::Message MSG_SCANNING;
extern const plat::Message MSG_READ_INPUT_FAILED;
extern const plat::Message MSG_WRITE_TEMPORARY_FAILED;
extern const plat::Message MSG_INDEX_GROW_FAILED;
extern const plat::Message MSG_SCAN_STATISTICS;
extern const plat::Message MSG_NULL_WARNING;
extern const plat::Message MSG_BLOCK_TABLE_MEMORY;
extern const plat::Message MSG_BLOCK_TOO_LARGE;
extern const plat::Message MSG_PRIMARY_MEMORY;
extern const plat::Message MSG_READ_BLOCK_FAILED;
extern const plat::Message MSG_READ_LINE_FAILED;
extern const plat::Message MSG_SLOTS_TOO_LARGE;
extern const plat::Message MSG_SECONDARY_MEMORY;
extern const plat::Message MSG_ORDER_MEMORY;
extern const plat::Message MSG_WRITE_OUTPUT_FAILED;
extern const plat::Message MSG_SORTING_PRIMARY;
extern const plat::Message MSG_SORTING_SECONDARY;
extern const plat::Message MSG_PRIMARY_STATISTICS;
extern const plat::Message MSG_MERGE_STATISTICS;

// Prints a message on standard error.
void report(plat::Message message, ...);
// Prints a failure message and records its exit code, unless an earlier
// failure was recorded. Returns false, for "return fail(...)".
bool fail(int level, plat::Message message, ...);

// The keyboard, polled at most about once a second (every call when
// every_call is set): true when ESC was typed, after "Canceled!" and exit
// code 3 were recorded. Other keys are read and dropped.
bool escape_typed(bool every_call = false);

// Progress marks: ">" on standard error until `marks_shown` reaches 79
// times done / total.
struct ProgressBar {
    std::int64_t marks_shown = 0;
    void advance(std::uint64_t done, std::uint64_t total);
};

// Starts thread on function(arguments...); false when the system gives no
// thread (no exception leaves).
template <typename Function, typename... Arguments>
bool start_thread(std::thread& thread, Function&& function, Arguments&&... arguments) {
    try {
        thread = std::thread(std::forward<Function>(function), std::forward<Arguments>(arguments)...);
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

// The whole program; returns its exit code.
int tolven_main(int argc, char** argv);

}  // namespace tolven

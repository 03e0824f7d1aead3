// Buffered writer for a standard stream. Text goes through text() (line
// feeds become the system's text line end) or through reserve()/commit()
// for formatters that build output in place. A failed write is remembered:
// nothing more is written, and the program reports it at exit.
#pragma once
#include <cstdarg>
#include <cstddef>
#include <memory>
#include <string_view>

#include "message.h"

// Lets the compiler check a printf-style call's arguments against its
// format (GCC names the C99 checks gnu_printf, MinGW's printf being the
// system's older one).
#if defined(__GNUC__) && !defined(__clang__)
#define PLAT_PRINTF_FORMAT(format_index, first_index) __attribute__((format(gnu_printf, format_index, first_index)))
#elif defined(__clang__)
#define PLAT_PRINTF_FORMAT(format_index, first_index) __attribute__((format(printf, format_index, first_index)))
#else
#define PLAT_PRINTF_FORMAT(format_index, first_index)
#endif

namespace plat {

class Output {
public:
    explicit Output(int stream, std::size_t capacity = 1 << 18);

    // Appends bytes unchanged.
    void binary(const void* data, std::size_t size);
    // Appends text, line feeds translated.
    void text(std::string_view text);
    // Formats a message in the current language and appends it as text.
    void print(Message message, ...);
    void vprint(const Message& message, std::va_list args);
    // Formats a plain (language-neutral) format string and appends it as text.
    void printf(const char* format, ...) PLAT_PRINTF_FORMAT(2, 3);

    // Room for at least size bytes at the end of the buffer; commit() then
    // keeps the used part.
    char* reserve(std::size_t size);
    void commit(std::size_t used);

    // From now on, where the stream is a terminal, every control character
    // of a "%s" argument of print() and printf() and of name() shows as
    // "?" (as ls shows names), so that no file name can move the cursor or
    // change the colours; files and pipes get the bytes as they are. For a
    // program whose "%s" arguments are names.
    void mask_names() { masking_names_ = terminal_; }
    bool masking_names() const { return masking_names_; }
    // Appends a name (or a text built around one) as text.
    void name(std::string_view name);

    // Writes the buffer out; false once any write has failed.
    bool flush();
    bool failed() const { return failed_; }
    bool broken_pipe() const { return broken_pipe_; }
    std::size_t capacity() const { return capacity_; }

private:
    void vformat_text(const char* format, std::va_list args);

    int stream_;
    // A terminal gets each line as soon as it is complete.
    bool terminal_;
    bool masking_names_ = false;
    std::size_t capacity_;
    std::unique_ptr<char[]> buffer_;
    std::size_t length_ = 0;
    bool failed_ = false;
    bool broken_pipe_ = false;
};

// The process's standard output and standard error.
Output& std_out();
Output& std_err();

// For a program whose output is text only, messages and names (kesto): where
// names are UTF-8 (names_in_utf8), its messages stay in UTF-8 as well and
// both standard streams convert all their text as they write it
// (write_text_stream), so that every name reaches the screen that the
// console can show. Elsewhere nothing changes. Call it before any output.
void keep_text_in_utf8();
bool text_kept_in_utf8();

// The message of a standard output that lost data.
extern const Message MSG_STDOUT_FAILED;

// Ends a program's output: writes out what standard output holds, then
// flushes standard error. False when standard output lost data (output
// that did not arrive is a failure, never a success); lost_message then
// goes to standard error, unless the reader went away (a closed pipe).
bool finish_standard_output(const Message& lost_message = MSG_STDOUT_FAILED);

}  // namespace plat

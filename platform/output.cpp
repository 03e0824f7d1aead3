#include "output.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "console.h"
#include "text.h"

namespace plat {
namespace {

bool text_in_utf8 = false;

// Writes the bytes of the stream's buffer out.
bool write_out(int stream, const char* bytes, std::size_t size) {
    return text_in_utf8 ? write_text_stream(stream, bytes, size) : write_stream(stream, bytes, size);
}

}  // namespace

void keep_text_in_utf8() { text_in_utf8 = names_in_utf8(); }

bool text_kept_in_utf8() { return text_in_utf8; }

Output::Output(int stream, std::size_t capacity)
    : stream_(stream), terminal_(stream_is_console(stream)), capacity_(capacity), buffer_(new char[capacity]) {}

void Output::commit(std::size_t used) {
    const char* added = buffer_.get() + length_;
    length_ += used;
    if (terminal_ && std::memchr(added, '\n', used)) flush();
}

char* Output::reserve(std::size_t size) {
    if (length_ + size > capacity_) {
        flush();
        if (size > capacity_) {
            std::unique_ptr<char[]> larger(new char[size]);
            buffer_.swap(larger);
            capacity_ = size;
        }
    }
    return buffer_.get() + length_;
}

void Output::binary(const void* data, std::size_t size) {
    const char* bytes = static_cast<const char*>(data);
    if (length_ + size > capacity_) {
        flush();
        if (size >= capacity_) {
            // Large blocks go straight out instead of through the buffer.
            if (!failed_ && !write_out(stream_, bytes, size)) {
                failed_ = true;
                broken_pipe_ = stream_broken_pipe();
            }
            return;
        }
    }
    std::memcpy(buffer_.get() + length_, bytes, size);
    length_ += size;
    if (terminal_ && std::memchr(bytes, '\n', size)) flush();
}

void Output::text(std::string_view text) {
    std::string_view line_end = text_line_end();
    if (line_end == "\n") {
        binary(text.data(), text.size());
        return;
    }
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t lf = text.find('\n', start);
        if (lf == std::string_view::npos) {
            binary(text.data() + start, text.size() - start);
            break;
        }
        binary(text.data() + start, lf - start);
        binary(line_end.data(), line_end.size());
        start = lf + 1;
    }
}

void Output::name(std::string_view name) {
    if (!masking_names_) {
        text(name);
        return;
    }
    std::string shown(name);
    mask_control_characters(shown.data(), shown.data() + shown.size());
    text(shown);
}

void Output::vformat_text(const char* format, std::va_list args) {
    // Numbered conversions are formatted here, the same on every system.
    if (masking_names_ || std::strchr(format, '$')) {
        text(format_text(format, args, masking_names_));
        return;
    }
    char small[512];
    std::va_list copy;
    va_copy(copy, args);
    int needed = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (needed < 0) return;
    if (static_cast<std::size_t>(needed) < sizeof small) {
        text(std::string_view(small, static_cast<std::size_t>(needed)));
        return;
    }
    std::string large(static_cast<std::size_t>(needed) + 1, '\0');
    std::vsnprintf(large.data(), large.size(), format, args);
    large.resize(static_cast<std::size_t>(needed));
    text(large);
}

void Output::vprint(const Message& message, std::va_list args) {
    std::string format = message_text(message);
    vformat_text(format.c_str(), args);
}

void Output::print(Message message, ...) {
    std::va_list args;
    va_start(args, message);
    vprint(message, args);
    va_end(args);
}

void Output::printf(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    vformat_text(format, args);
    va_end(args);
}

bool Output::flush() {
    if (length_ > 0 && !failed_ && !write_out(stream_, buffer_.get(), length_)) {
        failed_ = true;
        broken_pipe_ = stream_broken_pipe();
    }
    length_ = 0;
    return !failed_;
}

Output& std_out() {
    // On a terminal a small buffer keeps the screen close to what the
    // program has done, so a key stops the output where the user sees it.
    static Output out(1, stream_is_console(1) ? 4096 : 1 << 18);
    return out;
}

Output& std_err() {
    static Output err(2, 4096);
    return err;
}

const Message MSG_STDOUT_FAILED = {"Write standard output failed!\n", "標準出力に書き込めません!\n"};

bool finish_standard_output(const Message& lost_message) {
    Output& out = std_out();
    const bool delivered = out.flush();
    if (!delivered && !out.broken_pipe()) std_err().print(lost_message);
    std_err().flush();
    return delivered;
}

}  // namespace plat

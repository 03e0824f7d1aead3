#include "kesto/progress.h"

#include <cstdio>
#include <cstring>

#include "platform/console.h"
#include "platform/output.h"
#include "platform/time.h"

namespace kesto {
namespace {

// At most two progress reports a second.
constexpr std::uint64_t REPORT_INTERVAL_MS = 500;

plat::Output& stream_output(int stream) { return stream == 2 ? plat::std_err() : plat::std_out(); }

}  // namespace

int read_percent(std::uint64_t total, std::uint64_t remaining) {
    if (total == 0) return 100;
    // 128 bits: 100 times a size of more than 2^57 bytes would not fit in 64.
    return static_cast<int>(static_cast<unsigned __int128>(total - remaining) * 100 / total);
}

int kilobytes_per_second(std::uint64_t bytes, std::uint64_t milliseconds) {
    using Wide = unsigned __int128;  // bytes x 1000 may not fit in 64 bits
    constexpr Wide INT_LIMIT = 0x7FFFFFFF;
    Wide speed = Wide{bytes} * 1000 / (Wide{milliseconds ? milliseconds : 1} * 1024);
    return static_cast<int>(speed < INT_LIMIT ? speed : INT_LIMIT);
}

char* format_progress(char* out, int percent, int speed, std::size_t cover) {
    const auto length = static_cast<std::size_t>(std::snprintf(out, PROGRESS_MAX, "(%3d%%,%5dKB/sec)", percent, speed));
    const std::size_t blanks = cover > length && cover < PROGRESS_MAX ? cover - length : 0;
    std::memset(out + length, ' ', blanks);
    return out + length + blanks;
}

ProgressReport::ProgressReport(int stream, std::uint64_t total)
    : stream_(stream),
      total_(total),
      start_(plat::tick_count_ms()),
      last_time_(start_),
      last_remaining_(total),
      visible_(false) {}

void ProgressReport::update(std::uint64_t remaining) {
    const std::uint64_t now = plat::tick_count_ms();
    if (now - last_time_ <= REPORT_INTERVAL_MS) return;
    const int percent = read_percent(total_, remaining);
    const int speed = kilobytes_per_second(last_remaining_ - remaining, now - last_time_);
    // Asked at the first report only: most transfers are over before one.
    if (!shown_) visible_ = plat::stream_is_console(stream_);
    if (visible_) {
        plat::Output& out = stream_output(stream_);
        if (!shown_ && !heading_.empty()) out.name(heading_);
        char text[PROGRESS_MAX];
        const auto length = static_cast<std::size_t>(format_progress(text, percent, speed, 0) - text);
        const auto covered = static_cast<std::size_t>(format_progress(text, percent, speed, drawn_) - text);
        out.binary(text, covered);
        plat::move_cursor_back(stream_, static_cast<int>(covered));
        out.flush();
        drawn_ = length;
    }
    shown_ = true;
    last_time_ = now;
    last_remaining_ = remaining;
}

void ProgressReport::grow(std::uint64_t bytes) {
    total_ += bytes;
    last_remaining_ += bytes;
}

int ProgressReport::whole_speed() const { return shown_ ? kilobytes_per_second(total_, last_time_ - start_) : -1; }

void ProgressReport::erase() {
    if (!shown_ || !visible_) return;
    plat::erase_line(stream_);
    stream_output(stream_).flush();
}

void ProgressReport::print_done(const char* trailing) {
    plat::Output& out = stream_output(stream_);
    if (!shown_) {
        out.printf("(100%%,-----KB/sec)%s", trailing);
        return;
    }
    // "(100%,%5dKB/sec)"; over a longer report blanks cover its rest, and the
    // cursor comes back to the end of this one.
    char text[PROGRESS_MAX];
    const int speed = whole_speed();
    const auto length = static_cast<std::size_t>(format_progress(text, 100, speed, 0) - text);
    const auto covered = static_cast<std::size_t>(format_progress(text, 100, speed, visible_ ? drawn_ : 0) - text);
    out.binary(text, covered);
    plat::move_cursor_back(stream_, static_cast<int>(covered - length));
    out.text(trailing);
}

}  // namespace kesto

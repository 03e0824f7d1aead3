// The progress report of a file transfer (CRC read, copy, compare): percent
// done and speed, at most two reports a second, each drawn over the one
// before it on a console stream.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace kesto {

// Share of a file read, in percent; an empty file, read in its one pass of
// 0 bytes, is at 100.
int read_percent(std::uint64_t total, std::uint64_t remaining);
// Read speed in KB (1024 bytes) per second; 0 ms counts as 1 ms, and speeds
// beyond the int range are capped.
int kilobytes_per_second(std::uint64_t bytes, std::uint64_t milliseconds);
// "(%3d%%,%5dKB/sec)": 18 characters, more when the speed has more than five
// digits; the cursor goes back by the length written, not by a fixed count.
// Blanks follow up to cover, the length of the report drawn before, so that
// no character of a longer one is left standing.
constexpr std::size_t PROGRESS_MAX = 32;
char* format_progress(char* out, int percent, int speed, std::size_t cover);

// One transfer of total bytes, reported on standard output (stream 1) or
// standard error (2). Reports are timed whatever the stream is, but drawn
// only where it is a console: elsewhere the cursor cannot go back, and the
// reports would pile up in the file.
class ProgressReport {
public:
    ProgressReport(int stream, std::uint64_t total);

    // Text drawn once, before the first report (the CRC run's label and path).
    void set_heading(std::string heading) { heading_ = std::move(heading); }
    // After a block: a report when more than 500 ms passed since the last
    // one (or the start).
    void update(std::uint64_t remaining);
    // The file grew by bytes while it was copied: they count in the total
    // and in the speed of the next report.
    void grow(std::uint64_t bytes);
    // Speed of the whole transfer up to the last report, -1 when none was made.
    int whole_speed() const;
    // Blanks the report line (the CRC run leaves no trace on standard error).
    void erase();
    // The final report "(100%,%5dKB/sec)", or "(100%,-----KB/sec)" when no
    // report was made, then trailing; always written, it is part of the line.
    void print_done(const char* trailing);

private:
    int stream_;
    std::uint64_t total_;
    std::uint64_t start_;
    std::uint64_t last_time_;
    std::uint64_t last_remaining_;
    bool visible_;
    bool shown_ = false;
    std::size_t drawn_ = 0;  // length of the report on the screen
    std::string heading_;
};

}  // namespace kesto

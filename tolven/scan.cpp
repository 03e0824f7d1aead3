#include "tolven/scan.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/output.h"
#include "tolven/tolven.h"

namespace tolven {
namespace {

// Adds the current line: bytes in all, of which the last line_end bytes are
// its line end.
bool record_line(ScanState& scan, std::int64_t bytes, std::int64_t line_end, MovableArray& index) {
    LineEntry entry{scan.offset, bytes - line_end};
    scan.offset += bytes;
    scan.line_length = 0;
    scan.pending_cr = 0;
    scan.max_line = std::max(scan.max_line, entry.length);
    return index.append(&entry);
}

// Text rarely holds NUL bytes: counting them costs about one memchr() a
// piece of input.
std::uint64_t count_nuls(const unsigned char* data, std::size_t size) {
    std::uint64_t count = 0;
    const unsigned char* end = data + size;
    for (const unsigned char* p = data;
         (p = static_cast<const unsigned char*>(std::memchr(p, 0, static_cast<std::size_t>(end - p)))); ++p)
        ++count;
    return count;
}

// Pieces of input in flight between the read and the spool file.
constexpr std::uint64_t SPOOL_PIECES = 4;

// Copies standard input to the spool file on a thread of its own, while
// this one reads and scans the next pieces: writing a large file costs about
// as much as reading and scanning it. Piece k is read into buffer
// k % SPOOL_PIECES of the ring, which is free again once piece
// k - SPOOL_PIECES is written. Without a thread (the system gives none) each
// piece is written as it is queued.
class SpoolWriter {
public:
    SpoolWriter(plat::File& spool, unsigned char* ring) : spool_(spool), ring_(ring) {}
    ~SpoolWriter() { finish(); }
    SpoolWriter(const SpoolWriter&) = delete;
    SpoolWriter& operator=(const SpoolWriter&) = delete;

    void start() {
        try {
            thread_ = std::thread(&SpoolWriter::run, this);
        } catch (const std::system_error&) {}
    }
    // The buffer for the next piece, once it is free; null after a failed
    // write.
    unsigned char* next_buffer() {
        std::unique_lock<std::mutex> hold(mutex_);
        changed_.wait(hold, [&] { return failed_ || written_ + SPOOL_PIECES > queued_; });
        return failed_ ? nullptr : buffer(queued_);
    }
    // Queues the piece just read into the buffer of next_buffer().
    void write(std::size_t size) {
        std::unique_lock<std::mutex> hold(mutex_);
        sizes_[queued_ % SPOOL_PIECES] = size;
        ++queued_;
        if (thread_.joinable()) {
            changed_.notify_all();
            return;
        }
        write_piece(hold);
    }
    // Waits until every queued piece is written; false when a write failed.
    bool finish() {
        {
            std::lock_guard<std::mutex> hold(mutex_);
            ending_ = true;
            changed_.notify_all();
        }
        if (thread_.joinable()) thread_.join();
        return !failed_;
    }

private:
    unsigned char* buffer(std::uint64_t piece) const { return ring_ + (piece % SPOOL_PIECES) * SCAN_READ_SIZE; }
    // Writes the oldest piece not yet written, without the lock meanwhile.
    void write_piece(std::unique_lock<std::mutex>& hold) {
        const std::uint64_t piece = written_;
        const std::size_t size = sizes_[piece % SPOOL_PIECES];
        hold.unlock();
        const bool whole = spool_.write(buffer(piece), size) == static_cast<std::int64_t>(size);
        hold.lock();
        failed_ = failed_ || !whole;
        ++written_;
        changed_.notify_all();
    }
    void run() {
        std::unique_lock<std::mutex> hold(mutex_);
        for (;;) {
            changed_.wait(hold, [&] { return ending_ || queued_ > written_; });
            if (failed_ || queued_ == written_) return;
            write_piece(hold);
        }
    }

    plat::File& spool_;
    unsigned char* ring_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t sizes_[SPOOL_PIECES] = {};
    std::uint64_t queued_ = 0, written_ = 0;
    bool failed_ = false, ending_ = false;
};

}  // namespace

bool scan_bytes(ScanState& scan, const unsigned char* data, std::size_t size, MovableArray& index) {
    scan.null_count += count_nuls(data, size);
    const unsigned char* p = data;
    const unsigned char* end = data + size;
    while (p < end) {
        const auto* lf = static_cast<const unsigned char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
        const unsigned char* stop = lf ? lf : end;
        const unsigned char* crs = stop;
        while (crs > p && crs[-1] == '\r') --crs;
        // CR bytes right before the stop; when they reach back to where this
        // piece of the line began, they join those of the earlier pieces.
        std::int64_t cr_run = (stop - crs) + (crs == p ? scan.pending_cr : 0);
        if (!lf) {
            scan.line_length += end - p;
            scan.pending_cr = cr_run;
            return true;
        }
        if (!record_line(scan, scan.line_length + (lf + 1 - p), cr_run + 1, index)) return false;
        p = lf + 1;
    }
    return true;
}

bool finish_scan(ScanState& scan, MovableArray& index) {
    if (scan.line_length == 0) return true;
    return record_line(scan, scan.line_length, scan.pending_cr, index);
}

void scan_input(plat::File& input_stream, plat::File& spool_descriptor, std::int64_t input_length,
                MovableArray& index) {
    std::unique_ptr<unsigned char[]> ring = rangekit::allocate_buffer(SPOOL_PIECES * SCAN_READ_SIZE);
    if (!ring) {
        fail(EXIT_NO_MEMORY, rangekit::MSG_OUT_OF_MEMORY);
        return;
    }
    if (state.show_progress) report(MSG_SCANNING, plat::message_text(*state.input_kind).c_str());
    const bool spooling = spool_descriptor.is_open();
    SpoolWriter spool(spool_descriptor, ring.get());
    if (spooling) spool.start();
    ScanState scan;
    ProgressBar progress;
    bool read_failed = false, index_full = false;
    for (;;) {
        unsigned char* buffer = spool.next_buffer();
        if (!buffer) break;  // the spool file is short: reported below
        std::int64_t got = input_stream.read(buffer, SCAN_READ_SIZE);
        if (got <= 0) {
            read_failed = got < 0;
            break;
        }
        auto size = static_cast<std::size_t>(got);
        if (spooling) spool.write(size);
        if (!scan_bytes(scan, buffer, size, index)) {
            index_full = true;
            break;
        }
        if (state.show_progress && input_length > 0)
            progress.advance(static_cast<std::uint64_t>(scan.offset), static_cast<std::uint64_t>(input_length));
        if (escape_typed()) break;
    }
    // A write to the spool file failed before whatever else ended the scan.
    if (!spool.finish()) fail(EXIT_FILE_ACCESS, MSG_WRITE_TEMPORARY_FAILED);
    if (index_full) fail(EXIT_MEMORY_OPERATION, MSG_INDEX_GROW_FAILED);
    if (state.error_level == EXIT_NO_ERROR && !read_failed && !finish_scan(scan, index))
        fail(EXIT_MEMORY_OPERATION, MSG_INDEX_GROW_FAILED);
    index.shrink_to_fit();
    state.null_count = scan.null_count;
    if (state.error_level != EXIT_NO_ERROR) return;
    std::string kind = plat::message_text(*state.input_kind);
    if (read_failed) {
        fail(EXIT_FILE_ACCESS, MSG_READ_INPUT_FAILED, kind.c_str());
        return;
    }
    if (state.show_progress) {
        report(MSG_LINE_END);
        report(MSG_SCAN_STATISTICS, static_cast<long long>(index.count), static_cast<long long>(scan.max_line),
               static_cast<unsigned long long>(index.allocated_bytes));
    }
    if (scan.null_count != 0) report(MSG_NULL_WARNING, kind.c_str(), static_cast<unsigned long long>(scan.null_count));
}

}  // namespace tolven

#include "tolven/scan.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// The input is looked at 64 bytes at a time: a bit per byte marks each line
// feed and each NUL, so that a line costs a few instructions however long
// it is, and the NUL count needs no pass of its own.
constexpr std::size_t MARK_BYTES = 64;

struct ByteMarks {
    std::uint64_t line_feeds;
    std::uint64_t nuls;
};

// The marks of the MARK_BYTES bytes at p.
ByteMarks mark_bytes(const unsigned char* p) {
    ByteMarks marks{0, 0};
#if defined(__SSE2__)
    const __m128i line_feed = _mm_set1_epi8('\n'), nul = _mm_setzero_si128();
    for (std::size_t i = 0; i < MARK_BYTES; i += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        marks.line_feeds |= std::uint64_t(static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, line_feed))))
                            << i;
        marks.nuls |= std::uint64_t(static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, nul)))) << i;
    }
#else
    for (std::size_t i = 0; i < MARK_BYTES; ++i) {
        marks.line_feeds |= std::uint64_t(p[i] == '\n') << i;
        marks.nuls |= std::uint64_t(p[i] == 0) << i;
    }
#endif
    return marks;
}

// CR bytes right before stop; when they reach back to line, where this
// piece of the current line began, they join those of the earlier pieces.
std::int64_t carriage_returns(const ScanState& scan, const unsigned char* line, const unsigned char* stop) {
    const unsigned char* crs = stop;
    while (crs > line && crs[-1] == '\r') --crs;
    return (stop - crs) + (crs == line ? scan.pending_cr : 0);
}

// The lines of the pieces of input, in order, added to the index by
// whichever thread scans them; the other one reads how far it has come.
struct LineScan {
    explicit LineScan(MovableArray& index) : index(index) {}

    // False when the index cannot grow.
    bool take(const unsigned char* data, std::size_t size) {
        if (!scan_bytes(scan, data, size, index)) return false;
        scanned.store(scan.offset, std::memory_order_relaxed);
        return true;
    }

    MovableArray& index;
    ScanState scan;
    std::atomic<std::int64_t> scanned{0};  // scan.offset, for the progress marks
};

// Pieces of input in flight between the two threads of the scan.
constexpr std::uint64_t RING_PIECES = 4;

// The input goes through a ring of RING_PIECES buffers between this thread
// and a helper thread, so that the work on the file overlaps the scan:
// - a regular file is read ahead by the helper, and scanned here;
// - standard input (or any input read only once) is read here, and the
//   helper scans each piece and copies it to the spool file while the next
//   is read: reading a pipe and writing a large file each cost about as
//   much as the scan. The helper never reads such an input, as a read that
//   waits for a writer could not be ended.
// Piece k lives in buffer k % RING_PIECES, which is free again once piece
// k - RING_PIECES is scanned (and written, when spooled).
class InputRing {
public:
    InputRing(plat::File& input, plat::File& spool, unsigned char* buffers, LineScan& lines)
        : input_(input), spool_(spool), buffers_(buffers), lines_(lines), read_ahead_(!spool.is_open()) {}
    ~InputRing() { finish(); }
    InputRing(const InputRing&) = delete;
    InputRing& operator=(const InputRing&) = delete;

    // False when the system gives no thread.
    bool start() { return start_thread(helper_, &InputRing::run, this); }
    // This thread's share of the next piece: scans it (read ahead) or reads
    // it (spooled). False at the end of the input, after a failed read
    // (read_failed()), a failed write (finish()) or a full index
    // (index_full()).
    bool step() {
        std::unique_lock<std::mutex> hold(mutex_);
        if (!read_ahead_) {
            changed_.wait(hold, [&] { return stopped() || read_ < used_ + RING_PIECES; });
            return !stopped() && read_piece(hold);
        }
        changed_.wait(hold, [&] { return used_ < read_ || input_ended_; });
        return used_ < read_ && use_piece(hold, false);
    }
    // Ends the helper, once every piece read is scanned and in the spool
    // file; false when a write failed.
    bool finish() {
        {
            std::lock_guard<std::mutex> hold(mutex_);
            ending_ = true;
            changed_.notify_all();
        }
        if (helper_.joinable()) helper_.join();
        return !write_failed_;
    }
    // After finish().
    bool read_failed() const { return read_failed_; }
    bool index_full() const { return index_full_; }

private:
    unsigned char* buffer(std::uint64_t piece) const { return buffers_ + (piece % RING_PIECES) * SCAN_READ_SIZE; }
    bool stopped() const { return write_failed_ || index_full_; }
    // Reads the next piece, without the lock meanwhile; false at the end of
    // the input.
    bool read_piece(std::unique_lock<std::mutex>& hold) {
        const std::uint64_t piece = read_;
        hold.unlock();
        const std::int64_t got = input_.read(buffer(piece), SCAN_READ_SIZE);
        hold.lock();
        changed_.notify_all();
        if (got <= 0) {
            read_failed_ = got < 0;
            input_ended_ = true;
            return false;
        }
        sizes_[piece % RING_PIECES] = static_cast<std::size_t>(got);
        ++read_;
        return true;
    }
    // Scans the oldest piece not yet scanned, and writes it to the spool
    // file when spooling, without the lock meanwhile; false when either
    // fails.
    bool use_piece(std::unique_lock<std::mutex>& hold, bool spooling) {
        const std::uint64_t piece = used_;
        const std::size_t size = sizes_[piece % RING_PIECES];
        hold.unlock();
        const bool scanned = lines_.take(buffer(piece), size);
        const bool whole =
            !scanned || !spooling || spool_.write(buffer(piece), size) == static_cast<std::int64_t>(size);
        hold.lock();
        index_full_ = !scanned;
        write_failed_ = !whole;
        ++used_;
        changed_.notify_all();
        return !stopped();
    }
    void run() {
        std::unique_lock<std::mutex> hold(mutex_);
        for (;;) {
            if (read_ahead_) {
                changed_.wait(hold, [&] { return ending_ || read_ < used_ + RING_PIECES; });
                if (ending_ || !read_piece(hold)) return;
            } else {
                changed_.wait(hold, [&] { return ending_ || used_ < read_; });
                if (used_ == read_ || !use_piece(hold, true)) return;
            }
        }
    }

    plat::File& input_;
    plat::File& spool_;
    unsigned char* buffers_;
    LineScan& lines_;
    const bool read_ahead_;
    std::thread helper_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t sizes_[RING_PIECES] = {};
    std::uint64_t read_ = 0;  // pieces read
    std::uint64_t used_ = 0;  // pieces scanned (and written, when spooled)
    bool input_ended_ = false, read_failed_ = false, write_failed_ = false, index_full_ = false, ending_ = false;
};

}  // namespace

bool scan_bytes(ScanState& scan, const unsigned char* data, std::size_t size, MovableArray& index) {
    const unsigned char* line = data;  // where the current line's bytes in this piece begin
    for (std::size_t at = 0; at < size; at += MARK_BYTES) {
        const unsigned char* block = data + at;
        ByteMarks marks;
        if (size - at >= MARK_BYTES) {
            marks = mark_bytes(block);
        } else {
            // The last bytes of the piece, marked in a copy: nothing beyond
            // the piece is read.
            unsigned char tail[MARK_BYTES];
            const std::size_t rest = size - at;
            std::memcpy(tail, block, rest);
            std::memset(tail + rest, 'x', MARK_BYTES - rest);
            marks = mark_bytes(tail);
        }
        if (marks.nuls != 0) scan.null_count += static_cast<std::uint64_t>(__builtin_popcountll(marks.nuls));
        for (std::uint64_t line_feeds = marks.line_feeds; line_feeds != 0; line_feeds &= line_feeds - 1) {
            const unsigned char* lf = block + __builtin_ctzll(line_feeds);
            const std::int64_t line_end = carriage_returns(scan, line, lf) + 1;
            if (!record_line(scan, scan.line_length + (lf + 1 - line), line_end, index)) return false;
            line = lf + 1;
        }
    }
    const unsigned char* end = data + size;
    scan.pending_cr = carriage_returns(scan, line, end);
    scan.line_length += end - line;
    return true;
}

bool finish_scan(ScanState& scan, MovableArray& index) {
    if (scan.line_length == 0) return true;
    return record_line(scan, scan.line_length, scan.pending_cr, index);
}

void scan_input(plat::File& input_stream, plat::File& spool_descriptor, std::int64_t input_length,
                MovableArray& index) {
    std::unique_ptr<unsigned char[]> buffers = rangekit::allocate_buffer(RING_PIECES * SCAN_READ_SIZE);
    LineScan lines(index);
    InputRing ring(input_stream, spool_descriptor, buffers.get(), lines);
    if (!buffers || !ring.start()) {
        fail(EXIT_NO_MEMORY, rangekit::MSG_OUT_OF_MEMORY);
        return;
    }
    if (state.show_progress) report(MSG_SCANNING, plat::message_text(*state.input_kind).c_str());
    ProgressBar progress;
    auto show_progress = [&] {
        if (state.show_progress && input_length > 0)
            progress.advance(static_cast<std::uint64_t>(lines.scanned.load(std::memory_order_relaxed)),
                             static_cast<std::uint64_t>(input_length));
    };
    while (ring.step()) {
        show_progress();
        if (escape_typed()) break;
    }
    // A write to the spool file failed before whatever else ended the scan.
    if (!ring.finish()) fail(EXIT_FILE_ACCESS, MSG_WRITE_TEMPORARY_FAILED);
    if (ring.index_full()) fail(EXIT_MEMORY_OPERATION, MSG_INDEX_GROW_FAILED);
    // The marks of the pieces the helper scanned last; none after a failure
    // message.
    if (state.error_level == EXIT_NO_ERROR) show_progress();
    ScanState& scan = lines.scan;
    const bool read_failed = ring.read_failed();
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

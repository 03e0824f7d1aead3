#include "tolven/scan.h"

#include <algorithm>
#include <cstring>
#include <memory>

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
    std::unique_ptr<unsigned char[]> buffer = rangekit::allocate_buffer(SCAN_READ_SIZE);
    if (!buffer) {
        fail(EXIT_NO_MEMORY, rangekit::MSG_OUT_OF_MEMORY);
        return;
    }
    if (state.show_progress) report(MSG_SCANNING, plat::message_text(*state.input_kind).c_str());
    ScanState scan;
    ProgressBar progress;
    bool read_failed = false;
    for (;;) {
        std::int64_t got = input_stream.read(buffer.get(), SCAN_READ_SIZE);
        if (got <= 0) {
            read_failed = got < 0;
            break;
        }
        auto size = static_cast<std::size_t>(got);
        if (spool_descriptor.is_open() && spool_descriptor.write(buffer.get(), size) != got) {
            fail(EXIT_FILE_ACCESS, MSG_WRITE_TEMPORARY_FAILED);
            break;
        }
        if (!scan_bytes(scan, buffer.get(), size, index)) {
            fail(EXIT_MEMORY_OPERATION, MSG_INDEX_GROW_FAILED);
            break;
        }
        if (state.show_progress && input_length > 0)
            progress.advance(static_cast<std::uint64_t>(scan.offset), static_cast<std::uint64_t>(input_length));
        if (escape_typed()) break;
    }
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

// Fuzz target for tolven's scan. The first two bytes choose how the rest is
// cut into pieces (as reads of any size would deliver it) and how fast the
// index grows; the rest is the input text.
//
// Besides crashes and sanitizer reports it checks the scan against a plain
// reference splitter: lines end at LF (or at the end of the input), a line's
// content is what precedes the run of CR and LF bytes that ends it, and
// every NUL byte is counted. Then, for two of the lines, that the quick key
// prefix never contradicts the full comparison, with and without double-byte
// characters.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "tolven/block_sort.h"
#include "tolven/movable_array.h"
#include "tolven/scan.h"
#include "tolven/tolven.h"

namespace {

struct Line {
    std::int64_t offset, length;
    bool operator==(const Line& other) const { return offset == other.offset && length == other.length; }
};

std::vector<Line> reference_split(const unsigned char* data, std::size_t size) {
    std::vector<Line> lines;
    std::size_t start = 0;
    while (start < size) {
        std::size_t end = start;
        while (end < size && data[end] != '\n') ++end;
        std::size_t next = end < size ? end + 1 : end;  // past the LF
        std::size_t content = end;
        while (content > start && data[content - 1] == '\r') --content;
        lines.push_back({static_cast<std::int64_t>(start), static_cast<std::int64_t>(content - start)});
        start = next;
    }
    return lines;
}

int sign(int value) { return (value > 0) - (value < 0); }

// The prefix of two lines, where it differs, orders them as the full rule.
void check_prefix(const std::string& x, const std::string& y, int case_mode, int start, int end) {
    tolven::state.case_mode = case_mode;
    tolven::state.sort_start_column = start;
    tolven::state.sort_end_column = end;
    auto text = [](const std::string& s) { return reinterpret_cast<const unsigned char*>(s.c_str()); };
    auto lx = static_cast<std::int64_t>(x.size()), ly = static_cast<std::int64_t>(y.size());
    std::uint64_t px = tolven::key_prefix(text(x), lx), py = tolven::key_prefix(text(y), ly);
    if (px == py) return;
    bool x_long = lx > start, y_long = ly > start;
    int full = x_long && y_long ? sign(tolven::compare_key(text(x) + start, text(y) + start, end - start))
                                : (x_long > y_long) - (x_long < y_long);
    if ((px < py ? -1 : 1) != full) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::size_t piece = 1 + data[0] % 64;
    const std::size_t growth = 1 + data[1] % 8;
    const unsigned char* text = data + 2;
    const std::size_t length = size - 2;

    tolven::MovableArray index(sizeof(tolven::LineEntry), growth);
    tolven::ScanState scan;
    for (std::size_t at = 0; at < length; at += piece)
        if (!tolven::scan_bytes(scan, text + at, std::min(piece, length - at), index)) std::abort();
    if (!tolven::finish_scan(scan, index)) std::abort();

    const std::vector<Line> expected = reference_split(text, length);
    const auto* entries = static_cast<const tolven::LineEntry*>(index.lock());
    if (index.count != expected.size()) std::abort();
    std::int64_t longest = 0;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (!(Line{entries[i].offset, entries[i].length} == expected[i])) std::abort();
        longest = std::max(longest, expected[i].length);
    }
    index.unlock();
    std::uint64_t nuls = 0;
    for (std::size_t i = 0; i < length; ++i) nuls += text[i] == 0;
    if (scan.null_count != nuls || scan.max_line != longest) std::abort();

    if (expected.size() >= 2) {
        const unsigned char* base = text;
        std::string x(reinterpret_cast<const char*>(base + expected[0].offset),
                      static_cast<std::size_t>(expected[0].length));
        std::string y(reinterpret_cast<const char*>(base + expected[1].offset),
                      static_cast<std::size_t>(expected[1].length));
        for (bool double_byte : {true, false}) {
            tolven::state.double_byte = double_byte;
            for (int case_mode = 0; case_mode < 3; ++case_mode) {
                check_prefix(x, y, case_mode, 0, 0x7FFFFFFF);
                check_prefix(x, y, case_mode, data[0] % 4, data[0] % 4 + data[1] % 10);
            }
        }
    }
    return 0;
}

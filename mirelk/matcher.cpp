#include "mirelk/matcher.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace mirelk {
namespace {

// How often a byte value turns up in typical files, in rough classes
// (higher: more often). memchr runs fastest on the rarest byte of the
// pattern, since each hit costs a comparison.
int commonness(unsigned char byte) {
    if (byte == 0x00) return 4;
    if (byte == 0xFF || byte == ' ') return 3;
    if ((byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') || byte == '\n' || byte == '\r') return 2;
    if (byte >= 0x21 && byte <= 0x7E) return 1;
    return 0;
}

}  // namespace

Matcher::Matcher(const unsigned char* pattern, std::size_t length) : pattern_(pattern), length_(length), anchor_(0) {
    // The anchor is the rarest byte; among equals, the one the pattern
    // itself repeats least (so "AAAB" looks for the B).
    std::size_t repeats[256] = {};
    for (std::size_t i = 0; i < length; ++i) ++repeats[pattern[i]];
    auto rank = [&](std::size_t i) { return std::make_pair(commonness(pattern[i]), repeats[pattern[i]]); };
    for (std::size_t i = 1; i < length; ++i)
        if (rank(i) < rank(anchor_)) anchor_ = i;
}

std::size_t Matcher::find(const unsigned char* data, std::size_t size) const {
    if (size < length_) return size;
    const unsigned char anchor_byte = pattern_[anchor_];
    // The anchor byte of an occurrence at position p is at p + anchor_; p
    // runs from 0 to size - length_.
    const unsigned char* next = data + anchor_;
    const unsigned char* const stop = data + (size - length_) + anchor_ + 1;
    while (next < stop) {
        const auto* hit =
            static_cast<const unsigned char*>(std::memchr(next, anchor_byte, static_cast<std::size_t>(stop - next)));
        if (!hit) break;
        const unsigned char* candidate = hit - anchor_;
        if (std::memcmp(candidate, pattern_, length_) == 0) return static_cast<std::size_t>(candidate - data);
        next = hit + 1;
    }
    return size;
}

bool scan_range(const Matcher& matcher, unsigned char* buffer, std::size_t block, std::int64_t start,
                std::uint64_t count, ScanReceiver& receiver) {
    const std::size_t length = matcher.length();
    std::size_t held = 0;        // bytes kept at the front of the buffer
    std::int64_t base = start;   // offset of buffer[0]
    std::uint64_t left = count;  // bytes not yet read
    while (left > 0) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(block, left));
        std::size_t got = receiver.read(buffer + held, want);
        if (got == 0) return false;
        left -= got;
        const std::size_t filled = held + got;
        std::size_t released = 0;
        std::size_t from = 0;  // where the search goes on
        for (;;) {
            std::size_t at = from + matcher.find(buffer + from, filled - from);
            if (at == filled) break;
            if (!receiver.occurrence(base + static_cast<std::int64_t>(at), buffer + at)) return false;
            from = at + length;
            if (!receiver.release(buffer + released, from - released)) return false;
            released = from;
        }
        // The last length - 1 bytes may begin an occurrence that the next
        // block completes; they stay, unless the range ends here.
        std::size_t keep = filled;
        if (left > 0) keep = std::max(from, filled - std::min(filled, length - 1));
        if (keep > released && !receiver.release(buffer + released, keep - released)) return false;
        held = filled - keep;
        std::memmove(buffer, buffer + keep, held);
        base += static_cast<std::int64_t>(keep);
        if (!receiver.block_done()) return false;
    }
    return true;
}

}  // namespace mirelk

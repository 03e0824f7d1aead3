#include "mirelk/matcher.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/cpu.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define MIRELK_FIND_VECTOR 1
#endif

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

// The first start position in data[0, size) where the pattern begins, or
// size: each place of the anchor byte found with memchr is a candidate.
std::size_t find_portable(const unsigned char* pattern, std::size_t length, std::size_t anchor,
                          const unsigned char* data, std::size_t size) {
    if (size < length) return size;
    const unsigned char anchor_byte = pattern[anchor];
    // The anchor byte of an occurrence at position p is at p + anchor; p
    // runs from 0 to size - length.
    const unsigned char* next = data + anchor;
    const unsigned char* const stop = data + (size - length) + anchor + 1;
    while (next < stop) {
        const auto* hit =
            static_cast<const unsigned char*>(std::memchr(next, anchor_byte, static_cast<std::size_t>(stop - next)));
        if (!hit) break;
        const unsigned char* candidate = hit - anchor;
        if (std::memcmp(candidate, pattern, length) == 0) return static_cast<std::size_t>(candidate - data);
        next = hit + 1;
    }
    return size;
}

#ifdef MIRELK_FIND_VECTOR

__attribute__((target("avx2"))) inline __m256i load32(const unsigned char* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

// Where among the 32 start positions from p on the anchor byte and the
// partner byte are both in their places.
__attribute__((target("avx2"))) inline __m256i pair_matches(const unsigned char* p, std::size_t anchor,
                                                            std::size_t partner, __m256i anchor_byte,
                                                            __m256i partner_byte) {
    return _mm256_and_si256(_mm256_cmpeq_epi8(load32(p + anchor), anchor_byte),
                            _mm256_cmpeq_epi8(load32(p + partner), partner_byte));
}

// The same over 64 start positions at a time: a candidate has the anchor
// byte and the partner byte in their places. Two bytes far apart in the
// pattern rarely both match by chance, so few candidates reach memcmp.
__attribute__((target("avx2"))) std::size_t find_avx2(const unsigned char* pattern, std::size_t length,
                                                      std::size_t anchor, std::size_t partner,
                                                      const unsigned char* data, std::size_t size) {
    if (size < length) return size;
    const std::size_t starts = size - length + 1;
    const __m256i anchor_byte = _mm256_set1_epi8(static_cast<char>(pattern[anchor]));
    const __m256i partner_byte = _mm256_set1_epi8(static_cast<char>(pattern[partner]));
    std::size_t p = 0;
    // The loads end at most at p + 64 + (length - 1) <= size.
    for (; p + 64 <= starts; p += 64) {
        const __m256i low = pair_matches(data + p, anchor, partner, anchor_byte, partner_byte);
        const __m256i high = pair_matches(data + p + 32, anchor, partner, anchor_byte, partner_byte);
        const __m256i any = _mm256_or_si256(low, high);
        if (_mm256_testz_si256(any, any)) continue;
        std::uint64_t candidates = static_cast<std::uint32_t>(_mm256_movemask_epi8(low)) |
                                   std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(high))} << 32;
        for (; candidates != 0; candidates &= candidates - 1) {
            const std::size_t candidate = p + static_cast<std::size_t>(__builtin_ctzll(candidates));
            if (std::memcmp(data + candidate, pattern, length) == 0) return candidate;
        }
    }
    return p + find_portable(pattern, length, anchor, data + p, size - p);
}

#endif

FindMethod fastest_method() { return plat::cpu_has(plat::CpuFeature::avx2) ? FindMethod::avx2 : FindMethod::portable; }

// Chosen while the program starts.
FindMethod method = fastest_method();

}  // namespace

bool use_find_method(FindMethod candidate) {
    if (candidate == FindMethod::avx2 && fastest_method() != FindMethod::avx2) return false;
    method = candidate;
    return true;
}

FindMethod current_find_method() { return method; }

Matcher::Matcher(const unsigned char* pattern, std::size_t length)
    : pattern_(pattern), length_(length), anchor_(0), partner_(0) {
    // The anchor is the rarest byte; among equals, the one the pattern
    // itself repeats least (so "AAAB" looks for the B).
    std::size_t repeats[256] = {};
    for (std::size_t i = 0; i < length; ++i) ++repeats[pattern[i]];
    auto rank = [&](std::size_t i) { return std::make_pair(commonness(pattern[i]), repeats[pattern[i]]); };
    for (std::size_t i = 1; i < length; ++i)
        if (rank(i) < rank(anchor_)) anchor_ = i;
    partner_ = anchor_ == length - 1 ? 0 : length - 1;
}

std::size_t Matcher::find(const unsigned char* data, std::size_t size) const {
#ifdef MIRELK_FIND_VECTOR
    if (method == FindMethod::avx2) return find_avx2(pattern_, length_, anchor_, partner_, data, size);
#endif
    return find_portable(pattern_, length_, anchor_, data, size);
}

// Where the reads of a scan go. The kernel copies into an address that
// lies a few bytes past a 64-byte boundary up to three times as slowly
// (measured on the reference machine: 1 GiB read in 64 KiB blocks, 0.41 s
// of system time at 7 bytes past a page start, 0.15 s on a boundary).
constexpr std::size_t READ_ALIGNMENT = 64;

std::size_t scan_buffer_size(std::size_t block, std::size_t length) {
    return (READ_ALIGNMENT - 1) + (length - 1) + block;
}

bool scan_range(const Matcher& matcher, unsigned char* buffer, std::size_t block, std::int64_t start,
                std::uint64_t count, ScanReceiver& receiver) {
    const std::size_t length = matcher.length();
    // Each block is read to block_start, the bytes kept from the last one
    // lie just before it.
    const std::size_t lead = length - 1 + (READ_ALIGNMENT - 1);
    unsigned char* const block_start =
        buffer + lead - (reinterpret_cast<std::uintptr_t>(buffer + lead) % READ_ALIGNMENT);
    std::size_t held = 0;        // bytes kept before block_start
    std::int64_t base = start;   // offset of the first of them
    std::uint64_t left = count;  // bytes not yet read
    while (left > 0) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(block, left));
        std::size_t got = receiver.read(block_start, want);
        if (got == 0) return false;
        left -= got;
        unsigned char* const data = block_start - held;
        const std::size_t filled = held + got;
        std::size_t released = 0;
        std::size_t from = 0;  // where the search goes on
        for (;;) {
            std::size_t at = from + matcher.find(data + from, filled - from);
            if (at == filled) break;
            if (!receiver.occurrence(base + static_cast<std::int64_t>(at), data + at)) return false;
            from = at + length;
            if (!receiver.release(data + released, from - released)) return false;
            released = from;
        }
        // The last length - 1 bytes may begin an occurrence that the next
        // block completes; they stay, unless the range ends here.
        std::size_t keep = filled;
        if (left > 0) keep = std::max(from, filled - std::min(filled, length - 1));
        if (keep > released && !receiver.release(data + released, keep - released)) return false;
        held = filled - keep;
        std::memmove(block_start - held, data + keep, held);
        base += static_cast<std::int64_t>(keep);
        if (!receiver.block_done()) return false;
    }
    return true;
}

}  // namespace mirelk

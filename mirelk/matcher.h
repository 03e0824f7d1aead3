// Finding a pattern in a byte range: the leftmost occurrence first, and
// occurrences never overlap (the search goes on after each one), so the
// result equals trying every start position from left to right.
#pragma once
#include <cstddef>
#include <cstdint>

namespace mirelk {

// How Matcher::find looks: the rarest pattern byte found with memchr, or
// (avx2) the rarest byte and the one at the pattern's other end compared at
// 64 start positions at once. Each finds the same occurrences; the fastest
// one the processor has is chosen at start.
enum class FindMethod { portable, avx2 };

// Switches to a method; false (nothing changed) when the processor lacks it.
bool use_find_method(FindMethod method);
FindMethod current_find_method();

class Matcher {
public:
    // pattern must hold at least one byte and outlive the matcher.
    Matcher(const unsigned char* pattern, std::size_t length);

    // Position of the first complete occurrence in data[0, size), or size
    // when there is none.
    std::size_t find(const unsigned char* data, std::size_t size) const;

    const unsigned char* pattern() const { return pattern_; }
    std::size_t length() const { return length_; }

private:
    const unsigned char* pattern_;
    std::size_t length_;
    std::size_t anchor_;   // index of the pattern byte searched for with memchr
    std::size_t partner_;  // index of the byte compared beside it, at the other end
};

// What the scan of a range does with what it finds; each call may end the
// scan by returning false (the receiver reports why).
class ScanReceiver {
public:
    // Reads up to size bytes, the next ones of the range; the number read,
    // or 0 after a failure.
    virtual std::size_t read(unsigned char* data, std::size_t size) = 0;
    // An occurrence at offset; bytes are its bytes in the buffer, which the
    // receiver may overwrite before they are released.
    virtual bool occurrence(std::int64_t offset, unsigned char* bytes) = 0;
    // Bytes of the range that are decided, in order: every byte of the
    // range is released once, occurrences included.
    virtual bool release(const unsigned char* data, std::size_t size) = 0;
    // After each block.
    virtual bool block_done() = 0;

protected:
    ~ScanReceiver() = default;
};

// Bytes the buffer of scan_range needs for blocks of block bytes and a
// pattern of length bytes: the block, the length - 1 bytes kept before it
// (they may begin an occurrence that reaches into the block), and room to
// place every read on a 64-byte boundary.
std::size_t scan_buffer_size(std::size_t block, std::size_t length);

// Scans count bytes that begin at offset start, read in blocks of at most
// block bytes into buffer, of scan_buffer_size(block, length) bytes. An
// occurrence must lie wholly inside the range. True when the whole range
// was scanned.
bool scan_range(const Matcher& matcher, unsigned char* buffer, std::size_t block, std::int64_t start,
                std::uint64_t count, ScanReceiver& receiver);

}  // namespace mirelk

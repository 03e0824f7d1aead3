// A file read front to back in large blocks, the next block being read on a
// thread of its own while the caller works on the one before (a CRC, a
// comparison), so that reading and working overlap.
#pragma once
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/file.h"

namespace kesto {

class ReadAhead {
public:
    // 1 MiB: a sixteenth of the calls of 64 KiB blocks, and two blocks still
    // sit in the processor's cache when the caller reaches them (1 GiB of
    // cached files, AMD EPYC with 2 MiB of L2 per core: 256 KiB blocks were
    // as fast, 4 MiB ones slower).
    static constexpr std::size_t BLOCK_SIZE = std::size_t{1} << 20;

    ReadAhead() = default;
    ~ReadAhead() { stop(); }
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // Starts reading size bytes of file from its position, in blocks of
    // BLOCK_SIZE. A file of one block, or one for which no thread or memory
    // can be had, is read by next() itself, in blocks of fallback_size
    // through fallback (the caller's own buffer).
    void start(plat::File& file, std::uint64_t size, unsigned char* fallback, std::size_t fallback_size);
    // The size of the block next() gives next: the smaller of the bytes
    // left and the block size.
    std::size_t next_size() const;
    // The next block in data: the count of bytes read, which is next_size()
    // unless the read failed (fewer, or -1). A file of 0 bytes gives one
    // empty block. After a failure nothing more is read.
    std::int64_t next(const unsigned char*& data);
    // Ends the reading; the thread is gone when this returns.
    void stop();

private:
    void read_blocks(std::uint64_t left);

    struct Block {
        std::unique_ptr<unsigned char[]> bytes;
        std::int64_t got = 0;
        bool full = false;
    };
    plat::File* file_ = nullptr;
    std::uint64_t remaining_ = 0;  // bytes next() has yet to give
    std::size_t block_size_ = 0;
    unsigned char* fallback_ = nullptr;
    Block blocks_[2];
    unsigned taken_ = 0;  // blocks next() has given
    std::mutex mutex_;
    std::condition_variable changed_;
    bool stopping_ = false;
    std::thread reader_;
};

}  // namespace kesto

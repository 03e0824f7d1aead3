#include "kesto/read_ahead.h"

#include <algorithm>
#include <new>
#include <system_error>

namespace kesto {

void ReadAhead::start(plat::File& file, std::uint64_t size, unsigned char* fallback, std::size_t fallback_size) {
    stop();
    file_ = &file;
    remaining_ = size;
    fallback_ = fallback;
    block_size_ = fallback_size;
    taken_ = 0;
    stopping_ = false;
    if (size <= BLOCK_SIZE) return;
    for (Block& block : blocks_) {
        block.full = false;
        if (!block.bytes) block.bytes.reset(new (std::nothrow) unsigned char[BLOCK_SIZE]);
        if (!block.bytes) return;
    }
    block_size_ = BLOCK_SIZE;
    try {
        reader_ = std::thread(&ReadAhead::read_blocks, this, size);
    } catch (const std::system_error&) {
        block_size_ = fallback_size;  // no thread: next() reads by itself
    }
}

std::size_t ReadAhead::next_size() const {
    return static_cast<std::size_t>(std::min<std::uint64_t>(remaining_, block_size_));
}

std::int64_t ReadAhead::next(const unsigned char*& data) {
    const std::size_t size = next_size();
    std::int64_t got;
    if (!reader_.joinable()) {
        data = fallback_;
        got = file_->read(fallback_, size);
    } else {
        std::unique_lock<std::mutex> lock(mutex_);
        // The caller is done with the block it had before.
        if (taken_ > 0) blocks_[(taken_ - 1) % 2].full = false;
        changed_.notify_all();
        Block& block = blocks_[taken_ % 2];
        changed_.wait(lock, [&block] { return block.full; });
        data = block.bytes.get();
        got = block.got;
    }
    ++taken_;
    remaining_ = got == static_cast<std::int64_t>(size) ? remaining_ - size : 0;
    return got;
}

void ReadAhead::stop() {
    if (!reader_.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    reader_.join();
}

// The reader thread: the blocks in order, each into the buffer the caller
// has given back, until the end, a failed read or stop().
void ReadAhead::read_blocks(std::uint64_t left) {
    for (unsigned i = 0; left > 0; ++i) {
        Block& block = blocks_[i % 2];
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [this, &block] { return stopping_ || !block.full; });
            if (stopping_) return;
        }
        const std::size_t size = static_cast<std::size_t>(std::min<std::uint64_t>(left, BLOCK_SIZE));
        const std::int64_t got = file_->read(block.bytes.get(), size);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            block.got = got;
            block.full = true;
        }
        changed_.notify_all();
        if (got != static_cast<std::int64_t>(size)) return;
        left -= size;
    }
}

}  // namespace kesto

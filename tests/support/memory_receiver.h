// A scan receiver over a string in memory, for mirelk's matcher: reads come
// back at most most_per_read bytes at a time, occurrences are recorded and
// overwritten with '#', and the released bytes are collected in order.
// Shared by the unit tests and the matcher's fuzz target (header only, so
// that the fuzz build needs nothing else of the test support).
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "mirelk/matcher.h"

namespace testsupport {

class MemoryReceiver final : public mirelk::ScanReceiver {
public:
    MemoryReceiver(const std::string& data, std::size_t most_per_read, std::size_t pattern_length)
        : data_(data), most_(most_per_read), pattern_length_(pattern_length) {}
    std::size_t read(unsigned char* data, std::size_t size) override {
        std::size_t n = std::min({size, most_, data_.size() - at_});
        std::memcpy(data, data_.data() + at_, n);
        at_ += n;
        return n;
    }
    bool occurrence(std::int64_t offset, unsigned char* bytes) override {
        found.push_back(offset);
        std::memset(bytes, '#', pattern_length_);
        return true;
    }
    bool release(const unsigned char* data, std::size_t size) override {
        released.append(reinterpret_cast<const char*>(data), size);
        return true;
    }
    bool block_done() override { return true; }

    std::vector<std::int64_t> found;
    std::string released;

private:
    const std::string& data_;
    std::size_t most_;
    std::size_t pattern_length_;
    std::size_t at_ = 0;
};

}  // namespace testsupport

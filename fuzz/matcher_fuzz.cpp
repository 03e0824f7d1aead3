// Fuzz target for mirelk's matcher and block-wise scan, against a naive
// reference that tries every start position from left to right and goes on
// after each occurrence, with every find method the processor has.
//
// Input: one byte each for the pattern length (1-8), the block size (1-32),
// the most bytes one read returns (1-40) and the alphabet (odd: the bytes
// are folded onto "ABC", so that occurrences and near misses abound), then
// the pattern, then the data. The scan must report the reference's
// occurrences and release every byte once, in order, occurrences replaced.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "mirelk/matcher.h"
#include "support/memory_receiver.h"

using namespace mirelk;
using testsupport::MemoryReceiver;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
    if (size < 5) return 0;
    const std::size_t length = 1 + input[0] % 8;
    const std::size_t block = 1 + input[1] % 32;
    const std::size_t most = 1 + input[2] % 40;
    const bool folded = input[3] & 1;
    input += 4;
    size -= 4;
    if (size < length) return 0;
    std::string pattern(reinterpret_cast<const char*>(input), length);
    std::string data(reinterpret_cast<const char*>(input + length), size - length);
    if (folded) {
        for (char& c : pattern) c = static_cast<char>('A' + static_cast<unsigned char>(c) % 3);
        for (char& c : data) c = static_cast<char>('A' + static_cast<unsigned char>(c) % 3);
    }

    std::vector<std::int64_t> expected;
    std::string replaced = data;
    for (std::size_t p = 0; p + length <= data.size();) {
        if (data.compare(p, length, pattern) == 0) {
            expected.push_back(static_cast<std::int64_t>(p) + 7);
            replaced.replace(p, length, length, '#');
            p += length;
        } else {
            ++p;
        }
    }

    const Matcher matcher(reinterpret_cast<const unsigned char*>(pattern.data()), length);
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
    // Every find method the processor has.
    for (FindMethod method : {FindMethod::portable, FindMethod::avx2}) {
        if (!use_find_method(method)) continue;
        // The first occurrence in the whole data at once.
        const std::size_t first = matcher.find(bytes, data.size());
        if (first != (expected.empty() ? data.size() : static_cast<std::size_t>(expected[0] - 7))) std::abort();

        std::vector<unsigned char> buffer(scan_buffer_size(block, length));
        MemoryReceiver receiver(data, most, length);
        if (!scan_range(matcher, buffer.data(), block, 7, data.size(), receiver)) std::abort();
        if (receiver.found != expected || receiver.released != replaced) std::abort();
    }
    return 0;
}

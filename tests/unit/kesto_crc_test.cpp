// kesto's CRC engine: the published check values, and every update method
// against a bit-at-a-time reference for any start value, length, alignment
// and split into blocks.
#include "kesto/crc.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace kesto;

constexpr CrcMethod ALL_METHODS[] = {CrcMethod::bytewise, CrcMethod::slicing, CrcMethod::carryless,
                                     CrcMethod::wide_carryless};

// The CRC register one bit at a time, straight from the definition of a
// reflected CRC.
std::uint32_t reference_register(std::uint32_t polynomial, std::uint32_t crc, const unsigned char* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ polynomial : crc >> 1;
    }
    return crc;
}

// Runs the body once for every method this processor supports, and puts
// the method that was in use back afterwards.
template <typename Body>
void for_each_method(Body body) {
    CrcMethod saved = current_crc_method();
    for (CrcMethod method : ALL_METHODS) {
        if (!use_crc_method(method)) continue;
        SCOPED_TRACE("method " + std::to_string(static_cast<int>(method)));
        body();
    }
    use_crc_method(saved);
}

std::vector<unsigned char> random_bytes(std::size_t size, std::uint32_t seed) {
    std::mt19937 generator(seed);
    std::vector<unsigned char> bytes(size);
    for (unsigned char& b : bytes) b = static_cast<unsigned char>(generator());
    return bytes;
}

TEST(KestoCrc, CheckValues) {
    struct Row {
        const char* text;
        std::uint32_t crc16, crc32;
    } rows[] = {
        {"123456789", 0xBB3D, 0xCBF43926},
        {"abc", 0x9738, 0x352441C2},
        {"", 0x0000, 0x00000000},
        {"The quick brown fox jumps over the lazy dog", 0xFCDF, 0x414FA339},
    };
    for_each_method([&] {
        for (const Row& row : rows) {
            SCOPED_TRACE(row.text);
            std::size_t n = std::strlen(row.text);
            EXPECT_EQ(crc16_update(CRC_START | CRC_RESET, 0x1234, row.text, n), row.crc16);
            EXPECT_EQ(crc32_update(CRC_START | CRC_RESET | CRC_FINISH, 0x1234, row.text, n), row.crc32);
        }
    });
}

TEST(KestoCrc, GivenStartValues) {
    const char* check = "123456789";
    for_each_method([&] {
        // CRC-16 started at FFFF is CRC-16/MODBUS.
        EXPECT_EQ(crc16_update(CRC_START, 0xFFFF, check, 9), 0x4B37u);
        // Only the low 16 bits of a CRC-16 start value count.
        EXPECT_EQ(crc16_update(CRC_START, 0xABCDFFFF, check, 9), 0x4B37u);
        // CRC-32 started at FFFFFFFF without the flags is CRC-32 before its
        // final complement; CRC_FINISH complements whatever the start was.
        EXPECT_EQ(crc32_update(CRC_START, 0xFFFFFFFF, check, 9), ~0xCBF43926u);
        EXPECT_EQ(crc32_update(CRC_START | CRC_FINISH, 0, check, 9),
                  ~reference_register(0xEDB88320, 0, reinterpret_cast<const unsigned char*>(check), 9));
        // CRC-16 has no final complement.
        EXPECT_EQ(crc16_update(CRC_START | CRC_RESET | CRC_FINISH, 0, check, 9), 0xBB3Du);
        // An empty update leaves the register as it was.
        EXPECT_EQ(crc32_update(0, 0x89ABCDEF, check, 0), 0x89ABCDEFu);
        EXPECT_EQ(crc32_update(CRC_FINISH, 0x89ABCDEF, nullptr, 0), ~0x89ABCDEFu);
    });
}

// Every length up to a few folding rounds, long blocks, every alignment, and
// random start values: each method gives the reference register.
TEST(KestoCrc, MethodsAgreeWithReference) {
    const std::vector<unsigned char> data = random_bytes(65536 + 64, 1);
    std::vector<std::size_t> lengths;
    for (std::size_t n = 0; n <= 300; ++n) lengths.push_back(n);
    for (std::size_t n : {383u, 384u, 511u, 512u, 1000u, 4095u, 4096u, 4111u, 65535u, 65536u}) lengths.push_back(n);
    std::mt19937 generator(2);
    for_each_method([&] {
        for (std::size_t n : lengths) {
            std::size_t offset = generator() % 16;
            std::uint32_t start = generator();
            const unsigned char* p = data.data() + offset;
            SCOPED_TRACE("length " + std::to_string(n) + " offset " + std::to_string(offset));
            ASSERT_EQ(crc16_update(0, start, p, n), reference_register(0xA001, start & 0xFFFF, p, n));
            ASSERT_EQ(crc32_update(0, start, p, n), reference_register(0xEDB88320, start, p, n));
        }
    });
}

// A file read block by block gives the register of one update over all of
// it, however the blocks are cut.
TEST(KestoCrc, BlocksChainLikeOneUpdate) {
    const std::vector<unsigned char> data = random_bytes(3 * 65536 + 777, 3);
    const std::uint32_t want16 = reference_register(0xA001, 0, data.data(), data.size());
    const std::uint32_t want32 = ~reference_register(0xEDB88320, 0xFFFFFFFF, data.data(), data.size());
    std::mt19937 generator(4);
    for_each_method([&] {
        for (int round = 0; round < 4; ++round) {
            unsigned flags = CRC_START | CRC_RESET;
            std::uint32_t crc16 = 0, crc32 = 0;
            for (std::size_t at = 0; at < data.size();) {
                // Mostly 64 KiB blocks as a file is read; some short ones.
                std::size_t block = round == 0 ? 65536 : generator() % (round == 1 ? 200 : 70000);
                block = std::min(block, data.size() - at);
                if (at + block == data.size()) flags |= CRC_FINISH;
                crc16 = crc16_update(flags, crc16, data.data() + at, block);
                crc32 = crc32_update(flags, crc32, data.data() + at, block);
                flags = 0;
                at += block;
            }
            EXPECT_EQ(crc16, want16) << "round " << round;
            EXPECT_EQ(crc32, want32) << "round " << round;
        }
    });
}

TEST(KestoCrc, FastestMethodIsChosen) {
    CrcMethod fastest = crc_method_supported(CrcMethod::wide_carryless) ? CrcMethod::wide_carryless
                        : crc_method_supported(CrcMethod::carryless)    ? CrcMethod::carryless
                                                                        : CrcMethod::slicing;
    EXPECT_EQ(current_crc_method(), fastest);
}

}  // namespace

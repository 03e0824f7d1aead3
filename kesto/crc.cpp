// The CRC engine. One generic implementation serves both widths: the
// register of a reflected CRC of width w <= 32 sits in the low w bits, and
// every method below works on it the same way.
//
// Carry-less folding: a block X of 16 bytes followed by D more bits of data
// may be replaced by X * x^D mod P, which leaves the CRC of the whole message
// unchanged. Folding keeps four such blocks (64 bytes; the wide form four of
// 32 bytes) in flight, merges them into one, and hands that last 16-byte
// remainder to the table method, which reduces it to the register exactly as
// it would reduce the data it stands for. So no separate final reduction is
// needed, and one folding routine serves CRC-16 and CRC-32.
#include "kesto/crc.h"

#include <cstring>

#include "platform/cpu.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define KESTO_CRC_CARRYLESS 1
constexpr bool CARRYLESS_BUILT = true;
#else
constexpr bool CARRYLESS_BUILT = false;
#endif

namespace kesto {
namespace {

constexpr std::uint32_t CRC16_START_VALUE = 0;
constexpr std::uint32_t CRC32_START_VALUE = 0xFFFFFFFF;

// The least number of bytes each folding form takes (what fills its four
// lanes); shorter updates go through the tables. Measured on an AMD EPYC
// (Zen 4): from these sizes on, folding was faster than slicing, and the
// wide form at least as fast as the narrow one.
constexpr std::size_t FOLD_MINIMUM = 64;
constexpr std::size_t WIDE_FOLD_MINIMUM = 128;

// What one reflected polynomial needs.
template <typename Word>
struct CrcTables {
    // slice[k][b]: the register after byte b followed by k zero bytes, from a
    // zero register. slice[0] is the table of the byte-wise algorithm.
    Word slice[16][256];
    // Folding constants, low and high half of a 16-byte block: x^(D+63) mod P
    // and x^(D-1) mod P as 64-bit reflected values, for D = 512 (four blocks
    // ahead) and D = 128 (the next block). Not x^(D+64) and x^D: the 127-bit
    // product of two reflected 64-bit values stands one place short of the
    // 128-bit lane, which is one more factor x.
    std::uint64_t fold_by_4[2];
    std::uint64_t fold_by_1[2];
    // The same for blocks of 32 bytes: D = 1024 (four blocks ahead) and D =
    // 256 (the next block).
    std::uint64_t fold_by_8[2];
    std::uint64_t fold_by_2[2];
};

// x^n mod P, reflected: bit i of a width-bit register stands for x^(width-1-i),
// so multiplying by x is a right shift, and the x^width that drops out is
// replaced by the polynomial's lower terms. Returned left-aligned in 64 bits
// (bit i stands for x^(63-i)), the form the carry-less multiply takes.
constexpr std::uint64_t x_power_mod(std::uint32_t polynomial, int width, int n) {
    std::uint32_t value = std::uint32_t{1} << (width - 1);
    for (int i = 0; i < n; ++i) value = (value & 1) ? (value >> 1) ^ polynomial : value >> 1;
    return std::uint64_t{value} << (64 - width);
}

template <typename Word>
constexpr CrcTables<Word> make_tables(std::uint32_t polynomial, int width) {
    CrcTables<Word> tables{};
    for (std::uint32_t b = 0; b < 256; ++b) {
        std::uint32_t value = b;
        for (int bit = 0; bit < 8; ++bit) value = (value & 1) ? (value >> 1) ^ polynomial : value >> 1;
        tables.slice[0][b] = static_cast<Word>(value);
    }
    for (int k = 1; k < 16; ++k)
        for (int b = 0; b < 256; ++b) {
            Word previous = tables.slice[k - 1][b];
            tables.slice[k][b] = static_cast<Word>(tables.slice[0][previous & 0xFF] ^ (previous >> 8));
        }
    tables.fold_by_4[0] = x_power_mod(polynomial, width, 512 + 63);
    tables.fold_by_4[1] = x_power_mod(polynomial, width, 512 - 1);
    tables.fold_by_1[0] = x_power_mod(polynomial, width, 128 + 63);
    tables.fold_by_1[1] = x_power_mod(polynomial, width, 128 - 1);
    tables.fold_by_8[0] = x_power_mod(polynomial, width, 1024 + 63);
    tables.fold_by_8[1] = x_power_mod(polynomial, width, 1024 - 1);
    tables.fold_by_2[0] = x_power_mod(polynomial, width, 256 + 63);
    tables.fold_by_2[1] = x_power_mod(polynomial, width, 256 - 1);
    return tables;
}

constexpr CrcTables<std::uint16_t> crc16_tables = make_tables<std::uint16_t>(0xA001, 16);
constexpr CrcTables<std::uint32_t> crc32_tables = make_tables<std::uint32_t>(0xEDB88320, 32);

// Eight bytes as a little-endian number, the order in which a reflected CRC
// takes them.
inline std::uint64_t load_le64(const unsigned char* p) {
    std::uint64_t value;
    std::memcpy(&value, p, sizeof value);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    value = __builtin_bswap64(value);
#endif
    return value;
}

template <typename Word>
Word update_bytewise(const CrcTables<Word>& tables, Word crc, const unsigned char* p, std::size_t n) {
    for (; n > 0; --n, ++p) crc = static_cast<Word>(tables.slice[0][(crc ^ *p) & 0xFF] ^ (crc >> 8));
    return crc;
}

// 16 bytes per step: the register is XORed into the first bytes, and each
// byte j contributes its table entry for the 15 - j bytes that follow it.
template <typename Word>
Word update_slicing(const CrcTables<Word>& tables, Word crc, const unsigned char* p, std::size_t n) {
    for (; n >= 16; n -= 16, p += 16) {
        std::uint64_t first = load_le64(p) ^ crc, second = load_le64(p + 8);
        Word next = 0;
#pragma GCC unroll 8
        for (int j = 0; j < 8; ++j)
            next ^= tables.slice[15 - j][(first >> (8 * j)) & 0xFF] ^ tables.slice[7 - j][(second >> (8 * j)) & 0xFF];
        crc = next;
    }
    return update_bytewise(tables, crc, p, n);
}

#ifdef KESTO_CRC_CARRYLESS

// x * k mod P in the lane form: low half times the first constant, high half
// times the second.
__attribute__((target("pclmul,sse2"))) inline __m128i fold(__m128i x, __m128i k) {
    return _mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11));
}

__attribute__((target("pclmul,sse2"))) inline __m128i load128(const unsigned char* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

__attribute__((target("pclmul,sse2"))) inline __m128i constants128(const std::uint64_t (&k)[2]) {
    return _mm_set_epi64x(static_cast<long long>(k[1]), static_cast<long long>(k[0]));
}

// x stands for all the data before p: folds the whole 16-byte blocks that
// remain into it, then reduces it and the last bytes through the tables.
template <typename Word>
__attribute__((target("pclmul,sse2"))) Word finish_folding(const CrcTables<Word>& tables, __m128i x,
                                                           const unsigned char* p, std::size_t n) {
    const __m128i by_1 = constants128(tables.fold_by_1);
    for (; n >= 16; p += 16, n -= 16) x = _mm_xor_si128(fold(x, by_1), load128(p));
    unsigned char rest[16];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(rest), x);
    return update_bytewise(tables, update_slicing(tables, Word{0}, rest, sizeof rest), p, n);
}

template <typename Word>
__attribute__((target("pclmul,sse2"))) Word update_carryless(const CrcTables<Word>& tables, Word crc,
                                                             const unsigned char* p, std::size_t n) {
    if (n < FOLD_MINIMUM) return update_slicing(tables, crc, p, n);
    const __m128i by_4 = constants128(tables.fold_by_4), by_1 = constants128(tables.fold_by_1);
    // The register enters as an XOR on the first bytes of the data.
    __m128i x0 = _mm_xor_si128(load128(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i x1 = load128(p + 16), x2 = load128(p + 32), x3 = load128(p + 48);
    for (p += 64, n -= 64; n >= 64; p += 64, n -= 64) {
        x0 = _mm_xor_si128(fold(x0, by_4), load128(p));
        x1 = _mm_xor_si128(fold(x1, by_4), load128(p + 16));
        x2 = _mm_xor_si128(fold(x2, by_4), load128(p + 32));
        x3 = _mm_xor_si128(fold(x3, by_4), load128(p + 48));
    }
    __m128i x = _mm_xor_si128(fold(x0, by_1), x1);
    x = _mm_xor_si128(fold(x, by_1), x2);
    x = _mm_xor_si128(fold(x, by_1), x3);
    return finish_folding(tables, x, p, n);
}

// The same over 32-byte lanes, two blocks per multiply instruction.
__attribute__((target("avx2,vpclmulqdq,pclmul"))) inline __m256i fold_wide(__m256i x, __m256i k) {
    return _mm256_xor_si256(_mm256_clmulepi64_epi128(x, k, 0x00), _mm256_clmulepi64_epi128(x, k, 0x11));
}

__attribute__((target("avx2,vpclmulqdq,pclmul"))) inline __m256i load256(const unsigned char* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

__attribute__((target("avx2,vpclmulqdq,pclmul"))) inline __m256i constants256(const std::uint64_t (&k)[2]) {
    return _mm256_set_epi64x(static_cast<long long>(k[1]), static_cast<long long>(k[0]), static_cast<long long>(k[1]),
                             static_cast<long long>(k[0]));
}

template <typename Word>
__attribute__((target("avx2,vpclmulqdq,pclmul"))) Word update_wide_carryless(const CrcTables<Word>& tables, Word crc,
                                                                             const unsigned char* p, std::size_t n) {
    if (n < WIDE_FOLD_MINIMUM) return update_carryless(tables, crc, p, n);
    const __m256i by_8 = constants256(tables.fold_by_8), by_2 = constants256(tables.fold_by_2);
    __m256i y0 = _mm256_xor_si256(load256(p), _mm256_set_epi64x(0, 0, 0, static_cast<long long>(crc)));
    __m256i y1 = load256(p + 32), y2 = load256(p + 64), y3 = load256(p + 96);
    for (p += 128, n -= 128; n >= 128; p += 128, n -= 128) {
        y0 = _mm256_xor_si256(fold_wide(y0, by_8), load256(p));
        y1 = _mm256_xor_si256(fold_wide(y1, by_8), load256(p + 32));
        y2 = _mm256_xor_si256(fold_wide(y2, by_8), load256(p + 64));
        y3 = _mm256_xor_si256(fold_wide(y3, by_8), load256(p + 96));
    }
    __m256i y = _mm256_xor_si256(fold_wide(y0, by_2), y1);
    y = _mm256_xor_si256(fold_wide(y, by_2), y2);
    y = _mm256_xor_si256(fold_wide(y, by_2), y3);
    for (; n >= 32; p += 32, n -= 32) y = _mm256_xor_si256(fold_wide(y, by_2), load256(p));
    __m128i x =
        _mm_xor_si128(fold(_mm256_castsi256_si128(y), constants128(tables.fold_by_1)), _mm256_extracti128_si256(y, 1));
    return finish_folding(tables, x, p, n);
}

#endif

// Without the carry-less forms compiled in, neither is offered.
bool carryless_supported() { return CARRYLESS_BUILT && plat::cpu_has(plat::CpuFeature::pclmul); }

bool wide_carryless_supported() {
    return CARRYLESS_BUILT && plat::cpu_has(plat::CpuFeature::vpclmulqdq) && plat::cpu_has(plat::CpuFeature::avx2);
}

CrcMethod fastest_method() {
    if (wide_carryless_supported()) return CrcMethod::wide_carryless;
    return carryless_supported() ? CrcMethod::carryless : CrcMethod::slicing;
}

// Chosen while the program starts. An update that ran before that would see
// bytewise (zero), which gives the same register, only slower.
CrcMethod method = fastest_method();

template <typename Word>
Word update(const CrcTables<Word>& tables, Word crc, const void* bytes, std::size_t length) {
    const auto* p = static_cast<const unsigned char*>(bytes);
    switch (method) {
    case CrcMethod::bytewise: return update_bytewise(tables, crc, p, length);
    case CrcMethod::slicing: break;
#ifdef KESTO_CRC_CARRYLESS
    case CrcMethod::carryless: return update_carryless(tables, crc, p, length);
    case CrcMethod::wide_carryless: return update_wide_carryless(tables, crc, p, length);
#else
    case CrcMethod::carryless:
    case CrcMethod::wide_carryless: break;
#endif
    }
    return update_slicing(tables, crc, p, length);
}

}  // namespace

std::uint32_t crc16_update(unsigned flags, std::uint32_t crc, const void* bytes, std::size_t length) {
    auto start = static_cast<std::uint16_t>((flags & CRC_RESET) ? CRC16_START_VALUE : crc);
    return update(crc16_tables, start, bytes, length);
}

std::uint32_t crc32_update(unsigned flags, std::uint32_t crc, const void* bytes, std::size_t length) {
    std::uint32_t result = update(crc32_tables, (flags & CRC_RESET) ? CRC32_START_VALUE : crc, bytes, length);
    return (flags & CRC_FINISH) ? ~result : result;
}

bool crc_method_supported(CrcMethod candidate) {
    switch (candidate) {
    case CrcMethod::carryless: return carryless_supported();
    case CrcMethod::wide_carryless: return wide_carryless_supported();
    case CrcMethod::bytewise:
    case CrcMethod::slicing: break;
    }
    return true;
}

bool use_crc_method(CrcMethod candidate) {
    if (!crc_method_supported(candidate)) return false;
    method = candidate;
    return true;
}

CrcMethod current_crc_method() { return method; }

}  // namespace kesto

// kesto's CRC engine: CRC-16/ARC and CRC-32 (ISO-HDLC), both reflected,
// updated incrementally over the blocks of a file.
//
// The register is the raw reflected register of the byte-wise algorithm
//   register = table[(register ^ byte) & 0xFF] ^ (register >> 8)
// so any start value can be given and the same register comes out whatever
// the block sizes. The fast methods (slicing by 16 bytes, carry-less multiply
// folding) produce exactly that register.
#pragma once
#include <cstddef>
#include <cstdint>

namespace kesto {

// Flags of crc16_update and crc32_update.
// CRC_START marks the first block of a file. The tables are built at compile
// time, so it needs no work; it is accepted so that a caller can pass the
// flag word of the read loop as it stands.
constexpr unsigned CRC_START = 1;
// Load the standard start value before the update: 0 for CRC-16, 0xFFFFFFFF
// for CRC-32.
constexpr unsigned CRC_RESET = 2;
// Complement the register after the update (CRC-32 only; CRC-16 has no final
// XOR and ignores it).
constexpr unsigned CRC_FINISH = 4;

// Updates a CRC-16/ARC register (polynomial 0xA001 reflected) with length
// bytes; only the low 16 bits of crc are used, and the result is below
// 0x10000.
std::uint32_t crc16_update(unsigned flags, std::uint32_t crc, const void* bytes, std::size_t length);
// Updates a CRC-32 register (polynomial 0xEDB88320 reflected) with length bytes.
std::uint32_t crc32_update(unsigned flags, std::uint32_t crc, const void* bytes, std::size_t length);

// How the register is updated. All methods give the same register; the
// fastest one the processor supports is chosen at start.
enum class CrcMethod {
    bytewise,        // one table look-up per byte
    slicing,         // 16 bytes per step through 16 tables (portable)
    carryless,       // 64 bytes per step folded by carry-less multiplication (x86 PCLMULQDQ)
    wide_carryless,  // 128 bytes per step, the same in 32-byte lanes (x86 AVX2 VPCLMULQDQ)
};

bool crc_method_supported(CrcMethod method);
// Chooses the method of later updates, for tests and measurements; false
// (and no change) when the processor does not support it.
bool use_crc_method(CrcMethod method);
CrcMethod current_crc_method();

}  // namespace kesto

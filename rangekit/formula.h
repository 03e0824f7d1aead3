// Offset formulas of the byte-range tools: "+ - * / ( )" over decimal and
// "0x"-prefixed hexadecimal numbers, evaluated to a signed 64-bit value.
#pragma once
#include <cstdint>

namespace rangekit {

// How "0x" without a hexadecimal digit behind it is read.
enum class HexPrefix {
    need_digit,  // rejected (mirelk, nevrik, holmic)
    lenient,     // handed to the hexadecimal conversion, which skips blanks
                 // and takes a sign: "0x 5" is 5, "0x+5" is 10 (zobrin)
};

// Evaluates text. On success stores the result in value and returns true;
// on any error returns false and leaves value unchanged. Writes nothing.
bool eval_offset_formula(const char* text, std::int64_t& value, HexPrefix hex_prefix = HexPrefix::need_digit);

}  // namespace rangekit

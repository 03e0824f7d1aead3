// Fuzz target for the offset formula evaluator. The input bytes, cut at the
// first NUL, are the formula text; both readings of a bare "0x" are tried.
//
// Besides crashes and sanitizer reports it checks two properties:
// - a rejected formula leaves the output variable as it was;
// - a formula accepted with strict "0x" handling is accepted with the same
//   value by the lenient reading, which differs only where strict rejects.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "rangekit/formula.h"

namespace {

constexpr std::int64_t UNTOUCHED = 0x5A5A5A5A5A5A5A5A;

bool evaluate(const std::string& text, rangekit::HexPrefix hex_prefix, std::int64_t& value) {
    value = UNTOUCHED;
    bool ok = rangekit::eval_offset_formula(text.c_str(), value, hex_prefix);
    if (!ok && value != UNTOUCHED) std::abort();  // failure must not write
    return ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A fresh heap copy: reads past the terminating NUL hit the redzone.
    std::string text(reinterpret_cast<const char*>(data), size);
    text.resize(std::strlen(text.c_str()));

    std::int64_t strict_value;
    std::int64_t lenient_value;
    bool strict_ok = evaluate(text, rangekit::HexPrefix::need_digit, strict_value);
    bool lenient_ok = evaluate(text, rangekit::HexPrefix::lenient, lenient_value);
    if (strict_ok && (!lenient_ok || lenient_value != strict_value)) std::abort();
    return 0;
}

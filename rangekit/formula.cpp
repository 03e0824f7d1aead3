#include "rangekit/formula.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace rangekit {
namespace {

// Token list entries: an operator is its character code; a number carries a
// flag and the index of its text position (while tokenising) or of its value
// (after conversion); an applied operator or folded number is CONSUMED.
constexpr std::uint16_t DECIMAL = 0x4000;
constexpr std::uint16_t HEXADECIMAL = 0x2000;
constexpr std::uint16_t CONSUMED = 0x8000;
constexpr std::uint16_t INDEX_MASK = 0x1FFF;
constexpr std::size_t MAX_LENGTH = 8191;  // positions are 13 bits wide

bool is_number(std::uint16_t token) { return (token & CONSUMED) == 0 && (token & (DECIMAL | HEXADECIMAL)) != 0; }
bool is_sign(std::uint16_t token) { return token == '+' || token == '-'; }

bool is_hex_digit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool is_decimal_digit(char c) { return c >= '0' && c <= '9'; }

struct Evaluator {
    std::vector<std::uint16_t> tokens;
    std::vector<std::uint64_t> values;

    bool tokenise(const char* text, std::size_t length, HexPrefix hex_prefix) {
        tokens.reserve(length + 2);
        tokens.push_back(CONSUMED);  // sentinel
        bool any_number = false;
        for (std::size_t i = 0; i < length; ++i) {
            char c = text[i];
            if (c == ' ' || c == '\t') continue;
            if (std::strchr("()*+-/", c)) {
                tokens.push_back(static_cast<std::uint16_t>(c));
            } else if (c == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
                std::size_t start = i + 2, end = start;
                while (is_hex_digit(text[end])) ++end;
                if (end == start && hex_prefix == HexPrefix::need_digit) return false;
                tokens.push_back(static_cast<std::uint16_t>(HEXADECIMAL | start));
                any_number = true;
                i = end - 1;
            } else if (is_decimal_digit(c)) {
                std::size_t end = i;
                while (is_decimal_digit(text[end])) ++end;
                tokens.push_back(static_cast<std::uint16_t>(DECIMAL | i));
                any_number = true;
                i = end - 1;
            } else {
                return false;
            }
        }
        return any_number;
    }

    // Converts every number token into the value table. The conversion
    // behaves like the C runtime's: it skips blanks and takes a sign, which
    // only the lenient "0x" form can reach. Literals beyond 64 bits are
    // rejected rather than silently clamped.
    bool convert(const char* text) {
        for (std::uint16_t& token : tokens) {
            if (!is_number(token)) continue;
            const char* start = text + (token & INDEX_MASK);
            char* end = nullptr;
            errno = 0;
            unsigned long long value = std::strtoull(start, &end, (token & HEXADECIMAL) ? 16 : 10);
            if (end == start || errno == ERANGE) return false;
            token = static_cast<std::uint16_t>((token & (DECIMAL | HEXADECIMAL)) | values.size());
            values.push_back(value);
        }
        return true;
    }

    std::uint64_t& value_of(std::size_t i) { return values[tokens[i] & INDEX_MASK]; }

    // Nearest number strictly inside (low, high) to the left or right of i.
    std::ptrdiff_t number_left(std::size_t i, std::size_t low) const {
        for (std::size_t j = i; j-- > low + 1;)
            if (is_number(tokens[j])) return static_cast<std::ptrdiff_t>(j);
        return -1;
    }
    std::ptrdiff_t number_right(std::size_t i, std::size_t high) const {
        for (std::size_t j = i + 1; j < high; ++j)
            if (is_number(tokens[j])) return static_cast<std::ptrdiff_t>(j);
        return -1;
    }

    // Applies a binary operator at i to its neighbours; false when one is
    // missing or on division by zero.
    bool apply_binary(std::size_t i, std::size_t low, std::size_t high) {
        std::ptrdiff_t left = number_left(i, low), right = number_right(i, high);
        if (left < 0 || right < 0) return false;
        std::uint64_t& a = value_of(static_cast<std::size_t>(left));
        std::uint64_t b = value_of(static_cast<std::size_t>(right));
        switch (tokens[i]) {
        case '*': a *= b; break;
        case '+': a += b; break;
        case '-': a -= b; break;
        case '/': {
            auto divisor = static_cast<std::int64_t>(b);
            if (divisor == 0) return false;
            // The most negative value divided by -1 wraps to itself.
            if (divisor == -1)
                a = 0 - a;
            else
                a = static_cast<std::uint64_t>(static_cast<std::int64_t>(a) / divisor);
            break;
        }
        }
        tokens[i] = CONSUMED;
        tokens[static_cast<std::size_t>(right)] = CONSUMED;
        return true;
    }

    // Evaluates the tokens strictly between low and high: signs, then
    // "*" and "/", then binary "+" and "-", each pass left to right.
    bool evaluate_group(std::size_t low, std::size_t high) {
        for (std::size_t i = low + 1; i < high; ++i) {
            if (!is_sign(tokens[i])) continue;
            std::ptrdiff_t right = number_right(i, high);
            if (right < 0) return false;
            std::size_t j = i - 1;
            while (j > low && tokens[j] == CONSUMED) --j;
            if (j > low && is_number(tokens[j])) continue;    // binary: last pass
            if (j > low && is_sign(tokens[j])) return false;  // 5+-3, 5--3
            if (tokens[i] == '-') {
                std::uint64_t& v = value_of(static_cast<std::size_t>(right));
                v = 0 - v;
            }
            tokens[i] = CONSUMED;
        }
        for (std::size_t i = low + 1; i < high; ++i)
            if ((tokens[i] == '*' || tokens[i] == '/') && !apply_binary(i, low, high)) return false;
        for (std::size_t i = low + 1; i < high; ++i)
            if (is_sign(tokens[i]) && !apply_binary(i, low, high)) return false;
        return true;
    }

    // Innermost, leftmost parentheses first, then the whole list.
    bool evaluate(std::int64_t& result) {
        const std::size_t count = tokens.size();
        for (;;) {
            std::size_t close = 0;
            for (std::size_t i = 1; i < count && close == 0; ++i)
                if (tokens[i] == ')') close = i;
            if (close == 0) {
                for (std::size_t i = 1; i < count; ++i)
                    if (tokens[i] == '(') return false;
                if (!evaluate_group(0, count)) return false;
                for (std::size_t i = 1; i < count; ++i) {
                    if (is_number(tokens[i])) {
                        result = static_cast<std::int64_t>(value_of(i));
                        return true;
                    }
                }
                return false;
            }
            std::size_t open = close;
            while (open > 1 && tokens[open - 1] != '(') --open;
            if (open <= 1) return false;  // no "(" before the first ")"
            --open;
            if (!evaluate_group(open, close)) return false;
            tokens[open] = CONSUMED;
            tokens[close] = CONSUMED;
        }
    }
};

}  // namespace

bool eval_offset_formula(const char* text, std::int64_t& value, HexPrefix hex_prefix) {
    std::size_t length = std::strlen(text);
    if (length > MAX_LENGTH) return false;
    try {
        Evaluator evaluator;
        std::int64_t result = 0;
        if (!evaluator.tokenise(text, length, hex_prefix) || !evaluator.convert(text) || !evaluator.evaluate(result))
            return false;
        value = result;
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace rangekit

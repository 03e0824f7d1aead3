#include "rangekit/formula.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

namespace {

using rangekit::eval_offset_formula;
using rangekit::HexPrefix;

constexpr std::int64_t UNTOUCHED = 0x5A5A5A5A5A5A5A5A;
constexpr std::int64_t MIN64 = std::numeric_limits<std::int64_t>::min();

struct Row {
    const char* text;
    bool valid;
    std::int64_t value;  // when valid
};

// A failing call must leave the caller's variable as it was.
void check(const Row& row, HexPrefix prefix) {
    std::int64_t value = UNTOUCHED;
    bool ok = eval_offset_formula(row.text, value, prefix);
    EXPECT_EQ(ok, row.valid) << "formula \"" << row.text << "\"";
    if (row.valid)
        EXPECT_EQ(value, row.value) << "formula \"" << row.text << "\"";
    else
        EXPECT_EQ(value, UNTOUCHED) << "formula \"" << row.text << "\"";
}

const Row need_digit_rows[] = {
    // numbers
    {"0x10", true, 16},
    {"0X10", true, 16},
    {"0xaBc", true, 0xABC},
    {"10", true, 10},
    {"010", true, 10},
    {"0", true, 0},
    {"0xFFFFFFFFFFFFFFFF", true, -1},
    {"18446744073709551615", true, -1},
    {"0x", false, 0},
    {"0xg", false, 0},
    {"0x 5", false, 0},
    {"0x+5", false, 0},
    {"0x10h", false, 0},
    // too many digits for 64 bits
    {"18446744073709551616", false, 0},
    {"0x10000000000000000", false, 0},
    // precedence, grouping, blanks
    {" 1 + 2 * 3 ", true, 7},
    {"1\t+\t2", true, 3},
    {"(1+2)*3", true, 9},
    {"((4))", true, 4},
    {"2*(3+(4-1))*2", true, 24},
    {"2+3*4-6/2", true, 11},
    {"8-3-2", true, 3},
    {"64/4/2", true, 8},
    {"0x200*3+16", true, 0x610},
    {"(0x1000-1)", true, 0xFFF},
    // division
    {"8/3", true, 2},
    {"-7/2", true, -3},
    {"7/-2", true, -3},
    {"7/0", false, 0},
    {"7/(1-1)", false, 0},
    // signs
    {"-1", true, -1},
    {"0-1", true, -1},
    {"+5", true, 5},
    {"2*-3", true, -6},
    {"(-3)", true, -3},
    {"--3", true, 3},
    {"2*+-3", true, -6},
    {"-(2+3)", true, -5},
    {"10-(-2)", true, 12},
    {"5+-3", false, 0},
    {"5--3", false, 0},
    {"-*3", false, 0},
    // operators short of a number
    {"5*", false, 0},
    {"*5", false, 0},
    {"5/", false, 0},
    {"5+", false, 0},
    {"-", false, 0},
    {"+", false, 0},
    // parentheses
    {"(5", false, 0},
    {"5)", false, 0},
    {")(", false, 0},
    {"()", false, 0},
    {"()5", true, 5},
    {"5+()", false, 0},
    {"(1+2", false, 0},
    // numbers no operator joins: the first counts
    {"5 3", true, 5},
    {"(5)(6)", true, 5},
    {"2*3 4*5", true, 6},
    // characters outside the grammar
    {"1,2", false, 0},
    {"1.5", false, 0},
    {"abc", false, 0},
    {"1e3", false, 0},
    {"5%2", false, 0},
    {"", false, 0},
    {"   ", false, 0},
    {"\t", false, 0},
    {"( )", false, 0},
    // wrapping arithmetic, no error
    {"0x7FFFFFFFFFFFFFFF+1", true, MIN64},
    {"0x8000000000000000/-1", true, MIN64},
    {"0x8000000000000000*-1", true, MIN64},
    {"0-0x8000000000000000-1", true, std::numeric_limits<std::int64_t>::max()},
    {"0x100000000*0x100000000", true, 0},
};

TEST(Formula, Table) {
    for (const Row& row : need_digit_rows) check(row, HexPrefix::need_digit);
}

// zobrin's reading of "0x": blanks and a sign behind the prefix are taken by
// the hexadecimal conversion.
TEST(Formula, LenientHexPrefix) {
    const Row rows[] = {
        {"0x 5", true, 5}, {"0x+5", true, 10}, {"0x", false, 0},     {"0x ", false, 0},
        {"0xg", false, 0}, {"0x10", true, 16}, {"0x10*2", true, 32}, {"5+()", false, 0},
    };
    for (const Row& row : rows) check(row, HexPrefix::lenient);
}

TEST(Formula, LengthLimit) {
    // Token positions are 13 bits wide: 8191 characters is the longest text.
    std::string longest = "1" + std::string(8189, ' ') + "2";
    std::int64_t value = UNTOUCHED;
    ASSERT_EQ(longest.size(), 8191u);
    EXPECT_TRUE(eval_offset_formula(longest.c_str(), value));
    EXPECT_EQ(value, 1);

    std::string too_long = longest + " ";
    value = UNTOUCHED;
    EXPECT_FALSE(eval_offset_formula(too_long.c_str(), value));
    EXPECT_EQ(value, UNTOUCHED);

    std::string huge(100000, '(');
    EXPECT_FALSE(eval_offset_formula(huge.c_str(), value));
    EXPECT_EQ(value, UNTOUCHED);
}

TEST(Formula, LongValidFormula) {
    // Many tokens and deep nesting inside the limit.
    std::string sum = "0";
    for (int i = 1; i <= 1000; ++i) sum += "+" + std::to_string(i);
    std::string nested = std::string(1000, '(') + "7" + std::string(1000, ')') + "*3";
    std::int64_t value = 0;
    ASSERT_TRUE(eval_offset_formula(sum.c_str(), value));
    EXPECT_EQ(value, 500500);
    ASSERT_TRUE(eval_offset_formula(nested.c_str(), value));
    EXPECT_EQ(value, 21);
}

}  // namespace

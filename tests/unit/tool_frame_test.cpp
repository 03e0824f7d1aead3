#include "rangekit/tool_frame.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "rangekit/hex_line.h"
#include "support/dump_lines.h"
#include "support/text.h"

namespace {

using rangekit::option_matches;
using rangekit::parse_page_lines;

TEST(ToolFrame, OptionPrefixIgnoresCaseAndLength) {
    struct Row {
        const char* argument;
        const char* prefix;
        bool matches;
    } rows[] = {
        {"/s:10", "/s:", true}, {"/S:10", "/s:", true}, {"/S:", "/s:", true},       {"/S", "/s:", false},
        {"/S10", "/s:", false}, {"/T", "/t", true},     {"/t:out.bin", "/t", true}, {"/TYPE", "/t", true},
        {"/p:in", "/p:", true}, {"/P", "/p:", false},   {"/X", "/t", false},        {"t", "/t", false},
        {"", "/t", false},      {"-t", "/t", false},
    };
    for (const Row& row : rows)
        EXPECT_EQ(option_matches(row.argument, row.prefix), row.matches) << row.argument << " vs " << row.prefix;
}

TEST(ToolFrame, PageLines) {
    struct Row {
        const char* argument;
        int lines;
    } rows[] = {
        {"/M", 24},  {"/m", 24},    {"/MORE", 24}, {"/M:5", 5},     {"/m:12x", 12},
        {"/M:0", 0}, {"/m:abc", 0}, {"/M:", 0},    {"/M:100", 100},
    };
    for (const Row& row : rows) EXPECT_EQ(parse_page_lines(row.argument), row.lines) << row.argument;
}

TEST(ToolFrame, RangeArithmeticAtTheLimits) {
    constexpr std::int64_t MAX = INT64_MAX, MIN = INT64_MIN;
    struct StartRow {
        std::int64_t end, count, start;
    } starts[] = {
        {0xFF, 16, 0xF0},   // the last 16 bytes up to 0xFF
        {0xFF, 0x100, 0},   // exactly the bytes from 0
        {0xFF, 0x101, 7},   // more than there are: the start stays
        {MAX - 1, MAX, 0},  // the default end and count
        {MAX, 1, 7},        // end + 1 wraps to a negative number: the start stays
        {-5, 2, 7},
    };
    for (const StartRow& row : starts)
        EXPECT_EQ(rangekit::start_from_end(7, row.end, row.count), row.start) << row.end << " " << row.count;
    struct LeftRow {
        std::int64_t position, end, left;
    } lefts[] = {
        {0, 0xFF, 0x100}, {0x100, 0xFF, 0}, {0xFF, 0xFF, 1}, {0, MAX, MAX}, {MIN, MAX, MAX}, {5, -1, 0},
    };
    for (const LeftRow& row : lefts)
        EXPECT_EQ(rangekit::left_before_end(row.position, row.end), row.left) << row.position << " " << row.end;
    struct MarksRow {
        std::uint64_t done, total, marks;
    } marks[] = {
        {0, 10, 0},
        {5, 10, 39},
        {10, 10, 79},
        {UINT64_MAX, UINT64_MAX, 79},  // 79 * done exceeds 64 bits
        {UINT64_MAX / 2, UINT64_MAX, 39},
    };
    for (const MarksRow& row : marks)
        EXPECT_EQ(rangekit::progress_marks(79, row.done, row.total), row.marks) << row.done << " " << row.total;
}

// Every line formatter the processor has gives the lines a user expects:
// every byte value under both character rules, addresses that use every
// digit up to the last twelve-digit one, either line end.
TEST(ToolFrame, HexLineMethods) {
    std::string data;
    for (int b = 0; b < 256; ++b) data += static_cast<char>(b);
    data += testsupport::pseudo_random(0x100, 1);
    const std::size_t lines = data.size() / 16;
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
    const rangekit::HexMethod saved = rangekit::current_hex_method();
    for (rangekit::HexMethod method : {rangekit::HexMethod::portable, rangekit::HexMethod::ssse3}) {
        if (!rangekit::use_hex_method(method)) continue;
        for (std::uint64_t position : {0x0ull, 0x123456789AB0ull, 0xFEDCBA987650ull, 0x1000000000000ull - data.size()})
            for (const char* locale : {"C", "ja_JP.SJIS"})
                for (const std::string line_end : {"\n", "\r\n"}) {
                    SCOPED_TRACE(testing::Message() << "method " << static_cast<int>(method) << " position " << std::hex
                                                    << position << " " << locale << " line end " << line_end.size());
                    std::string expected;
                    for (char c : testsupport::dump_lines(data, position, position + data.size(), position, locale))
                        expected += c == '\n' ? line_end : std::string(1, c);
                    std::string out(lines * (79 + line_end.size()), '?');
                    ASSERT_EQ(
                        rangekit::format_hex_lines(bytes, lines, position, testsupport::dump_shows_high_bytes(locale),
                                                   line_end, out.data()),
                        out.size());
                    EXPECT_EQ(out, expected);
                }
    }
    rangekit::use_hex_method(saved);
}

}  // namespace

// nevrik run as a process: whole standard output and exit code.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "support/dump_lines.h"
#include "support/files.h"
#include "support/process.h"
#include "support/text.h"
#include "support/tool_test.h"

namespace {

using namespace testsupport;

const char HELP_ENGLISH[] =
    "File binariy compare program Version 1.02\n"
    "       Copyright (C) 2002-2008. All rights reserved.\n"
    "Usage:\n"
    "       NEVRIK [/S:start_offset1[,start_offset2]] [/E:end_offset] [/C:count]\n"
    "                                        [/B] [/M[:lines]] filename1 fillename2\n"
    "Option:\n"
    "       /S --- comparison is started from start_offset1 of `filename1'\n"
    "              and from start_offset2 of `filename2' (default:start_offset1)\n"
    "       /E --- comparison is stopped at end_offset of `filename1'\n"
    "       /C --- comparison is stopped after count bytes are compared\n"
    "       /B --- truncate every 256 bytes differeces into one line\n"
    "       /M --- pause after display specified `lines' (default:24)\n"
    "Remark:\n"
    "       start_offset1/2, end_offset, count can be a value or formula with\n"
    "       operator + - * / ( ), value can be decimal or hexa(need prefix`0x')\n"
    "       scroll stop/continue by any key except ESC, stop every 24 lines by space\n"
    "ErrorLevel:\n"
    "       0 --- compare equal, same size          1 --- missing arguments\n"
    "       10 -- compare equal, file1 is smaller   2 --- invalid arguments\n"
    "       11 -- compare equal, file1 is larger    3 --- operation canceled by ESC\n"
    "       12 -- file differ, same size            4 --- insufficent memory\n"
    "       13 -- file differ, file1 is smaller     5 --- file access error\n"
    "       14 -- file differ, file1 is larger\n"
    "    ";

// The padding counts Shift-JIS bytes: two for each full-width character.
const char HELP_JAPANESE[] =
    "ファイルバイナリ比較プログラム Version 1.02\n"
    "       Copyright (C) 2002-2008. All rights reserved.\n"
    "使用方法:\n"
    "       NEVRIK [/S:開始位置1[,開始位置2]] [/E:終了位置] [/C:データ数]\n"
    "                                        [/B] [/M[:行数]] ファイル1 ファイル2\n"
    "オプション:\n"
    "       /S --- 開始位置1でファイル1の比較開始位置を指定\n"
    "              開始位置2でファイル2の比較開始位置を指定(省略時:開始位置1)\n"
    "       /E --- ファイル1の比較終了位置を指定\n"
    "       /C --- 比較データバイト数を指定\n"
    "       /B --- 256バイト単位の違いを1行に集約\n"
    "       /M --- 指定した行数(省略時:24)表示する毎に停止しキー入力を待つ\n"
    "注意:\n"
    "       開始位置1/2,終了位置,データ数は数値もしくは()を含む四則演算式\n"
    "       数値は10進数または0xをつけた16進数\n"
    "       画面表示はESCキー以外のキーで停止/継続,スペースで指定行数表示\n"
    "エラーレベル:\n"
    "       0 --- 比較一致,ファイルサイズ一致       1 --- パラメータが足りない\n"
    "       10 -- 比較一致, ファイル1が小さい       2 --- パラメータが不正\n"
    "       11 -- 比較一致, ファイル1が大きい       3 --- ESCキー入力による中止\n"
    "       12 -- 比較不一致, ファイルサイズ一致    4 --- メモリ確保失敗\n"
    "       13 -- 比較不一致, ファイル1が小さい     5 --- ファイルアクセスエラー\n"
    "       14 -- 比較不一致, ファイル1が大きい\n"
    "   ";

const char NO_DIFFERENCE[] = "NEVRIK: no difference had been detected.\n";

std::string hex16(std::uint64_t value) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llX", static_cast<unsigned long long>(value));
    return text;
}

std::string byte_line(std::uint64_t offset, unsigned char a, unsigned char b) {
    char text[16];
    std::snprintf(text, sizeof text, ": %02X %02X\n", a, b);
    return hex16(offset) + text;
}

std::string row_line(std::uint64_t row, int differences, int examined) {
    char text[64];
    std::snprintf(text, sizeof text, "**: %3d/%3d byte(s) are different\n", differences, examined);
    return hex16(row).substr(0, 14) + text;
}

// The difference lines a user expects from comparing a from start1 with b
// from start2 for at most count bytes, worked out pair by pair.
std::string expected_lines(const std::string& a, const std::string& b, std::size_t start1, std::size_t start2,
                           std::size_t count, bool rows) {
    std::string lines;
    int differences = 0, examined = 0;
    std::size_t row_first = 0;
    for (std::size_t i = 0; i < count && start1 + i < a.size() && start2 + i < b.size(); ++i) {
        const std::size_t position = start1 + i;
        if (rows && position % 256 == 0) {
            if (differences > 0) lines += row_line(row_first, differences, examined);
            differences = examined = 0;
        }
        ++examined;
        const auto x = static_cast<unsigned char>(a[position]), y = static_cast<unsigned char>(b[start2 + i]);
        if (x == y) continue;
        if (!rows)
            lines += byte_line(position, x, y);
        else if (differences++ == 0)
            row_first = position;
    }
    if (differences > 0) lines += row_line(row_first, differences, examined);
    return lines;
}

// data with the bytes at the given offsets inverted.
std::string changed(std::string data, const std::vector<std::size_t>& offsets) {
    for (std::size_t offset : offsets) data[offset] = static_cast<char>(~data[offset]);
    return data;
}

class Nevrik : public ToolTest {
protected:
    Nevrik() : ToolTest("nevrik") {}
};

TEST_F(Nevrik, HelpScreen) {
    check({
        {"no arguments", {}, HELP_ENGLISH, 1},
        {"one file only", {"a.bin", "/B"}, HELP_ENGLISH, 1},
    });
    for (const char* locale : {"ja_JP.UTF-8", "ja_JP.SJIS"}) {
        SCOPED_TRACE(locale);
        RunResult result = tool({}, {std::string("LC_ALL=") + locale});
        EXPECT_EQ(result.out, with_line_ends(japanese_output(HELP_JAPANESE, locale)));
        EXPECT_EQ(result.exit_code, 1);
    }
}

TEST_F(Nevrik, ResultCodes) {
    const std::string data = pseudo_random(0x400, 1);
    put("a.bin", data);
    put("same.bin", data);
    put("prefix.bin", data.substr(0, 0x300));
    put("b.bin", changed(data, {0x123}));
    put("b_prefix.bin", changed(data, {0x123}).substr(0, 0x300));
    const auto a = static_cast<unsigned char>(data[0x123]);
    const std::string line = byte_line(0x123, a, static_cast<unsigned char>(~a));
    check({
        {"identical", {"a.bin", "same.bin"}, NO_DIFFERENCE, 0},
        {"file 1 is a prefix",
         {"prefix.bin", "a.bin"},
         std::string("File size prefix.bin < a.bin by 256 byte(s).\n") + NO_DIFFERENCE,
         10},
        {"file 2 is a prefix",
         {"a.bin", "prefix.bin"},
         std::string("File size a.bin > prefix.bin by 256 byte(s).\n") + NO_DIFFERENCE,
         11},
        {"one byte differs", {"a.bin", "b.bin"}, line, 12},
        {"differs, file 1 smaller",
         {"b_prefix.bin", "a.bin"},
         byte_line(0x123, static_cast<unsigned char>(~a), a) + "File size b_prefix.bin < a.bin by 256 byte(s).\n",
         13},
        {"differs, file 1 larger",
         {"a.bin", "b_prefix.bin"},
         line + "File size a.bin > b_prefix.bin by 256 byte(s).\n",
         14},
        {"files after the options, /? is a file name", {"/b", "/?", "a.bin"}, "Open first file /? failed!\n", 5},
    });
}

TEST_F(Nevrik, Ranges) {
    const std::string data = pseudo_random(0x400, 2);
    const std::string other = changed(data, {0x100, 0x1FF});
    put("a.bin", data);
    put("b.bin", other);
    // Files whose bytes agree when b is read 10 bytes ahead of a.
    put("shifted.bin", std::string(10, 'x') + data);
    const std::string shifted = std::string(10, 'x') + data;
    check({
        {"rows", {"/B", "a.bin", "b.bin"}, row_line(0x100, 2, 256), 12},
        {"row mode from 0x110 counts 240 bytes in the first row",
         {"/s:0x110", "/b", "b.bin", "a.bin"},
         row_line(0x100, 1, 240),
         12},
        {"separate start offsets",
         {"/S:10,20", "a.bin", "shifted.bin"},
         std::string("File size a.bin < shifted.bin by 10 byte(s).\n") + NO_DIFFERENCE,
         10},
        {"only the second start",
         {"/S:,10", "a.bin", "shifted.bin"},
         std::string("File size a.bin < shifted.bin by 10 byte(s).\n") + NO_DIFFERENCE,
         10},
        {"the second start keeps the first",
         {"/S:3", "/S:,10", "a.bin", "shifted.bin"},
         expected_lines(data, shifted, 3, 10, 0x400, false) + "File size a.bin < shifted.bin by 10 byte(s).\n",
         13},
        {"one start for both",
         {"/S:0x1FF", "a.bin", "b.bin"},
         expected_lines(data, other, 0x1FF, 0x1FF, 0x400, false),
         12},
        {"end and count without a start: the last count bytes",
         {"/E:0xFF", "/C:16", "a.bin", "b.bin"},
         NO_DIFFERENCE,
         0},
        {"end and count reach 0x100",
         {"/E:0x10F", "/C:16", "a.bin", "b.bin"},
         expected_lines(data, other, 0x100, 0x100, 1, false),
         12},
        {"end only", {"/E:0x1FE", "a.bin", "b.bin"}, expected_lines(data, other, 0x100, 0x100, 1, false), 12},
        {"count of zero compares nothing", {"/C:0", "a.bin", "b.bin"}, NO_DIFFERENCE, 0},
        {"negative count compares nothing", {"/C:-5", "a.bin", "b.bin"}, NO_DIFFERENCE, 0},
        {"end before the start", {"/S:0x180", "/E:0x100", "a.bin", "b.bin"}, NO_DIFFERENCE, 0},
        {"start beyond both ends",
         {"/S:0x1000", "a.bin", "shifted.bin"},
         std::string("File size a.bin < shifted.bin by 10 byte(s).\n") + NO_DIFFERENCE,
         10},
        {"start beyond the largest file",
         {"/S:0x1000000000001", "a.bin", "shifted.bin"},
         std::string("File size a.bin < shifted.bin by 10 byte(s).\n") + NO_DIFFERENCE,
         10},
    });
}

// Difference lines across the 1 MiB read buffers, in both modes, against a
// pair-by-pair reference.
TEST_F(Nevrik, LongFiles) {
    const std::size_t size = 0x100000 * 2 + 0x3456;
    const std::string a = pseudo_random(size, 3);
    std::vector<std::size_t> offsets;
    for (std::size_t offset = 7; offset < size; offset += 40961) offsets.push_back(offset);
    // Around the buffer ends, seen from both start offsets used below.
    for (std::size_t offset : {0xFFFFFu, 0x100000u, 0x100070u, 0x100090u, 0x20007Fu, 0x200080u})
        offsets.push_back(offset);
    const std::string b = changed(a, offsets);
    put("a.bin", a);
    put("b.bin", b);
    struct Case {
        std::vector<std::string> options;
        std::size_t start, count;
        bool rows;
    };
    const std::vector<Case> cases = {
        {{}, 0, size, false},
        {{"/B"}, 0, size, true},
        {{"/S:0x80", "/B"}, 0x80, size, true},
        {{"/S:0x80", "/C:0x100000"}, 0x80, 0x100000, false},
        {{"/S:0xFFFF0", "/E:0x200085", "/B"}, 0xFFFF0, 0x200085 - 0xFFFF0 + 1, true},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.options;
        args.push_back("a.bin");
        args.push_back("b.bin");
        SCOPED_TRACE(::testing::PrintToString(args));
        RunResult result = tool(args);
        EXPECT_EQ(result.out, with_line_ends(expected_lines(a, b, c.start, c.start, c.count, c.rows)));
        EXPECT_EQ(result.exit_code, 12);
    }
}

TEST_F(Nevrik, BeyondFourGiB) {
    const std::int64_t size = 0x140000000;  // 5 GiB
    ASSERT_TRUE(make_sparse_file(dir.file("a.bin"), size, 0x100000010, "A"));
    ASSERT_TRUE(make_sparse_file(dir.file("b.bin"), size, 0x100000010, "B"));
    put("small.bin", "0123456789");
    check({
        {"offsets above 4 GiB", {"/S:0x100000000", "/C:0x100", "a.bin", "b.bin"}, "0000000100000010: 41 42\n", 12},
        {"rows above 4 GiB",
         {"/S:0x100000000", "/C:0x100", "/B", "a.bin", "b.bin"},
         "00000001000000**:   1/256 byte(s) are different\n",
         12},
        {"a size difference of more than a billion in full",
         {"/C:0", "a.bin", "small.bin"},
         std::string("File size a.bin > small.bin by 5368709110 byte(s).\n") + NO_DIFFERENCE,
         11},
    });
}

TEST_F(Nevrik, Failures) {
    const std::string data = pseudo_random(0x300, 4);
    put("a.bin", data);
    put("b.bin", changed(data, {0x10}));
    const std::string line =
        byte_line(0x10, static_cast<unsigned char>(data[0x10]), static_cast<unsigned char>(~data[0x10]));
    check({
        {"start 1 formula", {"/S:1+", "a.bin", "b.bin"}, "Invalid start_offset1 formula 1+!\n", 2},
        {"start 2 formula", {"/S:1,(2", "a.bin", "b.bin"}, "Invalid start_offset2 formula (2!\n", 2},
        {"end formula, no files needed", {"/E:0x"}, "Invalid end_offset formula 0x!\n", 2},
        {"count formula", {"a.bin", "/c:1/0", "b.bin"}, "Invalid count formula 1/0!\n", 2},
        {"Japanese formula message",
         {"/S:,z", "a.bin", "b.bin"},
         japanese_output("開始位置2の計算式 z が正しくありません!\n", "ja_JP.UTF-8"),
         2,
         {"LC_ALL=ja_JP.UTF-8"}},
        {"first file missing", {"none.bin", "b.bin"}, "Open first file none.bin failed!\n", 5},
        {"second file missing", {"a.bin", "none.bin"}, "Open second file none.bin failed!\n", 5},
        {"negative start", {"/S:-1", "a.bin", "b.bin"}, "Seek a.bin failed!\n", 5},
        {"negative second start", {"/S:0,-1", "a.bin", "b.bin"}, "Seek b.bin failed!\n", 5},
        {"no memory", {"a.bin", "b.bin"}, "Out of memory!\n", 4, {"SUITE_FAULTS=alloc:2:io"}},
        {"read of file 1 fails", {"a.bin", "b.bin"}, "Read a.bin failed!\n", 5, {"SUITE_FAULTS=read:1:io"}},
        {"read of file 2 fails", {"a.bin", "b.bin"}, "Read b.bin failed!\n", 5, {"SUITE_FAULTS=read:3:io"}},
        {"a short read is read again", {"a.bin", "b.bin"}, line, 12, {"SUITE_FAULTS=read:1:short"}},
    });
}

TEST_F(Nevrik, OutputGone) {
    check_output_gone({
        {"endless differences", {"/dev/zero", "/dev/urandom"}, "", 5},
        {"endless rows", {"/B", "/dev/zero", "/dev/urandom"}, "", 5},
    });
}

}  // namespace

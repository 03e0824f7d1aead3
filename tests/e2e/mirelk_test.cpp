// mirelk run as a process: whole standard output, exit code, and the bytes
// of the files it leaves behind, compared with a patch computed here.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "support/dump_lines.h"
#include "support/files.h"
#include "support/process.h"
#include "support/temp_dir.h"
#include "support/text.h"
#include "support/tool_test.h"

namespace {

using namespace testsupport;

const char HELP_ENGLISH[] =
    "Binary file patch program  Version 1.01\n"
    "       Copyright (C) 2008. All rights reserved.\n"
    "Usage:\n"
    "       MIRELK source_file {/F:find_string|/FF:find_string_file}\n"
    "                       [{/R:replace_string|/RF:replace_string_file}]\n"
    "             {/O:destination_file|[/S:start_offset] [/E:end_offset] [/C:count]}\n"
    "Option:\n"
    "       /F --- string to find   , /FF --- file contains find string\n"
    "       /R --- string to replace, /RF --- file contains replace string\n"
    "       /O --- destination file (if not specified then overwrites soruce file)\n"
    "       /S --- find start byte-offset of source file\n"
    "       /E --- find end byte-offset of source file\n"
    "       /C --- find byte-count of source file\n"
    "Remark:\n"
    "       find,replace string is HEX string or quoted text by ''\n"
    "           ex) /F:41424344'EFGH'49'''\\\"'00 -> ABCDEFGHI'\" + null\n"
    "           if both string length are not equal then\n"
    "           last character of short string repeats till length of long one\n"
    "       start_offset, end_offset, count can be a value or formula with\n"
    "       operator + - * / ( ), value can be decimal or hexa(need prefix`0x')\n"
    "ErrorLevel:\n"
    "       0 --- no error\n"
    "       1 --- missing arguments\n"
    "       2 --- invalid arguments\n"
    "       3 --- operation canceled by typing ESC\n"
    "       4 --- insufficent memory\n"
    "       5 --- file access error\n";

const char HELP_JAPANESE[] =
    "バイナリファイルパッチプログラム  Version 1.01\n"
    "       Copyright (C) 2008. All rights reserved.\n"
    "使用方法:\n"
    "       MIRELK 入力ファイル {/F:検索文字列|/FF:検索文字列ファイル}\n"
    "                           [{/R:置換文字列|/RF:置換文字列ファイル}]\n"
    "                 {/O:出力ファイル|[/S:開始位置] [/E:終了位置] [/C:データ数]}\n"
    "オプション:\n"
    "       /F --- 検索文字列, /FF --- 検索文字列をファイルで指定\n"
    "       /R --- 置換文字列, /RF --- 置換文字列をファイルで指定\n"
    "       /O --- 出力ファイル(指定がない場合は入力ファイルを上書き)\n"
    "       /S --- 検索を開始する入力ファイルのバイト位置\n"
    "       /E --- 検索を終了する入力ファイルのバイト位置\n"
    "       /C --- 検索を行なう入力ファイルのバイトデータ数\n"
    "注意:\n"
    "       検索,置換文字列は16進文字列か'でくくられたテキスト\n"
    "           例: /F:41424344'EFGH'49'''\\\"'00 → ABCDEFGHI'\" + ヌル\n"
    "           検索,置換文字列の長さが異なるときは長い方にあわせて\n"
    "           短い方の最後の文字が繰り返される\n"
    "       開始位置,終了位置,データ数は数値もしくは()を含む四則演算式\n"
    "           数値は10進数または0xをつけた16進数\n"
    "エラーレベル:\n"
    "       0 --- エラー無し\n"
    "       1 --- パラメータが足りない\n"
    "       2 --- パラメータが不正\n"
    "       3 --- ESCキー入力による中止\n"
    "       4 --- メモリ確保失敗\n"
    "       5 --- ファイルアクセスエラー\n";

const char COPY_BEFORE[] = "Coping to destination file until start offset.";
const char COPY_AFTER[] = "Coping to destination file after end offset.";

std::string hex16(std::uint64_t value) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llX", static_cast<unsigned long long>(value));
    return text;
}

// "Find    at ..." or "Replace at ..." lines for the positions.
std::string report(const char* verb, const std::vector<std::uint64_t>& positions, const std::string& name) {
    std::string lines;
    for (std::uint64_t at : positions) lines += std::string(verb) + " at " + hex16(at) + " " + name + "\n";
    return lines;
}
std::string finds(const std::vector<std::uint64_t>& positions, const std::string& name = "data.bin") {
    return report("Find   ", positions, name);
}
std::string replaces(const std::vector<std::uint64_t>& positions, const std::string& name = "data.bin") {
    return report("Replace", positions, name);
}

// The expected patch, worked out by trying every start position in
// [from, to) from left to right and going on after each occurrence.
struct Patched {
    std::string data;
    std::vector<std::uint64_t> positions;
};
Patched reference_patch(const std::string& data, const std::string& find, const std::string& replace, std::size_t from,
                        std::size_t to) {
    Patched patched{data, {}};
    for (std::size_t p = from; p + find.size() <= to;) {
        if (data.compare(p, find.size(), find) == 0) {
            patched.positions.push_back(p);
            patched.data.replace(p, find.size(), replace);
            p += find.size();
        } else {
            ++p;
        }
    }
    return patched;
}

// size bytes of noise in which none of the test patterns occurs by chance.
std::string noise(std::size_t size, std::uint32_t seed) {
    std::string data = pseudo_random(size, seed);
    for (char& c : data)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 0x20);
    return data;
}

class Mirelk : public ToolTest {
protected:
    Mirelk() : ToolTest("mirelk") {}
    RunResult mirelk(const std::vector<std::string>& args, std::vector<std::string> env = {}) {
        return tool(args, std::move(env));
    }
    bool exists(const std::string& name) { return file_exists(dir.file(name)); }
    // Runs each row on a fresh copy of data as data.bin.
    void check(const std::vector<Row>& rows, const std::string& data) {
        for (const Row& row : rows) {
            SCOPED_TRACE(row.name);
            put("data.bin", data);
            RunResult result = mirelk(row.args, row.env);
            EXPECT_EQ(result.out, with_line_ends(row.out));
            EXPECT_EQ(result.exit_code, row.exit_code);
        }
    }
};

TEST_F(Mirelk, ArgumentErrors) {
    put("bad.txt", "4G\r\n");
    put("empty.txt", "\r\n");
    put("abac.txt", "'ABAC'\r\n");
    const std::vector<Row> rows = {
        {"no arguments", {}, HELP_ENGLISH, 1},
        {"no find pattern", {"data.bin"}, HELP_ENGLISH, 1},
        {"options only", {"/F:41", "/S:1"}, HELP_ENGLISH, 1},
        {"empty /F:", {"data.bin", "/F:"}, HELP_ENGLISH, 1},
        {"empty quotes", {"data.bin", "/F:''"}, HELP_ENGLISH, 1},
        {"empty string file", {"data.bin", "/FF:empty.txt"}, HELP_ENGLISH, 1},
        {"start formula", {"data.bin", "/F:41", "/S:1+"}, "Invalid start_offset formula 1+!\n", 2},
        {"end formula", {"data.bin", "/F:41", "/e:abc"}, "Invalid end_offset formula abc!\n", 2},
        {"count formula", {"data.bin", "/F:41", "/C:()"}, "Invalid count formula ()!\n", 2},
        {"lone digit", {"data.bin", "/F:4"}, "Invalid find string!\n", 2},
        {"blank between pairs", {"data.bin", "/F:41 42"}, "Invalid find string!\n", 2},
        {"no hex digit", {"data.bin", "/F:4G"}, "Invalid find string!\n", 2},
        {"find error without a file name", {"/f:4G"}, "Invalid find string!\n", 2},
        {"the first error ends parsing", {"/S:x", "/F:4G", "data.bin"}, "Invalid start_offset formula x!\n", 2},
        {"replace error", {"data.bin", "/F:41", "/R:'B'4"}, "Invalid replace string!\n", 2},
        {"find string file missing", {"data.bin", "/FF:missing.txt"}, "Read find string file failed!\n", 5},
        {"find string file content", {"data.bin", "/ff:bad.txt"}, "Invalid find string file string!\n", 2},
        {"replace string file missing",
         {"data.bin", "/F:41", "/RF:missing.txt"},
         "Read replace string file failed!\n",
         5},
        {"replace string file content",
         {"data.bin", "/F:41", "/rf:bad.txt"},
         "Invalid replace string file string!\n",
         2},
        // An empty replace pattern has no last byte to pad with.
        {"empty replace pattern", {"data.bin", "/F:41", "/R:''"}, "Invalid replace string!\n", 2},
        {"empty replace string file",
         {"data.bin", "/F:41", "/RF:empty.txt"},
         "Invalid replace string file string!\n",
         2},
        {"empty /R: then an empty file",
         {"data.bin", "/F:41", "/R:", "/RF:empty.txt"},
         "Invalid replace string file string!\n",
         2},
        {"no memory for a string file",
         {"data.bin", "/FF:abac.txt"},
         "Out of memory!\n",
         4,
         {"SUITE_FAULTS=alloc:1:io"}},
        {"no memory for the scan", {"data.bin", "/F:41"}, "Out of memory!\n", 4, {"SUITE_FAULTS=alloc:1:io"}},
        {"no memory for padding", {"data.bin", "/F:41", "/R:4243"}, "Out of memory!\n", 4, {"SUITE_FAULTS=alloc:1:io"}},
        // "/S" without its colon is the file name.
        {"/S without colon", {"/S", "/F:41"}, "Open source file /S failed!\n", 5},
    };
    check(rows, "xxABABACyy");
    // Nothing was changed, nothing created.
    EXPECT_EQ(get("data.bin"), "xxABABACyy");
}

TEST_F(Mirelk, Find) {
    put("abac.txt", "'ABAC'\r\nFFFF\r\n");
    // 1 TiB, of which only the first line is read.
    ASSERT_TRUE(make_sparse_file(dir.file("huge.txt"), std::int64_t(1) << 40, 0, "'ABAC'\r\n"));
    const std::vector<Row> rows = {
        {"ABAC in ABABAC: the held AB is looked at again", {"data.bin", "/F:'ABAC'"}, finds({4}), 0},
        {"AA in AAA: the third A starts no occurrence", {"data.bin", "/F:'AA'"}, finds({10}), 0},
        {"hex pairs", {"data.bin", "/F:4141"}, finds({10}), 0},
        {"every single byte", {"data.bin", "/F:'A'"}, finds({2, 4, 6, 10, 11, 12}), 0},
        {"options first", {"/F:'A'", "/S:5", "data.bin"}, finds({6, 10, 11, 12}), 0},
        {"last start counts", {"/F:'A'", "/S:1", "/S:11", "data.bin"}, finds({11, 12}), 0},
        {"start inside an occurrence", {"data.bin", "/F:'ABAC'", "/S:5"}, "", 0},
        {"occurrence crossing the end", {"data.bin", "/F:'ABAC'", "/E:6"}, "", 0},
        {"occurrence ending at the end", {"data.bin", "/F:'ABAC'", "/E:7"}, finds({4}), 0},
        {"count", {"data.bin", "/F:'A'", "/S:4", "/C:3"}, finds({4, 6}), 0},
        {"count then end: the nearer one counts", {"data.bin", "/F:'A'", "/C:100", "/E:4"}, finds({2, 4}), 0},
        {"formula", {"data.bin", "/F:'A'", "/s:(1+2)*2", "/c:0x10/2"}, finds({6, 10, 11, 12}), 0},
        {"end beyond the file", {"data.bin", "/F:'zz'", "/E:0x1000"}, finds({13}), 0},
        {"start beyond the file", {"data.bin", "/F:'A'", "/S:0x1000"}, "", 0},
        {"end below start", {"data.bin", "/F:'A'", "/S:10", "/E:2"}, "", 0},
        {"negative count", {"data.bin", "/F:'A'", "/C:-3"}, "", 0},
        {"not there", {"data.bin", "/F:'ABC'"}, "", 0},
        {"pattern longer than the file", {"data.bin", "/F:'xxABABACyyAAAzz!'"}, "", 0},
        {"whole file", {"data.bin", "/F:'xxABABACyyAAAzz'"}, finds({0}), 0},
        {"unclosed quote", {"data.bin", "/F:'yyA"}, finds({8}), 0},
        {"string file, first line only", {"data.bin", "/FF:abac.txt"}, finds({4}), 0},
        {"string file far larger than its first line", {"data.bin", "/FF:huge.txt"}, finds({4}), 0},
        {"second /F ignored, even an invalid one", {"data.bin", "/F:'AA'", "/F:4G"}, finds({10}), 0},
        {"/F after an empty /F", {"data.bin", "/F:", "/F:'ABAC'"}, finds({4}), 0},
        {"/FF after /F ignored", {"data.bin", "/F:'AA'", "/FF:missing.txt"}, finds({10}), 0},
        {"second file name ignored", {"data.bin", "missing.bin", "/F:'AA'"}, finds({10}), 0},
        {"/O without a replace pattern writes nothing", {"data.bin", "/F:'AA'", "/O:out.bin"}, finds({10}), 0},
        {"missing source", {"missing.bin", "/F:41"}, "Open source file missing.bin failed!\n", 5},
        {"negative start", {"data.bin", "/F:41", "/S:-1"}, "Seek data.bin failed!\n", 5},
    };
    check(rows, "xxABABACyyAAAzz");
    EXPECT_FALSE(exists("out.bin"));
    EXPECT_EQ(get("data.bin"), "xxABABACyyAAAzz");
}

// Absolute paths: on POSIX an argument with a second "/" before any ":" is
// a path, not an option; a "/" behind the colon belongs to the value.
TEST_F(Mirelk, AbsolutePaths) {
    const std::string data = "xxABABACyyAAAzz";
    put("data.bin", data);
    const std::string source = native_path(dir.file("data.bin"));
    const std::string destination = native_path(dir.file("out.bin"));
    RunResult result = mirelk({"/F:'AA'", source});
    EXPECT_EQ(result.out, with_line_ends(finds({10}, source)));
    EXPECT_EQ(result.exit_code, 0);
    result = mirelk({source, "/F:'AA'", "/R:'aa'", "/O:" + destination});
    EXPECT_EQ(result.out, with_line_ends(replaces({10}, destination)));
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(get("out.bin"), "xxABABACyyaaAzz");
}

// Bytes 0x00-0xFF as patterns, zero bytes included.
TEST_F(Mirelk, AnyByteValue) {
    std::string data = noise(0x100, 5);
    data.replace(0x40, 4, std::string("\0\xFF\0\x01", 4));
    data.replace(0x80, 3, std::string("'\0'", 3));
    data.replace(0xC0, 2, "\xE9\xFC");          // éü in code page 1252
    data.replace(0xD0, 4, "\xC3\xA9\xC3\xBC");  // éü in UTF-8
    const std::vector<Row> rows = {
        {"quoted text beyond ASCII: the bytes of the system's code page",
         {"data.bin", "/F:'éü'"},
         finds({on_windows() ? 0xC0u : 0xD0u}),
         0},
        {"zero bytes", {"data.bin", "/F:00FF0001"}, finds({0x40}), 0},
        {"quote and zero", {"data.bin", "/F:''''00''''"}, finds({0x80}), 0},
    };
    check(rows, data);
}

// The file after one run, for each way of writing: in place, and with /O.
struct PatchRow {
    const char* name;
    std::vector<std::string> args;  // behind the file name
    std::string find, replace;      // the patterns as padded
    std::size_t from, to;           // the range scanned: [from, to)
    bool copy_before, copy_after;   // which copy phases /O runs
};

TEST_F(Mirelk, Patch) {
    std::string data = noise(0x200, 9);
    data.replace(0x10, 6, "ABABAC");
    data.replace(0x30, 3, "AAA");
    for (std::size_t at : {0x50, 0x100, 0x1FA}) data.replace(at, 6, "MIRELK");
    data.replace(0x1C0, 4, "ABBB");
    const std::size_t size = data.size();
    const std::vector<PatchRow> rows = {
        {"whole file", {"/F:'MIRELK'", "/R:'mirelk'"}, "MIRELK", "mirelk", 0, size, false, false},
        {"AA in AAA", {"/F:'AA'", "/R:'zz'"}, "AA", "zz", 0, size, false, false},
        {"ABAC in ABABAC", {"/F:'ABAC'", "/R:'abac'"}, "ABAC", "abac", 0, size, false, false},
        {"longer replace pattern pads the find pattern", {"/F:'AB'", "/R:'XYZ'"}, "ABB", "XYZ", 0, size, false, false},
        {"shorter replace pattern is padded", {"/F:'ABAC'", "/R:58"}, "ABAC", "XXXX", 0, size, false, false},
        {"hex and text mixed",
         {"/F:4D'IREL'4B", "/R:'M'00'IREL'"},
         "MIRELK",
         std::string("M\0IREL", 6),
         0,
         size,
         false,
         false},
        {"start and end",
         {"/F:'MIRELK'", "/R:'mirelk'", "/S:0x40", "/E:0x105"},
         "MIRELK",
         "mirelk",
         0x40,
         0x106,
         true,
         true},
        {"occurrence crossing the end",
         {"/F:'MIRELK'", "/R:'mirelk'", "/S:0x40", "/E:0x104"},
         "MIRELK",
         "mirelk",
         0x40,
         0x105,
         true,
         true},
        {"start and count",
         {"/F:'MIRELK'", "/R:'mirelk'", "/S:0x20", "/C:0x10"},
         "MIRELK",
         "mirelk",
         0x20,
         0x30,
         true,
         true},
        {"count alone", {"/F:'MIRELK'", "/R:'mirelk'", "/C:0x56"}, "MIRELK", "mirelk", 0, 0x56, false, true},
        {"start 0 copies nothing before",
         {"/F:'MIRELK'", "/R:'mirelk'", "/S:0"},
         "MIRELK",
         "mirelk",
         0,
         size,
         false,
         false},
        {"end beyond the file",
         {"/F:'MIRELK'", "/R:'mirelk'", "/S:0x60", "/E:0x1000"},
         "MIRELK",
         "mirelk",
         0x60,
         size,
         true,
         false},
        {"last byte is the end", {"/F:'MIRELK'", "/R:'mirelk'", "/E:0x1FF"}, "MIRELK", "mirelk", 0, size, false, false},
        // Empty and inverted ranges: the copy keeps the size of the source.
        {"end below start",
         {"/F:'MIRELK'", "/R:'mirelk'", "/S:0x100", "/E:0x10"},
         "MIRELK",
         "mirelk",
         0x100,
         0x100,
         true,
         true},
        {"negative count",
         {"/F:'MIRELK'", "/R:'mirelk'", "/S:0x20", "/C:-5"},
         "MIRELK",
         "mirelk",
         0x20,
         0x20,
         true,
         true},
        {"count 0", {"/F:'MIRELK'", "/R:'mirelk'", "/C:0"}, "MIRELK", "mirelk", 0, 0, false, true},
        {"start at the end of the file",
         {"/F:'MIRELK'", "/R:'mirelk'", "/S:0x200"},
         "MIRELK",
         "mirelk",
         size,
         size,
         true,
         false},
    };
    for (const PatchRow& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_EQ(row.find.size(), row.replace.size());
        const Patched expected = reference_patch(data, row.find, row.replace, row.from, row.to);

        std::vector<std::string> args = {"data.bin"};
        args.insert(args.end(), row.args.begin(), row.args.end());
        put("data.bin", data);
        RunResult result = mirelk(args);
        EXPECT_EQ(result.out, with_line_ends(replaces(expected.positions)));
        EXPECT_EQ(result.exit_code, 0);
        EXPECT_EQ(get("data.bin"), expected.data) << "in place";

        put("data.bin", data);
        put("out.bin", std::string(0x1000, '-'));  // emptied by the run
        args.push_back("/O:out.bin");
        result = mirelk(args);
        EXPECT_EQ(result.out, with_line_ends(std::string(row.copy_before ? COPY_BEFORE + std::string(".\n") : "") +
                                             replaces(expected.positions, "out.bin") +
                                             (row.copy_after ? COPY_AFTER + std::string(".\n") : "")));
        EXPECT_EQ(result.exit_code, 0);
        EXPECT_EQ(get("out.bin"), expected.data) << "with /O";
        EXPECT_EQ(get("data.bin"), data) << "source changed by /O";
    }
}

// Files of several blocks, with occurrences on and around every multiple of
// 4 KiB, so that some cross each block border of the scan and of the copy
// phases whatever their size.
TEST_F(Mirelk, OccurrencesAcrossBlocks) {
    std::string data = noise(0x31000, 21);
    const std::string find = "<OCCURRENCE>";
    const std::string replace = "[replaced!!]";
    for (std::size_t border = 0x1000; border < data.size(); border += 0x1000) {
        std::size_t shift = (border / 0x1000) % (find.size() + 1);  // 0..length: before, across, at the border
        data.replace(border - shift, find.size(), find);
    }
    struct Case {
        std::vector<std::string> range;
        std::size_t from, to;
    } cases[] = {
        {{}, 0, data.size()},
        {{"/S:0x10003", "/E:0x2FFFB"}, 0x10003, 0x2FFFC},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.range.empty() ? "whole file" : c.range[0]);
        const Patched expected = reference_patch(data, find, replace, c.from, c.to);
        ASSERT_GT(expected.positions.size(), 30u);
        std::vector<std::string> args = {"data.bin", "/F:'" + find + "'"};
        args.insert(args.end(), c.range.begin(), c.range.end());

        put("data.bin", data);
        RunResult result = mirelk(args);
        EXPECT_EQ(result.out, with_line_ends(finds(expected.positions)));
        EXPECT_EQ(result.exit_code, 0);

        args.push_back("/R:'" + replace + "'");
        result = mirelk(args);
        EXPECT_EQ(result.out, with_line_ends(replaces(expected.positions)));
        EXPECT_EQ(result.exit_code, 0);
        EXPECT_TRUE(get("data.bin") == expected.data) << "in place";

        put("data.bin", data);
        args.push_back("/O:out.bin");
        result = mirelk(args);
        EXPECT_EQ(result.exit_code, 0);
        EXPECT_TRUE(get("out.bin") == expected.data) << "with /O";
    }
}

// The rows of dots of the copy phases: one dot per 32 KiB block at most,
// together as wide as the line leaves room for.
TEST_F(Mirelk, CopyPhaseProgress) {
    const std::string data = noise(0x28000, 3);
    put("data.bin", data);
    RunResult result = mirelk({"data.bin", "/F:'QQ'", "/R:'qq'", "/O:out.bin", "/S:0x20000", "/E:0x20000"});
    // 4 blocks before the range (33 columns left: 8, 16, 24, 33 marks due),
    // then 0x7FFF bytes in one block.
    EXPECT_EQ(result.out, with_line_ends(std::string(COPY_BEFORE) + "....\n" + COPY_AFTER + ".\n"));
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_TRUE(get("out.bin") == data);

    // 40 blocks, 33 columns: some blocks add no mark, and the row ends
    // exactly at the 79th column.
    const std::string big = noise(40 * 0x8000 + 1, 4);
    put("big.bin", big);
    result = mirelk({"big.bin", "/F:'QQ'", "/R:'qq'", "/O:out.bin", "/S:40*0x8000"});
    EXPECT_EQ(result.out, with_line_ends(std::string(COPY_BEFORE) + std::string(33, '.') + "\n"));
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_TRUE(get("out.bin") == big);
}

TEST_F(Mirelk, SameFileRefused) {
    const std::string data = "xxABABACyy";
    const std::vector<Row> rows = {
        {"same name",
         {"data.bin", "/F:'AB'", "/R:'ab'", "/O:data.bin"},
         "Destination file data.bin is the source file itself!\n",
         2},
        {"another path",
         {"data.bin", "/F:'AB'", "/R:'ab'", "/O:./data.bin"},
         "Destination file ./data.bin is the source file itself!\n",
         2},
        {"with a range",
         {"/O:data.bin", "/S:2", "/F:'AB'", "/R:'ab'", "data.bin"},
         "Destination file data.bin is the source file itself!\n",
         2},
        // Without a replace pattern /O writes nothing: no refusal.
        {"find only", {"data.bin", "/F:'AB'", "/O:data.bin"}, finds({2, 4}), 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        put("data.bin", data);
        RunResult result = mirelk(row.args);
        EXPECT_EQ(result.out, with_line_ends(row.out));
        EXPECT_EQ(result.exit_code, row.exit_code);
        EXPECT_EQ(get("data.bin"), data);
    }
}

TEST_F(Mirelk, Failures) {
    const std::string data = noise(0x100, 11).replace(0x80, 2, "AB");
    const std::vector<Row> rows = {
        {"destination in a missing folder",
         {"data.bin", "/F:'AB'", "/R:'ab'", "/O:nodir/out.bin"},
         "Open destination file nodir/out.bin failed!\n",
         5},
        {"source not writable",
         {"data.bin", "/F:'AB'", "/R:'ab'"},
         "Open source data.bin failed!\n",
         5,
         {"SUITE_FAULTS=open:2:access"}},
        {"source not readable",
         {"data.bin", "/F:'AB'", "/R:'ab'"},
         "Open source file data.bin failed!\n",
         5,
         {"SUITE_FAULTS=open:1:access"}},
        {"seek to start", {"data.bin", "/F:'AB'", "/S:0x10"}, "Seek data.bin failed!\n", 5, {"SUITE_FAULTS=seek:1:io"}},
        {"seek to an occurrence",
         {"data.bin", "/F:'AB'", "/R:'ab'"},
         replaces({0x80}) + "Seek data.bin failed!\n",
         5,
         {"SUITE_FAULTS=seek:1:io"}},
        {"read during the scan", {"data.bin", "/F:'AB'"}, "\nRead data.bin failed!\n", 5, {"SUITE_FAULTS=read:1:io"}},
        {"write of a replace pattern in place",
         {"data.bin", "/F:'AB'", "/R:'ab'"},
         replaces({0x80}) + "Write data.bin failed!\n",
         5,
         {"SUITE_FAULTS=write:1:nospace"}},
        {"write during the scan with /O",
         {"data.bin", "/F:'AB'", "/R:'ab'", "/O:out.bin"},
         replaces({0x80}, "out.bin") + "Write out.bin failed!\n",
         5,
         {"SUITE_FAULTS=write:1:short"}},
        {"write of the last bytes of the scan",
         {"data.bin", "/F:'AB'", "/R:'ab'", "/O:out.bin"},
         replaces({0x80}, "out.bin") + "Write out.bin failed!\n",
         5,
         {"SUITE_FAULTS=write:2:nospace"}},
        {"read before the range",
         {"data.bin", "/F:'AB'", "/R:'ab'", "/O:out.bin", "/S:0x10"},
         std::string(COPY_BEFORE) + "\nRead data.bin failed!\n",
         5,
         {"SUITE_FAULTS=read:1:io"}},
        {"start beyond the end with /O",
         {"data.bin", "/F:'AB'", "/R:'ab'", "/O:out.bin", "/S:0x101"},
         std::string(COPY_BEFORE) + ".\nRead data.bin failed!\n",
         5},
        {"write before the range",
         {"data.bin", "/F:'AB'", "/R:'ab'", "/O:out.bin", "/S:0x10"},
         std::string(COPY_BEFORE) + "\nWrite out.bin failed!\n",
         5,
         {"SUITE_FAULTS=write:1:short"}},
        {"read after the range",
         {"data.bin", "/F:'AB'", "/R:'ab'", "/O:out.bin", "/E:0x7F"},
         std::string(COPY_AFTER) + "Read data.bin failed!\n",
         5,
         {"SUITE_FAULTS=read:2:io"}},
        {"write after the range",
         {"data.bin", "/F:'AB'", "/R:'ab'", "/O:out.bin", "/E:0x7F"},
         std::string(COPY_AFTER) + "Write out.bin failed!\n",
         5,
         {"SUITE_FAULTS=write:2:nospace"}},
        {"closing the destination",
         {"data.bin", "/F:'AB'", "/R:'ab'", "/O:out.bin"},
         replaces({0x80}, "out.bin") + "Write out.bin failed!\n",
         5,
         {"SUITE_FAULTS=close:1:io"}},
        {"closing the source after writing",
         {"data.bin", "/F:'AB'", "/R:'ab'"},
         replaces({0x80}) + "Write data.bin failed!\n",
         5,
         {"SUITE_FAULTS=close:1:io"}},
    };
    check(rows, data);
}

// Offsets beyond 4 GiB on a sparse file; an occurrence across the 4 GiB
// border.
TEST_F(Mirelk, BeyondFourGiB) {
    const std::int64_t base = 0x100000000;
    const std::string name = "sparse.bin";
    ASSERT_TRUE(make_sparse_file(dir.file(name), base + 0x40, base - 2, "MIRELK"));
    // The bytes from base - 0x10 on.
    auto tail = [&] {
        std::ifstream in(dir.file(name), std::ios::binary);
        in.seekg(base - 0x10);
        std::string bytes(0x50, '\0');
        in.read(&bytes[0], 0x50);
        return bytes;
    };
    const std::vector<std::string> near_border = {"/S:0x100000000-0x10", "/E:0x100000000+0x10"};
    std::vector<std::string> args = {name, "/F:'MIRELK'"};
    args.insert(args.end(), near_border.begin(), near_border.end());
    RunResult result = mirelk(args);
    EXPECT_EQ(result.out, with_line_ends(finds({base - 2}, name)));
    EXPECT_EQ(result.exit_code, 0);

    // The range ends inside the occurrence: not found.
    result = mirelk({name, "/F:'MIRELK'", "/S:0xFFFFFF00", "/E:0x100000002"});
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.exit_code, 0);

    args.push_back("/R:'mirelk'");
    result = mirelk(args);
    EXPECT_EQ(result.out, with_line_ends(replaces({base - 2}, name)));
    EXPECT_EQ(result.exit_code, 0);
    std::string expected(0x50, '\0');
    expected.replace(0x0E, 6, "mirelk");
    EXPECT_EQ(tail(), expected);

    // A second occurrence far beyond the border, found from the start.
    ASSERT_TRUE(make_sparse_file(dir.file(name), base + 0x40, base + 0x30, "MIRELK"));
    result = mirelk({name, "/F:'MIRELK'", "/R:'mirelk'", "/S:0x100000000"});
    EXPECT_EQ(result.out, with_line_ends(replaces({base + 0x30}, name)));
    EXPECT_EQ(result.exit_code, 0);
    expected.assign(0x50, '\0');
    expected.replace(0x40, 6, "mirelk");
    EXPECT_EQ(tail(), expected);
}

TEST_F(Mirelk, Japanese) {
    const std::string data = noise(0x100, 13).replace(0x80, 2, "AB");
    put("data.bin", data);
    for (const char* locale : {"ja_JP.UTF-8", "ja_JP.SJIS"}) {
        SCOPED_TRACE(locale);
        const std::string lc_all = std::string("LC_ALL=") + locale;
        auto japanese = [&](const std::string& text) { return with_line_ends(japanese_output(text, locale)); };
        RunResult result = mirelk({}, {lc_all});
        EXPECT_EQ(result.out, japanese(HELP_JAPANESE));
        EXPECT_EQ(result.exit_code, 1);
        result = mirelk({"data.bin", "/F:'AB'"}, {lc_all});
        EXPECT_EQ(result.out, japanese("検索 位置 0000000000000080 data.bin\n"));
        EXPECT_EQ(result.exit_code, 0);
        // The Japanese title is 47 columns wide: 32 columns of dots, one
        // per block here.
        result = mirelk({"data.bin", "/F:'AB'", "/R:'ab'", "/O:out.bin", "/S:0x10", "/E:0x8F"}, {lc_all});
        EXPECT_EQ(result.out, japanese("検索開始位置まで出力ファイルにコピーしています..\n"
                                       "置換 位置 0000000000000080 out.bin\n"
                                       "検索終了位置以降を出力ファイルにコピーしています..\n"));
        EXPECT_EQ(result.exit_code, 0);
        result = mirelk({"data.bin", "/F:'AB'", "/R:''"}, {lc_all});
        EXPECT_EQ(result.out, japanese("置換文字列が正しくありません!\n"));
        EXPECT_EQ(result.exit_code, 2);
    }
}

// Inside quotes a Shift-JIS lead byte takes the next byte with it when the
// system's code page is Shift-JIS; a quote is no trail byte.
TEST_F(Mirelk, DoubleByteCharacters) {
    std::string data = noise(0x40, 17);
    data.replace(0x20, 2, "\x81'");
    data.replace(0x30, 2, "\x83\\");
    put("data.bin", data);
    put("broken.txt", "'\x81''\r\n");
    put("katakana.txt", "'\x83\\'\r\n");
    RunResult result = mirelk({"data.bin", "/FF:broken.txt"});
    EXPECT_EQ(result.out, with_line_ends(finds({0x20})));
    result = mirelk({"data.bin", "/FF:broken.txt"}, {"LC_ALL=ja_JP.SJIS"});
    EXPECT_EQ(result.out, with_line_ends(to_shift_jis("検索文字列ファイルの内容が正しくありません!\n")));
    EXPECT_EQ(result.exit_code, 2);
    for (const char* locale : {"LC_ALL=C", "LC_ALL=ja_JP.SJIS"}) {
        result = mirelk({"data.bin", "/FF:katakana.txt"}, {locale});
        EXPECT_EQ(result.exit_code, 0);
        EXPECT_EQ(result.out, with_line_ends(std::string(locale) == "LC_ALL=C"
                                                 ? finds({0x30})
                                                 : to_shift_jis("検索 位置 0000000000000030 data.bin\n")));
    }
}

TEST_F(Mirelk, OutputGone) {
    // A gigabyte of zeros: an occurrence at every offset.
    ASSERT_TRUE(make_sparse_file(dir.file("zeros.bin"), 1 << 30, 0, std::string(1, '\0')));
    check_output_gone({{"reports without end", {"zeros.bin", "/F:00"}, "", 5}});
}

}  // namespace

// holmic run as a process: whole standard output, exit code, and the files
// it leaves behind.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
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
    "File dump program  Version 1.02\n"
    "       Copyright (C) 2002-2008. All rights reserved.\n"
    "Usage:\n"
    "       HOLMIC filename [/S:start_offset] [/E:end_offset] [/C:count]\n"
    "                       [/M[:lines]] [/T[:outfilename]] [/P:infilename]\n"
    "Option:\n"
    "       /S --- dump start byte-offset of intput file `filename'\n"
    "       /E --- dump end byte-offset of input file `filename'\n"
    "       /C --- dump byte-count of input file `filename'\n"
    "       /M --- pause after display specified `lines'(default:24)\n"
    "       /T --- output binary dump data into file `outfilename'(default:CON)\n"
    "       /P --- over write dump range of `filename' with binary file `infilename'\n"
    "Remark:\n"
    "       start_offset, end_offset, count can be a value or formula with\n"
    "       operator + - * / ( ), value can be decimal or hexa(need prefix`0x')\n"
    "       scroll stop/continue by any key except ESC, stop specified lines by SPC\n"
    "ErrorLevel:\n"
    "       0 --- no error\n"
    "       1 --- missing arguments\n"
    "       2 --- invalid arguments\n"
    "       3 --- operation canceled by typing ESC\n"
    "       4 --- insufficent memory\n"
    "       5 --- file access error\n";

const char HELP_JAPANESE[] =
    "ファイルダンププログラム  Version 1.02\n"
    "       Copyright (C) 2002-2008. All rights reserved.\n"
    "使用方法:\n"
    "       HOLMIC ダンプファイル [/S:開始位置] [/E:終了位置] [/C:データ数]\n"
    "                       [/M[:行数]] [/T[:出力ファイル]] [/P:入力ファイル]\n"
    "オプション:\n"
    "       /S --- ダンプを開始するダンプファイルのバイト位置\n"
    "       /E --- ダンプを終了するダンプファイルのバイト位置\n"
    "       /C --- ダンプを行なうダンプファイルのバイトデータ数\n"
    "       /M --- 指定した行数(省略時:24)表示する毎に停止しキー入力を待つ\n"
    "       /T --- ダンプしたデータを出力ファイル(省略時:画面)に書き出す\n"
    "       /P --- ダンプファイルの指定ダンプ範囲に入力ファイルの内容を書き込む\n"
    "注意:\n"
    "       開始位置,終了位置,データ数は数値もしくは()を含む四則演算式\n"
    "       数値は10進数または0xをつけた16進数\n"
    "       画面表示はESCキー以外のキーで停止/継続,スペースで指定行数表示\n"
    "エラーレベル:\n"
    "       0 --- エラー無し\n"
    "       1 --- パラメータが足りない\n"
    "       2 --- パラメータが不正\n"
    "       3 --- ESCキー入力による中止\n"
    "       4 --- メモリ確保失敗\n"
    "       5 --- ファイルアクセスエラー\n";

// 0x140 bytes: every byte value once, then a line of text.
std::string sample() {
    std::string data;
    for (int i = 0; i < 256; ++i) data += static_cast<char>(i);
    return data + "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abcdefghijklmnopqrstuvwxyz!?";
}

class Holmic : public ToolTest {
protected:
    Holmic() : ToolTest("holmic") {}
    RunResult holmic(const std::vector<std::string>& args, std::vector<std::string> env = {}) {
        return tool(args, std::move(env));
    }
};

TEST_F(Holmic, Ranges) {
    const std::string data = sample();
    put("data.bin", data);
    const std::string blank_line_0x140 = "000000000140: " + std::string(48, ' ') + " " + std::string(16, ' ') + "\n";
    const std::vector<Row> rows = {
        {"whole file", {"data.bin"}, dump_lines(data, 0, 0x140), 0},
        {"start inside a line",
         {"data.bin", "/S:0x13", "/C:5"},
         "000000000010: " + std::string(9, ' ') + "13 14 15 16 17 " + std::string(24, ' ') + " " + "   ....." +
             std::string(8, ' ') + "\n",
         0},
        {"range across a line end, options first",
         {"/S:0x1E", "/C:4", "data.bin"},
         "000000000010: " + std::string(42, ' ') + "1E 1F " + " " + std::string(14, ' ') + "..\n" +
             "000000000020: 20 21 " + std::string(42, ' ') + " " + " !" + std::string(14, ' ') + "\n",
         0},
        {"characters 0x20 to 0x7F as they are, 0x80 and up by the encoding",
         {"data.bin", "/S:0x78", "/C:0x10"},
         "000000000070: " + std::string(24, ' ') + "78 79 7A 7B 7C 7D 7E 7F " + " " + std::string(8, ' ') +
             "xyz{|}~\x7F\n" + "000000000080: 80 81 82 83 84 85 86 87 " + std::string(24, ' ') + " " +
             (dump_shows_high_bytes("C") ? "\x80\x81\x82\x83\x84\x85\x86\x87" : "........") + std::string(8, ' ') +
             "\n",
         0},
        // Written as they are, C2 9B (a C1 control in UTF-8) would drive the
        // terminal; Shift-JIS text shows as its characters.
        {"UTF-8: 0x80 and up as dots",
         {"data.bin", "/S:0x80"},
         dump_lines(data, 0x80, 0x140, 0, "ja_JP.UTF-8"),
         0,
         {"LC_ALL=ja_JP.UTF-8"}},
        {"Shift-JIS: 0x80 and up as they are",
         {"data.bin", "/S:0x80"},
         dump_lines(data, 0x80, 0x140, 0, "ja_JP.SJIS"),
         0,
         {"LC_ALL=ja_JP.SJIS"}},
        {"start past the end, not on a line start", {"data.bin", "/S:0x145"}, blank_line_0x140, 0},
        {"start past the end on a line start", {"data.bin", "/S:0x1000"}, "", 0},
        // Beyond the largest file the system can hold: still past the end.
        {"start past the largest file",
         {"data.bin", "/S:0x1000000000001"},
         dump_lines(data, 0x1000000000001, 0x1000000000001),
         0},
        {"start past the end, the seek refused", {"data.bin", "/S:0x1000"}, "", 0, {"SUITE_FAULTS=seek:1:22"}},
        {"end below start", {"data.bin", "/S:0x20", "/E:0x10"}, "", 0},
        {"count 0", {"data.bin", "/C:0"}, "", 0},
        {"count 0 inside a line", {"data.bin", "/S:0x13", "/C:0"}, dump_lines(data, 0x13, 0x13), 0},
        {"negative count", {"data.bin", "/C:-1"}, "", 0},
        {"end and count without start", {"data.bin", "/E:0xFF", "/C:0x10"}, dump_lines(data, 0xF0, 0x100), 0},
        {"count beyond the end without start", {"data.bin", "/E:0x0F", "/C:0x100"}, dump_lines(data, 0, 0x10), 0},
        {"end comes first", {"data.bin", "/S:0x10", "/E:0x3F", "/C:0x100"}, dump_lines(data, 0x10, 0x40), 0},
        {"count comes first", {"data.bin", "/S:0x10", "/E:0x3F", "/C:5"}, dump_lines(data, 0x10, 0x15), 0},
        {"end alone is inclusive", {"data.bin", "/E:0x20"}, dump_lines(data, 0, 0x21), 0},
        {"formulas, lower case", {"data.bin", "/s:0x10*2", "/c:(3+1)*4"}, dump_lines(data, 0x20, 0x30), 0},
        {"division in a value", {"data.bin", "/S:0x100/2", "/C:0x10"}, dump_lines(data, 0x80, 0x90), 0},
        {"last value counts", {"data.bin", "/S:0x100", "/S:0x130"}, dump_lines(data, 0x130, 0x140), 0},
        {"second file name ignored", {"data.bin", "missing.bin"}, dump_lines(data, 0, 0x140), 0},
        {"/M without a keyboard never stops", {"data.bin", "/M:2", "/C:0x40"}, dump_lines(data, 0, 0x40), 0},
    };
    check(rows);
}

TEST_F(Holmic, ArgumentErrors) {
    put("data.bin", sample());
    const std::vector<Row> rows = {
        {"no arguments", {}, HELP_ENGLISH, 1},
        {"options only", {"/M", "/S:1"}, HELP_ENGLISH, 1},
        {"start formula", {"data.bin", "/S:1+"}, "Invalid start_offset formula 1+!\n", 2},
        {"end formula", {"data.bin", "/E:abc"}, "Invalid end_offset formula abc!\n", 2},
        {"count formula", {"data.bin", "/C:()"}, "Invalid count formula ()!\n", 2},
        {"hex prefix without digits", {"data.bin", "/S:0x 5"}, "Invalid start_offset formula 0x 5!\n", 2},
        {"formula error without a file name", {"/c:1,5"}, "Invalid count formula 1,5!\n", 2},
        {"the first error ends parsing", {"/S:x", "/E:y", "data.bin"}, "Invalid start_offset formula x!\n", 2},
        // "/S" is no option without its colon: it is taken as the file name.
        {"/S without colon", {"/S"}, "Open /S failed!\n", 5},
    };
    check(rows);
}

TEST_F(Holmic, Japanese) {
    put("data.bin", sample());
    for (const char* locale : {"ja_JP.UTF-8", "ja_JP.SJIS"}) {
        SCOPED_TRACE(locale);
        const std::string lc_all = std::string("LC_ALL=") + locale;
        RunResult help = holmic({}, {lc_all});
        EXPECT_EQ(help.out, with_line_ends(japanese_output(HELP_JAPANESE, locale)));
        EXPECT_EQ(help.exit_code, 1);
        RunResult error = holmic({"data.bin", "/S:1+"}, {lc_all});
        EXPECT_EQ(error.out, with_line_ends(japanese_output("開始位置の計算式 1+ が正しくありません!\n", locale)));
        EXPECT_EQ(error.exit_code, 2);
    }
}

TEST_F(Holmic, Failures) {
    const std::string data = sample();
    put("data.bin", data);
    put("in.bin", std::string(0x20, 'Z'));
    put("αβγ.bin", data);
    const std::vector<Row> rows = {
        {"a name no code page spells: opened, shown as the console can",
         {"αβγ.bin"},
         "Read " + shown_name("αβγ.bin") + " failed!\n",
         5,
         {"SUITE_FAULTS=read:1:io"}},
        {"missing dump file", {"missing.bin"}, "Open missing.bin failed!\n", 5},
        {"missing input file", {"data.bin", "/P:nope.bin"}, "Open input file nope.bin failed!\n", 5},
        {"output into a missing folder",
         {"data.bin", "/T:nodir/out.bin"},
         "Open output file nodir/out.bin failed!\n",
         5},
        {"output is the dump file", {"data.bin", "/T:data.bin"}, "Output file data.bin is the dump file itself!\n", 2},
        {"input is the dump file",
         {"data.bin", "/P:./data.bin"},
         "Input file ./data.bin is the dump file itself!\n",
         2},
        {"output is the input file",
         {"data.bin", "/P:in.bin", "/T:./in.bin"},
         "Output file ./in.bin is the input file itself!\n",
         2},
        {"missing dump file, with an output file", {"missing.bin", "/T:out.bin"}, "Open missing.bin failed!\n", 5},
        {"seek to start fails", {"data.bin", "/S:0x10"}, "Seek data.bin failed!\n", 5, {"SUITE_FAULTS=seek:1:io"}},
        {"read fails", {"data.bin"}, "Read data.bin failed!\n", 5, {"SUITE_FAULTS=read:1:io"}},
        {"no memory for the buffer", {"data.bin"}, "Out of memory!\n", 4, {"SUITE_FAULTS=alloc:1:io"}},
        {"short write to the output file",
         {"data.bin", "/T:out.bin"},
         "Write output file out.bin failed!\n",
         5,
         {"SUITE_FAULTS=write:1:short"}},
        // The block is shown before it is overwritten.
        {"short write of the new data",
         {"data.bin", "/P:in.bin"},
         dump_lines(data, 0, 0x20) + "Write data.bin failed!\n",
         5,
         {"SUITE_FAULTS=write:1:short"}},
    };
    check(rows);
    // Refused runs leave the dump file as it was.
    EXPECT_EQ(get("data.bin").size(), data.size());
    EXPECT_EQ(get("data.bin").substr(0x20), data.substr(0x20));
}

TEST_F(Holmic, RefusalsLeaveTheFileAlone) {
    const std::string data = sample();
    const std::string input(0x40, 'Z');
    put("data.bin", data);
    put("in.bin", input);
    put("kept.bin", "kept");
    std::filesystem::create_hard_link(dir.file("in.bin"), dir.file("in-link.bin"));
    for (std::vector<std::string> args : {std::vector<std::string>{"data.bin", "/T:data.bin", "/P:in.bin"},
                                          {"data.bin", "/P:./data.bin"},
                                          {"data.bin", "/P:in.bin", "/C:0"},
                                          {"data.bin", "/P:in.bin", "/S:0x20", "/E:0x10"},
                                          // The copy to restore from is never the output.
                                          {"data.bin", "/P:in.bin", "/T:in.bin"},
                                          {"data.bin", "/P:in.bin", "/T:in-link.bin"},
                                          // The output is created only when there is data for it.
                                          {"missing.bin", "/T:kept.bin"},
                                          {"data.bin", "/S:-1", "/T:kept.bin"},
                                          {"data.bin", "/S:0x1000", "/T:kept.bin"},
                                          {"data.bin", "/P:missing.bin", "/T:kept.bin"}}) {
        SCOPED_TRACE(args.back());
        holmic(args);
        EXPECT_EQ(get("data.bin"), data);
        EXPECT_EQ(get("in.bin"), input);
        EXPECT_EQ(get("kept.bin"), "kept");
    }
}

TEST_F(Holmic, OutputGone) {
    // Eight blocks; the first one's dump lines alone are more than a pipe holds.
    const std::string data = pseudo_random(0x40000, 5);
    put("data.bin", data);
    put("new.bin", std::string(data.size(), 'Z'));
    check_output_gone({
        {"endless dump", {"/dev/zero"}, "", 5},
        {"endless raw output", {"/dev/zero", "/T"}, "", 5},
        {"overwrite", {"data.bin", "/P:new.bin"}, "", 5},
    });
    // No block was overwritten: its old bytes never reached anyone.
    EXPECT_EQ(get("data.bin"), data);
}

TEST_F(Holmic, ReadFailureAfterTheFirstBlock) {
    // Two blocks of 32 KiB: the first is shown, then the failure ends the dump.
    const std::string data = pseudo_random(0x8000 + 0x123, 7);
    put("big.bin", data);
    RunResult whole = holmic({"big.bin"});
    EXPECT_EQ(whole.out, with_line_ends(dump_lines(data, 0, data.size())));
    EXPECT_EQ(whole.exit_code, 0);
    // The message comes at the failure; the partial line when the dump ends.
    RunResult failed = holmic({"big.bin", "/S:8"}, {"SUITE_FAULTS=read:2:io"});
    EXPECT_EQ(failed.out, with_line_ends(dump_lines(data, 8, 0x8000) + "Read big.bin failed!\n" +
                                         dump_lines(data, 0x8000, 0x8008)));
    EXPECT_EQ(failed.exit_code, 5);
}

TEST_F(Holmic, RawOutputToFile) {
    const std::string data = sample();
    put("data.bin", data);
    put("out.bin", std::string(1000, 'x'));  // truncated by the run
    RunResult result = holmic({"data.bin", "/T:out.bin", "/S:0x10", "/C:0x20"});
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(get("out.bin"), data.substr(0x10, 0x20));

    result = holmic({"data.bin", "/t:whole.bin"});
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(get("whole.bin"), data);
}

TEST_F(Holmic, RawOutputToConsole) {
    const std::string text = "first line\nsecond line\n\nlast line without end";
    put("text.txt", text);
    // Without a keyboard the page stops of /M run on; redirected output
    // gets the bytes unchanged (no line-end translation on any system).
    RunResult result = holmic({"text.txt", "/T", "/M:1"});
    EXPECT_EQ(result.out, text);
    EXPECT_EQ(result.exit_code, 0);
    result = holmic({"text.txt", "/TYPE", "/S:6", "/C:4"});
    EXPECT_EQ(result.out, "line");
    EXPECT_EQ(result.exit_code, 0);
}

TEST_F(Holmic, Overwrite) {
    const std::string data = sample();
    const std::string input = pseudo_random(0x25, 3);
    put("in.bin", input);

    // The input is shorter than the range: only its bytes are shown (the old
    // contents) and written; the file keeps its length.
    put("data.bin", data);
    RunResult result = holmic({"data.bin", "/P:in.bin", "/S:0x10", "/C:0x100"});
    EXPECT_EQ(result.out, with_line_ends(dump_lines(data, 0x10, 0x35)));
    EXPECT_EQ(result.exit_code, 0);
    std::string expected = data;
    expected.replace(0x10, input.size(), input);
    EXPECT_EQ(get("data.bin"), expected);

    // The range ends first; the old bytes go to /T's file.
    put("data.bin", data);
    result = holmic({"data.bin", "/P:in.bin", "/T:old.bin", "/S:0x100", "/E:0x10F"});
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(get("old.bin"), data.substr(0x100, 0x10));
    expected = data;
    expected.replace(0x100, 0x10, input.substr(0, 0x10));
    EXPECT_EQ(get("data.bin"), expected);

    // The file ends first: it is never extended.
    put("data.bin", data);
    result = holmic({"data.bin", "/P:in.bin", "/S:0x130"});
    EXPECT_EQ(result.out, with_line_ends(dump_lines(data, 0x130, 0x140)));
    expected = data;
    expected.replace(0x130, 0x10, input.substr(0, 0x10));
    EXPECT_EQ(get("data.bin"), expected);
}

TEST_F(Holmic, BeyondFourGiB) {
    const std::int64_t base = 0x100000000;
    const std::string known = "\x01sparse\xFF tail!\x7F\x10";  // 16 bytes at base + 0x10
    ASSERT_EQ(known.size(), 16u);
    ASSERT_TRUE(make_sparse_file(dir.file("sparse.bin"), base + 0x20, base + 0x10, known));
    const std::string tail = std::string(16, '\0') + known;  // the file from base on

    RunResult result = holmic({"sparse.bin", "/S:0x100000000", "/C:0x20"});
    EXPECT_EQ(result.out,
              with_line_ends("000100000000: 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00  ................\n"
                             "000100000010: 01 73 70 61 72 73 65 FF 20 74 61 69 6C 21 7F 10  .sparse" +
                             std::string(dump_shows_high_bytes("C") ? "\xFF" : ".") + " tail!\x7F.\n"));
    EXPECT_EQ(result.exit_code, 0);

    // Without /C the dump runs to the end of the file.
    result = holmic({"sparse.bin", "/S:0x100000000+0x18"});
    EXPECT_EQ(result.out, with_line_ends(dump_lines(tail, base + 0x18, base + 0x20, base)));
    EXPECT_EQ(result.exit_code, 0);
}

}  // namespace

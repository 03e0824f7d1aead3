// tolven run as a process: whole standard output, standard error and exit
// code. Sorted output is checked against a model of the key rule written
// here (and on POSIX against GNU sort) on randomised inputs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "support/files.h"
#include "support/process.h"
#include "support/temp_dir.h"
#include "support/text.h"

namespace {

using namespace testsupport;

const char HELP_ENGLISH[] =
    "Large text file sort program  Version 1.00\n"
    "       Copyright (C) 2008. All rights reserved.\n"
    "Usage:\n"
    "       TOLVEN [/I{0|1|2}] [/N] [/O] [/R] [/Tn] [/+n] [/-n] [input_file]\n"
    "Option:\n"
    "       /I0 --- don't ignore case\n"
    "       /I1 --- ignore case to upper (default)\n"
    "       /I2 --- ignore case to lower\n"
    "       /Tn --- truncate at 'n'th column\n"
    "       /R ---- reversal sort\n"
    "       /P ---- show progress\n"
    "       /+n --- sort start by 'n'th column \n"
    "       /-n --- sort end by 'n'th column \n"
    "Remark:\n"
    "       Sorting stream pipe requires diskspace for create temporary file.\n"
    "ErrorLevel:\n"
    "       0 --- no error\n"
    "       1 --- missing arguments\n"
    "       2 --- invalid arguments\n"
    "       3 --- operation canceled by typing ESC\n"
    "       4 --- insufficent memory\n"
    "       5 --- file access error\n"
    "       6 --- memroy operation error\n";

const char HELP_JAPANESE[] =
    "巨大テキストファイルソートプログラム  Version 1.00\n"
    "       Copyright (C) 2008. All rights reserved.\n"
    "使用方法:\n"
    "       TOLVEN [/I{0|1|2}] [/N] [/O] [/R] [/Tn] [/+n] [/-n] [入力ファイル]\n"
    "オプション:\n"
    "       /I0 --- 大文字と小文字を区別\n"
    "       /I1 --- 小文字を大文字に変換(デフォルト)\n"
    "       /I2 --- 大文字を小文字に変換\n"
    "       /Tn --- 入力行をn桁で切り捨て\n"
    "       /R ---- 逆順にソート\n"
    "       /P ---- 進行状況を表示\n"
    "       /+n --- 比較をn桁目から開始\n"
    "       /-n --- 比較をn桁目で終了\n"
    "注意:\n"
    "       入力がパイプの時は一時ファイルを作成するディスクスペースが必要\n"
    "エラーレベル:\n"
    "       0 --- エラー無し\n"
    "       1 --- パラメータが足りない\n"
    "       2 --- パラメータが不正\n"
    "       3 --- ESCキー入力による中止\n"
    "       4 --- メモリ確保失敗\n"
    "       5 --- ファイルアクセスエラー\n"
    "       6 --- メモリ操作エラー\n";

// One run: arguments, the input file's contents (named "in.txt"; given as
// standard input when from_stdin is set), and everything expected, with "\n"
// line ends.
struct Row {
    const char* name;
    std::vector<std::string> args;
    std::string input;
    std::string out;
    std::string err;
    int exit_code;
    std::vector<std::string> env = {};
    bool from_stdin = false;
};

class Tolven : public ::testing::Test {
protected:
    RunResult tolven(const std::vector<std::string>& args, std::vector<std::string> env = {},
                     const std::string& input_file = "") {
        RunOptions options = options_in(dir.path(), std::move(env));
        options.input_file = input_file;
        options.timeout_ms = 120000;
        RunResult result = run(program_path("tolven"), args, options);
        EXPECT_FALSE(result.timed_out);
        return result;
    }
    void put(const std::string& name, const std::string& bytes) { ASSERT_TRUE(write_file(dir.file(name), bytes)); }
    void check(const std::vector<Row>& rows) {
        for (const Row& row : rows) {
            SCOPED_TRACE(row.name);
            put("in.txt", row.input);
            RunResult result = tolven(row.args, row.env, row.from_stdin ? dir.file("in.txt") : "");
            EXPECT_EQ(result.out, row.out);
            EXPECT_EQ(result.err, with_line_ends(row.err));
            EXPECT_EQ(result.exit_code, row.exit_code);
        }
    }
    // Expected sorted output: lines with the platform's line end.
    static std::string lines(const std::vector<std::string>& texts) {
        std::string out;
        for (const std::string& text : texts) out += text + line_end();
        return out;
    }

    TempDir dir;
};

TEST_F(Tolven, HelpScreen) {
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"/?"}, {"in.txt", "/?", "/I9", "x"}, {"/P", "/?"}}) {
        RunResult result = tolven(args);
        EXPECT_EQ(result.out, with_line_ends(HELP_ENGLISH));
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.exit_code, 1);
    }
    for (const char* locale : {"ja_JP.UTF-8", "ja_JP.SJIS"}) {
        SCOPED_TRACE(locale);
        RunResult result = tolven({"/?"}, {std::string("LC_ALL=") + locale});
        EXPECT_EQ(result.out, with_line_ends(japanese_output(HELP_JAPANESE, locale)));
        EXPECT_EQ(result.exit_code, 1);
    }
}

TEST_F(Tolven, InvalidArguments) {
    const std::string input = "b\na\n";
    check({
        {"/I3", {"/I3", "in.txt"}, input, "", "/I option is invalid!\n", 2},
        {"/I-1", {"/i-1"}, input, "", "/I option is invalid!\n", 2},
        {"/T0", {"/T0", "in.txt"}, input, "", "Trancate column is invalid!\n", 2},
        {"/T without a value", {"/t"}, input, "", "Trancate column is invalid!\n", 2},
        {"/+0", {"/+0"}, input, "", "Sort start column is invalid!\n", 2},
        {"/-x", {"in.txt", "/-x"}, input, "", "Sort end column is invalid!\n", 2},
        {"start after end", {"/+5", "/-3", "in.txt"}, input, "", "Sort start column is bigger than end column!\n", 2},
        {"two files", {"in.txt", "other.txt"}, input, "", "Unknown arguments are detected!\n", 2},
        {"first failure decides", {"/I7", "/?"}, input, "", "/I option is invalid!\n", 2},
        {"/R2 is a file name", {"/R2"}, input, "", "Open input file failed!\n", 5},
        {"missing file", {"none.txt"}, input, "", "Open input file failed!\n", 5},
        {"Japanese",
         {"/T0"},
         input,
         "",
         japanese_output("切り捨て桁の指定が間違っています!\n", "ja_JP.UTF-8"),
         2,
         {"LC_ALL=ja_JP.UTF-8"}},
    });
}

TEST_F(Tolven, Sorting) {
    const std::string words = "pear\nApple\nfig\napple\n\nBanana\nAPPLE\nbanana\n";
    const std::string dbcs = "z\n\xb1\n\x82\xa0\n\x81\x40\n~\n";
    check({
        {"ignore case to upper: stable",
         {"in.txt"},
         words,
         lines({"", "Apple", "apple", "APPLE", "Banana", "banana", "fig", "pear"}),
         "",
         0},
        {"reverse is the exact reverse",
         {"/R", "in.txt"},
         words,
         lines({"pear", "fig", "banana", "Banana", "APPLE", "apple", "Apple", ""}),
         "",
         0},
        {"case as is",
         {"/I0", "in.txt"},
         words,
         lines({"", "APPLE", "Apple", "Banana", "apple", "banana", "fig", "pear"}),
         "",
         0},
        {"/I alone is /I0",
         {"/I", "in.txt"},
         words,
         lines({"", "APPLE", "Apple", "Banana", "apple", "banana", "fig", "pear"}),
         "",
         0},
        {"ignore case to lower", {"/I2", "in.txt"}, "a\n_\nB\n", lines({"_", "a", "B"}), "", 0},
        {"ignore case to upper puts _ after letters", {"in.txt"}, "_\nb\nA\n", lines({"A", "b", "_"}), "", 0},
        {"columns 3 to 5",
         {"/+3", "/-6", "in.txt"},
         "xxbbb9\nyyaaa1\nzz\nwwbbb0\nq\n",
         lines({"zz", "q", "yyaaa1", "xxbbb9", "wwbbb0"}),
         "",
         0},
        {"empty column range keeps input order",
         {"/+3", "/-3", "in.txt"},
         "b1\nccc\na\nddd9\nbbb\n",
         lines({"b1", "a", "ccc", "ddd9", "bbb"}),
         "",
         0},
        {"budget 0: empty lines first",
         {"/+1", "/-1", "in.txt"},
         "b\n\na\n\nc\n",
         lines({"", "", "b", "a", "c"}),
         "",
         0},
        {"budget 0 reversed", {"/+1", "/-1", "/R", "in.txt"}, "b\n\na\n\nc\n", lines({"c", "a", "b", "", ""}), "", 0},
        // Text is Shift-JIS under a Shift-JIS locale, and always in the
        // Windows build.
        {"double-byte after single bytes",
         {"/I0", "in.txt"},
         dbcs,
         lines({"z", "~", "\xb1", "\x81\x40", "\x82\xa0"}),
         "",
         0,
         {"LC_ALL=ja_JP.SJIS"}},
        {"truncation keeps double-byte characters whole",
         {"/T4", "in.txt"},
         "abc\x82\xa0yz\nabcdefg\nab\n",
         lines({"ab", "abcd", "abc"}),
         "",
         0,
         {"LC_ALL=ja_JP.SJIS"}},
        {"/N and /O change nothing", {"/n", "/O", "in.txt"}, "b\na\n", lines({"a", "b"}), "", 0},
        {"/A takes a number and is ignored", {"/A100", "in.txt"}, "b\na\n", lines({"a", "b"}), "", 0},
        {"options after the file", {"in.txt", "/r"}, "b\na\n", lines({"b", "a"}), "", 0},
        {"every line end becomes the platform's",
         {"in.txt"},
         "c\r\nb\r\r\na\rx\nd",
         lines({"a\rx", "b", "c", "d"}),
         "",
         0},
        {"NUL bytes stay, with a warning",
         {"in.txt"},
         std::string("b\0b\na\n\0z", 8),
         lines({std::string("\0z", 2), "a", std::string("b\0b", 3)}),
         "Warning: input file contains 2 null characters.\n",
         0},
        {"standard input", {}, "b\nc\na", lines({"a", "b", "c"}), "", 0, {}, true},
        {"standard input with NULs",
         {"/R"},
         std::string("a\0\nb\n", 5),
         lines({"b", std::string("a\0", 2)}),
         "Warning: input stream contains 1 null characters.\n",
         0,
         {},
         true},
        {"empty file", {"in.txt"}, "", "", "", 0},
        {"empty standard input",
         {"/P"},
         "",
         "",
         "Scanning input stream...\n\nTotal 0 lines, max line size 0 bytes, memory 0 bytes allocated.\n",
         0,
         {},
         true},
        {"one line", {"in.txt"}, "only", lines({"only"}), "", 0},
    });
}

TEST_F(Tolven, EmptyStandardInput) {
    // The null device: no lines, no output.
    RunResult result = tolven({});
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.exit_code, 0);
}

TEST_F(Tolven, Progress) {
    // 4 lines: 2 blocks of 2 lines. Marks: 79 for the scan, 79 * 1 / 2 after
    // the primary blocks, 79 * 3 / 4 during the merge.
    const std::string marks_scan(79, '>'), marks_primary(39, '>'), marks_merge(59, '>');
    // What /P shows in English; kind names the input ("file" or "stream").
    auto english = [&](const std::string& kind) {
        return "Scanning input " + kind + "...\n" + marks_scan +
               "\n"
               "Total 4 lines, max line size 3 bytes, memory 64 bytes allocated.\n"
               "Sorting primary...\n" +
               marks_primary +
               "\n"
               "Memory 128 bytes allocated, max 6 bytes used temporary for 2 blocks.\n"
               "Sorting secondary...\n" +
               marks_merge +
               "\n"
               "Done, used another memory 24 and 4096 bytes.\n";
    };
    check({
        {"English", {"/P", "in.txt"}, "d\nbb\nccc\na\n", lines({"a", "bb", "ccc", "d"}), english("file"), 0},
        // Standard input from a file: its length is known, and the marks
        // follow the helper that scans the spooled pieces.
        {"standard input", {"/P"}, "d\nbb\nccc\na\n", lines({"a", "bb", "ccc", "d"}), english("stream"), 0, {}, true},
        {"Japanese",
         {"/p", "in.txt"},
         "d\nbb\nccc\na\n",
         lines({"a", "bb", "ccc", "d"}),
         japanese_output("入力ファイルを走査中...\n" + marks_scan +
                             "\n"
                             "合計 4 行, 最長行 3 バイト, メモリ使用量 64 バイト.\n"
                             "一次ソート中...\n" +
                             marks_primary +
                             "\n"
                             "メモリ使用量 128 バイト, 2個のブロックへの最大一時使用量 6 バイト.\n"
                             "二次ソート中...\n" +
                             marks_merge +
                             "\n"
                             "終了, メモリ追加使用量24,4096バイト.\n",
                         "ja_JP.UTF-8"),
         0,
         {"LC_ALL=ja_JP.UTF-8"}},
    });
}

// Failures injected into the platform layer (SUITE_FAULTS): each message,
// each exit code, and what reached standard output.
TEST_F(Tolven, Failures) {
    const std::string input = "d\nbb\nccc\na\n";
    // Lines of 2000 bytes: a slot holds one of them, so the merge reads a
    // block's next line from the source after its first line went out.
    std::string long_input;
    for (char c : std::string("ihgfedcba")) long_input += std::string(2000, c) + "\n";
    const std::string all = lines({"a", "bb", "ccc", "d"});
    // 16 blocks of 16 lines: sorted and merged on two cores. The first half's
    // short lines stay in their slots; the second half's long lines are read
    // back one at a time, the first of them by the 155th read (2 in the scan,
    // 16 blocks, 136 lines into the slots).
    std::string halves_input;
    for (int i = 0; i < 128; ++i) halves_input += "a\n";
    for (int i = 0; i < 128; ++i) halves_input += std::string(2000, 'b') + "\n";
    auto faults = [](const std::string& value) { return std::vector<std::string>{"SUITE_FAULTS=" + value}; };
    check({
        {"read error in the scan", {"in.txt"}, input, "", "Read Input file failed!\n", 5, faults("read:1:io")},
        {"read error of standard input", {}, input, "", "Read Input stream failed!\n", 5, faults("read:1:io"), true},
        {"short block read",
         {"in.txt"},
         input,
         "",
         "Read Input file 4 bytes at offset 0 results in 2 bytes!\n",
         5,
         faults("read:3:short")},
        {"short block read, Japanese",
         {"in.txt"},
         input,
         "",
         japanese_output("入力ファイル位置0の4バイトを2バイトしか読み出せません!\n", "ja_JP.UTF-8"),
         5,
         {"SUITE_FAULTS=read:3:short", "LC_ALL=ja_JP.UTF-8"}},
        {"line read fails before any output",
         {"in.txt"},
         input,
         "",
         "Read Input file failed!\n",
         5,
         faults("read:5:io")},
        {"line read fails in the merge: lines written stay",
         {},
         long_input,
         lines({std::string(2000, 'a'), std::string(2000, 'b')}),
         "Read temporary file failed!\n",
         5,
         faults("read:10:io"),
         true},
        // Lines are read back through the handle that was scanned: the
        // name is never opened again (it may name another file by then).
        {"no second open of the input", {"in.txt"}, input, all, "", 0, faults("open:2:io")},
        {"spool file", {}, input, "", "Create temporary file failed!\n", 5, faults("open:1:io"), true},
        {"spool file full", {}, input, "", "Write temporary file failed!\n", 5, faults("write:1:nospace"), true},
        {"spool file full after the ring of pieces went round",
         {},
         std::string(5300000, 'x') + "\n",
         "",
         "Write temporary file failed!\n",
         5,
         faults("write:6:nospace"),
         true},
        {"scan buffer", {"in.txt"}, input, "", "Out of memory!\n", 4, faults("alloc:1:io")},
        {"index", {"in.txt"}, input, "", "Out of memory or lock buffer failed!\n", 6, faults("alloc:2:io")},
        {"index of standard input",
         {},
         input,
         "",
         "Out of memory or lock buffer failed!\n",
         6,
         faults("alloc:2:io"),
         true},
        {"block table", {"in.txt"}, input, "", "Out of memory for block table!\n", 4, faults("alloc:3:io")},
        {"primary sort", {"in.txt"}, input, "", "Out of memory 48 bytes for primary sort!\n", 4, faults("alloc:4:io")},
        {"primary block", {"in.txt"}, input, "", "Out of memory 6 bytes for primary sort!\n", 4, faults("alloc:6:io")},
        {"slots", {"in.txt"}, input, "", "Out of memory 4096 bytes for secondary sort!\n", 4, faults("alloc:7:io")},
        {"order list", {"in.txt"}, input, "", "Out of memory for index!\n", 4, faults("alloc:8:io")},
        {"the helper's sort memory",
         {"in.txt"},
         halves_input,
         "",
         "Out of memory 384 bytes for primary sort!\n",
         4,
         faults("alloc:5:io")},
        {"the merge workers' chunks",
         {"in.txt"},
         halves_input,
         "",
         "Out of memory 6291456 bytes for secondary sort!\n",
         4,
         faults("alloc:25:io")},
        {"a merge worker's line read fails: the lines before it stay",
         {"in.txt"},
         halves_input,
         lines(std::vector<std::string>(128, "a")) + lines({std::string(2000, 'b')}),
         "Read Input file failed!\n",
         5,
         faults("read:155:io")},
        {"closing the input", {"in.txt"}, input, all, "Close input file error !\n", 0, faults("close:1:io")},
        {"one handle on the input, closed once", {"in.txt"}, input, all, "", 0, faults("close:2:io")},
    });
}

// Random lines of printable characters without blanks.
std::vector<std::string> random_lines(std::size_t count, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<std::string> out;
    for (std::size_t i = 0; i < count; ++i) {
        std::string line(random() % 12, ' ');
        // A small alphabet of each kind, so that equal keys are common.
        for (char& c : line) c = "aAbBzZ_~!09["[random() % 12];
        out.push_back(line);
    }
    return out;
}

// The key rule for single-byte text: fold, take columns [start, end), lines
// that do not reach the start column first; stable.
std::vector<std::string> model_sort(std::vector<std::string> input, int case_mode, std::size_t start, std::size_t end,
                                    bool reverse) {
    auto key = [&](const std::string& line) {
        std::string folded = line.size() > start ? line.substr(start, end - start) : "";
        for (char& c : folded) {
            if (case_mode == 1 && c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
            if (case_mode == 2 && c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
        }
        return std::make_pair(line.size() > start, folded);
    };
    std::stable_sort(input.begin(), input.end(),
                     [&](const std::string& a, const std::string& b) { return key(a) < key(b); });
    if (reverse) std::reverse(input.begin(), input.end());
    return input;
}

std::string joined(const std::vector<std::string>& texts, const std::string& end) {
    std::string out;
    for (const std::string& text : texts) out += text + end;
    return out;
}

TEST_F(Tolven, RandomInputMatchesTheKeyRule) {
    struct Case {
        std::vector<std::string> args;
        int case_mode;
        std::size_t start, end;
        bool reverse;
    };
    const std::size_t ALL = 0x7FFFFFFF;
    const Case cases[] = {
        {{}, 1, 0, ALL, false},           {{"/R"}, 1, 0, ALL, true},        {{"/I0"}, 0, 0, ALL, false},
        {{"/I2", "/R"}, 2, 0, ALL, true}, {{"/+3", "/-6"}, 1, 2, 5, false}, {{"/+3", "/-6", "/R"}, 1, 2, 5, true},
        {{"/+2"}, 1, 1, ALL, false},
    };
    const std::vector<std::string> input = random_lines(200000, 11);
    put("in.txt", joined(input, "\n"));
    for (const Case& c : cases) {
        std::vector<std::string> args = c.args;
        args.push_back("in.txt");
        SCOPED_TRACE(::testing::PrintToString(args));
        RunResult result = tolven(args);
        EXPECT_EQ(result.exit_code, 0);
        EXPECT_EQ(result.err, "");
        // Whole outputs, compared without printing a megabyte on failure.
        EXPECT_TRUE(result.out == joined(model_sort(input, c.case_mode, c.start, c.end, c.reverse), line_end()));
    }
    // The same through standard input.
    RunResult piped = tolven({"/R"}, {}, dir.file("in.txt"));
    EXPECT_EQ(piped.exit_code, 0);
    EXPECT_TRUE(piped.out == joined(model_sort(input, 1, 0, ALL, true), line_end()));
}

bool windows_build() {
    const std::string path = program_path("tolven");
    return path.size() > 4 && path.compare(path.size() - 4, 4, ".exe") == 0;
}

// Runs a shell command line in the test's folder (POSIX only).
RunResult shell(const TempDir& dir, const std::string& command) {
    RunOptions options;
    options.cwd = dir.path();
    options.env = {"LC_ALL=C"};
    options.timeout_ms = 120000;
    return run("/bin/sh", {"-c", command}, options);
}

// What users compare against: GNU sort, stable, in the C locale, on
// printable text without blanks (one field per line). Some characters are
// UTF-8 sequences, whose bytes also take the values of Shift-JIS lead bytes:
// outside a Shift-JIS locale they sort by bytes, as sort does.
TEST_F(Tolven, SameAsGnuSort) {
    if (windows_build()) GTEST_SKIP() << "GNU sort is a POSIX tool";
    const char* const multibyte[] = {"\xe2\x80\x9c", "\xe2\x80\x9d", "\xc3\xa9",
                                     "\xc3\x89",     "\xe6\x97\xa5", "\xf0\x9f\x98\x80"};
    std::mt19937 random(5);
    // \xe2\x80\x9c is a left double quotation mark: "a sorts before "B.
    std::string input =
        "\xe2\x80\x9c"
        "B\n"
        "\xe2\x80\x9c"
        "a\n";
    for (int i = 0; i < 300000; ++i) {
        for (int n = static_cast<int>(random() % 9); n > 0; --n) {
            const auto pick = static_cast<std::size_t>(random() % 100);
            if (pick < std::size(multibyte))
                input += multibyte[pick];
            else
                input += static_cast<char>('!' + random() % 94);
        }
        input += '\n';
    }
    put("in.txt", input);
    const std::string program = "'" + program_path("tolven") + "'";
    struct Case {
        std::string tolven, sort;
    };
    const Case cases[] = {
        {"", "-f"},
        {"/I0", ""},
        {"/+3 /-6", "-f -k1.3,1.5"},
        {"/I0 /+2", "-k1.2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tolven);
        RunResult mine = shell(dir, program + " " + c.tolven + " in.txt");
        RunResult theirs = shell(dir, "sort -s " + c.sort + " in.txt");
        ASSERT_EQ(mine.exit_code, 0);
        ASSERT_EQ(theirs.exit_code, 0);
        EXPECT_TRUE(mine.out == theirs.out);
        // Through a pipe, and reversed: the exact reverse.
        RunResult piped = shell(dir, "cat in.txt | " + program + " /R " + c.tolven);
        std::vector<std::string> forward, backward;
        for (std::size_t at = 0, lf; (lf = mine.out.find('\n', at)) != std::string::npos; at = lf + 1)
            forward.push_back(mine.out.substr(at, lf - at));
        std::reverse(forward.begin(), forward.end());
        EXPECT_TRUE(piped.out == joined(forward, "\n"));
        EXPECT_EQ(piped.err, "");
    }
}

TEST_F(Tolven, PosixCommandLine) {
    if (windows_build()) GTEST_SKIP() << "POSIX paths and streams";
    put("in.txt", "b\na\n");
    // An absolute path is a file name, not the option /A.
    RunResult result = tolven({dir.file("in.txt")});
    EXPECT_EQ(result.out, "a\nb\n");
    EXPECT_EQ(result.exit_code, 0);
    put("-x", "d\nc\n");
    result = tolven({"/R", "--", "-x"});
    EXPECT_EQ(result.out, "d\nc\n");
    const std::string program = "'" + program_path("tolven") + "' ";
    struct ShellRow {
        const char* name;
        std::string command, out, err;
        int exit_code;
    };
    const ShellRow rows[] = {
        {"a full disk on the last buffered lines is a failure", program + "in.txt >/dev/full", "",
         "Write output file failed!\n", 5},
        // Inputs that can be read only once are spooled like standard input.
        {"standard input by name", "printf 'b\\na\\n' | " + program + "/dev/stdin", "a\nb\n", "", 0},
        {"a pipe by name, as <(command) gives", "printf 'b\\na\\n' | " + program + "/dev/fd/3 3<&0", "a\nb\n", "", 0},
        {"a named pipe", "mkfifo fifo; printf 'b\\na\\n' >fifo & " + program + "fifo", "a\nb\n", "", 0},
        // UTF-8 text (\342\200\234 is a left double quotation mark): bytes
        // with ASCII case folding, and /T cuts before a whole character.
        {"UTF-8 by bytes", "printf '\\342\\200\\234B\\n\\342\\200\\234a\\n' | " + program,
         "\xe2\x80\x9c"
         "a\n"
         "\xe2\x80\x9c"
         "B\n",
         "", 0},
        {"/T and UTF-8", "printf 'x\\342\\200\\234a\\n\\342\\200\\234B\\nab\\342\\200\\234\\n' | " + program + "/T3",
         "ab\nx\n\xe2\x80\x9c\n", "", 0},
    };
    for (const ShellRow& row : rows) {
        SCOPED_TRACE(row.name);
        result = shell(dir, row.command);
        EXPECT_EQ(result.out, row.out);
        EXPECT_EQ(result.err, row.err);
        EXPECT_EQ(result.exit_code, row.exit_code);
    }
}

TEST_F(Tolven, OutputGone) {
    // Far more sorted output than a pipe holds.
    std::string text;
    for (int i = 200000; i > 0; --i) text += "line " + std::to_string(i) + "\n";
    put("big.txt", text);
    expect_end_when_output_gone("tolven", dir.path(), {"big.txt"}, 5);
}

}  // namespace

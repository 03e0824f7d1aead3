#include "nevrik/nevrik.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/console.h"
#include "platform/file.h"
#include "platform/output.h"
#include "platform/text.h"
#include "rangekit/tool_frame.h"

namespace nevrik {
namespace {

using namespace rangekit;
using plat::Message;

// Result codes: equal or not over the compared range, and how the whole
// file sizes relate.
enum CompareResult {
    COMPARE_EQUAL_SAME_SIZE = 0,
    COMPARE_EQUAL_FILE1_SMALLER = 10,
    COMPARE_EQUAL_FILE1_LARGER = 11,
    COMPARE_DIFFER_SAME_SIZE = 12,
    COMPARE_DIFFER_FILE1_SMALLER = 13,
    COMPARE_DIFFER_FILE1_LARGER = 14,
};

const Message MSG_TITLE = {"File binariy compare program Version %s\n", "ファイルバイナリ比較プログラム Version %s\n"};
const Message HELP_USAGE[] = {
    {"       NEVRIK [/S:start_offset1[,start_offset2]] [/E:end_offset] [/C:count]\n",
     "       NEVRIK [/S:開始位置1[,開始位置2]] [/E:終了位置] [/C:データ数]\n"},
    {"                                        [/B] [/M[:lines]] filename1 fillename2\n",
     "                                        [/B] [/M[:行数]] ファイル1 ファイル2\n"},
    {nullptr, nullptr},
};
const Message HELP_OPTIONS[] = {
    {"       /S --- comparison is started from start_offset1 of `filename1'\n",
     "       /S --- 開始位置1でファイル1の比較開始位置を指定\n"},
    {"              and from start_offset2 of `filename2' (default:start_offset1)\n",
     "              開始位置2でファイル2の比較開始位置を指定(省略時:開始位置1)\n"},
    {"       /E --- comparison is stopped at end_offset of `filename1'\n",
     "       /E --- ファイル1の比較終了位置を指定\n"},
    {"       /C --- comparison is stopped after count bytes are compared\n",
     "       /C --- 比較データバイト数を指定\n"},
    {"       /B --- truncate every 256 bytes differeces into one line\n",
     "       /B --- 256バイト単位の違いを1行に集約\n"},
    {"       /M --- pause after display specified `lines' (default:24)\n",
     "       /M --- 指定した行数(省略時:24)表示する毎に停止しキー入力を待つ\n"},
    {nullptr, nullptr},
};
const Message HELP_REMARKS[] = {
    {"       start_offset1/2, end_offset, count can be a value or formula with\n",
     "       開始位置1/2,終了位置,データ数は数値もしくは()を含む四則演算式\n"},
    HELP_FORMULA_LINE_2,
    {"       scroll stop/continue by any key except ESC, stop every 24 lines by space\n",
     "       画面表示はESCキー以外のキーで停止/継続,スペースで指定行数表示\n"},
    {nullptr, nullptr},
};
const HelpScreen HELP = {MSG_TITLE, "1.02", "2002-2008", HELP_USAGE, HELP_OPTIONS, HELP_REMARKS, nullptr};

// The error level lines, in two columns: the compare results on the left,
// the failures on the right.
struct LevelPair {
    int left_code;
    Message left;
    int right_code;  // 0: no right column
    Message right;
};
const LevelPair HELP_LEVEL_PAIRS[] = {
    {COMPARE_EQUAL_SAME_SIZE,
     {"--- compare equal, same size", "--- 比較一致,ファイルサイズ一致"},
     EXIT_MISSING_ARGUMENTS,
     {"--- missing arguments\n", "--- パラメータが足りない\n"}},
    {COMPARE_EQUAL_FILE1_SMALLER,
     {"-- compare equal, file1 is smaller", "-- 比較一致, ファイル1が小さい"},
     EXIT_INVALID_ARGUMENTS,
     {"--- invalid arguments\n", "--- パラメータが不正\n"}},
    {COMPARE_EQUAL_FILE1_LARGER,
     {"-- compare equal, file1 is larger", "-- 比較一致, ファイル1が大きい"},
     EXIT_CANCELED,
     {"--- operation canceled by ESC\n", "--- ESCキー入力による中止\n"}},
    {COMPARE_DIFFER_SAME_SIZE,
     {"-- file differ, same size", "-- 比較不一致, ファイルサイズ一致"},
     EXIT_NO_MEMORY,
     {"--- insufficent memory\n", "--- メモリ確保失敗\n"}},
    {COMPARE_DIFFER_FILE1_SMALLER,
     {"-- file differ, file1 is smaller", "-- 比較不一致, ファイル1が小さい"},
     EXIT_FILE_ACCESS,
     {"--- file access error\n", "--- ファイルアクセスエラー\n"}},
    {COMPARE_DIFFER_FILE1_LARGER,
     {"-- file differ, file1 is larger\n", "-- 比較不一致, ファイル1が大きい\n"},
     0,
     {nullptr, nullptr}},
};

const Message MSG_INVALID_START1 = {"Invalid start_offset1 formula %s!\n",
                                    "開始位置1の計算式 %s が正しくありません!\n"};
const Message MSG_INVALID_START2 = {"Invalid start_offset2 formula %s!\n",
                                    "開始位置2の計算式 %s が正しくありません!\n"};
const Message MSG_OPEN_FIRST_FAILED = {"Open first file %s failed!\n", "ファイル1 %s が開けません!\n"};
const Message MSG_OPEN_SECOND_FAILED = {"Open second file %s failed!\n", "ファイル2 %s が開けません!\n"};
const Message MSG_SEEK_FAILED = {"Seek %s failed!\n", "ファイル %s がシークできません!\n"};
const Message MSG_SIZE_FIRST_FAILED = {"Seek %s failed!\n", "ファイル %s ができません!\n"};
const Message MSG_READ_FAILED = {"Read %s failed!\n", "ファイル %s が読み込めません!\n"};
const Message MSG_ROW = {"%08lX%06lX**: %3d/%3d byte(s) are different\n",
                         "%08lX%06lX**: %3d/%3d バイトが一致しません\n"};
const Message MSG_SIZE_RELATION = {"File size %s %s %s by %s byte(s).\n", "ファイルサイズ %s %s %s , %sバイト差.\n"};
const Message MSG_NO_DIFFERENCE = {"NEVRIK: no difference had been detected.\n",
                                   "NEVRIK: 違いは見つかりませんでした.\n"};

constexpr std::size_t COMPARE_BUFFER_SIZE = 0x100000;
constexpr int ROW_SIZE = 256;

struct Request {
    Range range;                     // its start is that of file 1
    std::int64_t start_offset2 = 0;  // the start in file 2
    bool row_mode = false;
    int page_lines = 0;
    const char* file1 = nullptr;
    const char* file2 = nullptr;
};

// The two-column error level lines. The left text is padded to its field
// (37 columns for code 0, 36 for the two-digit codes); the padding of the
// last line follows its own line feed.
void print_levels() {
    std::string lines;
    for (const LevelPair& pair : HELP_LEVEL_PAIRS) {
        const std::size_t field = pair.left_code < 10 ? 37 : 36;
        const std::size_t width = plat::message_columns(pair.left);
        lines += "       " + std::to_string(pair.left_code) + " " + plat::message_text(pair.left);
        if (width < field) lines.append(field - width, ' ');
        if (pair.right_code != 0) lines += " " + std::to_string(pair.right_code) + " " + plat::message_text(pair.right);
    }
    plat::std_out().text(lines);
}

// Evaluates the /S: value "start1[,start2]".
bool take_start_offsets(const char* arg, Request& request) {
    const std::string text = arg + 3;
    const std::size_t comma = text.find(',');
    const std::string first = text.substr(0, comma);
    if (!first.empty() && !eval_offset_formula(first.c_str(), request.range.start)) {
        plat::std_out().print(MSG_INVALID_START1, plat::display_name(first.c_str()).c_str());
        return false;
    }
    if (comma == std::string::npos) {
        request.start_offset2 = request.range.start;
        return true;
    }
    const std::string second = text.substr(comma + 1);
    if (!eval_offset_formula(second.c_str(), request.start_offset2)) {
        plat::std_out().print(MSG_INVALID_START2, plat::display_name(second.c_str()).c_str());
        return false;
    }
    return true;
}

// Reads the command line; returns an error level, or -1 to go on.
int parse(int argc, char** argv, Request& request) {
    ArgumentScan arguments(argc, argv);
    char* arg;
    bool option;
    while (arguments.next(arg, option)) {
        if (option) {
            if (option_matches(arg, "/s:")) {
                if (!take_start_offsets(arg, request)) return EXIT_INVALID_ARGUMENTS;
                request.range.start_given = true;
                continue;
            }
            const RangeOption range_option = take_range_option(arg, request.range);
            if (range_option == RangeOption::invalid) return EXIT_INVALID_ARGUMENTS;
            if (range_option == RangeOption::taken) continue;
            if (option_matches(arg, "/b") && arg[2] == '\0') {
                request.row_mode = true;
                continue;
            }
            if (option_matches(arg, "/m")) {
                request.page_lines = parse_page_lines(arg);
                continue;
            }
        }
        if (!request.file1)
            request.file1 = arg;
        else if (!request.file2)
            request.file2 = arg;
    }
    if (!request.file1 || !request.file2) {
        print_help(HELP);
        print_levels();
        return EXIT_MISSING_ARGUMENTS;
    }
    // An end and a count without a start: the last count bytes up to the end,
    // in both files.
    place_start_before_end(request.range);
    if (!request.range.start_given) request.start_offset2 = request.range.start;
    return -1;
}

// Fills size bytes unless the file ends first: a short read is not yet the
// end of the file. Returns the bytes read, or -1 on failure.
std::int64_t read_full(plat::File& file, unsigned char* buffer, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        std::int64_t n = file.read(buffer + done, size - done);
        if (n < 0) return -1;
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<std::int64_t>(done);
}

void print_hex(char* out, std::uint64_t value, int digits) {
    for (int i = digits - 1; i >= 0; --i, value >>= 4) out[i] = plat::HEX_DIGITS[value & 15];
}

// The compare loop's state and its lines.
class Comparison {
public:
    explicit Comparison(const Request& request)
        : pager_(request.page_lines, Pager::Resume::keep_paging),
          row_mode_(request.row_mode),
          position1_(request.range.start) {}

    // Compares n byte pairs at position1; false once canceled.
    bool compare(const unsigned char* a, const unsigned char* b, std::size_t n) {
        return row_mode_ ? compare_rows(a, b, n) : compare_bytes(a, b, n);
    }
    // After a read cycle: a waiting key is read, ESC cancels.
    bool check_key() { return pager_.check_file_output(); }
    // Row mode: the row still open at the end is printed, also after ESC
    // (then without a page stop).
    void finish() {
        if (row_differences_ == 0) return;
        write_row();
        if (!canceled()) pager_.line_shown();
    }

    std::int64_t position1() const { return position1_; }
    bool differs() const { return differs_; }
    bool canceled() const { return pager_.canceled(); }

private:
    // One line for each differing byte.
    bool compare_bytes(const unsigned char* a, const unsigned char* b, std::size_t n) {
        for (std::size_t i = 0;;) {
            const std::size_t at = first_difference(a, b, i, n);
            position1_ += static_cast<std::int64_t>(at - i);
            if (at == n) return true;
            differs_ = true;
            print_byte(a[at], b[at]);
            ++position1_;
            i = at + 1;
            if (!pager_.line_shown()) return false;
        }
    }

    // One line for each 256-byte row of file 1 offsets that holds differences.
    bool compare_rows(const unsigned char* a, const unsigned char* b, std::size_t n) {
        std::size_t i = 0;
        while (i < n) {
            const int in_row = static_cast<int>(position1_ & (ROW_SIZE - 1));
            if (in_row == 0) {
                if (row_differences_ > 0 && !print_row()) return false;
                row_differences_ = 0;
                row_examined_ = 0;
            }
            const std::size_t end = i + std::min<std::size_t>(n - i, static_cast<std::size_t>(ROW_SIZE - in_row));
            row_examined_ += static_cast<int>(end - i);
            for (std::size_t k = first_difference(a, b, i, end); k < end; k = first_difference(a, b, k + 1, end)) {
                if (row_differences_++ == 0) row_first_ = position1_ + static_cast<std::int64_t>(k - i);
                differs_ = true;
            }
            position1_ += static_cast<std::int64_t>(end - i);
            i = end;
        }
        return true;
    }

    // Index of the first differing pair in [from, to), or to.
    static std::size_t first_difference(const unsigned char* a, const unsigned char* b, std::size_t from,
                                        std::size_t to) {
        // Equal stretches are passed with memcmp a chunk at a time, words
        // next; only a word that differs is walked byte by byte.
        constexpr std::size_t CHUNK = 4096;
        while (to - from >= CHUNK && std::memcmp(a + from, b + from, CHUNK) == 0) from += CHUNK;
        while (to - from >= 8) {
            std::uint64_t x, y;
            std::memcpy(&x, a + from, 8);
            std::memcpy(&y, b + from, 8);
            if (x != y) break;
            from += 8;
        }
        while (from < to && a[from] == b[from]) ++from;
        return from;
    }

    void print_byte(unsigned char x, unsigned char y) {
        plat::Output& out = plat::std_out();
        const std::string_view line_end = plat::text_line_end();
        char* p = out.reserve(24 + line_end.size());
        print_hex(p, static_cast<std::uint64_t>(position1_), 16);
        p[16] = ':';
        p[17] = ' ';
        p[18] = plat::HEX_DIGITS[x >> 4];
        p[19] = plat::HEX_DIGITS[x & 15];
        p[20] = ' ';
        p[21] = plat::HEX_DIGITS[y >> 4];
        p[22] = plat::HEX_DIGITS[y & 15];
        std::memcpy(p + 23, line_end.data(), line_end.size());
        out.commit(23 + line_end.size());
    }

    void write_row() {
        const auto first = static_cast<std::uint64_t>(row_first_);
        plat::std_out().print(MSG_ROW, static_cast<unsigned long>(first >> 32),
                              static_cast<unsigned long>((first & 0xFFFFFFFFu) >> 8), row_differences_, row_examined_);
        row_differences_ = 0;
    }
    bool print_row() {
        write_row();
        return pager_.line_shown();
    }

    Pager pager_;
    bool row_mode_;
    std::int64_t position1_;
    bool differs_ = false;
    int row_differences_ = 0;
    int row_examined_ = 0;
    std::int64_t row_first_ = 0;
};

// One run over the two files: opening, the compare loop, the result.
class CompareRun : private ToolRun {
public:
    explicit CompareRun(const Request& request) : request_(request), comparison_(request) {}
    int run();

private:
    bool open_files();
    bool compare_range();
    int result();

    const Request& request_;
    const Range& range_ = request_.range;
    plat::Output& out_ = plat::std_out();
    plat::File first_;
    plat::File second_;
    std::unique_ptr<unsigned char[]> buffer1_;
    std::unique_ptr<unsigned char[]> buffer2_;
    Comparison comparison_;
};

// Opens both files and moves each to its start.
bool CompareRun::open_files() {
    if (!first_.open(request_.file1, plat::OpenMode::read, plat::OPEN_SEQUENTIAL))
        return fail(MSG_OPEN_FIRST_FAILED, request_.file1);
    if (!second_.open(request_.file2, plat::OpenMode::read, plat::OPEN_SEQUENTIAL))
        return fail(MSG_OPEN_SECOND_FAILED, request_.file2);
    if (range_.start != 0 && !seek_start(first_, range_.start)) return fail(MSG_SEEK_FAILED, request_.file1);
    if (request_.start_offset2 != 0 && !seek_start(second_, request_.start_offset2))
        return fail(MSG_SEEK_FAILED, request_.file2);
    return true;
}

// Compares block by block up to the end offset, the count, the end of
// either file or ESC. False on a failure.
bool CompareRun::compare_range() {
    std::int64_t count_left = range_.count;
    for (bool go_on = true; go_on;) {
        const std::int64_t bytes1 = read_full(first_, buffer1_.get(), COMPARE_BUFFER_SIZE);
        if (bytes1 < 0) return fail(MSG_READ_FAILED, request_.file1);
        const std::int64_t bytes2 = read_full(second_, buffer2_.get(), COMPARE_BUFFER_SIZE);
        if (bytes2 < 0) return fail(MSG_READ_FAILED, request_.file2);
        // Within the end offset and the count; an inverted range or a count
        // of zero or less compares nothing.
        const std::int64_t length = std::max<std::int64_t>(
            0, std::min({bytes1, bytes2, left_before_end(comparison_.position1(), range_.end), count_left}));
        go_on = comparison_.compare(buffer1_.get(), buffer2_.get(), static_cast<std::size_t>(length)) &&
                comparison_.check_key();
        // Once a cycle: lines nobody can read any more end the compare.
        if (out_.failed()) return level_ = EXIT_FILE_ACCESS, false;
        count_left -= length;
        go_on = go_on && comparison_.position1() <= range_.end && count_left > 0 && bytes1 == bytes2 &&
                bytes1 == static_cast<std::int64_t>(COMPARE_BUFFER_SIZE);
    }
    return true;
}

// Whether the ranges differ and how the whole files relate in size; a
// size difference is told.
int CompareRun::result() {
    const std::int64_t size1 = first_.size();
    if (size1 < 0) return fail(MSG_SIZE_FIRST_FAILED, request_.file1), level_;
    const std::int64_t size2 = second_.size();
    if (size2 < 0) return fail(MSG_SEEK_FAILED, request_.file2), level_;
    const bool differs = comparison_.differs();
    int code = differs ? COMPARE_DIFFER_SAME_SIZE : COMPARE_EQUAL_SAME_SIZE;
    if (size1 != size2) {
        const bool smaller = size1 < size2;
        if (smaller)
            code = differs ? COMPARE_DIFFER_FILE1_SMALLER : COMPARE_EQUAL_FILE1_SMALLER;
        else
            code = differs ? COMPARE_DIFFER_FILE1_LARGER : COMPARE_EQUAL_FILE1_LARGER;
        const std::uint64_t difference =
            smaller ? static_cast<std::uint64_t>(size2 - size1) : static_cast<std::uint64_t>(size1 - size2);
        out_.print(MSG_SIZE_RELATION, plat::display_name(request_.file1).c_str(), smaller ? "<" : ">",
                   plat::display_name(request_.file2).c_str(), std::to_string(difference).c_str());
    }
    if (!differs) out_.print(MSG_NO_DIFFERENCE);
    return code;
}

int CompareRun::run() {
    buffer1_ = allocate_buffer(COMPARE_BUFFER_SIZE);
    if (buffer1_) buffer2_ = allocate_buffer(COMPARE_BUFFER_SIZE);
    if (!buffer2_) {
        out_.print(MSG_OUT_OF_MEMORY);
        return EXIT_NO_MEMORY;
    }
    if (!open_files() || !compare_range()) return level_;
    comparison_.finish();
    if (out_.failed()) return EXIT_FILE_ACCESS;
    if (comparison_.canceled()) {
        print_canceled_at(comparison_.position1());
        return EXIT_CANCELED;
    }
    return result();
}

}  // namespace

int nevrik_main(int argc, char** argv) {
    tool_start();
    Request request;
    int level = parse(argc, argv, request);
    if (level < 0) level = CompareRun(request).run();
    return tool_finish(level, level == EXIT_NO_ERROR || level >= COMPARE_EQUAL_FILE1_SMALLER);
}

}  // namespace nevrik

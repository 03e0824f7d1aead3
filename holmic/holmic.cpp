#include "holmic/holmic.h"

#include <algorithm>
#include <cstdint>

#include "platform/file.h"
#include "platform/output.h"
#include "rangekit/dump_output.h"
#include "rangekit/tool_frame.h"

namespace holmic {
namespace {

using namespace rangekit;
using plat::Message;

const Message MSG_TITLE = {"File dump program  Version %s\n", "ファイルダンププログラム  Version %s\n"};
const Message HELP_USAGE[] = {
    {"       HOLMIC filename [/S:start_offset] [/E:end_offset] [/C:count]\n",
     "       HOLMIC ダンプファイル [/S:開始位置] [/E:終了位置] [/C:データ数]\n"},
    {"                       [/M[:lines]] [/T[:outfilename]] [/P:infilename]\n",
     "                       [/M[:行数]] [/T[:出力ファイル]] [/P:入力ファイル]\n"},
    {nullptr, nullptr},
};
const Message HELP_OPTIONS[] = {
    {"       /S --- dump start byte-offset of intput file `filename'\n",
     "       /S --- ダンプを開始するダンプファイルのバイト位置\n"},
    {"       /E --- dump end byte-offset of input file `filename'\n",
     "       /E --- ダンプを終了するダンプファイルのバイト位置\n"},
    {"       /C --- dump byte-count of input file `filename'\n",
     "       /C --- ダンプを行なうダンプファイルのバイトデータ数\n"},
    {"       /M --- pause after display specified `lines'(default:24)\n",
     "       /M --- 指定した行数(省略時:24)表示する毎に停止しキー入力を待つ\n"},
    {"       /T --- output binary dump data into file `outfilename'(default:CON)\n",
     "       /T --- ダンプしたデータを出力ファイル(省略時:画面)に書き出す\n"},
    {"       /P --- over write dump range of `filename' with binary file `infilename'\n",
     "       /P --- ダンプファイルの指定ダンプ範囲に入力ファイルの内容を書き込む\n"},
    {nullptr, nullptr},
};
const Message HELP_REMARKS[] = {
    {"       start_offset, end_offset, count can be a value or formula with\n",
     "       開始位置,終了位置,データ数は数値もしくは()を含む四則演算式\n"},
    HELP_FORMULA_LINE_2,
    {"       scroll stop/continue by any key except ESC, stop specified lines by SPC\n",
     "       画面表示はESCキー以外のキーで停止/継続,スペースで指定行数表示\n"},
    {nullptr, nullptr},
};
const HelpScreen HELP = {MSG_TITLE, "1.02", "2002-2008", HELP_USAGE, HELP_OPTIONS, HELP_REMARKS, HELP_LEVELS};

const Message MSG_OPEN_INPUT_FAILED = {"Open input file %s failed!\n", "入力ファイル %s が開けません!\n"};
const Message MSG_OPEN_FAILED = {"Open %s failed!\n", "ダンプファイル %s が開けません!\n"};
const Message MSG_SEEK_FAILED = {"Seek %s failed!\n", "ダンプファイル %s がシークできません!\n"};
const Message MSG_WRITE_OUTPUT_FAILED = {"Write output file %s failed!\n",
                                         "出力ファイル %s の書き出しに失敗しました!\n"};
const Message MSG_WRITE_FAILED = {"Write %s failed!\n", "ダンプファイル %s の書き込みに失敗しました!\n"};
const Message MSG_READ_FAILED = {"Read %s failed!\n", "ダンプファイル %s が読み込めません!\n"};
const Message MSG_READ_INPUT_FAILED = {"Read input file %s failed!\n", "入力ファイル %s が読み込めません!\n"};
const Message MSG_OUTPUT_IS_DUMP = {"Output file %s is the dump file itself!\n",
                                    "出力ファイル %s はダンプファイルそのものです!\n"};
const Message MSG_INPUT_IS_DUMP = {"Input file %s is the dump file itself!\n",
                                   "入力ファイル %s はダンプファイルそのものです!\n"};
const Message MSG_OUTPUT_IS_INPUT = {"Output file %s is the input file itself!\n",
                                     "出力ファイル %s は入力ファイルそのものです!\n"};

struct Request {
    Range range;
    int page_lines = 0;
    DumpMode mode = DumpMode::hex_dump;
    const char* dump_name = nullptr;
    const char* output_name = nullptr;
    const char* input_name = nullptr;
};

// Reads the command line; returns an error level, or -1 to go on.
int parse(int argc, char** argv, Request& request) {
    ArgumentScan arguments(argc, argv);
    char* arg;
    bool option;
    while (arguments.next(arg, option)) {
        if (option) {
            const RangeOption range_option = take_range_option(arg, request.range);
            if (range_option == RangeOption::invalid) return EXIT_INVALID_ARGUMENTS;
            if (range_option == RangeOption::taken) continue;
            if (option_matches(arg, "/t")) {
                take_dump_output_option(arg, request.mode, request.output_name);
                continue;
            }
            if (option_matches(arg, "/p:")) {
                request.input_name = arg + 3;
                continue;
            }
            if (option_matches(arg, "/m")) {
                request.page_lines = parse_page_lines(arg);
                continue;
            }
        }
        if (!request.dump_name) request.dump_name = arg;
    }
    if (!request.dump_name) {
        print_help(HELP);
        return EXIT_MISSING_ARGUMENTS;
    }
    // An end and a count without a start: the range ends at the end.
    place_start_before_end(request.range);
    return -1;
}

// One run over the files: the dump file read, with /P the same file
// written from the input file, with /T the output file.
class Dump : private ToolRun {
public:
    explicit Dump(const Request& request) : request_(request) {}
    int run();

private:
    bool refuse_same_files();
    bool open_files();
    bool dump_range(DumpOutput& output);
    bool overwrite(DumpOutput& output, std::int64_t length);
    void close_written_files();

    const Request& request_;
    const Range& range_ = request_.range;
    const char* dump_name_ = request_.dump_name;
    plat::Output& out_ = plat::std_out();
    plat::File dump_;
    plat::File dump_write_;  // with /P
    plat::File input_;       // with /P
    plat::File output_;      // with /T:name, created when there is data for it
    std::unique_ptr<unsigned char[]> buffer_;
    std::unique_ptr<unsigned char[]> input_buffer_;
    std::int64_t offset_ = range_.start;
};

// Refuses a run that would write into a file it reads: /T or /P naming the
// dump file, or /T naming the /P file (the copy the overwrite comes from).
bool Dump::refuse_same_files() {
    const char* output_name = request_.output_name;
    const char* input_name = request_.input_name;
    if (output_name && plat::same_file(output_name, dump_name_))
        return fail(MSG_OUTPUT_IS_DUMP, output_name, EXIT_INVALID_ARGUMENTS);
    if (input_name && plat::same_file(input_name, dump_name_))
        return fail(MSG_INPUT_IS_DUMP, input_name, EXIT_INVALID_ARGUMENTS);
    if (output_name && input_name && plat::same_file(output_name, input_name))
        return fail(MSG_OUTPUT_IS_INPUT, output_name, EXIT_INVALID_ARGUMENTS);
    return true;
}

// Opens the files to read (and with /P the dump file to write) and moves
// to the start. The /T file is not touched here.
bool Dump::open_files() {
    if (request_.input_name) {
        if (!input_.open(request_.input_name, plat::OpenMode::read, plat::OPEN_SEQUENTIAL))
            return fail(MSG_OPEN_INPUT_FAILED, request_.input_name);
        if (!dump_write_.open(dump_name_, plat::OpenMode::write_existing)) return fail(MSG_OPEN_FAILED, dump_name_);
    }
    if (!dump_.open(dump_name_, plat::OpenMode::read, plat::OPEN_SEQUENTIAL)) return fail(MSG_OPEN_FAILED, dump_name_);
    if (range_.start != 0 &&
        (!seek_start(dump_, range_.start) || (dump_write_.is_open() && !seek_start(dump_write_, range_.start))))
        return fail(MSG_SEEK_FAILED, dump_name_);
    return true;
}

// Shows the range block by block, and with /P overwrites each block after
// it was shown. False when it ended early: on a failure or ESC.
bool Dump::dump_range(DumpOutput& output) {
    std::int64_t count_left = range_.count;
    for (;;) {
        const std::int64_t dump_bytes = dump_.read(buffer_.get(), BLOCK_SIZE);
        if (dump_bytes < 0) return fail(MSG_READ_FAILED, dump_name_);
        std::int64_t length = dump_bytes;
        if (input_.is_open()) {
            const std::int64_t input_bytes = input_.read(input_buffer_.get(), BLOCK_SIZE);
            if (input_bytes < 0) return fail(MSG_READ_INPUT_FAILED, request_.input_name);
            length = std::min(dump_bytes, input_bytes);
        }
        // An empty or inverted range, or a count of zero or less, leaves
        // nothing to show or write.
        length = std::max<std::int64_t>(0, std::min({length, left_before_end(offset_, range_.end), count_left}));

        const std::int64_t shown = output.put(buffer_.get(), static_cast<std::size_t>(length));
        if (shown < 0) return level_ = EXIT_FILE_ACCESS, false;
        offset_ += shown;
        if (output.canceled()) return false;
        if (dump_write_.is_open() && !overwrite(output, length)) return false;
        count_left -= length;
        // Stop at the end of the range, of the file, or (with /P) of the
        // input file.
        if (count_left <= 0 || offset_ > range_.end || dump_bytes == 0 || length == 0) return true;
        // With /P a short input block leaves the reading position ahead of
        // the writing one: bring it back before the next block.
        if (length < dump_bytes && !dump_.seek(offset_)) return fail(MSG_SEEK_FAILED, dump_name_);
    }
}

// Writes the input block over the block just shown.
bool Dump::overwrite(DumpOutput& output, std::int64_t length) {
    // The old contents are overwritten only once they have reached the
    // screen, pipe or file.
    if (!output.delivered()) return level_ = EXIT_FILE_ACCESS, false;
    if (dump_write_.write(input_buffer_.get(), static_cast<std::size_t>(length)) != length)
        return fail(MSG_WRITE_FAILED, dump_name_);
    return true;
}

// Data in the written files count only once they are closed without error;
// a failure to close is told when nothing failed before.
void Dump::close_written_files() {
    if (output_.is_open() && !output_.close() && level_ == EXIT_NO_ERROR)
        fail(MSG_WRITE_OUTPUT_FAILED, request_.output_name);
    if (dump_write_.is_open() && !dump_write_.close() && level_ == EXIT_NO_ERROR) fail(MSG_WRITE_FAILED, dump_name_);
}

int Dump::run() {
    if (!refuse_same_files()) return level_;
    buffer_ = allocate_buffer(BLOCK_SIZE);
    if (buffer_ && request_.input_name) input_buffer_ = allocate_buffer(BLOCK_SIZE);
    if (!buffer_ || (request_.input_name && !input_buffer_)) {
        out_.print(MSG_OUT_OF_MEMORY);
        return EXIT_NO_MEMORY;
    }
    if (!open_files()) return level_;

    DumpOutput output(request_.mode, request_.page_lines, AddressStyle::file_offset, 512, output_, request_.output_name,
                      MSG_WRITE_OUTPUT_FAILED);
    output.start(range_.start);
    dump_range(output);
    output.finish();
    if (output.canceled()) {
        print_canceled_at(offset_);
        level_ = EXIT_CANCELED;
    }
    close_written_files();
    return level_;
}

}  // namespace

int holmic_main(int argc, char** argv) {
    tool_start();
    Request request;
    int level = parse(argc, argv, request);
    if (level < 0) level = Dump(request).run();
    return tool_finish(level);
}

}  // namespace holmic

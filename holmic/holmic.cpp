#include "holmic/holmic.h"

#include <algorithm>
#include <cstdint>

#include "platform/file.h"
#include "platform/output.h"
#include "rangekit/dumpoutput.h"
#include "rangekit/toolframe.h"

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

const Message MSG_INVALID_START = {"Invalid start_offset formula %s!\n", "開始位置の計算式 %s が正しくありません!\n"};
const Message MSG_INVALID_END = {"Invalid end_offset formula %s!\n", "終了位置の計算式 %s が正しくありません!\n"};
const Message MSG_INVALID_COUNT = {"Invalid count formula %s!\n", "データ数の計算式 %s が正しくありません!\n"};
const Message MSG_OPEN_INPUT_FAILED = {"Open input file %s failed!\n", "入力ファイル %s が開けません!\n"};
const Message MSG_OPEN_FAILED = {"Open %s failed!\n", "ダンプファイル %s が開けません!\n"};
const Message MSG_SEEK_FAILED = {"Seek %s failed!\n", "ダンプファイル %s がシークできません!\n"};
const Message MSG_WRITE_OUTPUT_FAILED = {"Write output file %s failed!\n", "出力ファイル %s の書き出しに失敗しました!\n"};
const Message MSG_WRITE_FAILED = {"Write %s failed!\n", "ダンプファイル %s の書き込みに失敗しました!\n"};
const Message MSG_READ_FAILED = {"Read %s failed!\n", "ダンプファイル %s が読み込めません!\n"};
const Message MSG_READ_INPUT_FAILED = {"Read input file %s failed!\n", "入力ファイル %s が読み込めません!\n"};
const Message MSG_OUTPUT_IS_DUMP = {"Output file %s is the dump file itself!\n",
                                    "出力ファイル %s はダンプファイルそのものです!\n"};
const Message MSG_INPUT_IS_DUMP = {"Input file %s is the dump file itself!\n",
                                   "入力ファイル %s はダンプファイルそのものです!\n"};
const Message MSG_OUTPUT_IS_INPUT = {"Output file %s is the input file itself!\n",
                                    "出力ファイル %s は入力ファイルそのものです!\n"};
const Message MSG_CANCELED = {"Canceled at offset 0x%08lX%08lX\n", "位置 0x%08lX%08lX で中止されました\n"};

struct Request {
    std::int64_t start = 0;
    std::int64_t end = 0x7FFFFFFFFFFFFFFE;
    std::int64_t count = 0x7FFFFFFFFFFFFFFF;
    bool start_given = false, end_given = false, count_given = false;
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
            if (option_matches(arg, "/s:")) {
                if (!take_formula_option(arg, request.start, MSG_INVALID_START)) return EXIT_INVALID_ARGUMENTS;
                request.start_given = true;
                continue;
            }
            if (option_matches(arg, "/e:")) {
                if (!take_formula_option(arg, request.end, MSG_INVALID_END)) return EXIT_INVALID_ARGUMENTS;
                request.end_given = true;
                continue;
            }
            if (option_matches(arg, "/c:")) {
                if (!take_formula_option(arg, request.count, MSG_INVALID_COUNT)) return EXIT_INVALID_ARGUMENTS;
                request.count_given = true;
                continue;
            }
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
    if (request.end_given && request.count_given && !request.start_given)
        request.start = start_from_end(request.start, request.end, request.count);
    return -1;
}

// The files of one run; closed on every way out.
struct Files {
    plat::File dump;         // read
    plat::File dump_write;   // with /P
    plat::File input;        // with /P
    plat::File output;       // with /T:name, created when there is data for it
};

// Refuses a run that would write into a file it reads: /T or /P naming the
// dump file, or /T naming the /P file (the copy the overwrite comes from).
// Returns an error level, or -1 to go on.
int refuse_same_files(const Request& request) {
    plat::Output& out = plat::std_out();
    const char* output_name = request.output_name;
    if (output_name && plat::same_file(output_name, request.dump_name)) {
        out.print(MSG_OUTPUT_IS_DUMP, output_name);
        return EXIT_INVALID_ARGUMENTS;
    }
    if (request.input_name && plat::same_file(request.input_name, request.dump_name)) {
        out.print(MSG_INPUT_IS_DUMP, request.input_name);
        return EXIT_INVALID_ARGUMENTS;
    }
    if (output_name && request.input_name && plat::same_file(output_name, request.input_name)) {
        out.print(MSG_OUTPUT_IS_INPUT, output_name);
        return EXIT_INVALID_ARGUMENTS;
    }
    return -1;
}

// Opens the files to read (and with /P the dump file to write) and moves
// to the start. The /T file is not touched here. Returns an error level, or
// -1 to go on.
int open_files(const Request& request, Files& files) {
    plat::Output& out = plat::std_out();
    const char* dump_name = request.dump_name;
    if (request.input_name) {
        if (!files.input.open(request.input_name, plat::OpenMode::read, plat::OPEN_SEQUENTIAL)) {
            out.print(MSG_OPEN_INPUT_FAILED, request.input_name);
            return EXIT_FILE_ACCESS;
        }
        if (!files.dump_write.open(dump_name, plat::OpenMode::write_existing)) {
            out.print(MSG_OPEN_FAILED, dump_name);
            return EXIT_FILE_ACCESS;
        }
    }
    if (!files.dump.open(dump_name, plat::OpenMode::read, plat::OPEN_SEQUENTIAL)) {
        out.print(MSG_OPEN_FAILED, dump_name);
        return EXIT_FILE_ACCESS;
    }
    if (request.start != 0 && (!seek_start(files.dump, request.start) ||
                               (files.dump_write.is_open() && !seek_start(files.dump_write, request.start)))) {
        out.print(MSG_SEEK_FAILED, dump_name);
        return EXIT_FILE_ACCESS;
    }
    return -1;
}

int run(Request& request) {
    plat::Output& out = plat::std_out();
    const char* dump_name = request.dump_name;
    int level = refuse_same_files(request);
    if (level >= 0) return level;

    std::unique_ptr<unsigned char[]> buffer = allocate_buffer(BLOCK_SIZE);
    std::unique_ptr<unsigned char[]> input_buffer;
    if (buffer && request.input_name) input_buffer = allocate_buffer(BLOCK_SIZE);
    if (!buffer || (request.input_name && !input_buffer)) {
        out.print(MSG_OUT_OF_MEMORY);
        return EXIT_NO_MEMORY;
    }

    Files files;
    level = open_files(request, files);
    if (level >= 0) return level;

    DumpOutput output(request.mode, request.page_lines, AddressStyle::file_offset, 512, files.output,
                      request.output_name, MSG_WRITE_OUTPUT_FAILED);
    output.start(request.start);

    level = EXIT_NO_ERROR;
    std::int64_t offset = request.start;
    std::int64_t count = request.count;
    for (;;) {
        std::int64_t n1 = files.dump.read(buffer.get(), BLOCK_SIZE);
        if (n1 < 0) {
            out.print(MSG_READ_FAILED, dump_name);
            level = EXIT_FILE_ACCESS;
            break;
        }
        std::int64_t w = n1;
        if (files.input.is_open()) {
            std::int64_t n2 = files.input.read(input_buffer.get(), BLOCK_SIZE);
            if (n2 < 0) {
                out.print(MSG_READ_INPUT_FAILED, request.input_name);
                level = EXIT_FILE_ACCESS;
                break;
            }
            w = std::min(n1, n2);
        }
        // An empty or inverted range, or a count of zero or less, leaves
        // nothing to show or write.
        w = std::max<std::int64_t>(0, std::min({w, left_before_end(offset, request.end), count}));
        const auto length = static_cast<std::size_t>(w);

        const std::int64_t shown = output.put(buffer.get(), length);
        if (shown < 0) {
            level = EXIT_FILE_ACCESS;
            break;
        }
        offset += shown;
        if (output.canceled()) break;
        // The old contents were shown; the block is overwritten only once
        // they have reached the screen, pipe or file.
        if (files.dump_write.is_open()) {
            if (!output.delivered()) {
                level = EXIT_FILE_ACCESS;
                break;
            }
            if (files.dump_write.write(input_buffer.get(), length) != w) {
                out.print(MSG_WRITE_FAILED, dump_name);
                level = EXIT_FILE_ACCESS;
                break;
            }
        }
        count -= w;
        // Stop at the end of the range, of the file, or (with /P) of the
        // input file.
        if (count <= 0 || offset > request.end || n1 == 0 || w == 0) break;
        // With /P a short input block leaves the reading position ahead of
        // the writing one: bring it back before the next block.
        if (w < n1 && !files.dump.seek(offset)) {
            out.print(MSG_SEEK_FAILED, dump_name);
            level = EXIT_FILE_ACCESS;
            break;
        }
    }

    output.finish();
    if (output.canceled()) {
        auto position = static_cast<std::uint64_t>(offset);
        out.print(MSG_CANCELED, static_cast<unsigned long>(position >> 32),
                  static_cast<unsigned long>(position & 0xFFFFFFFFu));
        level = EXIT_CANCELED;
    }
    // Data in the written files count only once they are closed without error.
    if (files.output.is_open() && !files.output.close() && level == EXIT_NO_ERROR) {
        out.print(MSG_WRITE_OUTPUT_FAILED, request.output_name);
        level = EXIT_FILE_ACCESS;
    }
    if (files.dump_write.is_open() && !files.dump_write.close() && level == EXIT_NO_ERROR) {
        out.print(MSG_WRITE_FAILED, dump_name);
        level = EXIT_FILE_ACCESS;
    }
    return level;
}

}  // namespace

int holmic_main(int argc, char** argv) {
    tool_start();
    Request request;
    int level = parse(argc, argv, request);
    if (level < 0) level = run(request);
    return tool_finish(level);
}

}  // namespace holmic

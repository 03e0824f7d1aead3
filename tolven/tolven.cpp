// The driver: command line, help screen, input and spool file, the scan and
// the block sort in turn, clean-up and exit code.
#include "tolven/tolven.h"

#include <cstdarg>
#include <string>

#include "platform/console.h"
#include "platform/file.h"
#include "platform/output.h"
#include "platform/text.h"
#include "platform/time.h"
#include "tolven/block_sort.h"
#include "tolven/movable_array.h"
#include "tolven/scan.h"

namespace tolven {

using plat::Message;

State state;

const Message MSG_CANCELED = {"Canceled!\n", "中止されました!\n"};
const Message MSG_LINE_END = {"\n", "\n"};
const Message MSG_SCANNING = {"Scanning input %s...\n", "入力%sを走査中...\n"};
const Message MSG_READ_INPUT_FAILED = {"Read Input %s failed!\n", "入力%sが読み出せません!\n"};
const Message MSG_WRITE_TEMPORARY_FAILED = {"Write temporary file failed!\n", "テンポラリファイルに書き込めません!\n"};
const Message MSG_INDEX_GROW_FAILED = {"Out of memory or lock buffer failed!\n",
                                       "メモリの確保またはロックができません!\n"};
const Message MSG_SCAN_STATISTICS = {"Total %lld lines, max line size %lld bytes, memory %llu bytes allocated.\n",
                                     "合計 %lld 行, 最長行 %lld バイト, メモリ使用量 %llu バイト.\n"};
const Message MSG_NULL_WARNING = {"Warning: input %s contains %llu null characters.\n",
                                  "警告: 入力%sに%llu個のヌル文字があります.\n"};
const Message MSG_BLOCK_TABLE_MEMORY = {"Out of memory for block table!\n",
                                        "ブロックテーブルのメモリが確保できません!\n"};
const Message MSG_BLOCK_TOO_LARGE = {"Block %lld data size exceeds 4GBytes!\n",
                                     "第%lldブロックのデータが4Gバイトを超えました!\n"};
const Message MSG_PRIMARY_MEMORY = {"Out of memory %llu bytes for primary sort!\n",
                                    "一次ソートでメモリ%lluバイトが確保ができません!\n"};
// The Japanese text takes the offset before the size.
const Message MSG_READ_BLOCK_FAILED = {"Read %s file %lld bytes at offset %lld results in %lld bytes!\n",
                                       "%1$sファイル位置%3$lldの%2$lldバイトを%4$lldバイトしか読み出せません!\n"};
const Message MSG_READ_LINE_FAILED = {"Read %s file failed!\n", "%sファイルが読み出せません!\n"};
const Message MSG_SLOTS_TOO_LARGE = {"Total max data size of each block exceeds 4GBytes!\n",
                                     "各ブロックの合計最大データサイズが4Gバイトを超えました!\n"};
const Message MSG_SECONDARY_MEMORY = {"Out of memory %llu bytes for secondary sort!\n",
                                      "二次ソートのメモリ%lluバイトが確保できません!\n"};
const Message MSG_ORDER_MEMORY = {"Out of memory for index!\n", "インデックスのメモリが確保できません!\n"};
const Message MSG_WRITE_OUTPUT_FAILED = {"Write output file failed!\n", "出力ファイルに書き込みできません!\n"};
const Message MSG_SORTING_PRIMARY = {"Sorting primary...\n", "一次ソート中...\n"};
const Message MSG_SORTING_SECONDARY = {"Sorting secondary...\n", "二次ソート中...\n"};
const Message MSG_PRIMARY_STATISTICS = {
    "Memory %llu bytes allocated, max %llu bytes used temporary for %lld blocks.\n",
    "メモリ使用量 %1$llu バイト, %3$lld個のブロックへの最大一時使用量 %2$llu バイト.\n"};
const Message MSG_MERGE_STATISTICS = {"Done, used another memory %llu and %llu bytes.\n",
                                      "終了, メモリ追加使用量%llu,%lluバイト.\n"};

namespace {

const Message MSG_INVALID_CASE_MODE = {"/I option is invalid!\n", "/Iオプションの指定が間違っています!\n"};
const Message MSG_INVALID_TRUNCATE = {"Trancate column is invalid!\n", "切り捨て桁の指定が間違っています!\n"};
const Message MSG_INVALID_START = {"Sort start column is invalid!\n", "比較開始桁の指定が間違っています!\n"};
const Message MSG_INVALID_END = {"Sort end column is invalid!\n", "比較終了桁の指定が間違っています!\n"};
const Message MSG_UNKNOWN_ARGUMENTS = {"Unknown arguments are detected!\n", "不明なパラメータがあります!\n"};
const Message MSG_START_AFTER_END = {"Sort start column is bigger than end column!\n",
                                     "比較開始桁が終了桁を超えています!\n"};
const Message MSG_OPEN_INPUT_FAILED = {"Open input file failed!\n", "入力ファイルが開けません!\n"};
const Message MSG_STDIN_BINARY_FAILED = {"Set stdin binary mode failed!\n", "標準入力をバイナリモードにできません!\n"};
const Message MSG_INPUT_LENGTH_FAILED = {"Get input file length failed!\n", "入力ファイルのサイズが取得できません!\n"};
const Message MSG_TEMPORARY_NAME_FAILED = {"Get temporary file name failed!\n",
                                           "テンポラリファイル名を取得できません!\n"};
const Message MSG_CREATE_TEMPORARY_FAILED = {"Create temporary file failed!\n",
                                             "テンポラリファイルを作成できません!\n"};
const Message MSG_CLOSE_INPUT_FAILED = {"Close input file error !\n",
                                        "入力ファイルのクローズでエラーが発生しました!\n"};

const Message WORD_FILE = {"file", "ファイル"};
const Message WORD_STREAM = {"stream", "ストリーム"};
const Message WORD_INPUT = {"Input", "入力"};
const Message WORD_TEMPORARY = {"temporary", "テンポラリ"};

const Message MSG_TITLE = {"Large text file sort program  Version %s\n",
                           "巨大テキストファイルソートプログラム  Version %s\n"};
const Message HELP_USAGE[] = {
    {"       TOLVEN [/I{0|1|2}] [/N] [/O] [/R] [/Tn] [/+n] [/-n] [input_file]\n",
     "       TOLVEN [/I{0|1|2}] [/N] [/O] [/R] [/Tn] [/+n] [/-n] [入力ファイル]\n"},
    {nullptr, nullptr},
};
const Message HELP_OPTIONS[] = {
    {"       /I0 --- don't ignore case\n", "       /I0 --- 大文字と小文字を区別\n"},
    {"       /I1 --- ignore case to upper (default)\n", "       /I1 --- 小文字を大文字に変換(デフォルト)\n"},
    {"       /I2 --- ignore case to lower\n", "       /I2 --- 大文字を小文字に変換\n"},
    {"       /Tn --- truncate at 'n'th column\n", "       /Tn --- 入力行をn桁で切り捨て\n"},
    {"       /R ---- reversal sort\n", "       /R ---- 逆順にソート\n"},
    {"       /P ---- show progress\n", "       /P ---- 進行状況を表示\n"},
    {"       /+n --- sort start by 'n'th column \n", "       /+n --- 比較をn桁目から開始\n"},
    {"       /-n --- sort end by 'n'th column \n", "       /-n --- 比較をn桁目で終了\n"},
    {nullptr, nullptr},
};
const Message HELP_REMARKS[] = {
    {"       Sorting stream pipe requires diskspace for create temporary file.\n",
     "       入力がパイプの時は一時ファイルを作成するディスクスペースが必要\n"},
    {nullptr, nullptr},
};
// Levels 0 to 5 are those of the byte-range tools; 6 is this program's own.
const Message HELP_LEVEL_MEMORY_OPERATION = {"       %d --- memroy operation error\n",
                                             "       %d --- メモリ操作エラー\n"};
const rangekit::HelpScreen HELP = {
    MSG_TITLE, "1.00", "2008", HELP_USAGE, HELP_OPTIONS, HELP_REMARKS, rangekit::HELP_LEVELS};

void vreport(const Message& message, std::va_list args) {
    // Lines already sorted come first, so that on a terminal a message
    // follows the output it concerns.
    plat::std_out().flush();
    plat::Output& err = plat::std_err();
    err.vprint(message, args);
    err.flush();
}

// True when argument is exactly the option, ignoring case.
bool option_is(const char* argument, const char* option) {
    return rangekit::option_matches(argument, option) && argument[2] == '\0';
}

// Reads the command line into state; false when the run ends here (help
// shown, or an invalid argument reported).
bool parse_arguments(int argc, char** argv) {
    rangekit::ArgumentScan arguments(argc, argv);
    char* arg;
    bool option;
    while (arguments.next(arg, option)) {
        if (option) {
            using rangekit::leading_decimal;
            using rangekit::option_matches;
            if (option_is(arg, "/?")) {
                rangekit::print_help(HELP);
                plat::std_out().print(HELP_LEVEL_MEMORY_OPERATION, EXIT_MEMORY_OPERATION);
                state.error_level = EXIT_MISSING_ARGUMENTS;
                return false;
            }
            if (option_matches(arg, "/i")) {
                state.case_mode = leading_decimal(arg + 2);
                if (state.case_mode < 0 || state.case_mode > 2)
                    return fail(EXIT_INVALID_ARGUMENTS, MSG_INVALID_CASE_MODE);
                continue;
            }
            if (option_matches(arg, "/t")) {
                state.truncate_column = leading_decimal(arg + 2);
                if (state.truncate_column < 1) return fail(EXIT_INVALID_ARGUMENTS, MSG_INVALID_TRUNCATE);
                continue;
            }
            if (option_matches(arg, "/a")) continue;  // a number, read and ignored
            if (option_is(arg, "/r")) {
                state.reverse_order = true;
                continue;
            }
            if (option_is(arg, "/p")) {
                state.show_progress = true;
                continue;
            }
            if (arg[0] == '/' && (arg[1] == '+' || arg[1] == '-')) {
                int column = leading_decimal(arg + 2);
                if (column < 1)
                    return fail(EXIT_INVALID_ARGUMENTS, arg[1] == '+' ? MSG_INVALID_START : MSG_INVALID_END);
                (arg[1] == '+' ? state.sort_start_column : state.sort_end_column) = column - 1;
                continue;
            }
            // Named in the usage line; they change nothing.
            if (option_is(arg, "/n") || option_is(arg, "/o")) continue;
        }
        if (state.input_path) return fail(EXIT_INVALID_ARGUMENTS, MSG_UNKNOWN_ARGUMENTS);
        state.input_path = arg;
    }
    if (state.sort_end_column < state.sort_start_column) return fail(EXIT_INVALID_ARGUMENTS, MSG_START_AFTER_END);
    return true;
}

// Opens the input; its length in input_length, unknown (not above 0) for a
// pipe. A named regular file is read where it lies. Standard input, and any
// named input that is no regular file (a pipe, a device), can be read only
// once: it is copied to the spool file as the scan reads it, and spool is
// then open.
bool open_input(plat::File& input, plat::File& spool, std::int64_t& input_length) {
    if (state.input_path) {
        if (!input.open(state.input_path, plat::OpenMode::read, plat::OPEN_SEQUENTIAL))
            return fail(EXIT_FILE_ACCESS, MSG_OPEN_INPUT_FAILED);
        input_length = input.size();
        if (input_length < 0) return fail(EXIT_FILE_ACCESS, MSG_INPUT_LENGTH_FAILED);
        if (input.is_regular_file()) return true;
    } else {
        if (!plat::open_standard_input(input)) return fail(EXIT_FILE_ACCESS, MSG_STDIN_BINARY_FAILED);
        input_length = input.size();
    }
    plat::SpoolFailure failure;
    if (!plat::open_spool_file(spool, &failure))
        return fail(EXIT_FILE_ACCESS,
                    failure == plat::SpoolFailure::name ? MSG_TEMPORARY_NAME_FAILED : MSG_CREATE_TEMPORARY_FAILED);
    return true;
}

void run(int argc, char** argv) {
    if (!parse_arguments(argc, argv)) return;
    plat::File input_stream, spool_descriptor;
    std::int64_t input_length = 0;
    if (!open_input(input_stream, spool_descriptor, input_length)) return;
    const bool spooled = spool_descriptor.is_open();
    state.input_kind = spooled ? &WORD_STREAM : &WORD_FILE;
    state.source_name = spooled ? &WORD_TEMPORARY : &WORD_INPUT;

    MovableArray index(sizeof(LineEntry), INDEX_GROWTH);
    scan_input(input_stream, spool_descriptor, input_length, index);
    if (state.error_level == EXIT_NO_ERROR && index.count > 0) {
        // Lines are read back from the spool file, or through the very
        // handle the scan read: the file that was scanned, even when another
        // file has taken its name since (an editor saving, a log rotated).
        auto* lines = static_cast<LineEntry*>(index.lock());
        sort_and_output(lines, static_cast<std::int64_t>(index.count), spooled ? spool_descriptor : input_stream);
        index.unlock();
    }
    index.release();
    if (!state.input_path) return;  // the spool file goes when the program ends
    if (!input_stream.close()) report(MSG_CLOSE_INPUT_FAILED);
}

}  // namespace

void report(Message message, ...) {
    std::va_list args;
    va_start(args, message);
    vreport(message, args);
    va_end(args);
}

bool fail(int level, Message message, ...) {
    if (state.error_level != EXIT_NO_ERROR) return false;
    state.error_level = level;
    std::va_list args;
    va_start(args, message);
    vreport(message, args);
    va_end(args);
    return false;
}

bool escape_typed(bool every_call) {
    std::uint64_t now = plat::tick_count_ms();
    if (!every_call && now - state.last_key_poll_ms <= 1000) return false;
    state.last_key_poll_ms = now;
    if (!plat::key_waiting() || plat::read_key() != plat::KEY_ESC) return false;
    fail(EXIT_CANCELED, MSG_CANCELED);
    return true;
}

void ProgressBar::advance(std::uint64_t done, std::uint64_t total) {
    constexpr std::uint64_t WIDTH = 79;
    std::uint64_t target = rangekit::progress_marks(WIDTH, done, total);
    if (target > WIDTH) target = WIDTH;  // a length that was only an estimate
    if (static_cast<std::int64_t>(target) <= marks_shown) return;
    plat::Output& err = plat::std_err();
    for (; marks_shown < static_cast<std::int64_t>(target); ++marks_shown) err.binary(">", 1);
    err.flush();
}

int tolven_main(int argc, char** argv) {
    rangekit::tool_start();
    state = State{};
    // Double-byte characters exist where text is Shift-JIS; the Windows
    // build keeps them whatever the code page. Elsewhere (UTF-8 text) a lead
    // byte value is part of a longer sequence, and every byte is one column.
    state.double_byte = plat::text_is_shift_jis() || !plat::text_is_utf8();
    run(argc, argv);
    // Every line must have reached its destination.
    if (!plat::finish_standard_output(MSG_WRITE_OUTPUT_FAILED) && state.error_level == EXIT_NO_ERROR)
        state.error_level = EXIT_FILE_ACCESS;
    return state.error_level;
}

}  // namespace tolven

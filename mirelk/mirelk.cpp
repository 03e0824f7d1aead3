#include "mirelk/mirelk.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "mirelk/matcher.h"
#include "mirelk/patch_string.h"
#include "platform/console.h"
#include "platform/file.h"
#include "platform/output.h"
#include "platform/process.h"
#include "platform/text.h"
#include "rangekit/tool_frame.h"

namespace mirelk {
namespace {

using namespace rangekit;
using plat::Message;

const Message MSG_TITLE = {"Binary file patch program  Version %s\n", "バイナリファイルパッチプログラム  Version %s\n"};
const Message HELP_USAGE[] = {
    {"       MIRELK source_file {/F:find_string|/FF:find_string_file}\n",
     "       MIRELK 入力ファイル {/F:検索文字列|/FF:検索文字列ファイル}\n"},
    {"                       [{/R:replace_string|/RF:replace_string_file}]\n",
     "                           [{/R:置換文字列|/RF:置換文字列ファイル}]\n"},
    {"             {/O:destination_file|[/S:start_offset] [/E:end_offset] [/C:count]}\n",
     "                 {/O:出力ファイル|[/S:開始位置] [/E:終了位置] [/C:データ数]}\n"},
    {nullptr, nullptr},
};
const Message HELP_OPTIONS[] = {
    {"       /F --- string to find   , /FF --- file contains find string\n",
     "       /F --- 検索文字列, /FF --- 検索文字列をファイルで指定\n"},
    {"       /R --- string to replace, /RF --- file contains replace string\n",
     "       /R --- 置換文字列, /RF --- 置換文字列をファイルで指定\n"},
    {"       /O --- destination file (if not specified then overwrites soruce file)\n",
     "       /O --- 出力ファイル(指定がない場合は入力ファイルを上書き)\n"},
    {"       /S --- find start byte-offset of source file\n", "       /S --- 検索を開始する入力ファイルのバイト位置\n"},
    {"       /E --- find end byte-offset of source file\n", "       /E --- 検索を終了する入力ファイルのバイト位置\n"},
    {"       /C --- find byte-count of source file\n", "       /C --- 検索を行なう入力ファイルのバイトデータ数\n"},
    {nullptr, nullptr},
};
// The backslash in the example is for the command line, which turns \" into ".
const Message HELP_REMARKS[] = {
    {"       find,replace string is HEX string or quoted text by ''\n",
     "       検索,置換文字列は16進文字列か'でくくられたテキスト\n"},
    {"           ex) /F:41424344'EFGH'49'''\\\"'00 -> ABCDEFGHI'\" + null\n",
     "           例: /F:41424344'EFGH'49'''\\\"'00 → ABCDEFGHI'\" + ヌル\n"},
    {"           if both string length are not equal then\n",
     "           検索,置換文字列の長さが異なるときは長い方にあわせて\n"},
    {"           last character of short string repeats till length of long one\n",
     "           短い方の最後の文字が繰り返される\n"},
    {"       start_offset, end_offset, count can be a value or formula with\n",
     "       開始位置,終了位置,データ数は数値もしくは()を含む四則演算式\n"},
    {HELP_FORMULA_LINE_2.english, "           数値は10進数または0xをつけた16進数\n"},
    {nullptr, nullptr},
};
const HelpScreen HELP = {MSG_TITLE, "1.01", "2008", HELP_USAGE, HELP_OPTIONS, HELP_REMARKS, HELP_LEVELS};

// What goes wrong with a find or replace pattern.
struct PatternMessages {
    Message invalid;       // /F:, /R:
    Message read_failed;   // /FF:, /RF: file
    Message invalid_file;  // /FF:, /RF: content
};
const PatternMessages FIND_MESSAGES = {
    {"Invalid find string!\n", "検索文字列が正しくありません!\n"},
    {"Read find string file failed!\n", "検索文字列ファイルが読めません!\n"},
    {"Invalid find string file string!\n", "検索文字列ファイルの内容が正しくありません!\n"},
};
const PatternMessages REPLACE_MESSAGES = {
    {"Invalid replace string!\n", "置換文字列が正しくありません!\n"},
    {"Read replace string file failed!\n", "置換文字列ファイルが読めません!\n"},
    {"Invalid replace string file string!\n", "置換文字列ファイルの内容が正しくありません!\n"},
};

const Message MSG_FIND = {"Find    at %016llX %s\n", "検索 位置 %016llX %s\n"};
const Message MSG_REPLACE = {"Replace at %016llX %s\n", "置換 位置 %016llX %s\n"};
const Message MSG_COPY_BEFORE = {"Coping to destination file until start offset.",
                                 "検索開始位置まで出力ファイルにコピーしています."};
const Message MSG_COPY_AFTER = {"Coping to destination file after end offset.",
                                "検索終了位置以降を出力ファイルにコピーしています."};
const Message MSG_CANCELED_SCAN = {"Canceled!\n", "中止されました!\n"};
const Message MSG_CANCELED_COPY = {"\nCanceled!\n", "\n中止されました!\n"};
const Message MSG_OPEN_SOURCE_FAILED = {"Open source file %s failed!\n", "入力ファイル %s が開けません!\n"};
const Message MSG_OPEN_DESTINATION_FAILED = {"Open destination file %s failed!\n", "出力ファイル %s が開けません!\n"};
const Message MSG_OPEN_SOURCE_WRITE_FAILED = {"Open source %s failed!\n", "入力ファイル %s が開けません!\n"};
const Message MSG_SEEK_FAILED = {"Seek %s failed!\n", "入力ファイル %s がシークできません!\n"};
// Failures of the scan and of the copy phase before the range begin on a
// line of their own; those after the range follow the row of dots.
const Message MSG_READ_FAILED_NEW_LINE = {"\nRead %s failed!\n", "\n入力ファイル %s が読み出せません!\n"};
const Message MSG_WRITE_FAILED_NEW_LINE = {"\nWrite %s failed!\n", "\n出力ファイル %s に書き込めません!\n"};
const Message MSG_READ_FAILED = {"Read %s failed!\n", "入力ファイル %s が読み出せません!\n"};
const Message MSG_WRITE_FAILED = {"Write %s failed!\n", "出力ファイル %s に書き込めません!\n"};
const Message MSG_WRITE_SOURCE_FAILED = {"Write %s failed!\n", "入力ファイル %s に書き込めません!\n"};
const Message MSG_DESTINATION_IS_SOURCE = {"Destination file %s is the source file itself!\n",
                                           "出力ファイル %s は入力ファイルそのものです!\n"};

// Bytes read per block of the scan. Measured on the reference machine (2
// cores, 2 MiB L2, 1 GiB file in the page cache, find only): 32 and 64 KiB
// blocks are fastest, 256 KiB and more take about 30 % longer.
constexpr std::size_t SCAN_BLOCK = 1 << 16;
constexpr int PROGRESS_COLUMNS = 79;

// A find or replace pattern and where it came from.
struct PatternOption {
    Pattern pattern;
    bool given = false;
    bool from_file = false;  // the last one taken came from a string file
};

struct Request {
    Range range;
    const char* source_name = nullptr;
    const char* output_name = nullptr;
    PatternOption find;
    PatternOption replace;
};

// Takes the pattern behind /F: or /R: (text) or /FF: or /RF: (a string
// file name), unless one of length > 0 was taken before. Returns an error
// level, or -1 to go on.
int take_pattern(char* value, bool from_file, PatternOption& option, const PatternMessages& messages) {
    if (option.pattern.length > 0) return -1;
    plat::Output& out = plat::std_out();
    std::unique_ptr<unsigned char[]> line;
    char* text = value;
    if (from_file) {
        int result = read_patch_string_file(value, line);
        if (result == STRING_FILE_NO_MEMORY) {
            out.print(MSG_OUT_OF_MEMORY);
            return EXIT_NO_MEMORY;
        }
        if (result != STRING_FILE_OK) {
            out.print(messages.read_failed);
            return EXIT_FILE_ACCESS;
        }
        text = reinterpret_cast<char*>(line.get());
    } else {
        // The bytes looked for are those of the system's code page.
        plat::argument_to_ansi(text);
    }
    // Double-byte characters are those of the system's code page.
    std::ptrdiff_t length = parse_patch_string(text, plat::text_is_shift_jis());
    if (length < 0) {
        out.print(from_file ? messages.invalid_file : messages.invalid);
        return EXIT_INVALID_ARGUMENTS;
    }
    option.pattern.bytes = reinterpret_cast<unsigned char*>(text);
    option.pattern.length = static_cast<std::size_t>(length);
    option.pattern.storage = std::move(line);
    option.given = true;
    option.from_file = from_file;
    return -1;
}

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
            int level = -1;
            if (option_matches(arg, "/o:")) {
                if (!request.output_name) request.output_name = arg + 3;
            } else if (option_matches(arg, "/f:")) {
                level = take_pattern(arg + 3, false, request.find, FIND_MESSAGES);
            } else if (option_matches(arg, "/ff:")) {
                level = take_pattern(arg + 4, true, request.find, FIND_MESSAGES);
            } else if (option_matches(arg, "/r:")) {
                level = take_pattern(arg + 3, false, request.replace, REPLACE_MESSAGES);
            } else if (option_matches(arg, "/rf:")) {
                level = take_pattern(arg + 4, true, request.replace, REPLACE_MESSAGES);
            } else {
                option = false;
            }
            if (level >= 0) return level;
            if (option) continue;
        }
        if (!request.source_name) request.source_name = arg;
    }
    if (!request.source_name || request.find.pattern.length == 0) {
        print_help(HELP);
        return EXIT_MISSING_ARGUMENTS;
    }
    // An empty replace pattern has no last byte to repeat up to the length
    // of the find pattern.
    if (request.replace.given && request.replace.pattern.length == 0) {
        const PatternMessages& messages = REPLACE_MESSAGES;
        plat::std_out().print(request.replace.from_file ? messages.invalid_file : messages.invalid);
        return EXIT_INVALID_ARGUMENTS;
    }
    return -1;
}

// Last offset of the scan: the end of the file, or /E and /C when they come
// first; never below start - 1 (an empty range), so that the parts before
// and after the range always add up to the whole file.
std::int64_t range_end(const Range& range, std::int64_t size) {
    std::int64_t end = size - 1;
    if (range.end_given && range.end < end) end = range.end;
    if (end < range.start) return range.start - 1;
    if (range.count_given && static_cast<std::uint64_t>(end - range.start) >=
                                 static_cast<std::uint64_t>(std::max<std::int64_t>(range.count, 0)))
        end = range.start + std::max<std::int64_t>(range.count, 0) - 1;
    return end;
}

// True when ESC is among the keys typed since the last look; other keys
// are dropped.
bool escape_pressed() {
    while (plat::key_waiting())
        if (plat::read_key() == plat::KEY_ESC) return true;
    return false;
}

enum class Mode {
    find,         // report occurrences, write nothing
    in_place,     // overwrite occurrences in the source
    destination,  // copy the source to the /O file with occurrences replaced
};

// One run over the files; also what the scan reports to.
class Patch final : public ScanReceiver, private ToolRun {
public:
    Patch(Request& request, Mode mode) : request_(request), mode_(mode) {}
    int run();

    std::size_t read(unsigned char* data, std::size_t size) override;
    bool occurrence(std::int64_t offset, unsigned char* bytes) override;
    bool release(const unsigned char* data, std::size_t size) override;
    bool block_done() override;

private:
    bool open_files();
    bool copy_phase(std::int64_t total, const Message& title, const Message& read_failed, const Message& write_failed);

    Request& request_;
    const Mode mode_;
    const char* source_name_ = request_.source_name;
    const char* destination_name_ = request_.output_name;
    plat::Output& out_ = plat::std_out();
    plat::File source_;
    plat::File writer_;  // the destination, or the source opened for writing
    std::unique_ptr<unsigned char[]> buffer_;
};

bool Patch::open_files() {
    if (!source_.open(source_name_, plat::OpenMode::read, plat::OPEN_SEQUENTIAL))
        return fail(MSG_OPEN_SOURCE_FAILED, source_name_, EXIT_FILE_ACCESS);
    if (mode_ == Mode::destination &&
        !writer_.open(destination_name_, plat::OpenMode::create_truncate, plat::OPEN_SEQUENTIAL))
        return fail(MSG_OPEN_DESTINATION_FAILED, destination_name_, EXIT_FILE_ACCESS);
    if (mode_ == Mode::in_place && !writer_.open(source_name_, plat::OpenMode::write_existing))
        return fail(MSG_OPEN_SOURCE_WRITE_FAILED, source_name_, EXIT_FILE_ACCESS);
    return true;
}

// Copies total bytes from the source's position to the destination in
// blocks, under a row of at most one dot per block that fills the line.
bool Patch::copy_phase(std::int64_t total, const Message& title, const Message& read_failed,
                       const Message& write_failed) {
    out_.print(title);
    out_.flush();
    const auto width = static_cast<std::uint64_t>(PROGRESS_COLUMNS - static_cast<int>(plat::message_columns(title)));
    std::uint64_t shown = 0;
    for (std::int64_t done = 0; done < total;) {
        std::size_t size = static_cast<std::size_t>(std::min<std::int64_t>(BLOCK_SIZE, total - done));
        std::int64_t got = source_.read(buffer_.get(), size);
        if (got <= 0) return fail(read_failed, source_name_, EXIT_FILE_ACCESS);
        if (writer_.write(buffer_.get(), static_cast<std::size_t>(got)) != got)
            return fail(write_failed, destination_name_, EXIT_FILE_ACCESS);
        done += got;
        if (escape_pressed()) {
            out_.print(MSG_CANCELED_COPY);
            level_ = EXIT_CANCELED;
            return false;
        }
        const std::uint64_t marks =
            progress_marks(width, static_cast<std::uint64_t>(done), static_cast<std::uint64_t>(total));
        if (marks > shown) {
            out_.text(".");
            if (!out_.flush()) return level_ = EXIT_FILE_ACCESS, false;
            shown = marks;
        }
    }
    out_.text("\n");
    return true;
}

std::size_t Patch::read(unsigned char* data, std::size_t size) {
    std::int64_t got = source_.read(data, size);
    if (got > 0) return static_cast<std::size_t>(got);
    fail(MSG_READ_FAILED_NEW_LINE, source_name_, EXIT_FILE_ACCESS);
    return 0;
}

bool Patch::occurrence(std::int64_t offset, unsigned char* bytes) {
    const auto position = static_cast<unsigned long long>(offset);
    const Pattern& replace = request_.replace.pattern;
    switch (mode_) {
    case Mode::find: out_.print(MSG_FIND, position, plat::display_name(source_name_).c_str()); return true;
    case Mode::destination:
        out_.print(MSG_REPLACE, position, plat::display_name(destination_name_).c_str());
        std::memcpy(bytes, replace.bytes, replace.length);
        return true;
    case Mode::in_place:
        out_.print(MSG_REPLACE, position, plat::display_name(source_name_).c_str());
        if (!writer_.seek(offset)) return fail(MSG_SEEK_FAILED, source_name_, EXIT_FILE_ACCESS);
        if (writer_.write(replace.bytes, replace.length) != static_cast<std::int64_t>(replace.length))
            return fail(MSG_WRITE_SOURCE_FAILED, source_name_, EXIT_FILE_ACCESS);
        return true;
    }
    return true;
}

bool Patch::release(const unsigned char* data, std::size_t size) {
    if (mode_ != Mode::destination || writer_.write(data, size) == static_cast<std::int64_t>(size)) return true;
    return fail(MSG_WRITE_FAILED, destination_name_, EXIT_FILE_ACCESS);
}

bool Patch::block_done() {
    // What was found so far shows before the next block is read; when it
    // cannot be shown any more, the work ends.
    if (!out_.flush()) return level_ = EXIT_FILE_ACCESS, false;
    if (!escape_pressed()) return true;
    out_.print(MSG_CANCELED_SCAN);
    level_ = EXIT_CANCELED;
    return false;
}

int Patch::run() {
    // The copy written over the source itself would empty the source before
    // it is read.
    if (mode_ == Mode::destination && plat::same_file(destination_name_, source_name_)) {
        out_.print(MSG_DESTINATION_IS_SOURCE, plat::display_name(destination_name_).c_str());
        return EXIT_INVALID_ARGUMENTS;
    }
    // Memory first, so that nothing is opened for writing when it runs out.
    Pattern& find = request_.find.pattern;
    Pattern& replace = request_.replace.pattern;
    const std::size_t length = std::max(find.length, replace.length);
    if (mode_ != Mode::find && (!pad_pattern(find, length) || !pad_pattern(replace, length))) {
        out_.print(MSG_OUT_OF_MEMORY);
        return EXIT_NO_MEMORY;
    }
    buffer_ = allocate_buffer(scan_buffer_size(SCAN_BLOCK, find.length));
    if (!buffer_) {
        out_.print(MSG_OUT_OF_MEMORY);
        return EXIT_NO_MEMORY;
    }
    if (!open_files()) return level_;
    const std::int64_t size = source_.size();
    if (size < 0) return fail(MSG_READ_FAILED, source_name_, EXIT_FILE_ACCESS), level_;

    const Range& range = request_.range;
    const std::int64_t start = range.start;
    if (range.start_given) {
        // A negative start is no position in the file: the seek refuses it.
        bool ready = mode_ == Mode::destination && start > 0
                         ? copy_phase(start, MSG_COPY_BEFORE, MSG_READ_FAILED_NEW_LINE, MSG_WRITE_FAILED_NEW_LINE)
                         : source_.seek(start) || fail(MSG_SEEK_FAILED, source_name_, EXIT_FILE_ACCESS);
        if (!ready) return level_;
    }
    const std::int64_t end = range_end(range, size);
    const Matcher matcher(find.bytes, find.length);
    const auto count = static_cast<std::uint64_t>(end - start + 1);
    if (!scan_range(matcher, buffer_.get(), SCAN_BLOCK, start, count, *this)) return level_;
    if (mode_ == Mode::destination && (range.end_given || range.count_given) && end < size - 1 &&
        !copy_phase(size - 1 - end, MSG_COPY_AFTER, MSG_READ_FAILED, MSG_WRITE_FAILED))
        return level_;
    // What was written counts only once the file is closed without error.
    if (mode_ == Mode::destination && !writer_.close()) fail(MSG_WRITE_FAILED, destination_name_, EXIT_FILE_ACCESS);
    if (mode_ == Mode::in_place && !writer_.close()) fail(MSG_WRITE_SOURCE_FAILED, source_name_, EXIT_FILE_ACCESS);
    return level_;
}

}  // namespace

int mirelk_main(int argc, char** argv) {
    tool_start();
    Request request;
    int level = parse(argc, argv, request);
    if (level < 0) {
        Mode mode = !request.replace.given ? Mode::find : request.output_name ? Mode::destination : Mode::in_place;
        level = Patch(request, mode).run();
    }
    return tool_finish(level);
}

}  // namespace mirelk

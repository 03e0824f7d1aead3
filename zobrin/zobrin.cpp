#include "zobrin/zobrin.h"

#include <algorithm>
#include <cstdint>

#include "platform/console.h"
#include "platform/drive.h"
#include "platform/file.h"
#include "platform/output.h"
#include "rangekit/dump_output.h"
#include "rangekit/tool_frame.h"
#include "zobrin/drive.h"

namespace zobrin {
namespace {

using namespace rangekit;
using plat::Message;

const Message MSG_TITLE = {"Disk dump program  Version %s\n", "ディスクダンププログラム  Version %s\n"};
const Message HELP_USAGE[] = {
    {"       ZOBRIN drive [/S:[0x]start_sector] [/E:[0x]end_sector]\n",
     "       ZOBRIN drive [/S:[0x]開始セクタ] [/E:[0x]終了セクタ]\n"},
    {"                  [/C:[0x]sector_count] [/T[:outfilename]] [/M[:lines]\n",
     "                  [/C:[0x]セクタ数] [/T[:出力ファイル]] [/M[:行数]\n"},
    {"       drive : 0-9,A-Z\n", "       drive : 0-9,A-Z\n"},
    {nullptr, nullptr},
};
const Message HELP_OPTIONS[] = {
    {"       /S --- specify dump start sector\n", "       /S --- ダンプ開始セクタ番号\n"},
    {"       /E --- specify dump end sector\n", "       /E --- ダンプ終了セクタ番号\n"},
    {"       /C --- specify dump sector count\n", "       /C --- ダンプセクタ数\n"},
    {"       /T --- dump data output file (default:CON)\n", "       /T --- ダンプデータ出力ファイル (省略時:CON)\n"},
    {"       /M --- pause after display specified `lines' (default:24)\n",
     "       /M --- 指定した行数(省略時:24)表示する毎に停止しキー入力を待つ\n"},
    {nullptr, nullptr},
};
// The Japanese screen indents its second formula line further and has no
// scroll line.
const Message HELP_REMARKS[] = {
    {"       start_sector, end_sector, sector_count can be a value or formula with\n",
     "       開始位置,終了位置,データ数は数値もしくは()を含む四則演算式\n"},
    {HELP_FORMULA_LINE_2.english, "           数値は10進数または0xをつけた16進数\n"},
    {"       scroll stop/continue by any key except ESC, stop every 24 lines by space\n", ""},
    {nullptr, nullptr},
};
// Numbered from 0; level 6 is not used by this program and prints nothing.
const Message HELP_ERROR_LEVELS[] = {
    HELP_LEVELS[0],
    HELP_LEVELS[1],
    HELP_LEVELS[2],
    HELP_LEVELS[3],
    HELP_LEVELS[4],
    HELP_LEVELS[5],
    {"", ""},
    {"       %d --- drive access error\n", "       %d --- ドライブアクセスエラー\n"},
    {"       %d --- get OS version error\n", "       %d --- OSバージョン取得エラー\n"},
    {nullptr, nullptr},
};
const HelpScreen HELP = {MSG_TITLE, "1.00", "2008", HELP_USAGE, HELP_OPTIONS, HELP_REMARKS, HELP_ERROR_LEVELS};

const RangeSyntax SECTOR_RANGE = {
    {"Invalid start_sector formula!\n", "開始セクタの計算式 %s が正しくありません!\n"},
    {"Invalid end_sector formula!\n", "終了セクタの計算式 %s が正しくありません!\n"},
    {"Invalid sector_count formula!\n", "セクタ数の計算式 %s が正しくありません!\n"},
    HexPrefix::lenient,
};
const Message MSG_INVALID_DRIVE = {"Invalid drive!\n", "ドライブ指定が正しくありません!\n"};
const Message MSG_VERSION_FAILED = {"Get Windows Version failed! (%lu/%lX)\n",
                                    "Windowsのバージョンが取得できません! (%lu/%lX)\n"};
const Message MSG_WRITE_OUTPUT_FAILED = {"Write output file %s failed!\n", "出力ファイル %s に書き込めません!\n"};
const Message MSG_OUTPUT_IS_DRIVE = {"Output file %s is the dumped drive itself!\n",
                                     "出力ファイル %s はダンプするドライブそのものです!\n"};
const Message MSG_CLOSE_FAILED = {"Close drive %s: failed!\n", "ドライブ%s:のクローズでエラーが発生しました!\n"};
const Message MSG_CANCELED = {"Canceled at sector %lld/0x%llX\n", "セクタ位置 %lld/0x%llX で中止されました.\n"};

struct Request {
    SectorRange range;
    int page_lines = 0;
    DumpMode mode = DumpMode::hex_dump;
    const char* output_name = nullptr;
    DriveOperand operand;
    bool have_drive = false;
};

bool is_ascii_alnum(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Reads the command line; returns an error level, or -1 to go on.
int parse(int argc, char** argv, Request& request) {
    ArgumentScan arguments(argc, argv);
    char* arg;
    bool option;
    while (arguments.next(arg, option)) {
        if (option) {
            const RangeOption range_option = take_range_option(arg, request.range, SECTOR_RANGE);
            if (range_option == RangeOption::invalid) return EXIT_INVALID_ARGUMENTS;
            if (range_option == RangeOption::taken) continue;
            if (option_matches(arg, "/t")) {
                take_dump_output_option(arg, request.mode, request.output_name);
                continue;
            }
            if (option_matches(arg, "/m")) {
                request.page_lines = parse_page_lines(arg);
                continue;
            }
        }
        if (request.have_drive) continue;
        // A path names a device or an image; an argument that only looks
        // like an option ("/X") is no path.
        if (plat::is_drive_path(arg) && (!option || arg[0] != '/')) {
            request.operand.path = arg;
        } else if (is_ascii_alnum(arg[0])) {
            request.operand.drive = arg[0];
        } else {
            plat::std_out().print(MSG_INVALID_DRIVE);
            return EXIT_INVALID_ARGUMENTS;
        }
        request.have_drive = true;
    }
    if (!request.have_drive) {
        print_help(HELP);
        return EXIT_MISSING_ARGUMENTS;
    }
    return -1;
}

int trailing_zeros(std::uint32_t value) {
    int shift = 0;
    while (shift < 31 && !(value & (std::uint32_t{1} << shift))) ++shift;
    return shift;
}

// Dumps the resolved range. Returns the error level.
int dump(const Request& request, plat::Drive& drive, plat::File& output, std::uint32_t sector_size,
         unsigned char* buffer) {
    plat::Output& out = plat::std_out();
    const int shift = trailing_zeros(sector_size);
    const SectorRange& range = request.range;
    // Byte positions are 64-bit: a range reaching past the last sector they
    // can address is cut there (the device ends long before, and reading on
    // fails at its end).
    const std::int64_t last_sector = INT64_MAX >> shift;
    std::int64_t sectors_left = range.count;
    if (range.start >= 0 && range.start <= last_sector && sectors_left > last_sector - range.start + 1)
        sectors_left = last_sector - range.start + 1;

    DumpOutput dump_output(request.mode, request.page_lines, AddressStyle::sector, sector_size, output,
                           request.output_name, MSG_WRITE_OUTPUT_FAILED);
    std::int64_t offset = static_cast<std::int64_t>(static_cast<std::uint64_t>(range.start) << shift);
    std::int64_t sector = range.start;
    dump_output.start(offset);
    int level = EXIT_NO_ERROR;
    // The count is tested before the first read: a range of no sectors
    // reads nothing.
    while (sectors_left > 0) {
        const auto sectors = static_cast<std::uint32_t>(std::min<std::int64_t>(sectors_left, BLOCK_SIZE >> shift));
        const std::size_t length = std::size_t{sectors} << shift;
        if (!read_sectors(drive, sector, sectors, sector_size, buffer)) {
            level = EXIT_DRIVE_ACCESS;
            break;
        }
        const std::int64_t shown = dump_output.put(buffer, length);
        if (shown < 0) {
            level = EXIT_FILE_ACCESS;
            break;
        }
        offset += shown;
        if (dump_output.canceled()) break;
        sectors_left -= sectors;
        sector += sectors;
    }
    dump_output.finish();
    if (dump_output.canceled()) {
        const std::int64_t reached = offset >> shift;
        out.print(MSG_CANCELED, static_cast<long long>(reached), static_cast<unsigned long long>(reached));
        level = EXIT_CANCELED;
    }
    return level;
}

int run(Request& request, plat::DriveMethod method) {
    plat::Output& out = plat::std_out();
    // The DOS services read logical drives only.
    if (method != plat::DriveMethod::device_file && request.operand.is_disk()) {
        out.print(MSG_INVALID_DRIVE);
        return EXIT_INVALID_ARGUMENTS;
    }
    // Raw output into the image or device being dumped, or into the file a
    // loop device reads from, would destroy it.
    if (request.output_name && plat::file_backs_drive(request.output_name, device_path(method, request.operand))) {
        out.print(MSG_OUTPUT_IS_DRIVE, plat::display_name(request.output_name).c_str());
        return EXIT_INVALID_ARGUMENTS;
    }
    std::unique_ptr<unsigned char[]> buffer = allocate_buffer(BLOCK_SIZE);
    if (!buffer) {
        out.print(MSG_OUT_OF_MEMORY);
        return EXIT_NO_MEMORY;
    }
    // The output file is created only once there are sectors to write into
    // it: a drive that cannot be opened or read leaves it as it was.
    plat::File output;
    plat::Drive drive;
    if (!open_drive(drive, method, request.operand)) return EXIT_DRIVE_ACCESS;

    std::uint32_t sector_size = DEFAULT_SECTOR_SIZE;
    bool go_on = true;
    int level = drive_report(drive, method, request.operand, buffer.get(), sector_size, go_on);
    const SectorRange& range = request.range;
    if (go_on && (range.start_given || range.end_given || range.count_given)) {
        const std::int64_t bytes = drive.size();
        resolve_range(request.range, bytes < 0 ? -1 : bytes / sector_size);
        int dump_level = dump(request, drive, output, sector_size, buffer.get());
        // ESC does not replace an earlier failure (of the geometry query);
        // a failure of the dump itself is the one reported.
        if (dump_level == EXIT_CANCELED ? level == EXIT_NO_ERROR : dump_level != EXIT_NO_ERROR) level = dump_level;
    }
    // Data in the output file count only once it is closed without error.
    // A failure here is always told, but does not replace an earlier level.
    if (output.is_open() && !output.close()) {
        out.print(MSG_WRITE_OUTPUT_FAILED, plat::display_name(request.output_name).c_str());
        if (level == EXIT_NO_ERROR) level = EXIT_FILE_ACCESS;
    }
    if (!drive.close()) {
        out.print(MSG_CLOSE_FAILED, request.operand.name().c_str());
        if (level == EXIT_NO_ERROR) level = EXIT_DRIVE_ACCESS;
    }
    return level;
}

}  // namespace

void resolve_range(SectorRange& range, std::int64_t sectors_held) {
    // Before anything is counted from it: an end near the largest value
    // would wrap the count.
    if (range.end_given && sectors_held >= 0 && range.end > sectors_held - 1) range.end = sectors_held - 1;
    if (!range.start_given) {
        range.start = 0;
        if (range.end_given && range.count_given) {
            range.start = start_from_end(0, range.end, range.count);
        } else if (range.end_given) {
            range.count = wrapping_add(range.end, 1);
        } else if (range.count_given) {
            range.end = wrapping_sub(range.count, 1);
        }
    } else if (!range.end_given && !range.count_given) {
        range.count = 1;
    } else if (!range.end_given) {
        range.end = wrapping_sub(wrapping_add(range.start, range.count), 1);
    } else if (!range.count_given) {
        range.count = wrapping_add(wrapping_sub(range.end, range.start), 1);
    }
    if (range.end < range.start) range.end = range.start;
    if (wrapping_sub(wrapping_add(range.start, range.count), 1) > range.end)
        range.count = wrapping_add(wrapping_sub(range.end, range.start), 1);
}

int zobrin_main(int argc, char** argv) {
    tool_start();
    plat::DriveMethod method;
    if (!plat::drive_method(method)) {
        auto error = static_cast<unsigned long>(static_cast<unsigned>(plat::last_error()));
        plat::std_out().print(MSG_VERSION_FAILED, error, error);
        return tool_finish(EXIT_OS_VERSION);
    }
    Request request;
    int level = parse(argc, argv, request);
    if (level < 0) level = run(request, method);
    return tool_finish(level);
}

}  // namespace zobrin

#include "rangekit/tool_frame.h"

#include <climits>
#include <new>

#include "platform/console.h"
#include "platform/fault.h"
#include "platform/output.h"
#include "platform/path.h"

namespace rangekit {

using plat::Message;

const Message MSG_OUT_OF_MEMORY = {"Out of memory!\n", "メモリが確保できません!\n"};
const Message MSG_OPEN_OUTPUT_FAILED = {"Open output file %s failed!\n", "出力ファイル %s が開けません!\n"};
const Message HELP_FORMULA_LINE_2 = {"       operator + - * / ( ), value can be decimal or hexa(need prefix`0x')\n",
                                     "       数値は10進数または0xをつけた16進数\n"};
const Message HELP_LEVELS[] = {
    {"       %d --- no error\n", "       %d --- エラー無し\n"},
    {"       %d --- missing arguments\n", "       %d --- パラメータが足りない\n"},
    {"       %d --- invalid arguments\n", "       %d --- パラメータが不正\n"},
    {"       %d --- operation canceled by typing ESC\n", "       %d --- ESCキー入力による中止\n"},
    {"       %d --- insufficent memory\n", "       %d --- メモリ確保失敗\n"},
    {"       %d --- file access error\n", "       %d --- ファイルアクセスエラー\n"},
    {nullptr, nullptr},
};

namespace {

const Message MSG_RIGHTS = {"       Copyright (C) %s. All rights reserved.\n",
                            "       Copyright (C) %s. All rights reserved.\n"};
const Message MSG_USAGE = {"Usage:\n", "使用方法:\n"};
const Message MSG_OPTION = {"Option:\n", "オプション:\n"};
const Message MSG_REMARK = {"Remark:\n", "注意:\n"};
const Message MSG_ERROR_LEVEL = {"ErrorLevel:\n", "エラーレベル:\n"};

char fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

void print_lines(const Message* lines) {
    for (; lines->english; ++lines) plat::std_out().print(*lines);
}

// Evaluates the formula behind a three-character prefix ("/S:"). On failure
// prints the message with that text and returns false.
bool take_formula_option(const char* argument, std::int64_t& value, const Message& invalid_message,
                         HexPrefix hex_prefix) {
    const char* text = argument + 3;
    if (eval_offset_formula(text, value, hex_prefix)) return true;
    plat::std_out().print(invalid_message, text);
    return false;
}

}  // namespace

void tool_start() { plat::console_init(); }

int tool_finish(int error_level, bool outcome) {
    if (!plat::finish_standard_output() && outcome) error_level = EXIT_FILE_ACCESS;
    return error_level;
}

ArgKind classify_argument(const char* argument, bool options_ended) {
    if (options_ended) return ArgKind::operand;
    if (plat::is_end_of_options(argument)) return ArgKind::end_of_options;
    if (plat::is_path_argument(argument)) return ArgKind::operand;
    return ArgKind::option;
}

bool ArgumentScan::next(char*& argument, bool& option) {
    while (index_ < argc_) {
        argument = argv_[index_++];
        switch (classify_argument(argument, options_ended_)) {
        case ArgKind::end_of_options: options_ended_ = true; continue;
        case ArgKind::operand: option = false; return true;
        case ArgKind::option: option = true; return true;
        }
    }
    return false;
}

bool option_matches(const char* argument, const char* prefix) {
    for (; *prefix; ++prefix, ++argument)
        if (fold(*argument) != fold(*prefix)) return false;
    return true;
}

int parse_page_lines(const char* argument) {
    if (argument[1] == '\0' || argument[2] != ':') return 24;
    return leading_decimal(argument + 3);
}

int leading_decimal(const char* text) {
    const char* p = text;
    while (*p == ' ' || *p == '\t') ++p;
    bool negative = *p == '-';
    if (*p == '+' || *p == '-') ++p;
    long long value = 0;
    for (; *p >= '0' && *p <= '9'; ++p)
        if (value <= INT_MAX) value = value * 10 + (*p - '0');
    if (value > INT_MAX) value = INT_MAX;
    return static_cast<int>(negative ? -value : value);
}

const RangeSyntax BYTE_RANGE = {
    {"Invalid start_offset formula %s!\n", "開始位置の計算式 %s が正しくありません!\n"},
    {"Invalid end_offset formula %s!\n", "終了位置の計算式 %s が正しくありません!\n"},
    {"Invalid count formula %s!\n", "データ数の計算式 %s が正しくありません!\n"},
    HexPrefix::need_digit,
};

RangeOption take_range_option(const char* argument, Range& range, const RangeSyntax& syntax) {
    struct Field {
        const char* prefix;
        std::int64_t& value;
        bool& given;
        const Message& invalid;
    };
    const Field fields[] = {
        {"/s:", range.start, range.start_given, syntax.invalid_start},
        {"/e:", range.end, range.end_given, syntax.invalid_end},
        {"/c:", range.count, range.count_given, syntax.invalid_count},
    };
    for (const Field& field : fields) {
        if (!option_matches(argument, field.prefix)) continue;
        if (!take_formula_option(argument, field.value, field.invalid, syntax.hex_prefix)) return RangeOption::invalid;
        field.given = true;
        return RangeOption::taken;
    }
    return RangeOption::none;
}

std::int64_t start_from_end(std::int64_t start, std::int64_t end, std::int64_t count) {
    // Wrapping, so that extreme values do not overflow.
    if (wrapping_add(end, 1) >= count) return wrapping_add(wrapping_sub(end, count), 1);
    return start;
}

void place_start_before_end(Range& range) {
    if (range.end_given && range.count_given && !range.start_given)
        range.start = start_from_end(range.start, range.end, range.count);
}

std::int64_t left_before_end(std::int64_t position, std::int64_t end) {
    if (end < position) return 0;
    // end - position in unsigned arithmetic is exact (at most 2^64 - 1); the
    // + 1 is added only below the cap.
    std::uint64_t distance = static_cast<std::uint64_t>(end) - static_cast<std::uint64_t>(position);
    return distance >= INT64_MAX ? INT64_MAX : static_cast<std::int64_t>(distance + 1);
}

void print_canceled_at(std::int64_t offset) {
    static const Message canceled = {"Canceled at offset 0x%08lX%08lX\n", "位置 0x%08lX%08lX で中止されました\n"};
    const auto position = static_cast<std::uint64_t>(offset);
    plat::std_out().print(canceled, static_cast<unsigned long>(position >> 32),
                          static_cast<unsigned long>(position & 0xFFFFFFFFu));
}

bool ToolRun::fail(const Message& message, const char* name, int level) {
    plat::std_out().print(message, plat::display_name(name).c_str());
    level_ = level;
    return false;
}

bool seek_start(plat::File& file, std::int64_t start) {
    if (file.seek(start)) return true;
    const std::int64_t size = file.size();
    return start >= 0 && size >= 0 && start >= size && file.seek(size);
}

std::unique_ptr<unsigned char[]> allocate_buffer(std::size_t size) {
    if (plat::fault::hit(plat::fault::Call::allocate)) return nullptr;
    return std::unique_ptr<unsigned char[]>(new (std::nothrow) unsigned char[size]);
}

void print_help(const HelpScreen& screen) {
    plat::Output& out = plat::std_out();
    out.print(screen.title, screen.version);
    out.print(MSG_RIGHTS, screen.year);
    out.print(MSG_USAGE);
    print_lines(screen.usage);
    out.print(MSG_OPTION);
    print_lines(screen.options);
    out.print(MSG_REMARK);
    print_lines(screen.remarks);
    out.print(MSG_ERROR_LEVEL);
    for (int level = 0; screen.levels && screen.levels[level].english; ++level) out.print(screen.levels[level], level);
}

bool Pager::key_pending() { return plat::key_waiting(); }

bool Pager::apply_resume_key(int key, bool resume_without_stops) {
    if (key == plat::KEY_ESC) {
        canceled_ = true;
        return false;
    }
    if (key == plat::KEY_SPACE)
        lines_left_ = page_lines_;
    else if (resume_without_stops)
        lines_left_ = 0;
    return true;
}

bool Pager::handle_waiting_key(bool in_hex_dump) {
    if (plat::read_key() == plat::KEY_ESC) {
        canceled_ = true;
        return false;
    }
    // Any other key pauses until the next one.
    plat::std_out().flush();
    return apply_resume_key(plat::read_key(), in_hex_dump);
}

bool Pager::page_stop() {
    // Without a keyboard read_key() answers at once and output runs on.
    plat::std_out().flush();
    return apply_resume_key(plat::read_key(), true);
}

bool Pager::check_file_output() {
    if (key_pending() && plat::read_key() == plat::KEY_ESC) canceled_ = true;
    return !canceled_;
}

RawConsoleWriter::RawConsoleWriter() : width_(plat::screen_width()), text_mode_(plat::stream_is_console(1)) {}

std::size_t RawConsoleWriter::write_block(const unsigned char* data, std::size_t size, Pager& pager) {
    if (!pager.check_block_start()) return 0;
    plat::Output& out = plat::std_out();
    // On a console, line feeds become the system's line end; redirected
    // output gets the bytes unchanged.
    auto emit = [&](std::size_t from, std::size_t to) {
        const char* bytes = reinterpret_cast<const char*>(data) + from;
        if (text_mode_)
            out.text(std::string_view(bytes, to - from));
        else
            out.binary(bytes, to - from);
    };
    std::size_t written = 0;
    for (std::size_t i = 0; i < size; ++i) {
        unsigned char c = data[i];
        if (c == '\r') continue;
        if (c != '\n' && ++column_ < width_) continue;
        column_ = 0;
        if (pager.count_raw_line()) {
            emit(written, i + 1);
            written = i + 1;
            if (!pager.page_stop()) return written;
        }
    }
    emit(written, size);
    return size;
}

}  // namespace rangekit

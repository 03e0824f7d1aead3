#include "kesto/options.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/console.h"
#include "platform/directory.h"
#include "platform/fault.h"
#include "platform/message.h"
#include "platform/output.h"
#include "platform/path.h"
#include "platform/process.h"

namespace {

using kesto::OperationOptions;
using kesto::state;

// Captured output with the system's text line ends turned back into "\n".
std::string unix_lines(std::string text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out += text[i];
    return out;
}

template <typename Run>
std::string standard_output_of(Run run) {
    plat::std_out().flush();
    testing::internal::CaptureStdout();
    run();
    plat::std_out().flush();
    return unix_lines(testing::internal::GetCapturedStdout());
}

template <typename Run>
std::string standard_error_of(Run run) {
    plat::std_err().flush();
    testing::internal::CaptureStderr();
    run();
    plat::std_err().flush();
    return unix_lines(testing::internal::GetCapturedStderr());
}

// Classifies "kesto" followed by the arguments; returns what it printed.
std::string classify(const std::vector<const char*>& arguments) {
    std::vector<const char*> argv{"kesto"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return standard_output_of([&] { kesto::classify_arguments(static_cast<int>(argv.size()), argv.data()); });
}

std::string local_time_text(plat::FileTime time) {
    plat::CalendarTime t;
    if (!plat::file_time_to_local(time, t)) return "?";
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second, t.millisecond);
    return text;
}

// Every field of the record that differs from its initial value, as
// "name=value" in declaration order. command_interpreter and
// start_directory depend on the environment and are checked on their own.
std::string changed_fields(const OperationOptions& o) {
    const OperationOptions initial;
    std::string out;
    auto add = [&](const char* name, const std::string& value) {
        if (!out.empty()) out += ' ';
        out += name;
        out += '=';
        out += value;
    };
    auto dec = [](long long value) { return std::to_string(value); };
    auto hex = [](unsigned long long value) {
        char text[24];
        std::snprintf(text, sizeof text, "0x%llx", value);
        return std::string(text);
    };
#define KESTO_FIELD(name, format) \
    if (o.name != initial.name) add(#name, format(o.name))
    KESTO_FIELD(operation_mode, hex);
    KESTO_FIELD(max_depth, dec);
    KESTO_FIELD(confirm_each, dec);
    KESTO_FIELD(continue_on_error, dec);
    KESTO_FIELD(show_progress, dec);
    KESTO_FIELD(two_second_tolerance, dec);
    KESTO_FIELD(write_through, dec);
    KESTO_FIELD(compare_content, dec);
    KESTO_FIELD(verify_attr_mask, hex);
    KESTO_FIELD(verify_size, dec);
    KESTO_FIELD(verify_date, dec);
    KESTO_FIELD(verify_show_all, dec);
    KESTO_FIELD(crc_polynomial, hex);
    KESTO_FIELD(crc32_selected, dec);
    KESTO_FIELD(crc_initial_given, dec);
    KESTO_FIELD(crc_initial_value, hex);
    KESTO_FIELD(size_total_only, dec);
    KESTO_FIELD(size_unit, dec);
    KESTO_FIELD(name_display, dec);
    KESTO_FIELD(four_digit_year, dec);
    KESTO_FIELD(pause_every, dec);
    KESTO_FIELD(beep_count, dec);
    KESTO_FIELD(attr_any_mask, hex);
    KESTO_FIELD(attr_all_mask, hex);
    KESTO_FIELD(attr_none_mask, hex);
    KESTO_FIELD(attr_add_mask, hex);
    KESTO_FIELD(attr_remove_mask, hex);
    KESTO_FIELD(date_lower_bound, local_time_text);
    KESTO_FIELD(date_upper_bound, local_time_text);
    KESTO_FIELD(new_file_time, local_time_text);
    KESTO_FIELD(selection_flags, hex);
    KESTO_FIELD(include_file_list, std::string);
    KESTO_FIELD(exclude_file_list, std::string);
    KESTO_FIELD(include_dir_list, std::string);
    KESTO_FIELD(exclude_dir_list, std::string);
    KESTO_FIELD(include_depth, dec);
    KESTO_FIELD(exec_command, std::string);
    KESTO_FIELD(exec_full_path, dec);
    KESTO_FIELD(exec_double_dollar, dec);
    KESTO_FIELD(exec_hide_command, dec);
    KESTO_FIELD(help_request, hex);
#undef KESTO_FIELD
    return out;
}

class KestoOptions : public testing::Test {
protected:
    void SetUp() override {
        state = kesto::State{};
        saved_english_ = plat::use_english;
        plat::use_english = true;
    }
    void TearDown() override {
        plat::fault::clear();
        state = kesto::State{};
        plat::use_english = saved_english_;
    }

private:
    bool saved_english_ = true;
};

struct OptionRow {
    std::vector<const char*> arguments;
    int errors;
    const char* changes;
};

void check_option_rows(const std::vector<OptionRow>& rows) {
    for (const OptionRow& row : rows) {
        state = kesto::State{};
        classify(row.arguments);
        std::string label;
        for (const char* argument : row.arguments) label += std::string(" ") + argument;
        EXPECT_EQ(state.parameter_errors, row.errors) << label;
        EXPECT_EQ(changed_fields(state.options), row.changes) << label;
        EXPECT_FALSE(state.source_arg) << label;
    }
}

TEST_F(KestoOptions, DepthHelpAndDisplayNumbers) {
    check_option_rows({
        {{"/0"}, 0, "max_depth=0"},
        {{"/130"}, 0, "max_depth=130"},
        {{"/512"}, 0, ""},
        {{"/513"}, 1, ""},
        {{"/3/600"}, 1, "max_depth=3"},
        // Too large for 32 bits: 0xFFFFFFFF, which as a signed depth is -1.
        {{"/99999999999"}, 0, "max_depth=-1"},
        {{"/2147483648"}, 0, "max_depth=-2147483648"},
        {{"/?"}, 0, "help_request=0x80000000"},
        {{"/?0"}, 0, "help_request=0x80000000"},
        {{"/?1"}, 0, "help_request=0x1"},
        {{"/?10"}, 0, "help_request=0x10"},
        {{"/?aBc"}, 0, "help_request=0xabc"},
        {{"/?123456789"}, 0, "help_request=0xffffffff"},
        {{"/?x"}, 1, "help_request=0x80000000"},
        {{"/L5"}, 0, "name_display=5"},
        {{"/l"}, 0, "name_display=0"},
        {{"/L4294967295"}, 0, "name_display=-1"},
        {{"/M"}, 0, "pause_every=24"},
        {{"/m0"}, 0, "pause_every=24"},
        {{"/M3"}, 0, "pause_every=3"},
        {{"/M99999999999"}, 0, "pause_every=4294967295"},
        {{"/Q3"}, 0, "beep_count=3"},
        {{"/q"}, 0, ""},
        {{"/Y4"}, 0, "four_digit_year=1"},
        {{"/Y4", "/y2"}, 0, ""},
        {{"/Y3"}, 1, ""},
        {{"/Y"}, 1, ""},
        {{"/Y44"}, 1, ""},
        {{"/T"}, 0, "operation_mode=0x8"},
        {{"/TX"}, 1, "operation_mode=0x8"},
        {{"/Z"}, 1, ""},
        {{"/"}, 1, ""},
        {{"/ "}, 1, ""},
        {{"/-5"}, 1, "operation_mode=0x2"},
    });
}

TEST_F(KestoOptions, AttributeOptions) {
    check_option_rows({
        {{"/=RHSAD"}, 0, "attr_any_mask=0x37 selection_flags=0x2"},
        {{"/:rv"}, 0, "attr_any_mask=0x1 selection_flags=0x2"},
        {{"/="}, 0, "selection_flags=0x2"},
        {{"/=R/=H"}, 0, "attr_any_mask=0x2 selection_flags=0x2"},
        {{"/&rh", "/!s"}, 0, "attr_all_mask=0x3 attr_none_mask=0x4 selection_flags=0x2"},
        {{"/!X"}, 1, "selection_flags=0x2"},
        {{"/+A/-R"}, 0, "operation_mode=0x2 attr_add_mask=0x20 attr_remove_mask=0x1"},
        {{"/+rhsai"}, 0, "operation_mode=0x2 confirm_each=0 attr_add_mask=0x27"},
        {{"/+A", "/+H"}, 0, "operation_mode=0x2 attr_add_mask=0x2"},
        {{"/+D"}, 1, "operation_mode=0x2"},
        {{"/-V"}, 1, "operation_mode=0x2"},
        {{"/CV/+A"}, 0, "operation_mode=0x2 attr_add_mask=0x20"},
    });
}

TEST_F(KestoOptions, CopyAndDeleteOptions) {
    check_option_rows({
        {{"/C"}, 0, "operation_mode=0x20"},
        {{"/CV"}, 0, "operation_mode=0x1020"},
        {{"/cvr"}, 0, "operation_mode=0x3020"},
        {{"/UM"}, 0, "operation_mode=0x4040"},
        {{"/UMM"}, 0, "operation_mode=0x4040"},
        {{"/CMV"}, 1, "operation_mode=0x4020"},
        {{"/CVM"}, 1, "operation_mode=0x1020"},
        {{"/URM"}, 1, "operation_mode=0x2040"},
        {{"/CV", "/UM"}, 0, "operation_mode=0x4040"},
        {{"/CM/UV"}, 0, "operation_mode=0x1040"},
        {{"/C2EIPST"},
         0,
         "operation_mode=0x20 confirm_each=0 continue_on_error=1 show_progress=1 "
         "two_second_tolerance=1 write_through=1"},
        // A new /C or /U resets what the last one set, except E.
        {{"/CI2PTE", "/U"}, 0, "operation_mode=0x40 continue_on_error=1"},
        {{"/CX"}, 1, "operation_mode=0x20"},
        {{"/RV"}, 0, "operation_mode=0x1010"},
        {{"/rIEP"}, 0, "operation_mode=0x10 confirm_each=0 continue_on_error=1 show_progress=1"},
        {{"/RIP", "/R"}, 0, "operation_mode=0x10"},
        {{"/RM"}, 1, "operation_mode=0x10"},
        {{"/CVR", "/R"}, 0, "operation_mode=0x10"},
    });
}

TEST_F(KestoOptions, VerifyCrcAndSizeOptions) {
    check_option_rows({
        {{"/V"}, 0, "operation_mode=0x80"},
        {{"/V2"}, 0, "operation_mode=0x80 two_second_tolerance=1"},
        {{"/VN"}, 0, "operation_mode=0x80 compare_content=0"},
        {{"/vahrs"}, 0, "operation_mode=0x80 compare_content=0 verify_attr_mask=0x27"},
        {{"/VD2"}, 0, "operation_mode=0x80 two_second_tolerance=1 compare_content=0 verify_date=1"},
        {{"/VL"}, 0, "operation_mode=0x80 compare_content=0 verify_size=1"},
        {{"/VVEP"}, 0, "operation_mode=0x80 continue_on_error=1 show_progress=1 verify_show_all=0"},
        {{"/VNAVEP2L", "/V"}, 0, "operation_mode=0x80"},
        {{"/VX"}, 1, "operation_mode=0x80"},
        {{"/F"}, 0, "crc_polynomial=0xa001"},
        {{"/FD"}, 0, "crc_polynomial=0xedb88320 crc32_selected=1"},
        // D and N act in the order written.
        {{"/FDN"}, 0, "crc_polynomial=0xffffffff crc32_selected=1"},
        {{"/FND"}, 0, "crc_polynomial=0xedb88320 crc32_selected=1"},
        // The start value takes every hexadecimal digit, a D or E too.
        {{"/FI12D"}, 0, "crc_polynomial=0xa001 crc_initial_given=1 crc_initial_value=0x12d"},
        {{"/FDI12"}, 0, "crc_polynomial=0xedb88320 crc32_selected=1 crc_initial_given=1 crc_initial_value=0x12"},
        {{"/fiE"}, 0, "crc_polynomial=0xa001 crc_initial_given=1 crc_initial_value=0xe"},
        {{"/FI"}, 0, "crc_polynomial=0xa001 crc_initial_given=1"},
        {{"/FEP"}, 0, "continue_on_error=1 show_progress=1 crc_polynomial=0xa001"},
        {{"/FPDI5", "/F"}, 0, "crc_polynomial=0xa001 crc_initial_value=0x5"},
        // /F keeps the operation and asks again.
        {{"/CI", "/F"}, 0, "operation_mode=0x20 crc_polynomial=0xa001"},
        {{"/FX"}, 1, "crc_polynomial=0xa001"},
        {{"/S"}, 0, "operation_mode=0x4"},
        {{"/S0.5"}, 0, "operation_mode=0x4 size_unit=512"},
        {{"/ST32"}, 0, "operation_mode=0x4 size_total_only=1 size_unit=32768"},
        {{"/s4"}, 0, "operation_mode=0x4 size_unit=4096"},
        {{"/ST", "/S1"}, 0, "operation_mode=0x4 size_unit=1024"},
        {{"/S.5"}, 1, "operation_mode=0x4"},
        {{"/S0"}, 1, "operation_mode=0x4"},
        {{"/S3"}, 1, "operation_mode=0x4"},
        {{"/S0.50"}, 1, "operation_mode=0x4"},
        {{"/S0.6"}, 1, "operation_mode=0x4"},
        {{"/S2.5"}, 1, "operation_mode=0x4"},
        {{"/S4T"}, 1, "operation_mode=0x4 size_unit=4096"},
    });
}

TEST_F(KestoOptions, DateOptions) {
    check_option_rows({
        {{"/A2008-05-01"}, 0, "date_lower_bound=2008-05-01 23:59:59.999 selection_flags=0x1"},
        {{"/AE2008-05-01"}, 0, "date_lower_bound=2008-05-01 00:00:00.000 selection_flags=0x11"},
        {{"/b2008-05-01"}, 0, "date_upper_bound=2008-05-01 00:00:00.000 selection_flags=0x1"},
        {{"/Be2008-05-01"}, 0, "date_upper_bound=2008-05-01 23:59:59.999 selection_flags=0x21"},
        // An exclusive lower bound excludes its whole second.
        {{"/AE2008-05-01", "/A2008-05-02,12:00:00"}, 0, "date_lower_bound=2008-05-02 12:00:00.999 selection_flags=0x1"},
        {{"/BE2008-05-02,12:00:00"}, 0, "date_upper_bound=2008-05-02 12:00:00.999 selection_flags=0x21"},
        {{"/A79-01-01/B80-01-01"},
         0,
         "date_lower_bound=2079-01-01 23:59:59.999 date_upper_bound=1980-01-01 00:00:00.000 "
         "selection_flags=0x1"},
        {{"/A1601-01-01"}, 0, "date_lower_bound=1601-01-01 23:59:59.999 selection_flags=0x1"},
        {{"/A1600-01-01"}, 1, "selection_flags=0x1"},
        {{"/A2000-02-29"}, 0, "date_lower_bound=2000-02-29 23:59:59.999 selection_flags=0x1"},
        {{"/A1900-02-29"}, 1, "selection_flags=0x1"},
        {{"/A"}, 1, "selection_flags=0x1"},
        {{"/A2008-05-01X"}, 1, "date_lower_bound=2008-05-01 23:59:59.999 selection_flags=0x1"},
        {{"/DI2008-05-01,10:00:00"}, 0, "operation_mode=0x800 confirm_each=0 new_file_time=2008-05-01 10:00:00.000"},
        {{"/D2008-05-01&10:00:00.25"}, 0, "operation_mode=0x800 new_file_time=2008-05-01 10:00:00.250"},
        {{"/+AI", "/D2008-05-01,10:00:00"},
         0,
         "operation_mode=0x800 attr_add_mask=0x20 new_file_time=2008-05-01 10:00:00.000"},
        // The I belongs right behind the D; a date needs its time.
        {{"/D2008-05-01,10:00:00I"}, 1, "operation_mode=0x800 new_file_time=2008-05-01 10:00:00.000"},
        {{"/D2008-05-01"}, 1, "operation_mode=0x800"},
        {{"/D2008-05-01,25:00:00"}, 1, "operation_mode=0x800"},
    });
}

TEST_F(KestoOptions, NameListsAndCommand) {
    check_option_rows({
        {{"/W='a,b'"}, 0, "include_file_list=,a,b"},
        {{"/W=|a,b|"}, 0, "include_file_list=,a,b"},
        {{"/W='a'", "/w:'b'"}, 0, "include_file_list=,a,b"},
        {{"/W='it''s'"}, 0, "include_file_list=,it's"},
        {{"/W='abc"}, 0, "include_file_list=,abc"},
        {{"/W=''"}, 0, "include_file_list=,"},
        {{"/W='a'/CV"}, 0, "operation_mode=0x1020 include_file_list=,a"},
        {{"/W='a' /Y4"}, 0, "four_digit_year=1 include_file_list=,a"},
        {{"/W='a'x"}, 1, "include_file_list=,a"},
        {{"/I='*.tmp'"}, 0, "exclude_file_list=,*.tmp"},
        {{"/O:'.git'"}, 0, "exclude_dir_list=,.git"},
        {{"/P='src'", "/P='doc'"}, 0, "include_dir_list=,src,doc include_depth=0"},
        {{"/W"}, 1, ""},
        {{"/W="}, 1, ""},
        {{"/W'a'"}, 1, ""},
        {{"/P"}, 1, "include_depth=0"},
        {{"/XAFIN='echo $n'"},
         0,
         "operation_mode=0x8000 confirm_each=0 exec_command=echo $n exec_full_path=1 "
         "exec_double_dollar=1 exec_hide_command=1"},
        {{"/XA='a'", "/X:|b|"}, 0, "operation_mode=0x8000 exec_command=b"},
        {{"/X"}, 1, "operation_mode=0x8000"},
        {{"/XZ='a'"}, 1, "operation_mode=0x8000"},
    });
}

TEST_F(KestoOptions, SeveralOptionsInOneArgument) {
    check_option_rows({
        {{"/CV/130/Y4"}, 0, "operation_mode=0x1020 max_depth=130 four_digit_year=1"},
        {{"/T /Y4"}, 0, "operation_mode=0x8 four_digit_year=1"},
        {{"/T\t/Y4"}, 0, "operation_mode=0x8 four_digit_year=1"},
        {{"/T  /Y4"}, 0, "operation_mode=0x8 four_digit_year=1"},
        // Text between options is read over, a double-quoted stretch whole.
        {{"/T x /Y4"}, 0, "operation_mode=0x8 four_digit_year=1"},
        {{"/T \"a /Z\" /Y4"}, 0, "operation_mode=0x8 four_digit_year=1"},
        {{"/T \"a /Y4"}, 1, "operation_mode=0x8"},
        // What came before a failing option stays applied.
        {{"/CV/Z/Y4"}, 1, "operation_mode=0x1020"},
        {{"/Z", "/Y4"}, 1, "four_digit_year=1"},
        {{"/Z", "/X", "/Y3"}, 3, "operation_mode=0x8000"},
    });
}

TEST_F(KestoOptions, EnglishOptionSwitchesLaterMessages) {
    plat::use_english = false;
    std::string printed = classify({"/Z", "/E", "/CMV"});
    EXPECT_TRUE(plat::use_english);
    EXPECT_EQ(state.parameter_errors, 2);
    EXPECT_EQ(printed, unix_lines(plat::to_console_text("パラメータが不正です. [/Z]\n"
                                                        "/?オプションで使用方法を表示します.\n")) +
                           "Parameter error. [/CMV]\n"
                           "Use /? option to show usage.\n");
}

TEST_F(KestoOptions, ErrorMessageShowsTheArgumentAsGiven) {
    std::vector<char> argument{'/', 'W', '=', '\'', 'a', '\'', '\'', 'b', '\'', '/', 'Z', '\0'};
    std::string printed = classify({argument.data()});
    EXPECT_EQ(printed, "Parameter error. [/W='a''b'/Z]\nUse /? option to show usage.\n");
    EXPECT_STREQ(argument.data(), "/W='a''b'/Z");
    EXPECT_EQ(state.options.include_file_list, ",a'b");
}

TEST_F(KestoOptions, PathArguments) {
    bool posix = plat::shell_expands_arguments();
    std::string printed = classify({"src", "/CV", "", "c", "d"});
    EXPECT_EQ(state.source_arg.value_or("(none)"), "src");
    EXPECT_EQ(state.dest_arg.value_or("(none)"), "");
    EXPECT_EQ(state.options.operation_mode, kesto::MODE_COPY | kesto::MODE_FLAG_VERIFY);
    if (posix) {
        // The shell expanded a wildcard: a third path is an error, with a
        // hint once.
        EXPECT_EQ(state.parameter_errors, 2);
        EXPECT_EQ(printed,
                  "Parameter error. [c]\n"
                  "More than two paths: put a path with wild card characters in quotes, as in "
                  "'*.txt'.\n"
                  "Use /? option to show usage.\n"
                  "Parameter error. [d]\n"
                  "Use /? option to show usage.\n");
    } else {
        EXPECT_EQ(state.parameter_errors, 0);
        EXPECT_EQ(printed, "");
    }

    state = kesto::State{};
    classify({"--", "/home/me", "/CV"});
    if (plat::is_end_of_options("--")) {
        EXPECT_EQ(state.source_arg.value_or("(none)"), "/home/me");
        EXPECT_EQ(state.dest_arg.value_or("(none)"), "/CV");
        EXPECT_EQ(state.options.operation_mode, kesto::MODE_LIST);
        EXPECT_EQ(state.parameter_errors, 0);
    } else {
        EXPECT_EQ(state.source_arg.value_or("(none)"), "--");
        EXPECT_EQ(state.parameter_errors, 1);
    }

    state = kesto::State{};
    classify({});
    EXPECT_FALSE(state.source_arg);
    EXPECT_FALSE(state.dest_arg);
}

TEST_F(KestoOptions, ListThatCannotGrowFailsTheOption) {
    plat::fault::arm(plat::fault::Call::allocate, 1, 12);
    classify({"/W='a'", "/W='b'"});
    EXPECT_EQ(state.parameter_errors, 1);
    EXPECT_EQ(state.options.include_file_list, ",b");
}

TEST_F(KestoOptions, CommandTakesDirectoryAndInterpreter) {
    classify({"/X='dir'"});
    ASSERT_EQ(state.parameter_errors, 0);
    std::string directory;
    ASSERT_TRUE(plat::current_directory(directory));
    EXPECT_EQ(state.options.start_directory, directory);
    std::string comspec;
    if (plat::get_env("COMSPEC", comspec))
        EXPECT_EQ(state.options.command_interpreter, comspec);
    else
        EXPECT_EQ(state.options.command_interpreter, plat::default_command_interpreter());
    std::string interpreter = plat::default_command_interpreter();
    EXPECT_TRUE(interpreter == "/bin/sh" || interpreter == "CMD.EXE" || interpreter == "COMMAND.COM");
}

TEST_F(KestoOptions, DateOptionWithoutDateTakesTheCurrentTime) {
    plat::FileTime before = plat::now_file_time();
    classify({"/D"});
    plat::FileTime after = plat::now_file_time();
    EXPECT_EQ(state.parameter_errors, 0);
    EXPECT_EQ(state.options.operation_mode, kesto::MODE_DATE);
    EXPECT_GE(state.options.new_file_time, before);
    EXPECT_LE(state.options.new_file_time, after);
}

TEST_F(KestoOptions, TimeWithoutDateIsToday) {
    plat::CalendarTime today_before, today_after, got;
    ASSERT_TRUE(plat::file_time_to_local(plat::now_file_time(), today_before));
    classify({"/D,10:00:00"});
    ASSERT_TRUE(plat::file_time_to_local(plat::now_file_time(), today_after));
    ASSERT_EQ(state.parameter_errors, 0);
    ASSERT_TRUE(plat::file_time_to_local(state.options.new_file_time, got));
    EXPECT_TRUE(got.day == today_before.day || got.day == today_after.day);
    EXPECT_EQ(got.month, today_before.month);
    EXPECT_EQ(got.hour, 10);
    EXPECT_EQ(got.minute, 0);
    EXPECT_EQ(got.second, 0);
    EXPECT_EQ(got.millisecond, 0);
}

TEST_F(KestoOptions, DateGrammar) {
    plat::CalendarTime now;
    now.year = 2010, now.month = 6, now.day = 15;
    now.hour = 12, now.minute = 34, now.second = 56, now.millisecond = 789;
    using kesto::DATE_FILL_END;
    using kesto::DATE_FILL_NONE;
    using kesto::DATE_FILL_START;
    struct Row {
        const char* text;
        int fill;
        bool ok;
        int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
        const char* rest = "";
    } rows[] = {
        {"2008-05-01,10:00:00", DATE_FILL_NONE, true, 2008, 5, 1, 10, 0, 0, 0, ""},
        {"2008-05-01,10:00:00", DATE_FILL_END, true, 2008, 5, 1, 10, 0, 0, 999, ""},
        {"2008-05-01", DATE_FILL_NONE, false},
        {"2008-05-01", DATE_FILL_START, true, 2008, 5, 1, 0, 0, 0, 0, ""},
        {"2008-05-01", DATE_FILL_END, true, 2008, 5, 1, 23, 59, 59, 999, ""},
        {"08/5/1&1:2:3", DATE_FILL_NONE, true, 2008, 5, 1, 1, 2, 3, 0, ""},
        {",10:00:00", DATE_FILL_NONE, true, 2010, 6, 15, 10, 0, 0, 0, ""},
        {"&23:59:59.5", DATE_FILL_END, true, 2010, 6, 15, 23, 59, 59, 500, ""},
        {",10:00:00.05", DATE_FILL_NONE, true, 2010, 6, 15, 10, 0, 0, 50, ""},
        {",10:00:00.1234/Y4", DATE_FILL_NONE, true, 2010, 6, 15, 10, 0, 0, 123, "/Y4"},
        {",10:00:00.", DATE_FILL_START, true, 2010, 6, 15, 10, 0, 0, 0, ""},
        {",10:00:00.7x", DATE_FILL_START, true, 2010, 6, 15, 10, 0, 0, 700, "x"},
        {"2008-05-01/CV", DATE_FILL_END, true, 2008, 5, 1, 23, 59, 59, 999, "/CV"},
        {"2008-05-01 /CV", DATE_FILL_START, true, 2008, 5, 1, 0, 0, 0, 0, " /CV"},
        {"0-1-1", DATE_FILL_START, true, 2000, 1, 1, 0, 0, 0, 0, ""},
        {"79-12-31", DATE_FILL_START, true, 2079, 12, 31, 0, 0, 0, 0, ""},
        {"80-01-01", DATE_FILL_START, true, 1980, 1, 1, 0, 0, 0, 0, ""},
        {"99-01-01", DATE_FILL_START, true, 1999, 1, 1, 0, 0, 0, 0, ""},
        {"100-01-01", DATE_FILL_END, false},
        {"1600-12-31", DATE_FILL_END, false},
        {"1601-01-01", DATE_FILL_END, true, 1601, 1, 1, 23, 59, 59, 999, ""},
        {"30827-12-31", DATE_FILL_START, true, 30827, 12, 31, 0, 0, 0, 0, ""},
        {"30828-01-01", DATE_FILL_START, false},
        {"99999999999-01-01", DATE_FILL_START, false},
        {"2000-02-29", DATE_FILL_START, true, 2000, 2, 29, 0, 0, 0, 0, ""},
        {"2004-02-29", DATE_FILL_START, true, 2004, 2, 29, 0, 0, 0, 0, ""},
        {"1900-02-29", DATE_FILL_START, false},
        {"2100-02-29", DATE_FILL_START, false},
        {"2008-04-31", DATE_FILL_START, false},
        {"2008-00-10", DATE_FILL_START, false},
        {"2008-13-10", DATE_FILL_START, false},
        {"2008-05-00", DATE_FILL_START, false},
        {"2008.05.01", DATE_FILL_START, false},
        {"2008--01", DATE_FILL_START, false},
        {"-05-01", DATE_FILL_START, false},
        {"", DATE_FILL_START, false},
        {",24:00:00", DATE_FILL_START, false},
        {",23:60:00", DATE_FILL_START, false},
        {",23:59:60", DATE_FILL_START, false},
        {",10:00", DATE_FILL_START, false},
        {",10-00-00", DATE_FILL_START, false},
        {",:00:00", DATE_FILL_START, false},
        {"2008-05-01,", DATE_FILL_START, false},
    };
    for (const Row& row : rows) {
        std::string_view cursor = row.text;
        plat::FileTime result = 1;
        bool ok = kesto::parse_date_time(result, cursor, row.fill, now);
        EXPECT_EQ(ok, row.ok) << row.text << " fill " << row.fill;
        if (!ok || !row.ok) continue;
        plat::CalendarTime expected;
        expected.year = row.year, expected.month = row.month, expected.day = row.day;
        expected.hour = row.hour, expected.minute = row.minute, expected.second = row.second;
        expected.millisecond = row.millisecond;
        plat::FileTime expected_time = 0;
        ASSERT_TRUE(plat::local_to_file_time(expected, expected_time)) << row.text;
        EXPECT_EQ(result, expected_time) << row.text << " fill " << row.fill << ": " << local_time_text(result);
        EXPECT_EQ(cursor, row.rest) << row.text;
    }
}

TEST_F(KestoOptions, DaysInMonth) {
    const int days_2001[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    for (int month = 1; month <= 12; ++month)
        EXPECT_EQ(kesto::days_in_month(2001, month), days_2001[month - 1]) << month;
    struct Row {
        int year, days;
    } februaries[] = {{2000, 29}, {2004, 29}, {1900, 28}, {2100, 28}, {1601, 28}, {2400, 29}};
    for (const Row& row : februaries) EXPECT_EQ(kesto::days_in_month(row.year, 2), row.days) << row.year;
}

TEST_F(KestoOptions, QuotedValue) {
    bool posix = plat::shell_expands_arguments();
    struct Row {
        const char* text;
        bool ok;
        const char* value = "";
        const char* rest = "";
    } rows[] = {
        {"='a,b'", true, "a,b", ""},
        {":|a,b|/CV", true, "a,b", "/CV"},
        {"='it''s' x", true, "it's", " x"},
        {"=''''", true, "'", ""},
        {"=''", true, "", ""},
        {"='''", true, "'", ""},
        {"='open", true, "open", ""},
        {"=\"a b\"", true, "a b", ""},
        {"=#a##b#", true, "a#b", ""},
        {"=", false},
        {":", false},
        {"", false},
        {"'a'", false},
        {"x'a'", false},
    };
    for (const Row& row : rows) {
        std::string_view cursor = row.text;
        std::string value = "old";
        bool ok = kesto::parse_quoted_value(cursor, value);
        EXPECT_EQ(ok, row.ok) << row.text;
        if (!ok || !row.ok) continue;
        EXPECT_EQ(value, row.value) << row.text;
        EXPECT_EQ(cursor, row.rest) << row.text;
    }
    // The shell removes the user's quotes on POSIX: a character that cannot
    // have been meant as a quote starts a value that runs to the end.
    struct SystemRow {
        const char* text;
        const char* windows_value;
        const char* windows_rest;
        const char* posix_value;
    } system_rows[] = {
        {"=*.keep", ".keep", "", "*.keep"}, {"=abca/Y4", "bc", "/Y4", "abca/Y4"},
        {"=.git", "git", "", ".git"},       {"=~/x~", "/x", "", "~/x~"},
        {"=$n$", "n", "", "$n$"},           {"=_a_", "a", "", "_a_"},
        {"=-a-", "a", "", "-a-"},           {"=?a?", "a", "", "?a?"},
        {"=/a/", "a", "", "/a/"},
    };
    for (const SystemRow& row : system_rows) {
        std::string_view cursor = row.text;
        std::string value;
        EXPECT_TRUE(kesto::parse_quoted_value(cursor, value)) << row.text;
        EXPECT_EQ(value, posix ? row.posix_value : row.windows_value) << row.text;
        EXPECT_EQ(cursor, posix ? "" : row.windows_rest) << row.text;
    }
}

TEST_F(KestoOptions, SplitOptionText) {
    static std::vector<std::string> seen;
    auto record = [](std::string_view& cursor) {
        // Takes the slash and one letter; "!" fails.
        seen.emplace_back(cursor.substr(0, 2));
        cursor.remove_prefix(cursor.size() >= 2 ? 2 : cursor.size());
        return seen.back() != "/!";
    };
    struct Row {
        const char* text;
        bool ok;
        const char* options;
    } rows[] = {
        {"/a/b/c", true, "/a /b /c"}, {"/a /b\t/c", true, "/a /b /c"}, {"/a  x\"/q\" /b", true, "/a /b"},
        {"/a \"/q", false, "/a"},     {"/ax/b", false, "/a"},          {"/a/!/b", false, "/a /!"},
        {"/a ", true, "/a"},
    };
    for (const Row& row : rows) {
        seen.clear();
        EXPECT_EQ(kesto::split_option_text(row.text, record), row.ok) << row.text;
        std::string options;
        for (const std::string& option : seen) options += (options.empty() ? "" : " ") + option;
        EXPECT_EQ(options, row.options) << row.text;
    }
}

TEST_F(KestoOptions, StripDoubleQuotes) {
    struct Row {
        const char* text;
        const char* stripped;
    } rows[] = {
        {"\"C:\\Program Files\"\\x", "C:\\Program Files\\x"},
        {"a\"\"b\"", "ab"},
        {"\"", ""},
        {"plain", "plain"},
        {"", ""},
    };
    for (const Row& row : rows) {
        std::string text = row.text;
        kesto::strip_double_quotes(text);
        EXPECT_EQ(text, row.stripped) << row.text;
    }
}

TEST_F(KestoOptions, ParameterList) {
    const char* argv[] = {"kesto", "/?1", "/W='a''b'", "x y", ""};
    std::string printed = standard_error_of([&] { kesto::print_parameter_list(5, argv); });
    EXPECT_EQ(printed, "Parameters: [/?1] [/W='a''b'] [x y] []\n");
    printed = standard_error_of([&] { kesto::print_parameter_list(1, argv); });
    EXPECT_EQ(printed, "Parameters:\n");
}

const char ENGLISH_USAGE[] = R"(Layered directories and files operation program  Version 6.01
       Copyright (C) 1988-2008. All rights reserved.

Usage
KESTO  [<options>]  [<source path> [<destination path>]]

<source path>
  specify file name or directory name or drive name.
  if specified directory name with last \, itself is out of operation.
  if omitted source path, it is assumed current directory.
  wild card characters can be accepted.
  if source path includes space character, it must be put in "...".

<destination path>
  specify directory name or drive name.
  if omitted destination path, it is assumed current directory.
  if destination path includes space character, it must be put in "...".

<options>
  default options are /130/L1/Y2
  if a option includes space character, the option must be put in "...".
  option with '...',  character ' is changed by any first character.
  <attr> is any combination of file attributes R,H,S,A,D.
         R:read only H:hiden S:system A:archive D:directory
  <date> is [yy]yy-mm-dd[{,|&}hh:mm:ss[.nnn]]

 /? ------------ display this help messages.
 /?1 ----------- display parameters passed from shell.

 /n ------------ specify operationable directory layer count n(0 - 130).
 /!<attr> ------ attributes all of which should be excluded with operation.
 /&<attr> ------ attributes all of which must be included with operation.
 /{=|:}<attr> -- attributes some of which should be included with operation.
 /A[E]<date> --- specify oldest date which should be included with operation.
 /B[E]<date> --- specify newest date which should be included with operation.
                   if without E then newest or oldest date is excluded.
 /W{=|:}'file1,file2,...'
    ------------ specify file name which should be included with operation.
 /I{=|:}'file1,file2,...'
    ------------ specify file name which should be excluded with operation.
 /O{=|:}'directory1,directory2,...'
    ------------ specify directory name which should be excluded with operation
 /P{=|:}'directory1,directory2,...'
    ------------ specify directory name which should be included with operation
                   each file and directory name does not contain path,
                   but wild card characters are includable.
 /Ln ----------- specify long or short file name and etc with n to display.
                   n=0,4:short, n=1,5:long, n>3:display create/access date also
 /Y{2|4} ------- specify 2 or 4 digits by which year is displayed.
 /Mn ----------- pause each n files are operated and continue by type any key.
 /Qn ----------- sound beep n times at discord of file comparison.

 /+<attr>[I] --- add attributes to source path files.
 /-<attr>[I] --- delete attributes from source path files.
                   if with I then operation will be done without confirming.

 /D[<date>][I] - change date of file in <date> or current time.
                   if with I then operation will be done without confirming.

 /T ------------ display file tree structure under the source path.
 /S[T][n] ------ add and display file size raised to n KByte unit.
                   if with T then display only the total size.
                   n is one of 0.5,1,2,4,8,16,32. Byte unit applies without n.
 /F[D][N][E][P][Ih..h]
    ------------ contain CRC16 of the file in the displayed file informations.
                   if with D then display CRC32.
                   if with I then h..h(hex strings) is CRC initial value.
                   if with N then read files without calculating CRC.
                   if with E then continue even if file open or read error.
                   if with P display progress as percent for every file.

 /{C|U}{[V][R]|[M]}[2][I][P][E][T]
    ------------ copy or update source path files to destination path.
                   if with C then copy, if with U then update.
                   if with V then compare files after copy or update.
                   if with R then delete source path files after operation.
                   if with M then files are moved on the same drive.
                   if with 2 then assume difference within 2 seconds is same.
                   if with I then operation will be done without confirming.
                   if with E then continue even if file open or write error.
                   if with P display progress as percent for every file.

 /V[N][A][H][R][S][L][D[2]][V][E][P]
    ------------ compare source path files to destination path files.
                   if with N then compare attributes, date, size, not content.
                   if with A,H,R,S then compare each attributes.
                   if with D then compare date.
                   if with 2 then assume difference within 2 seconds is same.
                   if with V then display only discord files.
                   if with E then continue even if file open or read error.
                   if with P display progress as percent for every file.

 /R[V][I][E] --- delete source path files and directories.
                   if with V then operation will be done at the time of
                                   a collation success to desitination path.
                   if with I then operation will be done without confirming.
                   if with E then continue even if delete error.

 /X[A][F][I][N]{=|:}'<command>'
    ------------ execute child process <command>.
                   the following variable can be included into a command.
                     $V:drive name: (if source path has no drive name then '.')
                     $N:short path and file, $n:long path and file
                     $P:short path         , $p:long path
                     $S:short directory    , $s:long directory
                     $F:short file         , $f:long file
                     $E:short extension    , $e:long extension
                     $D:date(yyyy-mm-dd)   , $d:date(yymmdd)
                     $T:time(hh:mm:ss)     , $t:time(hhmmss)
                     $$:character '$'      , $;:multi commands separator
                   if with A then path is converted into full path
                   if with F then replace '$' in the above file or path as '$$'
                   if with I then operation will be done without confirming.
                   if with N then no command to execute is displayed.

errorlevel
  if no error and without /S and /V and /VR option then
    return operated file counts (maximum 254).
  if no error and with /S option then
    return total size raised nKbyte unit (total cluster size, maximum 254).
  if no error and with /V or /VR option then
    return verify (deletion) successed file counts (maximum 254).
  if error occurred then
    return 255.

key operation
  ESC ----------- stop operation at once
  Ctrl+C -------- again operation with confirming
)";

const char JAPANESE_USAGE[] = R"(階層ディレクトリファイル操作プログラム  Version 6.01
       Copyright (C) 1988-2008. All rights reserved.

起動方法
KESTO  [<オプション>]  [<ソースパス> [<ディスティネーションパス>]]

<ソースパス>
  ファイル名またはディレクトリ名もしくはドライブ名を指定します.
  ディレクトリ名で\を付加するとそのディレクトリ自体は処理対象になりません.
  省略するとカレントディレクトリとなります.
  ワイルドカードが使えます.

<ディスティネーションパス>
  ディレクトリ名またはドライブ名を指定します.
  省略するとカレントディレクトリとなります.

<オプション>
  デフォルトで /130/L1/Y2 が設定されます.
  オプションがスペースを含む場合は"..."で括ります.
  '...'の'は任意の文字で置き換え可能です.
  <attr> はR,H,S,A,Dの任意の組み合わせで属性を指定します.
         R:読出専用属性 H:隠し属性 S:システム属性
         A:保存属性     D:ディレクトリ
  <date> は [yy]yy-mm-dd[{,|&}hh:mm:ss[.nnn]]で日時を指定します.

 /? ------------ ヘルプを表示します.
 /?1 ----------- シェルから渡されたパラメータを表示します.

 /n ------------ 処理するディレクトリの深さを n ( n=0～130 ) で指定します.
 /!<attr> ------ 無視するエントリの属性を<attr>で指定します.
 /&<attr> ------ 処理するエントリの属性を<attr>の積で指定します.
 /{=|:}<attr> -- 処理するエントリの属性を<attr>の和で指定します.
 /A[E]<date> --- 処理するファイルの日付上限を<date>で指定します.
 /B[E]<date> --- 処理するファイルの日付下限を<date>で指定します.
                   Eを指定すると日付の上下限のファイルまで含めます.
 /W{=|:}'file1,file2,...'
    ------------ 処理するファイル名(パスは含めない)を指定します.
 /I{=|:}'file1,file2,...'
    ------------ 無視するファイル名(パスは含めない)を指定します.
 /O{=|:}'directory1,directory2,...'
    ------------ 無視するディレクトリ名(パスは含めない)を指定します.
 /P{=|:}'directory1,directory2,...'
    ------------ 処理するディレクトリ名(パスは含めない)を指定します.
 /Ln ----------- 長いファイル名/短いファイル名の表示をnで指定します.
                   n=0:短い名前, n=1:長い名前, n=4,5:作成/参照日時も表示
 /Y{2|4} ------- 日付の年表示桁数を2または4で指定します.
 /Mn ----------- nファイル処理する毎にポーズしキー入力待ちします.
 /Qn ----------- 照合不一致時にビープ音をn回鳴らします.

 /+<attr>[I] --- ソースパス下のファイルに属性<attr>を付加します.
 /-<attr>[I] --- ソースパス下のファイルの属性<attr>を削除します.
                   Iを指定すると確認せずに実行

 /D[<date>][I] - ファイル日付を<date>または現在時刻に変更します.
                   Iを指定すると確認せずに実行

 /T ------------ ソースパス下のファイルツリー構造を表示します.
 /S[T][n] ------ ソースパス下のファイルサイズをnKbyteに切り上げ積算表示します.
                   Tを指定すると合計サイズのみ表示
                   n=0.5,1,2,4,8,16,32のいずれか、指定しない場合はバイト単位
 /F[D][N][E][P][Ih..h]
    ------------ ファイル一覧表示時にCRC(CRC16)を表示します.
                   Dを指定するとCRC32で計算
                   Iを指定するとCRC計算を初期値を16進数h..hで開始
                   Nを指定するとCRC計算をせず読出のみ
                   Eを指定するとファイル読出失敗時に続行
                   Pを指定するとファイル毎に進行状況をパーセント表示

 /{C|U}{[V][R]|[M]}[2][I][E}[P][T]
    ------------ ソースパス下をディスティネーション下に上書/更新します.
                   Cを指定すると上書,Uを指定すると更新
                   Vを指定すると上書/更新後に照合
                   Rを指定すると上書/更新,照合後にソース側を削除
                   Mを指定すると同一ドライブ上の移動
                   2を指定すると±2秒差以内は同時刻
                   Iを指定すると確認せずに実行
                   Eを指定するとファイル書込読出失敗時に続行
                   Pを指定するとファイル毎に進行状況をパーセント表示

 /V[N][A][H][R][S][L][D[2]][V][E][P]
    ------------ ソースパス下のファイルをディスティネーション側と照合します.
                   Nを指定するとファイルの中身は比較せず属性,日付,サイズを比較
                   A,H,R,Sを指定すると各々保存,隠し,読出専用,システム属性を比較
                   Dを指定すると日付を比較,2を指定すると±2秒差以内は同時刻
                   Vを指定すると不一致したファイルのみを表示
                   Eを指定するとファイル読出失敗時に続行
                   Pを指定するとファイル毎に進行状況をパーセント表示

 /R[V][I][E] --- ソースパス下のファイル/ディレクトリを削除します.
                   Vを指定するとディスティネーション側と照合成功時に削除
                   Eを指定すると削除失敗時に続行
                   Iを指定すると確認せずに実行

 /X[A][F][I][N]{=|:}'<command>'
    ------------ 子プロセス<command>を実行します.
                   command中には以下の変数が使えます.
                     $V:ドライブ名: (ソースパスがドライブ名を含まない時は.)
                     $N:短いパスファイル名, $n:長いパスファイル名
                     $P:短いパス名        , $p:長いパス名
                     $S:短いディレクトリ名, $s:長いディレクトリ名
                     $F:短いファイル名    , $f:長いファイル名
                     $E:短い拡張子名      , $f:長い拡張子名
                     $D:日付(yyyy-mm-dd)  , $d:日付(yymmdd)
                     $T:時刻(hh:mm:ss)    , $t:時刻(hhmmss)
                     $$:文字$             , $;:複数commandの区切り
                   Aを指定するとパスをフルパスに変換
                   Fを指定すると変数展開されたファイル名中の$を$$に置換
                   Iを指定すると確認せずに実行
                   Nを指定すると実行コマンドを非表示

エラーレベル
  エラーがなく/S,/V,/RVオプションを指定しない場合
    指定した条件に一致したファイル数(最大254)を返します.
  エラーがなく/Sオプションを指定した場合
    計算されたnKbyte単位の合計サイズ(総クラスタ数,最大254)を返します.
  エラーがなく/V,/RVオプションを指定した場合
    照合,削除に成功したファイル数(最大254)を返します.
  エラーがある場合
    255を返します

キー操作
  ESC ----------- 処理を中止する
  Ctrl+C -------- 処理の確認をする
)";

TEST_F(KestoOptions, UsageScreenInBothLanguages) {
    EXPECT_EQ(standard_output_of(kesto::print_usage_screen), ENGLISH_USAGE);
    plat::use_english = false;
    EXPECT_EQ(standard_output_of(kesto::print_usage_screen), unix_lines(plat::to_console_text(JAPANESE_USAGE)));
}

}  // namespace

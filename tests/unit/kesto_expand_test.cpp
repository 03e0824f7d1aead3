// The /X template expansion where the end-to-end tests cannot reach: names
// in the root and with several dots, drives, '$' pairs, quoting with
// doubling, where the length limit is looked at, and the texts of failed
// child starts.
#include "kesto/execute.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/message.h"
#include "platform/path.h"
#include "platform/process.h"
#include "support/kesto_tree.h"  // native()
#include "support/text.h"

namespace {

using namespace kesto;
using testsupport::native;
using testsupport::on_windows;

CommandNames names_of(const std::string& short_path, const std::string& long_path) {
    CommandNames names;
    names.short_path = native(short_path);
    names.long_path = native(long_path);
    return names;
}

std::string expand_one(const std::string& command_template, const CommandNames& names) {
    std::size_t cursor = 0;
    std::string command;
    expand_command(command_template, cursor, names, command);
    return command;
}

TEST(KestoExpand, Variables) {
    struct Row {
        const char* name;
        const char* short_path;
        const char* long_path;
        const char* command_template;
        const char* expected;  // with "/" for the separator
    } rows[] = {
        {"file in the root", "/X.TXT", "/x.txt", "[$P][$S][$N]", "[][][/X.TXT]"},
        {"dots: the last one counts", "D/A.B.C", "d/a.b.c", "$F $E", "A.B C"},
        {"dollars and unknown pairs", "A", "a", "$$ $$$$ $q $1 $", "$ $$ $q $1 $"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(expand_one(row.command_template, names_of(row.short_path, row.long_path)), native(row.expected));
    }
}

// Drives exist where ':' ends a path component (Windows).
TEST(KestoExpand, Drives) {
    if (!on_windows()) {  // ':' is an ordinary character
        EXPECT_EQ(expand_one("$V $v $P $S", names_of("C:/DIR/X", "c:/dir/x")), ". . C:/DIR C:/DIR");
        return;
    }
    struct Row {
        const char* path;
        const char* expected;
    } rows[] = {
        {"C:\\DIR\\READ.ME", "C:\\DIR|\\DIR|READ|ME|C:\\DIR\\READ.ME|C:|c:"},
        {"c:\\X.TXT", "c:||X|TXT|c:\\X.TXT|C:|c:"},
        {"C:X.TXT", "C:|.|X|TXT|C:X.TXT|C:|c:"},
        {"DIR\\X", "DIR|DIR|X||DIR\\X|.|."},
    };
    for (const Row& row : rows)
        EXPECT_EQ(expand_one("$P|$S|$F|$E|$N|$V|$v", names_of(row.path, row.path)), row.expected) << row.path;
}

// Names are quoted for the interpreter, then '$' doubled with F; the
// template's own text, dates and times are neither.
TEST(KestoExpand, QuotingAndDoubling) {
    CommandNames names = names_of("A$B.TXT", "it's;rm x.$(y)");
    names.double_dollar = true;
    const std::string command = expand_one("$$ $F $f $e", names);
    if (!on_windows())
        EXPECT_EQ(command, "$ 'A$$B' 'it'\\''s;rm x' '$$(y)'");
    else
        EXPECT_EQ(command, "$ A$$B it's;rm x $$(y)");
    names.double_dollar = false;
    EXPECT_EQ(expand_one("$F", names), !on_windows() ? "'A$B'" : "A$B");
    // Characters a shell takes literally stay unquoted.
    EXPECT_EQ(plat::quote_command_argument("a-Z_0.9/+,:@%="), "a-Z_0.9/+,:@%=");
    EXPECT_EQ(plat::quote_command_argument(""), "");
}

TEST(KestoExpand, LengthLimit) {
    const CommandNames names = names_of("A", std::string(100, 'n'));
    struct Row {
        std::string command_template;
        std::size_t command_length;
        bool too_long;
    } rows[] = {
        {std::string(1020, 'x'), 1020, false},
        {std::string(1021, 'x'), 1021, true},
        // The limit is looked at before each template character only.
        {std::string(1019, 'x') + "$n", 1119, true},
        {std::string(1018, 'x') + "$N", 1019, false},
        {std::string(3000, 'x'), 1022, true},
    };
    for (const Row& row : rows) {
        std::size_t cursor = 0;
        std::string command;
        const std::size_t used = expand_command(row.command_template, cursor, names, command);
        EXPECT_EQ(command.size(), row.command_length) << row.command_template.size();
        EXPECT_EQ(used, COMMAND_PREFIX + row.command_length + 1);
        EXPECT_EQ(used > COMMAND_LIMIT, row.too_long) << row.command_template.size();
    }
}

TEST(KestoExpand, ChildErrorTexts) {
    plat::use_english = true;
    using plat::CommandFailure;
    struct Row {
        CommandFailure failure;
        const char* text;
    } rows[] = {
        {CommandFailure::not_found, "file or path not found"},
        {CommandFailure::too_long, "command line exceeds more than 1024 bytes"},
        {CommandFailure::not_executable, "file is not executable or bat format"},
        {CommandFailure::no_memory, "insufficent memory to execute child process"},
        {CommandFailure::other, "unknown child process error"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(child_error_text(row.failure).english, std::string(row.text)) << static_cast<int>(row.failure);
}

}  // namespace

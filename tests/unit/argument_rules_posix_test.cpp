// Arguments on POSIX: options keep their slash, "--" ends them, and an
// argument with a second "/" before any ":" is a path.
#include <gtest/gtest.h>

#include "rangekit/tool_frame.h"

namespace {

using rangekit::ArgKind;
using rangekit::classify_argument;

TEST(ArgumentRules, Posix) {
    struct Row {
        const char* argument;
        bool options_ended;
        ArgKind kind;
    } rows[] = {
        {"--", false, ArgKind::end_of_options},
        {"/S:0x10", false, ArgKind::option},
        {"/S:0x100/2", false, ArgKind::option},  // a "/" after the colon is division
        {"/T:/tmp/out.bin", false, ArgKind::option},
        {"/P:../in.bin", false, ArgKind::option},
        {"/M", false, ArgKind::option},
        {"/T", false, ArgKind::option},
        {"/tmp/x", false, ArgKind::operand},
        {"/home/me/a:b", false, ArgKind::operand},
        {"/S:0x10", true, ArgKind::operand},
        {"/tmp/x", true, ArgKind::operand},
        {"--", true, ArgKind::operand},
    };
    for (const Row& row : rows)
        EXPECT_EQ(classify_argument(row.argument, row.options_ended), row.kind)
            << row.argument << (row.options_ended ? " after --" : "");
}

}  // namespace

#include "rangekit/toolframe.h"

#include <gtest/gtest.h>

namespace {

using rangekit::option_matches;
using rangekit::parse_page_lines;

TEST(ToolFrame, OptionPrefixIgnoresCaseAndLength) {
    struct Row {
        const char* argument;
        const char* prefix;
        bool matches;
    } rows[] = {
        {"/s:10", "/s:", true},
        {"/S:10", "/s:", true},
        {"/S:", "/s:", true},
        {"/S", "/s:", false},
        {"/S10", "/s:", false},
        {"/T", "/t", true},
        {"/t:out.bin", "/t", true},
        {"/TYPE", "/t", true},
        {"/p:in", "/p:", true},
        {"/P", "/p:", false},
        {"/X", "/t", false},
        {"t", "/t", false},
        {"", "/t", false},
        {"-t", "/t", false},
    };
    for (const Row& row : rows)
        EXPECT_EQ(option_matches(row.argument, row.prefix), row.matches)
            << row.argument << " vs " << row.prefix;
}

TEST(ToolFrame, PageLines) {
    struct Row {
        const char* argument;
        int lines;
    } rows[] = {
        {"/M", 24}, {"/m", 24}, {"/MORE", 24}, {"/M:5", 5}, {"/m:12x", 12},
        {"/M:0", 0}, {"/m:abc", 0}, {"/M:", 0}, {"/M:100", 100},
    };
    for (const Row& row : rows) EXPECT_EQ(parse_page_lines(row.argument), row.lines) << row.argument;
}

}  // namespace

#include "platform/message.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string format(bool mask_names, const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::string text = plat::format_text(format, args, mask_names);
    va_end(args);
    return text;
}

TEST(Message, NumberedConversionsReadTheirOwnArgument) {
    struct Row {
        const char* format;
        bool mask_names;
        const char* text;
    } rows[] = {
        {"%s %lld %lld", false, "a\tb 12 -3"},
        {"%1$s %3$lld %2$lld", false, "a\tb -3 12"},
        {"%3$lld-%1$s-%2$lld", false, "-3-a\tb-12"},
        {"%2$5lld|%3$-4lld|%1$s", false, "   12|-3  |a\tb"},
        {"%%%1$s%%", true, "%a?b%"},
        {"[%-6s]%lld", true, "[a?b   ]12"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(format(row.mask_names, row.format, "a\tb", 12LL, -3LL), row.text) << row.format;
}

// The English and Japanese texts of a message, as written in a source
// file: two groups of string literals in braces.
struct Pair {
    std::string english, japanese, where;
};

// Skips blanks; then reads adjacent string literals, joined, into text.
bool read_literals(const std::string& s, std::size_t& i, std::string& text) {
    bool any = false;
    for (;;) {
        while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
        if (i >= s.size() || s[i] != '"') return any;
        for (++i; i < s.size() && s[i] != '"'; ++i) {
            if (s[i] == '\\') text += s[i++];
            text += s[i];
        }
        ++i;
        any = true;
    }
}

bool skip_to(const std::string& s, std::size_t& i, char c) {
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
    return i < s.size() && s[i++] == c;
}

std::vector<Pair> message_pairs() {
    std::vector<Pair> pairs;
    const std::filesystem::path root(SUITE_SOURCE_DIR);
    for (const char* folder : {"platform", "rangekit", "kesto", "tolven", "mirelk", "nevrik", "holmic", "zobrin"}) {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root / folder)) {
            std::ifstream in(entry.path());
            std::stringstream buffer;
            buffer << in.rdbuf();
            const std::string s = buffer.str();
            for (std::size_t brace = s.find('{'); brace != std::string::npos; brace = s.find('{', brace + 1)) {
                std::size_t i = brace + 1;
                Pair pair;
                if (read_literals(s, i, pair.english) && skip_to(s, i, ',') && read_literals(s, i, pair.japanese) &&
                    skip_to(s, i, '}')) {
                    pair.where = entry.path().filename().string() + ": " + pair.english;
                    pairs.push_back(pair);
                }
            }
        }
    }
    return pairs;
}

// A translation that read its arguments as other types, or in another
// order, would print the wrong values or crash. One text may leave out
// the last arguments (zobrin's English formula messages do not show the
// formula).
TEST(Message, TranslationsReadTheSameArguments) {
    const std::vector<Pair> pairs = message_pairs();
    EXPECT_GT(pairs.size(), 250u);
    for (const Pair& pair : pairs) {
        std::vector<std::string> english = plat::argument_conversions(pair.english.c_str());
        std::vector<std::string> japanese = plat::argument_conversions(pair.japanese.c_str());
        const std::size_t shown_by_both = std::min(english.size(), japanese.size());
        english.resize(shown_by_both);
        japanese.resize(shown_by_both);
        EXPECT_EQ(english, japanese) << pair.where;
    }
}

}  // namespace

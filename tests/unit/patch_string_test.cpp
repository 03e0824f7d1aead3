// The find and replace notation, the string file reader, the padding rule
// and the matcher of mirelk.
#include "mirelk/patch_string.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "mirelk/matcher.h"
#include "platform/fault.h"
#include "support/files.h"
#include "support/memory_receiver.h"

namespace {

using namespace mirelk;

// Parses a copy of text; the decoded bytes, or the error as text.
std::string parsed(const std::string& text, bool double_byte) {
    std::vector<char> copy(text.begin(), text.end());
    copy.push_back('\0');
    std::ptrdiff_t length = parse_patch_string(copy.data(), double_byte);
    if (length < 0) return "error " + std::to_string(length);
    return std::string(copy.data(), static_cast<std::size_t>(length));
}

TEST(PatchString, Notation) {
    struct Row {
        const char* text;
        std::string bytes;  // or "error -1" / "error -2"
    } rows[] = {
        {"41", "A"},
        {"4a4B", "JK"},
        {"00", std::string(1, '\0')},
        {"41004200", std::string("A\0B\0", 4)},
        {"", ""},
        {"4", "error -1"},
        {"414", "error -1"},
        {"41 42", "error -1"},
        {" 41", "error -1"},
        {"4G", "error -1"},
        {"G4", "error -1"},
        {"0x41", "error -1"},
        {"'AB''C'", "AB'C"},
        {"'AB", "AB"},
        {"''", ""},
        {"''''", "'"},
        {"'''", "'"},  // a doubled quote, then the end inside quotes
        {"'A'42'C'", "ABC"},
        {"'A''42'", "A'42"},     // the doubled quote does not close the text
        {"'A' 42", "error -1"},  // a blank outside quotes
        {"'a b\t'", "a b\t"},
        {"41424344'EFGH'49'''\"'00", std::string("ABCDEFGHI'\"\0", 12)},
        {"'A'4", "error -1"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(parsed(row.text, false), row.bytes);
        // Plain ASCII reads the same with double-byte characters.
        EXPECT_EQ(parsed(row.text, true), row.bytes);
    }
}

TEST(PatchString, DoubleByteCharacters) {
    struct Row {
        const char* name;
        std::string text;
        std::string double_byte;  // with Shift-JIS lead bytes
        std::string single_byte;  // without
    } rows[] = {
        // 0x83 0x5C and 0x95 0x5C: the trail byte is a backslash.
        {"two characters", "'\x83\x5C\x95\x5C'", "\x83\x5C\x95\x5C", "\x83\x5C\x95\x5C"},
        {"character then text", "'\x82\xA0x'41", "\x82\xA0xA", "\x82\xA0xA"},
        // A quote is no valid trail byte: the character is broken.
        {"quote after a lead byte", "'\x81''", "error -2", "\x81'"},
        {"quote after a lead byte, closing", "'\x81'41", "error -2",
         "\x81"
         "A"},
        {"lead byte at the end", "'AB\x81", "error -2", "AB\x81"},
        {"lead byte before a control byte", "'\xE0\x1F'", "error -2", "\xE0\x1F"},
        {"highest lead and trail byte", "'\xFC\xFC'", "\xFC\xFC", "\xFC\xFC"},
        {"lowest lead and trail byte", "'\x81\x40'", "\x81\x40", "\x81\x40"},
        {"0x7F is no trail byte", "'\x9F\x7F'", "error -2", "\x9F\x7F"},
        {"0xFD is no trail byte", "'\xE0\xFD'", "error -2", "\xE0\xFD"},
        {"0x80 and 0xA0 are no lead bytes", "'\x80\xA0'", "\x80\xA0", "\x80\xA0"},
        // Half-width katakana (0xA1-0xDF) are single bytes.
        {"half-width katakana", "'\xB1\xB2'", "\xB1\xB2", "\xB1\xB2"},
        {"lead byte outside quotes", "\x82\xA0", "error -1", "error -1"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(parsed(row.text, true), row.double_byte);
        EXPECT_EQ(parsed(row.text, false), row.single_byte);
    }
}

class PatchStringFile : public ::testing::Test {
protected:
    // A name of its own for each test: ctest runs the cases of this fixture
    // side by side, each in a process of its own.
    std::string path = ::testing::TempDir() + "mirelk_string_file_" +
                       ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".txt";
    void put(const std::string& bytes) { std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes; }
    void TearDown() override {
        std::remove(path.c_str());
        plat::fault::clear();
    }
    // Reads the first line of the file at path: expected, then a NUL.
    static void expect_first_line(const std::string& path, const std::string& expected) {
        std::unique_ptr<unsigned char[]> line;
        EXPECT_EQ(read_patch_string_file(path.c_str(), line), STRING_FILE_OK);
        if (!line) return;
        const auto* text = reinterpret_cast<const char*>(line.get());
        EXPECT_EQ(std::string(text, expected.size()), expected);
        EXPECT_EQ(text[expected.size()], '\0');
    }
};

TEST_F(PatchStringFile, FirstLine) {
    struct Row {
        const char* name;
        std::string content;
        std::string line;
    } rows[] = {
        {"no line break", "41424344", "41424344"},
        {"CR LF", "41424344\r\n", "41424344"},
        {"LF", "41424344\n", "41424344"},
        {"second line ignored", "41424344\r\nFFFF\r\n", "41424344"},
        {"empty file", "", ""},
        {"only a line end", "\r\n", ""},
        {"only carriage returns", "\r\r\r", ""},
        {"empty first line, then text", "\n41", ""},
        {"Ctrl+Z ends the text",
         "41\x1A"
         "42\n",
         "41"},
        {"Ctrl+Z after the line", "'AB'\x1A", "'AB'"},
        {"carriage returns inside stay", "41\r42\r\n", "41\r42"},
        {"zero byte",
         std::string("41\0"
                     "42\n",
                     6),
         std::string("41\0"
                     "42",
                     5)},
        {"first line longer than a read block", std::string(10000, '4') + "\r\nFF", std::string(10000, '4')},
    };
    // Each row also through a named pipe, which has no size to go by.
    const std::string fifo = path + ".fifo";
    const bool have_fifo = testsupport::make_fifo(fifo);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        put(row.content);
        expect_first_line(path, row.line);
        if (!have_fifo) continue;
        std::thread writer([&] { std::ofstream(fifo, std::ios::binary) << row.content; });
        expect_first_line(fifo, row.line);
        writer.join();
    }
    std::remove(fifo.c_str());
}

TEST_F(PatchStringFile, Failures) {
    std::unique_ptr<unsigned char[]> line;
    EXPECT_EQ(read_patch_string_file((path + ".missing").c_str(), line), STRING_FILE_ACCESS);
    EXPECT_EQ(read_patch_string_file(::testing::TempDir().c_str(), line), STRING_FILE_ACCESS);  // a folder
    put("41424344\n");
    plat::fault::arm(plat::fault::Call::allocate, 1, 12);
    EXPECT_EQ(read_patch_string_file(path.c_str(), line), STRING_FILE_NO_MEMORY);
    plat::fault::clear();
    plat::fault::arm(plat::fault::Call::read, 1, 5);
    EXPECT_EQ(read_patch_string_file(path.c_str(), line), STRING_FILE_ACCESS);
    EXPECT_FALSE(line);
}

TEST(PatchString, Padding) {
    struct Row {
        std::string bytes;
        std::size_t length;
        std::string padded;
    } rows[] = {
        {"AB", 3, "ABB"},
        {"X", 4, "XXXX"},
        {"ABCD", 4, "ABCD"},
        {std::string("A\0", 2), 5, std::string("A\0\0\0\0", 5)},
    };
    for (const Row& row : rows) {
        std::string storage = row.bytes;
        Pattern pattern;
        pattern.bytes = reinterpret_cast<unsigned char*>(storage.data());
        pattern.length = storage.size();
        ASSERT_TRUE(pad_pattern(pattern, row.length));
        EXPECT_EQ(std::string(reinterpret_cast<char*>(pattern.bytes), pattern.length), row.padded);
        EXPECT_EQ(storage, row.bytes);  // the original text stays as it was
    }
}

// Occurrences as trying every start position from left to right finds them,
// going on after each one.
std::vector<std::int64_t> naive_occurrences(const std::string& data, const std::string& pattern) {
    std::vector<std::int64_t> found;
    for (std::size_t p = 0; p + pattern.size() <= data.size();) {
        if (data.compare(p, pattern.size(), pattern) == 0) {
            found.push_back(static_cast<std::int64_t>(p));
            p += pattern.size();
        } else {
            ++p;
        }
    }
    return found;
}

using testsupport::MemoryReceiver;

std::string repeated(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += text;
    return out;
}

// Runs the body once for every find method this processor has, and puts
// the method that was in use back afterwards.
template <typename Body>
void for_each_find_method(Body body) {
    const FindMethod saved = current_find_method();
    for (FindMethod method : {FindMethod::portable, FindMethod::avx2}) {
        if (!use_find_method(method)) continue;
        SCOPED_TRACE("method " + std::to_string(static_cast<int>(method)));
        body();
    }
    use_find_method(saved);
}

TEST(MirelkMatcher, SameOccurrencesAsEveryStartPosition) {
    struct Row {
        std::string data;
        std::string pattern;
    } rows[] = {
        {"AAA", "AA"},
        {"ABABAC", "ABAC"},
        {"AAAAAAA", "AAA"},
        {"xxAAAByyAAAB", "AAAB"},
        {"ABCABCABD", "ABCABD"},
        {std::string("\0\0\x01\0\0\0\x01", 7), std::string("\0\0\x01", 3)},
        {"abc", "abcd"},
        {"aXbXcX", "X"},
        {"", "Q"},
        // Long enough for the wide search: candidates whose two compared
        // bytes match but whose middle does not, occurrences on both sides
        // of its 32- and 64-position steps, one that ends the data, and a
        // pattern longer than a step.
        {repeated("AxB", 21) + "AyBAyB" + std::string(26, '-') + "AyB", "AyB"},
        {std::string(31, '.') + "KL" + std::string(30, '.') + "KLKL" + std::string(60, '.') + "KL", "KL"},
        {"Q" + repeated("0123456789", 4) + "Q" + repeated("0123456789", 4) + "!" + repeated("0123456789", 4) + "Q",
         repeated("0123456789", 4) + "Q"},
    };
    for (const Row& row : rows)
        for_each_find_method([&] {
            SCOPED_TRACE(row.data + " / " + row.pattern);
            const auto* pattern = reinterpret_cast<const unsigned char*>(row.pattern.data());
            Matcher matcher(pattern, row.pattern.size());
            std::vector<std::int64_t> expected = naive_occurrences(row.data, row.pattern);
            std::string replaced = row.data;
            for (std::int64_t at : expected)
                replaced.replace(static_cast<std::size_t>(at), row.pattern.size(), row.pattern.size(), '#');
            // Blocks and reads from one byte up, so that occurrences cross every
            // possible block border.
            for (std::size_t block = 1; block <= row.data.size() + 1; ++block) {
                for (std::size_t most : {std::size_t{1}, block}) {
                    MemoryReceiver receiver(row.data, most, row.pattern.size());
                    std::vector<unsigned char> buffer(scan_buffer_size(block, row.pattern.size()));
                    ASSERT_TRUE(scan_range(matcher, buffer.data(), block, 100, row.data.size(), receiver));
                    std::vector<std::int64_t> shifted;
                    for (std::int64_t at : expected) shifted.push_back(at + 100);
                    EXPECT_EQ(receiver.found, shifted) << "block " << block << ", reads of " << most;
                    EXPECT_EQ(receiver.released, replaced) << "block " << block << ", reads of " << most;
                }
            }
        });
}

TEST(MirelkMatcher, StopsWhenTheReceiverSaysSo) {
    struct Failing final : ScanReceiver {
        std::size_t read(unsigned char*, std::size_t) override { return 0; }
        bool occurrence(std::int64_t, unsigned char*) override { return true; }
        bool release(const unsigned char*, std::size_t) override { return true; }
        bool block_done() override { return true; }
    } failing;
    const unsigned char pattern[] = {'A'};
    Matcher matcher(pattern, 1);
    std::vector<unsigned char> buffer_storage(scan_buffer_size(8, 1));
    unsigned char* buffer = buffer_storage.data();
    EXPECT_FALSE(scan_range(matcher, buffer, 8, 0, 4, failing));
    EXPECT_TRUE(scan_range(matcher, buffer, 8, 0, 0, failing));  // an empty range reads nothing
}

}  // namespace

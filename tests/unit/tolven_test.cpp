// tolven's routines linked directly: the scan on crafted input cut into
// pieces of every size, the line index, the key comparison and its quick
// prefix, truncation, and reads of a source that shrinks.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "platform/fault.h"
#include "platform/file.h"
#include "tolven/block_sort.h"
#include "tolven/movable_array.h"
#include "tolven/scan.h"
#include "tolven/tolven.h"

namespace {

using namespace tolven;

const unsigned char* bytes(const std::string& text) { return reinterpret_cast<const unsigned char*>(text.data()); }

struct ScanOutcome {
    std::vector<std::pair<std::int64_t, std::int64_t>> lines;  // offset, length
    std::uint64_t null_count = 0;
    std::int64_t max_line = 0;
};

// Scans input handed over in pieces of piece bytes.
ScanOutcome scan_in_pieces(const std::string& input, std::size_t piece, std::size_t growth = 2) {
    MovableArray index(sizeof(LineEntry), growth);
    ScanState scan;
    for (std::size_t at = 0; at < input.size(); at += piece)
        EXPECT_TRUE(scan_bytes(scan, bytes(input) + at, std::min(piece, input.size() - at), index));
    EXPECT_TRUE(finish_scan(scan, index));
    ScanOutcome outcome;
    const auto* entries = static_cast<const LineEntry*>(index.lock());
    for (std::size_t i = 0; i < index.count; ++i) outcome.lines.emplace_back(entries[i].offset, entries[i].length);
    index.unlock();
    outcome.null_count = scan.null_count;
    outcome.max_line = scan.max_line;
    return outcome;
}

struct ScanRow {
    const char* name;
    std::string input;
    std::vector<std::pair<std::int64_t, std::int64_t>> lines;
    std::uint64_t null_count;
};

TEST(TolvenScan, LineEndsWhereverThePiecesAreCut) {
    const std::string long_line(100, 'x');
    const std::vector<ScanRow> rows = {
        {"empty input", "", {}, 0},
        {"LF and CR LF", "a\r\nb\n", {{0, 1}, {3, 1}}, 0},
        {"CR CR LF stripped whole", "abc\r\r\nd\n", {{0, 3}, {6, 1}}, 0},
        {"last line without line end", "ab\ncd", {{0, 2}, {3, 2}}, 0},
        {"empty lines", "\n\n\r\n", {{0, 0}, {1, 0}, {2, 0}}, 0},
        {"lone CR inside a line", "a\rb\n", {{0, 3}}, 0},
        {"CR at the end of the input", "a\r", {{0, 1}}, 0},
        {"only CRs", "\r\r\r", {{0, 0}}, 0},
        {"CR after the last LF", "ab\n\r", {{0, 2}, {3, 0}}, 0},
        {"CR LF CR LF", "\r\n\r\n", {{0, 0}, {2, 0}}, 0},
        {"CR before text is content", "\rab\n", {{0, 3}}, 0},
        {"NULs stay in the line", std::string("a\0b\nc\0\0d", 8), {{0, 3}, {4, 4}}, 3},
        {"NUL before the line end", std::string("ab\0\r\n", 5), {{0, 3}}, 1},
        {"long line", long_line + "\r\n" + "y\n", {{0, 100}, {102, 1}}, 0},
        // Bytes are looked at 64 at a time: a CR LF pair across that
        // boundary, NULs and a line end right at it.
        {"CR LF across 64 bytes",
         std::string(63, 'x') + "\r\n" + std::string(2, '\0') + std::string(60, 'y') + "\n" + "z",
         {{0, 63}, {65, 62}, {128, 1}},
         2},
    };
    for (const ScanRow& row : rows) {
        // Every piece size: each line end and each CR LF pair falls on a
        // boundary in one of them.
        for (std::size_t piece = 1; piece <= row.input.size() + 1; ++piece) {
            SCOPED_TRACE(std::string(row.name) + ", pieces of " + std::to_string(piece));
            ScanOutcome outcome = scan_in_pieces(row.input, piece);
            EXPECT_EQ(outcome.lines, row.lines);
            EXPECT_EQ(outcome.null_count, row.null_count);
        }
    }
}

TEST(TolvenScan, LongestLine) {
    EXPECT_EQ(scan_in_pieces("ab\nabcdef\r\n\nabc", 4).max_line, 6);
    EXPECT_EQ(scan_in_pieces("", 4).max_line, 0);
}

TEST(TolvenIndex, GrowsMovesAndShrinks) {
    MovableArray index(sizeof(LineEntry), 3);
    for (std::int64_t i = 0; i < 10; ++i) {
        LineEntry entry{i * 10, i};
        ASSERT_TRUE(index.append(&entry));
    }
    EXPECT_EQ(index.count, 10u);
    EXPECT_EQ(index.capacity, 12u);
    EXPECT_EQ(index.allocated_bytes, 12 * sizeof(LineEntry));
    EXPECT_EQ(index.lock_count, 0);
    index.shrink_to_fit();
    EXPECT_EQ(index.capacity, 10u);
    EXPECT_EQ(index.allocated_bytes, 10 * sizeof(LineEntry));
    const auto* entries = static_cast<const LineEntry*>(index.lock());
    ASSERT_NE(entries, nullptr);
    EXPECT_EQ(index.locked_pointer, entries);
    for (std::int64_t i = 0; i < 10; ++i) {
        EXPECT_EQ(entries[i].offset, i * 10);
        EXPECT_EQ(entries[i].length, i);
    }
    // A locked block cannot move, so it cannot grow.
    LineEntry more{100, 1};
    EXPECT_FALSE(index.append(&more));
    index.unlock();
    EXPECT_EQ(index.locked_pointer, nullptr);
    EXPECT_TRUE(index.append(&more));
    index.release();
    EXPECT_EQ(index.count, 0u);
    EXPECT_EQ(index.handle, nullptr);
    EXPECT_EQ(index.lock(), nullptr);
}

TEST(TolvenIndex, FailedGrowthKeepsTheRecords) {
    MovableArray index(sizeof(LineEntry), 2);
    LineEntry entry{0, 0};
    ASSERT_TRUE(index.append(&entry));
    ASSERT_TRUE(index.append(&entry));
    plat::fault::arm(plat::fault::Call::allocate, 1, 12);
    EXPECT_FALSE(index.append(&entry));
    plat::fault::clear();
    EXPECT_EQ(index.count, 2u);
    EXPECT_TRUE(index.append(&entry));
    EXPECT_EQ(index.count, 3u);
}

TEST(TolvenIndex, SizeBeyondTheAddressSpaceFails) {
    // A growth step that would wrap the block size around is refused.
    MovableArray index(sizeof(LineEntry), SIZE_MAX / 8);
    LineEntry entry{0, 0};
    EXPECT_FALSE(index.append(&entry));
    EXPECT_EQ(index.count, 0u);
}

// Settings for one comparison test; restored to the defaults afterwards.
class TolvenKeys : public ::testing::Test {
protected:
    void SetUp() override { state = State{}; }
    void TearDown() override { state = State{}; }
    static int sign(int value) { return (value > 0) - (value < 0); }
    int compare(const std::string& x, const std::string& y, std::int64_t budget) {
        return sign(compare_key(bytes(x), bytes(y), budget));
    }
};

struct KeyRow {
    int case_mode;
    std::string x, y;
    std::int64_t budget;
    int expected;  // sign
    bool double_byte = true;
};

TEST_F(TolvenKeys, CompareKey) {
    const std::int64_t ALL = 0x7FFFFFFF;
    const std::vector<KeyRow> rows = {
        {1, "abc", "ABC", ALL, 0},
        {0, "ABC", "abc", ALL, -1},
        {2, "abc", "ABC", ALL, 0},
        // Letters fold to upper case (before "_") or lower case (after it).
        {1, "a", "_", ALL, -1},
        {2, "A", "_", ALL, 1},
        {0, "a", "_", ALL, 1},
        {1, "ab", "abc", ALL, -1},
        {1, "abX", "abY", 2, 0},
        {1, "abX", "abY", 3, -1},
        {1, "abc", "xyz", 0, 0},
        // Double-byte characters: after every single byte, by their code.
        {0, "\x82\xa0", "\xdf", ALL, 1},
        {0, "\xdf", "\x82\xa0", ALL, -1},
        {0, "\x82\xa0", "\xfd", ALL, 1},
        {0, "\x82\xa0", "\x82\xa1", ALL, -1},
        {0, "\x81\x40", "\xe0\x40", ALL, -1},
        {1, "\x82\x61", "\x82\x41", ALL, 1},  // the second byte is not folded
        {0, "\x82\xa0X", "\x82\xa0Y", 1, 0},  // one unit of the budget
        {0, "\x82\xa0X", "\x82\xa0Y", 2, -1},
        {0, "\x82", "\x82", ALL, 0},  // lead byte at the end of the text
        {0, "\x82", "\x82\x40", ALL, -1},
        // A NUL ends the key.
        {0, std::string("a\0x", 3), std::string("a\0y", 3), ALL, 0},
        // Without double-byte characters (UTF-8 text) every byte is one
        // column, ordered by its folded value: a left double quotation mark
        // (e2 80 9c) then a, or B.
        {1,
         "\xe2\x80\x9c"
         "a",
         "\xe2\x80\x9c"
         "B",
         ALL, -1, false},
        {1,
         "\xe2\x80\x9c"
         "a",
         "\xe2\x80\x9c"
         "B",
         ALL, 1, true},
        {0, "\x82\xa0", "\xdf", ALL, -1, false},
        {1,
         "\x82"
         "a",
         "\x82"
         "A",
         ALL, 0, false},
        {0, "\x82\xa0X", "\x82\xa0Y", 2, 0, false},
    };
    for (const KeyRow& row : rows) {
        SCOPED_TRACE("mode " + std::to_string(row.case_mode) + ": " + row.x + " / " + row.y);
        state.case_mode = row.case_mode;
        state.double_byte = row.double_byte;
        EXPECT_EQ(compare(row.x, row.y, row.budget), row.expected);
    }
}

// The quick prefix must never contradict the full rule: wherever two
// prefixes differ, they order the lines as the full comparison does.
TEST_F(TolvenKeys, PrefixAgreesWithTheFullComparison) {
    const std::string alphabet[] = {"a",    "A",        "b",        "_",        "z",        "Z",
                                    "0",    "\x7f",     "\x80",     "\xa1",     "\xdf",     "\xfd",
                                    "\xff", "\x81\x40", "\x82\xa0", "\x82\xa1", "\xfc\xfc", std::string("\0", 1),
                                    "\x82"};
    std::mt19937 random(7);
    std::vector<std::string> lines;
    for (int i = 0; i < 400; ++i) {
        std::string line;
        for (int n = static_cast<int>(random() % 12); n > 0; --n) line += alphabet[random() % std::size(alphabet)];
        lines.push_back(line);
    }
    struct Setting {
        int case_mode, start, end;
        bool double_byte = true;
    };
    const Setting settings[] = {
        {1, 0, 0x7FFFFFFF}, {0, 0, 0x7FFFFFFF},        {2, 0, 0x7FFFFFFF},        {1, 2, 5},       {0, 1, 9}, {1, 3, 3},
        {2, 0, 2},          {1, 0, 0x7FFFFFFF, false}, {0, 0, 0x7FFFFFFF, false}, {2, 1, 9, false}};
    for (const Setting& setting : settings) {
        state.case_mode = setting.case_mode;
        state.double_byte = setting.double_byte;
        state.sort_start_column = setting.start;
        state.sort_end_column = setting.end;
        for (const std::string& x : lines) {
            for (const std::string& y : lines) {
                auto lx = static_cast<std::int64_t>(x.size()), ly = static_cast<std::int64_t>(y.size());
                std::uint64_t px = key_prefix(bytes(x), lx), py = key_prefix(bytes(y), ly);
                bool x_long = lx > setting.start, y_long = ly > setting.start;
                int full = x_long && y_long
                               ? compare(x.substr(setting.start), y.substr(setting.start), setting.end - setting.start)
                               : (x_long > y_long) - (x_long < y_long);
                if (px != py) {
                    ASSERT_EQ(px < py ? -1 : 1, full) << "mode " << setting.case_mode << " [" << x << "] [" << y << "]";
                } else if (!x_long) {
                    ASSERT_EQ(full, 0);
                }
            }
        }
    }
}

TEST_F(TolvenKeys, TruncationNeverSplitsACharacter) {
    struct Row {
        std::string line;
        std::int64_t column, expected;
        bool double_byte = true;
    };
    const Row rows[] = {
        {"abcdef", 4, 4},
        {"abc\x82\xa0", 4, 3},  // bytes 4 and 5 are one character
        {"ab\x82\xa0"
         "cd",
         4, 4},
        {"abcd", 4, 4},
        {"ab", 4, 2},
        {"\x82\xa0\x82\xa0", 3, 2},
        {"\x82\xa0", 1, 0},
        {"abc\x82", 3, 3},
        // UTF-8 text: a cut inside a sequence moves to its first byte;
        // bytes that form no sequence are cut anywhere.
        {"x\xe2\x80\x9c"
         "a",
         3, 1, false},
        {"x\xe2\x80\x9c"
         "a",
         2, 1, false},
        {"x\xe2\x80\x9c"
         "a",
         4, 4, false},
        {"\xf0\x9f\x98\x80z", 3, 0, false},
        {"\xc3\xa9\xc3\xa9", 3, 2, false},
        {"abc\x82\xa0", 4, 4, false},
        {"\x80\x80\x80\x80\x80", 4, 4, false},
        {"ab\xe2\x80", 3, 3, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line + " at " + std::to_string(row.column));
        state.double_byte = row.double_byte;
        EXPECT_EQ(truncated_length(bytes(row.line), static_cast<std::int64_t>(row.line.size()), row.column),
                  row.expected);
    }
}

// A mapped file that shrinks: reads come back short and comparisons (as
// kesto's of large files) say so, instead of the program crashing.
TEST(TolvenSource, ShrunkFileReadsShortInsteadOfCrashing) {
    const std::string path = (std::filesystem::temp_directory_path() / "tolven_source_test.bin").string();
    struct Remove {
        std::string path;
        ~Remove() { std::remove(path.c_str()); }
    } remove_afterwards{path};
    std::string data(1 << 20, 'x');
    for (std::size_t i = 0; i < data.size(); i += 97) data[i] = '\n';
    {
        std::FILE* file = std::fopen(path.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        ASSERT_EQ(std::fwrite(data.data(), 1, data.size(), file), data.size());
        std::fclose(file);
    }
    {
        plat::File file;
        ASSERT_TRUE(file.open(path.c_str(), plat::OpenMode::read));
        plat::FileReader reader;
        reader.attach(file);
        plat::MappedPair pair;
        ASSERT_TRUE(pair.map(file, file, data.size()));
        EXPECT_EQ(pair.compare(500000, 100), 1);
        EXPECT_EQ(pair.compare(500000, 100), 1);
        char buffer[2000];
        ASSERT_EQ(reader.read(500000, buffer, 100), 100);
        EXPECT_EQ(std::string(buffer, 100), data.substr(500000, 100));
        EXPECT_FALSE(reader.shrunk());
        std::error_code error;
        std::filesystem::resize_file(path, 1000, error);
        if (error) {
            // Windows keeps a mapped file from shrinking.
            EXPECT_EQ(reader.read(500000, buffer, 100), 100);
            EXPECT_FALSE(reader.shrunk());
            return;
        }
        EXPECT_EQ(pair.compare(500000, 100), -1);
        // Beyond the new end: nothing arrives. Near it a mapped read cannot
        // tell, but the reader knows that the file shrank.
        EXPECT_EQ(reader.read(500000, buffer, 100), 0);
        EXPECT_TRUE(reader.shrunk());
        ASSERT_GE(reader.read(0, buffer, 2000), 1000);
        EXPECT_EQ(std::string(buffer, 1000), data.substr(0, 1000));
    }
}

}  // namespace

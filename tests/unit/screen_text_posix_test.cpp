// The reduction of Wine's console stream that lets the terminal tests
// compare a Windows program's screen with its output: what shows the same
// reduces the same, and a wrong screen does not.
#include <gtest/gtest.h>

#include <string>

#include "support/pty.h"

namespace {

using testsupport::ScreenText;

// Fed a byte at a time, as an escape sequence may be split across reads.
std::string reduced(const std::string& stream) {
    ScreenText screen;
    for (char c : stream) screen.add(std::string(1, c));
    return screen.text();
}

TEST(ScreenText, WineStreamAgainstProgramOutput) {
    const std::string full_row(80, 'x');
    struct Row {
        const char* name;
        std::string wine;
        std::string program;
        bool same;
    } rows[] = {
        {"blank cells skipped", "\x1b[?25lA\x1b[K\x1b[2CB\x1b[?25h\r\r\n", "A  B\n", true},
        {"a row redrawn", "ab\x1b[K\x1b[1C\rab c\r\r\n", "ab c\n", true},
        {"blanks ending a row not drawn", "label\x1b[K\r\r\n", "label \n", true},
        {"reverse video drawn late", "\r\r\n\x1b[90m\x1b[107mAbort!\r\r\n\r\r\n\x1b[m", "\x1b[7m\nAbort!\n\x1b[27m\n",
         true},
        {"reverse video still on at the end", "\x1b[90m\x1b[107mAbort!\r\r\n", "\x1b[7mAbort!\n\x1b[27m", true},
        {"the console's wrap of a full row", full_row + "\r\r\ny", full_row + "\ny", true},
        {"reverse video on fewer characters", "\x1b[90m\x1b[107mAb\x1b[mort!\r\r\n", "\x1b[7mAbort!\x1b[27m\n", false},
        {"other colours", "\x1b[31mAbort!\x1b[m\r\r\n", "\x1b[7mAbort!\x1b[27m\n", false},
        {"a line feed missing", "ab\r\r\ncd", "abcd", false},
        {"a character overwritten", "abc\rx", "abc", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(reduced(row.wine) == reduced(row.program), row.same)
            << reduced(row.wine) << " against " << reduced(row.program);
    }
}

}  // namespace

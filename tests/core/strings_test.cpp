// Tests of the string builder and the text functions.
// Contract: fresh builders are taken on threads of their own; every other test leaves the position as it found it.
#include "core/strings.h"

#include "core/dates.h"
#include "tests/core/core_test.h"

// Each function gets its source (a date mask for FormatDate) built at its own start while its reservation moves
// the buffer.
TEST(Strings, TextFunctionsFollowASourceThatMovesWithTheBuffer) {
    static struct Row {
        const char* source;
        char* (*function)(const char*, int);
        const char* result;
    } rows[] = {{"/abcdef", FilePart, "abcdef"},
                {"abcdefghi", UpperCaseText, "ABCDEFGHI"},
                {"abcdefghi", AppendCString, "abcdefghi"},
                {"abcdefghi", [](const char* text, int start) { return LeftText(text, 8, start); }, "abcdefgh"},
                {"abcdefghi", [](const char* text, int start) { return RightText(text, 8, start); }, "bcdefghi"},
                {"%yy%YYYY", [](const char* mask, int at) { return FormatDate(mask, 1351078908, at); }, "122012"}};
    for (const Row& row : rows) {
        OnThread([&row] {
            char* blocker = nullptr;
            AppendText(row.source);
            SealArgument();
            AssignText(&blocker, "a block behind the buffer keeps it from growing in place");
            char* before = BuilderBase();
            char* result = row.function(BuilderBase(), 0);
            EXPECT_NE(before, BuilderBase()) << "the reservation was meant to move the buffer";
            EXPECT_EQ(BuilderBase(), result);
            EXPECT_STREQ(row.result, result);
            FreeText(blocker);
        });
    }
}

// Each result lands at its start, behind an intact prefix, with the position just behind it.
TEST(Strings, TextFunctionResults) {
    std::pair<char* (*)(int start), const char*> rows[] = {
        {[](int s) { return NumberToText(0, s); }, "0"},
        {[](int s) { return BlankText(-2, s); }, ""},
        {[](int s) { return NumberToText(INT_MIN, s); }, "-2147483648"},
        {[](int s) { return NumberToText(2147483648LL, s); }, "2147483648"},
        {[](int s) { return NumberToText(LLONG_MIN, s); }, "-9223372036854775808"},
        {[](int s) { return UpperCaseText("`az{\xDF\xE0\xE4\xF7\xFF", s); }, "`AZ{\xDF\xC0\xC4\xD7\xDF"},
        {[](int s) { return UpperCaseText(nullptr, s); }, ""},
        {[](int s) { return LeftText("abc", 5, s); }, "abc"},
        {[](int s) { return LeftText("abc", -1, s); }, ""},
        {[](int s) { return RightText("abc", 2, s); }, "bc"},
        {[](int s) { return RightText(nullptr, 2, s); }, ""},
        {[](int s) { return BlankText(4, s); }, "    "},
        {[](int s) { return AppendCString(nullptr, s); }, ""},
        {[](int s) { return FilePart("\"C:\\Programme\\BrindaVel\\Brindavel.exe\" -x", s); }, "Brindavel.exe"},
        {[](int s) { return FilePart("C:\\Programme\\BrindaVel\\", s); }, ""},
        {[](int s) { return FilePart("C:/daten/mess.dsb", s); }, "mess.dsb"},
    };
    for (auto& row : rows) {
        int start = BuilderPosition();
        AppendText("vor:");
        char* result = row.first(-1);
        EXPECT_EQ(std::string("vor:") + row.second, BuilderBase() + start);
        EXPECT_EQ(BuilderBase() + start + 4, result);
        EXPECT_EQ(start + 4 + static_cast<int>(strlen(row.second)), BuilderPosition()) << row.second;
        RestorePosition(start);
    }
}

TEST(Strings, FindText) {
    struct Row {
        const char* text;
        const char* pattern;
        int from, found;
    } rows[] = {{"a..b", "..", 1, 2},
                {"a..b", "..", 3, 0},
                {"a..b", ".", 3, 3},
                {"a..b", "..", 5, 0},
                {"a..b", "..", -7, 2},
                {"a..b", "", 1, 0},
                {nullptr, "..", 1, 0},
                {"DasyLab", "lab", 1, 0},
                {"ab", "abc", 1, 0},
                {"abab", "ab", 2, 3},
                {"a..b", "..", INT_MAX, 0},
                {"a..b", ".", INT_MAX - 1, 0}};  // a start near the largest int once overflowed a sum
    for (const Row& row : rows)
        EXPECT_EQ(row.found, FindText(row.text, row.pattern, row.from)) << row.pattern << " from " << row.from;
}

// Tests of date values: component checks of MakeDate, the clock, splitting, and mask formatting.
// Contract: runs after StartRuntime; the build timestamp 1351078908 is 2012-10-24 11:41:48.
#include <string.h>
#include <windows.h>

#include <gtest/gtest.h>

#include "core/dates.h"
#include "core/frame.h"
#include "core/strings.h"

namespace {

class RuntimeEnvironment : public ::testing::Environment {
public:
    void SetUp() override { StartRuntime(); }
};
::testing::Environment* const runtime = ::testing::AddGlobalTestEnvironment(new RuntimeEnvironment);

const int BUILD_TIMESTAMP = 1351078908;

struct MaskRow {
    const char* mask;
    const char* text;
};

void ExpectFormats(const MaskRow* rows, int count, int date) {
    for (int i = 0; i < count; ++i) {
        int start = BuilderPosition();
        char* text = FormatDate(rows[i].mask, date, -1);
        EXPECT_STREQ(rows[i].text, text) << "mask " << (rows[i].mask ? rows[i].mask : "(null)");
        EXPECT_EQ(start + static_cast<int>(strlen(rows[i].text)), BuilderPosition()) << rows[i].mask;
        RestorePosition(start);
    }
}

TEST(FormatDateTest, BuildTimestampInEveryTokenAndCase) {
    const MaskRow rows[] = {
        {"%dd.%mm.%yyyy", "24.10.2012"},
        {"%yyyy", "2012"}, {"%YYYY", "2012"}, {"%yYyY", "2012"},
        {"%yy", "12"},     {"%YY", "12"},
        {"%mm", "10"},     {"%MM", "10"},     {"%Mm", "10"},
        {"%dd", "24"},     {"%DD", "24"},
        {"%hh", "11"},     {"%HH", "11"},
        {"%ii", "41"},     {"%II", "41"},
        {"%ss", "48"},     {"%SS", "48"},
        {"%YYYY-%MM-%DD %HH:%II:%SS", "2012-10-24 11:41:48"},
        {"%yyy", "12y"},  // "yyyy" fails, "yy" wins, the third y is plain text
        {"Stand: %dd.%mm.%yy!", "Stand: 24.10.12!"},
    };
    ExpectFormats(rows, sizeof rows / sizeof rows[0], BUILD_TIMESTAMP);
}

TEST(FormatDateTest, StrayPercentSignsStandForThemselves) {
    const MaskRow rows[] = {
        {"a%qb", "a%qb"}, {"50%", "50%"},   {"%", "%"},       {"%%dd", "%24"},
        {"%y", "%y"},     {"%d.%dd", "%d.24"}, {"%m%", "%m%"}, {"%i%ii", "%i41"},
        {"", ""},         {nullptr, ""},
    };
    ExpectFormats(rows, sizeof rows / sizeof rows[0], BUILD_TIMESTAMP);
}

TEST(FormatDateTest, ValuesWithoutComponentsGiveZeros) {
    const MaskRow rows[] = {
        {"%dd.%mm.%yyyy", "00.00.0000"},
        {"%hh:%ii:%ss", "00:00:00"},
        {"%yy", "00"},  // the year text "0" has no third and fourth digit: shown as zeros
    };
    ExpectFormats(rows, 3, -1);
    ExpectFormats(rows, 3, static_cast<int>(0x80000000u));
    EXPECT_EQ(0, DateYear(-1));
    EXPECT_EQ(0, DateMonth(-1));
    EXPECT_EQ(0, DateDay(-1));
}

TEST(FormatDateTest, ALongMaskGrowsTheReservation) {
    // 3000 tokens of 5 mask bytes give 12000 output bytes: three renewals of the 4096-byte room.
    const int tokens = 3000;
    char* mask = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, tokens * 5 + 2));
    for (int i = 0; i < tokens; ++i) memcpy(mask + i * 5, "%yyyy", 5);
    mask[tokens * 5] = 'x';
    mask[tokens * 5 + 1] = 0;
    int start = BuilderPosition();
    char* text = FormatDate(mask, BUILD_TIMESTAMP, -1);
    ASSERT_EQ(static_cast<size_t>(tokens * 4 + 1), strlen(text));
    for (int i = 0; i < tokens; ++i) ASSERT_EQ(0, memcmp(text + i * 4, "2012", 4)) << "token " << i;
    EXPECT_EQ('x', text[tokens * 4]);
    EXPECT_EQ(start + tokens * 4 + 1, BuilderPosition());
    RestorePosition(start);
    HeapFree(GetProcessHeap(), 0, mask);
}

TEST(FormatDateTest, AMaskInTheBuilderIsReadCorrectlyWhileTheBufferMoves) {
    // The mask is built at the start it is formatted to, so the result overwrites it in place; masks grow
    // until a renewal of the room has moved the buffer under the formatting.
    int moved = 0;
    for (int tokens = 1000; tokens <= 64000 && !moved; tokens *= 2) {
        int start = BuilderPosition();
        char* mask = ReserveText(tokens * 5, -1);
        for (int i = 0; i < tokens; ++i) memcpy(mask + i * 5, "%YYYY", 5);
        mask[tokens * 5] = 0;
        SealArgument();
        char* base = BuilderBase();
        char* text = FormatDate(BuilderBase() + start, BUILD_TIMESTAMP, start);
        moved = BuilderBase() != base;
        ASSERT_EQ(static_cast<size_t>(tokens * 4), strlen(text)) << tokens;
        for (int i = 0; i < tokens; ++i) ASSERT_EQ(0, memcmp(text + i * 4, "2012", 4)) << tokens << " " << i;
        RestorePosition(start);
    }
    EXPECT_TRUE(moved);
}

TEST(TwoDigitTextTest, PadsSingleDigits) {
    struct Row {
        int value;
        const char* text;
    } rows[] = {{0, "00"}, {7, "07"}, {10, "10"}, {59, "59"}, {2012, "2012"}};
    for (const Row& row : rows) {
        char buffer[16];
        memset(buffer, 'z', sizeof buffer);
        EXPECT_EQ(buffer, TwoDigitText(buffer, row.value));
        EXPECT_STREQ(row.text, buffer);
    }
}

TEST(MakeDateTest, ChecksComponents) {
    struct Row {
        int year, month, day, hour, minute, second;
        int value;
    } rows[] = {
        {1970, 1, 1, 0, 0, 5, 5},
        {1970, 1, 1, 23, 59, 59, 86399},
        {1970, 1, 2, 0, 0, 0, 86400},
        {2012, 10, 24, 11, 41, 48, BUILD_TIMESTAMP},
        {2012, 2, 29, 0, 0, 0, 1330473600},
        {2000, 2, 29, 0, 0, 0, 951782400},
        {2038, 1, 19, 3, 14, 7, 0x7FFFFFFF},
        // invalid components
        {2013, 2, 29, 0, 0, 0, -1},
        {1900, 2, 29, 0, 0, 0, -1},
        {2012, 2, 30, 0, 0, 0, -1},
        {2012, 4, 31, 0, 0, 0, -1},
        {2012, 6, 31, 0, 0, 0, -1},
        {2012, 9, 31, 0, 0, 0, -1},
        {2012, 11, 31, 0, 0, 0, -1},
        {0, 1, 1, 0, 0, 0, -1},
        {-5, 1, 1, 0, 0, 0, -1},
        {2012, 0, 1, 0, 0, 0, -1},
        {2012, 13, 1, 0, 0, 0, -1},
        {2012, 1, 0, 0, 0, 0, -1},
        {2012, 1, 32, 0, 0, 0, -1},
        {2012, 1, 1, 24, 0, 0, -1},
        {2012, 1, 1, -1, 0, 0, -1},
        {2012, 1, 1, 0, 60, 0, -1},
        {2012, 1, 1, 0, 0, 60, -1},
        {2012, 1, 1, 0, 0, -1, -1},
        // beyond the 32-bit clock, and before its start: not representable, so invalid rather than wrapped
        {2038, 1, 19, 3, 14, 8, -1},
        {2100, 1, 1, 0, 0, 0, -1},
        {1969, 12, 31, 23, 59, 59, -1},
    };
    for (const Row& r : rows)
        EXPECT_EQ(r.value, MakeDate(r.year, r.month, r.day, r.hour, r.minute, r.second))
            << r.year << "-" << r.month << "-" << r.day << " " << r.hour << ":" << r.minute << ":" << r.second;
}

TEST(DateComponentTest, SplitTheBuildTimestamp) {
    EXPECT_EQ(2012, DateYear(BUILD_TIMESTAMP));
    EXPECT_EQ(10, DateMonth(BUILD_TIMESTAMP));
    EXPECT_EQ(24, DateDay(BUILD_TIMESTAMP));
    EXPECT_EQ(11, DateHour(BUILD_TIMESTAMP));
    EXPECT_EQ(41, DateMinute(BUILD_TIMESTAMP));
    EXPECT_EQ(48, DateSecond(BUILD_TIMESTAMP));
    EXPECT_EQ(1970, DateYear(0));
    EXPECT_EQ(2038, DateYear(0x7FFFFFFF));
}

TEST(CurrentDateTest, IsTheLocalWallClockReadAsUtc) {
    // Retry across a second boundary between the two readings.
    for (int attempt = 0; attempt < 5; ++attempt) {
        SYSTEMTIME before;
        GetLocalTime(&before);
        int now = CurrentDate();
        int again = CurrentDate();
        SYSTEMTIME after;
        GetLocalTime(&after);
        if (before.wSecond != after.wSecond) continue;
        EXPECT_EQ(now, again);
        EXPECT_EQ(before.wYear, DateYear(now));
        EXPECT_EQ(before.wMonth, DateMonth(now));
        EXPECT_EQ(before.wDay, DateDay(now));
        EXPECT_EQ(before.wHour, DateHour(now));
        EXPECT_EQ(before.wMinute, DateMinute(now));
        EXPECT_EQ(before.wSecond, DateSecond(now));
        return;
    }
    FAIL() << "the clock never held still for one second";
}

}  // namespace

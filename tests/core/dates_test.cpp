// Tests of date values: component checks of MakeDate, the clock, and mask formatting.
// Contract: the same results in every time zone (the suite runs them at, west of and east of UTC);
// the build timestamp 1351078908 is 2012-10-24 11:41:48.
#include "core/dates.h"

#include "core/strings.h"
#include "tests/core/core_test.h"

const int BUILD_TIMESTAMP = 1351078908;

TEST(Dates, FormatDate) {
    struct {
        const char* mask;
        int date;
        const char* text;
    } rows[] = {
        {"%dd.%mm.%yyyy", BUILD_TIMESTAMP, "24.10.2012"},
        {"%YYYY-%Mm-%DD %HH:%II:%SS|%yy", BUILD_TIMESTAMP, "2012-10-24 11:41:48|12"},
        {"%yyy", BUILD_TIMESTAMP, "12y"},  // "yyyy" fails, "yy" wins, the third y is plain text
        {"a%qb 50% %%dd %d.%dd %i%ii %", BUILD_TIMESTAMP, "a%qb 50% %24 %d.24 %i41 %"},
        {nullptr, BUILD_TIMESTAMP, ""},
        {"%dd.%mm.%yyyy %hh:%ii:%ss %yy", -1, "00.00.0000 00:00:00 00"},  // no components
        {"%dd.%mm.%yyyy %hh:%ii:%ss", INT_MAX, "19.01.2038 03:14:07"},
    };
    for (auto& row : rows) {
        int start = BuilderPosition();
        EXPECT_STREQ(row.text, FormatDate(row.mask, row.date, -1)) << (row.mask ? row.mask : "(null)");
        EXPECT_EQ(start + static_cast<int>(strlen(row.text)), BuilderPosition());
        RestorePosition(start);
    }
}

TEST(Dates, MakeDateReadsTheComponentsAsUtc) {
    // clang-format off
    int rows[][7] = {  // year, month, day, hour, minute, second, value (-1: invalid, beyond or before the clock)
        {1970, 1, 1, 0, 0, 5, 5}, {1970, 1, 2, 0, 0, 0, 86400}, {2012, 10, 24, 11, 41, 48, 1351078908},
        {2000, 2, 29, 0, 0, 0, 951782400}, {2038, 1, 19, 3, 14, 7, INT_MAX}, {2038, 1, 19, 3, 14, 8, -1},
        {1969, 12, 31, 23, 59, 59, -1}, {2013, 2, 29, 0, 0, 0, -1}, {1900, 2, 29, 0, 0, 0, -1},
        {2012, 2, 30, 0, 0, 0, -1}, {2012, 11, 31, 0, 0, 0, -1}, {0, 1, 1, 0, 0, 0, -1}, {2012, 13, 1, 0, 0, 0, -1},
        {2012, 1, 32, 0, 0, 0, -1}, {2012, 1, 1, 24, 0, 0, -1}, {2012, 1, 1, 0, 60, 0, -1}, {2012, 1, 1, 0, 0, -1, -1}};
    // clang-format on
    for (auto& r : rows)
        EXPECT_EQ(r[6], MakeDate(r[0], r[1], r[2], r[3], r[4], r[5]))
            << r[0] << "-" << r[1] << "-" << r[2] << " " << r[3] << ":" << r[4] << ":" << r[5];
}

TEST(Dates, CurrentDateIsTheLocalWallClockReadAsUtc) {
    SYSTEMTIME before, after;
    int now;
    do {  // again if a second boundary fell between the readings
        GetLocalTime(&before), now = CurrentDate(), GetLocalTime(&after);
    } while (before.wSecond != after.wSecond);
    EXPECT_EQ(MakeDate(before.wYear, before.wMonth, before.wDay, before.wHour, before.wMinute, before.wSecond), now);
}

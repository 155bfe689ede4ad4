// Dates: building date values from components, the local seconds clock, splitting and mask formatting.
// Contract: a date value counts seconds since 1970 with components read as UTC; -1 is invalid; texts go through the builder.
#include "core/dates.h"

#include <string.h>
#include <time.h>
#include <windows.h>

#include "core/frame.h"
#include "core/strings.h"

namespace {

const int FORMAT_ROOM_STEP = 4096;
// The calendar repeats every 400 years (an era); days are counted from 0000-03-01 of that calendar.
const unsigned DAYS_PER_ERA = 146097;
const unsigned DAYS_BEFORE_1970 = 719468;
const unsigned SECONDS_PER_DAY = 86400;
const unsigned SECONDS_PER_HOUR = 3600;

// One component of a value as the platform splits it, plus offset; 0 for a value that has none (before 1970).
int Component(int date, int tm::*field, int offset) {
    if (date < 0) return 0;
    time_t value = date;
    const tm* fields = gmtime(&value);
    return fields ? fields->*field + offset : 0;
}

// Case-insensitive match of the token letters at text; stops at the first difference, so never reads past the terminator.
int MatchesToken(const char* text, const char* token) {
    for (; *token; ++text, ++token) {
        char c = *text;
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 0x20);
        if (c != *token) return 0;
    }
    return 1;
}

// Decimal text of a non-negative value, at least two digits; returns destination.
char* TwoDigitText(char* destination, int value) {
    if (value < 0) value = 0;
    if (value < 10) {
        destination[0] = '0';
        IntegerToText(value, destination + 1, 10);
    } else {
        IntegerToText(value, destination, 10);
    }
    return destination;
}

// The value of components that form a valid date and time; -1 outside the 32-bit range.
int DateOfValidComponents(int year, int month, int day, int hour, int minute, int second) {
    // The components count as UTC, whatever the zone: the days are counted from 1970-01-01 on the calendar
    // that gmtime splits again (March-based years, so the leap day ends a year). The platform's mktime is not
    // used: it reads the components as local time on a 32-bit clock, so west of UTC it refused the last hours
    // before 2038-01-19 03:14:07 although their value fits.
    // Only the years 1970 to 2038 can give a 32-bit value; within them every count fits 32 unsigned bits, so no
    // 64-bit division (a library helper of about a kilobyte) is needed.
    if (year < 1970 || year > 2038) return -1;
    unsigned shiftedYear = year - (month <= 2 ? 1 : 0);
    unsigned era = shiftedYear / 400, yearOfEra = shiftedYear % 400;
    unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    unsigned days =
        era * DAYS_PER_ERA + yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear - DAYS_BEFORE_1970;
    unsigned value = days * SECONDS_PER_DAY + hour * SECONDS_PER_HOUR + minute * 60 + second;
    // After 2038-01-19 03:14:07 the value has no 32-bit form.
    if (value > 0x7FFFFFFFu) return -1;
    return static_cast<int>(value);
}

}  // namespace

int MakeDate(int year, int month, int day, int hour, int minute, int second) {
    if (day == 31 && (month == 4 || month == 6 || month == 9 || month == 11)) return -1;
    if (month == 2) {
        if (day > 29) return -1;
        if (day == 29 && (year % 4 != 0 || (year % 100 == 0 && year % 400 != 0) || year == 3600)) return -1;
    }
    if (second < 0 || second > 59 || minute < 0 || minute > 59 || hour < 0 || hour > 23) return -1;
    if (day < 1 || day > 31 || month < 1 || month > 12 || year <= 0) return -1;
    return DateOfValidComponents(year, month, day, hour, minute, second);
}

int CurrentDate() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    // The platform's clock gives valid components: only the range is left to check.
    return DateOfValidComponents(now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
}

int DateYear(int date) { return Component(date, &tm::tm_year, 1900); }
int DateMonth(int date) { return Component(date, &tm::tm_mon, 1); }
int DateDay(int date) { return Component(date, &tm::tm_mday, 0); }
int DateHour(int date) { return Component(date, &tm::tm_hour, 0); }
int DateMinute(int date) { return Component(date, &tm::tm_min, 0); }
int DateSecond(int date) { return Component(date, &tm::tm_sec, 0); }

char* FormatDate(const char* mask, int date, int start) {
    // The mask may lie in the builder, which the reservation can move: read it from a private copy.
    char* copy = nullptr;
    if (mask) {
        int length = static_cast<int>(strlen(mask));
        copy = static_cast<char*>(HeapAlloc(ApplicationHeap(), 0, length + 1));
        if (!copy) return AppendCString("", start);
        memcpy(copy, mask, length + 1);
    }
    if (start == -1) start = BuilderPosition();
    int room = FORMAT_ROOM_STEP;
    char* out = ReserveText(room, start);
    int written = 0;
    for (const char* p = copy; p && *p;) {
        if (*p != '%') {
            out[written++] = *p++;
        } else if (MatchesToken(p + 1, "yyyy")) {
            int year = DateYear(date);
            if (year == 0) memcpy(out + written, "0000", 5);
            else TwoDigitText(out + written, year);
            written += 4;
            p += 5;
        } else if (MatchesToken(p + 1, "yy")) {
            int year = DateYear(date);
            char digits[16];
            // A value without components has the year text "0"; its missing digits are shown as zeros.
            if (year >= 1000) IntegerToText(year, digits, 10);
            else memcpy(digits, "0000", 5);
            out[written] = digits[2];
            out[written + 1] = digits[3];
            written += 2;
            p += 3;
        } else {
            int value = -1;
            if (MatchesToken(p + 1, "mm")) value = DateMonth(date);
            else if (MatchesToken(p + 1, "dd")) value = DateDay(date);
            else if (MatchesToken(p + 1, "hh")) value = DateHour(date);
            else if (MatchesToken(p + 1, "ii")) value = DateMinute(date);
            else if (MatchesToken(p + 1, "ss")) value = DateSecond(date);
            if (value < 0) {
                out[written++] = *p++;  // a stray percent sign stands for itself
            } else {
                TwoDigitText(out + written, value);
                written += 2;
                p += 3;
            }
        }
        if (written > room - 5) {
            room += FORMAT_ROOM_STEP;
            out = ReserveText(room, start);
        }
    }
    out[written] = 0;
    GiveBackText(room - written);
    if (copy) HeapFree(ApplicationHeap(), 0, copy);
    return out;
}

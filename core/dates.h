// Date values (signed 32-bit seconds since 1970, components without zone shift), the seconds clock, mask formatting.
// Contract: -1 stands for invalid components; values before 1970 have no components (all fields 0); text results go through the builder.
#pragma once

// The components read as UTC, in every time zone; -1 for invalid components and for components that have no
// 32-bit value (before 1970, beyond 2038-01-19 03:14:07).
int MakeDate(int year, int month, int day, int hour, int minute, int second);
// Local wall-clock time counted as if it were UTC.
int CurrentDate();
int DateYear(int date);
int DateMonth(int date);
int DateDay(int date);
int DateHour(int date);
int DateMinute(int date);
int DateSecond(int date);
// Tokens %yyyy %yy %mm %dd %hh %ii %ss, any case; everything else copied. Null mask gives "".
char* FormatDate(const char* mask, int date, int start);

// The pause log that the benchmark's own build of the installer keeps: every pause with its start and end.
// Contract: a shared mapping named by the installer's process id; the installer appends, the benchmark reads.
#pragma once

#include <windows.h>

struct PauseEntry {
    LONGLONG start;  // performance counter before and after the pause
    LONGLONG end;
    DWORD milliseconds;  // the length asked for
    DWORD reserved;
};

struct PauseLog {
    volatile LONG count;  // entries written; an entry is complete before the count covers it
    LONG capacity;
    LONGLONG frequency;  // performance-counter ticks per second
    LONGLONG openStart;  // what opening the log cost the installer (its first pause)
    LONGLONG openEnd;
    PauseEntry entries[4096];
};

// "BrindaVelPauseLog-" and the process id in decimal; `name` holds at least 32 bytes.
inline void PauseLogName(DWORD processId, char* name) {
    const char prefix[] = "BrindaVelPauseLog-";
    int length = 0;
    while (prefix[length]) {
        name[length] = prefix[length];
        ++length;
    }
    char digits[12];
    int count = 0;
    do {
        digits[count++] = (char)('0' + processId % 10);
        processId /= 10;
    } while (processId);
    while (count) name[length++] = digits[--count];
    name[length] = 0;
}

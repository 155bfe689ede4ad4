// The benchmark's build of the installer only: every pause is taken as asked and logged with its real start and end.
// Contract: take_pause(ms) pauses like the shipped one (PauseAnswering); the first call opens the log named by the
// process id, later calls append to it while there is room. The shipped installer has no such code.
#include "app/install.h"
#include "tools/bench/pause_log.h"

static PauseLog* pause_log;
static int pause_log_tried;

static void open_pause_log() {
    pause_log_tried = 1;
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    char name[32];
    PauseLogName(GetCurrentProcessId(), name);
    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(PauseLog), name);
    if (!mapping) return;
    // Kept open to the end of the process: the benchmark opens its own handle before then.
    pause_log = static_cast<PauseLog*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(PauseLog)));
    if (!pause_log) return;
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    pause_log->capacity = sizeof pause_log->entries / sizeof pause_log->entries[0];
    pause_log->frequency = frequency.QuadPart;
    QueryPerformanceCounter(&end);
    pause_log->openStart = start.QuadPart;
    pause_log->openEnd = end.QuadPart;
}

void take_pause(DWORD milliseconds) {
    if (!pause_log_tried) open_pause_log();
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    PauseAnswering(milliseconds);
    QueryPerformanceCounter(&end);
    if (!pause_log || pause_log->count >= pause_log->capacity) return;
    PauseEntry* entry = &pause_log->entries[pause_log->count];
    entry->start = start.QuadPart;
    entry->end = end.QuadPart;
    entry->milliseconds = milliseconds;
    MemoryBarrier();
    pause_log->count = pause_log->count + 1;
}

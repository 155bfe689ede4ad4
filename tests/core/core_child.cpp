// Child program of the frame test: starts the runtime and ends through EndProgram.
// Contract: works in its current folder. "end": records its start and end steps in steps.txt, leaves numbered.txt
// and dynamic.txt buffered and open, and ends from a second thread; "again": an end step ends the program again.
// The exit code must be 0.
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "core/files.h"
#include "core/frame.h"

static char steps[32];
static int stepCount;

template <char letter>
static void Step() {
    steps[stepCount++] = letter;
    FILE* file = fopen("steps.txt", "wb");
    fwrite(steps, 1, stepCount, file);
    fclose(file);
}

static DWORD WINAPI EndOnThread(void*) { EndProgram(); }

int main(int, char** argv) {
    void (*starts[])() = {Step<'A'>, Step<'B'>, Step<'C'>, Step<'D'>, Step<'E'>, Step<'F'>, Step<'G'>, Step<'H'>};
    void (*ends[])() = {Step<'0'>, Step<'1'>, Step<'2'>, Step<'3'>, Step<'4'>, Step<'5'>, Step<'6'>};
    for (int i = 0; i < START_STEP_COUNT; ++i) PlugStartStep(static_cast<StartStep>(i), starts[i]);
    for (int i = 0; i < END_STEP_COUNT; ++i) PlugEndStep(static_cast<EndStep>(i), ends[i]);
    if (!strcmp(argv[1], "again")) PlugEndStep(END_WINDOWS, [] { Step<'5'>(), EndProgram(); });
    StartRuntime();
    StartRuntime();  // a second start changes nothing
    Step<'|'>();
    if (!strcmp(argv[1], "again")) EndProgram();
    CreateFileObject(5, "numbered.txt");
    WriteFileData(5, "numbered", 8);
    WriteFileData(CreateFileObject(ANY_NUMBER, "dynamic.txt"), "dynamic", 7);
    WaitForSingleObject(CreateThread(nullptr, 0, EndOnThread, nullptr, 0, nullptr), 60000);
    return 8;  // EndProgram returned
}

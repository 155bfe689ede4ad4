// Process frame: application heap, fixed start and end sequences, thread-end callbacks, source-line store, system libraries.
// Contract: StartRuntime runs once on the starting thread before any application statement; EndProgram is the only way out and always exits with 0.
#pragma once

#include <windows.h>

// Start steps of the upper libraries, run by StartRuntime in this order after the core's own steps
// (strings, registry, files). Libraries plug them before StartRuntime; an empty slot is skipped.
enum StartStep {
    START_FONTS,
    START_WINDOWS,
    START_GADGETS,
    START_SMALL_LIBRARY,
    START_DRAWING,
    START_MENUS,
    START_FAULT_TRAP,
    START_REQUESTERS,
    START_STEP_COUNT
};

// End steps, run by EndProgram in this order; the files end step follows them.
enum EndStep {
    END_FAULT_TRAP,
    END_KEYBOARD,
    END_MULTIMEDIA,
    END_AUX_LIBRARY,
    END_TOOLTIP,
    END_WINDOWS,
    END_FONTS,
    END_STEP_COUNT
};

void PlugStartStep(StartStep slot, void (*step)());
void PlugEndStep(EndStep slot, void (*step)());

void StartRuntime();
// End steps, application heap destroyed, ExitProcess(0). Callable from any thread.
[[noreturn]] void EndProgram();

// After the calling thread has ended, callback(argument) runs on a watcher thread; the newest registration runs first.
// Nothing is registered when the platform refuses a handle, semaphore or thread.
void AtThreadEnd(void (*callback)(void* argument), void* argument);

HANDLE ApplicationHeap();
HINSTANCE ProgramInstance();

// Loads the library fileName from the system folder (its full path), never a file of that name found elsewhere;
// 0 when it cannot be loaded. StartRuntime has by then limited the search for its dependencies.
HMODULE LoadSystemLibrary(const char* fileName);
// The function name of library, as the type the caller knows it by; null when the library lacks it. GetProcAddress
// hands every function out under one generic type; the way through void (*)() is the conversion the compiler
// accepts from any function type to any other without a warning.
template <typename Function>
Function LibraryFunction(HMODULE library, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
}

// Source line of the application statement being executed (low 24 bits) and its file's number (high 8 bits);
// the fault report prints both.
extern volatile int CurrentSourceLine;
const int SOURCE_FILE_SHIFT = 24;
const int SOURCE_LINE_MASK = 0x00FFFFFF;

// The address of CurrentSourceLine, opaque to the optimiser: a function keeps it in a register and every
// statement's store goes through that register, instead of carrying the address (and its relocation) itself.
inline volatile int* SourceLineCell() {
    volatile int* cell = &CurrentSourceLine;
    asm("" : "+r"(cell));
    return cell;
}

// Written on a statement's own line, before the statement: SOURCE_LINE; statement;
// Every source that uses it names its own number as a constant SOURCE_FILE (0 is the main program's).
#define SOURCE_LINE (*SourceLineCell() = (SOURCE_FILE << SOURCE_FILE_SHIFT) | __LINE__)

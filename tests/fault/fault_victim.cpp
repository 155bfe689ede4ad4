// A program that arms the fault trap with the installer's report and then faults on purpose, as its first argument asks.
// Contract: "victim CASE NOTEFILE [CODE]"; it writes the faulting statement's line to NOTEFILE before it faults.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include "app/fault_report.h"
#include "core/frame.h"
#include "core/strings.h"
#include "fault/fault.h"
#include "ui/runtime.h"

namespace {

const int SOURCE_FILE = 0;

const char* note_file = "";

void WriteNote(const char* text) {
    HANDLE file = CreateFileA(note_file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, text, lstrlenA(text), &written, nullptr);
    CloseHandle(file);
}

void NoteLine(int line) {
    char text[16];
    wsprintfA(text, "%d", line);
    WriteNote(text);
}

int* volatile bad_pointer = reinterpret_cast<int*>(16);
volatile int zero = 0;
volatile int sink = 0;

void AccessViolation() {
    SOURCE_LINE; NoteLine(__LINE__ + 1);
    SOURCE_LINE; *bad_pointer = 1;
}

void DivisionByZero() {
    SOURCE_LINE; NoteLine(__LINE__ + 1);
    SOURCE_LINE; sink = 7 / zero;
}

// The record a write to address 16 makes, raised with any code: only an access violation may show the target.
const ULONG_PTR WRITE_AT_16[2] = {1, 16};

void RaisedFault(DWORD code) {
    SOURCE_LINE; NoteLine(__LINE__ + 1);
    SOURCE_LINE; RaiseException(code, 0, 2, WRITE_AT_16);
}

// Called through a volatile pointer so that the compiler cannot turn the recursion into a loop.
int Recurse(int depth);
int (*volatile recurse)(int) = Recurse;

int Recurse(int depth) {
    volatile char room[256];
    room[0] = static_cast<char>(depth);
    return recurse(depth + 1) + room[0];
}

// The report needs far more stack than the overflowing thread has left.
void StackOverflow() {
    SOURCE_LINE; NoteLine(__LINE__ + 1);
    SOURCE_LINE; sink = Recurse(0);
}

// Runs on a thread that has never used texts: the report must make its own builder.
DWORD WINAPI FaultingThread(void*) {
    SOURCE_LINE; NoteLine(__LINE__ + 1);
    SOURCE_LINE; *bad_pointer = 2;
    return 0;
}

void FaultOnSecondThread() {
    HANDLE thread = CreateThread(nullptr, 0, FaultingThread, nullptr, 0, nullptr);
    WaitForSingleObject(thread, INFINITE);
}

// A report that faults itself: the second fault must end the process, not recurse.
void FaultingReport() {
    WriteNote("report entered");
    *bad_pointer = 3;
}

HWND own_box = nullptr;

BOOL CALLBACK FindOwnBox(HWND window, LPARAM) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char name[16] = "";
    GetClassNameA(window, name, sizeof name);
    if (process == GetCurrentProcessId() && lstrcmpA(name, "#32770") == 0 && IsWindowVisible(window)) {
        own_box = window;
        return FALSE;
    }
    return TRUE;
}

// Waits until the report of the main thread is on screen, then faults a second time.
DWORD WINAPI FaultWhileReportShown(void*) {
    while (!own_box) {
        EnumWindows(FindOwnBox, 0);
        Sleep(20);
    }
    *bad_pointer = 4;
    return 0;
}

// Writes what the queries say instead of showing a box; the filter then ends the process.
void QueryReport() {
    EnsureThreadStrings();
    TextBuilder t;
    t.Add(FaultMessage(-1)).Add("|").AddNumber(FaultCode()).Add("|").AddNumber(FaultTargetAddress());
    t.Add("|").AddNumber(FaultLine()).Add("|").Add(FaultFile(-1));
    WriteNote(t.Text());
}

LONG WINAPI OuterFilter(EXCEPTION_POINTERS*) { return EXCEPTION_CONTINUE_SEARCH; }
void FirstReport() {}
void SecondReport() {}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    note_file = argv[2];
    const char* kind = argv[1];
    PlugWindowRuntime();
    PlugFaultTrap();
    StartRuntime();
    InstallFaultHandler(report_program_fault);

    if (lstrcmpA(kind, "access") == 0) AccessViolation();
    if (lstrcmpA(kind, "divide") == 0) DivisionByZero();
    if (lstrcmpA(kind, "raised") == 0 && argc >= 4) RaisedFault(strtoul(argv[3], nullptr, 0));
    if (lstrcmpA(kind, "thread") == 0) FaultOnSecondThread();
    if (lstrcmpA(kind, "overflow") == 0) StackOverflow();
    if (lstrcmpA(kind, "recursive") == 0) {
        InstallFaultHandler(FaultingReport);
        *bad_pointer = 5;
    }
    if (lstrcmpA(kind, "concurrent") == 0) {
        CloseHandle(CreateThread(nullptr, 0, FaultWhileReportShown, nullptr, 0, nullptr));
        AccessViolation();
    }
    if (lstrcmpA(kind, "silent") == 0) {
        InstallFaultHandler(nullptr);
        *bad_pointer = 6;
    }
    // "raise CODE LINE": the queries after a raised code with CurrentSourceLine set to LINE.
    // "named CODE LINE": the same with the installer's source files named.
    if (lstrcmpA(kind, "named") == 0) SetSourceFiles(APPLICATION_SOURCES, 3);
    if ((lstrcmpA(kind, "raise") == 0 || lstrcmpA(kind, "named") == 0) && argc >= 5) {
        InstallFaultHandler(QueryReport);
        DWORD code = strtoul(argv[3], nullptr, 0);
        CurrentSourceLine = static_cast<int>(strtoul(argv[4], nullptr, 0));
        ULONG_PTR parameters[2] = {1, 0x1234};
        RaiseException(code, 0, 2, parameters);
    }
    // Only the first installation keeps the previous filter; the end step puts it back.
    if (lstrcmpA(kind, "restore") == 0) {
        RemoveFaultTrap();
        SetUnhandledExceptionFilter(OuterFilter);
        InstallFaultHandler(FirstReport);
        InstallFaultHandler(SecondReport);
        int armed = SetUnhandledExceptionFilter(FaultFilter) == FaultFilter;
        RemoveFaultTrap();
        int restored = SetUnhandledExceptionFilter(nullptr) == OuterFilter;
        WriteNote(armed && restored ? "restored" : "not restored");
    }
    EndProgram();
}

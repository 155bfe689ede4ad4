// Fault trap: records unhandled processor faults, runs the installed report procedure, ends the process; clipboard text.
// Contract: the filter never lets a fault reach the platform's own handling; every way out of it ends the process with exit code 0.
#include "fault/fault.h"

#include "core/frame.h"
#include "core/strings.h"

namespace {

// The source of file index 0, fixed at build time: the installer's main program, relative to the repository.
const char BUILD_SOURCE_PATH[] = "app\\main.cpp";
const char LINE_TRACKING_OFF[] = "OnError line support disabled";
const char UNKNOWN_FAULT[] = "Unknown error code";

// Sources of file indexes 1 and up, as the application named them.
const char* const* source_files = nullptr;
int source_file_count = 0;

// The fault message table, looked up in this order, first match wins: the codes, and their texts back to back in
// the same order. One block of texts holds no address per row, so the table needs no relocations.
constexpr DWORD FAULT_CODES[] = {
    0xC0000005,  // Invalid memory access
    0xC000008C,  // Array bounds exceeded
    0x80000003,  // Debugger breakpoint reached
    0x80000002,  // Misaligned data access
    0xC000008D,  // Denormal floating-point operand
    0xC000008E,  // Division by zero (floating-point)
    0xC000008F,  // Inexact floating-point result
    0xC0000090,  // Invalid floating-point operation
    0xC0000091,  // Floating-point overflow (exponent to great)
    0xC0000092,  // Floating-point stack overflow or underflow
    0xC0000093,  // Floating-point underflow (exponent too small)
    0xC000001D,  // Illegal instruction
    0xC0000006,  // Memory page error
    0xC0000094,  // Division by zero (integer)
    0xC0000095,  // Integer overflow
    0xC0000026,  // Exception handler returned unknown value
    0xC0000025,  // Exception handler tried to continue after non-continuable exception
    0xC0000096,  // Privileged instruction
    0x80000004,  // Single step trap
    0xC00000FD,  // Stack overflow
};
constexpr char FAULT_TEXTS[] =
    "Invalid memory access"
    "\0"
    "Array bounds exceeded"
    "\0"
    "Debugger breakpoint reached"
    "\0"
    "Misaligned data access"
    "\0"
    "Denormal floating-point operand"
    "\0"
    "Division by zero (floating-point)"
    "\0"
    "Inexact floating-point result"
    "\0"
    "Invalid floating-point operation"
    "\0"
    "Floating-point overflow (exponent to great)"
    "\0"
    "Floating-point stack overflow or underflow"
    "\0"
    "Floating-point underflow (exponent too small)"
    "\0"
    "Illegal instruction"
    "\0"
    "Memory page error"
    "\0"
    "Division by zero "
    "\0"
    "Integer overflow"
    "\0"
    "Exception handler returned unknown value"
    "\0"
    "Exception handler tried to continue after non-continuable exception"
    "\0"
    "Privileged instruction"
    "\0"
    "Single step trap"
    "\0"
    "Stack overflow"
    "\0";

constexpr int TextsIn(const char* block, int size) {
    int count = 0;
    for (int i = 0; i < size; ++i) count += block[i] == 0;
    return count;
}
static_assert(TextsIn(FAULT_TEXTS, sizeof FAULT_TEXTS - 1) == sizeof FAULT_CODES / sizeof FAULT_CODES[0],
              "one text per fault code");

// The fault record: written once per fault by the filter, read by the report through the queries.
// The code is kept complemented so that the record starts at zero, which keeps initialised data out of the image;
// before any fault the code reads as -1.
int fault_code_complement = 0;
int fault_address = 0;
int fault_line = 0;
int fault_target_address = 0;

void (*report_procedure)() = nullptr;
LPTOP_LEVEL_EXCEPTION_FILTER previous_filter = nullptr;
int trap_installed = 0;

// Set by the first fault that reaches the filter; never cleared, since that fault ends the process.
volatile LONG fault_reporting = 0;

// Guards the report on the faulting thread: the platform was seen (Wine) not to call the filter again for a fault
// inside the filter, but to end the process with the fault's code. A frame of our own on the thread's handler chain
// sees such a fault first. Faults that the report's callees handle themselves never reach it.
EXCEPTION_DISPOSITION NTAPI EndOnFaultInReport(EXCEPTION_RECORD* record, void*, CONTEXT*, void*) {
    if (record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) return ExceptionContinueSearch;
    TerminateProcess(GetCurrentProcess(), 0);
    return ExceptionContinueSearch;
}

void RunGuarded(void (*procedure)()) {
    NT_TIB* tib = reinterpret_cast<NT_TIB*>(NtCurrentTeb());
    EXCEPTION_REGISTRATION_RECORD frame;
    frame.Next = tib->ExceptionList;
    frame.Handler = EndOnFaultInReport;
    tib->ExceptionList = &frame;
    procedure();
    tib->ExceptionList = frame.Next;
}

// A stack overflow leaves the faulting thread a few KiB of stack, too little for the report (seen on Wine: the
// report faulted again at once, and the thread's stack guarantee was not honoured). The report then runs on a
// fiber of its own stack: the same thread, so its windows, message queue and per-thread state are unchanged.
void WINAPI ReportOnFiber(void*) {
    RunGuarded(report_procedure);
    TerminateProcess(GetCurrentProcess(), 0);
}

void RunReportWithFreshStack() {
    void* fiber = ConvertThreadToFiber(nullptr) ? CreateFiber(0, ReportOnFiber, nullptr) : nullptr;
    if (fiber) SwitchToFiber(fiber);
    RunGuarded(report_procedure);
}

// Records the fault, runs the report procedure, then ends the process with exit code 0. Never returns to the platform.
// A fault raised while a report is in progress (on any thread) ends the process at once, also with exit code 0.
// After a stack overflow the report runs on a fresh stack of the same thread.
LONG WINAPI FaultFilter(EXCEPTION_POINTERS* pointers) {
    // A second fault while a report is built (the report itself faulting, or another thread faulting meanwhile)
    // must neither recurse into the report nor wait for it, and must not overwrite the record the report reads.
    if (InterlockedExchange(&fault_reporting, 1) != 0) TerminateProcess(GetCurrentProcess(), 0);

    const EXCEPTION_RECORD* record = pointers ? pointers->ExceptionRecord : nullptr;
    if (record) {
        fault_code_complement = ~static_cast<int>(record->ExceptionCode);
        fault_address = reinterpret_cast<int>(record->ExceptionAddress);
        fault_line = CurrentSourceLine;
        fault_target_address = 0;
        if (record->ExceptionCode == EXCEPTION_ACCESS_VIOLATION && record->NumberParameters >= 2)
            fault_target_address = static_cast<int>(record->ExceptionInformation[1]);
    }
    if (report_procedure) {
        if (fault_code_complement == ~static_cast<int>(EXCEPTION_STACK_OVERFLOW)) RunReportWithFreshStack();
        else RunGuarded(report_procedure);
    }
    fault_code_complement = 0;
    TerminateProcess(GetCurrentProcess(), 0);
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

void PlugFaultTrap() { PlugEndStep(END_FAULT_TRAP, RemoveFaultTrap); }

void InstallFaultHandler(void (*report)()) {
    report_procedure = report;
    LPTOP_LEVEL_EXCEPTION_FILTER replaced = SetUnhandledExceptionFilter(FaultFilter);
    if (!trap_installed) {
        previous_filter = replaced;
        trap_installed = 1;
    }
}

void RemoveFaultTrap() {
    if (!trap_installed) return;
    SetUnhandledExceptionFilter(previous_filter);
    previous_filter = nullptr;
    trap_installed = 0;
}

char* FaultMessage(int start) {
    const char* text = FAULT_TEXTS;
    for (DWORD code : FAULT_CODES) {
        if (code == ~static_cast<DWORD>(fault_code_complement)) return AppendCString(text, start);
        text += TextLength(text) + 1;
    }
    return AppendCString(UNKNOWN_FAULT, start);
}

int FaultCode() { return ~fault_code_complement; }

int FaultAddress() { return fault_address; }

int FaultTargetAddress() { return fault_target_address; }

int FaultLine() {
    if (fault_line == -1) return -1;
    return fault_line & SOURCE_LINE_MASK;
}

char* FaultFile(int start) {
    if (fault_line == -1) return AppendCString(LINE_TRACKING_OFF, start);
    // The index is the line's top byte, read unsigned: a stored value such as 0xFF000001 is index 255.
    int index = static_cast<int>(static_cast<unsigned>(fault_line) >> SOURCE_FILE_SHIFT);
    if (index == 0) return AppendCString(BUILD_SOURCE_PATH, start);
    if (index <= source_file_count) return AppendCString(source_files[index - 1], start);
    return AppendCString("", start);
}

void SetSourceFiles(const char* const* paths, int count) {
    source_files = paths;
    source_file_count = paths ? count : 0;
}

HANDLE PutClipboardText(const char* text) {
    if (!OpenClipboard(nullptr)) return nullptr;
    if (!text) text = "";
    SIZE_T size = static_cast<SIZE_T>(TextLength(text)) + 1;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, size);
    if (!block) {
        CloseClipboard();
        return nullptr;
    }
    EmptyClipboard();
    char* destination = static_cast<char*>(GlobalLock(block));
    if (!destination) {
        GlobalFree(block);
        CloseClipboard();
        return nullptr;
    }
    for (SIZE_T i = 0; i < size; ++i) destination[i] = text[i];
    GlobalUnlock(block);
    HANDLE result = SetClipboardData(CF_TEXT, block);
    // Only a block the clipboard accepted belongs to it; a refused one is still ours to free.
    if (!result) GlobalFree(block);
    CloseClipboard();
    return result;
}

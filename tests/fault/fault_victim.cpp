// Arms the fault trap with the installer's report, then faults on purpose as BRV_VICTIM asks; leaves note.txt.
// Contract: modes "CODE LINE" (raised, the queries noted), "report", "overflow", "recursive", "concurrent".
#include <windows.h>

#include <stdlib.h>

#include "app/fault_report.h"
#include "app/identity.h"
#include "core/frame.h"
#include "core/strings.h"
#include "fault/fault.h"
#include "tests/support/files.h"
#include "ui/runtime.h"

namespace {
const int SOURCE_FILE = 0;
int* volatile bad_pointer = reinterpret_cast<int*>(16);

// Through a volatile pointer, so that the recursion cannot become a loop.
int Recurse(int depth);
int (*volatile recurse)(int) = Recurse;
int Recurse(int depth) {
    volatile char room[256] = {static_cast<char>(depth)};
    return recurse(depth + 1) + room[0];
}

// The trap's own queries, written instead of a box.
void QueryReport() {
    Write("note.txt", TextBuilder()
                          .Add(FaultMessage(-1))
                          .Add("|")
                          .AddNumber(FaultCode())
                          .Add("|")
                          .AddNumber(FaultTargetAddress())
                          .Add("|")
                          .AddNumber(FaultLine())
                          .Add("|")
                          .Add(FaultFile(-1))
                          .Text());
}

// Faults a second time once the main thread's report is on screen.
DWORD WINAPI FaultWhileReportShown(void*) {
    while (!FindWindowA("#32770", " Programmfehler in fault_victim.exe")) Sleep(20);
    *bad_pointer = 2;
    return 0;
}

}  // namespace

int main() {
    char mode[64] = "";
    GetEnvironmentVariableA("BRV_VICTIM", mode, sizeof mode);
    PlugWindowRuntime();
    PlugFaultTrap();
    StartRuntime();
    SetSourceFiles(APPLICATION_SOURCES, 3);
    InstallFaultHandler(report_program_fault);
    if (!lstrcmpA(mode, "report")) {
        // The record of a write to address 16, raised exactly: the emulated CPU of the test bench misnames the fault.
        const ULONG_PTR write_at_16[2] = {1, 16};
        SOURCE_LINE;
        Write("note.txt", TextBuilder().AddNumber(__LINE__ + 1).Text());
        SOURCE_LINE;
        RaiseException(EXCEPTION_ACCESS_VIOLATION, 0, 2, write_at_16);
    }
    if (!lstrcmpA(mode, "overflow")) {
        SOURCE_LINE;
        Write("note.txt", TextBuilder().AddNumber(__LINE__ + 1).Text());
        SOURCE_LINE;
        return Recurse(0);
    }
    if (!lstrcmpA(mode, "recursive")) {
        InstallFaultHandler([] { Write("note.txt", "report entered"), *bad_pointer = 4; });
        *bad_pointer = 5;
    }
    if (!lstrcmpA(mode, "concurrent")) {
        CloseHandle(CreateThread(nullptr, 0, FaultWhileReportShown, nullptr, 0, nullptr));
        *bad_pointer = 6;
    }
    char* rest = mode;
    if (mode[0] >= '0' && mode[0] <= '9') {  // "CODE LINE": the code raised with that source line
        InstallFaultHandler(QueryReport);
        DWORD code = strtoul(rest, &rest, 0);
        CurrentSourceLine = static_cast<int>(strtoul(rest, nullptr, 0));
        const ULONG_PTR parameters[2] = {1, 0x1234};
        RaiseException(code, 0, 2, parameters);
    }
    EndProgram();
}

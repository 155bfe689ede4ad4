// Faults on purpose while a user's Notiz.txt waits under its backup name, to show the report puts it back first.
// Contract: run in a scratch working directory that holds the user's Notiz.txt; ends through the error report.
#include <windows.h>

#include "app/fault_report.h"
#include "app/identity.h"
#include "app/install.h"
#include "core/frame.h"
#include "core/strings.h"
#include "fault/fault.h"
#include "ui/runtime.h"

namespace {
const int SOURCE_FILE = 0;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    PlugWindowRuntime();
    PlugFaultTrap();
    StartRuntime();
    SOURCE_LINE; InstallFaultHandler(report_program_fault);
    SOURCE_LINE; AssignText(&executable_name, "Brindavel.exe");
    SOURCE_LINE; AssignText(&target_path, "C:\\brv_no_such_target\\BrindaVel\\");
    SOURCE_LINE; if (!stage_payload_file(PAYLOAD_NOTES)) {
        SOURCE_LINE; EndProgram();
    }
    SOURCE_LINE; volatile int* volatile nowhere = nullptr;
    SOURCE_LINE; *nowhere = 1;
    SOURCE_LINE; EndProgram();
}

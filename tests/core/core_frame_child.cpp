// Child program of the core tests: starts the runtime and ends through EndProgram in the way its first argument names.
// Contract: "name <out>", "end <out> <buffered file>", "end-thread", "end-again"; the exit code must be 0 in every mode.
#include <windows.h>
#include <string.h>

#include "core/files.h"
#include "core/frame.h"
#include "core/registry.h"
#include "core/strings.h"

namespace {

char steps[64];
int stepCount;
const char* stepFile;

void Record(char step) {
    if (stepCount < static_cast<int>(sizeof(steps)) - 1) steps[stepCount++] = step;
}

void WriteText(const char* name, const char* text) {
    HANDLE file = CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written;
    WriteFile(file, text, static_cast<DWORD>(strlen(text)), &written, nullptr);
    CloseHandle(file);
}

void StartFonts() { Record('A'); }
void StartWindows() { Record('B'); }
void StartGadgets() { Record('C'); }
void StartSmallLibrary() { Record('D'); }
void StartDrawing() { Record('E'); }
void StartMenus() { Record('F'); }
void StartFaultTrap() { Record('G'); }
void StartRequesters() { Record('H'); Record('|'); }
void EndFaultTrap() { Record('0'); }
void EndKeyboard() { Record('1'); }
void EndMultimedia() { Record('2'); }
void EndAuxLibrary() { Record('3'); }
void EndTooltip() { Record('4'); }
void EndWindows() { Record('5'); }
void EndFonts() {
    Record('6');
    WriteText(stepFile, steps);
}
void EndAgain() {
    Record('5');
    WriteText(stepFile, steps);
    EndProgram();
}

DWORD WINAPI EndOnThread(void*) {
    EndProgram();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && strcmp(argv[1], "name") == 0) {
        StartRuntime();
        char raw[MAX_PATH + 1];
        DWORD length = GetModuleFileNameA(nullptr, raw, sizeof(raw) - 1);
        raw[length] = 0;
        TextBuilder text;
        text.Add(ProgramFileName(-1)).Add("\n").Add(raw);
        WriteText(argv[2], text.Text());
        EndProgram();
    }
    if (argc >= 4 && strcmp(argv[1], "end") == 0) {
        stepFile = argv[2];
        PlugStartStep(START_FONTS, StartFonts);
        PlugStartStep(START_WINDOWS, StartWindows);
        PlugStartStep(START_GADGETS, StartGadgets);
        PlugStartStep(START_SMALL_LIBRARY, StartSmallLibrary);
        PlugStartStep(START_DRAWING, StartDrawing);
        PlugStartStep(START_MENUS, StartMenus);
        PlugStartStep(START_FAULT_TRAP, StartFaultTrap);
        PlugStartStep(START_REQUESTERS, StartRequesters);
        PlugEndStep(END_FAULT_TRAP, EndFaultTrap);
        PlugEndStep(END_KEYBOARD, EndKeyboard);
        PlugEndStep(END_MULTIMEDIA, EndMultimedia);
        PlugEndStep(END_AUX_LIBRARY, EndAuxLibrary);
        PlugEndStep(END_TOOLTIP, EndTooltip);
        PlugEndStep(END_WINDOWS, EndWindows);
        PlugEndStep(END_FONTS, EndFonts);
        StartRuntime();
        StartRuntime();  // a second start changes nothing
        int file = CreateFileObject(ANY_NUMBER, argv[3]);
        if (!file) return 5;
        WriteFileData(file, "buffered data", 13);  // left open: the files end step writes it out
        EndProgram();
    }
    if (argc >= 2 && strcmp(argv[1], "end-thread") == 0) {
        StartRuntime();
        HANDLE thread = CreateThread(nullptr, 0, EndOnThread, nullptr, 0, nullptr);
        if (thread) WaitForSingleObject(thread, 60000);
        return 8;
    }
    if (argc >= 3 && strcmp(argv[1], "end-again") == 0) {
        stepFile = argv[2];
        PlugEndStep(END_FAULT_TRAP, EndFaultTrap);
        PlugEndStep(END_WINDOWS, EndAgain);
        PlugEndStep(END_FONTS, EndFonts);
        StartRuntime();
        EndProgram();
    }
    return 7;  // EndProgram returned or the mode is unknown
}

// brv-driver: command-line front of the GUI driver, for scripts (the installer run, whole-program tests).
// Contract: brv-driver.exe COMMAND ARGS... [COMMAND ARGS...]; one result line per query on stdout; the first failing
// step prints "error: ..." and ends the driver with exit code 2 after ending the started program (see README.md).
#include "tools/driver/driver.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

DrvProcess program;
HWND mainWindow;
DrvBox currentBox;
int haveBox;

[[noreturn]] void Fail(const char* what, const char* detail) {
    printf("error: %s%s%s\n", what, detail ? " " : "", detail ? detail : "");
    fflush(stdout);
    DrvCloseProcess(&program);
    exit(2);
}

// Printable ASCII as is, backslash as \\, every other byte as \xNN.
void PrintBytes(const char* text) {
    for (const unsigned char* c = (const unsigned char*)text; *c; ++c) {
        if (*c == '\\') printf("\\\\");
        else if (*c >= 0x20 && *c < 0x7F) putchar(*c);
        else printf("\\x%02X", *c);
    }
}

void PrintEscaped(const char* label, const char* text) {
    printf(" %s=", label);
    PrintBytes(text);
}

BOOL CALLBACK PrintTopProc(HWND window, LPARAM) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != program.processId) return TRUE;
    char className[64] = "", title[512];
    GetClassNameA(window, className, sizeof className);
    DrvReadText(window, title, sizeof title);
    RECT frame;
    GetWindowRect(window, &frame);
    printf("top hwnd=0x%lX class=%s x=%ld y=%ld w=%ld h=%ld visible=%d enabled=%d", (unsigned long)(UINT_PTR)window,
           className, frame.left, frame.top, frame.right - frame.left, frame.bottom - frame.top,
           IsWindowVisible(window) ? 1 : 0, IsWindowEnabled(window) ? 1 : 0);
    PrintEscaped("title", title);
    printf("\n");
    return TRUE;
}

HWND NeedWindow() {
    if (!mainWindow || !IsWindow(mainWindow)) Fail("no main window", "(use: window MS)");
    return mainWindow;
}

int Number(const char* text) { return (int)strtol(text, 0, 0); }

// --- The commands: each finds its arguments at `argument`, as many as its row in COMMANDS names ---

void Start(char** argument) {
    const char* directory = strcmp(argument[1], "-") == 0 ? 0 : argument[1];
    if (DrvIsRunning(&program)) Fail("the started program still runs", argument[0]);
    DrvCloseProcess(&program);
    if (!DrvStart(argument[0], directory, &program)) Fail("cannot start", argument[0]);
    printf("started pid=%lu\n", (unsigned long)program.processId);
}

void Window(char** argument) {
    mainWindow = DrvWaitMainWindow(&program, Number(argument[0]));
    if (!mainWindow) Fail("no main window appeared", 0);
    char title[1024];
    DrvReadText(mainWindow, title, sizeof title);
    RECT client = {};
    GetClientRect(mainWindow, &client);
    printf("window");
    PrintEscaped("title", title);
    printf(" client=%ldx%ld\n", client.right, client.bottom);
}

void Ready(char** argument) {
    if (!DrvWaitReady(&program, NeedWindow(), Number(argument[0]), Number(argument[1])))
        Fail("window not ready", argument[0]);
    printf("ready\n");
}

void Windows(char**) { EnumWindows(PrintTopProc, 0); }

void Command(char** argument) {
    if (!DrvPostCommand(NeedWindow(), Number(argument[0]))) Fail("cannot post command", argument[0]);
}

void Click(char** argument) {
    if (!DrvClick(NeedWindow(), Number(argument[0]))) Fail("no such control", argument[0]);
}

void Close(char**) {
    if (!DrvCloseByCaption(NeedWindow())) Fail("cannot post SC_CLOSE", 0);
}

void Box(char** argument) {
    haveBox = DrvWaitBox(&program, 1, Number(argument[0]), &currentBox);
    if (!haveBox) Fail("no message box appeared", 0);
    printf("box");
    PrintEscaped("title", currentBox.title);
    PrintEscaped("text", currentBox.text);
    printf(" buttons=");
    for (int b = 0; b < currentBox.buttonCount; ++b) {
        printf("%s%d:", b ? "," : "", currentBox.buttonIds[b]);
        PrintBytes(currentBox.buttonTexts[b]);
    }
    printf("\n");
}

void Answer(char** argument) {
    if (!haveBox) Fail("no box to answer", 0);
    if (!DrvAnswerBox(&currentBox, Number(argument[0]))) Fail("no such button", argument[0]);
    if (!DrvWaitGone(currentBox.hwnd, 60000)) Fail("box stayed open", 0);
    haveBox = 0;
}

void Screenshot(char** argument) {
    HWND shown = haveBox && IsWindow(currentBox.hwnd) ? currentBox.hwnd : NeedWindow();
    int saved = DrvSaveScreenshot(shown, argument[0]);
    if (!saved) Fail("screenshot failed", argument[0]);
    printf("screenshot file=%s settled=%d\n", argument[0], saved == 1);
}

void Exit(char** argument) {
    DWORD code = 0;
    if (!DrvWaitExit(&program, Number(argument[0]), &code)) Fail("program did not end", 0);
    printf("exit code=%lu peak=%lu\n", (unsigned long)code, (unsigned long)program.peakWorkingSet);
}

// One row per command; the usage line is the row's own text, and its words after the first are the arguments.
struct CommandRow {
    const char* synopsis;  // the command's name, then one word per argument
    const char* does;
    void (*run)(char** argument);
};

const CommandRow COMMANDS[] = {
    {"start PROGRAM DIR", "start PROGRAM with working directory DIR (- = the driver's)", Start},
    {"window MS", "wait for the main window; prints its title and client size", Window},
    {"ready ID MS", "wait until control ID is shown and the program waits for input", Ready},
    {"windows", "list the program's top-level windows", Windows},
    {"command ITEM", "post WM_COMMAND (a menu item)", Command},
    {"click ID", "post BM_CLICK to control ID of the main window", Click},
    {"close", "WM_SYSCOMMAND SC_CLOSE (the caption's close box)", Close},
    {"box MS", "wait for a message box; prints title, text and buttons", Box},
    {"answer ID", "click button ID of the last box and wait until it is gone", Answer},
    {"screenshot FILE.bmp", "save the open box, else the main window, as shown on screen", Screenshot},
    {"exit MS", "wait for the program's end; prints its exit code and peak working set", Exit},
};

void Usage() {
    printf("usage: brv-driver.exe COMMAND ARGS... [COMMAND ARGS...]\n");
    for (const CommandRow& row : COMMANDS) printf("  %-21s %s\n", row.synopsis, row.does);
}

const CommandRow* FindCommand(const char* name) {
    size_t length = strlen(name);
    for (const CommandRow& row : COMMANDS)
        if (strncmp(row.synopsis, name, length) == 0 && (row.synopsis[length] == ' ' || !row.synopsis[length]))
            return &row;
    return 0;
}

int ArgumentCount(const CommandRow* row) {
    int count = 0;
    for (const char* c = row->synopsis; *c; ++c) count += *c == ' ';
    return count;
}

}  // namespace

int main(int argc, char** argv) {
    setvbuf(stdout, 0, _IONBF, 0);
    if (argc < 2) {
        Usage();
        return 1;
    }
    for (int i = 1; i < argc;) {
        const char* name = argv[i++];
        const CommandRow* row = FindCommand(name);
        if (!row) {
            Usage();
            Fail("unknown command", name);
        }
        int count = ArgumentCount(row);
        if (argc - i < count) Fail("missing argument for", name);
        row->run(argv + i);
        i += count;
    }
    DrvCloseProcess(&program);
    return 0;
}

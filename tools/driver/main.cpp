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

[[noreturn]] void Fail(const char* what, const char* detail)
{
    printf("error: %s%s%s\n", what, detail ? " " : "", detail ? detail : "");
    fflush(stdout);
    DrvCloseProcess(&program);
    exit(2);
}

// Printable ASCII as is, backslash as \\, every other byte as \xNN.
void PrintBytes(const char* text)
{
    for (const unsigned char* c = (const unsigned char*)text; *c; ++c) {
        if (*c == '\\')
            printf("\\\\");
        else if (*c >= 0x20 && *c < 0x7F)
            putchar(*c);
        else
            printf("\\x%02X", *c);
    }
}

void PrintEscaped(const char* label, const char* text)
{
    printf(" %s=", label);
    PrintBytes(text);
}

BOOL CALLBACK PrintTopProc(HWND window, LPARAM)
{
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

HWND NeedWindow()
{
    if (!mainWindow || !IsWindow(mainWindow)) Fail("no main window", "(use: window MS)");
    return mainWindow;
}

int Number(const char* text)
{
    return (int)strtol(text, 0, 0);
}

void Usage()
{
    printf("usage: brv-driver.exe COMMAND ARGS... [COMMAND ARGS...]\n"
           "  start PROGRAM DIR     start PROGRAM with working directory DIR (- = the driver's)\n"
           "  window MS             wait for the main window; prints its title and client size\n"
           "  ready ID MS           wait until control ID is shown and the program waits for input\n"
           "  windows               list the program's top-level windows\n"
           "  command ITEM          post WM_COMMAND (a menu item)\n"
           "  click ID              post BM_CLICK to control ID of the main window\n"
           "  close                 WM_SYSCOMMAND SC_CLOSE (the caption's close box)\n"
           "  box MS                wait for a message box; prints title, text and buttons\n"
           "  answer ID             click button ID of the last box and wait until it is gone\n"
           "  screenshot FILE.bmp   save the open box, else the main window, as shown on screen\n"
           "  exit MS               wait for the program's end; prints its exit code and peak working set\n");
}

}  // namespace

int main(int argc, char** argv)
{
    setvbuf(stdout, 0, _IONBF, 0);
    if (argc < 2) {
        Usage();
        return 1;
    }
    for (int i = 1; i < argc; ++i) {
        const char* command = argv[i];
        int rest = argc - i - 1;
        auto need = [&](int count) {
            if (rest < count) Fail("missing argument for", command);
        };
        if (strcmp(command, "start") == 0) {
            need(2);
            const char* directory = strcmp(argv[i + 2], "-") == 0 ? 0 : argv[i + 2];
            if (DrvIsRunning(&program)) Fail("the started program still runs", argv[i + 1]);
            DrvCloseProcess(&program);
            if (!DrvStart(argv[i + 1], directory, &program)) Fail("cannot start", argv[i + 1]);
            printf("started pid=%lu\n", (unsigned long)program.processId);
            i += 2;
        } else if (strcmp(command, "window") == 0) {
            need(1);
            mainWindow = DrvWaitMainWindow(&program, Number(argv[++i]));
            if (!mainWindow) Fail("no main window appeared", 0);
            char title[1024];
            DrvReadText(mainWindow, title, sizeof title);
            RECT client = {};
            GetClientRect(mainWindow, &client);
            printf("window");
            PrintEscaped("title", title);
            printf(" client=%ldx%ld\n", client.right, client.bottom);
        } else if (strcmp(command, "ready") == 0) {
            need(2);
            if (!DrvWaitReady(&program, NeedWindow(), Number(argv[i + 1]), Number(argv[i + 2])))
                Fail("window not ready", argv[i + 1]);
            printf("ready\n");
            i += 2;
        } else if (strcmp(command, "windows") == 0) {
            EnumWindows(PrintTopProc, 0);
        } else if (strcmp(command, "command") == 0) {
            need(1);
            if (!DrvPostCommand(NeedWindow(), Number(argv[++i]))) Fail("cannot post command", argv[i]);
        } else if (strcmp(command, "click") == 0) {
            need(1);
            if (!DrvClick(NeedWindow(), Number(argv[++i]))) Fail("no such control", argv[i]);
        } else if (strcmp(command, "close") == 0) {
            if (!DrvCloseByCaption(NeedWindow())) Fail("cannot post SC_CLOSE", 0);
        } else if (strcmp(command, "box") == 0) {
            need(1);
            haveBox = DrvWaitBox(&program, 1, Number(argv[++i]), &currentBox);
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
        } else if (strcmp(command, "answer") == 0) {
            need(1);
            if (!haveBox) Fail("no box to answer", 0);
            if (!DrvAnswerBox(&currentBox, Number(argv[++i]))) Fail("no such button", argv[i]);
            if (!DrvWaitGone(currentBox.hwnd, 60000)) Fail("box stayed open", 0);
            haveBox = 0;
        } else if (strcmp(command, "screenshot") == 0) {
            need(1);
            HWND shown = haveBox && IsWindow(currentBox.hwnd) ? currentBox.hwnd : NeedWindow();
            int saved = DrvSaveScreenshot(shown, argv[++i]);
            if (!saved) Fail("screenshot failed", argv[i]);
            printf("screenshot file=%s settled=%d\n", argv[i], saved == 1);
        } else if (strcmp(command, "exit") == 0) {
            need(1);
            DWORD code = 0;
            if (!DrvWaitExit(&program, Number(argv[++i]), &code)) Fail("program did not end", 0);
            printf("exit code=%lu peak=%lu\n", (unsigned long)code, (unsigned long)program.peakWorkingSet);
        } else {
            Usage();
            Fail("unknown command", command);
        }
    }
    DrvCloseProcess(&program);
    return 0;
}

// brv-driver: command-line front of the GUI driver, for scripts (end-to-end tests, benchmark).
// Contract: brv-driver.exe COMMAND ARGS... [COMMAND ARGS...]; one result line per query on stdout; the first failing
// step prints "error: ..." and ends the driver with exit code 2 after ending the started program (see README.md).
#include "tools/driver/driver.h"

#include <shlobj.h>
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

void PrintEscaped(const char* label, const char* text)
{
    static char escaped[16384];
    DrvEscape(text, lstrlenA(text), escaped, sizeof escaped);
    printf(" %s=%s", label, escaped);
}

void PrintControl(const DrvControl& control)
{
    printf("control id=%d class=%s x=%d y=%d w=%d h=%d visible=%d enabled=%d check=%d style=0x%08lX",
           control.id, control.className, control.x, control.y, control.width, control.height, control.visible,
           control.enabled, control.check, (unsigned long)control.style);
    PrintEscaped("text", control.text);
    printf("\n");
}

void PrintBox(const char* kind, const DrvBox& box)
{
    printf("%s", kind);
    PrintEscaped("title", box.title);
    PrintEscaped("text", box.text);
    printf(" buttons=");
    for (int i = 0; i < box.buttonCount; ++i) {
        static char escaped[256];
        DrvEscape(box.buttonTexts[i], lstrlenA(box.buttonTexts[i]), escaped, sizeof escaped);
        printf("%s%d:%s", i ? "," : "", box.buttonIds[i], escaped);
    }
    printf("\n");
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

void PrintControls(HWND parent)
{
    static DrvControl controls[64];
    int count = DrvListControls(parent, controls, 64);
    for (int i = 0; i < count; ++i) PrintControl(controls[i]);
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

DrvKeyMode KeyMode(int argc, char** argv, int* i)
{
    if (*i + 1 < argc && strcmp(argv[*i + 1], "input") == 0) {
        ++*i;
        return DRV_KEY_INPUT;
    }
    if (*i + 1 < argc && strcmp(argv[*i + 1], "posted") == 0) ++*i;
    return DRV_KEY_POSTED;
}

void Usage()
{
    printf("usage: brv-driver.exe COMMAND ARGS... [COMMAND ARGS...]\n"
           "  start PROGRAM DIR        start PROGRAM with working directory DIR (- = the driver's)\n"
           "  window MS                wait for the main window; prints its title and client size\n"
           "  ready ID MS              wait until control ID is shown and the program waits for input\n"
           "  windows                  list the program's top-level windows\n"
           "  controls | control ID    list the main window's controls / one control\n"
           "  settext ID TEXT          WM_SETTEXT to a control\n"
           "  click ID                 post BM_CLICK to a button\n"
           "  command ITEM             post WM_COMMAND (a menu item)\n"
           "  menu LETTER              open a menu title by its mnemonic (SC_KEYMENU)\n"
           "  key VK [posted|input]    press a virtual key; escape [posted|input] = key 27\n"
           "  close                    WM_SYSCOMMAND SC_CLOSE (the caption's close box)\n"
           "  wait-class CLASS MS      wait for a visible top-level window of that class\n"
           "  wait-visible ID 0|1 MS   wait until a control is hidden (0) / shown (1)\n"
           "  wait-text ID TEXT MS     wait until a control shows TEXT (wait-dialog-text: in the open dialog)\n"
           "  box MS | dialog MS       wait for a message box / any dialog; dialog also lists its controls\n"
           "  tree-up                  select the parent of the open dialog's tree selection\n"
           "  answer ID                click button ID of the last box and wait until it is gone\n"
           "  folder CSIDL             print a special folder's path (16 = desktop directory)\n"
           "  clipboard | memory | acp print CF_TEXT / peak working set / the ANSI code page\n"
           "  screenshot FILE.bmp      save the open box, else the main window, as shown on screen\n"
           "  screen FILE.bmp          save the whole screen (e.g. with a menu open)\n"
           "  exit MS                  wait for the program's end; prints its exit code and peak working set\n");
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
#define NEED(n) \
    if (rest < (n)) Fail("missing argument for", command)
        if (strcmp(command, "start") == 0) {
            NEED(2);
            const char* directory = strcmp(argv[i + 2], "-") == 0 ? 0 : argv[i + 2];
            if (DrvIsRunning(&program)) Fail("the started program still runs", argv[i + 1]);
            DrvCloseProcess(&program);
            if (!DrvStart(argv[i + 1], directory, &program)) Fail("cannot start", argv[i + 1]);
            printf("started pid=%lu\n", (unsigned long)program.processId);
            i += 2;
        } else if (strcmp(command, "window") == 0) {
            NEED(1);
            mainWindow = DrvWaitMainWindow(&program, Number(argv[++i]));
            if (!mainWindow) Fail("no main window appeared", 0);
            char title[1024];
            DrvReadText(mainWindow, title, sizeof title);
            int width = 0, height = 0;
            DrvClientSize(mainWindow, &width, &height);
            printf("window");
            PrintEscaped("title", title);
            printf(" client=%dx%d\n", width, height);
        } else if (strcmp(command, "ready") == 0) {
            NEED(2);
            if (!DrvWaitReady(&program, NeedWindow(), Number(argv[i + 1]), Number(argv[i + 2])))
                Fail("window not ready", argv[i + 1]);
            printf("ready\n");
            i += 2;
        } else if (strcmp(command, "windows") == 0) {
            EnumWindows(PrintTopProc, 0);
        } else if (strcmp(command, "controls") == 0) {
            PrintControls(NeedWindow());
        } else if (strcmp(command, "control") == 0) {
            NEED(1);
            DrvControl control;
            if (!DrvFindControl(NeedWindow(), Number(argv[++i]), &control)) Fail("no control", argv[i]);
            PrintControl(control);
        } else if (strcmp(command, "settext") == 0) {
            NEED(2);
            if (!DrvSetControlText(NeedWindow(), Number(argv[i + 1]), argv[i + 2])) Fail("settext failed", argv[i + 1]);
            i += 2;
        } else if (strcmp(command, "click") == 0) {
            NEED(1);
            if (!DrvClick(NeedWindow(), Number(argv[++i]))) Fail("no button", argv[i]);
        } else if (strcmp(command, "command") == 0) {
            NEED(1);
            if (!DrvPostCommand(NeedWindow(), Number(argv[++i]))) Fail("cannot post command", argv[i]);
        } else if (strcmp(command, "menu") == 0) {
            NEED(1);
            if (!DrvOpenMenu(NeedWindow(), argv[++i][0])) Fail("cannot open menu", argv[i]);
        } else if (strcmp(command, "key") == 0 || strcmp(command, "escape") == 0) {
            int key = 27;
            if (command[0] == 'k') {
                NEED(1);
                key = Number(argv[++i]);
            }
            DrvKeyMode mode = KeyMode(argc, argv, &i);
            if (!DrvPressKey(&program, NeedWindow(), key, mode)) Fail("key press failed", command);
        } else if (strcmp(command, "close") == 0) {
            if (!DrvCloseByCaption(NeedWindow())) Fail("cannot post SC_CLOSE", 0);
        } else if (strcmp(command, "wait-class") == 0) {
            NEED(2);
            HWND window = DrvWaitWindowOfClass(&program, argv[i + 1], Number(argv[i + 2]));
            if (!window) Fail("no window of class", argv[i + 1]);
            printf("found class=%s\n", argv[i + 1]);
            i += 2;
        } else if (strcmp(command, "wait-visible") == 0) {
            NEED(3);
            if (!DrvWaitControlVisible(NeedWindow(), Number(argv[i + 1]), Number(argv[i + 2]), Number(argv[i + 3])))
                Fail("control visibility not reached", argv[i + 1]);
            i += 3;
        } else if (strcmp(command, "wait-text") == 0 || strcmp(command, "wait-dialog-text") == 0) {
            NEED(3);
            HWND parent = command[5] == 'd' ? (haveBox ? currentBox.hwnd : 0) : NeedWindow();
            if (!parent) Fail("no dialog open", 0);
            if (!DrvWaitControlText(parent, Number(argv[i + 1]), argv[i + 2], Number(argv[i + 3])))
                Fail("control text not reached", argv[i + 1]);
            i += 3;
        } else if (strcmp(command, "box") == 0 || strcmp(command, "dialog") == 0) {
            NEED(1);
            int isBox = command[0] == 'b';
            haveBox = DrvWaitBox(&program, isBox, Number(argv[++i]), &currentBox);
            if (!haveBox) Fail("no dialog appeared", command);
            PrintBox(command, currentBox);
            if (!isBox) PrintControls(currentBox.hwnd);
        } else if (strcmp(command, "answer") == 0) {
            NEED(1);
            if (!haveBox) Fail("no box to answer", 0);
            if (!DrvAnswerBox(&currentBox, Number(argv[++i]))) Fail("no such button", argv[i]);
            if (!DrvWaitGone(currentBox.hwnd, 60000)) Fail("box stayed open", 0);
            haveBox = 0;
        } else if (strcmp(command, "tree-up") == 0) {
            if (!haveBox || !DrvTreeSelectParent(currentBox.hwnd)) Fail("cannot select the parent item", 0);
        } else if (strcmp(command, "clipboard") == 0) {
            static char text[16384];
            if (!DrvReadClipboard(text, sizeof text)) Fail("clipboard not readable", 0);
            printf("clipboard");
            PrintEscaped("text", text);
            printf("\n");
        } else if (strcmp(command, "memory") == 0) {
            if (!DrvSampleMemory(&program)) Fail("memory counters not readable", 0);
            printf("memory peak=%lu\n", (unsigned long)program.peakWorkingSet);
        } else if (strcmp(command, "folder") == 0) {
            NEED(1);
            char path[MAX_PATH] = "";
            if (!SHGetSpecialFolderPathA(0, path, Number(argv[++i]), FALSE)) Fail("no such special folder", argv[i]);
            printf("folder path=%s\n", path);
        } else if (strcmp(command, "acp") == 0) {
            printf("acp=%u\n", GetACP());
        } else if (strcmp(command, "screenshot") == 0) {
            NEED(1);
            HWND shown = haveBox && IsWindow(currentBox.hwnd) ? currentBox.hwnd : NeedWindow();
            int saved = DrvSaveScreenshot(shown, argv[++i]);
            if (!saved) Fail("screenshot failed", argv[i]);
            printf("screenshot file=%s settled=%d\n", argv[i], saved == 1);
        } else if (strcmp(command, "screen") == 0) {
            NEED(1);
            int saved = DrvSaveScreenshot(GetDesktopWindow(), argv[++i]);
            if (!saved) Fail("screen capture failed", argv[i]);
            printf("screen file=%s settled=%d\n", argv[i], saved == 1);
        } else if (strcmp(command, "exit") == 0) {
            NEED(1);
            DWORD code = 0;
            if (!DrvWaitExit(&program, Number(argv[++i]), &code)) Fail("program did not end", 0);
            printf("exit code=%lu peak=%lu\n", (unsigned long)code, (unsigned long)program.peakWorkingSet);
        } else {
            Usage();
            Fail("unknown command", command);
        }
#undef NEED
    }
    DrvCloseProcess(&program);
    return 0;
}

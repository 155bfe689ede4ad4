// GUI driver: starts a Windows program and operates its windows from outside, as a person at the keyboard would.
// Contract: every wait polls with a timeout in milliseconds and returns 0 on timeout; nothing here throws or blocks unbounded.
#pragma once

#include <windows.h>

// A program started by the driver. The driver owns both handles until DrvCloseProcess.
struct DrvProcess {
    HANDLE process;
    HANDLE thread;
    DWORD processId;
    DWORD threadId;
    SIZE_T peakWorkingSet;  // largest PeakWorkingSetSize read so far (sampled while waiting)
};

// One child control, geometry in the client coordinates of the window whose controls were listed.
struct DrvControl {
    HWND hwnd;
    int id;
    char className[64];
    char text[1024];
    int x, y, width, height;
    int visible;  // IsWindowVisible: the control and all its parents are shown
    int check;    // BM_GETCHECK for "Button" controls, -1 for every other class
    LONG style;
};

enum { DRV_MAX_BUTTONS = 8 };

// A dialog box (#32770) of the driven process: a message box, or the folder picker.
struct DrvBox {
    HWND hwnd;
    char title[512];
    char text[4096];  // the message text (static control 0xFFFF); empty for dialogs without one
    int buttonCount;
    int buttonIds[DRV_MAX_BUTTONS];
    char buttonTexts[DRV_MAX_BUTTONS][64];
};

// Starts `program` (a Windows path, quoted on the command line) in `workingDirectory` (null: the driver's own), on
// the visible desktop; the command line holds `arguments` after the program (null: none), however long.
int DrvStartCommand(const char* program, const char* arguments, const char* workingDirectory, DrvProcess* out);
int DrvStart(const char* program, const char* workingDirectory, DrvProcess* out);
// Ends the process if it still runs (TerminateProcess, exit code 9999) and closes the handles.
void DrvCloseProcess(DrvProcess* process);
int DrvIsRunning(const DrvProcess* process);

// The first visible, enabled, captioned top-level window of the process that is not a dialog box or tooltip.
HWND DrvWaitMainWindow(DrvProcess* process, int timeoutMs);
// Any visible top-level window of the process with the given class ("#32768" = an open menu, "#32770" = dialog).
HWND DrvWaitWindowOfClass(DrvProcess* process, const char* className, int timeoutMs);
// Waits until the window is gone (destroyed or hidden).
int DrvWaitGone(HWND window, int timeoutMs);
// Waits until the window is enabled again (after a modal box has closed).
int DrvWaitEnabled(HWND window, int timeoutMs);

// Window text bytes in the ANSI code page; controls are asked with WM_GETTEXT (their own text), top-levels too.
int DrvReadText(HWND window, char* buffer, int size);

// Lists all descendants in creation order (EnumChildWindows order). Returns the count (at most capacity).
int DrvListControls(HWND parent, DrvControl* out, int capacity);
// Polls until the control's state is as wanted: visible (1/0), or text equal to `text`.
int DrvWaitControlVisible(HWND parent, int id, int visible, int timeoutMs);
int DrvWaitControlText(HWND parent, int id, const char* text, int timeoutMs);

// The window is ready for input: control `lastControlId` (the last one the program creates) is shown, the process
// has gone input-idle and the window's thread answers a sent WM_NULL. Programs add gadgets after showing their
// window (seen: the window is visible seconds before its first control exists), so input sent earlier is lost.
int DrvWaitReady(DrvProcess* process, HWND window, int lastControlId, int timeoutMs);

// WM_SETTEXT to a control (sent with a timeout: the text has to arrive before the next step).
int DrvSetControlText(HWND parent, int id, const char* text);
// BM_CLICK posted to a button: the target does its work inside its click handler, so a send would block the driver.
int DrvClick(HWND parent, int id);
// BM_CLICK posted to the button of a dialog box with the given id (IDOK 1, IDCANCEL 2, IDYES 6, IDNO 7).
int DrvAnswerBox(const DrvBox* box, int buttonId);
// A menu or shortcut command as the menu would send it: WM_COMMAND posted with the item number, notification 0.
int DrvPostCommand(HWND window, int item);
// Presses and releases one virtual key: WM_KEYDOWN/WM_KEYUP posted to the focus window of the process's thread,
// so that its own message loop (and its accelerator translation) sees them like typed keys.
int DrvPressKey(DrvProcess* process, HWND window, int virtualKey);
// The caption's close box: WM_SYSCOMMAND SC_CLOSE posted to the window.
int DrvCloseByCaption(HWND window);

// Waits for a visible dialog box of the process; with `needText`, only boxes that carry a message text count.
int DrvWaitBox(DrvProcess* process, int needText, int timeoutMs, DrvBox* out);

// Samples the process's peak working set into process->peakWorkingSet; returns 1 when it could be read.
int DrvSampleMemory(DrvProcess* process);
// Waits for the end of the process, sampling the peak working set meanwhile. Returns 1 and the exit code.
int DrvWaitExit(DrvProcess* process, int timeoutMs, DWORD* exitCode);

// Saves what the screen shows of the window (frame included) as a 24-bit BMP file, once the picture has settled
// (two captures in a row equal, not one colour; 20 s at most). 1 settled, 2 saved unsettled, 0 failed.
int DrvSaveScreenshot(HWND window, const char* bmpPath);

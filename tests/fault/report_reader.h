// Reads a program's error report from outside: finds its message box, reads caption, text and clipboard, answers it.
// Contract: every wait polls with a timeout; a process left running by a test is killed when its WatchedProcess ends.
#pragma once

#include <windows.h>

#include <string>

const DWORD BOX_TIMEOUT_MS = 120000;  // the platform's first start in a fresh prefix is slow
const DWORD EXIT_TIMEOUT_MS = 60000;

// The message table as a user reads it, every row; the last row stands for any code outside the table.
struct FaultText {
    DWORD code;
    const char* text;
};
const int FAULT_TEXT_COUNT = 21;
extern const FaultText FAULT_TEXTS[FAULT_TEXT_COUNT];
// The report's message for a code.
const char* TextOf(DWORD code);

// The code with which the platform itself reports the fault that a thread started at fault makes (0: none).
// The emulated CPU of the test bench classifies hardware faults differently from a real one.
DWORD PlatformCodeOf(LPTHREAD_START_ROUTINE fault);

// A file beside the running test program.
std::string Beside(const char* file);
std::string ReadWholeFile(const std::string& path);
std::string WindowText(HWND window);
void ClearClipboard();
std::string ClipboardText();
// Posts BM_CLICK to the box's button, as a user's click arrives; false when the box has no button.
bool AnswerBox(HWND box);

class WatchedProcess {
public:
    // program: full path; commandLine: the whole command line, program included.
    WatchedProcess(const std::string& program, const std::string& commandLine);
    ~WatchedProcess();
    WatchedProcess(const WatchedProcess&) = delete;
    WatchedProcess& operator=(const WatchedProcess&) = delete;

    bool Started() const { return started; }
    HANDLE Handle() const { return info.hProcess; }
    // The first visible top-level window of the process of the class (null: any class but a dialog box).
    // Null when the process ended or the time ran out.
    HWND WaitForWindow(const char* className, DWORD timeout = BOX_TIMEOUT_MS);
    HWND WaitForBox(DWORD timeout = BOX_TIMEOUT_MS) { return WaitForWindow("#32770", timeout); }
    // Exit code, or STILL_ACTIVE when the process did not end in time.
    DWORD WaitForExit(DWORD timeout = EXIT_TIMEOUT_MS);

private:
    bool started = false;
    PROCESS_INFORMATION info = {};
};

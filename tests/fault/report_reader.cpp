// Reads a program's error report from outside: finds its message box, reads caption, text and clipboard, answers it.
// Contract: every wait polls with a timeout; a process left running by a test is killed when its WatchedProcess ends.
#include "tests/fault/report_reader.h"

namespace {

const DWORD POLL_MS = 50;

bool OpenClipboardPatiently() {
    for (DWORD waited = 0; waited < 5000; waited += POLL_MS) {
        if (OpenClipboard(nullptr)) return true;
        Sleep(POLL_MS);
    }
    return false;
}

struct WindowSearch {
    DWORD process;
    const char* className;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM parameter) {
    WindowSearch* search = reinterpret_cast<WindowSearch*>(parameter);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != search->process || !IsWindowVisible(window)) return TRUE;
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    bool dialog = lstrcmpA(name, "#32770") == 0;
    bool match = search->className ? lstrcmpA(name, search->className) == 0 : !dialog;
    if (!match) return TRUE;
    search->found = window;
    return FALSE;
}

// How the platform itself classifies a hardware fault: a probe thread faults, a vectored handler notes the code
// and sends the thread to its end. Seen: Wine on an emulated i386 CPU (user-mode emulation) reports a write to
// address 16 as 0xC000001D and an integer division by zero as 0xC0000090, since the emulator passes no trap number.
DWORD probe_thread = 0;
DWORD probe_code = 0;

void WINAPI EndProbe() { ExitThread(0); }

LONG CALLBACK NoteProbeFault(EXCEPTION_POINTERS* pointers) {
    if (GetCurrentThreadId() != probe_thread) return EXCEPTION_CONTINUE_SEARCH;
    probe_code = pointers->ExceptionRecord->ExceptionCode;
    pointers->ContextRecord->Eip = reinterpret_cast<DWORD>(EndProbe);
    return EXCEPTION_CONTINUE_EXECUTION;
}

} // namespace

std::string Beside(const char* file) {
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    return folder.substr(0, folder.find_last_of("\\/") + 1) + file;
}

std::string ReadWholeFile(const std::string& path) {
    std::string text;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return text;
    char buffer[512];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
    CloseHandle(file);
    return text;
}

std::string WindowText(HWND window) {
    int length = GetWindowTextLengthA(window);
    std::string text(length + 1, '\0');
    text.resize(GetWindowTextA(window, &text[0], length + 1));
    return text;
}

void ClearClipboard() {
    if (!OpenClipboardPatiently()) return;
    EmptyClipboard();
    CloseClipboard();
}

std::string ClipboardText() {
    if (!OpenClipboardPatiently()) return "<clipboard not opened>";
    std::string text = "<no CF_TEXT>";
    HANDLE data = GetClipboardData(CF_TEXT);
    if (const char* bytes = data ? static_cast<const char*>(GlobalLock(data)) : nullptr) {
        text = bytes;
        GlobalUnlock(data);
    }
    CloseClipboard();
    return text;
}

bool AnswerBox(HWND box) {
    HWND button = FindWindowExA(box, nullptr, "Button", nullptr);
    if (!button) return false;
    PostMessageA(button, BM_CLICK, 0, 0);
    return true;
}

WatchedProcess::WatchedProcess(const std::string& program, const std::string& commandLine) {
    std::string command = commandLine;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    started = CreateProcessA(program.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info) != 0;
}

WatchedProcess::~WatchedProcess() {
    if (!started) return;
    if (WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(info.hProcess, 99);
        WaitForSingleObject(info.hProcess, EXIT_TIMEOUT_MS);
    }
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
}

HWND WatchedProcess::WaitForWindow(const char* className, DWORD timeout) {
    if (!started) return nullptr;
    for (DWORD waited = 0; waited < timeout; waited += POLL_MS) {
        WindowSearch search = {info.dwProcessId, className, nullptr};
        EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found) return search.found;
        if (WaitForSingleObject(info.hProcess, POLL_MS) == WAIT_OBJECT_0) return nullptr;
    }
    return nullptr;
}

DWORD WatchedProcess::WaitForExit(DWORD timeout) {
    if (!started || WaitForSingleObject(info.hProcess, timeout) != WAIT_OBJECT_0) return STILL_ACTIVE;
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(info.hProcess, &code);
    return code;
}

// The message table as a user reads it, every row; the last row stands for any code outside the table.
const FaultText FAULT_TEXTS[FAULT_TEXT_COUNT] = {
    {0xC0000005, "Invalid memory access"},
    {0xC000008C, "Array bounds exceeded"},
    {0x80000003, "Debugger breakpoint reached"},
    {0x80000002, "Misaligned data access"},
    {0xC000008D, "Denormal floating-point operand"},
    {0xC000008E, "Division by zero (floating-point)"},
    {0xC000008F, "Inexact floating-point result"},
    {0xC0000090, "Invalid floating-point operation"},
    {0xC0000091, "Floating-point overflow (exponent to great)"},
    {0xC0000092, "Floating-point stack overflow or underflow"},
    {0xC0000093, "Floating-point underflow (exponent too small)"},
    {0xC000001D, "Illegal instruction"},
    {0xC0000006, "Memory page error"},
    {0xC0000094, "Division by zero "},
    {0xC0000095, "Integer overflow"},
    {0xC0000026, "Exception handler returned unknown value"},
    {0xC0000025, "Exception handler tried to continue after non-continuable exception"},
    {0xC0000096, "Privileged instruction"},
    {0x80000004, "Single step trap"},
    {0xC00000FD, "Stack overflow"},
    {0x20000001, "Unknown error code"},
};

const char* TextOf(DWORD code) {
    for (const FaultText& row : FAULT_TEXTS)
        if (row.code == code) return row.text;
    return "Unknown error code";
}

DWORD PlatformCodeOf(LPTHREAD_START_ROUTINE fault) {
    probe_code = 0;
    void* handler = AddVectoredExceptionHandler(1, NoteProbeFault);
    HANDLE thread = CreateThread(nullptr, 0, fault, nullptr, CREATE_SUSPENDED, &probe_thread);
    if (thread) {
        ResumeThread(thread);
        WaitForSingleObject(thread, EXIT_TIMEOUT_MS);
        CloseHandle(thread);
    }
    RemoveVectoredExceptionHandler(handler);
    return probe_code;
}

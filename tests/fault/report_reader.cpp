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

// Test helpers: the core child program's path, scratch files, running a child and reading its output file.
// Contract: header-only, used by the core tests; every wait is bounded.
#pragma once

#include <windows.h>
#include <string.h>

// The build passes the child program's path as the host sees it; Wine shows the host's root as drive Z.
inline bool ChildProgramPath(char* path) {
    const char* built = CORE_CHILD_PROGRAM;
    size_t length = strlen(built);
    if (length + 3 > MAX_PATH) return false;
    char* out = path;
    if (built[0] == '/') {
        *out++ = 'Z';
        *out++ = ':';
    }
    for (const char* in = built; *in; ++in) *out++ = *in == '/' ? '\\' : *in;
    *out = 0;
    return true;
}

inline bool ScratchFileName(char* name) {
    char folder[MAX_PATH];
    if (!GetTempPathA(sizeof(folder), folder)) return false;
    return GetTempFileNameA(folder, "brv", 0, name) != 0;
}

// Exit code of the child, or -1 if it could not be started or did not end within the time limit.
inline long long RunChild(const char* applicationName, const char* commandLine, DWORD timeLimit = 60000) {
    char line[3 * MAX_PATH];
    strncpy(line, commandLine, sizeof(line) - 1);
    line[sizeof(line) - 1] = 0;
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(applicationName, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return -1;
    CloseHandle(process.hThread);
    long long result = -1;
    if (WaitForSingleObject(process.hProcess, timeLimit) == WAIT_OBJECT_0) {
        DWORD code;
        if (GetExitCodeProcess(process.hProcess, &code)) result = code;
    } else {
        TerminateProcess(process.hProcess, 99);
    }
    CloseHandle(process.hProcess);
    return result;
}

inline bool ReadWholeFile(const char* name, char* text, DWORD size) {
    HANDLE file = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD read = 0;
    BOOL ok = ReadFile(file, text, size - 1, &read, nullptr);
    CloseHandle(file);
    text[ok ? read : 0] = 0;
    return ok != 0;
}

// Helpers of the core tests: bounded waits, a fresh thread, scratch folders, file contents.
// Contract: header-only; core_test starts the runtime once, before all tests; every wait has a time limit.
#pragma once

#include <limits.h>
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include <string>

#include <gtest/gtest.h>

template <typename Condition>
bool WaitUntil(Condition condition) {
    for (DWORD begin = GetTickCount(); !condition(); Sleep(5))
        if (GetTickCount() - begin > 20000) return false;
    return true;
}

// Runs body on a new thread, whose builder is fresh (capacity 16, position 0).
template <typename Body>
void OnThread(Body body) {
    struct Call {
        static DWORD WINAPI Run(void* argument) { return (*static_cast<Body*>(argument))(), 0; }
    };
    HANDLE thread = CreateThread(nullptr, 0, Call::Run, &body, 0, nullptr);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 30000));
    CloseHandle(thread);
}

// Whole file as seen from outside the object that writes it; "(missing)" if it cannot be opened.
inline std::string Contents(const std::string& path) {
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) return "(missing)";
    std::string text;
    for (int c; (c = fgetc(file)) != EOF;) text += static_cast<char>(c);
    fclose(file);
    return text;
}

inline void RemoveTree(const std::string& folder) {
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &entry);
    for (BOOL more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileA(find, &entry)) {
        std::string path = folder + "\\" + entry.cFileName;
        if (entry.cFileName[0] == '.') continue;  // ".", ".." (the tests make no other dot names)
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(path);
        else DeleteFileA(path.c_str());
    }
    FindClose(find);
    RemoveDirectoryA(folder.c_str());
}

// A new empty folder under the temporary folder.
inline std::string NewScratchFolder() {
    static int counter;
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string folder = temp + ("brv_core_" + std::to_string(GetCurrentProcessId())) + "_" + std::to_string(++counter);
    return RemoveTree(folder), CreateDirectoryA(folder.c_str(), nullptr), folder;
}

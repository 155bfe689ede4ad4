// Helpers of the core tests: bounded waits, a fresh thread, scratch folders.
// Contract: header-only; core_test starts the runtime once, before all tests; every wait has a time limit.
#pragma once

#include <limits.h>
#include <string.h>
#include <windows.h>

#include <gtest/gtest.h>

#include "tests/support/files.h"

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

// A new empty folder under the temporary folder.
inline std::string NewScratchFolder() {
    static int counter;
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string folder = temp + ("brv_core_" + std::to_string(GetCurrentProcessId())) + "_" + std::to_string(++counter);
    return RemoveTree(folder), CreateDirectoryA(folder.c_str(), nullptr), folder;
}

// Test helpers of the window runtime: the runtime started once per test program, bounded waits, event draining, helper threads and key input.
// Contract: header-only; every wait is a poll with a time limit, never a bare sleep.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include "core/frame.h"
#include "ui/runtime.h"
#include "ui/window.h"

namespace ui_test {

class WindowRuntimeEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        PlugWindowRuntime();
        StartRuntime();
    }
};

inline ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new WindowRuntimeEnvironment);

const DWORD WAIT_LIMIT = 5000;

// Polls condition every 10 ms, handling this thread's messages through the event stream meanwhile when pump is set.
template <typename Condition>
bool WaitFor(Condition condition, bool pump = false, DWORD limit = WAIT_LIMIT) {
    DWORD begin = GetTickCount();
    for (;;) {
        if (condition()) return true;
        if (GetTickCount() - begin > limit) return false;
        if (pump) FetchEvent(10);
        else Sleep(10);
    }
}

// Takes everything the thread has: queued events and pending messages.
inline void DrainEvents() {
    for (int round = 0; round < 10000; ++round) {
        if (PollEvent() == 0 && PollEvent() == 0) return;
    }
}

// Fetches events until one with this code (and source, if given) arrives; false after the time limit.
inline bool FetchUntil(int code, int source = -1, DWORD limit = WAIT_LIMIT) {
    DWORD begin = GetTickCount();
    while (GetTickCount() - begin <= limit) {
        int event = FetchEvent(20);
        if (event == code && (source == -1 || EventSourceGadget() == source)) return true;
    }
    return false;
}

// Runs body on a helper thread; Join waits for it with a limit.
class HelperThread {
public:
    template <typename Body>
    explicit HelperThread(Body* body) {
        thread = CreateThread(nullptr, 0, Run<Body>, body, 0, nullptr);
    }
    ~HelperThread() { Join(); }
    bool Join(DWORD limit = 20000) {
        if (!thread) return true;
        bool ended = WaitForSingleObject(thread, limit) == WAIT_OBJECT_0;
        CloseHandle(thread);
        thread = nullptr;
        return ended;
    }

private:
    template <typename Body>
    static DWORD WINAPI Run(void* argument) {
        (*static_cast<Body*>(argument))();
        return 0;
    }
    HANDLE thread;
};

inline void KeyInput(INPUT* input, WORD key, bool up) {
    *input = {};
    input->type = INPUT_KEYBOARD;
    input->ki.wVk = key;
    input->ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
}

// Presses a key through the platform's input queue, with Shift held when shift is set.
inline void PressKey(WORD key, bool shift = false) {
    INPUT inputs[4];
    int count = 0;
    if (shift) KeyInput(&inputs[count++], VK_SHIFT, false);
    KeyInput(&inputs[count++], key, false);
    KeyInput(&inputs[count++], key, true);
    if (shift) KeyInput(&inputs[count++], VK_SHIFT, true);
    SendInput(count, inputs, sizeof(INPUT));
}

// Makes window the thread's active, foreground window and waits until the platform agrees.
inline bool BringToFront(HWND window) {
    SetForegroundWindow(window);
    SetActiveWindow(window);
    return WaitFor([&] { return GetActiveWindow() == window && GetForegroundWindow() == window; }, true);
}

}  // namespace ui_test

// Tests of the process frame: thread-end callbacks and their watchers.
// Contract: starts the runtime once for all core tests.
#include "core/frame.h"

#include <tlhelp32.h>

#include "tests/core/core_test.h"

static int ProcessThreadCount() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry = {sizeof entry};
    int count = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        count += entry.th32OwnerProcessID == GetCurrentProcessId();
    CloseHandle(snapshot);
    return count;
}

static int quietThreadCount;  // the program's threads while no thread-end watcher lives
class Runtime : public ::testing::Environment {
    void SetUp() override { StartRuntime(), quietThreadCount = ProcessThreadCount(); }
};
static ::testing::Environment* const runtime = ::testing::AddGlobalTestEnvironment(new Runtime);

static HANDLE thread;
static std::string calls;  // one letter per callback: its argument, in upper case if its thread had ended by then
static void Note(void* argument) {
    calls += static_cast<char>(reinterpret_cast<INT_PTR>(argument) - (WaitForSingleObject(thread, 0) ? 0 : 0x20));
}
static volatile LONG registered;
static DWORD WINAPI Register(void* release) {
    AtThreadEnd(Note, reinterpret_cast<void*>('a'));
    AtThreadEnd(Note, reinterpret_cast<void*>('b'));
    InterlockedIncrement(&registered);
    return WaitForSingleObject(release, 60000);  // the callbacks wait for the thread's end, not its registration
}

// The callbacks of a thread run after its end, newest first. A watcher watches 62 threads; the 63rd starts a
// second one; a watcher ends with the last of its threads.
TEST(Frame, ThreadEndCallbacksAndWatchers) {
    ASSERT_TRUE(WaitUntil([] { return ProcessThreadCount() == quietThreadCount; })) << "earlier watchers still live";
    const int threadsBefore = quietThreadCount;
    HANDLE releaseFirst = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE releaseLast = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE threads[63];
    for (int i = 0; i < 63; ++i) {
        threads[i] = thread = CreateThread(nullptr, 0, Register, i < 62 ? releaseFirst : releaseLast, 0, nullptr);
        if (i == 61) ASSERT_TRUE(WaitUntil([] { return registered == 62; }));
    }
    ASSERT_TRUE(WaitUntil([] { return registered == 63; }));
    EXPECT_EQ(threadsBefore + 63 + 2, ProcessThreadCount()) << "63 threads and two watchers";
    SetEvent(releaseLast);
    EXPECT_TRUE(WaitUntil([&] { return calls.size() == 2 && ProcessThreadCount() == threadsBefore + 62 + 1; }))
        << "the second watcher ended with its one thread";
    EXPECT_EQ("BA", calls) << "the last thread's callbacks, newest first, after its end";
    SetEvent(releaseFirst);
    EXPECT_TRUE(WaitUntil([&] { return calls.size() == 126 && ProcessThreadCount() == threadsBefore; }))
        << "the first watcher ended with its 62 threads";
    for (HANDLE each : threads) CloseHandle(each);
}

// Tests of the process frame: heaps, thread-end callbacks and their watchers, and the end of the program.
// Contract: runs under the real platform; waits poll with a time limit; the end sequence runs in child processes.
#include <windows.h>
#include <string.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include "core/frame.h"
#include "core/strings.h"
#include "tests/core/child_process.h"

namespace {

class RuntimeEnvironment : public ::testing::Environment {
public:
    void SetUp() override { StartRuntime(); }
};
::testing::Environment* const runtimeEnvironment = ::testing::AddGlobalTestEnvironment(new RuntimeEnvironment);

template <typename Condition>
bool WaitUntil(Condition condition, DWORD timeLimit = 20000) {
    DWORD begin = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - begin > timeLimit) return false;
        Sleep(10);
    }
    return true;
}

int ProcessThreadCount() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    THREADENTRY32 entry;
    entry.dwSize = sizeof(entry);
    int count = 0;
    DWORD self = GetCurrentProcessId();
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == self) ++count;
    CloseHandle(snapshot);
    return count;
}

void ExpectNoWatchers() {
    EXPECT_TRUE(WaitUntil([] { return ThreadEndWatcherCount() == 0; })) << "watchers of earlier tests still live";
}

// --- Two callbacks of one thread ---

struct OrderRecord {
    HANDLE thread;
    volatile LONG calls;
    int order[4];
    bool ranAfterThreadEnd[4];
};
OrderRecord orderRecord;

void RecordCall(void* argument) {
    LONG call = InterlockedIncrement(&orderRecord.calls) - 1;
    if (call < 4) {
        orderRecord.order[call] = static_cast<int>(reinterpret_cast<INT_PTR>(argument));
        orderRecord.ranAfterThreadEnd[call] = WaitForSingleObject(orderRecord.thread, 0) == WAIT_OBJECT_0;
    }
}

DWORD WINAPI RegisterTwo(void*) {
    AtThreadEnd(RecordCall, reinterpret_cast<void*>(1));
    AtThreadEnd(RecordCall, reinterpret_cast<void*>(2));
    Sleep(50);  // the callbacks must wait for the thread's end, not for the registration
    return 0;
}

TEST(ThreadEnd, TwoCallbacksOfOneThreadRunNewestFirstAfterItEnded) {
    ExpectNoWatchers();
    memset(&orderRecord, 0, sizeof(orderRecord));
    HANDLE thread = CreateThread(nullptr, 0, RegisterTwo, nullptr, CREATE_SUSPENDED, nullptr);
    ASSERT_NE(thread, nullptr);
    orderRecord.thread = thread;
    ResumeThread(thread);
    ASSERT_TRUE(WaitUntil([] { return orderRecord.calls >= 2; }));
    Sleep(100);  // room for a wrong third call to show up
    EXPECT_EQ(orderRecord.calls, 2);
    EXPECT_EQ(orderRecord.order[0], 2);
    EXPECT_EQ(orderRecord.order[1], 1);
    EXPECT_TRUE(orderRecord.ranAfterThreadEnd[0]);
    EXPECT_TRUE(orderRecord.ranAfterThreadEnd[1]);
    EXPECT_TRUE(WaitUntil([] { return ThreadEndWatcherCount() == 0; }));
    CloseHandle(thread);
}

// --- Watchers: 62 threads each, a new one for the 63rd, ending with their last thread ---

const int WATCHED = 63;
struct WatchRecord {
    HANDLE releaseFirst;   // the first 62 threads wait for it
    HANDLE releaseLast;    // the 63rd waits for it
    volatile LONG registered;
    volatile LONG called;
};
WatchRecord watchRecord;

void CountCall(void*) {
    InterlockedIncrement(&watchRecord.called);
}

DWORD WINAPI RegisterAndWait(void* argument) {
    AtThreadEnd(CountCall, nullptr);
    InterlockedIncrement(&watchRecord.registered);
    WaitForSingleObject(argument, 60000);
    return 0;
}

TEST(ThreadEnd, The63rdThreadStartsASecondWatcherAndWatchersEndWithTheirThreads) {
    ExpectNoWatchers();
    int threadsBefore = ProcessThreadCount();
    memset(&watchRecord, 0, sizeof(watchRecord));
    watchRecord.releaseFirst = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    watchRecord.releaseLast = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE threads[WATCHED];
    for (int i = 0; i < WATCHED - 1; ++i) {
        threads[i] = CreateThread(nullptr, 0, RegisterAndWait, watchRecord.releaseFirst, 0, nullptr);
        ASSERT_NE(threads[i], nullptr);
    }
    ASSERT_TRUE(WaitUntil([] { return watchRecord.registered == WATCHED - 1; }));
    EXPECT_EQ(ThreadEndWatcherCount(), 1) << "62 threads fit one watcher";
    EXPECT_EQ(ProcessThreadCount(), threadsBefore + WATCHED - 1 + 1);

    threads[WATCHED - 1] = CreateThread(nullptr, 0, RegisterAndWait, watchRecord.releaseLast, 0, nullptr);
    ASSERT_NE(threads[WATCHED - 1], nullptr);
    ASSERT_TRUE(WaitUntil([] { return watchRecord.registered == WATCHED; }));
    EXPECT_EQ(ThreadEndWatcherCount(), 2);
    EXPECT_EQ(watchRecord.called, 0);

    // The second watcher's only thread ends: that watcher ends, the full one stays.
    SetEvent(watchRecord.releaseLast);
    EXPECT_TRUE(WaitUntil([] { return watchRecord.called == 1 && ThreadEndWatcherCount() == 1; }));
    EXPECT_TRUE(WaitUntil([&] { return ProcessThreadCount() == threadsBefore + WATCHED - 1 + 1; }))
        << "the second watcher thread ended";

    SetEvent(watchRecord.releaseFirst);
    EXPECT_TRUE(WaitUntil([] { return watchRecord.called == WATCHED; }));
    EXPECT_TRUE(WaitUntil([] { return ThreadEndWatcherCount() == 0; }));
    EXPECT_TRUE(WaitUntil([&] { return ProcessThreadCount() == threadsBefore; })) << "the first watcher thread ended";
    for (HANDLE thread : threads) CloseHandle(thread);
    CloseHandle(watchRecord.releaseFirst);
    CloseHandle(watchRecord.releaseLast);
}

DWORD WINAPI UseTexts(void* release) {
    TextBuilder text;
    text.Add("Thread ").AddNumber(GetCurrentThreadId());
    WaitForSingleObject(release, 60000);
    return 0;
}

TEST(ThreadEnd, AThreadUsingTextsHasItsBuilderReleasedAfterItEnds) {
    ExpectNoWatchers();
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = CreateThread(nullptr, 0, UseTexts, release, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_TRUE(WaitUntil([] { return ThreadEndWatcherCount() == 1; })) << "the builder's release is registered";
    SetEvent(release);
    EXPECT_EQ(WaitForSingleObject(thread, 20000), WAIT_OBJECT_0);
    EXPECT_TRUE(WaitUntil([] { return ThreadEndWatcherCount() == 0; }));
    CloseHandle(thread);
    CloseHandle(release);
}

// --- Heaps, instance, source line ---

TEST(Frame, KeepsTheModuleHandleAndAnApplicationHeapOfItsOwn) {
    EXPECT_EQ(ProgramInstance(), GetModuleHandleA(nullptr));
    ASSERT_NE(ApplicationHeap(), nullptr);
    EXPECT_NE(ApplicationHeap(), GetProcessHeap());
    void* block = HeapAlloc(ApplicationHeap(), 0, 100);
    EXPECT_NE(block, nullptr);
    EXPECT_TRUE(HeapFree(ApplicationHeap(), 0, block));
}

// The file's number goes into the top byte, the line into the low 24 bits.
const int SOURCE_FILE = 2;

TEST(Frame, SourceLineStoresTheStatementsLineAndFile) {
    SOURCE_LINE; int line = __LINE__;
    EXPECT_EQ(CurrentSourceLine, 0x02000000 | line);
}

// --- The end of the program, in child processes ---

TEST(EndProgram, RunsTheStepsInOrderWritesOpenFilesAndExitsWithZero) {
    char child[MAX_PATH], steps[MAX_PATH], buffered[MAX_PATH];
    ASSERT_TRUE(ChildProgramPath(child));
    ASSERT_TRUE(ScratchFileName(steps));
    ASSERT_TRUE(ScratchFileName(buffered));
    char commandLine[3 * MAX_PATH + 40];
    strcpy(commandLine, "core_frame_child end ");
    strcat(commandLine, steps);
    strcat(commandLine, " ");
    strcat(commandLine, buffered);
    EXPECT_EQ(RunChild(child, commandLine), 0);
    char text[256];
    ASSERT_TRUE(ReadWholeFile(steps, text, sizeof(text)));
    EXPECT_STREQ(text, "ABCDEFGH|0123456");
    ASSERT_TRUE(ReadWholeFile(buffered, text, sizeof(text)));
    EXPECT_STREQ(text, "buffered data");
    DeleteFileA(steps);
    DeleteFileA(buffered);
}

TEST(EndProgram, ExitsWithZeroFromASecondThread) {
    char child[MAX_PATH];
    ASSERT_TRUE(ChildProgramPath(child));
    EXPECT_EQ(RunChild(child, "core_frame_child end-thread"), 0);
}

TEST(EndProgram, CalledAgainFromAnEndStepLeavesAtOnceWithZero) {
    char child[MAX_PATH], steps[MAX_PATH];
    ASSERT_TRUE(ChildProgramPath(child));
    ASSERT_TRUE(ScratchFileName(steps));
    char commandLine[2 * MAX_PATH];
    strcpy(commandLine, "core_frame_child end-again ");
    strcat(commandLine, steps);
    EXPECT_EQ(RunChild(child, commandLine), 0);
    char text[64];
    ASSERT_TRUE(ReadWholeFile(steps, text, sizeof(text)));
    EXPECT_STREQ(text, "05");
    DeleteFileA(steps);
}

}  // namespace

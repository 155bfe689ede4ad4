// Process frame: module handle and application heap, the fixed start and end sequences, and the thread-end watchers.
// Contract: see frame.h; watcher lists change only under one lock, callbacks run outside it after their thread has ended.
#include "core/frame.h"

#include "core/files.h"
#include "core/registry.h"
#include "core/strings.h"

volatile int CurrentSourceLine;

namespace {

HINSTANCE programInstance;
HANDLE applicationHeap;
bool librarySearchIsSystemOnly;
bool applicationHeapIsOwn;
bool runtimeStarted;
volatile LONG endingThread;  // id of the thread running EndProgram, 0 before

void (*startSteps[START_STEP_COUNT])();
void (*endSteps[END_STEP_COUNT])();

// --- Thread-end watchers ---

struct CallbackNode {
    CallbackNode* next;
    void (*callback)(void* argument);
    void* argument;
};
static_assert(sizeof(CallbackNode) == 12, "callback node is three 32-bit fields");

const int APPLICATION_HEAP_INITIAL_SIZE = 4096;
const int WATCHER_STACK_SIZE = 4096;
const DWORD FAILED_WAIT_PAUSE_MS = 10;
const int WATCHER_SLOTS = 64;
const int WATCHER_HANDLE_LIMIT = 63;  // semaphore + 62 threads, below MAXIMUM_WAIT_OBJECTS

// Slot 0 holds the wake-up semaphore, slots 1 .. count - 1 the watched threads.
struct ThreadEndWatcher {
    ThreadEndWatcher* next;
    ThreadEndWatcher* previous;
    HANDLE semaphore;
    int count;
    HANDLE handles[WATCHER_SLOTS];
    DWORD threadIds[WATCHER_SLOTS];
    CallbackNode* callbacks[WATCHER_SLOTS];
};
static_assert(sizeof(ThreadEndWatcher) == 784, "watcher record size of the 32-bit program");

ThreadEndWatcher* watchers;  // newest first
CRITICAL_SECTION watcherLock;
volatile LONG watcherLockState;  // 0 untouched, 1 being initialised, 2 ready

void ReadyWatcherLock() {
    if (watcherLockState == 2) return;
    if (InterlockedCompareExchange(&watcherLockState, 1, 0) == 0) {
        InitializeCriticalSection(&watcherLock);
        InterlockedExchange(&watcherLockState, 2);
        return;
    }
    while (watcherLockState != 2) Sleep(0);
}

DWORD WINAPI WatchThreads(void* record) {
    ThreadEndWatcher* watcher = static_cast<ThreadEndWatcher*>(record);
    for (;;) {
        // Only this thread removes slots, so the first count slots stay as they are during the wait;
        // AtThreadEnd appends behind them and wakes us through the semaphore.
        EnterCriticalSection(&watcherLock);
        DWORD count = static_cast<DWORD>(watcher->count);
        LeaveCriticalSection(&watcherLock);

        DWORD result = WaitForMultipleObjects(count, watcher->handles, FALSE, INFINITE);
        DWORD index;
        if (result < WAIT_OBJECT_0 + count) {
            index = result - WAIT_OBJECT_0;
        } else if (result >= WAIT_ABANDONED_0 && result < WAIT_ABANDONED_0 + count) {
            index = result - WAIT_ABANDONED_0;
        } else {
            Sleep(FAILED_WAIT_PAUSE_MS);  // a failed wait is repeated, but not in a busy loop
            continue;
        }
        if (index == 0) continue;  // the set has changed

        bool finished = false;
        EnterCriticalSection(&watcherLock);
        CallbackNode* list = watcher->callbacks[index];
        CloseHandle(watcher->handles[index]);
        for (int slot = static_cast<int>(index); slot + 1 < watcher->count; ++slot) {
            watcher->handles[slot] = watcher->handles[slot + 1];
            watcher->threadIds[slot] = watcher->threadIds[slot + 1];
            watcher->callbacks[slot] = watcher->callbacks[slot + 1];
        }
        watcher->count -= 1;
        watcher->handles[watcher->count] = nullptr;
        watcher->threadIds[watcher->count] = 0;
        watcher->callbacks[watcher->count] = nullptr;
        if (watcher->count == 1) {
            CloseHandle(watcher->semaphore);
            if (watcher->previous) watcher->previous->next = watcher->next;
            else watchers = watcher->next;
            if (watcher->next) watcher->next->previous = watcher->previous;
            HeapFree(applicationHeap, 0, watcher);
            finished = true;
        }
        LeaveCriticalSection(&watcherLock);

        while (list) {
            CallbackNode* next = list->next;
            list->callback(list->argument);
            HeapFree(applicationHeap, 0, list);
            list = next;
        }
        if (finished) return 0;
    }
}

// Callers hold the lock. A slot whose thread has ended but is not yet taken by its watcher does not count:
// the platform may already have given that thread's id to a new thread.
bool AddToKnownThread(DWORD threadId, CallbackNode* node) {
    for (ThreadEndWatcher* watcher = watchers; watcher; watcher = watcher->next) {
        for (int slot = 1; slot < watcher->count; ++slot) {
            if (watcher->threadIds[slot] != threadId) continue;
            if (WaitForSingleObject(watcher->handles[slot], 0) != WAIT_TIMEOUT) continue;
            node->next = watcher->callbacks[slot];
            watcher->callbacks[slot] = node;
            return true;
        }
    }
    return false;
}

bool AddToWatcherWithRoom(HANDLE thread, DWORD threadId, CallbackNode* node) {
    for (ThreadEndWatcher* watcher = watchers; watcher; watcher = watcher->next) {
        if (watcher->count >= WATCHER_HANDLE_LIMIT) continue;
        int slot = watcher->count;
        node->next = nullptr;
        watcher->handles[slot] = thread;
        watcher->threadIds[slot] = threadId;
        watcher->callbacks[slot] = node;
        watcher->count += 1;
        ReleaseSemaphore(watcher->semaphore, 1, nullptr);
        return true;
    }
    return false;
}

bool StartWatcher(HANDLE thread, DWORD threadId, CallbackNode* node) {
    ThreadEndWatcher* watcher =
        static_cast<ThreadEndWatcher*>(HeapAlloc(applicationHeap, HEAP_ZERO_MEMORY, sizeof(ThreadEndWatcher)));
    if (!watcher) return false;
    watcher->semaphore = CreateSemaphoreA(nullptr, 0, 1, nullptr);
    if (!watcher->semaphore) {
        HeapFree(applicationHeap, 0, watcher);
        return false;
    }
    node->next = nullptr;
    watcher->handles[0] = watcher->semaphore;
    watcher->handles[1] = thread;
    watcher->threadIds[1] = threadId;
    watcher->callbacks[1] = node;
    watcher->count = 2;
    // The new thread reads the record only under the lock, which the caller holds until the record is linked.
    DWORD watcherId;
    HANDLE watcherThread = CreateThread(nullptr, WATCHER_STACK_SIZE, WatchThreads, watcher, 0, &watcherId);
    if (!watcherThread) {
        CloseHandle(watcher->semaphore);
        HeapFree(applicationHeap, 0, watcher);
        return false;
    }
    CloseHandle(watcherThread);  // it ends by itself; nobody waits for it
    watcher->next = watchers;
    if (watchers) watchers->previous = watcher;
    watchers = watcher;
    return true;
}

// The setup runs with administrator rights, started from a folder such as Downloads: a library of a name it loads
// must come neither from there nor from the working folder. Where the system offers it (Windows 8, 7 with its
// update) the search is the system folder only; elsewhere at least the working folder leaves it. Both calls are
// looked up, so that the program still starts where they are missing.
void RestrictLibrarySearch() {
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    typedef BOOL(WINAPI * SetDefaultDirectories)(DWORD);
    typedef BOOL(WINAPI * SetDirectory)(LPCSTR);
    SetDefaultDirectories setDefault = LibraryFunction<SetDefaultDirectories>(kernel, "SetDefaultDllDirectories");
    librarySearchIsSystemOnly = setDefault && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (librarySearchIsSystemOnly) return;
    SetDirectory setDirectory = LibraryFunction<SetDirectory>(kernel, "SetDllDirectoryA");
    if (setDirectory) setDirectory("");
}

// Junctions, mount points and links that a program without administrator rights made (in Downloads, say) are not
// followed by this process, where the system offers it (Windows 11 22H2 on: the redirection trust policy, number 16);
// looked up, so that the program still starts where it is missing.
void RefuseUntrustedRedirections() {
    typedef BOOL(WINAPI * SetPolicy)(int, void*, SIZE_T);
    const int REDIRECTION_TRUST_POLICY = 16;
    DWORD enforce = 1;  // EnforceRedirectionTrust
    SetPolicy setPolicy = LibraryFunction<SetPolicy>(GetModuleHandleA("kernel32.dll"), "SetProcessMitigationPolicy");
    if (setPolicy) setPolicy(REDIRECTION_TRUST_POLICY, &enforce, sizeof enforce);
}

}  // namespace

HMODULE LoadSystemLibrary(const char* fileName) {
    char path[MAX_PATH];
    UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length + 1 + lstrlenA(fileName) >= MAX_PATH) return nullptr;
    path[length] = '\\';
    lstrcpyA(path + length + 1, fileName);
    // Without a search limited to the system folder, the library's own dependencies are looked for beside it first.
    return LoadLibraryExA(path, nullptr, librarySearchIsSystemOnly ? 0 : LOAD_WITH_ALTERED_SEARCH_PATH);
}

void PlugStartStep(StartStep slot, void (*step)()) {
    if (slot >= 0 && slot < START_STEP_COUNT) startSteps[slot] = step;
}

void PlugEndStep(EndStep slot, void (*step)()) {
    if (slot >= 0 && slot < END_STEP_COUNT) endSteps[slot] = step;
}

void StartRuntime() {
    if (runtimeStarted) return;
    runtimeStarted = true;
    RestrictLibrarySearch();  // before any step can load a library
    RefuseUntrustedRedirections();
    // The application's globals are plain static storage, zero from the program's load on; this runs once,
    // before the first application statement, so they are still zero and need no clearing here.
    programInstance = GetModuleHandleA(nullptr);
    applicationHeap = HeapCreate(0, APPLICATION_HEAP_INITIAL_SIZE, 0);
    applicationHeapIsOwn = applicationHeap != nullptr;
    if (!applicationHeap) applicationHeap = GetProcessHeap();  // still runs, just without a heap of its own

    StartStrings();
    StartRegistry();
    StartFiles();
    for (int slot = 0; slot < START_STEP_COUNT; ++slot)
        if (startSteps[slot]) startSteps[slot]();
}

void EndProgram() {
    DWORD self = GetCurrentThreadId();
    LONG first = InterlockedCompareExchange(&endingThread, static_cast<LONG>(self), 0);
    if (first != 0) {
        // Entered again from an end step of this thread: leave at once. Another thread is already
        // ending the process: its ExitProcess ends this one too.
        if (static_cast<DWORD>(first) == self) ExitProcess(0);
        for (;;) Sleep(INFINITE);
    }
    for (int slot = 0; slot < END_STEP_COUNT; ++slot)
        if (endSteps[slot]) endSteps[slot]();
    EndFiles();
    // Watchers keep their records and nodes in the application heap: hold them off it until the process is gone.
    if (watcherLockState == 2) EnterCriticalSection(&watcherLock);
    if (applicationHeapIsOwn) HeapDestroy(applicationHeap);
    ExitProcess(0);
}

void AtThreadEnd(void (*callback)(void* argument), void* argument) {
    if (!applicationHeap || !callback) return;  // before the frame has started there is nowhere to keep nodes
    CallbackNode* node = static_cast<CallbackNode*>(HeapAlloc(applicationHeap, 0, sizeof(CallbackNode)));
    if (!node) return;
    node->next = nullptr;
    node->callback = callback;
    node->argument = argument;

    ReadyWatcherLock();
    EnterCriticalSection(&watcherLock);
    DWORD threadId = GetCurrentThreadId();
    bool registered = AddToKnownThread(threadId, node);
    if (!registered) {
        HANDLE thread = nullptr;
        if (DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &thread, SYNCHRONIZE, FALSE,
                            0)) {
            registered = AddToWatcherWithRoom(thread, threadId, node) || StartWatcher(thread, threadId, node);
            if (!registered) CloseHandle(thread);
        }
    }
    LeaveCriticalSection(&watcherLock);
    if (!registered) HeapFree(applicationHeap, 0, node);
}

HANDLE ApplicationHeap() { return applicationHeap; }

HINSTANCE ProgramInstance() { return programInstance; }

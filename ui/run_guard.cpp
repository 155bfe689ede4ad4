// One run per working folder: the claim's section, the check of its holder, the holder brought forward.
// Contract: see run_guard.h; every wait here is bounded (RUN_WINDOW_WAIT_MS in all).
#include "ui/run_guard.h"

#include <windows.h>

#include "core/files.h"

namespace {

// What the holder of a working folder leaves in its section: the process and the thread whose windows it shows.
struct RunRecord {
    DWORD processId;
    DWORD threadId;
};

// How long a second start waits for a genuine holder's window (the holder may still build it, or be ending), and
// how often it looks. A holder writes its record right after making the section: an empty one is read again only for
// RUN_RECORD_WAIT_MS. A holder's window that does not answer within HOLDER_ANSWER_MS is taken for a hung one.
const DWORD RUN_WINDOW_WAIT_MS = 10000;
const DWORD RUN_LOOK_STEP_MS = 50;
const DWORD RUN_RECORD_WAIT_MS = 200;
const UINT HOLDER_ANSWER_MS = 2000;
// The longest run name taken, and room for it with the working folder's identity and the namespace in front.
const int RUN_NAME_LIMIT = 64;
const int RUN_SECTION_NAME_SIZE = RUN_NAME_LIMIT + 48;

// "Global\<name>-<identity>" of the working folder (see IdentifyFolder); 0 where it has none. Only the namespace of
// all sessions: the elevated setup never falls back to the session's, where a program without administrator rights
// can make the name first.
int RunSectionName(const char* runName, char* sectionName) {
    FolderIdentity folder;
    if (lstrlenA(runName) > RUN_NAME_LIMIT || !IdentifyFolder(".", &folder)) return 0;
    wsprintfA(sectionName, "Global\\%s-%08lX%08lX%08lX", runName, folder.volume, folder.indexHigh, folder.indexLow);
    return 1;
}

// 1 when the process still runs and runs the image file this process runs: a name or a record that another program
// made names no such process. Compared by the platform's own full path of either image.
int RunsThisProgram(DWORD processId) {
    if (!processId || processId == GetCurrentProcessId()) return 0;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, processId);
    if (!process) return 0;
    wchar_t own[MAX_PATH], other[MAX_PATH];
    DWORD ownLength = MAX_PATH, otherLength = MAX_PATH;
    int same = WaitForSingleObject(process, 0) == WAIT_TIMEOUT &&
               QueryFullProcessImageNameW(GetCurrentProcess(), 0, own, &ownLength) &&
               QueryFullProcessImageNameW(process, 0, other, &otherLength) && lstrcmpiW(own, other) == 0;
    CloseHandle(process);
    return same;
}

struct HolderWindows {
    DWORD processId;
    HWND main;   // the first shown window with a caption
    HWND front;  // the first of them that takes input: window 0, or the box or picker that disabled it
};

BOOL CALLBACK NoteHolderWindow(HWND window, LPARAM data) {
    HolderWindows* holder = reinterpret_cast<HolderWindows*>(data);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    // Only windows of the process that claimed the folder count, whatever thread the record names; tooltips have
    // no caption.
    if (process != holder->processId || !IsWindowVisible(window) ||
        (GetWindowLongA(window, GWL_STYLE) & WS_CAPTION) != WS_CAPTION)
        return TRUE;
    if (!holder->main) holder->main = window;
    if (!holder->front && IsWindowEnabled(window)) holder->front = window;
    return TRUE;
}

// Brings the holder's window to the front: 1 done; 0 while it shows none; -1 when it does not answer (hung).
int BringHolderForward(const RunRecord& record) {
    HolderWindows holder = {record.processId, nullptr, nullptr};
    EnumThreadWindows(record.threadId, NoteHolderWindow, reinterpret_cast<LPARAM>(&holder));
    if (!holder.main) return 0;
    if (!SendMessageTimeoutA(holder.main, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, HOLDER_ANSWER_MS, nullptr)) return -1;
    if (IsIconic(holder.main)) ShowWindowAsync(holder.main, SW_RESTORE);
    SetForegroundWindow(holder.front ? holder.front : GetLastActivePopup(holder.main));
    return 1;
}

}  // namespace

int ClaimWorkingFolder(const char* name) {
    char sectionName[RUN_SECTION_NAME_SIZE];
    if (!RunSectionName(name, sectionName)) return 1;
    DWORD start = GetTickCount();
    for (;;) {
        SetLastError(ERROR_SUCCESS);
        HANDLE section =
            CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(RunRecord), sectionName);
        bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
        RunRecord record = {};
        RunRecord* view = section ? static_cast<RunRecord*>(MapViewOfFile(section, FILE_MAP_WRITE, 0, 0, 0)) : nullptr;
        if (view && !existed) {
            // Held until the process ends: the section goes with its last handle.
            view->processId = GetCurrentProcessId();
            view->threadId = GetCurrentThreadId();
            UnmapViewOfFile(view);
            return 1;
        }
        if (view) record = *view, UnmapViewOfFile(view);
        // Closed before the next look, so that a holder's section can go when the holder ends.
        if (section) CloseHandle(section);
        DWORD waited = GetTickCount() - start;
        if (!record.processId && waited < RUN_RECORD_WAIT_MS) {
            Sleep(RUN_LOOK_STEP_MS);
            continue;
        }
        // A name held by anything but a running copy of this program, or a holder that shows no window in time or
        // does not answer, never ends a start: it goes on as usual.
        if (!RunsThisProgram(record.processId)) return 1;
        int brought = BringHolderForward(record);
        if (brought) return brought > 0 ? 0 : 1;
        if (waited >= RUN_WINDOW_WAIT_MS) return 1;
        Sleep(RUN_LOOK_STEP_MS);
    }
}

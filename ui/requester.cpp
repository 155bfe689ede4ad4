// Requesters: message box and folder picker bracketed by disabling the thread's other windows; controls and COM start-up.
// Contract: every window disabled on entry is enabled again on return, and only those; the picker's result ends in a backslash or is empty.
#include "ui/requester.h"

#include <commctrl.h>
#include <objbase.h>
#include <shlobj.h>

#include "core/frame.h"
#include "core/strings.h"

namespace {

// A window this program disabled, with the thread that did it; newest at the head.
struct DisabledWindow {
    DisabledWindow* next;
    DisabledWindow* previous;
    DWORD threadId;
    HWND window;
};

typedef LPITEMIDLIST(WINAPI* BrowseForFolderFunction)(LPBROWSEINFOA);
typedef BOOL(WINAPI* PathFromIdListFunction)(LPCITEMIDLIST, LPSTR);

DisabledWindow* disabledWindows;
// Threads may run requesters at the same time; the shared list is changed under this lock.
CRITICAL_SECTION disabledWindowsLock;
int disabledWindowsLockReady;
int comInitialisedByPicker;

void EnsureListLock() {
    if (disabledWindowsLockReady) return;
    InitializeCriticalSection(&disabledWindowsLock);
    disabledWindowsLockReady = 1;
}

BOOL CALLBACK DisableIfOurs(HWND window, LPARAM foreground) {
    if (GetWindowThreadProcessId(window, nullptr) != GetCurrentThreadId()) return TRUE;
    if (!IsWindowVisible(window) || !IsWindowEnabled(window)) return TRUE;
    if (window == reinterpret_cast<HWND>(foreground)) return TRUE;  // the dialog disables its owner itself
    DisabledWindow* node =
        static_cast<DisabledWindow*>(HeapAlloc(ApplicationHeap(), HEAP_ZERO_MEMORY, sizeof(DisabledWindow)));
    if (!node) return TRUE;  // a window that could not be recorded is not disabled: it would stay disabled forever
    EnableWindow(window, FALSE);
    node->threadId = GetCurrentThreadId();
    node->window = window;
    EnterCriticalSection(&disabledWindowsLock);
    node->next = disabledWindows;
    if (disabledWindows) disabledWindows->previous = node;
    disabledWindows = node;
    LeaveCriticalSection(&disabledWindowsLock);
    return TRUE;
}

int CALLBACK BrowseInitHandler(HWND dialog, UINT message, LPARAM, LPARAM data) {
    if (message == BFFM_INITIALIZED && data) SendMessageA(dialog, BFFM_SETSELECTIONA, TRUE, data);
    return 0;
}

// The picker's text: the path with a trailing backslash, empty when nothing usable was chosen.
char* EmptyPickerResult(int start) {
    char* text = ReserveText(MAX_PATH, start);
    text[0] = 0;
    GiveBackText(MAX_PATH);
    return text;
}

// The owner of a requester: the foreground window when it belongs to this process, else none.
HWND RequesterOwner() {
    HWND foreground = GetForegroundWindow();
    if (!foreground) return nullptr;
    DWORD process = 0;
    GetWindowThreadProcessId(foreground, &process);
    return process == GetCurrentProcessId() ? foreground : nullptr;
}

// The bracket around every requester: disable the thread's visible, enabled top-level windows, then re-enable exactly
// those.
void DisableThreadWindows() {
    EnsureListLock();
    EnumWindows(DisableIfOurs, reinterpret_cast<LPARAM>(GetForegroundWindow()));
}

void EnableThreadWindows() {
    EnsureListLock();
    DWORD thread = GetCurrentThreadId();
    EnterCriticalSection(&disabledWindowsLock);
    DisabledWindow* node = disabledWindows;
    while (node) {
        DisabledWindow* next = node->next;
        if (node->threadId == thread) {
            EnableWindow(node->window, TRUE);
            if (node->previous) node->previous->next = node->next;
            else disabledWindows = node->next;
            if (node->next) node->next->previous = node->previous;
            HeapFree(ApplicationHeap(), 0, node);
        }
        node = next;
    }
    LeaveCriticalSection(&disabledWindowsLock);
}

// The picker's initial selection, at most MAX_PATH - 1 characters into buffer (MAX_PATH bytes); one trailing
// backslash is dropped unless the path is a drive root such as C:\.
void TrimInitialPath(const char* path, char* buffer) {
    if (!path) path = "";
    int length = 0;
    while (length < MAX_PATH - 1 && path[length]) {
        buffer[length] = path[length];
        ++length;
    }
    buffer[length] = 0;
    if (length > 3 && buffer[length - 1] == '\\') buffer[length - 1] = 0;  // a drive root such as C:\ keeps it
}

}  // namespace

void InitCommonUi() {
    EnsureListLock();
    InitCommonControls();
    CoInitialize(nullptr);
}

int ShowMessageBox(const char* title, const char* text, int flags) {
    DisableThreadWindows();
    int result = MessageBoxA(RequesterOwner(), text ? text : "", title ? title : "", static_cast<UINT>(flags));
    EnableThreadWindows();
    return result;
}

char* ChooseFolder(const char* title, const char* initialPath, int start) {
    if (!comInitialisedByPicker) {
        comInitialisedByPicker = 1;
        CoInitialize(nullptr);
    }
    HMODULE shell = LoadSystemLibrary("SHELL32.DLL");
    if (!shell) return EmptyPickerResult(start);

    char initial[MAX_PATH];
    TrimInitialPath(initialPath, initial);
    BrowseForFolderFunction browse = LibraryFunction<BrowseForFolderFunction>(shell, "SHBrowseForFolderA");
    PathFromIdListFunction pathFromIdList = LibraryFunction<PathFromIdListFunction>(shell, "SHGetPathFromIDListA");
    if (!browse || !pathFromIdList) {  // a shell without the entry points: nothing is shown
        FreeLibrary(shell);
        return EmptyPickerResult(start);
    }

    BROWSEINFOA browseInfo = {};
    browseInfo.hwndOwner = RequesterOwner();
    browseInfo.lpszTitle = title ? title : "";
    browseInfo.ulFlags = BIF_NEWDIALOGSTYLE;
    browseInfo.lpfn = BrowseInitHandler;
    browseInfo.lParam = reinterpret_cast<LPARAM>(initial);

    DisableThreadWindows();
    LPITEMIDLIST items = browse(&browseInfo);
    EnableThreadWindows();

    int length = 0;
    char* path = nullptr;
    if (items) {
        // One byte more than a full path, for the backslash appended to a path of MAX_PATH - 1 characters.
        path = ReserveText(MAX_PATH + 1, start);
        path[0] = 0;
        pathFromIdList(items, path);
        CoTaskMemFree(items);
        length = TextLength(path);
        if (length > 0 && path[length - 1] != '\\') {
            path[length++] = '\\';
            path[length] = 0;
        }
    }
    FreeLibrary(shell);
    if (length == 0) {
        if (path) GiveBackText(MAX_PATH + 1);
        return path ? path : EmptyPickerResult(start);
    }
    GiveBackText(MAX_PATH + 1 - length);
    return path;
}

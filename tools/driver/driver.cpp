// GUI driver: starts a Windows program and operates its windows from outside, as a person at the keyboard would.
// Contract: see driver.h; every wait polls (50 ms steps, one loop: Poll) against a GetTickCount deadline.
#include "tools/driver/driver.h"

#include <psapi.h>
#include <string.h>

namespace {

const int POLL_MS = 50;
const UINT SEND_TIMEOUT_MS = 10000;  // generous: under the i386 emulator a responsive target took seconds to answer

struct Deadline {
    DWORD start;
    DWORD span;
    explicit Deadline(int timeoutMs) : start(GetTickCount()), span(timeoutMs < 0 ? 0 : (DWORD)timeoutMs) {}
    bool passed() const { return GetTickCount() - start >= span; }
};

// The one polling loop of the waits: `check` answers 1 (there), 0 (not yet) or -1 (never: the process or window is
// gone); it runs at once and then every POLL_MS until the timeout. 1 only when `check` answered 1.
template <class Check>
int Poll(int timeoutMs, Check check) {
    Deadline deadline(timeoutMs);
    for (;;) {
        int state = check();
        if (state) return state > 0;
        if (deadline.passed()) return 0;
        Sleep(POLL_MS);
    }
}

int ClassIs(HWND window, const char* name) {
    char buffer[64];
    if (!GetClassNameA(window, buffer, sizeof buffer)) return 0;
    return lstrcmpiA(buffer, name) == 0;
}

int BelongsTo(HWND window, DWORD processId) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    return owner == processId;
}

// Text stored with the window itself (what DefWindowProc keeps): readable without the owner's cooperation, so it
// also works while the target is busy inside a click handler and does not pump messages.
int StoredText(HWND window, char* buffer, int size) {
    WCHAR wide[4096];
    int length = InternalGetWindowText(window, wide, 4096);
    if (length < 0) length = 0;
    int bytes = WideCharToMultiByte(CP_ACP, 0, wide, length, buffer, size - 1, 0, 0);
    if (bytes < 0) bytes = 0;
    buffer[bytes] = 0;
    return bytes;
}

struct FindTopContext {
    DWORD processId;
    const char* className;  // null: the main window rule
    HWND found;
};

BOOL CALLBACK FindTopProc(HWND window, LPARAM parameter) {
    FindTopContext* context = (FindTopContext*)parameter;
    if (!BelongsTo(window, context->processId) || !IsWindowVisible(window)) return TRUE;
    if (context->className) {
        if (!ClassIs(window, context->className)) return TRUE;
    } else {
        if (ClassIs(window, "#32770") || ClassIs(window, "tooltips_class32") || ClassIs(window, "#32768")) return TRUE;
        LONG style = GetWindowLongA(window, GWL_STYLE);
        if ((style & WS_CAPTION) != WS_CAPTION || !IsWindowEnabled(window)) return TRUE;
    }
    context->found = window;
    return FALSE;
}

HWND FindTop(DWORD processId, const char* className) {
    FindTopContext context = {processId, className, 0};
    EnumWindows(FindTopProc, (LPARAM)&context);
    return context.found;
}

struct ListContext {
    HWND parent;
    DrvControl* out;
    int capacity;
    int count;
};

void Describe(HWND parent, HWND control, DrvControl* out) {
    memset(out, 0, sizeof *out);
    out->hwnd = control;
    out->id = GetDlgCtrlID(control);
    GetClassNameA(control, out->className, sizeof out->className);
    DrvReadText(control, out->text, sizeof out->text);
    RECT box;
    GetWindowRect(control, &box);
    MapWindowPoints(HWND_DESKTOP, parent, (POINT*)&box, 2);
    out->x = box.left;
    out->y = box.top;
    out->width = box.right - box.left;
    out->height = box.bottom - box.top;
    out->visible = IsWindowVisible(control) ? 1 : 0;
    out->style = GetWindowLongA(control, GWL_STYLE);
    out->check = -1;
    if (lstrcmpiA(out->className, "Button") == 0) {
        DWORD_PTR state = 0;
        if (SendMessageTimeoutA(control, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, SEND_TIMEOUT_MS, &state))
            out->check = (int)state;
    }
}

BOOL CALLBACK ListProc(HWND control, LPARAM parameter) {
    ListContext* context = (ListContext*)parameter;
    if (context->count >= context->capacity) return FALSE;
    Describe(context->parent, control, &context->out[context->count]);
    context->count++;
    return TRUE;
}

BOOL CALLBACK BoxButtonProc(HWND control, LPARAM parameter) {
    DrvBox* box = (DrvBox*)parameter;
    if (!ClassIs(control, "Button") || !IsWindowVisible(control)) return TRUE;
    if (box->buttonCount >= DRV_MAX_BUTTONS) return FALSE;
    box->buttonIds[box->buttonCount] = GetDlgCtrlID(control);
    StoredText(control, box->buttonTexts[box->buttonCount], sizeof box->buttonTexts[0]);
    box->buttonCount++;
    return TRUE;
}

}  // namespace

int DrvStartCommand(const char* program, const char* arguments, const char* workingDirectory, DrvProcess* out) {
    memset(out, 0, sizeof *out);
    // The line is as long as it needs to be: the quoted program, then a blank and the arguments.
    int programLength = lstrlenA(program);
    int argumentsLength = arguments ? lstrlenA(arguments) : 0;
    char* commandLine = (char*)HeapAlloc(GetProcessHeap(), 0, programLength + argumentsLength + 4);
    if (!commandLine) return 0;
    commandLine[0] = '"';
    memcpy(commandLine + 1, program, programLength);
    commandLine[programLength + 1] = '"';
    char* end = commandLine + programLength + 2;
    if (arguments) {
        *end++ = ' ';
        memcpy(end, arguments, argumentsLength);
        end += argumentsLength;
    }
    *end = 0;
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    // Seen: a program started from a console program without a desktop named landed on an invisible one.
    char desktop[] = "WinSta0\\Default";
    startup.lpDesktop = desktop;
    PROCESS_INFORMATION info;
    BOOL started = CreateProcessA(0, commandLine, 0, 0, FALSE, 0, 0, workingDirectory, &startup, &info);
    HeapFree(GetProcessHeap(), 0, commandLine);
    if (!started) return 0;
    out->process = info.hProcess;
    out->thread = info.hThread;
    out->processId = info.dwProcessId;
    out->threadId = info.dwThreadId;
    return 1;
}

int DrvStart(const char* program, const char* workingDirectory, DrvProcess* out) {
    return DrvStartCommand(program, 0, workingDirectory, out);
}

void DrvCloseProcess(DrvProcess* process) {
    if (process->process) {
        if (WaitForSingleObject(process->process, 0) == WAIT_TIMEOUT) {
            TerminateProcess(process->process, 9999);
            WaitForSingleObject(process->process, 10000);
        }
        CloseHandle(process->process);
    }
    if (process->thread) CloseHandle(process->thread);
    process->process = 0;
    process->thread = 0;
}

int DrvIsRunning(const DrvProcess* process) {
    return process->process && WaitForSingleObject(process->process, 0) == WAIT_TIMEOUT;
}

HWND DrvWaitMainWindow(DrvProcess* process, int timeoutMs) {
    HWND window = 0;
    Poll(timeoutMs, [&] {
        DrvSampleMemory(process);
        window = FindTop(process->processId, 0);
        return window ? 1 : DrvIsRunning(process) ? 0 : -1;
    });
    return window;
}

HWND DrvWaitWindowOfClass(DrvProcess* process, const char* className, int timeoutMs) {
    HWND window = 0;
    Poll(timeoutMs, [&] {
        window = FindTop(process->processId, className);
        return window ? 1 : DrvIsRunning(process) ? 0 : -1;
    });
    return window;
}

int DrvWaitGone(HWND window, int timeoutMs) {
    return Poll(timeoutMs, [&] { return !IsWindow(window) || !IsWindowVisible(window) ? 1 : 0; });
}

int DrvWaitEnabled(HWND window, int timeoutMs) {
    return Poll(timeoutMs, [&] { return !IsWindow(window) ? -1 : IsWindowEnabled(window) ? 1 : 0; });
}

int DrvReadText(HWND window, char* buffer, int size) {
    if (size <= 0) return 0;
    buffer[0] = 0;
    // An edit control keeps its text in its own buffer (seen under Wine: the stored window text stays what it
    // was at creation), so only WM_GETTEXT tells what the field shows now.
    if (ClassIs(window, "Edit")) {
        DWORD_PTR length = 0;
        if (SendMessageTimeoutA(window, WM_GETTEXT, (WPARAM)size, (LPARAM)buffer, SMTO_ABORTIFHUNG, SEND_TIMEOUT_MS,
                                &length)) {
            buffer[(int)length < size ? (int)length : size - 1] = 0;
            return (int)length;
        }
    }
    return StoredText(window, buffer, size);
}

int DrvListControls(HWND parent, DrvControl* out, int capacity) {
    ListContext context = {parent, out, capacity, 0};
    EnumChildWindows(parent, ListProc, (LPARAM)&context);
    return context.count;
}

int DrvWaitControlVisible(HWND parent, int id, int visible, int timeoutMs) {
    return Poll(timeoutMs, [&] {
        HWND control = GetDlgItem(parent, id);
        if (control && (IsWindowVisible(control) ? 1 : 0) == (visible ? 1 : 0)) return 1;
        return IsWindow(parent) ? 0 : -1;
    });
}

int DrvWaitControlText(HWND parent, int id, const char* text, int timeoutMs) {
    char buffer[1024];
    return Poll(timeoutMs, [&] {
        HWND control = GetDlgItem(parent, id);
        if (control) {
            DrvReadText(control, buffer, sizeof buffer);
            if (lstrcmpA(buffer, text) == 0) return 1;
        }
        return IsWindow(parent) ? 0 : -1;
    });
}

int DrvWaitReady(DrvProcess* process, HWND window, int lastControlId, int timeoutMs) {
    Deadline deadline(timeoutMs);
    if (!DrvWaitControlVisible(window, lastControlId, 1, timeoutMs)) return 0;
    DWORD left = deadline.span - (GetTickCount() - deadline.start);
    if (deadline.passed()) return 0;
    // WaitForInputIdle: the thread has reached a message wait with no input pending. A sent WM_NULL is only
    // answered from inside a message retrieval call, which after the last control is the program's event loop.
    if (WaitForInputIdle(process->process, left) != 0) return 0;
    for (;;) {
        DWORD_PTR result = 0;
        if (SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &result)) return 1;
        if (deadline.passed() || !IsWindow(window)) return 0;
    }
}

int DrvSetControlText(HWND parent, int id, const char* text) {
    HWND control = GetDlgItem(parent, id);
    if (!control) return 0;
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(control, WM_SETTEXT, 0, (LPARAM)text, SMTO_ABORTIFHUNG, SEND_TIMEOUT_MS, &result) &&
           result;
}

int DrvClick(HWND parent, int id) {
    HWND control = GetDlgItem(parent, id);
    if (!control) return 0;
    return PostMessageA(control, BM_CLICK, 0, 0) ? 1 : 0;
}

int DrvAnswerBox(const DrvBox* box, int buttonId) {
    HWND button = GetDlgItem(box->hwnd, buttonId);
    if (!button) return 0;
    return PostMessageA(button, BM_CLICK, 0, 0) ? 1 : 0;
}

int DrvPostCommand(HWND window, int item) {
    return PostMessageA(window, WM_COMMAND, MAKEWPARAM(item & 0xFFFF, 0), 0) ? 1 : 0;
}

int DrvPressKey(DrvProcess* process, HWND window, int virtualKey) {
    UINT scan = MapVirtualKeyA((UINT)virtualKey, 0 /* MAPVK_VK_TO_VSC */);
    GUITHREADINFO info;
    memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    HWND target = window;
    if (GetGUIThreadInfo(process->threadId, &info) && info.hwndFocus) target = info.hwndFocus;
    LPARAM down = 1 | ((LPARAM)scan << 16);
    LPARAM up = down | (1L << 30) | (1UL << 31);
    return PostMessageA(target, WM_KEYDOWN, (WPARAM)virtualKey, down) &&
           PostMessageA(target, WM_KEYUP, (WPARAM)virtualKey, up);
}

int DrvCloseByCaption(HWND window) { return PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0) ? 1 : 0; }

namespace {

void ReadBox(HWND dialog, DrvBox* out) {
    memset(out, 0, sizeof *out);
    out->hwnd = dialog;
    StoredText(dialog, out->title, sizeof out->title);
    HWND text = GetDlgItem(dialog, 0xFFFF);
    if (text) StoredText(text, out->text, sizeof out->text);
    EnumChildWindows(dialog, BoxButtonProc, (LPARAM)out);
}

}  // namespace

int DrvWaitBox(DrvProcess* process, int needText, int timeoutMs, DrvBox* out) {
    return Poll(timeoutMs, [&] {
        DrvSampleMemory(process);
        HWND dialog = FindTop(process->processId, "#32770");
        // A box counts once its buttons exist: the dialog is shown before all its children are created.
        if (dialog && (!needText || GetDlgItem(dialog, 0xFFFF))) {
            ReadBox(dialog, out);
            if (out->buttonCount > 0) return 1;
        }
        return DrvIsRunning(process) ? 0 : -1;
    });
}

int DrvSampleMemory(DrvProcess* process) {
    PROCESS_MEMORY_COUNTERS counters;
    memset(&counters, 0, sizeof counters);
    counters.cb = sizeof counters;
    if (!process->process || !GetProcessMemoryInfo(process->process, &counters, sizeof counters)) return 0;
    if (counters.PeakWorkingSetSize > process->peakWorkingSet) process->peakWorkingSet = counters.PeakWorkingSetSize;
    return 1;
}

int DrvWaitExit(DrvProcess* process, int timeoutMs, DWORD* exitCode) {
    Deadline deadline(timeoutMs);
    for (;;) {
        DrvSampleMemory(process);
        if (WaitForSingleObject(process->process, POLL_MS) == WAIT_OBJECT_0) break;
        if (deadline.passed()) return 0;
    }
    DWORD code = 0;
    if (!GetExitCodeProcess(process->process, &code)) return 0;
    *exitCode = code;
    return 1;
}

namespace {

// One capture of the window's screen area as bottom-up 24-bit rows; 0 when the area cannot be read.
int Capture(HWND window, BITMAPINFOHEADER* header, BYTE** pixels) {
    *pixels = 0;
    RECT frame;
    if (!GetWindowRect(window, &frame)) return 0;
    int width = frame.right - frame.left;
    int height = frame.bottom - frame.top;
    if (width <= 0 || height <= 0) return 0;
    int stride = (width * 3 + 3) & ~3;
    memset(header, 0, sizeof *header);
    header->biSize = sizeof *header;
    header->biWidth = width;
    header->biHeight = height;
    header->biPlanes = 1;
    header->biBitCount = 24;
    header->biCompression = BI_RGB;
    header->biSizeImage = stride * height;
    HDC screen = GetDC(0);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, frame.left, frame.top, SRCCOPY);
    SelectObject(memory, old);
    *pixels = (BYTE*)HeapAlloc(GetProcessHeap(), 0, header->biSizeImage);
    int ok = *pixels && GetDIBits(memory, bitmap, 0, height, *pixels, (BITMAPINFO*)header, DIB_RGB_COLORS) == height;
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(0, screen);
    if (!ok && *pixels) {
        HeapFree(GetProcessHeap(), 0, *pixels);
        *pixels = 0;
    }
    return ok;
}

int Uniform(const BYTE* pixels, DWORD size) {
    for (DWORD i = 3; i < size; ++i)
        if (pixels[i] != pixels[i % 3]) return 0;
    return 1;
}

}  // namespace

int DrvSaveScreenshot(HWND window, const char* bmpPath) {
    // Seen under Wine (i386 emulated): a window reported visible was painted up to seconds later, so a single
    // capture was often black or half drawn. Capture until two captures in a row agree and show more than one colour.
    Deadline deadline(20000);
    BITMAPINFOHEADER header, previousHeader;
    BYTE* pixels = 0;
    BYTE* previous = 0;
    int settled = 0;
    for (;;) {
        if (!Capture(window, &header, &pixels)) break;
        if (previous && previousHeader.biSizeImage == header.biSizeImage &&
            memcmp(previous, pixels, header.biSizeImage) == 0 && !Uniform(pixels, header.biSizeImage)) {
            settled = 1;
            break;
        }
        if (previous) HeapFree(GetProcessHeap(), 0, previous);
        previous = pixels;
        previousHeader = header;
        pixels = 0;
        if (deadline.passed()) break;
        Sleep(250);
    }
    if (!pixels && previous) {  // not settled in time: keep the last capture, so there is still something to see
        pixels = previous;
        header = previousHeader;
        previous = 0;
    }
    int ok = 0;
    if (pixels) {
        BITMAPFILEHEADER file;
        memset(&file, 0, sizeof file);
        file.bfType = 0x4D42;
        file.bfOffBits = sizeof file + sizeof header;
        file.bfSize = file.bfOffBits + header.biSizeImage;
        HANDLE out = CreateFileA(bmpPath, GENERIC_WRITE, 0, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, 0);
        DWORD written = 0;
        if (out != INVALID_HANDLE_VALUE) {
            ok = WriteFile(out, &file, sizeof file, &written, 0) &&
                 WriteFile(out, &header, sizeof header, &written, 0) &&
                 WriteFile(out, pixels, header.biSizeImage, &written, 0) && written == header.biSizeImage;
            ok = CloseHandle(out) && ok;
        }
        HeapFree(GetProcessHeap(), 0, pixels);
    }
    if (previous) HeapFree(GetProcessHeap(), 0, previous);
    return ok ? (settled ? 1 : 2) : 0;
}

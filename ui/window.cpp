// Windows and event queue: numbered top-level windows, their window procedure, the per-thread event stream.
// Contract: messages become event codes either at once (pending event of the fetch) or through a FIFO queue that collapses only against its tail.
#include "ui/window.h"

#include "core/frame.h"
#include "core/registry.h"
#include "ui/gadget.h"
#include "ui/runtime.h"

namespace {

struct QueuedEvent {
    QueuedEvent* next;
    int code;
    int window;
};

// The calling thread's event stream: the window library's thread area.
struct EventState {
    int source;   // gadget or item of the last gadget or menu event; kept across other events
    int pending;  // the event code a handler chose during the fetch's dispatch, 0 for none
    QueuedEvent* head;
    QueuedEvent* tail;
};

const int INITIAL_WINDOW_COUNT = 16;
const int DESIGN_DPI = 96;        // the unit of every position and size the application passes
const int PROGRAM_ICON = 1;       // the icon resource of every window class
const DWORD READY_IDLE_MS = 100;  // a wait this long with nothing to handle: the thread is ready for input

ObjectTable* windowsTable;
int eventAreaOffset;
HICON programIcon;
HCURSOR arrowCursor;
int displayDpi;  // 0 until read: the design dpi

EventState* CurrentEventState() { return static_cast<EventState*>(ThreadSlot(eventAreaOffset)); }

// Thread-end operation of the event area: the nodes still queued belong to a thread that can no longer take them.
void EndEventArea(void* area) {
    EventState* state = static_cast<EventState*>(area);
    QueuedEvent* node = state->head;
    while (node) {
        QueuedEvent* next = node->next;
        HeapFree(ApplicationHeap(), 0, node);
        node = next;
    }
    state->head = state->tail = nullptr;
}

void ClassNameOf(int number, char* name) { wsprintfA(name, "WindowClass_%d", number); }

int WindowNumberProperty(HWND window) {
    return static_cast<int>(reinterpret_cast<INT_PTR>(GetPropA(window, WINDOW_ID_PROPERTY)));
}

void QueueEvent(EventState* state, int code, int window) {
    QueuedEvent* tail = state->tail;
    if (tail && tail->code == code && tail->window == window) return;
    QueuedEvent* node = static_cast<QueuedEvent*>(HeapAlloc(ApplicationHeap(), 0, sizeof(QueuedEvent)));
    if (!node) return;  // the event is lost, as any event the heap cannot hold
    node->next = nullptr;
    node->code = code;
    node->window = window;
    if (tail) tail->next = node;
    else state->head = node;
    state->tail = node;
}

// The events an application acts on: the keyboard device put off until the window is ready is opened before any.
int HandOut(int code) {
    if (code == EVENT_GADGET || code == EVENT_MENU || code == EVENT_CLOSE_WINDOW) OpenPutOffKeyboardDevice();
    return code;
}

void MoveFocus(int backward);  // Tab navigation, below

// --- One handler per translated message; each returns the result or NOT_HANDLED ---

LRESULT OnMoveOrClose(EventState* state, UINT message, int number) {
    // WM_CLOSE never reaches the default handling: the window stays open and the application decides.
    if (number != -1) QueueEvent(state, static_cast<int>(message), number);
    return 0;
}

LRESULT OnSize(EventState* state, HWND window, WindowRecord* record, int number, WPARAM kind) {
    if (WindowNumberProperty(window) == 0) return 1;  // sizes sent during creation, before the number is set
    int wasChanged = record ? record->minimisedOrMaximised : 0;
    switch (kind) {
    case SIZE_RESTORED:
        if (wasChanged) {
            record->minimisedOrMaximised = 0;
            QueueEvent(state, EVENT_RESTORE_WINDOW, number);
        }
        QueueEvent(state, EVENT_SIZE_WINDOW, number);
        break;
    case SIZE_MINIMIZED:
        if (record) record->minimisedOrMaximised = 1;
        QueueEvent(state, EVENT_MINIMIZE_WINDOW, number);
        break;
    case SIZE_MAXIMIZED:
        if (record) record->minimisedOrMaximised = 1;
        QueueEvent(state, EVENT_MAXIMIZE_WINDOW, number);
        QueueEvent(state, EVENT_SIZE_WINDOW, number);
        break;
    default: QueueEvent(state, EVENT_SIZE_WINDOW, number); break;
    }
    return 0;
}

LRESULT OnActivate(EventState* state, int number, WPARAM wParam) {
    if (LOWORD(wParam) != WA_INACTIVE) QueueEvent(state, EVENT_ACTIVATE_WINDOW, number);
    return 1;  // the default activation handling does not run
}

LRESULT OnEraseBackground(EventState* state, int number) {
    QueueEvent(state, EVENT_REPAINT, number);
    return NOT_HANDLED;  // the class brush erases the background
}

BOOL CALLBACK SendSysColorChange(HWND child, LPARAM) {
    SendMessageA(child, WM_SYSCOLORCHANGE, 0, 0);
    return TRUE;
}

LRESULT OnSysColorChange(HWND window, int number) {
    if (number != -1) EnumChildWindows(window, SendSysColorChange, 0);
    return NOT_HANDLED;
}

LRESULT OnCommand(EventState* state, HWND window, WPARAM wParam, LPARAM lParam) {
    HWND control = reinterpret_cast<HWND>(lParam);
    if (RouteToGadgetKind(control, window, WM_COMMAND, wParam, lParam) != NOT_HANDLED) return 0;
    if (control) {
        state->pending = EVENT_GADGET;
        state->source = GetWindowLongA(control, GWL_ID);
    } else if (HIWORD(wParam) == 0) {  // a menu choice
        state->pending = EVENT_MENU;
        state->source = LOWORD(wParam);
    } else if (LOWORD(wParam) == CMD_NEXT_FIELD) {  // keyboard shortcuts from here on
        MoveFocus(0);
    } else if (LOWORD(wParam) == CMD_PREVIOUS_FIELD) {
        MoveFocus(1);
    } else {
        state->pending = EVENT_MENU;
        state->source = LOWORD(wParam);
    }
    return 0;
}

LRESULT OnNotify(HWND window, WPARAM wParam, LPARAM lParam) {
    const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
    return RouteToGadgetKind(header ? header->hwndFrom : nullptr, window, WM_NOTIFY, wParam, lParam);
}

LRESULT OnGadgetNotify(EventState* state, WPARAM wParam) {
    state->pending = EVENT_GADGET;
    state->source = static_cast<int>(wParam);
    return 0;
}

// The window number of a window or its nearest numbered ancestor, -1 for none.
int NumberOfWindowChain(HWND window) {
    for (HWND current = window; current; current = GetParent(current)) {
        int property = WindowNumberProperty(current);
        if (property) return property - 1;
    }
    return -1;
}

LRESULT CALLBACK WindowMessageHandler(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    int number = NumberOfWindowChain(window);
    WindowRecord* record = number == -1 ? nullptr : FindWindowRecord(number);
    EventState* state = CurrentEventState();

    LRESULT result;
    // One row per message, so that the dispatch reads at a glance.
    // clang-format off
    switch (message) {
    case WM_MOVE:
    case WM_CLOSE:           result = OnMoveOrClose(state, message, number); break;
    case WM_SIZE:            result = OnSize(state, window, record, number, wParam); break;
    case WM_ACTIVATE:        result = OnActivate(state, number, wParam); break;
    case WM_ERASEBKGND:      result = OnEraseBackground(state, number); break;
    case WM_SYSCOLORCHANGE:  result = OnSysColorChange(window, number); break;
    case WM_COMMAND:         result = OnCommand(state, window, wParam, lParam); break;
    case WM_NOTIFY:          result = OnNotify(window, wParam, lParam); break;
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
        result = RouteToGadgetKind(reinterpret_cast<HWND>(lParam), window, message, wParam, lParam);
        break;
    case MSG_GADGET_NOTIFY:  result = OnGadgetNotify(state, wParam); break;
    default:                 result = NOT_HANDLED; break;
    }
    // clang-format on
    return result == NOT_HANDLED ? DefWindowProcA(window, message, wParam, lParam) : result;
}

// Centres an outer size on the screen (clamped to it) or on the reference window. Returns the centring
// that took place, 0 when there was none (x and y are then kept).
int CentreOuterRect(int centring, HWND reference, int* x, int* y, int* outerWidth, int* outerHeight) {
    if (centring & WINDOW_CENTRE_SCREEN) {
        int screenWidth = GetSystemMetrics(SM_CXSCREEN);
        int screenHeight = GetSystemMetrics(SM_CYSCREEN);
        if (*outerWidth > screenWidth) *outerWidth = screenWidth;
        if (*outerHeight > screenHeight) *outerHeight = screenHeight;
        *x = (screenWidth - *outerWidth) / 2;
        *y = (screenHeight - *outerHeight) / 2;
        return WINDOW_CENTRE_SCREEN;
    }
    RECT outer;
    if (!(centring & WINDOW_CENTRE_ACTIVE) || !reference || !GetWindowRect(reference, &outer)) return 0;
    *x = outer.left + ((outer.right - outer.left) - *outerWidth) / 2;
    *y = outer.top + ((outer.bottom - outer.top) - *outerHeight) / 2;
    if (*x < 0) *x = 0;
    if (*y < 0) *y = 0;
    return WINDOW_CENTRE_ACTIVE;
}

// Outer size and position of a new window from the caller's 96-dpi numbers, scaled before the frame is added and
// the window centred; the centring done is kept in the record.
void PlaceWindow(DWORD style, int flags, HWND parent, int width, int height, int* x, int* y, int* outerWidth,
                 int* outerHeight, WindowRecord* record) {
    if (*x != IGNORE_COORDINATE) *x = ScaleToDisplay(*x);
    if (*y != IGNORE_COORDINATE) *y = ScaleToDisplay(*y);
    RECT frame = {0, 0, ScaleToDisplay(width), ScaleToDisplay(height)};
    AdjustWindowRectEx(&frame, style, FALSE, 0);  // created with no extended style
    *outerWidth = frame.right - frame.left;
    *outerHeight = frame.bottom - frame.top;

    int centring = flags & (WINDOW_CENTRE_SCREEN | WINDOW_CENTRE_ACTIVE);
    if ((*x == IGNORE_COORDINATE || *y == IGNORE_COORDINATE) && !centring) {
        *x = *y = CW_USEDEFAULT;
    }
    HWND reference = (centring == WINDOW_CENTRE_ACTIVE) ? (parent ? parent : GetActiveWindow()) : nullptr;
    record->centring = CentreOuterRect(centring, reference, x, y, outerWidth, outerHeight);
    record->centreReference = reference;
}

void AddTabShortcuts(WindowRecord* record) {
    ACCEL* entries = static_cast<ACCEL*>(HeapAlloc(ApplicationHeap(), 0, 2 * sizeof(ACCEL)));
    if (!entries) return;  // the window then simply has no Tab navigation
    entries[0].fVirt = FVIRTKEY | FNOINVERT;
    entries[0].key = VK_TAB;
    entries[0].cmd = CMD_NEXT_FIELD;
    entries[1].fVirt = FVIRTKEY | FNOINVERT | FSHIFT;
    entries[1].key = VK_TAB;
    entries[1].cmd = CMD_PREVIOUS_FIELD;
    record->shortcutEntries = entries;
    record->shortcutCount = 2;
    record->shortcutTable = CreateAcceleratorTableA(entries, 2);
}

// --- Tab navigation ---

struct FocusWalk {
    HWND current;
    HWND first;
    HWND last;
    HWND before;  // candidate preceding the current window
    HWND after;   // candidate following the current window
    int currentIsCandidate;
};

BOOL CALLBACK VisitFocusCandidate(HWND child, LPARAM argument) {
    FocusWalk* walk = reinterpret_cast<FocusWalk*>(argument);
    if (!IsWindowEnabled(child) || !IsWindowVisible(child)) return TRUE;
    if (!(GetWindowLongA(child, GWL_STYLE) & WS_TABSTOP)) return TRUE;
    if (!walk->first) walk->first = child;
    if (walk->currentIsCandidate && !walk->after) walk->after = child;
    if (child == walk->current) {
        walk->currentIsCandidate = 1;
        walk->before = walk->last;
    }
    walk->last = child;
    return TRUE;
}

// The shortcut table of the numbered window carrying exactly this handle (no walk up the parents), or null.
HACCEL ShortcutTableFor(HWND window) {
    if (!window) return nullptr;
    int property = WindowNumberProperty(window);
    if (!property) return nullptr;
    WindowRecord* record = FindWindowRecord(property - 1);
    return record ? record->shortcutTable : nullptr;
}

// Tab navigation over the active window's WS_TABSTOP descendants.
void MoveFocus(int backward) {
    HWND active = GetActiveWindow();
    if (!active) return;
    FocusWalk walk = {};
    HWND focus = GetFocus();
    walk.current = (focus && IsChild(active, focus)) ? focus : nullptr;
    EnumChildWindows(active, VisitFocusCandidate, reinterpret_cast<LPARAM>(&walk));

    HWND target;
    if (!backward) {
        if (!walk.current) target = walk.first;
        else if (!walk.currentIsCandidate) target = nullptr;
        else target = walk.after ? walk.after : walk.first;
    } else {
        target = (walk.currentIsCandidate && walk.before) ? walk.before : walk.last;
    }
    if (target) SetFocus(target);
}

}  // namespace

void InitWindowLibrary() {
    windowsTable = CreateObjectTable(sizeof(WindowRecord), INITIAL_WINDOW_COUNT, DestroyNumberedWindow);
    eventAreaOffset = ReserveThreadSlot(sizeof(EventState), nullptr, EndEventArea);
    programIcon = LoadIconA(ProgramInstance(), MAKEINTRESOURCEA(PROGRAM_ICON));
    arrowCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    // Seen on Wine: the dpi follows LogPixels of the prefix's registry, read by every new process; Wine treats
    // every program as DPI-aware (manifest or not) and never stretches a window.
    if (HDC screen = CreateDCA("DISPLAY", nullptr, nullptr, nullptr)) {
        displayDpi = GetDeviceCaps(screen, LOGPIXELSX);
        DeleteDC(screen);
    }
}

int DisplayDpi() { return displayDpi > 0 ? displayDpi : DESIGN_DPI; }

int ScaleToDisplay(int value) { return MulDiv(value, DisplayDpi(), DESIGN_DPI); }

int CreateNumberedWindow(int number, int x, int y, int width, int height, const char* title, int flags, HWND parent) {
    WindowRecord* record = static_cast<WindowRecord*>(AllocateObject(windowsTable, number));
    if (!record) return 0;
    int known = NumberOfNewObject(number, record);

    char className[32];
    ClassNameOf(known, className);
    WNDCLASSA windowClass = {};
    windowClass.style = CS_DBLCLKS;
    windowClass.lpfnWndProc = WindowMessageHandler;
    windowClass.hInstance = ProgramInstance();
    windowClass.hIcon = programIcon;
    windowClass.hCursor = arrowCursor;
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = className;
    RegisterClassA(&windowClass);  // may fail when a class of that name is left over: it is used as it is

    int withGadgetList = !(flags & WINDOW_NO_GADGET_LIST);
    flags &= ~WINDOW_NO_GADGET_LIST;
    if ((flags & ~(WINDOW_CENTRE_SCREEN | WINDOW_CENTRE_ACTIVE | WINDOW_HIDDEN)) == 0) flags |= WS_CAPTION;
    int hidden = flags & WINDOW_HIDDEN;
    flags &= ~WINDOW_HIDDEN;
    DWORD style = static_cast<DWORD>(flags & ~(WINDOW_CENTRE_SCREEN | WINDOW_CENTRE_ACTIVE));

    int outerWidth, outerHeight;
    PlaceWindow(style, flags, parent, width, height, &x, &y, &outerWidth, &outerHeight, record);

    HWND window = CreateWindowExA(0, className, title ? title : "", style, x, y, outerWidth, outerHeight, parent,
                                  nullptr, ProgramInstance(), nullptr);
    if (!window) UnregisterClassA(className, ProgramInstance());  // no class is left behind by a failed window
    int result = CompleteCreate(windowsTable, number, record, window);
    if (!result) return 0;
    SetPropA(window, WINDOW_ID_PROPERTY, reinterpret_cast<HANDLE>(static_cast<INT_PTR>(known + 1)));

    if (!hidden) {
        int show = (style & WS_MAXIMIZE) ? SW_SHOWMAXIMIZED : (style & WS_MINIMIZE) ? SW_SHOWMINIMIZED : SW_SHOWNORMAL;
        ShowWindow(window, show);
    }
    record->minimisedOrMaximised = (style & (WS_MINIMIZE | WS_MAXIMIZE)) ? 1 : 0;
    AddTabShortcuts(record);
    if (withGadgetList) SelectGadgetList(window);
    return result;
}

HWND WindowHandleOf(int number) {
    WindowRecord* record = FindWindowRecord(number);
    return record ? record->window : nullptr;
}

void DestroyNumberedWindow(int number) {
    WindowRecord* record = FindWindowRecord(number);
    if (!record) return;
    HWND window = record->window;
    HWND owner = GetWindow(window, GW_OWNER);
    if (owner) SetActiveWindow(owner);
    RemovePropA(window, WINDOW_ID_PROPERTY);
    DestroyWindow(window);  // gadget, gadget-list and menu handlers release their records on WM_NCDESTROY

    char className[32];
    ClassNameOf(number, className);
    UnregisterClassA(className, ProgramInstance());
    if (record->shortcutTable) DestroyAcceleratorTable(record->shortcutTable);
    if (record->shortcutEntries) HeapFree(ApplicationHeap(), 0, record->shortcutEntries);
    ReleaseObject(windowsTable, number);
}

void DestroyAllWindows() {
    int number;
    BeginObjectWalk(windowsTable);
    while (NextObject(windowsTable, &number)) DestroyNumberedWindow(number);
}

int FetchEvent(int timeout) {
    EventState* state = CurrentEventState();
    if (QueuedEvent* node = state->head) {
        state->head = node->next;
        if (!state->head) state->tail = nullptr;
        state->pending = 0;
        int code = node->code;
        HeapFree(ApplicationHeap(), 0, node);
        return HandOut(code);
    }

    MSG message = {};
    if (timeout == -1) {
        // Waiting with nothing left to handle, the thread is ready for input: the keyboard device put off until
        // then is opened once a tenth of a second has passed without any, so that input coming at once is
        // handled first.
        while (KeyboardDevicePutOff() && !PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE)) {
            if (MsgWaitForMultipleObjects(0, nullptr, FALSE, READY_IDLE_MS, QS_ALLINPUT) != WAIT_OBJECT_0) {
                OpenPutOffKeyboardDevice();
            }
        }
        GetMessageA(&message, nullptr, 0, 0);
    } else if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE | PM_NOYIELD)) {
        if (timeout == 0) return 0;
        if (MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(timeout), QS_ALLINPUT) == WAIT_TIMEOUT) {
            return 0;
        }
        if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE | PM_NOYIELD)) return 0;
    }

    HWND active = GetActiveWindow();
    HACCEL shortcuts = ShortcutTableFor(active);
    if (!shortcuts || !TranslateAcceleratorA(active, shortcuts, &message)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }

    // The thread area cannot move, but a handler may have run on a nested fetch: read the state afresh.
    if (state->pending) {
        int code = state->pending;
        state->pending = 0;
        return HandOut(code);
    }
    return static_cast<int>(message.message);
}

void PauseAnswering(DWORD milliseconds) {
    DWORD start = GetTickCount();
    DWORD left = milliseconds;
    MSG message;
    for (;;) {
        // Seen on Wine: the system counts a thread as not answering once it has neither asked for messages for 5 s
        // nor waits on its queue; this peek asks (and handles what was sent), the wait below waits on the queue.
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        DWORD woken = MsgWaitForMultipleObjects(0, nullptr, FALSE, left, QS_SENDMESSAGE);
        if (woken == WAIT_TIMEOUT) return;
        DWORD passed = GetTickCount() - start;
        if (passed >= milliseconds) return;
        left = milliseconds - passed;
        if (woken == WAIT_FAILED) {
            Sleep(left);
            return;
        }
    }
}

int WaitEvent() { return FetchEvent(-1); }
int PollEvent() { return FetchEvent(0); }
int EventSourceGadget() { return CurrentEventState()->source; }
int EventSourceItem() { return CurrentEventState()->source; }

LRESULT PassOnMessage(WNDPROC kept, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return kept ? CallWindowProcA(kept, window, message, wParam, lParam)
                : DefWindowProcA(window, message, wParam, lParam);
}

WindowRecord* FindWindowRecord(int number) { return static_cast<WindowRecord*>(LookupObject(windowsTable, number)); }

void KeepClientSize(HWND window, int width, int height, HMENU newBar) {
    RECT client, outer;
    if (!GetClientRect(window, &client) || !GetWindowRect(window, &outer)) {
        if (newBar) SetMenu(window, newBar);
        return;
    }
    int outerWidth = outer.right - outer.left + width - client.right;
    int outerHeight = outer.bottom - outer.top + height - client.bottom;
    if (newBar) {
        RECT frame = {0, 0, width, height};
        AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE)), TRUE,
                           static_cast<DWORD>(GetWindowLongA(window, GWL_EXSTYLE)));
        outerWidth = frame.right - frame.left;
        outerHeight = frame.bottom - frame.top;
    } else if (client.right == width && client.bottom == height) {
        return;
    }
    int x = outer.left;
    int y = outer.top;
    // Centred by its size at creation, before the frame grew: centred again by its new size.
    int property = WindowNumberProperty(window);
    WindowRecord* record = property ? FindWindowRecord(property - 1) : nullptr;
    if (record && record->window == window) {
        CentreOuterRect(record->centring, record->centreReference, &x, &y, &outerWidth, &outerHeight);
    }
    // Seen on Wine: a bar set on a shown window frames and draws it at once (a repaint, a move and a size queued),
    // and a redrawn move or size queues a repaint again. With drawing held off, moved first and sized last, the
    // move joins the one that showing the window left last in the queue, the bar's move joins that, the size joins
    // the bar's size, and the window is drawn once, with its next paint.
    int drawn = IsWindowVisible(window);
    if (drawn) SendMessageA(window, WM_SETREDRAW, FALSE, 0);
    if (x != outer.left || y != outer.top) {
        SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOSIZE | SWP_NOREDRAW);
    }
    if (newBar) SetMenu(window, newBar);
    SetWindowPos(window, nullptr, 0, 0, outerWidth, outerHeight,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOREDRAW);
    if (drawn) SendMessageA(window, WM_SETREDRAW, TRUE, 0);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
    // The frame above counts one line of bar; a bar too long for the window's width wraps onto more.
    if (newBar) KeepClientSize(window, width, height, nullptr);
}

// Windows and event queue: numbered top-level windows, one polled event stream per thread.
// Contract: windows are known by number; create returns the handle (fixed number), the number (ANY_NUMBER) or 0; fetches return event codes.
#pragma once

#include <windows.h>

// Event codes returned by FetchEvent; any other value is an untranslated message number.
const int EVENT_NONE = 0;
const int EVENT_MOVE_WINDOW = 3;
const int EVENT_SIZE_WINDOW = 5;
const int EVENT_REPAINT = 15;
const int EVENT_CLOSE_WINDOW = 16;
const int EVENT_GADGET = 13100;
const int EVENT_MENU = 13101;
const int EVENT_ACTIVATE_WINDOW = 13104;
const int EVENT_MINIMIZE_WINDOW = 13107;
const int EVENT_MAXIMIZE_WINDOW = 13108;
const int EVENT_RESTORE_WINDOW = 13109;

// Private window message posted by gadgets: wParam gadget number, lParam event type.
const UINT MSG_GADGET_NOTIFY = 13103;
// Shortcut commands of Tab and Shift+Tab.
const int CMD_NEXT_FIELD = 64001;
const int CMD_PREVIOUS_FIELD = 64002;

// Property of every library window: its number + 1 (0, no property: no library window).
inline constexpr char WINDOW_ID_PROPERTY[] = "GX_WindowID";

// Result by which a runtime message handler asks for the platform's default processing.
const LRESULT NOT_HANDLED = static_cast<LRESULT>(0xD0D0D0D1u);

// Window flags consumed by CreateNumberedWindow; every other bit is a window style bit.
const int WINDOW_CENTRE_SCREEN = 0x1;
const int WINDOW_CENTRE_ACTIVE = 0x2;
const int WINDOW_NO_GADGET_LIST = 0x8;
const int WINDOW_HIDDEN = 0x10000000;
// x or y value that lets the platform choose the position.
const int IGNORE_COORDINATE = -65535;

// One open window (windows table, 48-byte records). The first field is non-zero while the window lives.
struct WindowRecord {
    HWND window;
    ACCEL* shortcutEntries;  // application heap, owned
    HACCEL shortcutTable;    // rebuilt whenever an entry changes
    int shortcutCount;
    int minimisedOrMaximised;
    int centring;          // WINDOW_CENTRE_SCREEN or WINDOW_CENTRE_ACTIVE when opened centred, else 0
    HWND centreReference;  // the window it was centred on (WINDOW_CENTRE_ACTIVE)
    int reserved[5];
};

// Start step: creates the windows table, reserves the per-thread event areas, loads icon and cursor, reads the
// display's dpi.
void InitWindowLibrary();

// The display's pixels per inch, read once at start (96 before it). The program declares itself DPI-aware, so
// this is the display's own setting and nothing is stretched by the system.
int DisplayDpi();
// A position or length given in 96-dpi units, at the display's scale (rounded). The window runtime applies it
// where it hands the caller's numbers to the platform: window position and client size, gadget boxes.
int ScaleToDisplay(int value);

// x, y: screen position of the outer window; width, height: client size; all four in 96-dpi units; title may be null.
// parent (inner form): owner of the new window and reference of WINDOW_CENTRE_ACTIVE.
int CreateNumberedWindow(int number, int x, int y, int width, int height, const char* title, int flags,
                         HWND parent = nullptr);
HWND WindowHandleOf(int number);
void DestroyNumberedWindow(int number);
// End step: destroys every window still in the windows table.
void DestroyAllWindows();

// timeout in milliseconds, -1 = no limit, 0 = do not wait.
int FetchEvent(int timeout);
int WaitEvent();
int PollEvent();
// Both give the calling thread's event source: gadget number after EVENT_GADGET, item after EVENT_MENU.
int EventSourceGadget();
int EventSourceItem();
// Waits `milliseconds`, answering in the meantime only what the platform sends to the thread's windows, as any
// message wait does: posted messages, input and paints stay queued for the next fetch, and no event is handed out.
// The system thus never counts the windows as not answering, and the wait still lasts its full length.
void PauseAnswering(DWORD milliseconds);

// Inside the window runtime: a replacing window procedure hands every message on to the procedure it kept, or to
// the default processing where it kept none.
LRESULT PassOnMessage(WNDPROC kept, HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Inside the window runtime: the live record of a window number, or null (used by the shortcut code).
WindowRecord* FindWindowRecord(int number);
// Inside the window runtime: shows newBar on the window (none: the frame already grew, a bar wrapped) and gives the
// window back the client size width x height (pixels, as measured before) by growing the outer window; one opened
// centred is centred again, any other keeps its top-left.
void KeepClientSize(HWND window, int width, int height, HMENU newBar);

// Menus and keyboard shortcuts: numbered menu bars built title by title, and the per-window shortcut entries.
// Contract: a window is wrapped by MenuOwnerHandler once; its menu records are released with it; every shortcut change rebuilds the table.
#include "ui/menu.h"

#include "core/frame.h"
#include "core/registry.h"
#include "ui/window.h"

namespace {

// One menu bar (menus table, 20-byte records). The first field is non-zero while the menu lives.
struct MenuRecord {
    HMENU menu;
    HWND window;
    int reserved[3];
};

const int MAX_MENU_DEPTH = 64;

// The calling thread's build state; fills the menu library's 268-byte thread area.
// The current menu is kept by number and looked up on use, so a menu released with its window is never touched.
struct MenuBuildState {
    int currentMenu;
    HMENU currentLevel;
    HMENU enclosingLevels[MAX_MENU_DEPTH];
    int depth;
};

static_assert(sizeof(MenuBuildState) == 268, "the menu library's thread area is 268 bytes");

const int INITIAL_MENU_COUNT = 16;
const char MENU_CALLBACK_PROPERTY[] = "gx_menu_callback";

ObjectTable* menusTable;
int buildAreaOffset;

MenuBuildState* CurrentBuildState() { return static_cast<MenuBuildState*>(ThreadSlot(buildAreaOffset)); }

MenuRecord* CurrentMenu(MenuBuildState* state) {
    return static_cast<MenuRecord*>(LookupObject(menusTable, state->currentMenu));
}

// Shows the bar on the current menu's window, so every new title or item appears at once. onBar: the change
// is on the bar itself (a title, or an item before any title), not inside a drop-down.
void ShowCurrentBar(MenuBuildState* state, int onBar) {
    MenuRecord* record = CurrentMenu(state);
    if (!record || !record->window) return;
    // SetMenu keeps the outer size, so the bar would eat into the client area the window was opened
    // with; the window grows by the bar instead, and one opened centred stays centred.
    RECT before;
    GetClientRect(record->window, &before);
    if (GetMenu(record->window) != record->menu) {
        KeepClientSize(record->window, before.right, before.bottom, record->menu);
    } else if (onBar) {
        DrawMenuBar(record->window);  // the bar may wrap to a second line
        KeepClientSize(record->window, before.right, before.bottom, nullptr);
    }
    // An item inside a drop-down needs nothing here: the drop-down is built when it opens. Seen on Wine: setting
    // the same bar again frames the window anew, with a move, a size and a repaint each time.
}

void AppendSubmenu(MenuBuildState* state, const char* text) {
    HMENU dropDown = CreateMenu();
    AppendMenuA(state->currentLevel, MF_STRING | MF_POPUP, reinterpret_cast<UINT_PTR>(dropDown), text ? text : "");
    if (state->depth >= MAX_MENU_DEPTH) return;  // deeper nesting is refused rather than written past the levels
    state->enclosingLevels[state->depth] = state->currentLevel;
    state->depth += 1;
    state->currentLevel = dropDown;
}

LRESULT CALLBACK MenuOwnerHandler(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    WNDPROC kept = reinterpret_cast<WNDPROC>(GetPropA(window, MENU_CALLBACK_PROPERTY));
    if (message == WM_NCDESTROY) {
        // The platform destroys the shown bar with the window; a bar built for it but never shown goes here.
        HMENU shown = GetMenu(window);
        int number;
        BeginObjectWalk(menusTable);
        while (MenuRecord* record = static_cast<MenuRecord*>(NextObject(menusTable, &number))) {
            if (record->menu != shown && record->window != window) continue;
            if (record->menu != shown) DestroyMenu(record->menu);
            ReleaseObject(menusTable, number);
        }
        RemovePropA(window, MENU_CALLBACK_PROPERTY);
    }
    return PassOnMessage(kept, window, message, wParam, lParam);
}

BYTE ShortcutFlags(int shortcut) {
    BYTE flags = FVIRTKEY | FNOINVERT;
    if (shortcut & SHORTCUT_SHIFT) flags |= FSHIFT;
    if (shortcut & SHORTCUT_CONTROL) flags |= FCONTROL;
    if (shortcut & SHORTCUT_ALT) flags |= FALT;
    return flags;
}

// Appends one entry; on a refused allocation the entries stay as they were.
int AppendShortcutEntry(WindowRecord* window) {
    HANDLE heap = ApplicationHeap();
    int count = window->shortcutCount + 1;
    SIZE_T size = static_cast<SIZE_T>(count) * sizeof(ACCEL);
    void* entries =
        window->shortcutEntries ? HeapReAlloc(heap, 0, window->shortcutEntries, size) : HeapAlloc(heap, 0, size);
    if (!entries) return 0;
    window->shortcutEntries = static_cast<ACCEL*>(entries);
    window->shortcutCount = count;
    return 1;
}

}  // namespace

void InitMenuLibrary() {
    menusTable = CreateObjectTable(sizeof(MenuRecord), INITIAL_MENU_COUNT, DestroyNumberedMenu);
    buildAreaOffset = ReserveThreadSlot(sizeof(MenuBuildState), nullptr, nullptr);
}

int CreateWindowMenu(int number, HWND window) {
    MenuRecord* record = static_cast<MenuRecord*>(AllocateObject(menusTable, number));
    if (!record) return 0;
    HMENU menu = CreateMenu();
    record->window = window;
    int result = CompleteCreate(menusTable, number, record, menu);
    if (!result) return 0;

    MenuBuildState* state = CurrentBuildState();
    state->currentMenu = NumberOfNewObject(number, record);
    // A new menu starts on its bar, however deep the menu built before it ended: its first items go to the bar
    // and are drawn there at once.
    state->currentLevel = menu;
    state->depth = 0;

    if (window && !GetPropA(window, MENU_CALLBACK_PROPERTY)) {
        LONG replaced = SetWindowLongA(window, GWL_WNDPROC, reinterpret_cast<LONG>(MenuOwnerHandler));
        SetPropA(window, MENU_CALLBACK_PROPERTY, reinterpret_cast<HANDLE>(replaced));
    }
    return result;
}

void AddMenuTitle(const char* text) {
    MenuBuildState* state = CurrentBuildState();
    if (state->depth != 0) {
        state->depth = 0;
        MenuRecord* record = CurrentMenu(state);
        state->currentLevel = record ? record->menu : nullptr;
    }
    AppendSubmenu(state, text);
    ShowCurrentBar(state, 1);
}

void AddMenuItem(int command, const char* text, int) {
    MenuBuildState* state = CurrentBuildState();
    AppendMenuA(state->currentLevel, MF_STRING, static_cast<UINT_PTR>(static_cast<unsigned>(command)),
                text ? text : "");
    ShowCurrentBar(state, state->depth == 0);
}

void DestroyNumberedMenu(int number) {
    MenuRecord* record = static_cast<MenuRecord*>(LookupObject(menusTable, number));
    if (!record) return;
    // Only this menu's own bar is taken off: a later menu shown on the same window stays.
    if (record->window && GetMenu(record->window) == record->menu) SetMenu(record->window, nullptr);
    DestroyMenu(record->menu);
    ReleaseObject(menusTable, number);
}

HACCEL AddShortcut(int windowNumber, int shortcut, int command) {
    WindowRecord* window = FindWindowRecord(windowNumber);
    if (!window) return nullptr;
    BYTE flags = ShortcutFlags(shortcut);
    WORD key = LOWORD(shortcut);
    WORD value = LOWORD(command);

    ACCEL* entry = nullptr;
    for (int index = 0; index < window->shortcutCount; ++index) {
        if (window->shortcutEntries[index].key == key && window->shortcutEntries[index].fVirt == flags) {
            entry = &window->shortcutEntries[index];
            break;
        }
    }
    if (!entry && AppendShortcutEntry(window)) {
        entry = &window->shortcutEntries[window->shortcutCount - 1];
        entry->fVirt = flags;
        entry->key = key;
    }
    if (entry) entry->cmd = value;

    if (window->shortcutTable) DestroyAcceleratorTable(window->shortcutTable);
    window->shortcutTable =
        window->shortcutCount ? CreateAcceleratorTableA(window->shortcutEntries, window->shortcutCount) : nullptr;
    return window->shortcutTable;
}

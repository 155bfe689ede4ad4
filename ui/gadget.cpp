// Gadgets, tooltips and fonts: numbered child controls tied to kind tables of optional operations, the thread's tooltip, numbered fonts.
// Contract: one creation frame for every kind; records are released by the control's own WM_NCDESTROY; a missing operation falls back to the generic behaviour.
#include "ui/gadget.h"

#include <commctrl.h>

#include "core/frame.h"
#include "core/registry.h"
#include "core/strings.h"
#include "ui/window.h"

namespace {

struct GadgetKind;

// One gadget (gadgets table, 32-byte records). The first field is non-zero while the gadget lives.
struct GadgetRecord {
    HWND control;
    const GadgetKind* kind;
    WNDPROC previousProcedure;
    int reserved[5];
};

// A gadget kind: its code, how its control is made, and optional operations (null = generic behaviour).
struct GadgetKind {
    int code;
    const char* platformClass;
    DWORD style;
    LRESULT (*handleMessage)(GadgetRecord* gadget, HWND parent, UINT message, WPARAM wParam, LPARAM lParam);
    void (*onDestroy)(GadgetRecord* gadget);
    int (*getState)(GadgetRecord* gadget);
    void (*setState)(GadgetRecord* gadget, int value);
    char* (*getText)(GadgetRecord* gadget, int start);
    void (*setText)(GadgetRecord* gadget, const char* text);
    void (*hide)(GadgetRecord* gadget, int hide);
};

// The calling thread's gadget state: the gadget library's thread area.
struct GadgetContext {
    HWND currentList;
    HFONT newGadgetFont;
    HWND toolTip;
};

// Kept under the "GX_GadgetStack_<instance>" property of every window that has been a gadget list.
struct GadgetListRecord {
    HWND window;
    HWND savedList;  // the context's gadget-list state while another window is current
    WNDPROC previousProcedure;
};

struct FontRecord {
    HFONT font;
};

const int INITIAL_GADGET_COUNT = 50;
const int INITIAL_FONT_COUNT = 16;
const int EDGE_SWITCH = 0x20000;  // labels gain a sunken edge with it, text fields lose theirs
const int POINTS_PER_INCH = 72;
const int STOCK_FONT_POINTS = 8;  // the stock GUI font's size on Windows, at every dpi
const char GADGET_ID_PROPERTY[] = "GX_ID";

ObjectTable* gadgetsTable;
ObjectTable* fontsTable;
int gadgetAreaOffset;
HFONT defaultFont;
WNDPROC editProcedure;  // the "Edit" class procedure, shared by all text fields
char gadgetListProperty[40];

// --- Kind operations ---

int CheckState(GadgetRecord* gadget) { return static_cast<int>(SendMessageA(gadget->control, BM_GETCHECK, 0, 0) & 1); }

void SetCheckState(GadgetRecord* gadget, int value) {
    SendMessageA(gadget->control, BM_SETCHECK, value ? BST_CHECKED : BST_UNCHECKED, 0);
    UpdateWindow(gadget->control);  // drawn at once, like a new gadget
}

int ProgressPosition(GadgetRecord* gadget) { return static_cast<int>(SendMessageA(gadget->control, PBM_GETPOS, 0, 0)); }

void SetProgressPosition(GadgetRecord* gadget, int value) {
    SendMessageA(gadget->control, PBM_SETPOS, static_cast<WPARAM>(value), 0);
}

// Labels and progress bars are left out of Tab navigation: no WS_TABSTOP.
const DWORD VISIBLE_CHILD = WS_CHILD | WS_VISIBLE;
const DWORD TAB_CHILD = VISIBLE_CHILD | WS_TABSTOP | WS_GROUP;
// clang-format off
const GadgetKind buttonKind = {KIND_BUTTON, "Button", TAB_CHILD, nullptr, nullptr, CheckState, SetCheckState,
                               nullptr, nullptr, nullptr};
const GadgetKind textFieldKind = {KIND_TEXT_FIELD, "Edit", TAB_CHILD | ES_AUTOHSCROLL, nullptr, nullptr, nullptr,
                                  nullptr, nullptr, nullptr, nullptr};
const GadgetKind labelKind = {KIND_LABEL, "Static", VISIBLE_CHILD | WS_GROUP, nullptr, nullptr, nullptr, nullptr,
                              nullptr, nullptr, nullptr};
const GadgetKind checkBoxKind = {KIND_CHECK_BOX, "Button", TAB_CHILD | BS_AUTOCHECKBOX, nullptr, nullptr, CheckState,
                                 SetCheckState, nullptr, nullptr, nullptr};
const GadgetKind progressBarKind = {KIND_PROGRESS_BAR, PROGRESS_CLASSA, VISIBLE_CHILD, nullptr, nullptr,
                                    ProgressPosition, SetProgressPosition, nullptr, nullptr, nullptr};
// clang-format on

GadgetContext* CurrentContext() { return static_cast<GadgetContext*>(ThreadSlot(gadgetAreaOffset)); }

void InitGadgetArea(void* area) { static_cast<GadgetContext*>(area)->newGadgetFont = defaultFont; }

// The thread's windows, tooltip included, die with the thread; nothing is left to destroy, only to forget.
void EndGadgetArea(void* area) {
    GadgetContext* context = static_cast<GadgetContext*>(area);
    context->currentList = nullptr;
    context->toolTip = nullptr;
}

GadgetRecord* FindGadget(int gadget) { return static_cast<GadgetRecord*>(LookupObject(gadgetsTable, gadget)); }

int IdentifierOf(HWND control) { return GetWindowLongA(control, GWL_ID); }

// The gadgets table's free operation: destroying the control makes its handler release the record.
void FreeGadget(int number) {
    GadgetRecord* gadget = FindGadget(number);
    if (!gadget) return;
    DestroyWindow(gadget->control);
    // A control of another thread cannot be destroyed from here; its slot is still handed out clean.
    if (FindGadget(number) == gadget) ReleaseObject(gadgetsTable, number);
}

LRESULT CALLBACK GadgetMessageHandler(HWND control, UINT message, WPARAM wParam, LPARAM lParam) {
    int number = IdentifierOf(control);
    GadgetRecord* gadget = number == -1 ? nullptr : FindGadget(number);  // -1: already released
    if (!gadget || gadget->control != control) return PassOnMessage(nullptr, control, message, wParam, lParam);

    const GadgetKind* kind = gadget->kind;
    LRESULT result = CallWindowProcA(gadget->previousProcedure, control, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        if (kind->onDestroy) kind->onDestroy(gadget);
        RemovePropA(control, GADGET_ID_PROPERTY);
        SetWindowLongA(control, GWL_ID, -1);
        ReleaseObject(gadgetsTable, number);
    }
    return result;
}

// The numbered window a control belongs to, or the topmost window reached.
HWND OwningWindowOf(HWND window) {
    HWND current = window;
    while (!GetPropA(current, WINDOW_ID_PROPERTY)) {
        HWND parent = GetParent(current);
        if (!parent) break;
        current = parent;
    }
    return current;
}

// In front of the "Edit" procedure: entering and leaving a field become gadget events.
LRESULT CALLBACK FieldFocusNotifier(HWND field, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SETFOCUS || message == WM_KILLFOCUS) {
        LPARAM type = message == WM_SETFOCUS ? GADGET_GOT_FOCUS : GADGET_LOST_FOCUS;
        PostMessageA(OwningWindowOf(field), MSG_GADGET_NOTIFY, static_cast<WPARAM>(IdentifierOf(field)), type);
    }
    return CallWindowProcA(editProcedure, field, message, wParam, lParam);
}

// Ties a live record's control to the gadget number it is known by.
void AttachGadget(int number, GadgetRecord* gadget, HWND control) {
    gadget->previousProcedure =
        reinterpret_cast<WNDPROC>(SetWindowLongA(control, GWL_WNDPROC, reinterpret_cast<LONG>(GadgetMessageHandler)));
    SetWindowLongA(control, GWL_ID, number);
    SetPropA(control, GADGET_ID_PROPERTY, reinterpret_cast<HANDLE>(static_cast<INT_PTR>(number)));
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(CurrentContext()->newGadgetFont), TRUE);
    // Drawn now, while the window is being built: seen on Wine, each button's paint erases the window behind
    // it, and a paint left for later comes back from the fetch together with that repaint; drawn here, the
    // repaints of one build follow each other and are queued as one.
    UpdateWindow(control);
}

// The creation frame shared by every kind. The number's old gadget goes first, also when the new control cannot be
// made (with no current gadget list, for one).
int CreateGadget(const GadgetKind* kind, int number, int x, int y, int width, int height, const char* text, int flags,
                 DWORD extendedStyle, int minimum, int maximum) {
    GadgetRecord* gadget = static_cast<GadgetRecord*>(AllocateObject(gadgetsTable, number));
    if (!gadget) return 0;
    HWND list = CurrentContext()->currentList;
    int isProgressBar = kind->code == KIND_PROGRESS_BAR;
    HMENU identifier = reinterpret_cast<HMENU>(static_cast<INT_PTR>(isProgressBar ? 0 : -1));
    HWND control =
        list ? CreateWindowExA(extendedStyle, kind->platformClass, isProgressBar ? nullptr : (text ? text : ""),
                               kind->style | static_cast<DWORD>(flags), ScaleToDisplay(x), ScaleToDisplay(y),
                               ScaleToDisplay(width), ScaleToDisplay(height), list, identifier, ProgramInstance(),
                               nullptr)
             : nullptr;
    if (control && kind->code == KIND_TEXT_FIELD) {
        WNDPROC replaced =
            reinterpret_cast<WNDPROC>(SetWindowLongA(control, GWL_WNDPROC, reinterpret_cast<LONG>(FieldFocusNotifier)));
        if (!editProcedure) editProcedure = replaced;
    } else if (control && isProgressBar) {
        SendMessageA(control, PBM_SETRANGE32, static_cast<WPARAM>(minimum), static_cast<LPARAM>(maximum));
    }
    gadget->kind = kind;
    int result = CompleteCreate(gadgetsTable, number, gadget, control);
    if (result) AttachGadget(NumberOfNewObject(number, gadget), gadget, control);
    return result;
}

LRESULT CALLBACK GadgetListHandler(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    GadgetListRecord* list = static_cast<GadgetListRecord*>(GetPropA(window, gadgetListProperty));
    WNDPROC previous = list ? list->previousProcedure : nullptr;
    if (list && message == WM_NCDESTROY) {
        GadgetContext* context = CurrentContext();
        if (context->currentList == window) context->currentList = nullptr;
        RemovePropA(window, gadgetListProperty);
        HeapFree(ApplicationHeap(), 0, list);
    }
    return PassOnMessage(previous, window, message, wParam, lParam);
}

// The tooltip stays above the windows it describes: raised on every paint.
LRESULT CALLBACK ToolTipRaiser(HWND tip, UINT message, WPARAM wParam, LPARAM lParam) {
    WNDPROC previous = reinterpret_cast<WNDPROC>(GetWindowLongA(tip, GWL_USERDATA));
    if (message == WM_PAINT) SetWindowPos(tip, HWND_TOP, 0, 0, 0, 0, SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOSIZE);
    return PassOnMessage(previous, tip, message, wParam, lParam);
}

HWND CreateToolTipWindow() {
    HWND tip =
        CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, ProgramInstance(), nullptr);
    if (!tip) return nullptr;
    LONG replaced = SetWindowLongA(tip, GWL_WNDPROC, reinterpret_cast<LONG>(ToolTipRaiser));
    SetWindowLongA(tip, GWL_USERDATA, replaced);
    return tip;
}

// The font of new gadgets: the stock GUI font at the display's scale; at 96 dpi the stock object itself.
// Windows hands the stock font out at its 96-dpi size (8 points there) whatever the display; Wine already makes
// it for the display (seen: height -11 at 96 dpi, -17 at 144, -22 at 192). So a scaled copy is made only where
// the stock font is still smaller than 8 points at the display's dpi, and it is never scaled twice. The copy
// lives as long as the process, like the stock object it stands in for.
HFONT DefaultFontForDisplay() {
    HFONT stock = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    LOGFONTA look;
    if (!GetObjectA(stock, sizeof(look), &look)) return stock;
    int height = look.lfHeight < 0 ? -look.lfHeight : look.lfHeight;
    if (ScaleToDisplay(height) == height || height >= MulDiv(STOCK_FONT_POINTS, DisplayDpi(), POINTS_PER_INCH)) {
        return stock;
    }
    look.lfHeight = ScaleToDisplay(look.lfHeight);
    HFONT scaled = CreateFontIndirectA(&look);
    return scaled ? scaled : stock;
}

HFONT FontOfValue(int font) { return font == -1 ? defaultFont : reinterpret_cast<HFONT>(static_cast<INT_PTR>(font)); }

}  // namespace

// --- Start steps ---

void InitFontLibrary() { fontsTable = CreateObjectTable(sizeof(FontRecord), INITIAL_FONT_COUNT, DestroyNumberedFont); }

void InitGadgetLibrary() {
    defaultFont = DefaultFontForDisplay();
    gadgetsTable = CreateObjectTable(sizeof(GadgetRecord), INITIAL_GADGET_COUNT, FreeGadget);
    gadgetAreaOffset = ReserveThreadSlot(sizeof(GadgetContext), InitGadgetArea, EndGadgetArea);
    wsprintfA(gadgetListProperty, "GX_GadgetStack_%i", static_cast<int>(reinterpret_cast<INT_PTR>(ProgramInstance())));
    INITCOMMONCONTROLSEX classes = {sizeof(INITCOMMONCONTROLSEX),
                                    ICC_TAB_CLASSES | ICC_DATE_CLASSES | ICC_USEREX_CLASSES | ICC_INTERNET_CLASSES};
    InitCommonControlsEx(&classes);
}

// --- Creation ---

int AddLabel(int number, int x, int y, int width, int height, const char* text, int flags) {
    DWORD edge = (flags & EDGE_SWITCH) ? WS_EX_CLIENTEDGE : 0;
    return CreateGadget(&labelKind, number, x, y, width, height, text, flags, edge, 0, 0);
}

int AddTextField(int number, int x, int y, int width, int height, const char* text, int flags) {
    DWORD edge = (flags & EDGE_SWITCH) ? 0 : WS_EX_CLIENTEDGE;
    return CreateGadget(&textFieldKind, number, x, y, width, height, text, flags, edge, 0, 0);
}

int AddPushButton(int number, int x, int y, int width, int height, const char* text, int flags) {
    return CreateGadget(&buttonKind, number, x, y, width, height, text, flags, 0, 0, 0);
}

int AddCheckBox(int number, int x, int y, int width, int height, const char* text, int flags) {
    return CreateGadget(&checkBoxKind, number, x, y, width, height, text, flags, 0, 0, 0);
}

int AddProgressBar(int number, int x, int y, int width, int height, int minimum, int maximum, int flags) {
    return CreateGadget(&progressBarKind, number, x, y, width, height, nullptr, flags, 0, minimum, maximum);
}

// --- Generic operations ---

void PutGadgetText(int gadget, const char* text) {
    GadgetRecord* record = FindGadget(gadget);
    if (!record) return;
    if (!text) text = "";
    if (record->kind->setText) record->kind->setText(record, text);
    else SetWindowTextA(record->control, text);
}

char* ReadGadgetText(int gadget, int start) {
    GadgetRecord* record = FindGadget(gadget);
    if (record && record->kind->getText) return record->kind->getText(record, start);
    int length = record ? GetWindowTextLengthA(record->control) : 0;
    if (length < 0) length = 0;
    char* text = ReserveText(length, start);
    text[0] = 0;
    if (!record) return text;
    // The terminator falls into the spare bytes the builder keeps behind every reservation.
    int read = GetWindowTextA(record->control, text, length + 1);
    if (read < 0 || read > length) read = 0;
    GiveBackText(length - read);
    return text;
}

void PutGadgetState(int gadget, int value) {
    GadgetRecord* record = FindGadget(gadget);
    if (record && record->kind->setState) record->kind->setState(record, value);
}

int ReadGadgetState(int gadget) {
    GadgetRecord* record = FindGadget(gadget);
    return (record && record->kind->getState) ? record->kind->getState(record) : 0;
}

void ShowOrHideGadget(int gadget, int hide) {
    GadgetRecord* record = FindGadget(gadget);
    if (!record) return;
    if (record->kind->hide) record->kind->hide(record, hide);
    else ShowWindow(record->control, hide ? SW_HIDE : SW_SHOW);
    UpdateWindow(GetParent(record->control));  // the uncovered or covered part drawn at once, like a new gadget
}

void ApplyGadgetFont(int gadget, int font) {
    if (gadget == -1) {
        CurrentContext()->newGadgetFont = FontOfValue(font);
        return;
    }
    GadgetRecord* record = FindGadget(gadget);
    if (record) SendMessageA(record->control, WM_SETFONT, reinterpret_cast<WPARAM>(FontOfValue(font)), TRUE);
}

void AttachToolTip(int gadget, const char* text) {
    if (!text) text = "";
    GadgetRecord* record = FindGadget(gadget);
    if (!record) return;
    GadgetContext* context = CurrentContext();
    if (!context->toolTip) context->toolTip = CreateToolTipWindow();

    TOOLINFOA tool = {};
    tool.cbSize = sizeof(tool);
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = GetParent(record->control);
    tool.uId = reinterpret_cast<UINT_PTR>(record->control);
    tool.lpszText = const_cast<char*>(text);
    SendMessageA(context->toolTip, TTM_DELTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
    SendMessageA(context->toolTip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
}

void DestroyToolTipWindow() {
    GadgetContext* context = CurrentContext();
    if (!context->toolTip) return;
    DestroyWindow(context->toolTip);
    context->toolTip = nullptr;
}

// --- Gadget lists and routing ---

HWND SelectGadgetList(HWND window) {
    GadgetContext* context = CurrentContext();
    HWND previous = context->currentList;
    if (!window) return previous;
    if (previous) {
        GadgetListRecord* saved = static_cast<GadgetListRecord*>(GetPropA(previous, gadgetListProperty));
        if (saved) saved->savedList = context->currentList;
    }
    GadgetListRecord* list = static_cast<GadgetListRecord*>(GetPropA(window, gadgetListProperty));
    if (list) {
        context->currentList = list->savedList;
        return previous;
    }
    list = static_cast<GadgetListRecord*>(HeapAlloc(ApplicationHeap(), HEAP_ZERO_MEMORY, sizeof(GadgetListRecord)));
    if (!list) return previous;  // without its record the window cannot be told apart as a gadget list
    context->currentList = window;
    list->window = window;
    list->savedList = window;
    SetPropA(window, gadgetListProperty, list);
    list->previousProcedure =
        reinterpret_cast<WNDPROC>(SetWindowLongA(window, GWL_WNDPROC, reinterpret_cast<LONG>(GadgetListHandler)));
    return previous;
}

LRESULT RouteToGadgetKind(HWND control, HWND parent, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!control) return NOT_HANDLED;
    int number = static_cast<int>(reinterpret_cast<INT_PTR>(GetPropA(control, GADGET_ID_PROPERTY)));
    if (number != IdentifierOf(control)) return NOT_HANDLED;
    GadgetRecord* gadget = FindGadget(number);
    if (!gadget || !gadget->kind->handleMessage) return NOT_HANDLED;
    return gadget->kind->handleMessage(gadget, parent, message, wParam, lParam);
}

// --- Fonts ---

int CreateNumberedFont(int number, const char* faceName, int size, int flags) {
    FontRecord* record = static_cast<FontRecord*>(AllocateObject(fontsTable, number));
    if (!record) return 0;
    HFONT font = nullptr;
    if (HDC display = CreateDCA("DISPLAY", nullptr, nullptr, nullptr)) {
        int height = -MulDiv(size, GetDeviceCaps(display, LOGPIXELSY), POINTS_PER_INCH);
        font = CreateFontA(height, 0, 0, 0, (flags & FONT_BOLD) ? FW_BOLD : FW_NORMAL, (flags & FONT_ITALIC) ? 1 : 0,
                           (flags & FONT_UNDERLINE) ? 1 : 0, (flags & FONT_STRIKEOUT) ? 1 : 0, DEFAULT_CHARSET,
                           OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                           (flags & FONT_HIGH_QUALITY) ? PROOF_QUALITY : DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                           faceName ? faceName : "");
        DeleteDC(display);
    }
    return CompleteCreate(fontsTable, number, record, font);
}

void DestroyNumberedFont(int number) {
    FontRecord* record = static_cast<FontRecord*>(LookupObject(fontsTable, number));
    if (!record) return;
    DeleteObject(record->font);
    ReleaseObject(fontsTable, number);
}

void DestroyAllFonts() { FreeAllObjects(fontsTable); }

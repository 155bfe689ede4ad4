// Tests of the window runtime under Wine: events, placement, focus, shortcuts and menus, gadgets, message boxes.
// Contract: one program with real windows on the session's display; keys go through the platform's input queue,
// every wait is a poll with a time limit, and every test closes its windows.
#include <process.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include <string>

#include <gtest/gtest.h>

#include "core/frame.h"
#include "core/strings.h"
#include "tests/support/display_dpi.h"
#include "tools/driver/driver.h"
#include "ui/gadget.h"
#include "ui/menu.h"
#include "ui/requester.h"
#include "ui/runtime.h"
#include "ui/window.h"

namespace {

const int FRAME = WS_CAPTION | WS_SYSMENU;

// Polls for at most limit ms; with pump, the thread's messages are handled through the event stream meanwhile
// (a condition that fetches events itself goes without, or every other event would be lost to the pump).
template <typename Condition>
bool WaitFor(Condition condition, DWORD limit = 5000, bool pump = true) {
    for (DWORD begin = GetTickCount(); !condition(); pump && FetchEvent(10))
        if (GetTickCount() - begin > limit) return false;
    return true;
}

void Drain() {
    for (int round = 0; round < 10000 && (PollEvent() || PollEvent()); ++round) continue;
}

bool MenuEventArrives(int item, DWORD limit = 5000) {
    return WaitFor([&] { return FetchEvent(20) == EVENT_MENU && EventSourceItem() == item; }, limit, false);
}

// A key through the platform's input queue, with a modifier key (0: none) held around it.
void PressKey(BYTE key, BYTE modifier = 0) {
    const BYTE keys[] = {modifier, key, key, modifier};
    for (int i = 0; i < 4; ++i)
        if (keys[i]) keybd_event(keys[i], 0, i < 2 ? 0 : KEYEVENTF_KEYUP, 0);
}

bool BringToFront(HWND window) {
    SetForegroundWindow(window), SetActiveWindow(window);
    return WaitFor([&] { return GetActiveWindow() == window && GetForegroundWindow() == window; });
}

HWND Gadget(int number) { return GetDlgItem(WindowHandleOf(0), number); }

void AddInfoMenu(int window) {
    CreateWindowMenu(window, WindowHandleOf(window));
    AddMenuTitle("&Info");
    AddMenuItem(70001, "&Eins");  // arrives as its low 16 bits
}

// The installer's window: field 3, button 4, check box 11, status label 8, progress bar 13, buttons 5 and 6.
HWND OpenInstallerWindow() {
    if (!CreateNumberedWindow(0, 500, 500, 390, 170, "Installation", FRAME | WINDOW_CENTRE_SCREEN)) return nullptr;
    AddInfoMenu(0);
    AddLabel(7, 15, 14, 45, 18, "Zielpfad:");
    AddTextField(3, 62, 11, 270, 20, "C:\\Programme\\");
    AddPushButton(4, 340, 10, 35, 22, "Pfad");
    AddCheckBox(11, 62, 48, 290, 17, " Desktopverknüpfung erzeugen");
    AddLabel(8, 0, 80, 390, 22, "Status", SS_CENTER);
    AddProgressBar(13, 48, 110, 294, 15, 0, 30);
    AddPushButton(5, 119, 111, 50, 24, "Ja");
    AddPushButton(6, 221, 111, 50, 24, "Nein");
    AddShortcut(0, VK_ESCAPE, 6);
    return BringToFront(WindowHandleOf(0)) ? WindowHandleOf(0) : nullptr;
}

class Ui : public ::testing::Test {
protected:
    static void SetUpTestSuite() { PlugWindowRuntime(), StartRuntime(); }
    void TearDown() override { DestroyAllWindows(), ApplyGadgetFont(-1, -1), Drain(); }
};

TEST_F(Ui, MessagesBecomeEventsInOrder) {
    EXPECT_EQ(0, PollEvent());  // at once: nothing is there
    // Hidden windows: Wine waits up to 2 s for every shown window taken down. Each message goes to window 1 (2 where
    // marked), sent or posted; the events queued so far are checked where listed (up to 0), then the event source.
    // The event codes are those the program's design fixes: 3 moved, 5 resized, 15 repaint, 16 close requested,
    // 13100 gadget, 13101 menu or shortcut, 13104 activated, 13107 minimised, 13108 maximised, 13109 restored.
    ASSERT_NE(0, CreateNumberedWindow(1, 50, 60, 200, 100, "Eins", FRAME | WINDOW_HIDDEN));
    ASSERT_NE(0, CreateNumberedWindow(2, 300, 60, 100, 50, "Zwei", FRAME | WINDOW_HIDDEN | WINDOW_NO_GADGET_LIST));
    Drain();
    // clang-format off
    const struct { UINT message; WPARAM wParam; int post, window, source, events[6]; } steps[] = {
        {WM_SIZE, SIZE_RESTORED, 0, 1, 0, {5, 0}},  // never minimised or maximised: size only
        {WM_SIZE, SIZE_MAXIMIZED, 0, 1, 0, {-1}}, {WM_ACTIVATE, WA_INACTIVE, 0, 1, 0, {-1}},
        {WM_SIZE, SIZE_RESTORED, 0, 1, 0, {-1}}, {WM_ACTIVATE, WA_ACTIVE, 0, 1, 0, {13108, 5, 13109, 5, 13104, 0}},
        {WM_SIZE, SIZE_MINIMIZED, 0, 1, 0, {-1}}, {WM_SIZE, SIZE_RESTORED, 0, 1, 0, {13107, 13109, 5, 0}},
        // Equal events collapse only against the queue's tail, and only for the same window.
        {WM_MOVE, 0, 0, 1, 0, {-1}}, {WM_MOVE, 0, 0, 1, 0, {-1}}, {WM_MOVE, 0, 0, 2, 0, {-1}},
        {WM_CLOSE, 0, 0, 1, 0, {-1}}, {WM_MOVE, 0, 0, 1, 0, {-1}}, {WM_CLOSE, 0, 0, 1, 0, {-1}},
        {WM_CLOSE, 0, 0, 1, 0, {3, 3, 16, 3, 16, 0}},
        {WM_CLOSE, 0, 1, 1, 0, {WM_CLOSE, 16, 0}},  // its own number, then the close request
        {WM_ERASEBKGND, 0, 0, 1, 0, {15, 0}},
        {WM_USER + 7, 0, 1, 1, 0, {WM_USER + 7, 0}},  // untranslated: its own number
        {WM_NULL, 0, 1, 1, 0, {0}},
        {MSG_GADGET_NOTIFY, 42, 1, 1, 42, {13100, 0}},
        {WM_MOVE, 0, 0, 1, 42, {3, 0}},  // the source stays that of the last gadget event
        {WM_COMMAND, MAKEWPARAM(9, 0), 1, 1, 9, {13101, 0}},  // a menu choice
        {WM_COMMAND, MAKEWPARAM(6, 1), 1, 1, 6, {13101, 0}},  // a shortcut
        {WM_COMMAND, MAKEWPARAM(CMD_NEXT_FIELD, 1), 1, 1, 6, {WM_COMMAND, 0}},  // moves the focus only
    };
    // clang-format on
    for (const auto& step : steps) {
        SCOPED_TRACE(&step - steps);
        if (step.post) PostMessageA(WindowHandleOf(step.window), step.message, step.wParam, 0);
        else SendMessageA(WindowHandleOf(step.window), step.message, step.wParam, 0);
        for (int event = 0; step.events[0] != -1 && (event == 0 || step.events[event - 1]); ++event)
            EXPECT_EQ(step.events[event], PollEvent()) << "event " << event;
        if (step.source) EXPECT_EQ(step.source, EventSourceGadget());
    }
}

TEST_F(Ui, WindowsKeepClientSizeAndPlacementWhenTheMenuBarAppears) {
    const RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    ASSERT_NE(0, CreateNumberedWindow(5, 100, 100, 600, 400, "Vorn", FRAME | WINDOW_NO_GADGET_LIST));
    // centre: 0 at x, y; 1 on the screen; 2 on window 5, then the active window. menu: 1 a title and an item; 2 items
    // only, wrapping the bar, after a menu that ended in a drop-down (measured after a new frame: drawn on the bar).
    // clang-format off
    const struct { int x, y, width, height, flags, centre, menu; } rows[] = {
        {120, 140, 200, 100, 0, 0, 0},  // flags 0: a caption all the same
        {40, 50, 390, 170, FRAME | WINDOW_HIDDEN, 0, 1},
        {40, 50, 390, 170, FRAME | WINDOW_HIDDEN, 0, 2},
        {500, 500, 390, 170, FRAME | WINDOW_CENTRE_SCREEN, 1, 1},  // the installer's window
        {0, 0, 390, 170, FRAME | WINDOW_CENTRE_ACTIVE, 2, 1},
        {0, 0, 5000, 4000, FRAME | WINDOW_CENTRE_SCREEN | WINDOW_HIDDEN, 1, 0},  // larger than the screen: shrunk to it
    };
    // clang-format on
    for (const auto& row : rows) {
        SCOPED_TRACE(&row - rows);
        RECT reference = screen, outer, client;
        if (row.centre == 2) ASSERT_TRUE(BringToFront(WindowHandleOf(5)));
        if (row.centre == 2) GetWindowRect(WindowHandleOf(5), &reference);
        ASSERT_NE(0, CreateNumberedWindow(6, row.x, row.y, row.width, row.height, nullptr, row.flags));
        if (row.menu == 1) AddInfoMenu(6);
        if (row.menu == 2) {
            CreateWindowMenu(6, WindowHandleOf(6));
            for (int item = 0; item < 12; ++item) AddMenuItem(item, "Eintrag");
            SetWindowPos(WindowHandleOf(6), 0, 0, 0, 0, 0, SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER);
        }
        GetWindowRect(WindowHandleOf(6), &outer);
        GetClientRect(WindowHandleOf(6), &client);
        int width = outer.right - outer.left, height = outer.bottom - outer.top;
        bool shrunk = row.width > screen.right;
        EXPECT_EQ(shrunk ? screen.right : row.width, shrunk ? width : client.right);
        EXPECT_EQ(shrunk ? screen.bottom : row.height, shrunk ? height : client.bottom);
        EXPECT_EQ(row.centre ? reference.left + (reference.right - reference.left - width) / 2 : row.x, outer.left);
        EXPECT_EQ(row.centre ? reference.top + (reference.bottom - reference.top - height) / 2 : row.y, outer.top);
        EXPECT_EQ(WS_CAPTION, GetWindowLongA(WindowHandleOf(6), GWL_STYLE) & WS_CAPTION);
    }
}

bool TabMovesFocusTo(BYTE modifier, int expected) {
    PressKey(VK_TAB, modifier);
    return WaitFor([&] { return GetFocus() == Gadget(expected); });
}

TEST_F(Ui, TabWrapsOverTheTabStopsAndShortcutsAreMenuEventsOfTheActiveWindowOnly) {
    ASSERT_TRUE(OpenInstallerWindow());
    HMENU bar = GetMenu(WindowHandleOf(0));
    EXPECT_EQ(1, GetMenuItemCount(bar));  // the menu's one title
    SetFocus(Gadget(3));
    // clang-format off
    const struct { BYTE modifier; int expected; } steps[] = {{0, 4}, {0, 11}, {0, 5}, {0, 6}, {0, 3}, {0, 4},
        {VK_SHIFT, 3}, {VK_SHIFT, 6}, {VK_SHIFT, 5}, {VK_SHIFT, 11}, {VK_SHIFT, 4}, {VK_SHIFT, 3}, {VK_SHIFT, 6}};
    // clang-format on
    for (const auto& step : steps) ASSERT_TRUE(TabMovesFocusTo(step.modifier, step.expected)) << step.expected;
    ShowOrHideGadget(5, 1);
    EnableWindow(Gadget(11), FALSE);
    SetFocus(Gadget(4));
    EXPECT_TRUE(TabMovesFocusTo(0, 6));
    ShowOrHideGadget(5, 0);
    EXPECT_TRUE(TabMovesFocusTo(VK_SHIFT, 5));

    ASSERT_TRUE(AddShortcut(0, VK_F5 | SHORTCUT_CONTROL, 8));
    ASSERT_TRUE(AddShortcut(0, VK_TAB, 77));      // replaces the plain Tab of the focus moves
    EXPECT_FALSE(AddShortcut(42, VK_ESCAPE, 6));  // no such window
    SetFocus(Gadget(3));
    // clang-format off
    const struct { BYTE key, modifier; int item; } keys[] = {  // Alt+I opens the drop-down, E chooses the item
        {VK_ESCAPE, 0, 6}, {VK_F5, VK_CONTROL, 8}, {VK_TAB, 0, 77}, {'I', VK_MENU, 0}, {'E', 0, 70001 & 0xFFFF}};
    // clang-format on
    for (const auto& key : keys) {
        PressKey(key.key, key.modifier);
        if (key.item) EXPECT_TRUE(MenuEventArrives(key.item)) << "key " << int(key.key);
    }
    EXPECT_EQ(Gadget(3), GetFocus());
    EXPECT_TRUE(TabMovesFocusTo(VK_SHIFT, 6));  // Shift+Tab still moves the focus
    ASSERT_NE(0, CreateNumberedWindow(1, 10, 10, 120, 60, "Anderes", FRAME | WINDOW_NO_GADGET_LIST));
    ASSERT_TRUE(BringToFront(WindowHandleOf(1)));
    PressKey(VK_ESCAPE);
    EXPECT_FALSE(MenuEventArrives(6, 500));
    ASSERT_TRUE(BringToFront(WindowHandleOf(0)));
    PressKey(VK_ESCAPE);
    EXPECT_TRUE(MenuEventArrives(6));
    DestroyNumberedWindow(0);
    EXPECT_FALSE(IsMenu(bar)) << "the menu goes with its window";
}

TEST_F(Ui, GadgetsShowStateTextFocusAndFontByKindAndNeedAGadgetList) {
    ASSERT_TRUE(OpenInstallerWindow());
    // A check box knows only 0 and 1, the progress bar its position; labels, fields and unknown numbers no state.
    // clang-format off
    const struct { int gadget, value, expected; } states[] = {
        {11, 0, 0}, {11, 5, 1}, {11, -1, 1}, {13, 17, 17}, {13, 0, 0}, {7, 1, 0}, {3, 1, 0}, {99, 1, 0}};
    // clang-format on
    for (const auto& row : states) {
        PutGadgetState(row.gadget, row.value);
        EXPECT_EQ(row.expected, ReadGadgetState(row.gadget)) << row.gadget << " " << row.value;
    }
    int before = BuilderPosition();
    for (const char* text : {"C:\\Daten\\Müller ©\\", "", static_cast<const char*>(nullptr)}) {
        PutGadgetText(3, text);
        EXPECT_STREQ(text ? text : "", ReadGadgetText(3, -1));
        EXPECT_EQ(before + static_cast<int>(text ? strlen(text) : 0), BuilderPosition());
        RestorePosition(before);
    }
    EXPECT_STREQ("", ReadGadgetText(12345, -1));  // no such gadget

    MSG note;  // entering and leaving the field post its got-focus, then its lost-focus note to its window
    SetFocus(Gadget(5));
    while (PeekMessageA(&note, nullptr, MSG_GADGET_NOTIFY, MSG_GADGET_NOTIFY, PM_REMOVE)) continue;
    SetFocus(Gadget(3)), SetFocus(Gadget(5));
    for (LPARAM type : {GADGET_GOT_FOCUS, GADGET_LOST_FOCUS}) {
        ASSERT_TRUE(PeekMessageA(&note, nullptr, MSG_GADGET_NOTIFY, MSG_GADGET_NOTIFY, PM_REMOVE));
        EXPECT_TRUE(note.hwnd == WindowHandleOf(0) && note.wParam == 3 && note.lParam == type) << type;
    }

    int font = CreateNumberedFont(1, "Verdana", 9, FONT_BOLD);
    LOGFONTA look;
    ASSERT_TRUE(GetObjectA(reinterpret_cast<HFONT>(font), sizeof(look), &look));
    EXPECT_EQ(-12, look.lfHeight);  // 9 points at 96 pixels per inch
    EXPECT_EQ(FW_BOLD, look.lfWeight);
    ApplyGadgetFont(-1, font);  // for the gadgets created from now on
    AddLabel(9, 0, 130, 390, 22, "Nachher");
    ApplyGadgetFont(8, font);
    const HFONT fonts[] = {static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)), reinterpret_cast<HFONT>(font)};
    for (int gadget : {7, 8, 9})
        EXPECT_EQ(fonts[gadget != 7], reinterpret_cast<HFONT>(SendMessageA(Gadget(gadget), WM_GETFONT, 0, 0)));
    DestroyAllFonts();

    // A gadget list goes with its window. Without one no control can be made, and the failed create leaves nothing
    // under its number: the number's old gadget goes first, as for any create of a number in use.
    ASSERT_NE(0, CreateNumberedWindow(1, 10, 10, 120, 60, "Liste", FRAME | WINDOW_HIDDEN));
    DestroyNumberedWindow(1);
    HWND box = Gadget(11);
    PutGadgetState(11, 1);
    EXPECT_EQ(0, AddCheckBox(11, 0, 0, 10, 10, "x"));
    EXPECT_FALSE(IsWindow(box) || ReadGadgetState(11));
}

const int TEXT_GADGETS[] = {7, 3, 4, 11, 8, 5, 6};  // the installer's gadgets but the progress bar
const int TEXT_GADGET_COUNT = sizeof TEXT_GADGETS / sizeof TEXT_GADGETS[0];

// The installer's window, its status text in font 1: the share of its box's width each gadget's text takes in its font.
void MeasureTextShares(double* shares) {
    ASSERT_TRUE(OpenInstallerWindow());
    PutGadgetText(8, "Software für BrindaVel nun installieren ?");
    ApplyGadgetFont(8, CreateNumberedFont(1, "Verdana", 9, FONT_BOLD));
    for (int gadget : TEXT_GADGETS) {
        HWND control = Gadget(gadget);
        char text[128];
        SIZE size = {};
        RECT box;
        HDC dc = GetDC(control);
        HGDIOBJ kept = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(control, WM_GETFONT, 0, 0)));
        GetTextExtentPoint32A(dc, text, GetWindowTextA(control, text, sizeof text), &size);
        SelectObject(dc, kept), ReleaseDC(control, dc), GetWindowRect(control, &box);
        *shares++ = static_cast<double>(size.cx) / (box.right - box.left);
    }
    DestroyAllWindows(), DestroyAllFonts();
}

// Fresh processes of this program (the runtime reads the dpi at its start) open the window at 144 and 192 dpi: each
// gadget's text keeps its room at 96 (+5%: nothing whole here is cut there), and grows with the display (>= 85%).
TEST_F(Ui, GadgetTextsKeepTheirRoomAtTheDisplaysScale) {
    double shares[TEXT_GADGET_COUNT];
    MeasureTextShares(shares);
    ASSERT_FALSE(HasFatalFailure());
    if (char* room = getenv("BRV_ROOM_AT_96")) {  // one of the fresh processes: "dpi share share ..."
        ASSERT_EQ(strtol(room, &room, 10), DisplayDpi()) << "the display setting did not reach this process";
        for (int i = 0; i < TEXT_GADGET_COUNT; ++i) {
            double was = strtod(room, &room);
            EXPECT_TRUE(shares[i] <= 1.05 * was && shares[i] >= 0.85 * was) << TEXT_GADGETS[i] << ": " << shares[i];
        }
        return;
    }
    ASSERT_EQ(96, DisplayDpi());
    char program[MAX_PATH], filter[128];
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    const char* name = testing::UnitTest::GetInstance()->current_test_info()->name();
    snprintf(filter, sizeof filter, "--gtest_filter=Ui.%s", name);
    for (int dpi : {144, 192}) {
        std::string room = "BRV_ROOM_AT_96=" + std::to_string(dpi);
        for (double share : shares) room += " " + std::to_string(share);
        DisplayDpiSetting display(dpi);
        _putenv(room.c_str());
        EXPECT_EQ(0, _spawnl(_P_WAIT, program, "ui_test", filter, nullptr)) << "at " << dpi << " dpi, reported above";
    }
    _putenv("BRV_ROOM_AT_96=");
}

// What a helper thread sees of this process's message box while it is open (owner, windows 0 to 3 enabled); answers.
struct BoxSeen {
    int answer;
    DrvBox box;
    HWND owner;
    bool enabled[4];
};

DWORD WINAPI SeeAndAnswer(void* argument) {
    BoxSeen* seen = static_cast<BoxSeen*>(argument);
    DrvProcess self = {GetCurrentProcess(), nullptr, GetCurrentProcessId()};
    if (!DrvWaitBox(&self, 1, 30000, &seen->box)) return 0;
    seen->owner = GetWindow(seen->box.hwnd, GW_OWNER);
    for (int number = 0; number < 4; ++number) seen->enabled[number] = IsWindowEnabled(WindowHandleOf(number));
    return DrvAnswerBox(&seen->box, seen->answer);
}

bool Join(HANDLE thread) { return WaitForSingleObject(thread, 40000) == WAIT_OBJECT_0 && CloseHandle(thread); }

TEST_F(Ui, AMessageBoxDisablesTheThreadsOtherWindowsWhileItIsOpen) {
    const int flags[4] = {0, 0, WINDOW_HIDDEN, 0};  // 0 in front, 1 visible, 2 hidden, 3 disabled already
    for (int number = 0; number < 4; ++number) {
        ASSERT_NE(0, CreateNumberedWindow(number, 40 + 300 * (number % 2), 40 + 150 * (number / 2), 250, 80, "Fenster",
                                          FRAME | WINDOW_NO_GADGET_LIST | flags[number]));
    }
    EnableWindow(WindowHandleOf(3), FALSE);
    // clang-format off
    const struct { const char *title, *text; int flags, answer; } boxes[] = {
        {"Frage", " Soll der Ordner erzeugt werden? ", MB_TOPMOST | MB_ICONQUESTION | MB_YESNO, IDNO},
        {nullptr, nullptr, MB_TOPMOST | MB_ICONERROR, IDOK}};
    // clang-format on
    const bool during[4] = {false, false, true, false};  // 0 by the box as its owner, 1 by the runtime
    const bool after[4] = {true, true, true, false};     // 3 was not disabled by the runtime
    for (const auto& box : boxes) {
        ASSERT_TRUE(BringToFront(WindowHandleOf(0)));
        BoxSeen seen = {box.answer};
        HANDLE helper = CreateThread(nullptr, 0, SeeAndAnswer, &seen, 0, nullptr);
        EXPECT_EQ(box.answer, ShowMessageBox(box.title, box.text, box.flags));
        ASSERT_TRUE(Join(helper));
        EXPECT_STREQ(box.title ? box.title : "", seen.box.title);
        EXPECT_STREQ(box.text ? box.text : "", seen.box.text);
        EXPECT_EQ(WindowHandleOf(0), seen.owner);  // the process's foreground window owns the box
        for (int number = 0; number < 4; ++number) {
            EXPECT_EQ(during[number], seen.enabled[number]) << "window " << number;
            EXPECT_EQ(after[number], IsWindowEnabled(WindowHandleOf(number)) != 0) << "window " << number;
        }
    }
}

DWORD WINAPI PostAfterAPause(void* window) {
    Sleep(400);
    return PostMessageA(static_cast<HWND>(window), WM_USER + 7, 0, 0);
}

// A keyboard device put off until the window is ready opens before an event the application acts on, or in a wait
// with nothing to handle once a tenth of a second has passed.
TEST_F(Ui, AKeyboardDevicePutOffIsOpenedBeforeAnActionOrWhenTheThreadIsIdle) {
    ASSERT_NE(0, CreateNumberedWindow(1, 40, 40, 200, 100, "Eins", FRAME | WINDOW_HIDDEN));
    Drain();
    HWND window = WindowHandleOf(1);
    OpenKeyboardDeviceWhenReady(window);
    PostMessageA(window, MSG_GADGET_NOTIFY, 3, 0);  // waiting already: no idle wait comes before it
    EXPECT_EQ(EVENT_GADGET, WaitEvent());
    EXPECT_FALSE(KeyboardDevicePutOff());
    OpenKeyboardDeviceWhenReady(window);
    HANDLE poster = CreateThread(nullptr, 0, PostAfterAPause, window, 0, nullptr);
    EXPECT_EQ(WM_USER + 7, WaitEvent());  // not an action: opened in the wait before it
    EXPECT_FALSE(KeyboardDevicePutOff());
    ASSERT_TRUE(Join(poster));
}

}  // namespace

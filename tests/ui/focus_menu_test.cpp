// Tests of Tab navigation, menu bars and keyboard shortcuts: keys go through the platform's input queue, menus are inspected in-process.
// Contract: real windows on the test display; the window under test is made the foreground window first.
#include <windows.h>

#include <gtest/gtest.h>

#include "core/registry.h"
#include "tests/ui/ui_test_support.h"
#include "ui/gadget.h"
#include "ui/menu.h"
#include "ui/window.h"

namespace {

using ui_test::DrainEvents;
using ui_test::FetchUntil;
using ui_test::PressKey;
using ui_test::WaitFor;

const int WINDOW_FLAGS = WS_CAPTION | WS_SYSMENU;

// The installer's window layout: field 3, button 4, check box 11, label 8, progress bar 13, buttons 5 and 6.
class FocusTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(0, CreateNumberedWindow(0, 500, 500, 390, 170, "Fokus", 0xC80001));
        window = WindowHandleOf(0);
        AddLabel(7, 15, 14, 45, 18, "Zielpfad:");
        AddTextField(3, 62, 11, 270, 20, "C:\\Programme\\");
        AddPushButton(4, 340, 10, 35, 22, "Pfad");
        AddCheckBox(11, 62, 48, 290, 17, " Desktopverknüpfung erzeugen");
        AddLabel(8, 0, 80, 390, 22, "Status", SS_CENTER);
        AddProgressBar(13, 48, 110, 294, 15, 0, 30);
        AddPushButton(5, 119, 111, 50, 24, "Ja");
        AddPushButton(6, 221, 111, 50, 24, "Nein");
        ASSERT_TRUE(ui_test::BringToFront(window));
        DrainEvents();
    }
    void TearDown() override {
        DestroyAllWindows();
        DrainEvents();
    }
    HWND Gadget(int number) { return GetDlgItem(window, number); }
    // Presses the key and handles events until the focus sits on the expected gadget.
    bool KeyMovesFocusTo(WORD key, bool shift, int expected) {
        PressKey(key, shift);
        return WaitFor([&] { return GetFocus() == Gadget(expected); }, true);
    }
    HWND window = nullptr;
};

TEST_F(FocusTest, TabAndShiftTabWrapOverTheTabStopsInCreationOrder) {
    SetFocus(Gadget(3));
    const int forward[] = {4, 11, 5, 6, 3, 4};
    for (int expected : forward) ASSERT_TRUE(KeyMovesFocusTo(VK_TAB, false, expected)) << "Tab to " << expected;
    const int backward[] = {3, 6, 5, 11, 4, 3, 6};
    for (int expected : backward) ASSERT_TRUE(KeyMovesFocusTo(VK_TAB, true, expected)) << "Shift+Tab to " << expected;
}

TEST_F(FocusTest, HiddenAndDisabledGadgetsAreSkipped) {
    ShowOrHideGadget(5, 1);
    EnableWindow(Gadget(11), FALSE);
    SetFocus(Gadget(4));
    ASSERT_TRUE(KeyMovesFocusTo(VK_TAB, false, 6));
    ShowOrHideGadget(5, 0);
    ASSERT_TRUE(KeyMovesFocusTo(VK_TAB, true, 5));
}

TEST_F(FocusTest, ReplacingThePlainTabShortcutTurnsTabIntoAMenuEvent) {
    WindowRecord* record = FindWindowRecord(0);
    ASSERT_NE(nullptr, record);
    EXPECT_EQ(2, record->shortcutCount);
    EXPECT_NE(nullptr, AddShortcut(0, VK_TAB, 77));
    EXPECT_EQ(2, record->shortcutCount);  // replaced, not appended
    SetFocus(Gadget(3));
    DrainEvents();
    PressKey(VK_TAB);
    EXPECT_TRUE(FetchUntil(EVENT_MENU, 77));
    EXPECT_EQ(Gadget(3), GetFocus());
    // Shift+Tab still moves the focus.
    EXPECT_TRUE(KeyMovesFocusTo(VK_TAB, true, 6));
}

TEST_F(FocusTest, EscapeIsAMenuEventOnlyWhileItsWindowIsActive) {
    WindowRecord* record = FindWindowRecord(0);
    ASSERT_NE(nullptr, AddShortcut(0, VK_ESCAPE, 6));
    EXPECT_EQ(3, record->shortcutCount);
    EXPECT_NE(nullptr, AddShortcut(0, VK_ESCAPE | SHORTCUT_CONTROL | SHORTCUT_SHIFT | SHORTCUT_ALT, 8));
    EXPECT_EQ(4, record->shortcutCount);
    EXPECT_EQ(FVIRTKEY | FNOINVERT | FSHIFT | FCONTROL | FALT, record->shortcutEntries[3].fVirt);
    EXPECT_EQ(nullptr, AddShortcut(42, VK_ESCAPE, 6));  // no such window

    PressKey(VK_ESCAPE);
    EXPECT_TRUE(FetchUntil(EVENT_MENU, 6));

    ASSERT_NE(0, CreateNumberedWindow(1, 10, 10, 120, 60, "Anderes", WINDOW_FLAGS | WINDOW_NO_GADGET_LIST));
    ASSERT_TRUE(ui_test::BringToFront(WindowHandleOf(1)));
    DrainEvents();
    PressKey(VK_ESCAPE);
    EXPECT_FALSE(FetchUntil(EVENT_MENU, -1, 500));

    ASSERT_TRUE(ui_test::BringToFront(window));
    DrainEvents();
    PressKey(VK_ESCAPE);
    EXPECT_TRUE(FetchUntil(EVENT_MENU, 6));
}

class MenuTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(0, CreateNumberedWindow(0, 40, 40, 390, 170, "Menü", WINDOW_FLAGS));
        window = WindowHandleOf(0);
        DrainEvents();
    }
    void TearDown() override {
        DestroyAllWindows();
        DrainEvents();
    }
    HWND window = nullptr;
};

TEST_F(MenuTest, TitlesGoToTheBarAndItemsIntoTheLastTitle) {
    int menu = CreateWindowMenu(0, window);
    ASSERT_NE(0, menu);
    EXPECT_EQ(reinterpret_cast<HMENU>(menu), MenuHandleOf(0));
    EXPECT_EQ(nullptr, GetMenu(window));  // not shown before the first title
    AddMenuTitle("&Info");
    EXPECT_EQ(reinterpret_cast<HMENU>(menu), GetMenu(window));
    AddMenuItem(0, "Software für BrindaVel Version V.23");
    AddMenuItem(1, "Zweite Zeile");
    AddMenuTitle("&Zweiter");
    AddMenuItem(2, "Dritte Zeile");

    HMENU bar = GetMenu(window);
    ASSERT_EQ(2, GetMenuItemCount(bar));
    char text[64];
    GetMenuStringA(bar, 1, text, sizeof(text), MF_BYPOSITION);
    EXPECT_STREQ("&Zweiter", text);
    HMENU info = GetSubMenu(bar, 0);
    HMENU second = GetSubMenu(bar, 1);
    ASSERT_NE(nullptr, info);
    ASSERT_NE(nullptr, second);
    EXPECT_EQ(2, GetMenuItemCount(info));
    EXPECT_EQ(1, GetMenuItemCount(second));
    GetMenuStringA(info, 0, text, sizeof(text), MF_BYPOSITION);
    EXPECT_STREQ("Software für BrindaVel Version V.23", text);
    EXPECT_EQ(2u, GetMenuItemID(second, 0));
}

TEST_F(MenuTest, ItemNumbersAboveSixteenBitsArriveAsTheirLowBits) {
    ASSERT_NE(0, CreateWindowMenu(0, window));
    AddMenuTitle("&Info");
    AddMenuItem(70000, "Groß");
    HMENU info = GetSubMenu(GetMenu(window), 0);
    UINT identifier = GetMenuItemID(info, 0);
    EXPECT_EQ(70000u, identifier);  // the platform keeps the whole number
    DrainEvents();  // showing the bar resized the client area
    // A menu choice reaches the window as WM_COMMAND with a high word of 0 and the identifier's low word.
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(LOWORD(identifier), 0), 0);
    EXPECT_EQ(EVENT_MENU, PollEvent());
    EXPECT_EQ(70000 & 0xFFFF, EventSourceItem());
}

TEST_F(MenuTest, ChoosingAnItemWithTheKeyboardGivesAMenuEvent) {
    ASSERT_NE(0, CreateWindowMenu(0, window));
    AddMenuTitle("&Info");
    AddMenuItem(70001, "&Eins");
    ASSERT_TRUE(ui_test::BringToFront(window));
    DrainEvents();
    // Alt+I opens the drop-down, E chooses the item; the menu's own loop runs inside the fetch.
    INPUT inputs[6];
    ui_test::KeyInput(&inputs[0], VK_MENU, false);
    ui_test::KeyInput(&inputs[1], 'I', false);
    ui_test::KeyInput(&inputs[2], 'I', true);
    ui_test::KeyInput(&inputs[3], VK_MENU, true);
    ui_test::KeyInput(&inputs[4], 'E', false);
    ui_test::KeyInput(&inputs[5], 'E', true);
    SendInput(6, inputs, sizeof(INPUT));
    EXPECT_TRUE(FetchUntil(EVENT_MENU));
    EXPECT_EQ(70001 & 0xFFFF, EventSourceItem());
}

TEST_F(MenuTest, MenuRecordsAreReleasedWithTheirWindow) {
    int shown = CreateWindowMenu(0, window);
    AddMenuTitle("&Info");
    int hidden = CreateWindowMenu(1, window);  // built for the window but never given a title
    int dynamic = CreateWindowMenu(ANY_NUMBER, window);
    ASSERT_NE(0, shown);
    ASSERT_NE(0, hidden);
    ASSERT_NE(0, dynamic);
    EXPECT_NE(nullptr, MenuHandleOf(dynamic));
    EXPECT_EQ(reinterpret_cast<HMENU>(shown), GetMenu(window));  // the later menus are not shown yet

    DestroyNumberedWindow(0);
    EXPECT_EQ(nullptr, MenuHandleOf(0));
    EXPECT_EQ(nullptr, MenuHandleOf(1));
    EXPECT_EQ(nullptr, MenuHandleOf(dynamic));
    EXPECT_FALSE(IsMenu(reinterpret_cast<HMENU>(shown)));
    EXPECT_FALSE(IsMenu(reinterpret_cast<HMENU>(hidden)));

    ASSERT_NE(0, CreateNumberedWindow(0, 40, 40, 390, 170, "Neu", WINDOW_FLAGS));
    int again = CreateWindowMenu(0, WindowHandleOf(0));
    ASSERT_NE(0, again);
    AddMenuItem(3, "Ohne Titel");  // an item before any title lands on the bar itself
    EXPECT_EQ(1, GetMenuItemCount(GetMenu(WindowHandleOf(0))));
    DestroyNumberedMenu(0);
    EXPECT_EQ(nullptr, GetMenu(WindowHandleOf(0)));
    EXPECT_FALSE(IsMenu(reinterpret_cast<HMENU>(again)));
    DestroyNumberedMenu(0);  // no such menu: nothing happens
}

}  // namespace

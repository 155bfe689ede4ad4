// Tests of the window library: event translation, the per-thread queue and its collapsing, window creation and placement.
// Contract: real windows on the test display; messages are sent or posted to them and read back through FetchEvent.
#include <windows.h>

#include <gtest/gtest.h>

#include "core/registry.h"
#include "tests/ui/ui_test_support.h"
#include "ui/gadget.h"
#include "ui/window.h"

namespace {

using ui_test::DrainEvents;

const int WINDOW_FLAGS = WS_CAPTION | WS_SYSMENU;

class EventQueueTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(0, CreateNumberedWindow(1, 50, 60, 200, 100, "Ereignisse", WINDOW_FLAGS));
        window = WindowHandleOf(1);
        DrainEvents();
    }
    void TearDown() override {
        DestroyNumberedWindow(1);
        DrainEvents();
    }
    HWND window = nullptr;
};

TEST_F(EventQueueTest, PollWithNothingToDoReturnsZeroAtOnce) {
    DWORD begin = GetTickCount();
    EXPECT_EQ(0, PollEvent());
    EXPECT_LT(GetTickCount() - begin, 100u);
    begin = GetTickCount();
    EXPECT_EQ(0, FetchEvent(50));  // a time-out also gives 0, after waiting
    EXPECT_GE(GetTickCount() - begin, 40u);
}

TEST_F(EventQueueTest, PostedCloseComesBackAsMessageThenFromTheQueueAndTheWindowStays) {
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(WM_CLOSE, PollEvent());  // the retrieved message's own number
    EXPECT_EQ(EVENT_CLOSE_WINDOW, PollEvent());  // then the queued close request
    EXPECT_EQ(1, EventWindow());
    EXPECT_EQ(0, PollEvent());
    EXPECT_TRUE(IsWindow(window));
    EXPECT_TRUE(IsWindowVisible(window));

    // A sent close request (the close box, Alt+F4) gives one event and leaves the window open as well.
    EXPECT_EQ(0, SendMessageA(window, WM_CLOSE, 0, 0));
    EXPECT_EQ(EVENT_CLOSE_WINDOW, PollEvent());
    EXPECT_EQ(0, PollEvent());
    EXPECT_TRUE(IsWindow(window));
}

TEST_F(EventQueueTest, EqualEventsCollapseOnlyWhenAdjacent) {
    SendMessageA(window, WM_MOVE, 0, 0);
    SendMessageA(window, WM_MOVE, 0, 0);
    SendMessageA(window, WM_CLOSE, 0, 0);
    SendMessageA(window, WM_MOVE, 0, 0);
    SendMessageA(window, WM_CLOSE, 0, 0);
    SendMessageA(window, WM_CLOSE, 0, 0);
    const int expected[] = {EVENT_MOVE_WINDOW, EVENT_CLOSE_WINDOW, EVENT_MOVE_WINDOW, EVENT_CLOSE_WINDOW, 0};
    for (int code : expected) EXPECT_EQ(code, PollEvent());
}

TEST_F(EventQueueTest, EqualCodesOfDifferentWindowsAreKeptApart) {
    ASSERT_NE(0, CreateNumberedWindow(2, 300, 60, 100, 50, "Zwei", WINDOW_FLAGS | WINDOW_NO_GADGET_LIST));
    DrainEvents();
    SendMessageA(window, WM_MOVE, 0, 0);
    SendMessageA(WindowHandleOf(2), WM_MOVE, 0, 0);
    EXPECT_EQ(EVENT_MOVE_WINDOW, PollEvent());
    EXPECT_EQ(1, EventWindow());
    EXPECT_EQ(EVENT_MOVE_WINDOW, PollEvent());
    EXPECT_EQ(2, EventWindow());
    DestroyNumberedWindow(2);
}

TEST_F(EventQueueTest, SizeMessagesBecomeStateEventsInOrder) {
    struct Row {
        WPARAM kind;
        int first;
        int second;
    } rows[] = {
        {SIZE_RESTORED, EVENT_SIZE_WINDOW, 0},  // never minimised or maximised yet: size only
        {SIZE_MAXIMIZED, EVENT_MAXIMIZE_WINDOW, EVENT_SIZE_WINDOW},
        {SIZE_RESTORED, EVENT_RESTORE_WINDOW, EVENT_SIZE_WINDOW},
        {SIZE_MINIMIZED, EVENT_MINIMIZE_WINDOW, 0},
        {SIZE_RESTORED, EVENT_RESTORE_WINDOW, EVENT_SIZE_WINDOW},
        {SIZE_MAXSHOW, EVENT_SIZE_WINDOW, 0},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(0, SendMessageA(window, WM_SIZE, row.kind, MAKELPARAM(200, 100)));
        EXPECT_EQ(row.first, PollEvent()) << "size kind " << row.kind;
        if (row.second) {
            EXPECT_EQ(row.second, PollEvent()) << "size kind " << row.kind;
        }
        EXPECT_EQ(0, PollEvent()) << "size kind " << row.kind;
    }
}

TEST_F(EventQueueTest, ActivationIsQueuedAndAnsweredWithOneErasingFallsThrough) {
    EXPECT_EQ(1, SendMessageA(window, WM_ACTIVATE, WA_INACTIVE, 0));
    EXPECT_EQ(0, PollEvent());
    EXPECT_EQ(1, SendMessageA(window, WM_ACTIVATE, WA_ACTIVE, 0));
    EXPECT_EQ(EVENT_ACTIVATE_WINDOW, PollEvent());

    HDC context = GetDC(window);
    EXPECT_NE(0, SendMessageA(window, WM_ERASEBKGND, reinterpret_cast<WPARAM>(context), 0));  // the class brush erased
    ReleaseDC(window, context);
    EXPECT_EQ(EVENT_REPAINT, PollEvent());
}

TEST_F(EventQueueTest, UntranslatedMessagesComeBackAsTheirNumber) {
    PostMessageA(window, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(WM_MOUSEMOVE, PollEvent());
    PostMessageA(window, WM_USER + 7, 0, 0);
    EXPECT_EQ(WM_USER + 7, PollEvent());
    PostMessageA(window, WM_NULL, 0, 0);
    EXPECT_EQ(0, PollEvent());  // the same value as no message
}

TEST_F(EventQueueTest, CommandsBecomeGadgetAndMenuEventsAndTheSourceOutlivesOtherEvents) {
    PostMessageA(window, MSG_GADGET_NOTIFY, 42, 7);
    EXPECT_EQ(EVENT_GADGET, PollEvent());
    EXPECT_EQ(42, EventSourceGadget());
    EXPECT_EQ(7, EventType());

    SendMessageA(window, WM_MOVE, 0, 0);
    EXPECT_EQ(EVENT_MOVE_WINDOW, PollEvent());
    EXPECT_EQ(42, EventSourceGadget());
    EXPECT_EQ(-1, EventType());

    PostMessageA(window, WM_COMMAND, MAKEWPARAM(9, 0), 0);  // a menu choice
    EXPECT_EQ(EVENT_MENU, PollEvent());
    EXPECT_EQ(9, EventSourceItem());
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(6, 1), 0);  // a shortcut
    EXPECT_EQ(EVENT_MENU, PollEvent());
    EXPECT_EQ(6, EventSourceItem());
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(CMD_NEXT_FIELD, 1), 0);  // Tab moves the focus, no event
    EXPECT_EQ(WM_COMMAND, PollEvent());
    EXPECT_EQ(6, EventSourceItem());

    HWND button = reinterpret_cast<HWND>(AddPushButton(17, 5, 5, 60, 20, "Knopf"));
    ASSERT_NE(nullptr, button);
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(17, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    EXPECT_EQ(EVENT_GADGET, PollEvent());
    EXPECT_EQ(17, EventSourceGadget());
    EXPECT_EQ(BN_CLICKED, EventType());
}

TEST_F(EventQueueTest, EventsQueuedForAWindowSurviveItsDestruction) {
    SendMessageA(window, WM_MOVE, 0, 0);
    SendMessageA(window, WM_CLOSE, 0, 0);
    DestroyNumberedWindow(1);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(nullptr, WindowHandleOf(1));
    EXPECT_EQ(EVENT_MOVE_WINDOW, PollEvent());
    EXPECT_EQ(1, EventWindow());
    EXPECT_EQ(EVENT_CLOSE_WINDOW, PollEvent());
    EXPECT_EQ(1, EventWindow());
}

TEST(WindowCreationTest, FlagsZeroGiveACaptionAtTheGivenPosition) {
    ASSERT_NE(0, CreateNumberedWindow(3, 120, 140, 200, 100, nullptr, 0));
    HWND window = WindowHandleOf(3);
    LONG style = GetWindowLongA(window, GWL_STYLE);
    EXPECT_EQ(WS_CAPTION, style & WS_CAPTION);
    EXPECT_TRUE(IsWindowVisible(window));
    RECT outer, client;
    GetWindowRect(window, &outer);
    GetClientRect(window, &client);
    EXPECT_EQ(120, outer.left);
    EXPECT_EQ(140, outer.top);
    EXPECT_EQ(200, client.right);
    EXPECT_EQ(100, client.bottom);
    char title[8] = "x";
    GetWindowTextA(window, title, sizeof(title));
    EXPECT_STREQ("", title);
    DestroyNumberedWindow(3);
    DrainEvents();
}

TEST(WindowCreationTest, CentredWindowsAreCentredAndClampedToTheScreen) {
    int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    ASSERT_NE(0, CreateNumberedWindow(4, 500, 500, 390, 170, "Mitte", 0xC80001));
    RECT outer;
    GetWindowRect(WindowHandleOf(4), &outer);
    EXPECT_EQ((screenWidth - (outer.right - outer.left)) / 2, outer.left);
    EXPECT_EQ((screenHeight - (outer.bottom - outer.top)) / 2, outer.top);
    RECT client;
    GetClientRect(WindowHandleOf(4), &client);
    EXPECT_EQ(390, client.right);

    ASSERT_NE(0, CreateNumberedWindow(4, 0, 0, screenWidth + 400, screenHeight + 300, "Riesig", 0xC80001));
    GetWindowRect(WindowHandleOf(4), &outer);
    EXPECT_EQ(0, outer.left);
    EXPECT_EQ(0, outer.top);
    EXPECT_EQ(screenWidth, outer.right - outer.left);
    EXPECT_EQ(screenHeight, outer.bottom - outer.top);
    DestroyNumberedWindow(4);
    DrainEvents();
}

TEST(WindowCreationTest, NumbersClassesAndReuse) {
    int dynamic = CreateNumberedWindow(ANY_NUMBER, 10, 10, 100, 50, "Dynamisch", WINDOW_FLAGS | WINDOW_HIDDEN);
    ASSERT_NE(0, dynamic);
    HWND window = WindowHandleOf(dynamic);
    ASSERT_NE(nullptr, window);
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_EQ(dynamic + 1, reinterpret_cast<INT_PTR>(GetPropA(window, "GX_WindowID")));
    char className[40];
    wsprintfA(className, "WindowClass_%d", dynamic);
    WNDCLASSA windowClass;
    EXPECT_TRUE(GetClassInfoA(ProgramInstance(), className, &windowClass));
    EXPECT_EQ(LoadIconA(ProgramInstance(), MAKEINTRESOURCEA(1)), windowClass.hIcon);
    DestroyNumberedWindow(dynamic);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(GetClassInfoA(ProgramInstance(), className, &windowClass));  // the class went with the window
    DestroyNumberedWindow(dynamic);  // a number without a window does nothing

    int first = CreateNumberedWindow(5, 10, 10, 100, 50, "Erstes", WINDOW_FLAGS);
    int second = CreateNumberedWindow(5, 10, 10, 100, 50, "Zweites", WINDOW_FLAGS);
    EXPECT_FALSE(IsWindow(reinterpret_cast<HWND>(first)));  // the number's old window was closed first
    EXPECT_EQ(reinterpret_cast<HWND>(second), WindowHandleOf(5));
    DestroyAllWindows();
    EXPECT_FALSE(IsWindow(reinterpret_cast<HWND>(second)));
    DrainEvents();
}

}  // namespace

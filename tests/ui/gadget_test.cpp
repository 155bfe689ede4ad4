// Tests of the gadget library: creation in the current gadget list, number reuse, state and text per kind, focus events, tooltips and fonts.
// Contract: real controls in a real window on the test display; a fresh thread stands for "no gadget list yet".
#include <windows.h>
#include <commctrl.h>
#include <string.h>

#include <gtest/gtest.h>

#include "core/strings.h"
#include "core/registry.h"
#include "tests/ui/ui_test_support.h"
#include "ui/gadget.h"
#include "ui/window.h"

namespace {

using ui_test::DrainEvents;
using ui_test::WaitFor;

const int WINDOW_FLAGS = WS_CAPTION | WS_SYSMENU;

class GadgetTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(0, CreateNumberedWindow(0, 40, 40, 390, 170, "Gadgets", WINDOW_FLAGS));
        window = WindowHandleOf(0);
        DrainEvents();
    }
    void TearDown() override {
        DestroyNumberedWindow(0);
        ApplyGadgetFont(-1, -1);
        DrainEvents();
    }
    HWND window = nullptr;
};

HWND Control(int handle) { return reinterpret_cast<HWND>(handle); }

TEST(GadgetListTest, GadgetsNeedACurrentGadgetList) {
    struct Body {
        int withoutList = -1;
        int inWindow = 0;
        int afterWindowGone = -1;
        HWND parent = nullptr;
        HWND listWindow = nullptr;
        void operator()() {
            withoutList = AddPushButton(30, 0, 0, 10, 10, "x");
            CreateNumberedWindow(6, 0, 0, 100, 50, "Liste", WINDOW_FLAGS);
            CreateNumberedWindow(7, 0, 0, 100, 50, "Ohne Liste", WINDOW_FLAGS | WINDOW_NO_GADGET_LIST);
            listWindow = WindowHandleOf(6);
            inWindow = AddPushButton(31, 0, 0, 10, 10, "y");
            parent = GetParent(Control(inWindow));
            DestroyNumberedWindow(6);
            afterWindowGone = AddPushButton(32, 0, 0, 10, 10, "z");
            DestroyNumberedWindow(7);
        }
    } body;
    ui_test::HelperThread thread(&body);
    ASSERT_TRUE(thread.Join());
    EXPECT_EQ(0, body.withoutList);
    EXPECT_NE(0, body.inWindow);
    EXPECT_NE(nullptr, body.parent);
    EXPECT_EQ(body.listWindow, body.parent);  // window 7 was opened without becoming the gadget list
    EXPECT_EQ(0, body.afterWindowGone);  // the list went with its window; window 7 never became one
}

TEST_F(GadgetTest, ReusingANumberDestroysTheOldControl) {
    HWND first = Control(AddPushButton(20, 10, 10, 60, 22, "Eins"));
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(20, GetWindowLongA(first, GWL_ID));
    EXPECT_EQ(20, reinterpret_cast<INT_PTR>(GetPropA(first, "GX_ID")));
    EXPECT_EQ(window, GetParent(first));
    HWND second = Control(AddLabel(20, 10, 40, 60, 22, "Zwei"));
    ASSERT_NE(nullptr, second);
    EXPECT_FALSE(IsWindow(first));
    EXPECT_EQ(20, GetWindowLongA(second, GWL_ID));
    EXPECT_EQ(0, ReadGadgetState(20));  // now a label

    int dynamic = AddCheckBox(ANY_NUMBER, 10, 70, 100, 17, "Dynamisch");
    ASSERT_NE(0, dynamic);
    PutGadgetState(dynamic, 1);
    EXPECT_EQ(1, ReadGadgetState(dynamic));
}

TEST_F(GadgetTest, StateFollowsTheKind) {
    ASSERT_NE(0, AddLabel(7, 15, 14, 45, 18, "Zielpfad:"));
    ASSERT_NE(0, AddTextField(3, 62, 11, 270, 20, "C:\\Programme\\"));
    ASSERT_NE(0, AddPushButton(4, 340, 10, 35, 22, "Pfad"));
    ASSERT_NE(0, AddCheckBox(11, 62, 48, 290, 17, " Desktopverknüpfung erzeugen"));
    ASSERT_NE(0, AddProgressBar(13, 48, 110, 294, 15, 0, 30));
    struct Row {
        int gadget;
        int value;
        int expected;
    } rows[] = {
        {11, 1, 1}, {11, 0, 0}, {11, 5, 1}, {11, -1, 1},  // a check box knows only 0 and 1
        {13, 17, 17}, {13, 30, 30}, {13, 0, 0},          // the progress bar's position
        {7, 1, 0}, {3, 1, 0},                            // labels and fields ignore state
        {99, 1, 0},                                      // no such gadget
    };
    for (const Row& row : rows) {
        PutGadgetState(row.gadget, row.value);
        EXPECT_EQ(row.expected, ReadGadgetState(row.gadget)) << "gadget " << row.gadget << " value " << row.value;
    }
    EXPECT_EQ(30, SendMessageA(GetDlgItem(window, 13), PBM_GETRANGE, FALSE, 0));
    LONG fieldStyle = GetWindowLongA(GetDlgItem(window, 3), GWL_STYLE);
    EXPECT_EQ(0x50030080, fieldStyle & 0x50030080);
    EXPECT_TRUE(GetWindowLongA(GetDlgItem(window, 3), GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
    EXPECT_FALSE(GetWindowLongA(GetDlgItem(window, 13), GWL_STYLE) & WS_TABSTOP);
}

TEST_F(GadgetTest, TextsReadBackThroughTheBuilder) {
    ASSERT_NE(0, AddTextField(3, 62, 11, 270, 20, ""));
    ASSERT_NE(0, AddLabel(8, 0, 80, 390, 22, nullptr, SS_CENTER));

    int before = BuilderPosition();
    char* empty = ReadGadgetText(3, -1);
    EXPECT_STREQ("", empty);
    EXPECT_EQ(before, BuilderPosition());
    EXPECT_STREQ("", ReadGadgetText(8, -1));
    EXPECT_STREQ("", ReadGadgetText(12345, -1));  // no such gadget
    EXPECT_EQ(before, BuilderPosition());

    PutGadgetText(3, "C:\\Daten\\Müller ©\\");
    char* text = ReadGadgetText(3, -1);
    EXPECT_STREQ("C:\\Daten\\Müller ©\\", text);
    EXPECT_EQ(before + static_cast<int>(strlen("C:\\Daten\\Müller ©\\")), BuilderPosition());
    RestorePosition(before);

    PutGadgetText(3, nullptr);
    EXPECT_STREQ("", ReadGadgetText(3, -1));
    PutGadgetText(999, "niemand");  // ignored
    RestorePosition(before);
}

TEST_F(GadgetTest, FieldReportsGettingAndLosingTheFocus) {
    ASSERT_NE(0, AddTextField(3, 62, 11, 270, 20, "Pfad"));
    ASSERT_NE(0, AddPushButton(4, 340, 10, 35, 22, "Pfad"));
    ASSERT_TRUE(ui_test::BringToFront(window));
    DrainEvents();

    struct Seen {
        int got = 0;
        int lost = 0;
    } seen;
    auto collect = [&] {
        int event = PollEvent();
        if (event == EVENT_GADGET && EventSourceGadget() == 3) {
            if (EventType() == GADGET_GOT_FOCUS) seen.got += 1;
            if (EventType() == GADGET_LOST_FOCUS && seen.got) seen.lost += 1;
        }
    };
    SetFocus(GetDlgItem(window, 3));
    EXPECT_TRUE(WaitFor([&] { collect(); return seen.got == 1; }));
    SetFocus(GetDlgItem(window, 4));
    EXPECT_TRUE(WaitFor([&] { collect(); return seen.lost == 1; }));
    EXPECT_EQ(1, seen.got);
}

HWND FindToolTipWindow() {
    struct Search {
        HWND found = nullptr;
        static BOOL CALLBACK Visit(HWND candidate, LPARAM argument) {
            char className[32];
            GetClassNameA(candidate, className, sizeof(className));
            if (strcmp(className, "tooltips_class32") == 0 && SendMessageA(candidate, TTM_GETTOOLCOUNT, 0, 0) > 0) {
                reinterpret_cast<Search*>(argument)->found = candidate;
                return FALSE;
            }
            return TRUE;
        }
    } search;
    EnumThreadWindows(GetCurrentThreadId(), Search::Visit, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

TEST_F(GadgetTest, ASecondTooltipReplacesTheFirst) {
    HWND button = Control(AddPushButton(5, 119, 111, 50, 24, "Ja"));
    HWND other = Control(AddPushButton(6, 221, 111, 50, 24, "Nein"));
    AttachToolTip(5, " Installation starten ");
    AttachToolTip(5, " Zweiter Tipp ");
    AttachToolTip(6, " Installation abbrechen ");
    AttachToolTip(77, "niemand");  // no such gadget: ignored
    HWND tip = FindToolTipWindow();
    ASSERT_NE(nullptr, tip);
    EXPECT_TRUE(GetWindowLongA(tip, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_EQ(2, SendMessageA(tip, TTM_GETTOOLCOUNT, 0, 0));

    struct Row {
        HWND control;
        const char* text;
    } rows[] = {{button, " Zweiter Tipp "}, {other, " Installation abbrechen "}};
    for (const Row& row : rows) {
        char text[80] = "";
        TOOLINFOA tool = {};
        tool.cbSize = sizeof(tool);
        tool.hwnd = window;
        tool.uId = reinterpret_cast<UINT_PTR>(row.control);
        tool.lpszText = text;
        SendMessageA(tip, TTM_GETTEXTA, sizeof(text), reinterpret_cast<LPARAM>(&tool));
        EXPECT_STREQ(row.text, text);
    }
    DestroyToolTipWindow();
    EXPECT_FALSE(IsWindow(tip));
    DestroyToolTipWindow();  // none left: nothing happens
}

HFONT FontOf(int gadget, HWND window) {
    return reinterpret_cast<HFONT>(SendMessageA(GetDlgItem(window, gadget), WM_GETFONT, 0, 0));
}

TEST_F(GadgetTest, FontsApplyToOneGadgetOrToTheGadgetsCreatedAfterwards) {
    HFONT standard = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    int font = CreateNumberedFont(1, "Verdana", 9, FONT_BOLD);
    ASSERT_NE(0, font);
    HFONT bold = reinterpret_cast<HFONT>(font);

    ASSERT_NE(0, AddLabel(7, 15, 14, 45, 18, "Vorher"));
    EXPECT_EQ(standard, FontOf(7, window));
    ApplyGadgetFont(-1, font);
    ASSERT_NE(0, AddLabel(8, 0, 80, 390, 22, "Nachher", SS_CENTER));
    EXPECT_EQ(bold, FontOf(8, window));
    EXPECT_EQ(standard, FontOf(7, window));  // earlier gadgets keep theirs
    ApplyGadgetFont(-1, -1);
    ASSERT_NE(0, AddLabel(9, 0, 120, 390, 22, "Wieder normal"));
    EXPECT_EQ(standard, FontOf(9, window));
    ApplyGadgetFont(7, font);
    EXPECT_EQ(bold, FontOf(7, window));
    ApplyGadgetFont(7, -1);
    EXPECT_EQ(standard, FontOf(7, window));
}

TEST(FontTest, HeightFollowsTheDisplayResolutionAndFlagsChooseTheStyle) {
    HDC display = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
    int pixelsPerInch = GetDeviceCaps(display, LOGPIXELSY);
    DeleteDC(display);

    int font = CreateNumberedFont(1, "Verdana", 9, FONT_BOLD);
    ASSERT_NE(0, font);
    LOGFONTA description;
    ASSERT_NE(0, GetObjectA(reinterpret_cast<HFONT>(font), sizeof(description), &description));
    EXPECT_EQ(-MulDiv(9, pixelsPerInch, 72), description.lfHeight);
    if (pixelsPerInch == 96) {
        EXPECT_EQ(-12, description.lfHeight);
    }
    EXPECT_EQ(FW_BOLD, description.lfWeight);
    EXPECT_STREQ("Verdana", description.lfFaceName);
    EXPECT_EQ(DEFAULT_CHARSET, description.lfCharSet);
    EXPECT_EQ(DEFAULT_QUALITY, description.lfQuality);

    int styled = CreateNumberedFont(2, "Arial", 12, FONT_ITALIC | FONT_UNDERLINE | FONT_STRIKEOUT | FONT_HIGH_QUALITY);
    ASSERT_NE(0, styled);
    ASSERT_NE(0, GetObjectA(reinterpret_cast<HFONT>(styled), sizeof(description), &description));
    EXPECT_EQ(FW_NORMAL, description.lfWeight);
    EXPECT_TRUE(description.lfItalic && description.lfUnderline && description.lfStrikeOut);
    EXPECT_EQ(PROOF_QUALITY, description.lfQuality);
    DestroyNumberedFont(2);
    EXPECT_EQ(0, GetObjectA(reinterpret_cast<HFONT>(styled), sizeof(description), &description));
    DestroyNumberedFont(2);  // gone: nothing happens

    int dynamic = CreateNumberedFont(ANY_NUMBER, "Arial", 8, 0);
    ASSERT_NE(0, dynamic);
    EXPECT_NE(font, dynamic);  // a number, not a handle
    DestroyNumberedFont(dynamic);

    int replaced = CreateNumberedFont(1, "Arial", 10, 0);  // the number's old font is deleted first
    ASSERT_NE(0, replaced);
    EXPECT_EQ(0, GetObjectA(reinterpret_cast<HFONT>(font), sizeof(description), &description));
    ASSERT_NE(0, GetObjectA(reinterpret_cast<HFONT>(replaced), sizeof(description), &description));
    EXPECT_EQ(FW_NORMAL, description.lfWeight);
    EXPECT_FALSE(description.lfItalic);
    DestroyAllFonts();
    EXPECT_EQ(0, GetObjectA(reinterpret_cast<HFONT>(replaced), sizeof(description), &description));
}

}  // namespace

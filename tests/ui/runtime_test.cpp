// Tests of the window runtime's wiring: per-thread drawing areas on a second thread, the keyboard device and its release.
// Contract: the runtime is started through PlugWindowRuntime and StartRuntime as the installer does.
#include <windows.h>

#include <gtest/gtest.h>

#include "tests/ui/ui_test_support.h"
#include "ui/runtime.h"
#include "ui/window.h"

namespace {

TEST(DrawingSupportTest, EveryThreadGetsABlackBrushAndPen) {
    struct Body {
        HBRUSH brush = nullptr;
        HPEN pen = nullptr;
        LOGBRUSH brushLook = {};
        LOGPEN penLook = {};
        void operator()() {
            brush = DrawingBrush();
            pen = DrawingPen();
            GetObjectA(brush, sizeof(brushLook), &brushLook);
            GetObjectA(pen, sizeof(penLook), &penLook);
        }
    } body;
    ASSERT_NE(nullptr, DrawingBrush());
    ASSERT_NE(nullptr, DrawingPen());
    {
        ui_test::HelperThread thread(&body);
        ASSERT_TRUE(thread.Join());
    }
    EXPECT_NE(nullptr, body.brush);
    EXPECT_NE(DrawingBrush(), body.brush);
    EXPECT_EQ(static_cast<UINT>(BS_SOLID), body.brushLook.lbStyle);
    EXPECT_EQ(RGB(0, 0, 0), body.brushLook.lbColor);
    EXPECT_EQ(static_cast<UINT>(PS_SOLID), body.penLook.lopnStyle);
    EXPECT_EQ(RGB(0, 0, 0), body.penLook.lopnColor);
    // The thread's end operation deletes both once the watcher has seen the thread end.
    EXPECT_TRUE(ui_test::WaitFor([&] { return GetObjectType(body.brush) == 0 && GetObjectType(body.pen) == 0; }));
}

TEST(KeyboardDeviceTest, OpensOnceAndReleasesItsLibrary) {
    ASSERT_NE(0, CreateNumberedWindow(0, 10, 10, 100, 50, "Tastatur", WS_CAPTION));
    EXPECT_EQ(nullptr, GetModuleHandleA("DINPUT.DLL"));  // not imported: loaded by name only
    int opened = OpenKeyboardDevice(WindowHandleOf(0));
    if (opened) {
        EXPECT_NE(nullptr, GetModuleHandleA("DINPUT.DLL"));
        EXPECT_EQ(1, OpenKeyboardDevice(WindowHandleOf(0)));  // the one device is kept
    }
    CloseKeyboardDevice();
    EXPECT_EQ(nullptr, GetModuleHandleA("DINPUT.DLL"));
    CloseKeyboardDevice();  // released already: nothing happens
    DestroyAllWindows();
    ui_test::DrainEvents();
}

}  // namespace

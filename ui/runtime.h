// Window runtime wiring: plugs the ui start and end steps into the frame, and the keyboard device.
// Contract: PlugWindowRuntime runs before StartRuntime; the keyboard device is opened once, never read, released by the end sequence.
#pragma once

#include <windows.h>

// Plugs every start and end step of the window runtime into the frame's fixed slots.
void PlugWindowRuntime();

// Opens the DirectInput keyboard device for window (DINPUT.DLL from the system folder; never read) once the calling
// thread's window is ready for input: the event fetch opens it once the thread has waited a tenth of a second with
// nothing to handle, or before it hands out a gadget, menu or close event, whichever comes first.
void OpenKeyboardDeviceWhenReady(HWND window);
// Inside the window runtime: whether the calling thread has a device put off; opening it (once).
int KeyboardDevicePutOff();
void OpenPutOffKeyboardDevice();

// Window runtime wiring: plugs the ui start and end steps into the frame, plus the small library, drawing support and keyboard device.
// Contract: PlugWindowRuntime runs before StartRuntime; the keyboard device is opened once, never read, released by the end sequence.
#pragma once

#include <windows.h>

// Plugs every start and end step of the window runtime into the frame's fixed slots.
void PlugWindowRuntime();

// Creates the DirectInput keyboard device for window (DINPUT.DLL loaded from the system folder).
// Returns 1 when the device exists, 0 when DirectInput is absent or refuses; nothing is ever read from it.
int OpenKeyboardDevice(HWND window);
// Puts OpenKeyboardDevice off until the calling thread's window is ready for input: the event fetch opens it once
// the thread has waited a tenth of a second with nothing to handle, or before it hands out a gadget, menu or close
// event, whichever comes first.
void OpenKeyboardDeviceWhenReady(HWND window);
// Inside the window runtime: whether the calling thread has a device put off; opening it (once).
int KeyboardDevicePutOff();
void OpenPutOffKeyboardDevice();
// End step: releases device, DirectInput object and library; a no-op when they were never created.
void CloseKeyboardDevice();

// Start steps of the small library and of drawing support (per-thread black brush and pen).
void StartSmallLibrary();
void StartDrawingSupport();
// The calling thread's drawing brush and pen (created by the area's init operation).
HBRUSH DrawingBrush();
HPEN DrawingPen();

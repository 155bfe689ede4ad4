// Window runtime wiring: the ui's start and end steps in the frame's slots, and the keyboard device.
// Contract: the application calls only PlugWindowRuntime and the keyboard device's openers; DINPUT.DLL comes from the system folder only.
#include "ui/runtime.h"

#define DIRECTINPUT_VERSION 0x0700
#include <dinput.h>

#include "core/frame.h"
#include "ui/gadget.h"
#include "ui/menu.h"
#include "ui/requester.h"
#include "ui/window.h"

namespace {

const int KEYBOARD_KEY_COUNT = 256;

HWND putOffKeyboardWindow;  // the window of a device put off until it is ready for input, and its thread
DWORD putOffKeyboardThread;
HMODULE inputLibrary;
IDirectInputA* directInput;
IDirectInputDeviceA* keyboardDevice;

// The platform's keyboard and key identities, spelled out here so that no DirectInput library is linked.
const GUID systemKeyboard = {0x6F1D2B61, 0xD5A0, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID keyObject = {0x55728220, 0xD33C, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

// The keyboard data format: one optional button byte per scan code.
DIOBJECTDATAFORMAT keyFormats[KEYBOARD_KEY_COUNT];
DIDATAFORMAT keyboardFormat;

void BuildKeyboardFormat() {
    for (int key = 0; key < KEYBOARD_KEY_COUNT; ++key) {
        keyFormats[key].pguid = &keyObject;
        keyFormats[key].dwOfs = static_cast<DWORD>(key);
        keyFormats[key].dwType = DIDFT_OPTIONAL | DIDFT_BUTTON | DIDFT_MAKEINSTANCE(key);
        keyFormats[key].dwFlags = 0;
    }
    keyboardFormat.dwSize = sizeof(DIDATAFORMAT);
    keyboardFormat.dwObjSize = sizeof(DIOBJECTDATAFORMAT);
    keyboardFormat.dwFlags = DIDF_RELAXIS;
    keyboardFormat.dwDataSize = KEYBOARD_KEY_COUNT;
    keyboardFormat.dwNumObjs = KEYBOARD_KEY_COUNT;
    keyboardFormat.rgodf = keyFormats;
}

// End step: releases device, DirectInput object and library; a no-op when they were never created.
void CloseKeyboardDevice() {
    if (keyboardDevice) keyboardDevice->Release();
    keyboardDevice = nullptr;
    if (directInput) directInput->Release();
    directInput = nullptr;
    if (inputLibrary) FreeLibrary(inputLibrary);
    inputLibrary = nullptr;
}

// Without DirectInput, or when it refuses, there is simply no device.
void OpenKeyboardDevice(HWND window) {
    if (keyboardDevice) return;
    typedef HRESULT(WINAPI * CreateFunction)(HINSTANCE, DWORD, IDirectInputA**, IUnknown*);
    inputLibrary = LoadSystemLibrary("DINPUT.DLL");
    if (!inputLibrary) return;
    CreateFunction create = LibraryFunction<CreateFunction>(inputLibrary, "DirectInputCreateA");
    if (!create || FAILED(create(ProgramInstance(), DIRECTINPUT_VERSION, &directInput, nullptr)) || !directInput) {
        directInput = nullptr;
        CloseKeyboardDevice();
        return;
    }
    if (FAILED(directInput->CreateDevice(systemKeyboard, &keyboardDevice, nullptr)) || !keyboardDevice) {
        keyboardDevice = nullptr;
        CloseKeyboardDevice();
        return;
    }
    BuildKeyboardFormat();
    keyboardDevice->SetDataFormat(&keyboardFormat);
    // Shared, and never acquired: the device is never read, so it must not take keys from anyone.
    keyboardDevice->SetCooperativeLevel(window, DISCL_NONEXCLUSIVE | DISCL_BACKGROUND);
}

}  // namespace

void PlugWindowRuntime() {
    PlugStartStep(START_FONTS, InitFontLibrary);
    PlugStartStep(START_WINDOWS, InitWindowLibrary);
    PlugStartStep(START_GADGETS, InitGadgetLibrary);
    // The small library and the drawing support are never used here: their slots stay empty.
    PlugStartStep(START_MENUS, InitMenuLibrary);
    PlugStartStep(START_REQUESTERS, InitCommonUi);
    // The multimedia support and the auxiliary library are never set up, so their end slots stay empty.
    PlugEndStep(END_KEYBOARD, CloseKeyboardDevice);
    PlugEndStep(END_TOOLTIP, DestroyToolTipWindow);
    PlugEndStep(END_WINDOWS, DestroyAllWindows);
    PlugEndStep(END_FONTS, DestroyAllFonts);
}

void OpenKeyboardDeviceWhenReady(HWND window) {
    putOffKeyboardWindow = window;
    putOffKeyboardThread = GetCurrentThreadId();
}

int KeyboardDevicePutOff() { return putOffKeyboardWindow && putOffKeyboardThread == GetCurrentThreadId(); }

void OpenPutOffKeyboardDevice() {
    if (!KeyboardDevicePutOff()) return;
    HWND window = putOffKeyboardWindow;
    putOffKeyboardWindow = nullptr;
    OpenKeyboardDevice(window);
}

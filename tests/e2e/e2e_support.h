// Shared steps of the installer's end-to-end tests: scratch folders, file snapshots, the installer under the driver.
// Contract: every helper returns a success flag or fills a result; nothing waits without a timeout.
#pragma once

#include <windows.h>

#include "tools/driver/driver.h"

// Emulated Wine is slow: a start-up takes tens of seconds, so every wait gets minutes, not seconds.
const int E2E_TIMEOUT_MS = 180000;

// Payload files in block order, and the worksheets alone in the installer's copy order.
extern const char* const kPayloadNames[14];
extern const char* const kWorksheetNames[12];

// A fresh, empty folder BRV_E2E_SCRATCH_ROOT\<name> (removed first with everything in it, read-only files too).
void MakeScratch(const char* name, char* path, int size);
int RemoveTree(const char* path);
int MakeFolder(const char* path);
int WriteBytes(const char* path, const char* data, int length);
// Whole file into a heap block (free with FreeBytes); length -1 when the file cannot be read.
char* ReadBytes(const char* path, int* length);
void FreeBytes(char* data);
int SameContent(const char* pathA, const char* pathB);
int FileExists(const char* path);
int FolderExists(const char* path);
// Names of a folder's entries (without "." and ".."), sorted, separated by '|'; "" for an empty or missing folder.
void FolderNames(const char* path, char* out, int size);
// A listing of the folder tree with sizes, attributes and a content checksum, for "left exactly as it was".
void FolderFingerprint(const char* path, char* out, int size);

// The desktop shortcut the installer writes, and the default target for this Windows version.
void DesktopShortcutPath(char* out, int size);
void DefaultTargetPath(char* out, int size);

// The installer started in `workingDirectory`, its window found and ready for input. Returns 0 on success,
// otherwise the step that failed (1 start, 2 no window, 3 not ready); StartFailure tells it in words.
struct Installer {
    DrvProcess process;
    HWND window;
};
int StartInstaller(const char* workingDirectory, Installer* out);
const char* StartFailure(int step);
// Types `path` into the field and presses "Ja".
int TypePathAndStart(Installer* installer, const char* path);
// Waits for the next message box.
int NextBox(Installer* installer, DrvBox* box);
int AnswerAndWait(const DrvBox* box, int buttonId);
int FinishInstaller(Installer* installer, DWORD* exitCode);
void StopInstaller(Installer* installer);

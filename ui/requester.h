// Requesters: the modal message box and the folder picker, and the common start-up of controls and COM.
// Contract: both are synchronous and disable the calling thread's other windows while open; nothing is reported but the result.
#pragma once

#include <windows.h>

// Start step (last): common controls and COM.
void InitCommonUi();

// flags: MessageBoxA flags, passed unchanged. Returns the platform's result, 0 when no box was shown.
int ShowMessageBox(const char* title, const char* text, int flags);
// Text function: the chosen folder ending in a backslash, or the empty text, in the builder at start.
char* ChooseFolder(const char* title, const char* initialPath, int start);

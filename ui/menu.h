// Menus and keyboard shortcuts: numbered menu bars with titles and items, per-window shortcut tables.
// Contract: a chosen item and a pressed shortcut both arrive as EVENT_MENU with the command's low 16 bits as source.
#pragma once

#include <windows.h>

// Modifier bits of a shortcut value (virtual key in the low 16 bits).
const int SHORTCUT_SHIFT = 0x10000;
const int SHORTCUT_CONTROL = 0x20000;
const int SHORTCUT_ALT = 0x40000;

// Start step: creates the menus table and reserves the per-thread build state.
void InitMenuLibrary();

// Returns the menu handle (fixed number), the number (ANY_NUMBER) or 0; the new menu becomes the thread's current one.
int CreateWindowMenu(int number, HWND window);
// Appends a drop-down to the current menu's bar and makes it the level that receives items.
void AddMenuTitle(const char* text);
// Appends a command item to the current level; extra is ignored by plain menus.
void AddMenuItem(int command, const char* text, int extra = 0);
void DestroyNumberedMenu(int number);

// Adds a shortcut or changes the command of the one with the same key and modifiers.
// Returns the window's new shortcut table, 0 for a number without a window.
HACCEL AddShortcut(int windowNumber, int shortcut, int command);

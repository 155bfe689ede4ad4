// Gadgets (labels, text fields, push buttons, check boxes, progress bars), tooltips and numbered fonts.
// Contract: gadgets live in the thread's current gadget list window; creates return handle / number / 0; unknown numbers are ignored.
#pragma once

#include <windows.h>

// Kind codes of the gadget kinds.
const int KIND_BUTTON = 1;
const int KIND_TEXT_FIELD = 2;
const int KIND_LABEL = 3;
const int KIND_CHECK_BOX = 4;
const int KIND_PROGRESS_BAR = 14;

// Event types of text fields besides their EN_ notifications.
const int GADGET_GOT_FOCUS = 14000;
const int GADGET_LOST_FOCUS = 14001;

// Flags of CreateNumberedFont.
const int FONT_UNDERLINE = 0x4;
const int FONT_STRIKEOUT = 0x8;
const int FONT_HIGH_QUALITY = 0x10;
const int FONT_BOLD = 0x100;
const int FONT_ITALIC = 0x200;

// Start steps.
void InitFontLibrary();
void InitGadgetLibrary();

// Coordinates and sizes are client coordinates of the current gadget list window in 96-dpi units, placed at the
// display's scale; text may be null.
int AddLabel(int number, int x, int y, int width, int height, const char* text, int flags = 0);
int AddTextField(int number, int x, int y, int width, int height, const char* text, int flags = 0);
int AddPushButton(int number, int x, int y, int width, int height, const char* text, int flags = 0);
int AddCheckBox(int number, int x, int y, int width, int height, const char* text, int flags = 0);
int AddProgressBar(int number, int x, int y, int width, int height, int minimum, int maximum, int flags = 0);

void PutGadgetText(int gadget, const char* text);
// Text function: the gadget's text in the string builder at start (-1 = current position).
char* ReadGadgetText(int gadget, int start);
void PutGadgetState(int gadget, int value);
int ReadGadgetState(int gadget);
// hide != 0 hides, 0 shows.
void ShowOrHideGadget(int gadget, int hide);
// font: the value CreateNumberedFont returned for a fixed number (the handle), -1 = default font.
// gadget -1: the font of gadgets created afterwards.
void ApplyGadgetFont(int gadget, int font);
// A second call for the same gadget replaces its tip.
void AttachToolTip(int gadget, const char* text);
// End step: destroys the calling thread's tooltip window if there is one.
void DestroyToolTipWindow();

// size in points; returns the font handle (fixed number), the number (ANY_NUMBER) or 0.
int CreateNumberedFont(int number, const char* faceName, int size, int flags);
void DestroyNumberedFont(int number);
// End step: deletes every font.
void DestroyAllFonts();

// Inside the window runtime: makes window the current gadget list; returns the previous one.
HWND SelectGadgetList(HWND window);
// Inside the window runtime: lets the control's gadget kind handle a parent message, else NOT_HANDLED.
LRESULT RouteToGadgetKind(HWND control, HWND parent, UINT message, WPARAM wParam, LPARAM lParam);

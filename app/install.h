// The installation: target folder, payload staging in the working directory, deployment, desktop shortcut, result, clean-up.
// Contract: run_installation ends the program or returns with quit_state QUIT_INSTALLED; a user's file is never touched.
#pragma once

#include <windows.h>

#include "ui/window.h"

// Every pause the program's design asks for goes through take_pause. The benchmark's own build of the installer
// (BRV_PAUSE_METER) logs each one, to take them out exactly. A pause answers what the system sends meanwhile and
// acts on no event: the installation's pauses keep the window answering (the shell greys out one that has not taken
// a message for 5 s), while a click or key made during the installation waits in the queue until its result box.
const DWORD LOOP_PAUSE_MS = 10;       // before each wait of the main loop
const DWORD SETTLE_STEP_MS = 20;      // one step of a settle wait
const DWORD DRAIN_PAUSE_MS = 200;     // after the drain of pending events, before staging
const DWORD CLEAN_UP_PAUSE_MS = 200;  // in the clean-up, before the staged executable goes
// A settle wait ends once its step has a result, the seconds clock has passed its start by more than
// SETTLE_SECONDS, or SETTLE_LIMIT_MS have passed on the tick count (a wall clock set back does not hold it).
const int SETTLE_SECONDS = 2;
const unsigned SETTLE_LIMIT_MS = 3000;
#ifdef BRV_PAUSE_METER
void take_pause(DWORD milliseconds);
#else
inline void take_pause(DWORD milliseconds) { PauseAnswering(milliseconds); }
#endif

// Gadget numbers of the main window that the installation reads and updates.
const int GADGET_PATH_FIELD = 3;
const int GADGET_PICK_BUTTON = 4;
const int GADGET_YES_BUTTON = 5;
const int GADGET_NO_BUTTON = 6;
const int GADGET_PATH_LABEL = 7;
const int GADGET_STATUS_LINE = 8;
const int GADGET_SHORTCUT_BOX = 11;
const int GADGET_PROGRESS_BAR = 13;
const int PROGRESS_TOTAL = 30;

// Payload files by block: 0 the product executable, 1 the notes text, 2..7 Temperatur-1..6.dsb, 8..13 Temperatur-1'..6'.dsb.
const int PAYLOAD_FILE_COUNT = 14;
const int PAYLOAD_EXECUTABLE = 0;
const int PAYLOAD_NOTES = 1;
const int PAYLOAD_FIRST_WORKSHEET = 2;
const int WORKSHEET_PAIRS = 6;  // Temperatur-n.dsb and Temperatur-n'.dsb, WORKSHEET_PAIRS blocks apart
// Longest path below the target folder that the installation writes: "DasyLab\Temperatur-1'.dsb".
const int LONGEST_INSTALLED_NAME = 25;
// Longest target folder text for which every installed path stays within the platform's 259 characters.
const int TARGET_PATH_LIMIT = MAX_PATH - 1 - LONGEST_INSTALLED_NAME;

extern int progress_count;
// Copy or shortcut steps that failed in this installation.
extern int install_failures;

// --- Pure rules ---

// 1 when a settle wait may stop (see SETTLE_SECONDS).
int SettleWaitOver(int result, int nowSeconds, int startSeconds, unsigned elapsedMilliseconds);
// File name of a payload file (the executable's is executable_name).
const char* payload_file_name(int file);
const char* payload_start(int file);
const char* payload_end(int file);

// --- Procedures ---

// Writes the block [start, end) to name; 1 only when every byte reached the file, else 0 and no file of that name is left.
int write_embedded_file(const char* name, const char* start, const char* end);
// Stages one payload file, held open until the clean-up; where a file of that name is there already it stays as it
// is. 0 when the name can hold no file of this run (a folder, a read-only file, a refused name or folder).
int stage_payload_file(int file);
// Writes the notes file into the target's Text folder, made first, inside settle waits.
void deploy_notes();
// The handler of "Ja": the whole installation and the result message; returns with quit_state QUIT_INSTALLED.
void run_installation();
// After the event loop: closes window 0, removes what this run staged (on drive S the executable stays).
void clean_up_after_loop();

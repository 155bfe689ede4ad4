// Fault trap: a process-wide filter that records every unhandled processor fault and hands it to a report procedure.
// Contract: armed by InstallFaultHandler, disarmed by RemoveFaultTrap (first end step); the queries read the last recorded fault.
#pragma once

#include <windows.h>

// Plugs the trap's end step (RemoveFaultTrap) into the frame; the trap needs nothing at start.
void PlugFaultTrap();

// Stores the report procedure and installs the trap's filter, which records the fault, runs the report procedure and
// ends the process with exit code 0 (also for a fault while a report is in progress; after a stack overflow the report
// runs on a fresh stack). Only the first installation keeps the platform's previous filter.
void InstallFaultHandler(void (*report)());
// Reinstalls the previous filter and forgets it; a no-op when the trap is not installed.
void RemoveFaultTrap();

// Text of the recorded code from the fault message table ("Unknown error code" if absent), in the builder at start.
char* FaultMessage(int start);
// Recorded exception code; -1 before any fault.
int FaultCode();
// Address of the faulting instruction; 0 before any fault.
int FaultAddress();
// The inaccessible address of an access violation; 0 for every other fault.
int FaultTargetAddress();
// Recorded source line without its file index; -1 when line tracking was off.
int FaultLine();
// Source file of the recorded line, in the builder at start: the build's main source for index 0, the named
// source for an index SetSourceFiles gave, otherwise "".
char* FaultFile(int start);
// Names the sources of indexes 1 to count: paths[0] is index 1. The table must live as long as the trap.
void SetSourceFiles(const char* const* paths, int count);

// Puts text (null counts as "") on the clipboard as CF_TEXT. Returns the clipboard data handle, or 0 on failure.
HANDLE PutClipboardText(const char* text);

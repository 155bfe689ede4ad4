// The installer's error report after a processor fault: composed in German, put on the clipboard, shown, then the end path.
// Contract: installed with InstallFaultHandler; runs on the faulting thread (which may never have used texts) and never returns.
#pragma once

[[noreturn]] void report_program_fault();

// Numbers of the application's sources, carried in the high 8 bits of every recorded source line, so that the
// report names the file a line belongs to.
enum SourceFileNumber { MAIN_SOURCE = 0, INSTALL_SOURCE = 1, IDENTITY_SOURCE = 2, FAULT_REPORT_SOURCE = 3 };
// Paths of numbers 1 and up, in number order, for SetSourceFiles; number 0 is the fault trap's own build source.
extern const char* const APPLICATION_SOURCES[3];

// The installer's error report after a processor fault: composed in German, put on the clipboard, shown, then the end path.
// Contract: installed with InstallFaultHandler; runs on the faulting thread (which may never have used texts) and never returns.
#pragma once

[[noreturn]] void report_program_fault();

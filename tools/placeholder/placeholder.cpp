// Stand-in for the product executable that the installer carries: a real 32-bit GUI program that says what it is.
// Contract: shows one German message box and exits with code 0; FILLER_BYTES of read-only filler give the image the product's size.
#include <windows.h>

#ifndef FILLER_BYTES
#define FILLER_BYTES 512
#endif

// Initialised (not zero-filled .bss) so the bytes occupy the file and the last section still ends at its end.
__attribute__((used)) static const char filler[FILLER_BYTES] =
    "BrindaVel-Platzhalter: Fuellbytes, damit diese Datei so gross ist wie das echte Programm.";

// No C runtime: the entry point is called by the loader directly, so only USER32 and KERNEL32 are imported.
extern "C" void __cdecl PlaceholderEntry() {
    MessageBoxA(0,
                "Dies ist ein Platzhalter für das Programm BrindaVel.\r\n\r\n"
                "Das echte Programm ist nicht Teil dieses Quellbaums. Das Setup wurde mit "
                "Ersatzdateien gebaut, die nur Namen und Größen der echten Dateien haben.",
                "BrindaVel (Platzhalter)", MB_OK | MB_ICONINFORMATION);
    ExitProcess(0);
}

// The installer's error report after a processor fault: composed in German, put on the clipboard, shown, then the end path.
// Contract: every line ends in CR LF; the clipboard holds the title line and the report up to the empty line after the source file.
// Kept out of the formatter: every statement carries its source-line store on its own line, which it would split.
// clang-format off
#include "app/fault_report.h"

#include <windows.h>

#include "core/frame.h"
#include "core/strings.h"
#include "fault/fault.h"
#include "ui/requester.h"

namespace {
const int SOURCE_FILE = FAULT_REPORT_SOURCE;
}

const char* const APPLICATION_SOURCES[3] = {"app\\install.cpp", "app\\identity.cpp", "app\\fault_report.cpp"};

void report_program_fault() {
    SOURCE_LINE; EnsureThreadStrings();
    SOURCE_LINE; char* title = nullptr;
    SOURCE_LINE; char* body = nullptr;
    SOURCE_LINE; char* clip = nullptr;
    SOURCE_LINE; TextBuilder text;
    SOURCE_LINE; text.Add("Programmfehler in ").Add(ProgramFileName(-1)).ApplyToLastPart(FilePart).CommitTo(&title);
    SOURCE_LINE; text.Add("Fehlermeldung:  ").Add(FaultMessage(-1)).Add("\r\n").CommitTo(&body);
    SOURCE_LINE; text.Add(body).Add("Fehlercode:       ").AddNumber(FaultCode()).Add("\r\n").CommitTo(&body);
    SOURCE_LINE; text.Add(body).Add("Codeadresse:     ").AddNumber(FaultAddress()).Add("\r\n").CommitTo(&body);
    SOURCE_LINE; if (FaultCode() == static_cast<int>(EXCEPTION_ACCESS_VIOLATION)) {
        SOURCE_LINE; text.Add(body).Add("Zieladresse:        ").AddNumber(FaultTargetAddress()).Add("\r\n").CommitTo(&body);
    }
    SOURCE_LINE; text.Add(body).Add("Quellcodezeile:   ").AddNumber(FaultLine()).Add("\r\n").CommitTo(&body);
    SOURCE_LINE; text.Add(body).Add("Quellcodedatei:  ").Add(FaultFile(-1)).Add(BlankText(4, -1)).Add("\r\n\r\n").CommitTo(&body);
    SOURCE_LINE; text.Add(title).Add("\r\n").Add(body).CommitTo(&clip);
    SOURCE_LINE; text.Add(body).Add("Diese Meldung steht auch in der Zwischenablage.    \r\n").CommitTo(&body);
    SOURCE_LINE; text.Add(body).Add("Programmende !").CommitTo(&body);
    SOURCE_LINE; PutClipboardText(clip);
    SOURCE_LINE; text.Add(" ").Add(title);
    SOURCE_LINE; ShowMessageBox(text.Text(), body, MB_OK | MB_ICONERROR | MB_TOPMOST);
    SOURCE_LINE; FreeText(clip);
    SOURCE_LINE; FreeText(body);
    SOURCE_LINE; FreeText(title);
    SOURCE_LINE; EndProgram();
}

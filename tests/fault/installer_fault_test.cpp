// The installer has its fault trap armed from start-up: a fault injected from outside ends in its report and exit code 0.
// Contract: starts BrindaVelSetup.exe from the build folder, waits for its window, starts a thread in it at an invalid address.
#include <windows.h>

#include <gtest/gtest.h>

#include <stdio.h>

#include <string>

#include "tests/fault/report_reader.h"

namespace {

// The build folder holds the installer; this test sits two folders below it.
std::string Installer() { return Beside("..\\..\\BrindaVelSetup.exe"); }

// A thread started at this address faults at its first instruction, on a thread that has never used texts.
const DWORD INVALID_START = 16;

TEST(InstallerFault, ARemoteThreadAtAnInvalidAddressEndsInTheReportAndExitCodeZero) {
    const LPTHREAD_START_ROUTINE invalid = reinterpret_cast<LPTHREAD_START_ROUTINE>(INVALID_START);
    DWORD code = PlatformCodeOf(invalid);
    ASSERT_NE(code, 0u) << "the platform raised nothing for a thread at an invalid address";
    if (code != EXCEPTION_ACCESS_VIOLATION)
        printf("note: this platform reports the fault as 0x%08lX, not 0xC0000005; the report must show what it reports\n", code);
    ClearClipboard();
    WatchedProcess installer(Installer(), "\"" + Installer() + "\"");
    ASSERT_TRUE(installer.Started()) << Installer();
    HWND window = installer.WaitForWindow(nullptr);
    ASSERT_NE(window, nullptr) << "the installer's window did not appear";

    HANDLE thread = CreateRemoteThread(installer.Handle(), nullptr, 0, invalid, nullptr, 0, nullptr);
    ASSERT_NE(thread, nullptr) << "CreateRemoteThread failed: " << GetLastError();
    CloseHandle(thread);

    HWND box = installer.WaitForBox();
    ASSERT_NE(box, nullptr) << "no report box; exit code " << installer.WaitForExit(0);
    EXPECT_EQ(WindowText(box), " Programmfehler in BrindaVelSetup.exe");

    std::string text = WindowText(GetDlgItem(box, 0xFFFF));
    const std::string head = std::string("Fehlermeldung:  ") + TextOf(code) + "\r\n" +
                             "Fehlercode:       " + std::to_string(static_cast<int>(code)) + "\r\n" +
                             "Codeadresse:     16\r\n" +
                             (code == EXCEPTION_ACCESS_VIOLATION ? "Zieladresse:        16\r\n" : "") +
                             "Quellcodezeile:   ";
    EXPECT_EQ(text.substr(0, head.size()), head);
    const std::string tail = "\r\n"
                             "Quellcodedatei:  app\\main.cpp    \r\n"
                             "\r\n"
                             "Diese Meldung steht auch in der Zwischenablage.    \r\n"
                             "Programmende !";
    ASSERT_GT(text.size(), head.size() + tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
    std::string line = text.substr(head.size(), text.size() - head.size() - tail.size());
    EXPECT_FALSE(line.empty());
    EXPECT_EQ(line.find_first_not_of("0123456789"), std::string::npos) << line;

    std::string copied = "Programmfehler in BrindaVelSetup.exe\r\n" +
                         text.substr(0, text.size() - std::string("Diese Meldung steht auch in der Zwischenablage.    \r\n"
                                                                  "Programmende !").size());
    EXPECT_EQ(ClipboardText(), copied);

    EXPECT_TRUE(AnswerBox(box));
    EXPECT_EQ(installer.WaitForExit(), 0u);
}

} // namespace

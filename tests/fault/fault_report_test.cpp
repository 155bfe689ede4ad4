// Faults real programs on purpose under the platform and reads their error report from outside, like a user would.
// Contract: each case starts fault_victim.exe, finds its report box, checks caption, text and clipboard, answers, checks exit code 0.
#include <windows.h>

#include <gtest/gtest.h>

#include <stdio.h>

#include <string>

#include "tests/fault/report_reader.h"

namespace {

std::string Decimal(long long value) { return std::to_string(value); }

// fault_victim.exe with its case, the note file beside it, and further arguments.
class Victim : public WatchedProcess {
public:
    explicit Victim(const std::string& arguments) : WatchedProcess(Program(), CommandLine(arguments)) {}
    int NotedLine() const { return atoi(ReadWholeFile(NotePath()).c_str()); }
    std::string Note() const { return ReadWholeFile(NotePath()); }

private:
    static std::string Program() { return Beside("fault_victim.exe"); }
    static std::string NotePath() { return Beside("fault_note.txt"); }
    static std::string CommandLine(const std::string& arguments) {
        DeleteFileA(NotePath().c_str());
        size_t blank = arguments.find(' ');
        std::string command = "\"" + Program() + "\" " + arguments.substr(0, blank) + " \"" + NotePath() + "\"";
        if (blank != std::string::npos) command += arguments.substr(blank);
        return command;
    }
};

// The address line's number: plain decimal, not zero.
bool TakeAddress(std::string* text, const std::string& label, std::string* digits) {
    if (text->compare(0, label.size(), label) != 0) return false;
    size_t end = text->find("\r\n");
    if (end == std::string::npos) return false;
    *digits = text->substr(label.size(), end - label.size());
    text->erase(0, end + 2);
    if (digits->empty() || digits->find_first_not_of("-0123456789") != std::string::npos) return false;
    return atoll(digits->c_str()) != 0;
}

int* volatile probe_pointer = reinterpret_cast<int*>(16);
volatile int probe_zero = 0;
volatile int probe_sink = 0;

// Real faults for the platform probe.
DWORD WINAPI WriteAt16(void*) {
    *probe_pointer = 1;
    return 0;
}

DWORD WINAPI DivideByZero(void*) {
    probe_sink = 7 / probe_zero;
    return 0;
}

struct ReportCase {
    const char* name;
    const char* arguments;
    DWORD code;                      // the code the fault means
    LPTHREAD_START_ROUTINE hardware; // the same real fault for the platform probe; null: the code is exact
};

class FaultReport : public ::testing::TestWithParam<ReportCase> {};

TEST_P(FaultReport, ShowsEveryLineInOrderCopiesTheReportAndEndsWithZero) {
    const ReportCase& c = GetParam();
    DWORD code = c.code;
    if (c.hardware) {
        code = PlatformCodeOf(c.hardware);
        ASSERT_NE(code, 0u) << "the platform raised nothing for the probe";
        if (code != c.code)
            printf("note: this platform reports the fault as 0x%08lX, not 0x%08lX; the report must show what it reports\n",
                   code, c.code);
    }
    ClearClipboard();
    Victim victim(c.arguments);
    ASSERT_TRUE(victim.Started());
    HWND box = victim.WaitForBox();
    ASSERT_NE(box, nullptr) << "no report box; exit code " << victim.WaitForExit(0);

    const std::string title = "Programmfehler in fault_victim.exe";
    EXPECT_EQ(WindowText(box), " " + title);

    std::string text = WindowText(GetDlgItem(box, 0xFFFF));
    std::string body = text;
    std::string expected = std::string("Fehlermeldung:  ") + TextOf(code) + "\r\n" +
                           "Fehlercode:       " + Decimal(static_cast<int>(code)) + "\r\n";
    ASSERT_EQ(text.substr(0, expected.size()), expected);
    text.erase(0, expected.size());
    std::string address;
    ASSERT_TRUE(TakeAddress(&text, "Codeadresse:     ", &address)) << text;
    std::string rest = code == EXCEPTION_ACCESS_VIOLATION ? "Zieladresse:        16\r\n" : "";
    EXPECT_NE(victim.NotedLine(), 0);
    rest += "Quellcodezeile:   " + Decimal(victim.NotedLine()) + "\r\n" +
            "Quellcodedatei:  app\\main.cpp    \r\n"
            "\r\n";
    std::string copied = title + "\r\n" + body.substr(0, body.size() - text.size()) + rest;
    rest += "Diese Meldung steht auch in der Zwischenablage.    \r\n"
            "Programmende !";
    EXPECT_EQ(text, rest);
    EXPECT_EQ(ClipboardText(), copied);

    EXPECT_TRUE(AnswerBox(box));
    EXPECT_EQ(victim.WaitForExit(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FaultReport,
    ::testing::Values(
        ReportCase{"AccessViolation", "access", EXCEPTION_ACCESS_VIOLATION, WriteAt16},
        ReportCase{"IntegerDivisionByZero", "divide", EXCEPTION_INT_DIVIDE_BY_ZERO, DivideByZero},
        ReportCase{"FaultOnAThreadWithoutTexts", "thread", EXCEPTION_ACCESS_VIOLATION, WriteAt16},
        ReportCase{"StackOverflow", "overflow", EXCEPTION_STACK_OVERFLOW, nullptr},
        ReportCase{"RaisedAccessViolation", "raised 0xC0000005", EXCEPTION_ACCESS_VIOLATION, nullptr},
        ReportCase{"RaisedIntegerDivisionByZero", "raised 0xC0000094", EXCEPTION_INT_DIVIDE_BY_ZERO, nullptr},
        ReportCase{"RaisedCodeOutsideTheTable", "raised 0xE0421234", 0xE0421234, nullptr}),
    [](const ::testing::TestParamInfo<ReportCase>& info) { return std::string(info.param.name); });

TEST(FaultReportGuard, AFaultInsideTheReportEndsTheProcessWithZeroAndNoBox) {
    Victim victim("recursive");
    ASSERT_TRUE(victim.Started());
    EXPECT_EQ(victim.WaitForExit(BOX_TIMEOUT_MS), 0u);
    EXPECT_EQ(victim.Note(), "report entered");
}

TEST(FaultReportGuard, AFaultOnAnotherThreadWhileTheReportIsShownEndsTheProcessWithZero) {
    Victim victim("concurrent");
    ASSERT_TRUE(victim.Started());
    EXPECT_EQ(victim.WaitForExit(BOX_TIMEOUT_MS), 0u);
}

TEST(FaultReportGuard, WithoutAReportProcedureTheProcessEndsSilentlyWithZero) {
    Victim victim("silent");
    ASSERT_TRUE(victim.Started());
    EXPECT_EQ(victim.WaitForExit(BOX_TIMEOUT_MS), 0u);
    EXPECT_EQ(victim.Note(), "");
}

TEST(FaultTrap, TheEndStepRestoresTheFilterThatWasThereBeforeTheFirstInstallation) {
    Victim victim("restore");
    ASSERT_TRUE(victim.Started());
    EXPECT_EQ(victim.WaitForExit(BOX_TIMEOUT_MS), 0u);
    EXPECT_EQ(victim.Note(), "restored");
}

// Every row of the message table, with the target address kept only for access violations.
TEST(FaultQueries, EveryTableRowGivesItsTextCodeAndTarget) {
    for (const FaultText& row : FAULT_TEXTS) {
        char arguments[64];
        wsprintfA(arguments, "raise 0x%08X 4711", row.code);
        Victim victim(arguments);
        ASSERT_TRUE(victim.Started());
        EXPECT_EQ(victim.WaitForExit(BOX_TIMEOUT_MS), 0u) << arguments;
        std::string expected = std::string(row.text) + "|" + Decimal(static_cast<int>(row.code)) + "|" +
                               (row.code == 0xC0000005 ? "4660" : "0") + "|4711|app\\main.cpp";
        EXPECT_EQ(victim.Note(), expected) << arguments;
    }
}

// A raised code with CurrentSourceLine set to the case's line: "raise" leaves the sources unnamed, "named"
// names the installer's. A line's top byte picks its file; an index past the table names none.
TEST(FaultQueries, LineTrackingOffAndTheSourceFileOfEachIndex) {
    const struct {
        const char* kind;
        const char* line;
        const char* expected;
    } cases[] = {
        {"raise", "0xFFFFFFFF", "Unknown error code|536870913|0|-1|OnError line support disabled"},
        {"raise", "0x01000078", "Unknown error code|536870913|0|120|"},
        {"raise", "0x00FFFFFF", "Unknown error code|536870913|0|16777215|app\\main.cpp"},
        {"named", "0x00000010", "Unknown error code|536870913|0|16|app\\main.cpp"},
        {"named", "0x01000078", "Unknown error code|536870913|0|120|app\\install.cpp"},
        {"named", "0x03000005", "Unknown error code|536870913|0|5|app\\fault_report.cpp"},
        {"named", "0x04000005", "Unknown error code|536870913|0|5|"},
        {"named", "0xFF000001", "Unknown error code|536870913|0|1|"},
    };
    for (const auto& c : cases) {
        Victim victim(std::string(c.kind) + " 0x20000001 " + c.line);
        ASSERT_TRUE(victim.Started());
        EXPECT_EQ(victim.WaitForExit(BOX_TIMEOUT_MS), 0u) << c.kind << " " << c.line;
        EXPECT_EQ(victim.Note(), c.expected) << c.kind << " " << c.line;
    }
}

} // namespace

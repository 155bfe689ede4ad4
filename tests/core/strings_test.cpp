// Tests of the string builder, string variables, the text functions and the TextBuilder guard.
// Contract: runs under the real platform; fresh builders are taken on threads of their own.
#include <windows.h>
#include <stdio.h>
#include <string.h>

#include <gtest/gtest.h>

#include "core/frame.h"
#include "core/strings.h"
#include "tests/core/child_process.h"

namespace {

class RuntimeEnvironment : public ::testing::Environment {
public:
    void SetUp() override { StartRuntime(); }
};
::testing::Environment* const runtimeEnvironment = ::testing::AddGlobalTestEnvironment(new RuntimeEnvironment);

// Runs body on a new thread, whose builder is fresh (capacity 16, position 0).
template <typename Body>
void OnFreshThread(Body body) {
    struct Call {
        static DWORD WINAPI Run(void* argument) {
            (*static_cast<Body*>(argument))();
            return 0;
        }
    };
    HANDLE thread = CreateThread(nullptr, 0, Call::Run, &body, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    ASSERT_EQ(WaitForSingleObject(thread, 30000), WAIT_OBJECT_0);
    CloseHandle(thread);
}

TEST(StringLiterals, ReachTheProgramAsWindows1252Bytes) {
    const char text[] = "üä®©";
    ASSERT_EQ(sizeof(text), 5u);
    EXPECT_EQ(static_cast<unsigned char>(text[0]), 0xFC);
    EXPECT_EQ(static_cast<unsigned char>(text[1]), 0xE4);
    EXPECT_EQ(static_cast<unsigned char>(text[2]), 0xAE);
    EXPECT_EQ(static_cast<unsigned char>(text[3]), 0xA9);
}

TEST(Builder, GrowsWhenAReservationEndsFourBytesBeforeTheCapacity) {
    OnFreshThread([] {
        EXPECT_EQ(BuilderPosition(), 0);
        EXPECT_EQ(BuilderCapacity(), 16);
        ReserveText(11, -1);
        EXPECT_EQ(BuilderCapacity(), 16) << "end 11 < 16 - 4";
        RestorePosition(0);
        ReserveText(12, -1);
        EXPECT_EQ(BuilderCapacity(), 12 + 16384);
        // The end counts from the current position, whatever the start.
        int capacity = BuilderCapacity();
        RestorePosition(capacity - 6);
        ReserveText(1, 0);
        EXPECT_EQ(BuilderCapacity(), capacity) << "end capacity - 5";
        EXPECT_EQ(BuilderPosition(), 1);
        RestorePosition(capacity - 6);
        ReserveText(2, 0);
        EXPECT_EQ(BuilderCapacity(), capacity - 4 + 16384);
        EXPECT_EQ(BuilderPosition(), 2);
    });
}

TEST(Builder, KeepsItsContentsAndOffsetsAcrossGrowth) {
    OnFreshThread([] {
        char* variable = nullptr;
        AppendText("0123456789");
        AssignText(&variable, "a block behind the buffer keeps it from growing in place");
        int offset = TextOffset(BuilderBase() + 3);
        EXPECT_EQ(offset, 4);
        ReserveText(100000, -1);
        EXPECT_EQ(TextAtOffset(offset), BuilderBase() + 3);
        EXPECT_EQ(memcmp(BuilderBase(), "0123456789", 10), 0);
        EXPECT_EQ(TextOffset(variable), 0);
        EXPECT_EQ(TextOffset(nullptr), 0);
        FreeText(variable);
    });
}

// Each function gets a source built at its own start while its reservation moves the buffer.
TEST(Builder, TextFunctionsFollowASourceThatMovesWithTheBuffer) {
    struct Case {
        const char* source;
        char* (*function)(const char*, int);
        const char* expected;
    };
    const Case cases[] = {
        {"/abcdef", FilePart, "abcdef"},
        {"abcdefghi", UpperCaseText, "ABCDEFGHI"},
        {"abcdefghi", AppendCString, "abcdefghi"},
    };
    for (const Case& c : cases) {
        OnFreshThread([&c] {
            char* blocker = nullptr;
            AppendText(c.source);
            SealArgument();
            AssignText(&blocker, "a block behind the buffer keeps it from growing in place");
            char* before = BuilderBase();
            char* result = c.function(BuilderBase() + 0, 0);
            EXPECT_NE(BuilderBase(), before) << "the reservation was meant to move the buffer";
            EXPECT_EQ(result, BuilderBase());
            EXPECT_STREQ(result, c.expected) << c.source;
            EXPECT_EQ(BuilderPosition(), static_cast<int>(strlen(c.expected)));
            FreeText(blocker);
        });
    }
    OnFreshThread([] {
        AppendText("abcdefgh");
        SealArgument();
        EXPECT_STREQ(LeftText(BuilderBase(), 3, 0), "abc");
        RestorePosition(0);
        AppendText("abcdefgh");
        SealArgument();
        EXPECT_STREQ(RightText(BuilderBase(), 3, 0), "fgh");
    });
}

TEST(Builder, AppendTextOfNullOnlyTerminates) {
    int start = BuilderPosition();
    AppendText("ab");
    AppendText(nullptr);
    EXPECT_EQ(BuilderPosition(), start + 2);
    EXPECT_STREQ(BuilderBase() + start, "ab");
    AppendText("cd");
    EXPECT_STREQ(BuilderBase() + start, "abcd");
    SealArgument();
    EXPECT_EQ(BuilderPosition(), start + 5);
    EXPECT_STREQ(TakeText(start), "abcd");
    EXPECT_EQ(BuilderPosition(), start);
}

TEST(Builder, ResultsLandAtTheirStartAndGiveBackTheRest) {
    int start = BuilderPosition();
    AppendText("prefix ");
    char* number = NumberToText(-42, -1);
    EXPECT_EQ(number, BuilderBase() + start + 7);
    EXPECT_EQ(BuilderPosition(), start + 10);
    EXPECT_STREQ(BuilderBase() + start, "prefix -42");
    char* overwritten = NumberToText(7, start);
    EXPECT_EQ(overwritten, BuilderBase() + start);
    EXPECT_EQ(BuilderPosition(), start + 1);
    RestorePosition(start);
}

TEST(StringVariables, CommitTextAndAssignTextNullAndEmpty) {
    char* variable = nullptr;
    int start = BuilderPosition();
    CommitText(&variable, start);
    ASSERT_NE(variable, nullptr) << "an empty expression gives a block holding \"\"";
    EXPECT_STREQ(variable, "");

    AppendText("Zieldatei");
    AppendText(" fehlt");
    CommitText(&variable, start);
    EXPECT_STREQ(variable, "Zieldatei fehlt");
    EXPECT_EQ(BuilderPosition(), start);

    EXPECT_EQ(AssignText(&variable, nullptr), 1);
    EXPECT_EQ(variable, nullptr);
    EXPECT_EQ(AssignText(&variable, nullptr), 1);
    EXPECT_EQ(variable, nullptr);

    EXPECT_EQ(AssignText(&variable, ""), 1);
    ASSERT_NE(variable, nullptr);
    EXPECT_STREQ(variable, "");
    EXPECT_EQ(AssignText(&variable, "BrindaVel"), 10);
    EXPECT_STREQ(variable, "BrindaVel");
    FreeText(variable);
    FreeText(nullptr);
}

TEST(StringVariables, AssignTextOfTheVariablesOwnBlock) {
    char* variable = nullptr;
    char text[301];
    for (int i = 0; i < 300; ++i) text[i] = static_cast<char>('a' + i % 26);
    text[300] = 0;
    AssignText(&variable, text);
    EXPECT_EQ(AssignText(&variable, variable), 301);
    EXPECT_STREQ(variable, text);
    // The tail of its own block: the text moves to the front before the block shrinks.
    EXPECT_EQ(AssignText(&variable, variable + 290), 11);
    EXPECT_STREQ(variable, text + 290);
    FreeText(variable);
}

TEST(StringVariables, InitParameterTextAndComparisons) {
    char* local = nullptr;
    InitParameterText(&local, nullptr);
    EXPECT_EQ(local, nullptr);
    const char* parameter = "C:\\Programme\\";
    InitParameterText(&local, parameter);
    ASSERT_NE(local, nullptr);
    EXPECT_NE(local, parameter);
    EXPECT_STREQ(local, parameter);
    FreeText(local);

    EXPECT_EQ(TextEquals(nullptr, ""), 1);
    EXPECT_EQ(TextEquals("", nullptr), 1);
    EXPECT_EQ(TextEquals("S:", "S:"), 1);
    EXPECT_EQ(TextEquals("S:", "s:"), 0);
    EXPECT_EQ(TextEquals("S", "S:"), 0);
    EXPECT_EQ(TextLength(nullptr), 0);
    EXPECT_EQ(TextLength("Notiz.txt"), 9);
}

TEST(TextFunctions, NumberToTextAtThe32And64BitEdges) {
    struct Case {
        long long value;
        const char* text;
    };
    const Case cases[] = {
        {0, "0"},
        {23, "23"},
        {-1, "-1"},
        {-2147483647LL - 1, "-2147483648"},
        {2147483647LL, "2147483647"},
        {2147483648LL, "2147483648"},
        {-2147483649LL, "-2147483649"},
        {4294967296LL, "4294967296"},
        {-1073741819LL, "-1073741819"},
        {9223372036854775807LL, "9223372036854775807"},
        {-9223372036854775807LL - 1, "-9223372036854775808"},
    };
    for (const Case& c : cases) {
        int start = BuilderPosition();
        char* text = NumberToText(c.value, -1);
        EXPECT_STREQ(text, c.text);
        EXPECT_EQ(BuilderPosition(), start + static_cast<int>(strlen(c.text))) << c.text;
        RestorePosition(start);
    }
}

TEST(TextFunctions, IntegerToTextRadixes) {
    char digits[40];
    EXPECT_STREQ(IntegerToText(0, digits, 10), "0");
    EXPECT_STREQ(IntegerToText(2012, digits, 10), "2012");
    EXPECT_STREQ(IntegerToText(255, digits, 16), "ff");
    EXPECT_STREQ(IntegerToText(35, digits, 36), "z");
    EXPECT_STREQ(IntegerToText(5, digits, 2), "101");
    EXPECT_STREQ(IntegerToText(2147483647, digits, 2), "1111111111111111111111111111111");
    EXPECT_STREQ(IntegerToText(-12, digits, 10), "-12");
    strcpy(digits, "untouched");
    EXPECT_EQ(IntegerToText(5, digits, 1), nullptr);
    EXPECT_EQ(IntegerToText(5, digits, 37), nullptr);
    EXPECT_STREQ(digits, "untouched");
    EXPECT_EQ(IntegerToText(5, nullptr, 10), nullptr);
}

TEST(TextFunctions, FindText) {
    struct Case {
        const char* text;
        const char* pattern;
        int from;
        int found;
    };
    const Case cases[] = {
        {"a..b", "..", 1, 2},
        {"a..b", "..", 2, 2},
        {"a..b", "..", 3, 0},
        {"a..b", ".", 3, 3},
        {"a..b", "..", 5, 0},
        {"a..b", "..", 0, 2},
        {"a..b", "..", -7, 2},
        {"a..b", "", 1, 0},
        {"a..b", nullptr, 1, 0},
        {nullptr, "..", 1, 0},
        {"", "a", 1, 0},
        {"DasyLab", "lab", 1, 0},
        {"DasyLab", "Lab", 1, 5},
        {"ab", "abc", 1, 0},
        {"abab", "ab", 2, 3},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FindText(c.text, c.pattern, c.from), c.found)
            << (c.text ? c.text : "(null)") << " / " << (c.pattern ? c.pattern : "(null)") << " from " << c.from;
}

TEST(TextFunctions, UpperCaseTextRaisesAsciiAndTheTopRowOnly) {
    char all[256];
    for (int i = 1; i < 256; ++i) all[i - 1] = static_cast<char>(i);
    all[255] = 0;
    int start = BuilderPosition();
    const unsigned char* upper = reinterpret_cast<const unsigned char*>(UpperCaseText(all, -1));
    for (int i = 1; i < 256; ++i) {
        int expected = (i >= 0x61 && i <= 0x7A) || i >= 0xE0 ? i - 0x20 : i;
        EXPECT_EQ(upper[i - 1], expected) << "byte " << i;
    }
    EXPECT_EQ(upper[255], 0);
    EXPECT_EQ(BuilderPosition(), start + 255);
    EXPECT_STREQ(UpperCaseText("c:", start), "C:");
    EXPECT_STREQ(UpperCaseText("S:", start), "S:");
    EXPECT_STREQ(UpperCaseText(nullptr, start), "");
    RestorePosition(start);
}

TEST(TextFunctions, LeftRightBlankAndCString) {
    int start = BuilderPosition();
    EXPECT_STREQ(LeftText("abc", 5, start), "abc");
    EXPECT_STREQ(LeftText("abc", -1, start), "");
    EXPECT_STREQ(LeftText("abc", 2, start), "ab");
    EXPECT_STREQ(LeftText(nullptr, 2, start), "");
    EXPECT_STREQ(RightText("abc", 2, start), "bc");
    EXPECT_STREQ(RightText("abc", 9, start), "abc");
    EXPECT_STREQ(RightText("abc", -3, start), "");
    EXPECT_STREQ(BlankText(4, start), "    ");
    EXPECT_EQ(BuilderPosition(), start + 4);
    EXPECT_STREQ(BlankText(-2, start), "");
    EXPECT_STREQ(AppendCString(nullptr, start), "");
    EXPECT_STREQ(AppendCString("Text\\", start), "Text\\");
    RestorePosition(start);
}

TEST(TextFunctions, FilePart) {
    struct Case {
        const char* path;
        const char* part;
    };
    const Case cases[] = {
        {"\"C:\\Program Files\\BrindaVel\\Brindavel.exe\"", "Brindavel.exe"},
        {"\"C:\\Program Files\\BrindaVel\\Brindavel.exe\" -x", "Brindavel.exe"},
        {"C:\\Programme\\BrindaVel\\", ""},
        {"C:/daten/mess.dsb", "mess.dsb"},
        {"Notiz.txt", "Notiz.txt"},
        {"\"Notiz.txt\"", "Notiz.txt"},
        {"C:", "C:"},
        {"", ""},
        {nullptr, ""},
    };
    for (const Case& c : cases) {
        int start = BuilderPosition();
        EXPECT_STREQ(FilePart(c.path, -1), c.part) << (c.path ? c.path : "(null)");
        EXPECT_EQ(BuilderPosition(), start + static_cast<int>(strlen(c.part)));
        RestorePosition(start);
    }
}

TEST(TextFunctions, ProgramFileNameIsTheModulesPath) {
    char expected[MAX_PATH + 1];
    DWORD length = GetModuleFileNameA(nullptr, expected, sizeof(expected));
    ASSERT_GT(length, 0u);
    int start = BuilderPosition();
    EXPECT_STREQ(ProgramFileName(-1), expected);
    EXPECT_EQ(BuilderPosition(), start + static_cast<int>(length));
    RestorePosition(start);
}

TEST(TextFunctions, ProgramFileNameOfALongPathStartHasNoPrefix) {
    char child[MAX_PATH];
    ASSERT_TRUE(ChildProgramPath(child));
    char longName[MAX_PATH + 8];
    strcpy(longName, "\\\\?\\");
    strcat(longName, child);
    char output[MAX_PATH];
    ASSERT_TRUE(ScratchFileName(output));
    char commandLine[3 * MAX_PATH];
    strcpy(commandLine, "core_frame_child name ");
    strcat(commandLine, output);
    ASSERT_EQ(RunChild(longName, commandLine), 0);
    char reported[2 * MAX_PATH];
    ASSERT_TRUE(ReadWholeFile(output, reported, sizeof(reported)));
    DeleteFileA(output);
    // First line: ProgramFileName; second line: what the platform reported (shown for the record).
    char* lineEnd = strchr(reported, '\n');
    ASSERT_NE(lineEnd, nullptr);
    *lineEnd = 0;
    EXPECT_STRCASEEQ(reported, child) << "platform reported: " << lineEnd + 1;
    EXPECT_NE(strncmp(reported, "\\\\?\\", 4), 0);
    // Wine was seen to drop the prefix itself; where the platform keeps it, the removal in ProgramFileName is what is tested.
    if (strncmp(lineEnd + 1, "\\\\?\\", 4) != 0)
        printf("note: the platform reported the long-path start as %s (no prefix to remove)\n", lineEnd + 1);
}

TEST(TextBuilderGuard, TheFaultReportTitle) {
    OnFreshThread([] {
        char* title = nullptr;
        {
            TextBuilder text;
            text.Add("Programmfehler in ").Add(ProgramFileName(-1)).ApplyToLastPart(FilePart);
            text.CommitTo(&title);
            EXPECT_STREQ(text.Text(), "");
        }
        EXPECT_EQ(BuilderPosition(), 0);
        char path[MAX_PATH];
        GetModuleFileNameA(nullptr, path, sizeof(path));
        char expected[MAX_PATH + 20];
        strcpy(expected, "Programmfehler in ");
        strcat(expected, strrchr(path, '\\') + 1);
        EXPECT_STREQ(title, expected);
        FreeText(title);
    });
}

TEST(TextBuilderGuard, ArgumentsBuiltOneAfterAnotherStayIntact) {
    int before = BuilderPosition();
    {
        TextBuilder first;
        first.Add("Zielordner ").Add("C:\\BrindaVel");
        TextBuilder second;
        second.Add("Datei ").AddNumber(12).Add(" von ").AddNumber(-2147483649LL);
        TextBuilder empty;
        EXPECT_STREQ(first.Text(), "Zielordner C:\\BrindaVel");
        EXPECT_EQ(first.Length(), 23);
        EXPECT_STREQ(second.Text(), "Datei 12 von -2147483649");
        EXPECT_STREQ(empty.Text(), "");
        EXPECT_EQ(second.Equals("Datei 12 von -2147483649"), 1);
        EXPECT_EQ(first.Equals("Zielordner"), 0);
    }
    EXPECT_EQ(BuilderPosition(), before);
}

TEST(TextBuilderGuard, ResultsOfTextFunctionsAndInPlaceFunctions) {
    TextBuilder text;
    text.Add("laufwerk ").Add(LeftText("s:\\daten", 2, -1)).Apply(UpperCaseText);
    EXPECT_STREQ(text.Text(), "LAUFWERK S:");
    text.Add(" ").Add(nullptr).Add(BlankText(2, -1)).Add("|");
    EXPECT_STREQ(text.Text(), "LAUFWERK S:   |");
    // Growing the buffer by a large part keeps the text.
    char large[40001];
    memset(large, 'x', 40000);
    large[40000] = 0;
    text.Add(large);
    EXPECT_EQ(text.Length(), 15 + 40000);
    EXPECT_EQ(strncmp(text.Text(), "LAUFWERK S:   |xxx", 18), 0);
}

}  // namespace

// End-to-end tests of whole installations: the real BrindaVelSetup.exe under Wine, operated through the GUI driver.
// Contract: each test has its own scratch folder (working directory + target) and removes the desktop shortcut.
#include <windows.h>
#include <commctrl.h>
#include <stdio.h>
#include <string.h>

#include <string>

#include <gtest/gtest.h>

#include "tests/e2e/e2e_paths.h"
#include "tests/e2e/e2e_support.h"

namespace {

const char* const kQuestionTitle = " Zielpfad für Profi-Bedienprogramm BrindaVel ";
const char* const kErrorTitle = " Installationsfehler ";
const char* const kResultTitle = " Software für BrindaVel ";
const char* const kSuccess = "Die Installation der Software   \nVersion V.23 war erfolgreich !   ";
const char* const kFailure = "Die Installation der Software   \nVersion V.23 war nicht erfolgreich !   ";
const char* const kInstalling = "Die Dateien werden installiert ...     ";

std::string Question(const std::string& target)
{
    return "Der eingestellte Zielpfad existiert noch nicht.  \n\nSoll der Zielpfad \n\n    " + target +
           "  \n\nangelegt werden ? ";
}

std::string CannotCreateFolder(const std::string& target)
{
    return "Der Zielpfad  '" + target + "'  konnte nicht angelegt werden!  ";
}

std::string CannotCreateFile(const std::string& name)
{
    return "Die Datei  '" + name + "'  konnte nicht erzeugt werden!   ";
}

std::string Payload(const char* name)
{
    return std::string(BRV_E2E_PAYLOAD_DIR) + "\\" + name;
}

class Installation : public ::testing::Test {
protected:
    std::string root, work, link;
    Installer installer;
    DrvBox box;
    char before[32768], after[32768];

    void SetUp() override {
        memset(&installer, 0, sizeof installer);
        char path[MAX_PATH];
        MakeScratch(::testing::UnitTest::GetInstance()->current_test_info()->name(), path, sizeof path);
        root = path;
        work = root + "\\Arbeit";
        ASSERT_TRUE(MakeFolder(work.c_str()));
        DesktopShortcutPath(path, sizeof path);
        link = path;
        RemoveShortcut();
    }
    // Seen under Wine: right after a save, the shell's menu builder still holds the new shortcut open for a
    // while, so one DeleteFile may fail and the next test would find the old shortcut. Poll until it is gone.
    void RemoveShortcut() {
        for (int tries = 0; tries < 600 && FileExists(link.c_str()); ++tries) {
            DeleteFileA(link.c_str());
            if (FileExists(link.c_str())) Sleep(50);
        }
        ASSERT_FALSE(FileExists(link.c_str())) << "the old shortcut cannot be removed: " << link;
    }
    void TearDown() override {
        StopInstaller(&installer);
        RemoveShortcut();
    }

    void Start() {
        int step = StartInstaller(work.c_str(), &installer);
        ASSERT_EQ(0, step) << StartFailure(step);
    }

    void Snapshot(char* out) { FolderFingerprint(work.c_str(), out, sizeof before); }

    // Waits for the next box and checks title, text and buttons.
    void ExpectBox(const char* title, const std::string& text, int firstButton, int secondButton = 0) {
        ASSERT_TRUE(NextBox(&installer, &box)) << "no message box appeared (expected: " << text << ")";
        EXPECT_STREQ(title, box.title);
        EXPECT_STREQ(text.c_str(), box.text);
        ASSERT_EQ(secondButton ? 2 : 1, box.buttonCount);
        EXPECT_EQ(firstButton, box.buttonIds[0]);
        if (secondButton) EXPECT_EQ(secondButton, box.buttonIds[1]);
        // MB_TOPMOST is not visible from outside here: Wine reported no WS_EX_TOPMOST on these boxes.
    }

    void Answer(int button) { ASSERT_TRUE(AnswerAndWait(&box, button)); }

    void ExpectExitZero() {
        DWORD code = 1234;
        ASSERT_TRUE(FinishInstaller(&installer, &code)) << "the program did not end";
        EXPECT_EQ(0u, code);
    }

    // The target holds exactly the installed layout, every file byte-identical to the payload folder.
    void ExpectInstalled(const std::string& target) {
        char names[4096];
        FolderNames(target.c_str(), names, sizeof names);
        EXPECT_STREQ("Brindavel.exe|DasyLab|Text", names);
        EXPECT_TRUE(SameContent((target + "Brindavel.exe").c_str(), Payload("Brindavel.exe").c_str()));
        FolderNames((target + "Text").c_str(), names, sizeof names);
        EXPECT_STREQ("Notiz.txt", names);
        EXPECT_TRUE(SameContent((target + "Text\\Notiz.txt").c_str(), Payload("Notiz.txt").c_str()));
        FolderNames((target + "DasyLab").c_str(), names, sizeof names);
        EXPECT_STREQ("Temperatur-1'.dsb|Temperatur-1.dsb|Temperatur-2'.dsb|Temperatur-2.dsb|Temperatur-3'.dsb|"
                     "Temperatur-3.dsb|Temperatur-4'.dsb|Temperatur-4.dsb|Temperatur-5'.dsb|Temperatur-5.dsb|"
                     "Temperatur-6'.dsb|Temperatur-6.dsb",
                     names);
        for (const char* sheet : kWorksheetNames) {
            SCOPED_TRACE(sheet);
            EXPECT_TRUE(SameContent((target + "DasyLab\\" + sheet).c_str(), Payload(sheet).c_str()));
        }
    }

    // A complete run into an existing target: no question, the success box, exit 0.
    void InstallInto(const std::string& target) {
        Start();
        ASSERT_TRUE(TypePathAndStart(&installer, target.c_str()));
        ExpectBox(kResultTitle, kSuccess, IDOK);
        Answer(IDOK);
        ExpectExitZero();
    }

    // A run that must end with the creation error for `typed` (shown as `shown`).
    void ExpectFolderRefused(const std::string& typed, const std::string& shown) {
        Snapshot(before);
        Start();
        ASSERT_TRUE(TypePathAndStart(&installer, typed.c_str()));
        ExpectBox(kQuestionTitle, Question(shown), IDYES, IDNO);
        Answer(IDYES);
        ExpectBox(kErrorTitle, CannotCreateFolder(shown), IDOK);
        Answer(IDOK);
        ExpectExitZero();
        Snapshot(after);
        EXPECT_STREQ(before, after) << "nothing staged, nothing left behind";
        EXPECT_FALSE(FileExists(link.c_str()));
    }
};

TEST_F(Installation, FreshInstallIntoAMissingFolderWhoseParentExists) {
    std::string parent = root + "\\Ziel";
    ASSERT_TRUE(MakeFolder(parent.c_str()));
    std::string target = parent + "\\BrindaVel\\";
    Snapshot(before);
    Start();
    ASSERT_TRUE(TypePathAndStart(&installer, target.c_str()));
    ExpectBox(kQuestionTitle, Question(target), IDYES, IDNO);
    DWORD started = GetTickCount();
    Answer(IDYES);
    // While installing: buttons hidden, bar shown, status text set (readable although the program is busy).
    EXPECT_TRUE(DrvWaitControlText(installer.window, 8, kInstalling, E2E_TIMEOUT_MS));
    EXPECT_TRUE(DrvWaitControlVisible(installer.window, 6, 0, E2E_TIMEOUT_MS));
    EXPECT_TRUE(DrvWaitControlVisible(installer.window, 5, 0, E2E_TIMEOUT_MS));
    EXPECT_TRUE(DrvWaitControlVisible(installer.window, 13, 1, E2E_TIMEOUT_MS));
    ExpectBox(kResultTitle, kSuccess, IDOK);
    DWORD took = GetTickCount() - started;
    // Mandated pauses: 200 ms after the drain, 20 ms per successful step (29), the always-failing second folder
    // creation (at least 2 s on the seconds clock).
    EXPECT_GE(took, 200u + 29 * 20 + 2000) << "the install skipped mandated pauses";
    // The bar has reached its end while the result is shown.
    // Sent without SMTO_ABORTIFHUNG: after seconds of work without a message loop the program counts as hung
    // for a while although its box is already pumping.
    DWORD_PTR position = 0;
    int answered = 0;
    for (int tries = 0; tries < 20 && !answered; ++tries)
        answered = SendMessageTimeoutA(GetDlgItem(installer.window, 13), PBM_GETPOS, 0, 0, SMTO_NORMAL, 10000,
                                       &position) != 0;
    ASSERT_TRUE(answered) << "the progress bar does not answer";
    EXPECT_EQ(30u, position);
    Answer(IDOK);
    ExpectExitZero();
    ExpectInstalled(target);
    EXPECT_TRUE(FileExists(link.c_str())) << "desktop shortcut " << link;
    Snapshot(after);
    EXPECT_STREQ(before, after) << "the working directory is left as it was";
}

TEST_F(Installation, RepeatedInstallOverAnEarlierOne) {
    std::string target = root + "\\BrindaVel\\";
    ASSERT_TRUE(MakeFolder(target.c_str()));
    InstallInto(target);
    ExpectInstalled(target);
    StopInstaller(&installer);
    Snapshot(before);
    InstallInto(target);
    ExpectInstalled(target);
    EXPECT_TRUE(FileExists(link.c_str()));
    Snapshot(after);
    EXPECT_STREQ(before, after);
}

// The count would be 32 here; the installation is complete, so it is reported as a success.
TEST_F(Installation, ExistingTargetWithoutSubFoldersIsASuccess) {
    std::string target = root + "\\Leer\\";
    ASSERT_TRUE(MakeFolder(target.c_str()));
    InstallInto(target);
    ExpectInstalled(target);
}

TEST_F(Installation, UntickedBoxInstallsWithoutShortcut) {
    std::string target = root + "\\OhneLink\\";
    ASSERT_TRUE(MakeFolder(target.c_str()));
    Start();
    ASSERT_TRUE(DrvClick(installer.window, 11));
    DrvControl box11;
    for (int tries = 0; tries < 2000; ++tries) {
        ASSERT_TRUE(DrvFindControl(installer.window, 11, &box11));
        if (box11.check == 0) break;
        Sleep(50);
    }
    ASSERT_EQ(0, box11.check) << "a click unticks the box";
    ASSERT_TRUE(TypePathAndStart(&installer, target.c_str()));
    ExpectBox(kResultTitle, kSuccess, IDOK);
    Answer(IDOK);
    ExpectExitZero();
    ExpectInstalled(target);
    EXPECT_FALSE(FileExists(link.c_str())) << "no shortcut with the box unticked";
}

// One worksheet destination that cannot be written: its copy fails in both passes (count 28), the failure message
// follows, and every other file is in place. Seen under Wine: CopyFile replaces a read-only destination file, so a
// folder of the worksheet's name stands in for the unwritable destination (refused on Windows and Wine alike).
TEST_F(Installation, AReadOnlyWorksheetDestinationGivesTheFailureMessage) {
    std::string target = root + "\\Geschuetzt\\";
    ASSERT_TRUE(MakeFolder(target.c_str()));
    ASSERT_TRUE(MakeFolder((target + "DasyLab").c_str()));
    ASSERT_TRUE(MakeFolder((target + "Text").c_str()));
    std::string locked = target + "DasyLab\\Temperatur-3'.dsb";
    ASSERT_TRUE(MakeFolder(locked.c_str()));
    ASSERT_TRUE(SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY));
    Start();
    ASSERT_TRUE(TypePathAndStart(&installer, target.c_str()));
    ExpectBox(kResultTitle, kFailure, IDOK);
    Answer(IDOK);
    ExpectExitZero();
    EXPECT_TRUE(FolderExists(locked.c_str())) << "the blocked destination is untouched";
    for (const char* sheet : kWorksheetNames) {
        if (!strcmp(sheet, "Temperatur-3'.dsb")) continue;
        SCOPED_TRACE(sheet);
        EXPECT_TRUE(SameContent((target + "DasyLab\\" + sheet).c_str(), Payload(sheet).c_str()));
    }
    EXPECT_TRUE(SameContent((target + "Brindavel.exe").c_str(), Payload("Brindavel.exe").c_str()));
    EXPECT_TRUE(SameContent((target + "Text\\Notiz.txt").c_str(), Payload("Notiz.txt").c_str()));
    SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(Installation, NeinToTheQuestionEndsSilently) {
    std::string target = root + "\\Nicht\\";
    Snapshot(before);
    Start();
    ASSERT_TRUE(TypePathAndStart(&installer, target.c_str()));
    ExpectBox(kQuestionTitle, Question(target), IDYES, IDNO);
    Answer(IDNO);
    ExpectExitZero();
    EXPECT_FALSE(FolderExists(target.c_str()));
    Snapshot(after);
    EXPECT_STREQ(before, after);
}

TEST_F(Installation, AMissingFolderTwoLevelsDeepIsRefused) {
    std::string target = root + "\\Fehlt\\BrindaVel\\";
    ExpectFolderRefused(target, target);
    EXPECT_FALSE(FolderExists((root + "\\Fehlt").c_str()));
}

TEST_F(Installation, APathNamingAnExistingFileIsRefused) {
    std::string file = root + "\\Datei.txt";
    ASSERT_TRUE(WriteBytes(file.c_str(), "Inhalt", 6));
    ExpectFolderRefused(file, file + "\\");
    int length = 0;
    char* data = ReadBytes(file.c_str(), &length);
    EXPECT_EQ(6, length);
    FreeBytes(data);
}

TEST_F(Installation, AnEmptyPathFieldBecomesTheDriveRootAndIsRefused) {
    ExpectFolderRefused("", "\\");
}

// Longer than the platform's 260-character limit: a clear error, and no folder under a cut name appears.
TEST_F(Installation, AnOverlongPathIsRefusedWithoutCreatingACutName) {
    std::string target = root + "\\" + std::string(300, 'x') + "\\";
    char names[4096];
    FolderNames(root.c_str(), names, sizeof names);
    Snapshot(before);
    Start();
    ASSERT_TRUE(TypePathAndStart(&installer, target.c_str()));
    ASSERT_TRUE(NextBox(&installer, &box));
    if (!strcmp(box.title, kQuestionTitle)) {
        EXPECT_STREQ(Question(target).c_str(), box.text);
        Answer(IDYES);
        ASSERT_TRUE(NextBox(&installer, &box));
    }
    EXPECT_STREQ(kErrorTitle, box.title);
    EXPECT_EQ(0, strncmp(box.text, "Der Zielpfad  '", 15)) << box.text;
    Answer(IDOK);
    ExpectExitZero();
    char namesAfter[4096];
    FolderNames(root.c_str(), namesAfter, sizeof namesAfter);
    EXPECT_STREQ(names, namesAfter) << "no folder under a cut name";
    Snapshot(after);
    EXPECT_STREQ(before, after) << "nothing staged is left behind";
}

TEST_F(Installation, AReadOnlyNotesFileInTheWorkingDirectoryStopsStaging) {
    std::string target = root + "\\Ziel\\";
    ASSERT_TRUE(MakeFolder(target.c_str()));
    std::string notes = work + "\\Notiz.txt";
    ASSERT_TRUE(WriteBytes(notes.c_str(), "nur lesen", 9));
    ASSERT_TRUE(SetFileAttributesA(notes.c_str(), FILE_ATTRIBUTE_READONLY));
    Snapshot(before);
    Start();
    ASSERT_TRUE(TypePathAndStart(&installer, target.c_str()));
    ExpectBox(kErrorTitle, CannotCreateFile("Notiz.txt"), IDOK);
    Answer(IDOK);
    ExpectExitZero();
    Snapshot(after);
    EXPECT_STREQ(before, after) << "the read-only file untouched, nothing else staged";
    char names[1024];
    FolderNames(target.c_str(), names, sizeof names);
    EXPECT_STREQ("", names) << "nothing installed";
    SetFileAttributesA(notes.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(Installation, AUsersOwnNotesFileInTheWorkingDirectorySurvives) {
    std::string target = root + "\\Ziel\\";
    ASSERT_TRUE(MakeFolder(target.c_str()));
    std::string notes = work + "\\Notiz.txt";
    ASSERT_TRUE(WriteBytes(notes.c_str(), "Meine eigene Notiz, bitte behalten", 34));
    Snapshot(before);
    InstallInto(target);
    ExpectInstalled(target);
    Snapshot(after);
    EXPECT_STREQ(before, after) << "the user's Notiz.txt is back, unchanged";
}

// Drive S is mapped in the Wine prefix by the test set-up (dosdevices/s: -> a scratch folder).
TEST_F(Installation, AWorkingDirectoryOnDriveSKeepsTheStagedExecutable) {
    if (GetDriveTypeA("S:\\") == DRIVE_NO_ROOT_DIR) GTEST_SKIP() << "drive S is not mapped in this prefix";
    work = "S:\\Arbeit";
    RemoveTree(work.c_str());
    ASSERT_TRUE(MakeFolder(work.c_str()));
    std::string target = root + "\\Ziel\\";
    ASSERT_TRUE(MakeFolder(target.c_str()));
    InstallInto(target);
    ExpectInstalled(target);
    char names[4096];
    FolderNames(work.c_str(), names, sizeof names);
    EXPECT_STREQ("Brindavel.exe", names) << "the thirteen support files are gone, the executable stays";
    EXPECT_TRUE(SameContent((work + "\\Brindavel.exe").c_str(), Payload("Brindavel.exe").c_str()));
}

}  // namespace

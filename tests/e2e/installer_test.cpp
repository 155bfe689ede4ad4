// Whole-program tests: the real BrindaVelSetup.exe under Wine, operated from outside through the GUI driver.
// Contract: each test starts the installer in its own scratch folder; every wait polls with a timeout.
#include <commctrl.h>
#include <shlobj.h>
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include <math.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "tests/e2e/e2e_paths.h"
#include "tests/support/display_dpi.h"
#include "tests/support/files.h"
#include "tools/driver/driver.h"

namespace {

const int TIMEOUT_MS = 180000;
const std::string kPayload = BRV_E2E_PAYLOAD_DIR;

// Every box the installer shows, for this build; %s: the target path as completed, or the file not created.
enum BoxKind { QUESTION, NOT_CREATED, TOO_LONG, FILE_NOT_CREATED, SUCCESS, FAILURE, NO_BOX };
struct BoxText {
    const char* title;
    const char* text;
    LPCSTR icon;
};
// clang-format off
const BoxText kBoxes[] = {
    {" Zielpfad f\xFCr Profi-Bedienprogramm BrindaVel ", "Der eingestellte Zielpfad existiert noch nicht.  \n\n"
     "Soll der Zielpfad \n\n    %s  \n\nangelegt werden ? ", IDI_QUESTION},
    {" Installationsfehler ", "Der Zielpfad  '%s'  konnte nicht angelegt werden!  ", IDI_HAND},
    {" Installationsfehler ", "Der Zielpfad  '%s'  ist zu lang!  \n\nEr darf h\xF6" "chstens 234 Zeichen haben.  ",
     IDI_HAND},
    {" Installationsfehler ", "Die Datei  '%s'  konnte nicht erzeugt werden!   ", IDI_HAND},
    {" Software f\xFCr BrindaVel ", "Die Installation der Software   \nVersion V.23 war erfolgreich !   ",
     IDI_ASTERISK},
    {" Software f\xFCr BrindaVel ", "Die Installation der Software   \nVersion V.23 war nicht erfolgreich !   ",
     IDI_HAND},
};
// clang-format on

// 1 when the box's icon control shows the system icon `icon` on screen, pixel for pixel as drawn here on the
// box's background (seen: identical under Wine). Polls until the control is uncovered and painted.
bool ShowsIcon(HWND box, LPCSTR icon) {
    RECT place = {};
    if (!GetWindowRect(GetDlgItem(box, 1088), &place)) return false;  // the icon control of Wine's message box
    HDC screen = GetDC(0), memory = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(memory, CreateCompatibleBitmap(screen, 32, 64));
    int differing = -1;
    for (DWORD start = GetTickCount(); differing && GetTickCount() - start < 20000; Sleep(100)) {
        if (GetAncestor(WindowFromPoint({place.left + 16, place.top + 16}), GA_ROOT) != box) continue;
        BitBlt(memory, 0, 0, 32, 32, screen, place.left, place.top, SRCCOPY);
        SetDCBrushColor(memory, GetPixel(memory, 0, 0));
        RECT below = {0, 32, 32, 64};
        FillRect(memory, &below, (HBRUSH)GetStockObject(DC_BRUSH));
        DrawIconEx(memory, 0, 32, LoadIconA(0, icon), 32, 32, 0, 0, DI_NORMAL);
        differing = 0;
        for (int i = 0; i < 32 * 32; ++i)
            differing += GetPixel(memory, i % 32, i / 32) != GetPixel(memory, i % 32, 32 + i / 32);
    }
    DeleteObject(SelectObject(memory, old));
    DeleteDC(memory);
    ReleaseDC(0, screen);
    return differing == 0;
}

class Installer : public ::testing::Test {
protected:
    std::string root, work, link, defaultTarget;
    DrvProcess process = {}, others[2] = {};
    HWND window = 0;
    DrvBox box;
    HANDLE guardName = 0;

    void SetUp() override {
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        BOOL wow64 = FALSE;  // the suite runs in a 32-bit and a 64-bit prefix at once: a scratch folder for each
        IsWow64Process(GetCurrentProcess(), &wow64);
        root = std::string(BRV_E2E_SCRATCH_ROOT) + (wow64 ? "64\\" : "\\") + name.substr(name.find('/') + 1);
        RemoveTree(root);
        Make(root + "\\");
        work = root + "\\Arbeit";
        char folder[MAX_PATH] = "";
        SHGetSpecialFolderPathA(0, folder, CSIDL_DESKTOPDIRECTORY, FALSE);
        link = std::string(folder) + "\\BrindaVel.lnk";
        // A 32-bit program's: in a 64-bit prefix "Program Files (x86)", in a 32-bit one "Program Files".
        SHGetSpecialFolderPathA(0, folder, CSIDL_PROGRAM_FILESX86, FALSE);
        defaultTarget = std::string(folder) + "\\BrindaVel\\";
        RemoveShortcut();
    }
    void TearDown() override {
        for (DrvProcess* run : {&process, &others[0], &others[1]}) DrvCloseProcess(run);
        if (guardName) CloseHandle(guardName);
    }

    // The run guard's name for the working folder, made first as any program of the user can: its record empty
    // (holder 0) or naming a process that is not this setup. The setup must start and install as usual all the same.
    void HoldGuardName(DWORD holder) {
        HANDLE folder = CreateFileA(work.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        BY_HANDLE_FILE_INFORMATION file = {};
        GetFileInformationByHandle(folder, &file), CloseHandle(folder);
        char name[128];
        snprintf(name, sizeof name, "Global\\BrindaVelSetup-%08lX%08lX%08lX", file.dwVolumeSerialNumber,
                 file.nFileIndexHigh, file.nFileIndexLow);
        if (guardName) CloseHandle(guardName);
        guardName = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 8, name);
        ASSERT_TRUE(guardName && GetLastError() != ERROR_ALREADY_EXISTS) << name;
        const DWORD record[2] = {holder, holder ? GetCurrentThreadId() : 0};
        void* view = MapViewOfFile(guardName, FILE_MAP_WRITE, 0, 0, 0);
        ASSERT_TRUE(view && memcpy(view, record, sizeof record) && UnmapViewOfFile(view));
    }

    // Seen under Wine: right after a save the shell's menu builder holds the new shortcut open for a while.
    void RemoveShortcut() {
        for (DWORD start = GetTickCount(); !DeleteFileA(link.c_str()) && GetTickCount() - start < 30000; Sleep(50))
            if (GetLastError() == ERROR_FILE_NOT_FOUND) break;
        ASSERT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(link.c_str())) << "cannot remove " << link;
    }

    // The installer in `work`, ready for input: "Nein" is its last gadget, input sent before it exists is lost.
    void Start(const char* program = BRV_E2E_INSTALLER) {
        Make(work + "\\");
        ASSERT_TRUE(DrvStart(program, work.c_str(), &process));
        window = DrvWaitMainWindow(&process, TIMEOUT_MS);
        ASSERT_TRUE(window && DrvWaitReady(&process, window, 6, TIMEOUT_MS)) << "no main window ready for input";
    }

    void ExpectBox(BoxKind kind, const std::string& shownPath) {
        char text[1024];
        snprintf(text, sizeof text, kBoxes[kind].text, shownPath.c_str());
        ASSERT_TRUE(DrvWaitBox(&process, 1, TIMEOUT_MS, &box)) << "no box: " << text;
        EXPECT_STREQ(kBoxes[kind].title, box.title);
        EXPECT_STREQ(text, box.text);
        std::string buttons;
        for (int i = 0; i < box.buttonCount; ++i) buttons += (i ? "," : "") + std::to_string(box.buttonIds[i]);
        EXPECT_EQ(kind == QUESTION ? "6,7" : "1", buttons) << "IDYES, IDNO / IDOK";
        // MB_TOPMOST cannot be seen from outside: Wine gave these boxes no WS_EX_TOPMOST.
        EXPECT_TRUE(ShowsIcon(box.hwnd, kBoxes[kind].icon)) << "not the icon IDI_ " << (UINT_PTR)kBoxes[kind].icon;
    }

    void Answer(int button) { ASSERT_TRUE(DrvAnswerBox(&box, button) && DrvWaitGone(box.hwnd, TIMEOUT_MS)); }

    // The target holds exactly the installed layout, every file byte-identical to its payload file (but `blocked`).
    void ExpectInstalled(const std::string& target, const std::string& blocked = "") {
        EXPECT_EQ("Brindavel.exe|DasyLab|Text", Names(target));
        EXPECT_EQ("Notiz.txt", Names(target + "Text"));
        EXPECT_EQ(Names(kPayload, "Temperatur-*.dsb"), Names(target + "DasyLab"));
        std::set<std::string> files = {"Brindavel.exe", "Text\\Notiz.txt"};
        for (char n = '1'; n <= '6'; ++n)
            for (const char* tail : {".dsb", "'.dsb"}) files.insert(std::string("DasyLab\\Temperatur-") + n + tail);
        files.erase(blocked);
        for (const std::string& file : files)
            EXPECT_TRUE(Read(target + file) == Read(kPayload + "\\" + file.substr(file.rfind('\\') + 1))) << file;
    }

    // "Ja" with the target typed into the path field (a folder that exists: no question).
    void Install(const std::string& target) {
        ASSERT_TRUE(DrvSetControlText(window, 3, target.c_str()) && DrvClick(window, 5));
    }

    void ExpectExitZero(DrvProcess* run = nullptr) {
        DWORD code = 1234;
        EXPECT_TRUE(DrvWaitExit(run ? run : &process, TIMEOUT_MS, &code) && code == 0) << "exit code " << code;
    }

    // Two more starts while the first run asks: from its working folder, one brings the question to the front and ends
    // with 0, without a window (staging there would take the first run's files); from another folder, one runs beside.
    void StartTwiceMore() {
        HWND front = CreateWindowA("STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 8, 8, 0, 0, 0, 0);
        SetForegroundWindow(front);  // the user went elsewhere meanwhile
        ASSERT_TRUE(DrvStart(BRV_E2E_INSTALLER, work.c_str(), &others[0]));
        ExpectExitZero(&others[0]);
        HWND inFront = 0;  // seen: the foreground was still empty right after the second start's end
        for (DWORD start = GetTickCount(); inFront != box.hwnd && GetTickCount() - start < 10000; Sleep(50))
            inFront = GetForegroundWindow();
        EXPECT_EQ(box.hwnd, inFront) << "the first run's question in front";
        DestroyWindow(front);
        Make(root + "\\Anders\\");
        ASSERT_TRUE(DrvStart(BRV_E2E_INSTALLER, (root + "\\Anders").c_str(), &others[1]));
        HWND beside = DrvWaitMainWindow(&others[1], TIMEOUT_MS);
        ASSERT_TRUE(beside && DrvWaitReady(&others[1], beside, 6, TIMEOUT_MS) && DrvCloseByCaption(beside));
        ExpectExitZero(&others[1]);
    }
};

// The window as designed, in creation order: id, class, position, size, type (SS_CENTER 1, BS_AUTOCHECKBOX 3),
// shown, tick (buttons), text.
// clang-format off
const char* const kGadgets[] = {
    "7 Static 15,14 45x18 0 1 'Zielpfad:'",
    "3 Edit 62,11 270x20 0 1 '%s'",  // the default target folder
    "4 Button 340,10 35x22 0 1 0 'Pfad'",
    "11 Button 62,48 290x17 3 1 1 ' Desktopverkn\xFCpfung erzeugen'",
    "8 Static 0,80 390x22 1 1 'Software f\xFCr BrindaVel nun installieren ?'",
    "13 msctls_progress32 48,110 294x15 0 0 ''",
    "5 Button 119,111 50x24 0 1 0 'Ja'",
    "6 Button 221,111 50x24 0 1 0 'Nein'",
};
// clang-format on

// Asks every 100 ms, with the query the shell makes before it greys a window out, whether the window counts as not
// answering, until stopped: how often it did.
struct HungWatch {
    HWND window;
    volatile LONG stop = 0;
    int hungAnswers = 0;
    HANDLE thread = window ? CreateThread(0, 0, Run, this, 0, 0) : 0;
    ~HungWatch() { Stop(); }
    void Stop() {
        if (thread) stop = 1, WaitForSingleObject(thread, INFINITE), CloseHandle(thread), thread = 0;
    }
    static DWORD WINAPI Run(void* self) {
        HungWatch& watch = *static_cast<HungWatch*>(self);
        for (; !watch.stop; Sleep(100)) watch.hungAnswers += IsHungAppWindow(watch.window) != 0;
        return 0;
    }
};

// One run per row, each from the designed window: what the scratch folder holds first, the path typed and "Ja" (or
// another way out), the box at the end (after the folder question, answered "Ja", or "Nein" for NO_BOX) and the
// folders' entries after the end. A run that ends without installing leaves nothing under the target.
enum Way { BY_JA, BY_ESCAPE_KEY, BY_CLOSE_BOX };
struct Case {
    const char* name;
    Way way;
    const char* make[3];  // under the scratch folder: a folder when ending with a backslash, else an empty file, or
                          // "link=file": a hard link to a new empty file;
                          // for FILE_NOT_CREATED the first is a folder of the file's name in Arbeit\, blocking it
    const char* typed;    // under the scratch folder; null: a folder name of 304 characters
    bool asks;            // the folder question comes first
    BoxKind box;
    const char *rootAfter, *workAfter;  // the entries after the end (workAfter null: not looked at)
    bool onDriveS;                      // working directory S:\Arbeit, with the shortcut box unticked
    const char* workIn = "Arbeit";      // else the working directory, under the scratch folder
    int dpi = 96;                       // the display's, for this run
    bool meddles = false;  // once staging has begun: the close box, Escape, "Ja", "Nein" and the shortcut box
};
// clang-format off
const Case kCases[] = {
    // The user's own (empty) files of two staged names in the working folder, hard links to files elsewhere, two more
    // starts while the question is open, and input during the installation, which neither stops nor changes it.
    {"CompleteInstallation", BY_JA,
     {"Ziel\\", "Arbeit\\Notiz.txt=Draussen\\Notizen", "Arbeit\\Brindavel.exe=Draussen\\Programm"},
     "Ziel\\BrindaVel\\", true, SUCCESS, "Anders|Arbeit|Draussen|Ziel", "Brindavel.exe|Notiz.txt", false, "Arbeit", 96,
     true},
    // Earlier files in place: each is replaced, and the count still reaches its total.
    {"OverAnEarlierInstallation", BY_JA,
     {"Ziel\\DasyLab\\Temperatur-1.dsb", "Ziel\\Text\\Notiz.txt", "Ziel\\Brindavel.exe"}, "Ziel\\", false, SUCCESS,
     "Arbeit|Ziel", "", false},
    // Started from the target folder or its worksheet folder: the installed copies there stay.
    {"FromTheTargetFolder", BY_JA, {"Ziel\\"}, "Ziel\\", false, SUCCESS, "Ziel", 0, false, "Ziel"},
    {"FromTheWorksheetFolder", BY_JA, {"Ziel\\DasyLab\\"}, "Ziel\\", false, SUCCESS, "Ziel", 0, false, "Ziel\\DasyLab"},
    // A folder of a worksheet's name blocks its copies (seen: Wine's CopyFile replaces read-only files).
    {"BlockedWorksheetOnDriveS", BY_JA, {"Ziel\\DasyLab\\Temperatur-3'.dsb\\"}, "Ziel\\", false, FAILURE, "Ziel",
     "Brindavel.exe", true},
    {"NeinToTheQuestion", BY_JA, {}, "Neu\\", true, NO_BOX, "Arbeit", "", false},
    {"PathNamingAFile", BY_JA, {"Datei.txt"}, "Datei.txt", true, NOT_CREATED, "Arbeit|Datei.txt", "", false},
    {"OverlongPath", BY_JA, {}, 0, false, TOO_LONG, "Arbeit", "", false},
    {"ExecutableNameTakenByAFolder", BY_JA, {"Arbeit\\Brindavel.exe\\", "Ziel\\"}, "Ziel\\", false, FILE_NOT_CREATED,
     "Arbeit|Ziel", 0, false},
    // Staging stops at the blocked file: what came before it stays, nothing later is written.
    {"StagingBlockedByAFolder", BY_JA, {"Arbeit\\Temperatur-3.dsb\\", "Ziel\\"}, "Ziel\\", false, FILE_NOT_CREATED,
     "Arbeit|Ziel", "Notiz.txt|Temperatur-1.dsb|Temperatur-2.dsb|Temperatur-3.dsb", false},
    {"EscapeKey", BY_ESCAPE_KEY, {}, "", false, NO_BOX, "Arbeit", "", false},
    {"CloseBox", BY_CLOSE_BOX, {}, "", false, NO_BOX, "Arbeit", "", false},
    // The window and every gadget's box are the designed ones at the display's scale.
    {"At144Dpi", BY_CLOSE_BOX, {}, "", false, NO_BOX, "Arbeit", "", false, "Arbeit", 144},
    {"At192Dpi", BY_ESCAPE_KEY, {}, "", false, NO_BOX, "Arbeit", "", false, "Arbeit", 192},
};
// clang-format on

class Runs : public Installer, public ::testing::WithParamInterface<Case> {};

TEST_P(Runs, EndWithTheirBoxAndExitCodeZero) {
    const Case& row = GetParam();
    work = root + "\\" + row.workIn;
    if (row.onDriveS) RemoveTree(work = "S:\\Arbeit");  // drive S is mapped by e2e_prefix_setup
    for (const char* path : row.make) {
        std::string entry = path ? path : "", file = entry.substr(entry.find('=') + 1);
        const std::string linked = root + "\\" + entry.substr(0, entry.find('='));
        if (path) Make(root + "\\" + file), Make(linked.substr(0, linked.rfind('\\') + 1));
        if (file != entry) ASSERT_TRUE(CreateHardLinkA(linked.c_str(), (root + "\\" + file).c_str(), nullptr));
    }
    // The long name has blanks, so that the box can wrap it and its icon stays on the screen.
    std::string target = root + "\\";
    for (int i = 0; !row.typed && i < 30; ++i) target += "Messreihe ";
    target += row.typed ? row.typed : "Ende";
    std::unique_ptr<DisplayDpiSetting> display(row.dpi == 96 ? nullptr : new DisplayDpiSetting(row.dpi));
    Start();
    // Pixels back in 96-dpi units: each designed number is scaled with rounding, so this gives it back exactly.
    auto designed = [&](long pixels) { return static_cast<int>(lround(pixels * 96.0 / row.dpi)); };
    char text[512], got[1024];
    DrvReadText(window, text, sizeof text);
    RECT client;
    GetClientRect(window, &client);
    LONG frame = GetWindowLongA(window, GWL_STYLE) & WS_OVERLAPPEDWINDOW;  // caption and close box only, fixed size
    snprintf(got, sizeof got, "'%s' %dx%d 0x%lX", text, designed(client.right), designed(client.bottom), frame);
    EXPECT_STREQ("' Installation der Software f\xFCr BrindaVel V.23' 390x170 0xC80000", got);
    // SMTO_ABORTIFHUNG: the program never counts as hung, not even while it installs (see the watch below).
    auto bar = [&](UINT message, DWORD_PTR value = 0) {
        return SendMessageTimeoutA(GetDlgItem(window, 13), message, 0, 0, SMTO_ABORTIFHUNG, 30000, &value) ? value
                                                                                                           : 999;
    };
    static DrvControl controls[16];
    ASSERT_EQ(8, DrvListControls(window, controls, 16)) << "exactly the eight gadgets";
    for (int i = 0; i < 8; ++i) {
        const DrvControl& c = controls[i];
        char want[512], tick[8] = "";
        snprintf(want, sizeof want, kGadgets[i], defaultTarget.c_str());
        if (c.check >= 0) snprintf(tick, sizeof tick, " %d", c.check);
        snprintf(got, sizeof got, "%d %s %d,%d %dx%d %ld %d%s '%s'", c.id, c.className, designed(c.x), designed(c.y),
                 designed(c.width), designed(c.height), c.style & 15, c.visible, tick, c.text);
        EXPECT_STREQ(want, got);
    }
    EXPECT_TRUE(bar(PBM_GETRANGE) == 30 && bar(PBM_GETPOS) == 0);

    // Posted clicks are handled in order: the box is unticked before "Ja" is pressed.
    if (row.onDriveS) ASSERT_TRUE(DrvClick(window, 11));
    if (row.way == BY_JA) ASSERT_TRUE(DrvSetControlText(window, 3, target.c_str()) && DrvClick(window, 5));
    if (row.way == BY_ESCAPE_KEY) ASSERT_TRUE(DrvPressKey(&process, window, VK_ESCAPE));  // the shortcut of "Nein"
    if (row.way == BY_CLOSE_BOX) ASSERT_TRUE(DrvCloseByCaption(window));
    if (target.back() != '\\') target += '\\';
    if (row.asks) {
        ExpectBox(QUESTION, target);
        if (row.box == SUCCESS) StartTwiceMore();
        Answer(row.box == NO_BOX ? IDNO : IDYES);
    }
    const DWORD started = GetTickCount();
    const bool installs = row.box == SUCCESS || row.box == FAILURE;
    HungWatch watch{installs ? window : 0};
    // While installing (readable although the program is busy): the bar shown, then both buttons hidden, then the text.
    if (installs || row.box == FILE_NOT_CREATED)
        EXPECT_TRUE(DrvWaitControlText(window, 8, "Die Dateien werden installiert ...     ", TIMEOUT_MS) &&
                    IsWindowVisible(GetDlgItem(window, 13)) && !IsWindowVisible(GetDlgItem(window, 5)) &&
                    !IsWindowVisible(GetDlgItem(window, 6)));
    const std::string blocked = row.make[0] ? row.make[0] : "";  // Arbeit\<file>\ for FILE_NOT_CREATED
    if (row.meddles) {
        // Posted once a staged file is there, after the drain: input that the drain took would be handled.
        for (DWORD start = GetTickCount();
             Names(work, "Temperatur-1.dsb").empty() && GetTickCount() - start < TIMEOUT_MS;)
            Sleep(50);
        EXPECT_TRUE(DrvCloseByCaption(window) && DrvPressKey(&process, window, VK_ESCAPE) && DrvClick(window, 5) &&
                    DrvClick(window, 6) && DrvClick(window, 11));
        DWORD_PTR answer = 0;  // the close box's command sent, as the system sends it: answered at once, ends nothing
        EXPECT_TRUE(SendMessageTimeoutA(window, WM_SYSCOMMAND, SC_CLOSE, 0, SMTO_ABORTIFHUNG, 5000, &answer));
    }
    if (row.box == FILE_NOT_CREATED) ExpectBox(row.box, blocked.substr(7, blocked.size() - 8));
    else if (row.box != NO_BOX) ExpectBox(row.box, target);
    watch.Stop();
    EXPECT_EQ(0, watch.hungAnswers) << "times counted as not answering";
    if (installs) {
        // The pauses: 200 ms after the drain, 20 ms per successful step, the second folder creation's full wait.
        EXPECT_GE(GetTickCount() - started, 200u + 27 * 20 + 2000);
        EXPECT_EQ(row.box == SUCCESS ? 30u : 29u, bar(PBM_GETPOS)) << "the bar ends where the count ends";
    }
    if (row.box != NO_BOX) Answer(IDOK);
    ExpectExitZero();
    EXPECT_EQ(row.rootAfter, Names(root));
    if (row.workAfter) EXPECT_EQ(row.workAfter, Names(work)) << "in the working directory";
    if (!installs && row.way == BY_JA) EXPECT_EQ("", Names(target)) << "under the target";
    // Every file the row made outside the target is still empty: a user's own file, or the file behind a link.
    for (const char* path : row.make) {
        const std::string entry = path ? path : "\\";
        for (const std::string& name : {entry.substr(0, entry.find('=')), entry.substr(entry.find('=') + 1)}) {
            const std::string file = root + "\\" + name;
            if (name.back() != '\\' && file.compare(0, target.size(), target)) EXPECT_EQ("", Read(file)) << file;
        }
    }
    if (installs) ExpectInstalled(target, row.onDriveS ? "DasyLab\\Temperatur-3'.dsb" : "");
    EXPECT_EQ(row.box == SUCCESS, GetFileAttributesA(link.c_str()) != INVALID_FILE_ATTRIBUTES) << "the shortcut";
    if (row.box != SUCCESS) return;
    // The shortcut as the shell reads it back (the quotes handed over around the path do not reach the file).
    char path[MAX_PATH] = "", arguments[16] = "", folder[MAX_PATH] = "", about[64] = "", icon[MAX_PATH] = "";
    int index = -1, show = -1;
    WORD key = 99;
    IShellLinkA* shell = 0;
    IPersistFile* file = 0;
    const std::wstring wide(link.begin(), link.end());  // the desktop path of the test prefix is plain ASCII
    CoInitialize(0);
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_ShellLink, 0, CLSCTX_INPROC_SERVER, IID_IShellLinkA, (void**)&shell));
    ASSERT_EQ(S_OK, shell->QueryInterface(IID_IPersistFile, (void**)&file));
    EXPECT_EQ(S_OK, file->Load(wide.c_str(), STGM_READ)) << link;
    shell->GetPath(path, MAX_PATH, 0, SLGP_RAWPATH);
    shell->GetArguments(arguments, sizeof arguments);
    shell->GetWorkingDirectory(folder, MAX_PATH);
    shell->GetDescription(about, sizeof about);
    shell->GetIconLocation(icon, MAX_PATH, &index);
    shell->GetShowCmd(&show);
    shell->GetHotkey(&key);
    file->Release();
    shell->Release();
    snprintf(text, sizeof text, "%s|%s|%s|%s|%s,%d|%d|%d", path, arguments, folder, about, icon, index, show, key);
    const std::string exe = target + "Brindavel.exe";
    EXPECT_EQ(exe + "|\"\"|" + target + "|Bedienprogramm f\xFCr BrindaVel|" + exe + ",0|1|0", text);
}

INSTANTIATE_TEST_SUITE_P(Each, Runs, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// Selects `folder` (C:\...\) in the picker's tree from outside, as a user would: on each level the items are selected
// in turn until the picker names the wanted one (control 14149 shows the selected folder's name; a drive " (C:)"),
// which is then opened. Only item handles cross the process boundary: where Wine's server runs under the i386
// emulator, no process can read or write another's memory. The drive is looked for one level below the tree's root.
bool SelectInPicker(HWND picker, const std::string& folder) {
    HWND tree = FindWindowExA(picker, 0, "SysTreeView32", 0);
    auto send = [&](UINT message, WPARAM w, LPARAM l) {
        DWORD_PTR result = 0;
        return SendMessageTimeoutA(tree, message, w, l, SMTO_NORMAL, 30000, &result) ? (HTREEITEM)result : nullptr;
    };
    auto named = [&](HTREEITEM item, const std::string& name) {
        send(TVM_SELECTITEM, TVGN_CARET, (LPARAM)item);
        char shown[MAX_PATH];
        DrvReadText(GetDlgItem(picker, 14149), shown, sizeof shown);
        return name == shown;
    };
    auto child = [&](HTREEITEM parent, const std::string& name) -> HTREEITEM {
        send(TVM_EXPAND, TVE_EXPAND, (LPARAM)parent);
        for (HTREEITEM item = send(TVM_GETNEXTITEM, TVGN_CHILD, (LPARAM)parent); item;
             item = send(TVM_GETNEXTITEM, TVGN_NEXT, (LPARAM)item))
            if (named(item, name)) return item;
        return nullptr;
    };
    HTREEITEM item = nullptr, root = send(TVM_GETNEXTITEM, TVGN_ROOT, 0);
    const std::string drive = " (" + folder.substr(0, 2) + ")";
    send(TVM_EXPAND, TVE_EXPAND, (LPARAM)root);
    for (HTREEITEM computer = send(TVM_GETNEXTITEM, TVGN_CHILD, (LPARAM)root); computer && !item;
         computer = send(TVM_GETNEXTITEM, TVGN_NEXT, (LPARAM)computer))
        item = child(computer, drive);
    for (size_t at = 3, end; item && (end = folder.find('\\', at)) != std::string::npos; at = end + 1)
        item = child(item, folder.substr(at, end - at));
    return item != nullptr;
}

// A library of a name the installer loads, planted beside a copy of it and in the working folder, is never loaded,
// although Wine is told to prefer a library file it finds (as Windows does). The keyboard device is opened before the
// click on "Nein" is handled, so the override lasts until the end; the planted library leaves a trace wherever it is
// loaded. (Where Wine's server runs under the i386 emulator, the installer's module list cannot be read.)
TEST_F(Installer, PlantedLibrariesAreNeverLoaded) {
    const std::string downloads = root + "\\Downloads", setup = downloads + "\\BrindaVelSetup.exe";
    Make(downloads + "\\");
    Make(work + "\\");
    ASSERT_TRUE(CopyFileA(BRV_E2E_INSTALLER, setup.c_str(), FALSE));
    for (const std::string& folder : {downloads, work})
        ASSERT_TRUE(CopyFileA(BRV_E2E_PLANTED_LIBRARY, (folder + "\\dinput.dll").c_str(), FALSE));
    // Wine's override for this program alone (seen: WINEDLLOVERRIDES set here does not reach a started program).
    const char* const key = "Software\\Wine\\AppDefaults\\BrindaVelSetup.exe";
    RegDeleteTreeA(HKEY_CURRENT_USER, key);  // what a failed run left
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueA(HKEY_CURRENT_USER, (std::string(key) + "\\DllOverrides").c_str(), "dinput",
                                             REG_SZ, "native,builtin", 15));
    Start(setup.c_str());
    ASSERT_TRUE(DrvClick(window, 6));
    ExpectExitZero();
    RegDeleteTreeA(HKEY_CURRENT_USER, key);
    EXPECT_EQ("", Names(downloads, "*.loaded") + Names(work, "*.loaded")) << "traces of the planted library";
}

// "Pfad" opens the picker at target_path, never at the text typed into the field; cancel keeps the typed text, OK
// puts the chosen folder into the field with a backslash. Seen under Wine: the picker sometimes loses its pre-selection
// (its own race; the default target exists since the prefix set-up); the test then selects the folder itself.
TEST_F(Installer, PickerStartsAtTheTargetPathAndNeinEnds) {
    const char* typed = "C:\\windows\\";
    Start();
    ASSERT_TRUE(DrvSetControlText(window, 3, typed));
    for (int answer : {IDCANCEL, IDOK}) {
        ASSERT_TRUE(DrvClick(window, 4) && DrvWaitBox(&process, 0, TIMEOUT_MS, &box));
        // Control ids of Wine's picker: 14146 its title text, 14149 the name of the selected folder.
        EXPECT_TRUE(DrvWaitControlText(box.hwnd, 14146, " Installationspfad f\xFCr BrindaVel ausw\xE4hlen", 5000));
        bool preselected = DrvWaitControlText(box.hwnd, 14149, "BrindaVel", 10000);
        EXPECT_FALSE(DrvWaitControlText(box.hwnd, 14149, "windows", 0)) << "the picker opened at the typed text";
        if (!preselected) {
            printf("note: the picker lost its pre-selection\n");
            ASSERT_TRUE(SelectInPicker(box.hwnd, defaultTarget) &&
                        DrvWaitControlText(box.hwnd, 14149, "BrindaVel", 10000));
        }
        Answer(answer);
        ASSERT_TRUE(DrvWaitEnabled(window, TIMEOUT_MS));
        EXPECT_TRUE(DrvWaitControlText(window, 3, answer == IDOK ? defaultTarget.c_str() : typed, 10000));
    }
    ASSERT_TRUE(DrvClick(window, 6));
    ExpectExitZero();
}

// Another program of the user replaces four staged files, each as soon as it is complete, by a move with replace or
// else by writing over it: nothing of it reaches the target, which holds exactly the payload. It has also made the run
// guard's name first, with a record naming itself.
DWORD SizeOf(const std::string& name) {
    WIN32_FILE_ATTRIBUTE_DATA file;
    return GetFileAttributesExA(name.c_str(), GetFileExInfoStandard, &file) ? file.nFileSizeLow : ~0u;
}

TEST_F(Installer, StagedFilesReplacedByAnotherProgramNeverReachTheTarget) {
    const char* const names[] = {"Brindavel.exe", "Notiz.txt", "Temperatur-1.dsb", "Temperatur-6'.dsb"};
    const std::string target = root + "\\Ziel\\";
    Make(target), Make(work + "\\");
    HoldGuardName(GetCurrentProcessId());
    Start();
    Install(target);
    for (DWORD done = 0, start = GetTickCount();
         !DrvWaitBox(&process, 1, 0, &box) && GetTickCount() - start < TIMEOUT_MS; Sleep(1)) {
        for (int i = 0; i < 4; ++i) {
            const std::string name = work + "\\" + names[i], foreign = name + ".fremd";
            if ((done & 1u << i) || SizeOf(name) != SizeOf(kPayload + "\\" + names[i])) continue;
            done |= 1u << i;
            Write(foreign, "fremd");
            if (!MoveFileExA(foreign.c_str(), name.c_str(), MOVEFILE_REPLACE_EXISTING) && DeleteFileA(foreign.c_str()))
                Write(name, "fremd");
        }
    }
    ExpectBox(SUCCESS, target);
    ExpectInstalled(target);
    Answer(IDOK);
    ExpectExitZero();
}

// Ended from outside (as by the task manager) while it stages, while it copies, and in the folder step that always
// fails (the notes copied, the shortcut box unticked): the user's own files of two staged names stay as they were.
// Each run starts although another program made the run guard's name first, with an empty record.
// Without a shortcut: seen on Wine, a setup ended right after its link was saved leaves the shell's link helper
// running, which holds the test's output open until CTest's time limit.
TEST_F(Installer, EndedFromOutsideTheUsersFilesStayInPlace) {
    const std::string target = root + "\\Ziel\\";
    for (const std::string& moment :
         {work + "\\Temperatur-2.dsb", target + "DasyLab\\Temperatur-3.dsb", target + "Text\\Notiz.txt"}) {
        RemoveTree(target), RemoveTree(work), Make(target), Make(work + "\\");
        Write(work + "\\Notiz.txt", "meine Notizen"), Write(work + "\\Temperatur-1.dsb", "mein Blatt");
        HoldGuardName(0);
        Start();
        ASSERT_TRUE(DrvClick(window, 11));
        Install(target);
        for (DWORD start = GetTickCount(); SizeOf(moment) == ~0u && GetTickCount() - start < TIMEOUT_MS;) Sleep(5);
        EXPECT_NE(~0u, SizeOf(moment)) << moment;
        DrvCloseProcess(&process);
        EXPECT_EQ("meine Notizen|mein Blatt", Read(work + "\\Notiz.txt") + "|" + Read(work + "\\Temperatur-1.dsb"))
            << moment;
    }
}

}  // namespace

// Installer start-up state: recipient variant, product identity texts, Windows version code, special folders, geometry.
// Contract: set_identity_texts runs once after StartRuntime; the classification functions are pure and need no runtime.
// Kept out of the formatter: every statement carries its source-line store on its own line, which it would split.
// clang-format off
#include "app/identity.h"

#include <windows.h>
#include <shlobj.h>

#include "app/fault_report.h"
#include "app/recipient_selection.h"
#include "core/dates.h"
#include "core/frame.h"
#include "core/strings.h"
#include "ui/requester.h"

namespace {
const int SOURCE_FILE = IDENTITY_SOURCE;
}

char* customer_line;
char* edition_prefix;
char* version_text;
char* build_date_text;
char* target_path;
char* executable_name;
char* product_label;
int quit_state;
int step_result;
int button_width;
int button_height;
int button_centre_x;
int button_half_gap;
int button_bottom_margin;

// The variant whose flag alone is set (1, 2 or 3); 0 when none or more than one is set.
static int SelectedRecipient(int first, int second, int third) {
    int count = (first != 0) + (second != 0) + (third != 0);
    if (count != 1) {
        return 0;
    }
    return first ? 1 : (second ? 2 : 3);
}

// Texts of a variant (1..3); "" for any other number.
static const char* CustomerLineOf(int variant) {
    switch (variant) {
    case 1: return " für Lukas Brennholt";
    case 2: return " für Reinold Tessmar";
    case 3: return " für wendler sensorbau";
    default: return "";
    }
}

static const char* EditionPrefixOf(int variant) {
    return (variant == 1 || variant == 2) ? "Profi-" : "";
}

// The variant the build selected, 0 when the build's selection is not exactly one.
static int BuildRecipient() {
    return SelectedRecipient(RECIPIENT_SELECTED[0], RECIPIENT_SELECTED[1], RECIPIENT_SELECTED[2]);
}

// The version code of Windows XP: later versions have a separate program-files folder for 32-bit programs.
static const int WINDOWS_XP_CODE = 60;

int ClassifyOsVersion(int queryOk, int platformId, int major, int minor, int productType) {
    if (!queryOk) {
        return 100;
    }
    int workstation = productType == VER_NT_WORKSTATION;
    if (platformId == VER_PLATFORM_WIN32_WINDOWS) {
        switch (minor) {
        case 0: return 10;
        case 10: return 30;
        case 90: return 40;
        default: return 100;
        }
    }
    if (platformId != VER_PLATFORM_WIN32_NT) {
        return 100;
    }
    switch (major) {
    case 3: return 5;
    case 4: return 20;
    case 5:
        switch (minor) {
        case 0: return 50;
        case 1: return 60;
        case 2: return workstation ? 60 : 65;
        default: return 100;
        }
    case 6:
        switch (minor) {
        case 0: return workstation ? 70 : 75;
        case 1: return workstation ? 80 : 75;
        default: return 100;
        }
    default: return 100;
    }
}

// The code of the running Windows.
static int OsVersionCode() {
    OSVERSIONINFOA basic = {};
    basic.dwOSVersionInfoSize = sizeof(basic);
    if (!GetVersionExA(&basic)) {
        return ClassifyOsVersion(0, 0, 0, 0, 0);
    }
    int productType = 0;
    if (basic.dwPlatformId == VER_PLATFORM_WIN32_NT) {
        OSVERSIONINFOEXA extended = {};
        extended.dwOSVersionInfoSize = sizeof(extended);
        // A failed second query counts as not workstation.
        if (GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&extended))) {
            productType = extended.wProductType;
        }
    }
    return ClassifyOsVersion(1, static_cast<int>(basic.dwPlatformId), static_cast<int>(basic.dwMajorVersion),
                             static_cast<int>(basic.dwMinorVersion), productType);
}

int ProgramFilesFolderId(int osCode) {
    return osCode > WINDOWS_XP_CODE ? CSIDL_PROGRAM_FILESX86 : CSIDL_PROGRAM_FILES;
}

// The shell's item list of a special folder, null when it cannot be resolved; freed with CoTaskMemFree.
static LPITEMIDLIST special_folder_list(int csidl) {
    LPITEMIDLIST list = nullptr;
    return SHGetSpecialFolderLocation(nullptr, csidl, &list) == S_OK ? list : nullptr;
}

// Text function: the file-system path of a special folder (no trailing backslash), "" when it cannot be resolved.
static char* get_special_folder_path(int csidl, int start) {
    char* path = ReserveText(MAX_PATH, start);
    LPITEMIDLIST list = special_folder_list(csidl);
    // An unresolved folder leaves the empty text; the caller's appended name still shows in the path field.
    if (!list || !SHGetPathFromIDListA(list, path)) {
        path[0] = 0;
    }
    CoTaskMemFree(list);
    GiveBackText(MAX_PATH - lstrlenA(path));
    return path;
}

int get_special_folder_file_wide(int csidl, const wchar_t* name, wchar_t* path) {
    LPITEMIDLIST list = special_folder_list(csidl);
    int found = list && SHGetPathFromIDListW(list, path) && path[0];
    CoTaskMemFree(list);
    if (found) {
        lstrcatW(path, name);
    }
    return found;
}

void set_identity_texts() {
    SOURCE_LINE; int variant = BuildRecipient();
    SOURCE_LINE; if (variant == 0) {
        SOURCE_LINE; ShowMessageBox(" Falsche Empfängerdaten  ", "Es sind mehr als ein Empfänger angegeben!  ",
                                    MB_ICONERROR | MB_TOPMOST);
        SOURCE_LINE; EndProgram();
    }
    SOURCE_LINE; AssignText(&customer_line, CustomerLineOf(variant));
    SOURCE_LINE; AssignText(&edition_prefix, EditionPrefixOf(variant));
    {
        SOURCE_LINE; TextBuilder text;
        SOURCE_LINE; text.Add("V.").AddNumber(PRODUCT_VERSION).CommitTo(&version_text);
    }
    {
        SOURCE_LINE; TextBuilder text;
        SOURCE_LINE; text.Add(FormatDate("%dd.%mm.%yyyy", BUILD_TIMESTAMP, -1)).CommitTo(&build_date_text);
    }
    SOURCE_LINE; step_result = ProgramFilesFolderId(OsVersionCode());
    {
        SOURCE_LINE; TextBuilder text;
        SOURCE_LINE; text.Add(get_special_folder_path(step_result, -1)).Add("\\BrindaVel\\").CommitTo(&target_path);
    }
    SOURCE_LINE; AssignText(&executable_name, "Brindavel.exe");
    {
        SOURCE_LINE; TextBuilder text;
        SOURCE_LINE; text.Add(edition_prefix).Add("Software für BrindaVel").CommitTo(&product_label);
    }
}

void set_geometry_constants() {
    SOURCE_LINE; quit_state = QUIT_RUNNING;
    SOURCE_LINE; button_width = 50;
    SOURCE_LINE; button_height = 24;
    SOURCE_LINE; button_centre_x = WINDOW_CLIENT_WIDTH / 2;
    SOURCE_LINE; button_half_gap = 26;
    SOURCE_LINE; button_bottom_margin = 35;
}

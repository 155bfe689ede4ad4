// Shared steps of the installer's end-to-end tests: scratch folders, file snapshots, the installer under the driver.
// Contract: see e2e_support.h; test code only (plain Win32 and the C library, no product code).
#include "tests/e2e/e2e_support.h"

#include <shlobj.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "tests/e2e/e2e_paths.h"

const char* const kPayloadNames[14] = {
    "Brindavel.exe",     "Notiz.txt",         "Temperatur-1.dsb",  "Temperatur-2.dsb",  "Temperatur-3.dsb",
    "Temperatur-4.dsb",  "Temperatur-5.dsb",  "Temperatur-6.dsb",  "Temperatur-1'.dsb", "Temperatur-2'.dsb",
    "Temperatur-3'.dsb", "Temperatur-4'.dsb", "Temperatur-5'.dsb", "Temperatur-6'.dsb"};

const char* const kWorksheetNames[12] = {
    "Temperatur-1.dsb", "Temperatur-1'.dsb", "Temperatur-2.dsb", "Temperatur-2'.dsb",
    "Temperatur-3.dsb", "Temperatur-3'.dsb", "Temperatur-4.dsb", "Temperatur-4'.dsb",
    "Temperatur-5.dsb", "Temperatur-5'.dsb", "Temperatur-6.dsb", "Temperatur-6'.dsb"};

int RemoveTree(const char* path)
{
    char pattern[MAX_PATH * 2];
    snprintf(pattern, sizeof pattern, "%s\\*", path);
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA(pattern, &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (!strcmp(entry.cFileName, ".") || !strcmp(entry.cFileName, "..")) continue;
            char child[MAX_PATH * 2];
            snprintf(child, sizeof child, "%s\\%s", path, entry.cFileName);
            SetFileAttributesA(child, FILE_ATTRIBUTE_NORMAL);
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
                DeleteFileA(child);
        } while (FindNextFileA(find, &entry));
        FindClose(find);
    }
    SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    return RemoveDirectoryA(path) || GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND;
}

int MakeFolder(const char* path)
{
    return CreateDirectoryA(path, 0) || GetLastError() == ERROR_ALREADY_EXISTS;
}

void MakeScratch(const char* name, char* path, int size)
{
    MakeFolder(BRV_E2E_SCRATCH_ROOT);
    snprintf(path, size, "%s\\%s", BRV_E2E_SCRATCH_ROOT, name);
    // Parameterised test names carry "/": one folder per test, never a sub-folder.
    for (char* c = path + lstrlenA(BRV_E2E_SCRATCH_ROOT) + 1; *c; ++c)
        if (*c == '/' || *c == '\\') *c = '_';
    RemoveTree(path);
    MakeFolder(path);
}

int WriteBytes(const char* path, const char* data, int length)
{
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, 0);
    if (file == INVALID_HANDLE_VALUE) return 0;
    DWORD written = 0;
    int ok = WriteFile(file, data, length, &written, 0) && (int)written == length;
    return CloseHandle(file) && ok;
}

char* ReadBytes(const char* path, int* length)
{
    *length = -1;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, 0, OPEN_EXISTING, 0, 0);
    if (file == INVALID_HANDLE_VALUE) return 0;
    DWORD size = GetFileSize(file, 0);
    char* data = (char*)malloc(size + 1);
    DWORD got = 0;
    if (data && ReadFile(file, data, size, &got, 0) && got == size) {
        *length = (int)size;
    } else {
        free(data);
        data = 0;
    }
    CloseHandle(file);
    return data;
}

void FreeBytes(char* data)
{
    free(data);
}

int SameContent(const char* pathA, const char* pathB)
{
    int lengthA, lengthB;
    char* a = ReadBytes(pathA, &lengthA);
    char* b = ReadBytes(pathB, &lengthB);
    int same = a && b && lengthA == lengthB && memcmp(a, b, lengthA) == 0;
    FreeBytes(a);
    FreeBytes(b);
    return same;
}

int FileExists(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

int FolderExists(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

namespace {

int CompareNames(const void* a, const void* b)
{
    return strcmp(*(const char* const*)a, *(const char* const*)b);
}

unsigned Checksum(const char* path)
{
    int length;
    char* data = ReadBytes(path, &length);
    unsigned hash = 2166136261u;
    for (int i = 0; i < length; ++i) hash = (hash ^ (unsigned char)data[i]) * 16777619u;
    FreeBytes(data);
    return hash;
}

void Fingerprint(const char* root, const char* relative, char* out, int size, int* used)
{
    char folder[MAX_PATH * 2], pattern[MAX_PATH * 2];
    snprintf(folder, sizeof folder, "%s%s%s", root, *relative ? "\\" : "", relative);
    snprintf(pattern, sizeof pattern, "%s\\*", folder);
    static char names[256][MAX_PATH];
    char* sorted[256];
    int count = 0;
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA(pattern, &entry);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        if (!strcmp(entry.cFileName, ".") || !strcmp(entry.cFileName, "..") || count >= 256) continue;
        lstrcpynA(names[count], entry.cFileName, MAX_PATH);
        sorted[count] = names[count];
        ++count;
    } while (FindNextFileA(find, &entry));
    FindClose(find);
    qsort(sorted, count, sizeof sorted[0], CompareNames);
    // Copy the names out first: the recursion below reuses the static table.
    char local[64][MAX_PATH];
    int localCount = count < 64 ? count : 64;
    for (int i = 0; i < localCount; ++i) lstrcpynA(local[i], sorted[i], MAX_PATH);
    for (int i = 0; i < localCount; ++i) {
        char child[MAX_PATH * 2], childRelative[MAX_PATH * 2];
        snprintf(child, sizeof child, "%s\\%s", folder, local[i]);
        snprintf(childRelative, sizeof childRelative, "%s%s%s", relative, *relative ? "\\" : "", local[i]);
        DWORD attributes = GetFileAttributesA(child);
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            *used += snprintf(out + *used, size - *used, "%s\\ attr=%lx\n", childRelative,
                              (unsigned long)(attributes & FILE_ATTRIBUTE_READONLY));
            if (*used >= size) return;
            Fingerprint(root, childRelative, out, size, used);
        } else {
            int length;
            char* data = ReadBytes(child, &length);
            FreeBytes(data);
            *used += snprintf(out + *used, size - *used, "%s size=%d attr=%lx sum=%08x\n", childRelative, length,
                              (unsigned long)(attributes & FILE_ATTRIBUTE_READONLY), Checksum(child));
        }
        if (*used >= size) return;
    }
}

}  // namespace

void FolderNames(const char* path, char* out, int size)
{
    out[0] = 0;
    char pattern[MAX_PATH * 2];
    snprintf(pattern, sizeof pattern, "%s\\*", path);
    static char names[256][MAX_PATH];
    char* sorted[256];
    int count = 0;
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA(pattern, &entry);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        if (!strcmp(entry.cFileName, ".") || !strcmp(entry.cFileName, "..") || count >= 256) continue;
        lstrcpynA(names[count], entry.cFileName, MAX_PATH);
        sorted[count] = names[count];
        ++count;
    } while (FindNextFileA(find, &entry));
    FindClose(find);
    qsort(sorted, count, sizeof sorted[0], CompareNames);
    int used = 0;
    for (int i = 0; i < count && used < size; ++i)
        used += snprintf(out + used, size - used, "%s%s", i ? "|" : "", sorted[i]);
}

void FolderFingerprint(const char* path, char* out, int size)
{
    int used = 0;
    out[0] = 0;
    Fingerprint(path, "", out, size, &used);
}

void DesktopShortcutPath(char* out, int size)
{
    char desktop[MAX_PATH] = "";
    SHGetSpecialFolderPathA(0, desktop, CSIDL_DESKTOPDIRECTORY, FALSE);
    snprintf(out, size, "%s\\BrindaVel.lnk", desktop);
}

void DefaultTargetPath(char* out, int size)
{
    // The installer's rule: Windows newer than XP (version code above 60) uses the 32-bit program-files folder.
    OSVERSIONINFOEXA version;
    memset(&version, 0, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA((OSVERSIONINFOA*)&version);
    int newerThanXp = !(version.dwPlatformId == VER_PLATFORM_WIN32_NT &&
                        (version.dwMajorVersion < 5 ||
                         (version.dwMajorVersion == 5 &&
                          (version.dwMinorVersion <= 1 ||
                           (version.dwMinorVersion == 2 && version.wProductType == VER_NT_WORKSTATION)))));
    if (version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) newerThanXp = 0;
    char folder[MAX_PATH] = "";
    SHGetSpecialFolderPathA(0, folder, newerThanXp ? CSIDL_PROGRAM_FILESX86 : CSIDL_PROGRAM_FILES, FALSE);
    snprintf(out, size, "%s\\BrindaVel\\", folder);
}

int StartInstaller(const char* workingDirectory, Installer* out)
{
    memset(out, 0, sizeof *out);
    if (!DrvStart(BRV_E2E_INSTALLER, workingDirectory, &out->process)) return 1;
    out->window = DrvWaitMainWindow(&out->process, E2E_TIMEOUT_MS);
    if (!out->window) return DrvIsRunning(&out->process) ? 2 : 4;
    // Gadget 6 ("Nein") is the last control the installer creates.
    if (!DrvWaitReady(&out->process, out->window, 6, E2E_TIMEOUT_MS)) return DrvIsRunning(&out->process) ? 3 : 4;
    return 0;
}

const char* StartFailure(int step)
{
    switch (step) {
    case 0: return "";
    case 1: return "the installer could not be started";
    case 2: return "no main window appeared";
    case 3: return "the window did not become ready for input";
    default: return "the installer ended before its window was ready";
    }
}

int TypePathAndStart(Installer* installer, const char* path)
{
    return DrvSetControlText(installer->window, 3, path) && DrvClick(installer->window, 5);
}

int NextBox(Installer* installer, DrvBox* box)
{
    return DrvWaitBox(&installer->process, 1, E2E_TIMEOUT_MS, box);
}

int AnswerAndWait(const DrvBox* box, int buttonId)
{
    return DrvAnswerBox(box, buttonId) && DrvWaitGone(box->hwnd, E2E_TIMEOUT_MS);
}

int FinishInstaller(Installer* installer, DWORD* exitCode)
{
    return DrvWaitExit(&installer->process, E2E_TIMEOUT_MS, exitCode);
}

void StopInstaller(Installer* installer)
{
    DrvCloseProcess(&installer->process);
}

// Files as the tests see them from outside the installer's procedures: whole files, and the entries of a folder.
#pragma once

#include <windows.h>

#include <string>

// The whole file, or "<none>" when it cannot be opened.
inline std::string Read(const std::string& name) {
    static char text[2 * 1024 * 1024];
    DWORD got = 0;
    HANDLE file = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<none>";
    ReadFile(file, text, sizeof text, &got, nullptr);
    CloseHandle(file);
    return std::string(text, got);
}

inline void Write(const std::string& name, const char* text) {
    DWORD written = 0;
    HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    WriteFile(file, text, lstrlenA(text), &written, nullptr);
    CloseHandle(file);
}

// Entries of the folder besides "." and ".."; with erase, its files are deleted.
inline int Entries(const std::string& folder, bool erase = false) {
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &entry);
    int count = 0;
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &entry))
        if (entry.cFileName[0] != '.') count += erase ? DeleteFileA((folder + "\\" + entry.cFileName).c_str()) : 1;
    FindClose(search);
    return count;
}

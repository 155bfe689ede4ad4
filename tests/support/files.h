// Files as the tests see them from outside the code under test: whole files, a folder's entries, scratch trees.
// Contract: header-only; a file that cannot be opened reads as "<none>"; a tree is made and removed with its parents.
#pragma once

#include <shlobj.h>
#include <windows.h>

#include <set>
#include <string>

// Also a file the installer holds open for writing and deleting (a staged file).
inline std::string Read(const std::string& name) {
    HANDLE file = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<none>";
    std::string text(GetFileSize(file, nullptr) + 1, '\0');
    DWORD got = 0;
    ReadFile(file, &text[0], static_cast<DWORD>(text.size()), &got, nullptr), CloseHandle(file);
    return text.substr(0, got);
}

// Also over a file that another process holds open, where its sharing allows it (as any program of the user could).
inline void Write(const std::string& name, const char* text) {
    HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, text, lstrlenA(text), &written, nullptr), CloseHandle(file);
}

// The names of a folder's entries besides "." and ".." that match pattern, sorted and joined with '|'.
inline std::string Names(const std::string& folder, const char* pattern = "*") {
    std::set<std::string> names;
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((folder + "\\" + pattern).c_str(), &entry);
    for (BOOL more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileA(find, &entry))
        if (lstrcmpA(entry.cFileName, ".") && lstrcmpA(entry.cFileName, "..")) names.insert(entry.cFileName);
    FindClose(find);
    std::string joined;
    for (const std::string& name : names) joined += (joined.empty() ? "" : "|") + name;
    return joined;
}

// A folder with its parents when path ends with a backslash, else an empty file in them.
inline void Make(const std::string& path) {
    SHCreateDirectoryExA(nullptr, path.substr(0, path.rfind('\\')).c_str(), nullptr);
    if (path.back() != '\\') Write(path, "");
}

// The folder and everything in it, read-only files too.
inline void RemoveTree(const std::string& path) {
    std::string from = path + '\0';  // the list ends with two zero bytes
    SHFILEOPSTRUCTA remove = {nullptr, FO_DELETE, from.c_str(), nullptr, FOF_NO_UI};
    SHFileOperationA(&remove);
}

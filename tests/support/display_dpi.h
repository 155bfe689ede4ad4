// The display's dpi that programs started next in this Wine prefix see: LogPixels of the user's desktop settings.
// Contract: set for the life of the guard, the former state (a value or none) put back at its end. Seen on Wine: each
// new process reads it afresh, the running server needs no restart, and running processes keep their dpi.
#pragma once

#include <windows.h>

class DisplayDpiSetting {
public:
    explicit DisplayDpiSetting(DWORD dpi) {
        RegCreateKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                        nullptr, &key_, nullptr);
        DWORD size = sizeof former_;
        hadFormer_ = !RegQueryValueExA(key_, "LogPixels", nullptr, nullptr, reinterpret_cast<BYTE*>(&former_), &size);
        Put(dpi);
    }
    ~DisplayDpiSetting() {
        if (hadFormer_) Put(former_);
        else RegDeleteValueA(key_, "LogPixels");
        RegCloseKey(key_);
    }

private:
    void Put(DWORD dpi) { RegSetValueExA(key_, "LogPixels", 0, REG_DWORD, reinterpret_cast<BYTE*>(&dpi), sizeof dpi); }
    HKEY key_ = nullptr;
    DWORD former_ = 0;
    bool hadFormer_ = false;
};

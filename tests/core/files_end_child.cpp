// Child program for the file tests: leaves files with pending buffered data open and ends through EndProgram.
// Contract: argument 1 is a folder; writes "numbered.txt" (10 bytes) and "dynamic.txt" (7 bytes) there, never closes them.
#include <string.h>
#include <windows.h>

#include "core/files.h"
#include "core/frame.h"

int main(int argumentCount, char** arguments) {
    StartRuntime();
    if (argumentCount < 2) return 3;
    char path[MAX_PATH];
    int length = static_cast<int>(strlen(arguments[1]));
    if (length + 16 >= MAX_PATH) return 4;
    memcpy(path, arguments[1], length);
    memcpy(path + length, "\\numbered.txt", 14);
    if (!CreateFileObject(5, path)) return 5;
    if (WriteFileData(5, "0123456789", 10) != 10) return 6;
    memcpy(path + length, "\\dynamic.txt", 13);
    int dynamic = CreateFileObject(ANY_NUMBER, path);
    if (!dynamic) return 7;
    if (WriteFileData(dynamic, "dynamic", 7) != 7) return 8;
    EndProgram();
}

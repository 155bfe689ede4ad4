// Buffered numbered file objects, one-call file-system operations and numbered directory listings.
// Contract: every operation reports failure by 0 (or "" for texts), never by a message; paths longer than 259 bytes are refused, never cut.
#pragma once

#include <windows.h>

#include "core/registry.h"  // ANY_NUMBER

// File table (record size 24, free operation CloseFileObject); the frame calls these at start and as the last end step.
void StartFiles();
void EndFiles();

// Number: the file handle as int; ANY_NUMBER: the record address (the new number); 0 on failure.
int CreateFileObject(int number, const char* name);
// Bytes accepted (buffered) or written (direct writes of 4096 bytes or more); 0 for null data, length <= 0 or no file.
int WriteFileData(int number, const void* data, int length);
// Writes out pending data, closes the handle, frees buffer and record. No effect for a number that denotes no file.
void CloseFileObject(int number);
// As CloseFileObject, but tells whether every pending byte was written and the handle closed cleanly (1) or not (0).
int CloseFileObjectChecked(int number);
// As CreateFileObject, but creates the file only where no entry of that name exists (a link of that name is not
// followed: it counts as existing), and writes unbuffered. While the object is open, others may read the file but
// neither write, rename, replace nor delete it, so that what it holds is what this process wrote.
int CreateNewFileObject(int number, const char* name);
// Deletes the object's file through its own handle (never another file that took its name), closes it and frees the
// record: 1 when the file is gone. No effect for a number that denotes no file.
int DeleteFileObject(int number);

// 1 if the last component was created, 0 otherwise (exists, no parent, null, or longer than 259 bytes).
int CreateFolder(const char* path);
// 1 on success; an existing destination is overwritten.
int CopyFileTo(const char* source, const char* destination);
int DeleteFileAt(const char* name);
// The current directory with a trailing backslash, also when longer than MAX_PATH; "" if it cannot be read.
char* CurrentDirectory(int start);

// A folder's identity: its volume's serial number and its file index on that volume. It is the same however the
// folder is named (junctions, substituted drives, short names, case), and needs no text of the folder, so that no
// code page can make two folders one.
struct FolderIdentity {
    DWORD volume;
    DWORD indexHigh;
    DWORD indexLow;
};
// 1 and the identity of the folder at path; 0 when it is no folder that can be opened, or its file system gives it no
// index.
int IdentifyFolder(const char* path, FolderIdentity* identity);
// 1 when both paths name one folder (each identified as above), else 0.
int IsSameFolder(const char* first, const char* second);

// Listing of folder + "\" + pattern ("*.*" for an empty pattern); record address on success, 0 on failure,
// after which the number denotes no listing (also when the search text is refused as too long).
int ExamineFolder(int number, const char* folder, const char* pattern);
int NextFolderEntry(int number);
char* FolderEntryName(int number, int start);
// FOLDER_ENTRY_FILE or FOLDER_ENTRY_DIRECTORY, 0 for a number that denotes no listing.
const int FOLDER_ENTRY_FILE = 1;
const int FOLDER_ENTRY_DIRECTORY = 2;
int FolderEntryType(int number);
void FinishFolder(int number);

// Files: numbered file objects with a 4096-byte write buffer, one-call file-system operations, numbered listings.
// Contract: failure is 0 (or ""), never a message; a path that would not fit a 260-byte buffer is refused, never cut.
#include "core/files.h"

#include <string.h>
#include <windows.h>

#include "core/frame.h"
#include "core/registry.h"
#include "core/strings.h"

namespace {

const int FILE_BUFFER_SIZE = 4096;
const int INITIAL_FILE_COUNT = 16;
const int INITIAL_LISTING_COUNT = 16;
// Longest text a MAX_PATH buffer holds with its terminator.
const int LONGEST_PATH = MAX_PATH - 1;

struct FileObject {
    HANDLE handle;
    char* buffer;
    int bufferSize;
    int free;
    // Zero until a write of buffered data fails; only CloseFileObjectChecked reads it.
    int lostWrite;
    int state;  // 1: nothing written since the file was opened; 0: writing
};

struct FolderListing {
    HANDLE handle;  // INVALID_HANDLE_VALUE for a listing that found nothing, 0 for a dead record
    int state;      // 0: the entry loaded by ExamineFolder is not yet announced; 1: the next call fetches
    WIN32_FIND_DATAA findData;
};

static_assert(sizeof(FileObject) == 24, "FileObject is 24 bytes");
static_assert(sizeof(FolderListing) == 328, "FolderListing is 328 bytes");

ObjectTable* fileTable;
ObjectTable* listingTable;

void FlushFileBuffer(FileObject* file) {
    if (file->state != 0) return;
    DWORD pending = file->bufferSize - file->free;
    if (pending > 0) {
        DWORD written = 0;
        if (!WriteFile(file->handle, file->buffer, pending, &written, nullptr) || written != pending)
            file->lostWrite = 1;
    }
    file->free = file->bufferSize;
}

int CloseRecord(int number) {
    if (number == ANY_NUMBER) return 0;
    FileObject* file = static_cast<FileObject*>(LookupObject(fileTable, number));
    if (!file) return 0;
    if (file->buffer) {
        FlushFileBuffer(file);
        HeapFree(ApplicationHeap(), 0, file->buffer);
        file->buffer = nullptr;
    }
    int clean = !file->lostWrite;
    if (!CloseHandle(file->handle)) clean = 0;
    ReleaseObject(fileTable, number);
    return clean;
}

FolderListing* FindListing(int number) { return static_cast<FolderListing*>(LookupObject(listingTable, number)); }

// Length of text without trailing blanks, backslashes and slashes, never shorter than 1 for a non-empty text.
int StrippedLength(const char* text) {
    int length = static_cast<int>(strlen(text));
    while (length > 1 && (text[length - 1] == ' ' || text[length - 1] == '\\' || text[length - 1] == '/')) --length;
    return length;
}

}  // namespace

void StartFiles() {
    if (!fileTable) fileTable = CreateObjectTable(sizeof(FileObject), INITIAL_FILE_COUNT, CloseFileObject);
}

void EndFiles() { FreeAllObjects(fileTable); }

int CreateFileObject(int number, const char* name) {
    FileObject* file = static_cast<FileObject*>(AllocateObject(fileTable, number));
    if (!file) return 0;
    HANDLE handle = INVALID_HANDLE_VALUE;
    if (name) {
        handle = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE)
            handle = CreateFileA(name, GENERIC_WRITE, FILE_SHARE_READ, nullptr, TRUNCATE_EXISTING, 0, nullptr);
    }
    if (handle == INVALID_HANDLE_VALUE) handle = nullptr;
    if (handle) {
        file->buffer = static_cast<char*>(HeapAlloc(ApplicationHeap(), 0, FILE_BUFFER_SIZE));
        file->bufferSize = FILE_BUFFER_SIZE;
        file->state = 1;
    }
    return CompleteCreate(fileTable, number, file, handle);
}

int CreateNewFileObject(int number, const char* name) {
    FileObject* file = static_cast<FileObject*>(AllocateObject(fileTable, number));
    if (!file) return 0;
    // DELETE for DeleteFileObject; no FILE_SHARE_WRITE or FILE_SHARE_DELETE, so that no other program can change,
    // rename or replace the file while it is open (seen on Wine: a move with replace onto such a name is refused).
    HANDLE handle = name ? CreateFileA(name, GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr)
                         : INVALID_HANDLE_VALUE;
    return CompleteCreate(fileTable, number, file, handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

int WriteFileData(int number, const void* data, int length) {
    if (!data || length <= 0) return 0;
    FileObject* file = static_cast<FileObject*>(LookupObject(fileTable, number));
    if (!file) return 0;
    DWORD written = 0;
    if (!file->buffer) {
        WriteFile(file->handle, data, length, &written, nullptr);
        return static_cast<int>(written);
    }
    if (file->state == 1) {
        SetFilePointer(file->handle, -file->free, nullptr, FILE_CURRENT);
        file->state = 0;
        file->free = file->bufferSize;
    }
    if (file->free > length) {
        memcpy(file->buffer + (file->bufferSize - file->free), data, length);
        file->free -= length;
        return length;
    }
    FlushFileBuffer(file);
    if (length >= file->bufferSize) {
        // Large blocks bypass the buffer; the caller learns how much really reached the file.
        WriteFile(file->handle, data, length, &written, nullptr);
        return static_cast<int>(written);
    }
    memcpy(file->buffer, data, length);
    file->free -= length;
    return length;
}

void CloseFileObject(int number) { CloseRecord(number); }

int DeleteFileObject(int number) {
    FileObject* file = static_cast<FileObject*>(LookupObject(fileTable, number));
    if (!file) return 0;
    FILE_DISPOSITION_INFO disposition = {TRUE};
    int deleted = SetFileInformationByHandle(file->handle, FileDispositionInfo, &disposition, sizeof disposition);
    return CloseRecord(number) && deleted;
}

int CloseFileObjectChecked(int number) { return CloseRecord(number); }

int CreateFolder(const char* path) {
    if (!path) return 0;
    int length = StrippedLength(path);
    if (length > LONGEST_PATH) return 0;
    char folder[MAX_PATH];
    memcpy(folder, path, length);
    folder[length] = 0;
    return CreateDirectoryA(folder, nullptr) ? 1 : 0;
}

int CopyFileTo(const char* source, const char* destination) {
    if (!source || !destination) return 0;
    return CopyFileA(source, destination, FALSE) ? 1 : 0;
}

int DeleteFileAt(const char* name) {
    if (!name) return 0;
    return DeleteFileA(name) ? 1 : 0;
}

char* CurrentDirectory(int start) {
    if (start == -1) start = BuilderPosition();
    int size = MAX_PATH;  // buffer size handed to the platform; one more byte is kept for the backslash
    char* text = ReserveText(size + 1, start);
    int length = static_cast<int>(GetCurrentDirectoryA(size, text));
    if (length >= size) {
        // Too long for MAX_PATH: the platform reported the size it needs instead of filling the buffer.
        size = length;
        text = ReserveText(size + 1, start);
        length = static_cast<int>(GetCurrentDirectoryA(size, text));
        if (length >= size) length = 0;  // it changed and grew in between
    }
    if (length > 0 && text[length - 1] != '\\') text[length++] = '\\';
    text[length] = 0;
    GiveBackText(size + 1 - length);
    return text;
}

int IdentifyFolder(const char* path, FolderIdentity* identity) {
    if (!path) return 0;
    HANDLE folder = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (folder == INVALID_HANDLE_VALUE) return 0;
    BY_HANDLE_FILE_INFORMATION file;
    BOOL known = GetFileInformationByHandle(folder, &file);
    CloseHandle(folder);
    if (!known || !(file.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !(file.nFileIndexHigh | file.nFileIndexLow)) {
        return 0;
    }
    identity->volume = file.dwVolumeSerialNumber;
    identity->indexHigh = file.nFileIndexHigh;
    identity->indexLow = file.nFileIndexLow;
    return 1;
}

int IsSameFolder(const char* first, const char* second) {
    FolderIdentity one, other;
    return IdentifyFolder(first, &one) && IdentifyFolder(second, &other) && memcmp(&one, &other, sizeof one) == 0;
}

int ExamineFolder(int number, const char* folder, const char* pattern) {
    if (!listingTable) {
        ObjectTable* table = CreateObjectTable(sizeof(FolderListing), INITIAL_LISTING_COUNT, FinishFolder);
        // Another thread may have created it meanwhile; the loser's empty table is simply left unused.
        InterlockedCompareExchangePointer(reinterpret_cast<void* volatile*>(&listingTable), table, nullptr);
    }
    if (!folder) folder = "";
    if (!pattern || !*pattern) pattern = "*.*";
    FolderListing* listing = static_cast<FolderListing*>(AllocateObject(listingTable, number));
    if (!listing) return 0;
    int folderLength = static_cast<int>(strlen(folder));
    int separator = folderLength > 0 && folder[folderLength - 1] != '\\';
    int patternLength = static_cast<int>(strlen(pattern));
    HANDLE handle = nullptr;
    // A search text that does not fit would name another folder or pattern once cut: it is refused like a folder
    // that cannot be listed.
    if (folderLength + separator + patternLength <= LONGEST_PATH) {
        char search[MAX_PATH];
        memcpy(search, folder, folderLength);
        if (separator) search[folderLength] = '\\';
        memcpy(search + folderLength + separator, pattern, patternLength + 1);
        handle = FindFirstFileA(search, &listing->findData);
        // Nothing matching is an empty listing, not a failure.
        if (handle == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_NOT_FOUND) handle = nullptr;
    }
    listing->state = handle == INVALID_HANDLE_VALUE;  // an empty listing has announced its (no) entry already
    return CompleteCreate(listingTable, number, listing, handle) ? reinterpret_cast<int>(listing) : 0;
}

int NextFolderEntry(int number) {
    FolderListing* listing = FindListing(number);
    if (!listing || listing->handle == INVALID_HANDLE_VALUE) return 0;
    int result = listing->state == 0 ? 1 : (FindNextFileA(listing->handle, &listing->findData) ? 1 : 0);
    listing->state = 1;
    return result;
}

char* FolderEntryName(int number, int start) {
    FolderListing* listing = FindListing(number);
    const char* name = "";
    int length = 0;
    if (listing) {
        name = listing->findData.cFileName;
        while (length < MAX_PATH && name[length]) ++length;
    }
    char* text = ReserveText(length + 1, start);
    memcpy(text, name, length);
    text[length] = 0;
    GiveBackText(1);
    return text;
}

int FolderEntryType(int number) {
    FolderListing* listing = FindListing(number);
    if (!listing) return 0;
    return (listing->findData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? FOLDER_ENTRY_DIRECTORY : FOLDER_ENTRY_FILE;
}

void FinishFolder(int number) {
    FolderListing* listing = FindListing(number);
    if (!listing) return;
    if (listing->handle != INVALID_HANDLE_VALUE) FindClose(listing->handle);
    ReleaseObject(listingTable, number);
}

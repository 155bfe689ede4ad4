// Tests of the file library on the real file system: buffering, one-call operations, listings, path refusals.
// Contract: every test works in its own scratch folder under the temporary folder and removes it afterwards.
#include <stdio.h>
#include <string>
#include <string.h>
#include <windows.h>

#include <gtest/gtest.h>

#include "core/files.h"
#include "core/frame.h"
#include "core/strings.h"

namespace {

class RuntimeEnvironment : public ::testing::Environment {
public:
    void SetUp() override { StartRuntime(); }
};
::testing::Environment* const runtime = ::testing::AddGlobalTestEnvironment(new RuntimeEnvironment);

void RemoveTree(const char* folder) {
    char search[MAX_PATH * 2];
    snprintf(search, sizeof search, "%s\\*", folder);
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA(search, &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (!strcmp(entry.cFileName, ".") || !strcmp(entry.cFileName, "..")) continue;
            char path[MAX_PATH * 2];
            snprintf(path, sizeof path, "%s\\%s", folder, entry.cFileName);
            SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(path);
            else DeleteFileA(path);
        } while (FindNextFileA(find, &entry));
        FindClose(find);
    }
    RemoveDirectoryA(folder);
}

// Size on disk, read through a handle of its own (the object's handle only shares reading).
long DiskSize(const char* path) {
    HANDLE handle = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                nullptr);
    if (handle == INVALID_HANDLE_VALUE) return -1;
    DWORD size = GetFileSize(handle, nullptr);
    CloseHandle(handle);
    return static_cast<long>(size);
}

// Whole file into a heap block (caller frees with HeapFree on the process heap); null if unreadable.
char* ReadWhole(const char* path, long* size) {
    *size = DiskSize(path);
    if (*size < 0) return nullptr;
    HANDLE handle = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                nullptr);
    char* data = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, *size + 1));
    DWORD read = 0;
    ReadFile(handle, data, *size, &read, nullptr);
    CloseHandle(handle);
    data[read] = 0;
    return data;
}

void WriteWhole(const char* path, const char* text) {
    HANDLE handle = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(handle, text, static_cast<DWORD>(strlen(text)), &written, nullptr);
    CloseHandle(handle);
}

std::string Contents(const char* path) {
    long size = 0;
    char* data = ReadWhole(path, &size);
    if (!data) return "(missing)";
    std::string text(data, size);
    HeapFree(GetProcessHeap(), 0, data);
    return text;
}

int IsFolder(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

int EntryCount(const char* folder) {
    char search[MAX_PATH * 2];
    snprintf(search, sizeof search, "%s\\*", folder);
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA(search, &entry);
    if (find == INVALID_HANDLE_VALUE) return 0;
    int count = 0;
    do {
        if (strcmp(entry.cFileName, ".") && strcmp(entry.cFileName, "..")) ++count;
    } while (FindNextFileA(find, &entry));
    FindClose(find);
    return count;
}

class FilesTest : public ::testing::Test {
protected:
    char scratch[MAX_PATH];
    char savedDirectory[MAX_PATH];

    void SetUp() override {
        static int counter;
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        snprintf(scratch, sizeof scratch, "%sbrv_files_%lu_%d", temp, GetCurrentProcessId(), ++counter);
        RemoveTree(scratch);
        ASSERT_TRUE(CreateDirectoryA(scratch, nullptr));
        GetCurrentDirectoryA(MAX_PATH, savedDirectory);
    }

    void TearDown() override {
        EndFiles();  // closes whatever a test left open
        SetCurrentDirectoryA(savedDirectory);
        RemoveTree(scratch);
    }

    // scratch + "\" + name, in a buffer of the fixture (one at a time is enough for most tests).
    const char* In(const char* name) {
        static char path[4][MAX_PATH * 2];
        static int next;
        char* slot = path[next++ & 3];
        snprintf(slot, MAX_PATH * 2, "%s\\%s", scratch, name);
        return slot;
    }
};

// --- Buffered file objects ---

struct WriteRow {
    const char* what;
    int lengths[6];  // 0 ends the list
    long onDisk[6];  // file size seen from outside right after each write
};

TEST_F(FilesTest, BufferedWritesReachTheDiskAsDesigned) {
    const WriteRow rows[] = {
        {"10 bytes wait for the close", {10}, {0}},
        {"4096 bytes with pending data: flush, then direct", {10, 4096}, {0, 4106}},
        {"exactly the free space flushes and buffers anew", {10, 4086}, {0, 10}},
        {"4096 bytes into the empty buffer go straight out", {4096}, {4096}},
        {"more than the buffer after a small write", {3, 5000, 2}, {0, 5003, 5003}},
        {"filling up to one byte left", {4000, 95, 1, 5}, {0, 0, 4095, 4095}},
        {"values of 1, 2 and 4 bytes", {1, 2, 4, 3}, {0, 0, 0, 0}},
    };
    static char pattern[16384];
    for (int i = 0; i < static_cast<int>(sizeof pattern); ++i) pattern[i] = static_cast<char>(i * 7 + i / 251);
    int rowNumber = 0;
    for (const WriteRow& row : rows) {
        char name[32];
        snprintf(name, sizeof name, "row%d.bin", ++rowNumber);
        const char* path = In(name);
        ASSERT_NE(0, CreateFileObject(1, path)) << row.what;
        EXPECT_EQ(0, DiskSize(path)) << row.what;
        int total = 0;
        for (int i = 0; i < 6 && row.lengths[i]; ++i) {
            EXPECT_EQ(row.lengths[i], WriteFileData(1, pattern + total, row.lengths[i])) << row.what << " write " << i;
            total += row.lengths[i];
            EXPECT_EQ(row.onDisk[i], DiskSize(path)) << row.what << " after write " << i;
        }
        EXPECT_EQ(1, CloseFileObjectChecked(1)) << row.what;
        long size = 0;
        char* data = ReadWhole(path, &size);
        ASSERT_EQ(total, size) << row.what;
        EXPECT_EQ(0, memcmp(pattern, data, total)) << row.what;
        HeapFree(GetProcessHeap(), 0, data);
    }
}

TEST_F(FilesTest, ALargeBlockInOneCallArrivesByteIdentical) {
    const int size = 2 * 1024 * 1024 + 17;
    char* block = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, size));
    for (int i = 0; i < size; ++i) block[i] = static_cast<char>((i * 2654435761u) >> 24);
    const char* path = In("big.bin");
    int number = CreateFileObject(ANY_NUMBER, path);
    ASSERT_NE(0, number);
    EXPECT_EQ(size, WriteFileData(number, block, size));
    EXPECT_EQ(size, DiskSize(path));  // bypassed the buffer
    EXPECT_EQ(1, CloseFileObjectChecked(number));
    long read = 0;
    char* data = ReadWhole(path, &read);
    ASSERT_EQ(size, read);
    EXPECT_EQ(0, memcmp(block, data, size));
    HeapFree(GetProcessHeap(), 0, data);
    HeapFree(GetProcessHeap(), 0, block);
}

TEST_F(FilesTest, NumbersAndResults) {
    // A number gives the handle, ANY_NUMBER the record address that serves as number from then on.
    int handle = CreateFileObject(4, In("numbered.txt"));
    ASSERT_NE(0, handle);
    EXPECT_EQ(static_cast<DWORD>(FILE_TYPE_DISK), GetFileType(reinterpret_cast<HANDLE>(handle)));
    int dynamic = CreateFileObject(ANY_NUMBER, In("dynamic.txt"));
    ASSERT_NE(0, dynamic);
    EXPECT_NE(handle, dynamic);
    EXPECT_EQ(3, WriteFileData(dynamic, "abc", 3));

    // Invalid writes are refused.
    EXPECT_EQ(0, WriteFileData(4, nullptr, 3));
    EXPECT_EQ(0, WriteFileData(4, "abc", 0));
    EXPECT_EQ(0, WriteFileData(4, "abc", -3));
    EXPECT_EQ(0, WriteFileData(5, "abc", 3));
    EXPECT_EQ(0, WriteFileData(-7, "abc", 3));
    EXPECT_EQ(0, WriteFileData(dynamic + 4, "abc", 3));

    // Reusing a number closes (and so writes out) the file open under it.
    EXPECT_EQ(3, WriteFileData(4, "xyz", 3));
    ASSERT_NE(0, CreateFileObject(4, In("second.txt")));
    EXPECT_EQ("xyz", Contents(In("numbered.txt")));

    // A failed creation leaves the number empty, after closing the file that was open under it.
    EXPECT_EQ(2, WriteFileData(4, "22", 2));
    EXPECT_EQ(0, CreateFileObject(4, In("missing\\third.txt")));
    EXPECT_EQ("22", Contents(In("second.txt")));
    EXPECT_EQ(0, WriteFileData(4, "abc", 3));
    EXPECT_EQ(0, CloseFileObjectChecked(4));
    EXPECT_EQ(0, CreateFileObject(ANY_NUMBER, nullptr));

    CloseFileObject(dynamic);
    EXPECT_EQ("abc", Contents(In("dynamic.txt")));
    EXPECT_EQ(0, WriteFileData(dynamic, "abc", 3));
    CloseFileObject(dynamic);  // closing twice, or ANY_NUMBER itself, does nothing
    CloseFileObject(ANY_NUMBER);
}

TEST_F(FilesTest, ExistingFilesAreRewrittenUnlessLocked) {
    WriteWhole(In("hidden.txt"), "old hidden content");
    SetFileAttributesA(In("hidden.txt"), FILE_ATTRIBUTE_HIDDEN);
    ASSERT_NE(0, CreateFileObject(1, In("hidden.txt")));
    WriteFileData(1, "new", 3);
    CloseFileObject(1);
    EXPECT_EQ("new", Contents(In("hidden.txt")));

    // A file held open without sharing defeats both ways of opening it. (A read-only attribute would do on
    // Windows; Wine running as root writes such files all the same.)
    WriteWhole(In("locked.txt"), "keep me");
    HANDLE holder = CreateFileA(In("locked.txt"), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    EXPECT_EQ(0, CreateFileObject(1, In("locked.txt")));
    EXPECT_EQ(0, WriteFileData(1, "x", 1));
    CloseHandle(holder);
    EXPECT_EQ("keep me", Contents(In("locked.txt")));
}

TEST_F(FilesTest, LostWritesAreToldByTheCheckedClose) {
    // The handle is taken away behind the object's back, so every write and the close fail.
    int handle = CreateFileObject(2, In("lost.bin"));
    ASSERT_NE(0, handle);
    CloseHandle(reinterpret_cast<HANDLE>(handle));
    EXPECT_EQ(10, WriteFileData(2, "0123456789", 10));  // accepted into the buffer
    EXPECT_EQ(0, CloseFileObjectChecked(2));

    // A direct write reports what really reached the file; a failed flush is remembered until the close.
    static char block[8192];
    handle = CreateFileObject(2, In("lost2.bin"));
    ASSERT_NE(0, handle);
    EXPECT_EQ(5, WriteFileData(2, block, 5));
    CloseHandle(reinterpret_cast<HANDLE>(handle));
    EXPECT_EQ(0, WriteFileData(2, block, sizeof block));
    EXPECT_EQ(0, CloseFileObjectChecked(2));
}

TEST_F(FilesTest, EndProgramWritesOutPendingBuffers) {
    char child[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, child, MAX_PATH);
    while (length > 0 && child[length - 1] != '\\') --length;
    snprintf(child + length, MAX_PATH - length, "files_end_child.exe");
    char command[MAX_PATH * 3];
    snprintf(command, sizeof command, "\"%s\" \"%s\"", child, scratch);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessA(child, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        << child;
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process.hProcess, 30000));
    DWORD code = 99;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    EXPECT_EQ(0u, code);
    EXPECT_EQ("0123456789", Contents(In("numbered.txt")));
    EXPECT_EQ("dynamic", Contents(In("dynamic.txt")));
}

// --- One-call operations ---

TEST_F(FilesTest, CreateFolderStripsTrailingSeparatorsAndCreatesOneLevel) {
    struct Row {
        const char* name;  // under the scratch folder
        int result;
        const char* created;
    } rows[] = {
        {"eins\\", 1, "eins"},
        {"zwei \\/ / ", 1, "zwei"},
        {"drei", 1, "drei"},
        {"drei", 0, nullptr},             // exists
        {"drei\\\\", 0, nullptr},         // exists, named with separators
        {"fehlt\\kind", 0, nullptr},      // no parent
        {"eins\\unter", 1, "eins\\unter"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(row.result, CreateFolder(In(row.name))) << row.name;
        if (row.created) {
            EXPECT_TRUE(IsFolder(In(row.created))) << row.created;
        }
    }
    EXPECT_FALSE(IsFolder(In("fehlt")));
    EXPECT_EQ(0, CreateFolder(nullptr));
    EXPECT_EQ(0, CreateFolder("\\"));  // the first byte is never stripped: the root exists

    // Trailing blanks far beyond 260 bytes are only trailing blanks.
    std::string blanks = std::string(In("vier")) + std::string(300, ' ');
    EXPECT_EQ(1, CreateFolder(blanks.c_str()));
    EXPECT_TRUE(IsFolder(In("vier")));
}

TEST_F(FilesTest, CreateFolderRefusesPathsThatWouldBeCut) {
    int base = static_cast<int>(strlen(scratch)) + 1;
    // 259 bytes fit the buffer with its terminator; 260 would have been cut to another name.
    std::string fits = std::string(scratch) + "\\" + std::string(259 - base, 'f');
    ASSERT_EQ(259u, fits.size());
    EXPECT_EQ(1, CreateFolder(fits.c_str()));
    EXPECT_TRUE(IsFolder(fits.c_str()));
    RemoveDirectoryA(fits.c_str());

    std::string tooLong = std::string(scratch) + "\\" + std::string(260 - base, 'g');
    EXPECT_EQ(0, CreateFolder(tooLong.c_str()));
    // The cut would have named "ggg...\" one level up; nothing may appear there.
    std::string cutToParent = std::string(scratch) + "\\" + std::string(258 - base, 'h') + "\\x";
    EXPECT_EQ(0, CreateFolder(cutToParent.c_str()));
    std::string overLong = std::string(scratch) + "\\" + std::string(400, 'i');
    EXPECT_EQ(0, CreateFolder(overLong.c_str()));
    EXPECT_EQ(0, EntryCount(scratch));
}

TEST_F(FilesTest, CopyAndDelete) {
    WriteWhole(In("quelle.txt"), "neu");
    WriteWhole(In("ziel.txt"), "alter, laengerer Inhalt");
    EXPECT_EQ(1, CopyFileTo(In("quelle.txt"), In("ziel.txt")));
    EXPECT_EQ("neu", Contents(In("ziel.txt")));
    EXPECT_EQ(1, CopyFileTo(In("quelle.txt"), In("kopie.txt")));
    EXPECT_EQ("neu", Contents(In("kopie.txt")));
    EXPECT_EQ(0, CopyFileTo(In("fehlt.txt"), In("ziel.txt")));
    EXPECT_EQ("neu", Contents(In("ziel.txt")));
    EXPECT_EQ(0, CopyFileTo(nullptr, In("ziel.txt")));
    EXPECT_EQ(0, CopyFileTo(In("quelle.txt"), nullptr));

    EXPECT_EQ(1, DeleteFileAt(In("kopie.txt")));
    EXPECT_EQ(-1, DiskSize(In("kopie.txt")));
    EXPECT_EQ(0, DeleteFileAt(In("kopie.txt")));
    EXPECT_EQ(0, DeleteFileAt(nullptr));
}

TEST_F(FilesTest, CurrentDirectoryEndsWithOneBackslash) {
    struct Row {
        const char* set;
        const char* expected;
    } rows[] = {
        {scratch, nullptr},
        {"C:\\", "C:\\"},
    };
    for (const Row& row : rows) {
        ASSERT_TRUE(SetCurrentDirectoryA(row.set)) << row.set;
        std::string expected = row.expected ? row.expected : std::string(row.set) + "\\";
        int start = BuilderPosition();
        AppendText("vorher:");
        char* text = CurrentDirectory(-1);
        EXPECT_EQ(expected, std::string(text)) << row.set;
        EXPECT_EQ(0, memcmp("vorher:", BuilderBase() + start, 7)) << "the text before the result was overwritten";
        EXPECT_EQ(BuilderBase() + start + 7, text);
        EXPECT_EQ(start + 7 + static_cast<int>(expected.size()), BuilderPosition());
        RestorePosition(start);
    }
}

// --- Listings ---

struct Entry {
    char name[MAX_PATH];
    int type;
};

int ReadListing(int number, Entry* entries, int room) {
    int count = 0;
    while (NextFolderEntry(number)) {
        if (count < room) {
            int start = BuilderPosition();
            snprintf(entries[count].name, MAX_PATH, "%s", FolderEntryName(number, -1));
            RestorePosition(start);
            entries[count].type = FolderEntryType(number);
        }
        ++count;
    }
    return count;
}

int TypeOf(const Entry* entries, int count, const char* name) {
    for (int i = 0; i < count; ++i)
        if (!strcmp(entries[i].name, name)) return entries[i].type;
    return -1;
}

class ListingTest : public FilesTest {
protected:
    void SetUp() override {
        FilesTest::SetUp();
        WriteWhole(In("a.txt"), "a");
        WriteWhole(In("b.dat"), "b");
        CreateDirectoryA(In("sub"), nullptr);
    }
};

TEST_F(ListingTest, ListsEveryEntryWithDotsAndTypes) {
    Entry entries[16];
    ASSERT_NE(0, ExamineFolder(1, scratch, ""));
    int count = ReadListing(1, entries, 16);
    EXPECT_EQ(5, count);
    EXPECT_EQ(2, TypeOf(entries, count, "."));
    EXPECT_EQ(2, TypeOf(entries, count, ".."));
    EXPECT_EQ(1, TypeOf(entries, count, "a.txt"));
    EXPECT_EQ(1, TypeOf(entries, count, "b.dat"));
    EXPECT_EQ(2, TypeOf(entries, count, "sub"));
    EXPECT_EQ(0, NextFolderEntry(1));  // stays at the end
    FinishFolder(1);
    EXPECT_EQ(0, FolderEntryType(1));
}

TEST_F(ListingTest, PatternsFoldersAndNumbers) {
    Entry entries[16];
    struct Row {
        const char* what;
        std::string folder;
        const char* pattern;
        int count;
        const char* only;
    } rows[] = {
        {"pattern", scratch, "*.txt", 1, "a.txt"},
        {"folder with its backslash", std::string(scratch) + "\\", "*.dat", 1, "b.dat"},
        {"null pattern", scratch, nullptr, 5, nullptr},
        {"pattern matching nothing", scratch, "*.nichts", 0, nullptr},
        {"empty folder", std::string(scratch) + "\\sub", "", 2, nullptr},
    };
    for (const Row& row : rows) {
        int listing = ExamineFolder(2, row.folder.c_str(), row.pattern);
        ASSERT_NE(0, listing) << row.what;
        int count = ReadListing(2, entries, 16);
        EXPECT_EQ(row.count, count) << row.what;
        if (row.only && count == 1) {
            EXPECT_STREQ(row.only, entries[0].name) << row.what;
        }
    }

    // A folder text of "" (or null) searches the current directory.
    ASSERT_TRUE(SetCurrentDirectoryA(scratch));
    ASSERT_NE(0, ExamineFolder(3, nullptr, "*.txt"));
    EXPECT_EQ(1, ReadListing(3, entries, 16));
    ASSERT_NE(0, ExamineFolder(3, "", "b*"));
    EXPECT_EQ(1, ReadListing(3, entries, 16));
    EXPECT_STREQ("b.dat", entries[0].name);

    // A dynamic listing is known by its address until it is finished.
    int dynamic = ExamineFolder(ANY_NUMBER, scratch, "a.*");
    ASSERT_NE(0, dynamic);
    EXPECT_EQ(1, NextFolderEntry(dynamic));
    EXPECT_EQ(1, FolderEntryType(dynamic));
    FinishFolder(dynamic);
    EXPECT_EQ(0, NextFolderEntry(dynamic));
    EXPECT_EQ(0, FolderEntryType(dynamic));
}

TEST_F(ListingTest, AMissingFolderLeavesTheNumberEmpty) {
    ASSERT_NE(0, ExamineFolder(4, scratch, ""));
    EXPECT_EQ(0, ExamineFolder(4, In("fehlt"), ""));
    EXPECT_EQ(0, NextFolderEntry(4));
    EXPECT_EQ(0, FolderEntryType(4));
    int start = BuilderPosition();
    EXPECT_STREQ("", FolderEntryName(4, -1));
    EXPECT_EQ(start, BuilderPosition());
    EXPECT_EQ(0, ExamineFolder(ANY_NUMBER, In("fehlt"), "*"));
    EXPECT_STREQ("", FolderEntryName(12345, -1));
    FinishFolder(4);
    FinishFolder(12345);
}

TEST_F(ListingTest, ASearchTextThatWouldBeCutIsRefusedAndTouchesNothing) {
    int base = static_cast<int>(strlen(scratch)) + 1;  // folder plus its separator
    // Stars pad the pattern: the search text "<scratch>\**...*a.txt" may be 259 bytes, not 260.
    std::string fits = std::string(259 - base - 5, '*') + "a.txt";
    std::string tooLong = std::string(260 - base - 5, '*') + "a.txt";
    Entry entries[4];
    ASSERT_NE(0, ExamineFolder(5, scratch, fits.c_str()));
    EXPECT_EQ(1, ReadListing(5, entries, 4));

    ASSERT_NE(0, ExamineFolder(5, scratch, "*"));
    EXPECT_EQ(0, ExamineFolder(5, scratch, tooLong.c_str()));
    // The listing under that number is left as it was.
    EXPECT_EQ(5, ReadListing(5, entries, 4));

    std::string longFolder = std::string(scratch) + "\\" + std::string(300, 'x');
    EXPECT_EQ(0, ExamineFolder(ANY_NUMBER, longFolder.c_str(), ""));
    std::string folderWithoutRoom = std::string(scratch) + "\\" + std::string(258 - base, 'y');
    EXPECT_EQ(0, ExamineFolder(6, folderWithoutRoom.c_str(), nullptr));
}

}  // namespace

// Tests of the file library on the real file system: buffering, one-call operations, listings, path refusals.
// Contract: every test works in a scratch folder of its own under the temporary folder and removes it afterwards.
#include "core/files.h"

#include "core/strings.h"
#include "tests/core/core_test.h"

class Files : public ::testing::Test {
protected:
    std::string scratch = NewScratchFolder();
    void TearDown() override {
        EndFiles();  // closes whatever a test left open
        SetCurrentDirectoryA("C:\\");
        RemoveTree(scratch);
    }
    std::string In(const std::string& name) { return scratch + "\\" + name; }
    void Put(const char* name, const char* text) {  // through the library, as the installer writes
        CreateFileObject(9, In(name).c_str()), WriteFileData(9, text, lstrlenA(text)), CloseFileObject(9);
    }
};

// What reaches the disk after each write, at the sizes around the 4096-byte buffer.
TEST_F(Files, BufferedWritesReachTheDiskAsDesigned) {
    struct Row {
        const char* what;
        int lengths[5];  // 0 ends the list
        int onDisk[5];   // size seen from outside right after each write
    } rows[] = {
        {"10 bytes wait for the close", {10}, {0}},
        {"4096 bytes with pending data: flush, then direct", {10, 4096}, {0, 4106}},
        {"exactly the free space flushes and buffers anew", {10, 4086}, {0, 10}},
        {"4096 bytes into the empty buffer go straight out", {4096}, {4096}},
        {"more than the buffer after a small write", {3, 5000, 2}, {0, 5003, 5003}},
        {"filling up to one byte left", {4000, 95, 1, 5}, {0, 0, 4095, 4095}},
    };
    static char pattern[16384];
    for (int i = 0; i < 16384; ++i) pattern[i] = static_cast<char>(i * 7 + i / 251);
    for (const Row& row : rows) {
        ASSERT_NE(0, CreateFileObject(1, In("data.bin").c_str()));
        int total = 0;
        for (int i = 0; i < 5 && row.lengths[i]; total += row.lengths[i++]) {
            EXPECT_EQ(row.lengths[i], WriteFileData(1, pattern + total, row.lengths[i])) << row.what;
            EXPECT_EQ(row.onDisk[i], static_cast<int>(Read(In("data.bin")).size())) << row.what << ", " << i;
        }
        EXPECT_EQ(1, CloseFileObjectChecked(1)) << row.what;
        EXPECT_EQ(std::string(pattern, total), Read(In("data.bin"))) << row.what;
    }
    // A handle taken away behind the object's back: the buffered write is accepted, the checked close tells.
    CloseHandle(reinterpret_cast<HANDLE>(CreateFileObject(2, In("lost.bin").c_str())));
    EXPECT_EQ(10, WriteFileData(2, pattern, 10));
    EXPECT_EQ(0, CloseFileObjectChecked(2));
}

// Reusing a number closes (and so writes out) the file open under it; a failed creation leaves it empty.
TEST_F(Files, NumbersAndOneCallOperations) {
    int dynamic = CreateFileObject(ANY_NUMBER, In("dynamic.txt").c_str());
    CreateFileObject(4, In("numbered.txt").c_str());
    EXPECT_EQ(3, WriteFileData(dynamic, "abc", 3));
    EXPECT_EQ(3, WriteFileData(4, "xyz", 3));
    ASSERT_NE(0, CreateFileObject(4, In("second.txt").c_str()));
    EXPECT_EQ("xyz", Read(In("numbered.txt")));
    EXPECT_EQ(2, WriteFileData(4, "22", 2));
    EXPECT_EQ(0, CreateFileObject(4, In("missing\\third.txt").c_str()));
    EXPECT_EQ("22", Read(In("second.txt")));
    EXPECT_EQ(0, WriteFileData(4, "abc", 3));
    CloseFileObject(dynamic);
    EXPECT_EQ("abc", Read(In("dynamic.txt")));
    EXPECT_EQ(0, WriteFileData(dynamic, "abc", 3));
    Put("hidden.txt", "old hidden content");  // a hidden file is rewritten all the same
    SetFileAttributesA(In("hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
    Put("hidden.txt", "new");
    EXPECT_EQ("new", Read(In("hidden.txt")));
    for (const std::string& folder : {scratch + "\\", std::string("C:\\")}) {
        ASSERT_TRUE(SetCurrentDirectoryA(folder.c_str()));
        int start = BuilderPosition();
        EXPECT_EQ(folder, CurrentDirectory(-1));
        RestorePosition(start);
    }
}

TEST_F(Files, CreateFolder) {
    int base = static_cast<int>(scratch.size()) + 1;
    // clang-format off
    std::pair<std::string, int> rows[] = {  // name under the scratch folder, result
        {"eins\\", 1}, {"zwei \\/ / ", 1}, {"zwei", 0}, {"fehlt\\kind", 0}, {"eins\\unter", 1},
        {"vier" + std::string(300, ' '), 1},      // trailing blanks far beyond 260 bytes are only blanks
        {std::string(259 - base, 'f'), 1},         // 259 bytes fit the buffer with its terminator
        {std::string(260 - base, 'g'), 0},         // 260 would have been cut to another name
        {std::string(258 - base, 'h') + "\\x", 0}};
    // clang-format on
    for (auto& row : rows) EXPECT_EQ(row.second, CreateFolder(In(row.first).c_str())) << row.first.size();
    for (const char* made : {"eins", "zwei", "eins\\unter", "vier"})
        EXPECT_TRUE(GetFileAttributesA(In(made).c_str()) & FILE_ATTRIBUTE_DIRECTORY) << made;
}

// Every entry of a listing with its name and type, "" for a number that denotes no listing.
static std::string Listing(int number) {
    std::string entries;
    for (int start = BuilderPosition(); NextFolderEntry(number); RestorePosition(start))
        entries += std::string(FolderEntryName(number, -1)) + (FolderEntryType(number) == 2 ? "/ " : " ");
    return entries;
}

TEST_F(Files, Listings) {
    Put("a.txt", "a");
    Put("b.dat", "b");
    CreateDirectoryA(In("sub").c_str(), nullptr);
    ASSERT_TRUE(SetCurrentDirectoryA(scratch.c_str()));
    std::string withSeparator = scratch + "\\", sub = In("sub"), stars(258 - scratch.size() - 5, '*');
    std::string longPattern = stars + "a.txt";  // the search text "<scratch>\**...*a.txt" has 259 bytes
    // clang-format off
    const char* rows[][3] = {  // folder, pattern, entries in the order the platform lists them; "": the current folder
        {withSeparator.c_str(), "*.dat", "b.dat "}, {scratch.c_str(), nullptr, "./ ../ a.txt b.dat sub/ "},
        {scratch.c_str(), "*.nichts", ""}, {sub.c_str(), "", "./ ../ "}, {"", "b*", "b.dat "},
        {scratch.c_str(), longPattern.c_str(), "a.txt "}};
    // clang-format on
    for (auto& row : rows) {
        ASSERT_NE(0, ExamineFolder(2, row[0], row[1])) << row[0] << row[1];
        EXPECT_EQ(row[2], Listing(2)) << row[0] << row[1];
        EXPECT_EQ(0, NextFolderEntry(2)) << "stays at the end";
    }
    // A failed examine (a missing folder, a search text that would be cut) leaves the number denoting no listing.
    // clang-format off
    std::pair<std::string, std::string> failing[] = {
        {In("fehlt"), ""}, {scratch, longPattern + "*"}, {scratch + std::string(300, 'x'), ""}};
    // clang-format on
    for (auto& row : failing) {
        ASSERT_NE(0, ExamineFolder(4, scratch.c_str(), ""));
        EXPECT_EQ(0, ExamineFolder(4, row.first.c_str(), row.second.c_str()));
        EXPECT_EQ("", Listing(4)) << row.first << " " << row.second;
    }
}

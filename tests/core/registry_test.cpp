// Tests of the numbered object registry: growth, reuse, walks, lookups of bad numbers, per-thread areas.
// Contract: runs in one process after StartRuntime; each test makes its own tables.
#include <windows.h>

#include <gtest/gtest.h>

#include "core/frame.h"
#include "core/registry.h"

namespace {

class RuntimeEnvironment : public ::testing::Environment {
public:
    void SetUp() override { StartRuntime(); }
};
::testing::Environment* const runtime = ::testing::AddGlobalTestEnvironment(new RuntimeEnvironment);

struct Record {
    int alive;
    int value;
};

// Marks a freshly allocated record alive, as a library's create operation does.
Record* Create(ObjectTable* table, int number, int value) {
    Record* record = static_cast<Record*>(AllocateObject(table, number));
    if (record) {
        record->alive = 1;
        record->value = value;
    }
    return record;
}

int Number(Record* record) { return reinterpret_cast<int>(record); }

// Free operation that logs its calls and releases like a library's free operation.
ObjectTable* loggedTable;
int freeLog[32];
int freeLogCount;
int freedValueSeen[32];
void LoggingFree(int number) {
    Record* record = static_cast<Record*>(LookupObject(loggedTable, number));
    if (freeLogCount < 32) {
        freedValueSeen[freeLogCount] = record ? record->value : 0;
        freeLog[freeLogCount++] = number;
    }
    if (record) ReleaseObject(loggedTable, number);
}

ObjectTable* NewLoggedTable(int initialCount) {
    freeLogCount = 0;
    loggedTable = CreateObjectTable(sizeof(Record), initialCount, LoggingFree);
    return loggedTable;
}

TEST(ObjectTableTest, BlockSizeIsTheNextPowerOfTwo) {
    struct Row {
        int initialCount;
        int capacity;
    } rows[] = {{-3, 1}, {0, 1}, {1, 1}, {2, 2}, {16, 16}, {17, 32}, {50, 64}};
    for (const Row& row : rows)
        EXPECT_EQ(row.capacity, TableCapacity(CreateObjectTable(8, row.initialCount, nullptr))) << row.initialCount;
}

TEST(ObjectTableTest, GrowsTo112ForNumber100AndKeepsEarlierRecords) {
    ObjectTable* table = CreateObjectTable(sizeof(Record), 16, nullptr);
    Record* early[16];
    for (int i = 0; i < 16; ++i) early[i] = Create(table, i, i + 1000);
    Record* hundred = Create(table, 100, 100);
    ASSERT_NE(nullptr, hundred);
    EXPECT_EQ(112, TableCapacity(table));
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(early[i], LookupObject(table, i));
        EXPECT_EQ(i + 1000, early[i]->value);
    }
    EXPECT_EQ(hundred, LookupObject(table, 100));
    // Slots within one block lie side by side; the grown slots exist but are empty.
    Record* last = static_cast<Record*>(AllocateObject(table, 111));
    EXPECT_EQ(hundred + 11, last);
    EXPECT_EQ(112, TableCapacity(table));
    EXPECT_EQ(nullptr, LookupObject(table, 97));
}

struct GrowthWatch {
    ObjectTable* table;
    Record* three;
    volatile LONG stop;
    volatile LONG lookups;
    volatile LONG wrong;
};

// Looks up without a lock while the table grows: the last slot of every capacity seen must be reachable.
DWORD WINAPI LookUpWhileGrowing(void* parameter) {
    GrowthWatch* watch = static_cast<GrowthWatch*>(parameter);
    while (!watch->stop) {
        if (LookupObject(watch->table, 3) != watch->three) InterlockedIncrement(&watch->wrong);
        int last = TableCapacity(watch->table) - 1;
        Record* record = static_cast<Record*>(LookupObject(watch->table, last));
        if (record && record->value != last) InterlockedIncrement(&watch->wrong);
        InterlockedIncrement(&watch->lookups);
    }
    return 0;
}

TEST(ObjectTableTest, LookupsWithoutLockSurviveGrowthOnAnotherThread) {
    GrowthWatch watch = {};
    watch.table = CreateObjectTable(sizeof(Record), 4, nullptr);
    watch.three = Create(watch.table, 3, 3);
    HANDLE thread = CreateThread(nullptr, 0, LookUpWhileGrowing, &watch, 0, nullptr);
    ASSERT_NE(nullptr, thread);
    while (watch.lookups == 0) Sleep(1);
    for (int number = 4; number < 4096; ++number) {
        Record* record = static_cast<Record*>(AllocateObject(watch.table, number));
        record->value = number;
        InterlockedExchange(reinterpret_cast<volatile LONG*>(&record->alive), 1);  // alive only once filled
    }
    watch.stop = 1;
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 10000));
    CloseHandle(thread);
    EXPECT_EQ(0, watch.wrong);
    EXPECT_EQ(4096, TableCapacity(watch.table));
    EXPECT_EQ(watch.three, LookupObject(watch.table, 3));
}

TEST(ObjectTableTest, FreeOperationRunsBeforeANumberIsReused) {
    ObjectTable* table = NewLoggedTable(16);
    Create(table, 3, 33);
    freeLogCount = 0;
    Record* again = static_cast<Record*>(AllocateObject(table, 3));
    ASSERT_EQ(1, freeLogCount);
    EXPECT_EQ(3, freeLog[0]);
    EXPECT_EQ(33, freedValueSeen[0]);  // the old object was still there to be destroyed
    EXPECT_EQ(0, again->alive);        // and the slot comes back empty
    EXPECT_EQ(0, again->value);

    // An empty slot is offered to the free operation too; a dynamic record never is.
    AllocateObject(table, 7);
    EXPECT_EQ(2, freeLogCount);
    EXPECT_EQ(0, freedValueSeen[1]);
    AllocateObject(table, ANY_NUMBER);
    EXPECT_EQ(2, freeLogCount);
}

TEST(ObjectTableTest, DynamicRecordsAreZeroFilledAndNamedByTheirAddress) {
    ObjectTable* table = CreateObjectTable(64, 4, nullptr);
    char* record = static_cast<char*>(AllocateObject(table, ANY_NUMBER));
    ASSERT_NE(nullptr, record);
    for (int i = 0; i < 64; ++i) ASSERT_EQ(0, record[i]);
    EXPECT_EQ(nullptr, LookupObject(table, reinterpret_cast<int>(record)));  // not alive until filled
    record[0] = 1;
    EXPECT_EQ(record, LookupObject(table, reinterpret_cast<int>(record)));
}

TEST(ObjectWalkTest, NumberedByNumberThenDynamicOldestFirst) {
    ObjectTable* table = NewLoggedTable(16);
    Create(table, 5, 5);
    Create(table, 2, 2);
    Record* a = Create(table, ANY_NUMBER, 'A');
    Record* b = Create(table, ANY_NUMBER, 'B');
    Record* dead = static_cast<Record*>(AllocateObject(table, ANY_NUMBER));  // never filled: skipped
    ASSERT_NE(nullptr, dead);
    freeLogCount = 0;

    int numbers[8];
    int count = 0;
    int number = 0;
    BeginObjectWalk(table);
    while (Record* record = static_cast<Record*>(NextObject(table, &number))) {
        if (count < 8) numbers[count++] = number;
        EXPECT_EQ(record, LookupObject(table, number));
    }
    ASSERT_EQ(4, count);
    EXPECT_EQ(2, numbers[0]);
    EXPECT_EQ(5, numbers[1]);
    EXPECT_EQ(Number(a), numbers[2]);
    EXPECT_EQ(Number(b), numbers[3]);
}

TEST(ObjectWalkTest, FreeAllObjectsFreesInWalkOrderWhileTheWalkGoesOn) {
    ObjectTable* table = NewLoggedTable(16);
    Create(table, 5, 5);
    Create(table, 2, 2);
    Record* a = Create(table, ANY_NUMBER, 'A');
    Record* b = Create(table, ANY_NUMBER, 'B');
    freeLogCount = 0;
    FreeAllObjects(table);
    ASSERT_EQ(4, freeLogCount);
    EXPECT_EQ(2, freeLog[0]);
    EXPECT_EQ(5, freeLog[1]);
    EXPECT_EQ(Number(a), freeLog[2]);
    EXPECT_EQ(Number(b), freeLog[3]);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(nullptr, LookupObject(table, freeLog[i]));

    // Nothing is left, and the walk gave its lock back.
    int number = 0;
    BeginObjectWalk(table);
    EXPECT_EQ(nullptr, NextObject(table, &number));
}

// A free operation that also releases the next dynamic object must not leave the walk on freed memory.
ObjectTable* chainTable;
int chainPartner;
int chainCalls;
void FreeWithPartner(int number) {
    ++chainCalls;
    if (!LookupObject(chainTable, number)) return;
    ReleaseObject(chainTable, number);
    if (chainPartner && LookupObject(chainTable, chainPartner)) ReleaseObject(chainTable, chainPartner);
    chainPartner = 0;
}

TEST(ObjectWalkTest, ReleasingTheNextRecordDuringAWalkIsSafe) {
    chainTable = CreateObjectTable(sizeof(Record), 4, FreeWithPartner);
    Record* a = Create(chainTable, ANY_NUMBER, 'A');
    Record* b = Create(chainTable, ANY_NUMBER, 'B');
    Record* c = Create(chainTable, ANY_NUMBER, 'C');
    chainPartner = Number(b);
    chainCalls = 0;
    FreeAllObjects(chainTable);
    EXPECT_EQ(2, chainCalls);  // A (taking B with it), then C; the released B is never offered
    EXPECT_EQ(nullptr, LookupObject(chainTable, Number(a)));
    EXPECT_EQ(nullptr, LookupObject(chainTable, Number(c)));
}

TEST(ObjectWalkTest, WithoutFreeOperationNothingHappens) {
    ObjectTable* table = CreateObjectTable(sizeof(Record), 16, nullptr);
    Record* one = Create(table, 1, 1);
    Record* dynamic = Create(table, ANY_NUMBER, 2);
    FreeAllObjects(table);
    EXPECT_EQ(one, LookupObject(table, 1));
    EXPECT_EQ(dynamic, LookupObject(table, Number(dynamic)));
}

DWORD WINAPI AllocateOnOtherThread(void* parameter) {
    return AllocateObject(static_cast<ObjectTable*>(parameter), 1) ? 1 : 0;
}

TEST(ObjectWalkTest, AFinishedWalkLeavesTheTableOpenToOtherThreads) {
    ObjectTable* table = CreateObjectTable(sizeof(Record), 16, nullptr);
    Create(table, 4, 4);
    int number = 0;
    BeginObjectWalk(table);
    while (NextObject(table, &number)) {
    }
    HANDLE thread = CreateThread(nullptr, 0, AllocateOnOtherThread, table, 0, nullptr);
    ASSERT_NE(nullptr, thread);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 5000));
    DWORD result = 0;
    GetExitCodeThread(thread, &result);
    EXPECT_EQ(1u, result);
    CloseHandle(thread);
    // NextObject after the end neither returns anything nor leaves a lock it does not hold.
    EXPECT_EQ(nullptr, NextObject(table, &number));
}

TEST(LookupTest, ReleasedAndInvalidNumbersDenoteNothing) {
    ObjectTable* table = CreateObjectTable(sizeof(Record), 16, nullptr);
    ObjectTable* other = CreateObjectTable(sizeof(Record), 16, nullptr);
    Record* keep = Create(table, 0, 1);
    Create(table, 9, 9);
    ReleaseObject(table, 9);
    // The living record is made first: the heap would hand the released block out again under the same number.
    Record* living = Create(table, ANY_NUMBER, 3);
    Record* gone = Create(table, ANY_NUMBER, 2);
    int goneNumber = Number(gone);
    ReleaseObject(table, goneNumber);
    Record* foreign = Create(other, ANY_NUMBER, 4);
    int onStack = 1;

    struct Row {
        const char* what;
        int number;
    } rows[] = {
        {"released slot", 9},
        {"never used slot", 15},
        {"released dynamic record", goneNumber},
        {"ANY_NUMBER", ANY_NUMBER},
        {"-2", -2},
        {"most negative", static_cast<int>(0x80000000u)},
        {"just beyond the slots", 16},
        {"largest", 0x7FFFFFFF},
        {"inside a live dynamic record", Number(living) + 4},
        {"another table's record", Number(foreign)},
        {"a stack address", reinterpret_cast<int>(&onStack)},
        {"unmapped memory", 0x1000},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(nullptr, LookupObject(table, row.number)) << row.what;
        ReleaseObject(table, row.number);  // must touch nothing
    }
    EXPECT_EQ(1, onStack);
    EXPECT_EQ(keep, LookupObject(table, 0));
    EXPECT_EQ(living, LookupObject(table, Number(living)));
    EXPECT_EQ(3, living->value);
    EXPECT_EQ(foreign, LookupObject(other, Number(foreign)));
    EXPECT_EQ(16, TableCapacity(table));
    EXPECT_EQ(nullptr, AllocateObject(table, -2));
    EXPECT_EQ(nullptr, LookupObject(nullptr, 0));
}

// --- Per-thread areas ---

struct AreaLog {
    volatile LONG initCalls;
    volatile LONG endCalls;
    char order[8];
    volatile LONG orderLength;
    void* lastEndArea;
};
AreaLog areaLog;

void Note(char what) {
    LONG at = InterlockedIncrement(&areaLog.orderLength) - 1;
    if (at < 8) areaLog.order[at] = what;
}
void InitFirst(void* area) {
    InterlockedIncrement(&areaLog.initCalls);
    Note('a');
    static_cast<int*>(area)[0] = 0x1111;
}
void InitSecond(void* area) {
    InterlockedIncrement(&areaLog.initCalls);
    Note('b');
    static_cast<int*>(area)[1] = 0x2222;
}
void EndFirst(void* area) {
    areaLog.lastEndArea = area;
    Note('A');
    InterlockedIncrement(&areaLog.endCalls);
}
void EndSecond(void*) {
    Note('B');
    InterlockedIncrement(&areaLog.endCalls);
}

int firstOffset;
int plainOffset;
int secondOffset;

struct ThreadView {
    int firstWord;
    int plainZero;
    int secondWord;
    void* firstArea;
    void* secondArea;
};

DWORD WINAPI TouchAreas(void* parameter) {
    ThreadView* view = static_cast<ThreadView*>(parameter);
    int* plain = static_cast<int*>(ThreadSlot(plainOffset));
    view->plainZero = 1;
    for (int i = 0; i < 8; ++i)
        if (plain[i] != 0) view->plainZero = 0;
    view->firstArea = ThreadSlot(firstOffset);
    view->secondArea = ThreadSlot(secondOffset);
    view->firstWord = static_cast<int*>(view->firstArea)[0];
    view->secondWord = static_cast<int*>(view->secondArea)[1];
    return 0;
}

int WaitFor(volatile LONG* value, LONG expected) {
    for (int i = 0; i < 500; ++i) {
        if (*value >= expected) return 1;
        Sleep(10);
    }
    return 0;
}

TEST(ThreadSlotTest, ASecondThreadGetsItsAreasInitialisedAndReleasedAtItsEnd) {
    // Reserved here in the way start steps reserve theirs: on the starting thread.
    firstOffset = ReserveThreadSlot(16, InitFirst, EndFirst);
    plainOffset = ReserveThreadSlot(32, nullptr, nullptr);
    secondOffset = ReserveThreadSlot(12, InitSecond, EndSecond);
    EXPECT_EQ(firstOffset + 16, plainOffset);
    EXPECT_EQ(plainOffset + 32, secondOffset);
    // The reserving thread's own areas were initialised at once and stay put.
    EXPECT_EQ(2, areaLog.initCalls);
    char* mainBlock = static_cast<char*>(ThreadSlot(firstOffset)) - firstOffset;
    EXPECT_EQ(0x1111, *reinterpret_cast<int*>(mainBlock + firstOffset));
    EXPECT_EQ(0x2222, reinterpret_cast<int*>(mainBlock + secondOffset)[1]);
    EXPECT_EQ(mainBlock + plainOffset, ThreadSlot(plainOffset));

    areaLog.orderLength = 0;
    ThreadView view = {};
    HANDLE thread = CreateThread(nullptr, 0, TouchAreas, &view, 0, nullptr);
    ASSERT_NE(nullptr, thread);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 5000));
    CloseHandle(thread);

    EXPECT_EQ(4, areaLog.initCalls);
    EXPECT_EQ(0x1111, view.firstWord);
    EXPECT_EQ(0x2222, view.secondWord);
    EXPECT_EQ(1, view.plainZero);
    EXPECT_NE(static_cast<void*>(mainBlock + firstOffset), view.firstArea);

    ASSERT_TRUE(WaitFor(&areaLog.endCalls, 2)) << "end operations did not run after the thread ended";
    EXPECT_EQ(view.firstArea, areaLog.lastEndArea);
    // Newest descriptor first, for init and end alike.
    ASSERT_EQ(4, areaLog.orderLength);
    EXPECT_EQ('b', areaLog.order[0]);
    EXPECT_EQ('a', areaLog.order[1]);
    EXPECT_EQ('B', areaLog.order[2]);
    EXPECT_EQ('A', areaLog.order[3]);

    void* block = static_cast<char*>(view.firstArea) - firstOffset;
    int freed = 0;
    for (int i = 0; i < 500 && !freed; ++i) {
        freed = !HeapValidate(ApplicationHeap(), 0, block);
        if (!freed) Sleep(10);
    }
    EXPECT_TRUE(freed) << "the ended thread's block is still allocated";
    // The starting thread keeps its block.
    EXPECT_TRUE(HeapValidate(ApplicationHeap(), 0, mainBlock));
}

}  // namespace

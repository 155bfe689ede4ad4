// Tests of the numbered object registry: growth, reuse, walks, lookups of bad numbers.
// Contract: each test makes its own tables.
#include "core/registry.h"

#include "tests/core/core_test.h"

struct Object {
    void* alive;
    int value;
};

// A library's create operation; gives the number.
static int Create(ObjectTable* table, int number, int value) {
    Object* record = static_cast<Object*>(AllocateObject(table, number));
    record->value = value;
    return CompleteCreate(table, number, record, &record->value), NumberOfNewObject(number, record);
}
static int Value(ObjectTable* table, int number) {
    Object* record = static_cast<Object*>(LookupObject(table, number));
    return record ? record->value : -1;
}

static ObjectTable* volatile growing;
static volatile LONG grown, lookups;
static DWORD WINAPI Grow(void*) {
    while (!lookups) Sleep(1);
    for (int round = 0; round < 2000; ++round) {  // small tables: a lookup reaches the newest block at once
        ObjectTable* table = growing = CreateObjectTable(sizeof(Object), 1, nullptr);
        for (int number = 0; number < 64; ++number) Create(table, number, number);
    }
    return grown = 1;
}

// Growth adds blocks and never moves one. Lookups take no lock: while another thread grows a table, every slot
// within the capacity it reads must be reachable.
TEST(Registry, GrowthKeepsObjectsInPlaceAlsoForLookupsOnAnotherThread) {
    ObjectTable* table = growing = CreateObjectTable(sizeof(Object), 16, nullptr);
    void* three = LookupObject(table, Create(table, 3, 3));
    char* hundred = static_cast<char*>(LookupObject(table, Create(table, 100, 100)));
    EXPECT_EQ(hundred + 11 * sizeof(Object), LookupObject(table, Create(table, 111, 111))) << "one block: 96 to 111";
    EXPECT_EQ(three, LookupObject(table, 3));
    int wrong = 0;
    HANDLE grower = CreateThread(nullptr, 0, Grow, nullptr, 0, nullptr);
    for (; !grown; InterlockedIncrement(&lookups)) {  // each number in turn, as its block is added
        int number = lookups & 63, value = Value(growing, number);
        wrong += value != -1 && value != number;
    }
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(grower, 10000));
    CloseHandle(grower);
    EXPECT_EQ(0, wrong);
}

static ObjectTable* logged;
static std::string freeLog;  // the values of the objects offered to the free operation, -number for an empty slot
static int partner;          // a number the free operation releases along with the one it was given
static void LoggingFree(int number) {
    int value = Value(logged, number);
    freeLog += std::to_string(value == -1 ? -number : value) + " ";
    if (value != -1) ReleaseObject(logged, number);
    if (partner) ReleaseObject(logged, partner);
    partner = 0;
}

// A number's old object is freed before its slot is handed out again; a walk gives the numbered objects first,
// then the dynamic ones oldest first, and survives the free operation releasing the next record too.
TEST(Registry, ReuseWalksAndBadNumbers) {
    logged = CreateObjectTable(sizeof(Object), 16, LoggingFree);
    Create(logged, 3, 33);
    EXPECT_EQ(0, static_cast<Object*>(AllocateObject(logged, 3))->value);
    AllocateObject(logged, ANY_NUMBER);  // never filled: not alive, so the walk skips it
    Create(logged, 5, 5);
    Create(logged, 2, 2);
    Create(logged, ANY_NUMBER, 'A');
    partner = Create(logged, ANY_NUMBER, 'B');
    int c = Create(logged, ANY_NUMBER, 'C');
    EXPECT_EQ("-3 33 -5 -2 ", freeLog) << "dynamic records are never offered before use";
    freeLog.clear();
    FreeAllObjects(logged);
    EXPECT_EQ("2 5 65 67 ", freeLog);
    OnThread([] { EXPECT_NE(nullptr, AllocateObject(logged, 1)); });  // the walk gave its lock back
    // Released, foreign and made-up numbers denote nothing and are released without harm.
    int living = Create(logged, ANY_NUMBER, 'L'), onStack = 1;
    for (int number : {2, 15, c, ANY_NUMBER, -2, INT_MIN, 16, INT_MAX, living + 4, reinterpret_cast<int>(&onStack),
                       Create(CreateObjectTable(sizeof(Object), 16, nullptr), ANY_NUMBER, 4)}) {
        EXPECT_EQ(nullptr, LookupObject(logged, number)) << number;
        ReleaseObject(logged, number);
    }
    EXPECT_EQ(1, onStack);
    EXPECT_EQ('L', Value(logged, living));
    EXPECT_EQ(nullptr, AllocateObject(logged, -2));
}

// Numbered object registry: tables of fixed-size records in never-moving blocks, dynamic records, per-thread areas.
// Contract: numbered lookups take no lock (blocks never move, capacity only grows); anything that is not a slot is checked against the table's own dynamic list.
#include "core/registry.h"

#include <windows.h>

#include "core/frame.h"

namespace {

// Every allocation from the object node heap starts with these two links.
struct Node {
    Node* next;
    Node* previous;
};

struct DescriptorNode {
    Node links;
    int offset;
    void (*init)(void* area);
    void (*end)(void* area);
};

const int NODE_HEAP_INITIAL_SIZE = 1024;
HANDLE nodeHeap;
// The thread-storage index plus one, so that it starts at zero (no initialised data in the image): 0 while none.
DWORD threadSlot;
int threadTotal;
Node* descriptors;

void* Payload(Node* node) { return node + 1; }

Node* NewNode(int payloadSize) {
    if (!nodeHeap) StartRegistry();
    return static_cast<Node*>(HeapAlloc(nodeHeap, HEAP_ZERO_MEMORY, sizeof(Node) + payloadSize));
}

// New nodes go to the head; the old head's previous link points at the newcomer.
void PushNode(Node** head, Node* node) {
    node->next = *head;
    node->previous = nullptr;
    if (*head) (*head)->previous = node;
    *head = node;
}

void UnlinkNode(Node** head, Node* node) {
    if (node->previous) node->previous->next = node->next;
    else *head = node->next;
    if (node->next) node->next->previous = node->previous;
}

}  // namespace

struct ObjectTable {
    int recordSize;
    int blockSize;
    volatile LONG capacity;
    Node* dynamicList;
    void (*freeOp)(int number);
    int walkIndex;  // -1 while no walk runs
    Node* walkCursor;
    int blockShift;
    Node* blockList;
    Node* firstBlock;
    CRITICAL_SECTION lock;
};

static_assert(sizeof(void*) == 4, "the registry's records are laid out for a 32-bit program");
static_assert(sizeof(ObjectTable) == 64, "ObjectTable is 64 bytes");

namespace {

// Only for 0 <= number < capacity as read by the caller: those blocks are linked before capacity grows.
char* NumberedRecord(ObjectTable* table, int number) {
    Node* block = table->firstBlock;
    for (int i = number >> table->blockShift; i > 0; --i) block = block->previous;
    return static_cast<char*>(Payload(block)) + (number & (table->blockSize - 1)) * table->recordSize;
}

int IsSlot(ObjectTable* table, int number) { return number >= 0 && number < table->capacity; }

// A number that is no slot is trusted only if it is the payload of a node in this table's dynamic list,
// so a stale or made-up number is never dereferenced.
Node* FindDynamic(ObjectTable* table, int number) {
    if (number == ANY_NUMBER) return nullptr;
    Node* found = nullptr;
    EnterCriticalSection(&table->lock);
    for (Node* node = table->dynamicList; node; node = node->next) {
        if (reinterpret_cast<int>(Payload(node)) == number) {
            found = node;
            break;
        }
    }
    LeaveCriticalSection(&table->lock);
    return found;
}

int IsAlive(const void* record) { return *static_cast<const volatile int*>(record) != 0; }

void ReleaseThreadBlock(void* block) {
    for (Node* node = descriptors; node; node = node->next) {
        DescriptorNode* descriptor = reinterpret_cast<DescriptorNode*>(node);
        if (descriptor->end) descriptor->end(static_cast<char*>(block) + descriptor->offset);
    }
    HeapFree(ApplicationHeap(), 0, block);
}

}  // namespace

void StartRegistry() {
    if (!nodeHeap) nodeHeap = HeapCreate(0, NODE_HEAP_INITIAL_SIZE, 0);
}

ObjectTable* CreateObjectTable(int recordSize, int initialCount, void (*freeOp)(int number)) {
    if (recordSize < 4) recordSize = 4;  // the liveness word must fit
    int shift = 0;
    while (shift < 30 && (1 << shift) < initialCount) ++shift;
    ObjectTable* table = static_cast<ObjectTable*>(HeapAlloc(ApplicationHeap(), HEAP_ZERO_MEMORY, sizeof(ObjectTable)));
    if (!table) return nullptr;
    Node* block = NewNode(recordSize << shift);
    if (!block) {
        HeapFree(ApplicationHeap(), 0, table);
        return nullptr;
    }
    table->recordSize = recordSize;
    table->blockShift = shift;
    table->blockSize = 1 << shift;
    table->capacity = 1 << shift;
    table->freeOp = freeOp;
    table->walkIndex = -1;
    table->blockList = block;
    table->firstBlock = block;
    InitializeCriticalSection(&table->lock);
    return table;
}

void* AllocateObject(ObjectTable* table, int number) {
    if (!table || number < ANY_NUMBER) return nullptr;
    void* result = nullptr;
    EnterCriticalSection(&table->lock);
    if (number == ANY_NUMBER) {
        Node* node = NewNode(table->recordSize);
        if (node) {
            PushNode(&table->dynamicList, node);
            result = Payload(node);
        }
    } else {
        int grown = 1;
        while (number >= table->capacity) {
            Node* block = NewNode(table->recordSize * table->blockSize);
            if (!block) {
                grown = 0;
                break;
            }
            PushNode(&table->blockList, block);
            // Publish the new capacity only after the block is reachable, for lock-free lookups.
            InterlockedExchange(&table->capacity, table->capacity + table->blockSize);
        }
        if (grown) {
            if (table->freeOp) table->freeOp(number);
            result = NumberedRecord(table, number);
        }
    }
    LeaveCriticalSection(&table->lock);
    return result;
}

int NumberOfNewObject(int number, const void* record) {
    return number == ANY_NUMBER ? reinterpret_cast<int>(record) : number;
}

int CompleteCreate(ObjectTable* table, int number, void* record, void* object) {
    if (!record) return 0;
    int known = NumberOfNewObject(number, record);
    if (!object) {
        ReleaseObject(table, known);
        return 0;
    }
    *static_cast<void* volatile*>(record) = object;
    return number == ANY_NUMBER ? known : reinterpret_cast<int>(object);
}

void* LookupObject(ObjectTable* table, int number) {
    if (!table) return nullptr;
    if (IsSlot(table, number)) {
        char* record = NumberedRecord(table, number);
        return IsAlive(record) ? record : nullptr;
    }
    Node* node = FindDynamic(table, number);
    if (!node) return nullptr;
    return IsAlive(Payload(node)) ? Payload(node) : nullptr;
}

void ReleaseObject(ObjectTable* table, int number) {
    if (!table) return;
    if (IsSlot(table, number)) {
        ZeroMemory(NumberedRecord(table, number), table->recordSize);
        return;
    }
    EnterCriticalSection(&table->lock);
    Node* node = FindDynamic(table, number);
    if (node) {
        // The walk may stand on this record if a free operation releases a neighbour of the returned one.
        if (table->walkCursor == node) table->walkCursor = node->previous;
        UnlinkNode(&table->dynamicList, node);
        HeapFree(nodeHeap, 0, node);
    }
    LeaveCriticalSection(&table->lock);
}

void BeginObjectWalk(ObjectTable* table) {
    if (!table) return;
    EnterCriticalSection(&table->lock);
    table->walkIndex = 0;
    Node* oldest = table->dynamicList;
    while (oldest && oldest->next) oldest = oldest->next;
    table->walkCursor = oldest;
}

void* NextObject(ObjectTable* table, int* number) {
    if (!table || table->walkIndex < 0) return nullptr;
    while (table->walkIndex < table->capacity) {
        int slot = table->walkIndex++;
        char* record = NumberedRecord(table, slot);
        if (IsAlive(record)) {
            if (number) *number = slot;
            return record;
        }
    }
    while (table->walkCursor) {
        Node* node = table->walkCursor;
        table->walkCursor = node->previous;
        if (IsAlive(Payload(node))) {
            if (number) *number = reinterpret_cast<int>(Payload(node));
            return Payload(node);
        }
    }
    table->walkIndex = -1;
    LeaveCriticalSection(&table->lock);
    return nullptr;
}

void FreeAllObjects(ObjectTable* table) {
    if (!table || !table->freeOp) return;
    int number = 0;
    BeginObjectWalk(table);
    while (NextObject(table, &number)) table->freeOp(number);
}

int ReserveThreadSlot(int size, void (*init)(void* area), void (*end)(void* area)) {
    if (size < 0) size = 0;
    if (!threadSlot) {
        threadSlot = TlsAlloc() + 1;  // TLS_OUT_OF_INDEXES gives 0 again
        if (!threadSlot) return 0;
        TlsSetValue(threadSlot - 1, HeapAlloc(ApplicationHeap(), HEAP_ZERO_MEMORY, 0));
    }
    int offset = threadTotal;
    threadTotal += size;
    void* block = TlsGetValue(threadSlot - 1);
    block = block ? HeapReAlloc(ApplicationHeap(), HEAP_ZERO_MEMORY, block, threadTotal)
                  : HeapAlloc(ApplicationHeap(), HEAP_ZERO_MEMORY, threadTotal);
    TlsSetValue(threadSlot - 1, block);
    if (init || end) {
        DescriptorNode* descriptor = reinterpret_cast<DescriptorNode*>(NewNode(sizeof(DescriptorNode) - sizeof(Node)));
        if (descriptor) {
            descriptor->offset = offset;
            descriptor->init = init;
            descriptor->end = end;
            PushNode(&descriptors, &descriptor->links);
        }
        if (init && block) init(static_cast<char*>(block) + offset);
    }
    return offset;
}

void* ThreadSlot(int offset) {
    if (!threadSlot) return nullptr;
    char* block = static_cast<char*>(TlsGetValue(threadSlot - 1));
    if (!block) {
        block = static_cast<char*>(HeapAlloc(ApplicationHeap(), HEAP_ZERO_MEMORY, threadTotal));
        if (!block) return nullptr;
        TlsSetValue(threadSlot - 1, block);
        for (Node* node = descriptors; node; node = node->next) {
            DescriptorNode* descriptor = reinterpret_cast<DescriptorNode*>(node);
            if (descriptor->init) descriptor->init(block + descriptor->offset);
        }
        AtThreadEnd(ReleaseThreadBlock, block);
    }
    return block + offset;
}

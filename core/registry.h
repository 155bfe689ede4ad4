// Numbered object registry: per-kind tables of fixed-size records named by number, and per-thread areas.
// Contract: numbers 0..capacity-1 are numbered slots, ANY_NUMBER asks for a dynamic record whose address is its number; bad numbers are refused (null / no effect).
#pragma once

struct ObjectTable;

const int ANY_NUMBER = -1;

// Creates the object node heap; the frame calls it once, after the strings start step.
void StartRegistry();

ObjectTable* CreateObjectTable(int recordSize, int initialCount, void (*freeOp)(int number));
// Numbered: grows the table as needed and calls the free operation before handing the slot out.
// ANY_NUMBER: a new zero-filled dynamic record. Null for a negative number other than ANY_NUMBER,
// and when the node heap cannot supply the block or record.
void* AllocateObject(ObjectTable* table, int number);
// The create operation of every library: record = AllocateObject(table, number), which frees the object that had a
// fixed number; then the platform object; then CompleteCreate, whose result the create operation returns.
// The number a new object is known by: the record's address for ANY_NUMBER, else the number itself.
int NumberOfNewObject(int number, const void* record);
// object: the platform object made for the record, null when it could not be made. It becomes the record's first
// field, which makes the record alive (the caller fills the rest first). A null object releases the record, numbered
// slot or dynamic, so that a failed create leaves no object under the number. Returns 0 for a failed create, else the
// object for a fixed number and the new number for ANY_NUMBER.
int CompleteCreate(ObjectTable* table, int number, void* record, void* object);
// Live record of the number, or null (dead, never used, negative, or no live dynamic record).
// A slot is read without the lock; any other number is searched for in the dynamic list under the lock.
void* LookupObject(ObjectTable* table, int number);
void ReleaseObject(ObjectTable* table, int number);
// The walk holds the table's lock from BeginObjectWalk until NextObject returns null: run it to the end.
void BeginObjectWalk(ObjectTable* table);
void* NextObject(ObjectTable* table, int* number);
void FreeAllObjects(ObjectTable* table);

// Per-thread areas: reserved by start steps on the starting thread, before any other thread has used an area;
// other threads get theirs on first use. ThreadSlot is null while nothing was reserved.
int ReserveThreadSlot(int size, void (*init)(void* area), void (*end)(void* area));
void* ThreadSlot(int offset);

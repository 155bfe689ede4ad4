// Strings: the per-thread string builder, string variable storage in the string heap, and the text functions.
// Contract: see strings.h; builder positions are offsets because every reservation may move the buffer.
#include "core/strings.h"

#include <limits.h>
#include <string.h>
#include <windows.h>

#include "core/frame.h"

namespace {

// One per thread, reached through builderSlot. Field order and sizes are fixed: buffer, capacity, position.
struct StringBuilder {
    char* buffer;
    int capacity;  // nominal size; the block is capacity + 5 bytes once it has grown
    int position;  // first free byte
};
static_assert(sizeof(StringBuilder) == 12, "builder record is three 32-bit fields");

const int FIRST_CAPACITY = 16;
const int GROWTH = 16384;
const int BLOCK_SLACK = 5;  // 3 bytes for a word copy running past the text, 1 terminator, 1 spare
const int STRING_HEAP_INITIAL_SIZE = 4096;
// Room reserved for the digits of a 32-bit and of a 64-bit number, sign and terminator included, before the rest is
// given back.
const int NUMBER_ROOM = 32;
const int LONG_NUMBER_ROOM = 64;

HANDLE stringHeap;
// The builder's thread-storage index plus one, so that it starts at zero (no initialised data in the image):
// 0 until the strings are started.
volatile DWORD builderSlot;
volatile LONG stringsState;  // 0 not started, 1 starting, 2 started

StringBuilder* NewBuilder() {
    StringBuilder* builder = static_cast<StringBuilder*>(HeapAlloc(stringHeap, 0, sizeof(StringBuilder)));
    builder->buffer = static_cast<char*>(HeapAlloc(stringHeap, 0, FIRST_CAPACITY));
    builder->capacity = FIRST_CAPACITY;
    builder->position = 0;
    builder->buffer[0] = 0;
    return builder;
}

// Runs on a watcher thread after the builder's thread has ended.
void ReleaseBuilder(void* record) {
    StringBuilder* builder = static_cast<StringBuilder*>(record);
    HeapFree(stringHeap, 0, builder->buffer);
    HeapFree(stringHeap, 0, builder);
}

StringBuilder* CurrentBuilder() {
    if (builderSlot) {
        StringBuilder* builder = static_cast<StringBuilder*>(TlsGetValue(builderSlot - 1));
        if (builder) return builder;
    }
    EnsureThreadStrings();
    return static_cast<StringBuilder*>(TlsGetValue(builderSlot - 1));
}

// Forward copy in 4-byte words, the last 0 to 3 bytes singly, so the source is never read past its end
// (a literal may end at the end of its page). Correct for disjoint ranges and for a destination at or
// before its source, which is how in-place results are formed.
void CopyForward(char* destination, const char* source, int count) {
    int i = 0;
    for (; i + 4 <= count; i += 4) {
        unsigned int word;
        memcpy(&word, source + i, 4);
        memcpy(destination + i, &word, 4);
    }
    for (; i < count; ++i) destination[i] = source[i];
}

// A destination behind an overlapping source would be overwritten by a forward copy.
void MoveBytes(char* destination, const char* source, int count) {
    if (destination > source && destination < source + count) memmove(destination, source, count);
    else CopyForward(destination, source, count);
}

char* StoreBlock(char* block, int length) {
    SIZE_T size = static_cast<SIZE_T>(length) + BLOCK_SLACK;
    if (block) return static_cast<char*>(HeapReAlloc(stringHeap, 0, block, size));
    return static_cast<char*>(HeapAlloc(stringHeap, 0, size));
}

int Length(const char* text) { return text ? static_cast<int>(strlen(text)) : 0; }

// 1-based offset of a pointer into the builder buffer, 0 for a pointer outside it.
int TextOffset(const char* pointer) {
    StringBuilder* builder = CurrentBuilder();
    if (!pointer || pointer < builder->buffer) return 0;
    int offset = static_cast<int>(pointer - builder->buffer);
    // The whole buffer counts, also bytes behind the position (a text taken or restored over is still
    // there): such a source must follow the buffer when it moves just as well.
    if (offset <= builder->position || offset < builder->capacity) return offset + 1;
    return 0;
}

char* TextAtOffset(int offset) { return CurrentBuilder()->buffer + offset - 1; }

// Copies count bytes from text + from to the builder at start and terminates them. The source may sit
// in the builder: it is kept as an offset across the reservation, which may move the buffer.
char* CopyToBuilder(const char* text, int from, int count, int start) {
    int offset = text ? TextOffset(text) : 0;
    char* destination = ReserveText(count, start);
    if (count > 0) {
        const char* source = offset ? TextAtOffset(offset) : text;
        MoveBytes(destination, source + from, count);
    }
    destination[count] = 0;
    return destination;
}

// The sign and the decimal digits of a magnitude at start, in room bytes reserved first.
template <typename Magnitude>
char* SignedDigits(bool negative, Magnitude magnitude, int room, int start) {
    char* destination = ReserveText(room, start);
    int length = 0;
    if (negative) destination[length++] = '-';
    char digits[24];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    while (count) destination[length++] = digits[--count];
    destination[length] = 0;
    GiveBackText(room - length);
    return destination;
}

// 1 when this call started the strings; a call racing the first waits until they are started.
bool StartStringsHere() {
    if (InterlockedCompareExchange(&stringsState, 1, 0) == 0) {
        stringHeap = HeapCreate(0, STRING_HEAP_INITIAL_SIZE, 0);
        DWORD index = TlsAlloc();
        TlsSetValue(index, NewBuilder());
        builderSlot = index + 1;
        InterlockedExchange(&stringsState, 2);
        return true;
    }
    while (stringsState != 2) Sleep(0);
    return false;
}

}  // namespace

void StartStrings() {
    StartStringsHere();  // a second run changes nothing: a new index would orphan every builder
}

void EnsureThreadStrings() {
    if (!builderSlot && StartStringsHere()) {
        AtThreadEnd(ReleaseBuilder, TlsGetValue(builderSlot - 1));
        return;
    }
    if (TlsGetValue(builderSlot - 1)) return;
    StringBuilder* builder = NewBuilder();
    TlsSetValue(builderSlot - 1, builder);
    AtThreadEnd(ReleaseBuilder, builder);
}

int BuilderPosition() { return CurrentBuilder()->position; }

char* ReserveText(int length, int start) {
    StringBuilder* builder = CurrentBuilder();
    if (start == -1) start = builder->position;
    if (length < 0) length = 0;
    // Measured from the current position; a start beyond it (not a protocol use) is measured from there,
    // so the reserved room always lies inside the buffer.
    int from = start > builder->position ? start : builder->position;
    int end = from + length;
    if (end >= builder->capacity - 4) {
        builder->capacity = end + GROWTH;
        builder->buffer = static_cast<char*>(
            HeapReAlloc(stringHeap, 0, builder->buffer, static_cast<SIZE_T>(builder->capacity) + BLOCK_SLACK));
    }
    builder->position = start + length;
    return builder->buffer + start;
}

void GiveBackText(int count) { CurrentBuilder()->position -= count; }

void AppendText(const char* text) {
    if (!text) {
        *ReserveText(0, -1) = 0;
        return;
    }
    CopyToBuilder(text, 0, Length(text), -1);
}

void SealArgument() { CurrentBuilder()->position += 1; }

char* BuilderBase() { return CurrentBuilder()->buffer; }

void RestorePosition(int position) { CurrentBuilder()->position = position; }

void CommitText(char** variable, int start) {
    StringBuilder* builder = CurrentBuilder();
    if (start == -1) start = builder->position;
    int length = builder->position - start;
    if (length < 0) length = 0;
    char* block = StoreBlock(*variable, length);
    CopyForward(block, builder->buffer + start, length);
    block[length] = 0;
    *variable = block;
    builder->position = start;
}

int AssignText(char** variable, const char* text) {
    char* block = *variable;
    if (!text) {
        FreeText(block);
        *variable = nullptr;
        return 1;
    }
    int length = Length(text);
    if (block) {
        SIZE_T size = HeapSize(stringHeap, 0, block);
        if (size != static_cast<SIZE_T>(-1) && text >= block && text < block + size) {
            // The text lies in the variable's own block: move it to the block's start first, then resize,
            // so the reallocation keeps it (a shrinking reallocation may cut or move the old tail).
            CopyForward(block, text, length);
            block[length] = 0;
            *variable = StoreBlock(block, length);
            return length + 1;
        }
    }
    block = StoreBlock(block, length);
    CopyForward(block, text, length);
    block[length] = 0;
    *variable = block;
    return length + 1;
}

void InitParameterText(char** variable, const char* text) {
    if (!text) return;
    int length = Length(text);
    char* block = StoreBlock(nullptr, length);
    CopyForward(block, text, length);
    block[length] = 0;
    *variable = block;
}

void FreeText(char* block) {
    if (block) HeapFree(stringHeap, 0, block);
}

int TextEquals(const char* a, const char* b) { return strcmp(a ? a : "", b ? b : "") == 0 ? 1 : 0; }

int TextLength(const char* text) { return Length(text); }

char* NumberToText(long long value, int start) {
    // A 32-bit value's digits need no 64-bit division (a library helper the program then does without).
    if (value >= INT_MIN && value <= INT_MAX) {
        unsigned magnitude = static_cast<unsigned>(static_cast<int>(value));
        return SignedDigits(value < 0, value < 0 ? 0U - magnitude : magnitude, NUMBER_ROOM, start);
    }
    unsigned long long magnitude = static_cast<unsigned long long>(value);
    return SignedDigits(value < 0, value < 0 ? 0ULL - magnitude : magnitude, LONG_NUMBER_ROOM, start);
}

char* UpperCaseText(const char* text, int start) {
    int length = Length(text);
    char* destination = CopyToBuilder(text, 0, length, start);
    for (int i = 0; i < length; ++i) {
        unsigned char byte = static_cast<unsigned char>(destination[i]);
        if ((byte >= 0x61 && byte <= 0x7A) || byte >= 0xE0) destination[i] = static_cast<char>(byte - 0x20);
    }
    return destination;
}

char* LeftText(const char* text, int count, int start) {
    int length = Length(text);
    if (count < 0) count = 0;
    if (count > length) count = length;
    return CopyToBuilder(text, 0, count, start);
}

char* RightText(const char* text, int count, int start) {
    int length = Length(text);
    if (count < 0) count = 0;
    if (count > length) count = length;
    return CopyToBuilder(text, length - count, count, start);
}

char* BlankText(int count, int start) {
    if (count < 0) count = 0;
    char* destination = ReserveText(count, start);
    memset(destination, ' ', count);
    destination[count] = 0;
    return destination;
}

char* AppendCString(const char* text, int start) { return CopyToBuilder(text, 0, Length(text), start); }

char* ProgramFileName(int start) {
    char* destination = ReserveText(MAX_PATH, start);
    int length = static_cast<int>(GetModuleFileNameA(ProgramInstance(), destination, MAX_PATH));
    if (length < 0 || length > MAX_PATH) length = 0;
    if (length >= 4 && memcmp(destination, "\\\\?\\", 4) == 0) {
        if (length >= 8 && memcmp(destination + 4, "UNC\\", 4) == 0) {
            // "\\?\UNC\server\share\..." names "\\server\share\...".
            memmove(destination + 2, destination + 8, length - 8);
            length -= 6;
        } else {
            memmove(destination, destination + 4, length - 4);
            length -= 4;
        }
    }
    destination[length] = 0;
    GiveBackText(MAX_PATH - length);
    return destination;
}

char* FilePart(const char* path, int start) {
    int length = Length(path);
    int from = 0;
    if (length && path[0] == '"') from = 1;
    for (int i = 0; i < length; ++i)
        if (path[i] == '\\' || path[i] == '/') from = i + 1;
    int to = from;
    while (to < length && path[to] != '"') ++to;
    return CopyToBuilder(path, from, to - from, start);
}

int FindText(const char* text, const char* pattern, int from) {
    int length = Length(text);
    int patternLength = Length(pattern);
    if (!length || !patternLength) return 0;
    if (from < 1) from = 1;
    // A start beyond the text counts as length + 1; the last possible start is computed without adding to
    // from, so a start near the largest int cannot overflow.
    if (from > length) from = length + 1;
    for (int p = from; p <= length - patternLength + 1; ++p)
        if (memcmp(text + p - 1, pattern, patternLength) == 0) return p;
    return 0;
}

char* IntegerToText(int value, char* destination, int radix) {
    if (radix < 2 || radix > 36 || !destination) return nullptr;
    char digits[33];
    int count = 0;
    int length = 0;
    unsigned int magnitude = static_cast<unsigned int>(value);
    if (value < 0) {
        destination[length++] = '-';
        magnitude = 0U - magnitude;
    }
    do {
        unsigned int digit = magnitude % static_cast<unsigned int>(radix);
        digits[count++] = static_cast<char>(digit < 10 ? '0' + digit : 'a' + digit - 10);
        magnitude /= static_cast<unsigned int>(radix);
    } while (magnitude);
    while (count) destination[length++] = digits[--count];
    destination[length] = 0;
    return destination;
}

// --- TextBuilder ---

TextBuilder::TextBuilder() {
    start = BuilderPosition();
    partStart = start;
    end = start;
    Seal();
}

TextBuilder::~TextBuilder() { RestorePosition(start); }

// Terminator at end, position just behind it.
void TextBuilder::Seal() {
    RestorePosition(end);
    AppendText(nullptr);
    SealArgument();
}

TextBuilder& TextBuilder::Add(const char* text) {
    partStart = end;
    RestorePosition(end);
    AppendText(text);
    end = BuilderPosition();
    SealArgument();
    return *this;
}

TextBuilder& TextBuilder::AddNumber(long long value) {
    partStart = end;
    NumberToText(value, end);
    end = BuilderPosition();
    SealArgument();
    return *this;
}

TextBuilder& TextBuilder::Apply(char* (*function)(const char* text, int start)) {
    partStart = start;
    return ApplyToLastPart(function);
}

TextBuilder& TextBuilder::ApplyToLastPart(char* (*function)(const char* text, int start)) {
    // The source pointer is formed right before the call; the function re-derives it across its reservation.
    function(BuilderBase() + partStart, partStart);
    end = BuilderPosition();
    SealArgument();
    return *this;
}

const char* TextBuilder::Text() const { return BuilderBase() + start; }

int TextBuilder::Length() const { return end - start; }

int TextBuilder::Equals(const char* other) const { return TextEquals(BuilderBase() + start, other); }

void TextBuilder::CommitTo(char** variable) {
    RestorePosition(end);
    CommitText(variable, start);
    partStart = start;
    end = start;
    Seal();
}

// Strings: string variables (null or a block in the string heap, null = "") and the per-thread string builder.
// Contract: texts are zero-terminated ANSI bytes; builder positions are offsets, a pointer into the builder lives only until the next reservation.
#pragma once

// The platform header names one of its dialogs FindText as a macro (FindTextA), which would rename FindText
// below in some files and not in others; it is included first and the macro dropped, once for every file.
#include <windows.h>
#undef FindText

// --- Builder core (each acts on the calling thread's builder; a thread gets its builder on first use) ---

// Creates the string heap and the thread-local index and gives the calling thread its builder. Run once by the frame.
void StartStrings();
// Entry of procedures that may run on a thread that has not used texts yet; registers the builder's release at thread end.
void EnsureThreadStrings();

int BuilderPosition();
// Room for length bytes at start (-1 = current position); position = start + length. Writes nothing; may move the buffer.
char* ReserveText(int length, int start);
void GiveBackText(int count);
// Copies text and terminator to the position; the position advances by the length (the next append overwrites the terminator).
void AppendText(const char* text);
// Position += 1: the finished argument keeps its terminator while the next one is built.
void SealArgument();
char* BuilderBase();
void RestorePosition(int position);

// --- String variables ---

// Copies the text from start to the position into the variable (an empty expression gives "", never null); position = start.
void CommitText(char** variable, int start);
// Copies text into the variable, returns length + 1; a null text releases the block, sets null and returns 1.
// The text may lie in the variable's own block.
int AssignText(char** variable, const char* text);
// A fresh (null) local variable gets a copy of text; a null text leaves it null.
void InitParameterText(char** variable, const char* text);
void FreeText(char* block);
int TextEquals(const char* a, const char* b);
int TextLength(const char* text);

// --- Text functions: result at start (-1 = current position), terminated, position just behind it ---
// A source may lie in the builder (also at the same start: the result then replaces it in place).

char* NumberToText(long long value, int start);
// Bytes 0x61-0x7A and 0xE0-0xFF are lowered by 0x20, everything else copied; no locale.
char* UpperCaseText(const char* text, int start);
// Negative counts count as 0.
char* LeftText(const char* text, int count, int start);
char* RightText(const char* text, int count, int start);
char* BlankText(int count, int start);
char* AppendCString(const char* text, int start);
// The running program's full path, without a leading "\\?\".
char* ProgramFileName(int start);
// Last component of the path, quotes removed; "" for a trailing separator or null.
char* FilePart(const char* path, int start);

// 1-based position of pattern in text at or after from, 0 for none or null/empty inputs.
int FindText(const char* text, const char* pattern, int from);
// Digits of value in radix 2..36 (lower-case letters), written to destination; null for another radix or no destination.
char* IntegerToText(int value, char* destination, int radix);

// --- TextBuilder: the calling protocol as a scoped guard for hand-written code ---
//
// One TextBuilder holds one text expression, built at the builder position current at its construction.
// The text is kept sealed after every part, so a TextBuilder started later (the next argument of the same
// call) builds behind it and leaves it intact; the destructor gives the room back (RestorePosition).
//
// Rules:
//  - Finish a text before starting the next TextBuilder: adding to one while a later one is alive overwrites the later one.
//  - Call Text() only as a direct argument of the consuming call, after every argument of that call is built:
//      TextBuilder title; title.Add("Programmfehler in ").Add(ProgramFileName(-1)).ApplyToLastPart(FilePart);
//      TextBuilder body;  body.Add("Zeile ").AddNumber(line);
//      ShowBox(title.Text(), body.Text());
//    Never store the pointer: any later building may move the buffer.
//  - Add() takes a literal, a variable or the fresh result of a text function called with start -1.
class TextBuilder {
public:
    TextBuilder();
    ~TextBuilder();
    TextBuilder(const TextBuilder&) = delete;
    TextBuilder& operator=(const TextBuilder&) = delete;

    TextBuilder& Add(const char* text);
    TextBuilder& AddNumber(long long value);
    // Runs an in-place text function (UpperCaseText, FilePart, ...) on the whole text built so far.
    TextBuilder& Apply(char* (*function)(const char* text, int start));
    // The same on the part added last.
    TextBuilder& ApplyToLastPart(char* (*function)(const char* text, int start));

    const char* Text() const;
    int Length() const;
    int Equals(const char* other) const;
    // Copies the text into the variable; the TextBuilder is empty afterwards.
    void CommitTo(char** variable);

private:
    int start;      // builder position at construction: the text's start, restored at the end
    int partStart;  // start of the part added last
    int end;        // end of the text; its terminator sits here and the position stays at end + 1
    void Seal();
};

// Identifiers and small value types of the host.
#pragma once

#include "maxheap.h"
#include "platform/win32_types.h"

typedef unsigned short UWORD;
typedef ULONG SClass_ID;
typedef int TimeValue;

// A plug-in class's identity: two 32-bit words, chosen once and never changed.
class Class_ID : public MaxHeapOperators {
public:
    Class_ID() : a(0xFFFFFFFF), b(0xFFFFFFFF) {}
    Class_ID(ULONG aa, ULONG bb) : a(aa), b(bb) {}
    ULONG PartA() const { return a; }
    ULONG PartB() const { return b; }
    void SetPartA(ULONG aa) { a = aa; }
    void SetPartB(ULONG bb) { b = bb; }
    int operator==(const Class_ID& other) const { return a == other.a && b == other.b; }
    int operator!=(const Class_ID& other) const { return a != other.a || b != other.b; }
    bool operator<(const Class_ID& other) const {
        return a < other.a || (a == other.a && b < other.b);
    }

private:
    ULONG a, b;
};

// The identity of a published interface, shaped like a class identity.
class Interface_ID : public MaxHeapOperators {
public:
    Interface_ID() : a(0xFFFFFFFF), b(0xFFFFFFFF) {}
    Interface_ID(ULONG aa, ULONG bb) : a(aa), b(bb) {}
    ULONG PartA() const { return a; }
    ULONG PartB() const { return b; }
    int operator==(const Interface_ID& other) const { return a == other.a && b == other.b; }
    int operator!=(const Interface_ID& other) const { return a != other.a || b != other.b; }

private:
    ULONG a, b;
};

// One pixel of a 64-bit bitmap row: 16 bits for each of red, green, blue and alpha.
struct BMM_Color_64 {
    WORD r, g, b, a;
};

#ifndef MAX_PATH
#define MAX_PATH 260
#endif

// The few Windows types and calls that the fuzzed pure code names, for the
// native build: close enough for bounds and invariants, not for exact
// Unicode case and letter tables. The Windows build never sees this folder.
#pragma once

#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>
#include <wctype.h>

typedef int BOOL;
typedef int32_t LONG;  // 32 bits, as on Windows
typedef uint32_t DWORD;
typedef unsigned long ULONG;

struct RECT {
    LONG left, top, right, bottom;
};
struct POINT {
    LONG x, y;
};

inline DWORD CharLowerBuffW(wchar_t* text, DWORD length)
{
    for (DWORD i = 0; i < length; i++)
        text[i] = (wchar_t)towlower((wint_t)text[i]);
    return length;
}

inline BOOL IsCharAlphaNumericW(wchar_t unit)
{
    return iswalnum((wint_t)unit) != 0;
}

// The C runtime's: a decimal after blanks, clamped to int.
inline int _wtoi(const wchar_t* text)
{
    long long value = wcstoll(text, nullptr, 10);
    return value > 0x7fffffff ? 0x7fffffff : value < -0x7fffffffLL - 1 ? (int)(-0x7fffffffLL - 1) : (int)value;
}

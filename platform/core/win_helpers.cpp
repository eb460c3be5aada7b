// The Win32 helpers that involve no system: MulDiv, lstrlenA, SetRect, GlobalLock and
// GlobalUnlock. Shared by every backend.
#include <climits>
#include <cstdint>
#include <cstring>

#include "platform/windows.h"

// (a * b) / c with a 64-bit product, rounded half away from zero; -1 when c is 0 or the
// result does not fit in 32 bits.
int WINAPI MulDiv(int nNumber, int nNumerator, int nDenominator) {
    if (nDenominator == 0) return -1;
    int64_t p = (int64_t)nNumber * nNumerator;
    int64_t c = nDenominator;
    bool negative = (p < 0) != (c < 0);
    uint64_t ap = p < 0 ? (uint64_t)(-p) : (uint64_t)p;
    uint64_t ac = c < 0 ? (uint64_t)(-c) : (uint64_t)c;
    uint64_t q = (ap + ac / 2) / ac;
    if (!negative && q > (uint64_t)INT_MAX) return -1;
    if (negative && q > (uint64_t)INT_MAX + 1) return -1;
    return negative ? (int)(-(int64_t)q) : (int)q;
}

// Length of a zero-terminated text; 0 for NULL.
int WINAPI lstrlenA(LPCSTR lpString) {
    if (!lpString) return 0;
    return (int)std::strlen(lpString);
}

BOOL WINAPI SetRect(LPRECT lprc, int xLeft, int yTop, int xRight, int yBottom) {
    if (!lprc) return FALSE;
    lprc->left = xLeft;
    lprc->top = yTop;
    lprc->right = xRight;
    lprc->bottom = yBottom;
    return TRUE;
}

// A backend's clipboard handle is the address of the text it holds until CloseClipboard, so
// locking gives that address and unlocking has nothing to do.
LPVOID WINAPI GlobalLock(HGLOBAL hMem) {
    return hMem;
}

// FALSE: the object is no longer locked (the Win32 result of a last unlock).
BOOL WINAPI GlobalUnlock(HGLOBAL) {
    return FALSE;
}

// Millisecond stopwatch over the multimedia timer, used for pacing and debouncing.
// Elapsed is an unsigned 32-bit difference: it wraps instead of going negative.
// The record has no constructor on purpose: owners Reset their timers before reading them.
#pragma once

#include "windows.h"

struct Korvel_Timer {
    DWORD start;      // system time of the last Reset, ms
    DWORD reference;  // time Elapsed counts from; equal to start after Reset

    DWORD Reset();    // start = reference = now; returns now
    DWORD Elapsed();  // now - reference, modulo 2^32
};

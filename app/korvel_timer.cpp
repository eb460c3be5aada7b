// Millisecond stopwatch over timeGetTime.
#include "app/korvel_timer.h"

DWORD Korvel_Timer::Reset() {
    start = timeGetTime();
    reference = start;
    return start;
}

DWORD Korvel_Timer::Elapsed() {
    // Unsigned subtraction: correct across the 2^32 wrap of the clock.
    return (DWORD)(timeGetTime() - reference);
}

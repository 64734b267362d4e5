// The synthesizer needs a full settle time after each port write. A platform
// sleep may return early (or, on a coarse system timer, late), so the wait
// checks the elapsed time on a fine counter and tops it up.
#pragma once

#include <cstdint>

struct SettleClock {
    void (*sleep)(unsigned ms);  // the platform sleep, which may return early
    int64_t (*counter)();        // a fine monotonic counter
    int64_t frequency;           // counter ticks per second
};

// Returns once at least `ms` milliseconds have passed on the clock's counter.
// A counter that steps back behind the start of the wait cannot tell how long
// it has lasted: the wait then ends after the platform sleep of `ms` alone. A
// counter that stops ends it once it has stood still across two top-up sleeps
// of 1 ms: after `ms` and those two milliseconds slept.
void settleFor(const SettleClock &clock, unsigned ms);

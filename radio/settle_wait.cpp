#include "radio/settle_wait.h"

void settleFor(const SettleClock &clock, unsigned ms)
{
    int64_t start = clock.counter();
    int64_t target = clock.frequency * ms / 1000;
    clock.sleep(ms);
    for (;;) {
        int64_t now = clock.counter();
        // A counter behind the start has stepped back (on some multi-core
        // machines each core has its own): it cannot tell how long the wait
        // has lasted, and waiting for it to catch up could take seconds. The
        // sleep above has waited already: count the time as passed.
        if (now < start) {
            return;
        }
        // Unsigned, so that a counter that jumped far ahead cannot overflow
        // the difference: any jump ahead counts as the time passed.
        uint64_t elapsed = static_cast<uint64_t>(now) - static_cast<uint64_t>(start);
        if (elapsed >= static_cast<uint64_t>(target)) {
            return;
        }
        int64_t remaining = target - static_cast<int64_t>(elapsed);
        // Whole milliseconds left: sleep them off; less than one: yield.
        clock.sleep(remaining >= clock.frequency / 1000 ? 1 : 0);
    }
}

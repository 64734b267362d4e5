#include "radio/settle_wait.h"

void settleFor(const SettleClock &clock, unsigned ms)
{
    int64_t start = clock.counter();
    int64_t target = clock.frequency * ms / 1000;
    clock.sleep(ms);
    for (;;) {
        // The counter never reads negative, so the difference cannot overflow.
        int64_t elapsed = clock.counter() - start;
        // A counter behind the start has stepped back (on some multi-core
        // machines each core has its own): it cannot tell how long the wait
        // has lasted, and waiting for it to catch up could take seconds. The
        // sleep above has waited already: count the time as passed, as any
        // jump ahead counts.
        if (elapsed < 0 || elapsed >= target) {
            return;
        }
        int64_t remaining = target - elapsed;
        // Whole milliseconds left: sleep them off; less than one: yield.
        clock.sleep(remaining >= clock.frequency / 1000 ? 1 : 0);
    }
}

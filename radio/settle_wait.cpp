#include "radio/settle_wait.h"

void settleFor(const SettleClock &clock, unsigned ms)
{
    int64_t start = clock.counter();
    int64_t target = clock.frequency * ms / 1000;
    clock.sleep(ms);
    for (;;) {
        int64_t remaining = target - (clock.counter() - start);
        if (remaining <= 0) {
            return;
        }
        // Whole milliseconds left: sleep them off; less than one: yield.
        clock.sleep(remaining >= clock.frequency / 1000 ? 1 : 0);
    }
}

#include "radio/settle_wait.h"

namespace {

// Top-up sleeps of 1 ms in a row across which the counter must stand still
// before the wait takes it for stopped.
constexpr int stoppedCounterSleeps = 2;

}  // namespace

void settleFor(const SettleClock &clock, unsigned ms)
{
    int64_t start = clock.counter();
    int64_t target = clock.frequency * ms / 1000;
    clock.sleep(ms);
    int64_t previous = start;
    unsigned lastTopUp = 0;  // the last top-up sleep asked: none yet, or a yield, is 0
    int stillSleeps = 0;     // top-up sleeps of 1 ms in a row the counter stood still across
    for (;;) {
        int64_t now = clock.counter();
        // The counter never reads negative, so the difference cannot overflow.
        int64_t elapsed = now - start;
        // A counter behind the start has stepped back (on some multi-core
        // machines each core has its own): it cannot tell how long the wait
        // has lasted, and waiting for it to catch up could take seconds. The
        // sleep above has waited already: count the time as passed, as any
        // jump ahead counts.
        if (elapsed < 0 || elapsed >= target) {
            return;
        }
        // A working counter moves across any sleep of a millisecond, however
        // early the sleep returns. One that stood still across two has
        // stopped (a broken HPET, a virtual machine whose counter froze) and
        // would never reach the target: the wait has slept its time and those
        // two milliseconds more, and ends.
        bool stood = now == previous;
        stillSleeps = stood && lastTopUp == 1 ? stillSleeps + 1 : 0;
        if (stillSleeps == stoppedCounterSleeps) {
            return;
        }
        previous = now;
        int64_t remaining = target - elapsed;
        // Whole milliseconds left: sleep them off; less than one: yield, as
        // long as the counter moves across a yield.
        lastTopUp = remaining >= clock.frequency / 1000 || stood ? 1 : 0;
        clock.sleep(lastTopUp);
    }
}

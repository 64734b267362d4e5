// The core soak: seeded random sequences of every panel command, reopenings of
// the panel and long runs of timer ticks, against a transceiver whose squelch
// and transmit lines come and go and whose status register carries garbage in
// every bit but the two that mean something. Every step is checked (see
// core_driver.h); the first fault stops the run with its seed and step.
//
//   core_soak [--ticks N] [--seed S]
//
// N defaults to 1000000 ticks, or QD_SOAK_TICKS when set; S defaults to 1, or
// QD_SOAK_SEED when set ("random" takes one from the clock and prints it).
// The full-length run is  QD_SOAK_TICKS=100000000 ./core_soak  (or --ticks 1e8).
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <random>
#include <string>
#include <vector>

#include "radio/radio_state.h"
#include "tests/soak/core_driver.h"

namespace {

using drive::Kind;
using drive::Step;

// std::mt19937_64 is the same generator everywhere; the draws below avoid the
// library's distributions, whose results differ between implementations.
struct Random {
    std::mt19937_64 engine;
    explicit Random(uint64_t seed) : engine(seed) {}
    uint64_t next() { return engine(); }
    uint64_t below(uint64_t n) { return next() % n; }
    bool chance(uint64_t oneIn) { return below(oneIn) == 0; }
};

// The transceiver as the soak plays it: a transmitter keyed now and then,
// between steps and in the middle of them (right after any port access),
// signals that come and go on channels in and around the band (the shifted
// ones too), now and then a status register that reads pure noise, and garbage
// in all 32 bits that PortIn hands back except bits 6 and 7.
struct Transceiver {
    Random random;
    bool keyed = false;
    bool busy[1000] = {};
    long noise = 0;  // steps left during which every bit reads at random

    explicit Transceiver(uint64_t seed) : random(seed ^ 0x5157313530ULL) {}

    uint32_t read(int tuned)
    {
        uint32_t garbage = static_cast<uint32_t>(random.next());
        if (noise > 0) {
            return garbage;
        }
        uint32_t value = garbage & ~0xC0u;
        if (keyed) {
            value |= 0x80;
        }
        if (tuned >= 0 && tuned < 1000 && busy[tuned]) {
            value |= 0x40;
        }
        return value;
    }

    // A change of the line planned at a chosen port access: right after the
    // load of `afterLoadOf`, or at status read `atRead` (the first to see it).
    int afterLoadOf = -1;
    unsigned long atRead = 0;

    // At each port access: a planned change, or now and then the operator
    // keys or lets go at random, within a step too: between a status read and
    // a load, or between a load and the next read.
    void access(const drive::PortAccess &a)
    {
        if (a.loaded >= 0 && a.loaded == afterLoadOf) {
            keyed = !keyed;
            afterLoadOf = -1;
        } else if (a.read && a.reads == atRead) {
            keyed = !keyed;
            atRead = 0;
        } else if (random.chance(keyed ? 300 : 1500)) {
            keyed = !keyed;
        }
    }

    // Plans a change of the line at the moments where the scanner's races
    // lie: right after the load of the watch channel or of the channel above
    // the current one (the sweep's next), or a few status reads on.
    void plan(int watch, int channel, unsigned long reads)
    {
        switch (random.below(3)) {
        case 0: afterLoadOf = watch != 0 ? watch : channel + 1; break;
        case 1: afterLoadOf = channel + 1 + static_cast<int>(random.below(2)); break;
        default: atRead = reads + 1 + random.below(8); break;
        }
    }

    void evolve()
    {
        if (noise > 0) {
            --noise;
        } else if (random.chance(20000)) {
            noise = 1 + static_cast<long>(random.below(300));
        }
        if (random.chance(keyed ? 150 : 1500)) {
            keyed = !keyed;
        }
        if (random.chance(40)) {
            // Mostly the band and the channels a shift of up to 100 reaches.
            int channel = random.chance(20) ? static_cast<int>(random.below(1000))
                                            : 204 + static_cast<int>(random.below(361));
            busy[channel] = random.below(10) < 3;
        }
        if (random.chance(100000)) {
            std::memset(busy, 0, sizeof busy);
        }
    }
};

// A shift that a long run of presses could reach, with the ends of the
// 32-bit range and the ends of the loadable shifts favoured.
int32_t farShift(Random &random)
{
    static const int64_t edges[] = {INT32_MIN, INT32_MAX, -536, -535, 304, 305, 0, -1000, 1000};
    int64_t edge = edges[random.below(sizeof edges / sizeof edges[0])];
    int64_t value = edge + static_cast<int64_t>(random.below(5)) - 2;
    if (random.chance(3)) {
        value = static_cast<int32_t>(random.next());
    }
    if (value < INT32_MIN || value > INT32_MAX) {
        value = edge;
    }
    return static_cast<int32_t>(value);
}

Step nextCommand(Random &random)
{
    const std::vector<int> &commands = drive::panelCommands();
    const std::vector<int> &ignored = drive::ignoredCommands();
    uint64_t pick = random.below(1000);
    if (pick < 15) {
        return Step{Kind::Reopen, 0};
    }
    if (pick < 20) {
        return Step{Kind::ShiftRun, farShift(random)};
    }
    if (pick < 40) {
        return Step{Kind::Command, ignored[random.below(ignored.size())]};
    }
    int id = commands[random.below(commands.size())];
    // Reset and the shift's own default are rarer, or little would stay set.
    if ((id == 1108 || id == 3003) && !random.chance(4)) {
        id = 1109;
    }
    return Step{Kind::Command, id};
}

// Ticks between two commands: mostly a few, sometimes enough for the long holds.
long nextBurst(Random &random)
{
    uint64_t pick = random.below(100);
    if (pick < 60) {
        return 1 + static_cast<long>(random.below(8));
    }
    if (pick < 95) {
        return 8 + static_cast<long>(random.below(100));
    }
    return 100 + static_cast<long>(random.below(1500));
}

bool parseCount(const char *text, uint64_t *out)
{
    char *end = nullptr;
    double value = std::strtod(text, &end);  // takes 1e8 as well as 100000000
    if (end == text || *end != '\0' || value < 1 || value > 1e15) {
        return false;
    }
    *out = static_cast<uint64_t>(value);
    return true;
}

int usage()
{
    std::fprintf(stderr,
                 "usage: core_soak [--ticks N] [--seed S|random]\n"
                 "  N: timer ticks to run (default 1000000, or QD_SOAK_TICKS)\n"
                 "  S: seed (default 1, or QD_SOAK_SEED)\n");
    return 2;
}

}  // namespace

int main(int argc, char **argv)
{
    uint64_t ticks = 1000000;
    const char *seedText = "1";
    if (const char *env = std::getenv("QD_SOAK_TICKS")) {
        if (!parseCount(env, &ticks)) {
            return usage();
        }
    }
    if (const char *env = std::getenv("QD_SOAK_SEED")) {
        seedText = env;
    }
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--ticks") == 0 && i + 1 < argc) {
            if (!parseCount(argv[++i], &ticks)) {
                return usage();
            }
        } else if (std::strcmp(argv[i], "--seed") == 0 && i + 1 < argc) {
            seedText = argv[++i];
        } else {
            return usage();
        }
    }
    uint64_t seed;
    if (std::strcmp(seedText, "random") == 0) {
        seed = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    } else {
        char *end = nullptr;
        seed = std::strtoull(seedText, &end, 0);
        if (end == seedText || *end != '\0') {
            return usage();
        }
    }
    std::printf("core_soak: seed %" PRIu64 ", %" PRIu64 " ticks\n", seed, ticks);
    std::fflush(stdout);

    Random random(seed);
    Transceiver radio(seed);
    std::deque<std::pair<uint64_t, Step>> recent;  // the last steps, printed with a fault
    uint64_t step = 0;
    uint64_t ticked = 0;
    uint64_t commands = 0;

    auto fault = [&](const std::string &what) {
        std::fprintf(stderr, "core_soak: FAILED with seed %" PRIu64 " at step %" PRIu64 " (tick %" PRIu64 "): %s\n",
                     seed, step, ticked, what.c_str());
        std::fprintf(stderr, "  rerun: core_soak --seed %" PRIu64 " --ticks %" PRIu64 "\n  last steps:\n", seed,
                     ticks);
        for (const auto &r : recent) {
            std::fprintf(stderr, "    %" PRIu64 ": %s\n", r.first, drive::describe(r.second).c_str());
        }
        return 1;
    };

    unsigned long reads = 0;
    std::string opened = drive::start([&radio](int tuned) { return radio.read(tuned); },
                                      [&radio, &reads](const drive::PortAccess &a) {
                                          reads = a.reads;
                                          radio.access(a);
                                      });
    if (!opened.empty()) {
        return fault(opened);
    }
    while (ticked < ticks) {
        long burst = nextBurst(random);
        for (long i = 0; i <= burst && ticked < ticks; ++i) {
            Step s = i < burst ? Step{Kind::Tick, 0} : nextCommand(random);
            ++step;
            radio.evolve();
            if (radio.afterLoadOf < 0 && radio.atRead == 0 && random.chance(50)) {
                radio.plan(radioState.watchChannel, radioState.channel, reads);
            }
            std::string result = drive::run(s);
            recent.emplace_back(step, s);
            if (recent.size() > 12) {
                recent.pop_front();
            }
            if (!result.empty()) {
                return fault(result);
            }
            if (s.kind == Kind::Tick) {
                ++ticked;
            } else {
                ++commands;
            }
        }
    }
    std::printf("core_soak: passed, %" PRIu64 " ticks and %" PRIu64 " other steps\n", ticked, commands);
    return 0;
}

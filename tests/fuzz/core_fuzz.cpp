// Fuzz target over the radio core and the panel's command handlers. The input
// is a stream of operations, one byte each, some followed by operands:
//
//   0x00-0x3F  timer ticks: ((b & 0x0F) + 1) << (2 * (b >> 4)), 1 to 1024
//   0x40-0x4F  status register word from the next 4 bytes (little-endian);
//              b odd: PortIn returns that word as it is, squelch and transmit
//              bits included; b even: the word is garbage around the two lines
//   0x50-0x5F  signal on channel 256 + next byte toggled (256..511)
//   0x60-0x6F  transmitter keyed (b odd) or released (b even)
//   0x70-0x7F  by (b & 7) % 5: 0 signals only where set, 1 signal on every
//              channel, 2 signal toggled on the channel last loaded, 3 on the
//              selected channel, 4 on the watch channel
//   0x80-0x9F  panel command: the (b - 0x80)th of the panel's controls, then
//              ids the panel must ignore
//   0xA0-0xAF  the panel closed and reopened
//   0xB0-0xBF  port library slots: bit 0 PortOut bound, bit 1 PortIn bound
//   0xC0-0xCF  the shift after a long run of presses: the next 4 bytes
//   0xD0-0xDF  a command with the id in the next 2 bytes (little-endian, signed)
//   0xE0-0xFF  one timer tick
//
// Each input starts from the program's start values with the panel just
// opened. Every step is checked as in the soak (tests/soak/core_driver.h); a
// fault prints the step and aborts, which libFuzzer keeps as a crash.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "radio/radio_state.h"
#include "tests/soak/core_driver.h"

namespace {

using drive::Kind;
using drive::Step;

constexpr long maxTicksPerInput = 20000;

struct Line {
    uint32_t word = 0;
    bool raw = false;
    bool keyed = false;
    bool everywhere = false;
    bool busy[1000] = {};

    uint32_t read(int tuned) const
    {
        if (raw) {
            return word;
        }
        uint32_t value = word & ~0xC0u;
        if (keyed) {
            value |= 0x80;
        }
        if (everywhere || (tuned >= 0 && tuned < 1000 && busy[tuned])) {
            value |= 0x40;
        }
        return value;
    }
};

struct Input {
    const uint8_t *data;
    size_t size;
    size_t at = 0;

    bool more() const { return at < size; }
    uint8_t byte() { return at < size ? data[at++] : 0; }
    uint32_t word()
    {
        uint32_t w = 0;
        for (int i = 0; i < 4; ++i) {
            w |= static_cast<uint32_t>(byte()) << (8 * i);
        }
        return w;
    }
};

[[noreturn]] void fault(const std::string &what, size_t offset, long ticks)
{
    std::fprintf(stderr, "core_fuzz: FAILED at input offset %zu (tick %ld): %s\n", offset, ticks, what.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Line line;
    line = Line();
    Input in{data, size};
    long ticks = 0;

    std::string result = drive::start([](int tuned) { return line.read(tuned); });
    if (!result.empty()) {
        fault(result, 0, 0);
    }
    const auto &commands = drive::panelCommands();
    const auto &ignored = drive::ignoredCommands();

    while (in.more() && ticks < maxTicksPerInput) {
        size_t offset = in.at;
        uint8_t b = in.byte();
        long tickCount = 0;
        Step step{Kind::Tick, 0};
        bool isStep = true;
        if (b < 0x40) {
            tickCount = static_cast<long>((b & 0x0F) + 1) << (2 * (b >> 4));
        } else if (b < 0x50) {
            line.word = in.word();
            line.raw = (b & 1) != 0;
            isStep = false;
        } else if (b < 0x60) {
            bool &busy = line.busy[256 + in.byte()];
            busy = !busy;
            isStep = false;
        } else if (b < 0x70) {
            line.keyed = (b & 1) != 0;
            isStep = false;
        } else if (b < 0x80) {
            int target = -1;
            switch ((b & 7) % 5) {
            case 0: line.everywhere = false; break;
            case 1: line.everywhere = true; break;
            case 2: target = drive::tunedChannel(); break;
            case 3: target = radioState.channel; break;
            default: target = radioState.watchChannel; break;
            }
            if (target >= 0 && target < 1000) {
                line.busy[target] = !line.busy[target];
            }
            isStep = false;
        } else if (b < 0xA0) {
            size_t i = b - 0x80u;
            int id = i < commands.size() ? commands[i] : ignored[(i - commands.size()) % ignored.size()];
            step = Step{Kind::Command, id};
        } else if (b < 0xB0) {
            step = Step{Kind::Reopen, 0};
        } else if (b < 0xC0) {
            step = Step{Kind::Library, b & 3};
        } else if (b < 0xD0) {
            step = Step{Kind::ShiftRun, static_cast<int32_t>(in.word())};
        } else if (b < 0xE0) {
            uint16_t low = in.byte();
            uint16_t high = in.byte();
            step = Step{Kind::Command, static_cast<int16_t>(static_cast<uint16_t>(low | (high << 8)))};
        } else {
            tickCount = 1;
        }
        if (!isStep) {
            continue;
        }
        if (tickCount == 0) {
            result = drive::run(step);
            if (!result.empty()) {
                fault(result, offset, ticks);
            }
            continue;
        }
        for (long i = 0; i < tickCount && ticks < maxTicksPerInput; ++i, ++ticks) {
            result = drive::run(step);
            if (!result.empty()) {
                fault(result, offset, ticks);
            }
        }
    }
    return 0;
}

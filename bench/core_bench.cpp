// Micro-benchmarks of the work one 10 ms tick does in the radio and scanner
// core, on the host, with do-nothing doubles in the seam: the port library's
// slots write nowhere and read a fixed status byte, the settle wait returns at
// once and control texts go nowhere. What is left is the core's own cost per
// tick, next to the 4 ms a load spends in its settle waits on the real thing.
//
//   core_bench [--benchmark_min_time=0.2] [Google Benchmark options]
#include <benchmark/benchmark.h>

#include <climits>

#include "radio/channel_plan.h"
#include "radio/platform_seam.h"
#include "radio/port_protocol.h"
#include "radio/radio_state.h"
#include "scanner/channel_memory.h"
#include "scanner/scanner.h"

namespace {

int statusByte;  // what PortIn reads: 0x40 a signal, 0x80 the transmitter keyed
char panelStandIn;
const PanelWindow panel = &panelStandIn;

void PORT_CALL noPortOut(int port, int value)
{
    benchmark::DoNotOptimize(port);
    benchmark::DoNotOptimize(value);
}

int PORT_CALL fixedPortIn(int)
{
    return statusByte;
}

void noWait(unsigned) {}

void noText(PanelWindow, int, const char *text)
{
    benchmark::DoNotOptimize(text);
}

void noRadio(PanelWindow, int, int, int) {}

// The seam's doubles, the radio state as the panel leaves it after opening,
// and the channel memory filled.
void startCore(int status)
{
    PortOut = noPortOut;
    PortIn = fixedPortIn;
    settleWait = noWait;
    setControlText = noText;
    checkRadioButton = noRadio;
    statusByte = status;
    radioState = RadioState{};
    radioState.duplexMode = 1;
    fillChannelMemory();
}

// A tick of the running scanner that only counts toward the dwell.
void countingTick(benchmark::State &state)
{
    startCore(0);
    radioState.scanState = ScanHalt;
    radioState.dwellLimit = INT_MAX;
    for (auto _ : state) {
        scanTick(panel);
        if (radioState.dwellCount == INT_MAX - 1) {
            radioState.dwellCount = 0;
        }
    }
    benchmark::DoNotOptimize(radioState.dwellCount);
}
BENCHMARK(countingTick);

// A deciding tick on a free channel: the squelch sample, a step to the next
// channel (a load) and both displays. Argument 1 adds a free watch channel,
// which costs a second load.
void decidingTickFree(benchmark::State &state)
{
    startCore(0);
    radioState.scanState = ScanHalt;
    radioState.watchChannel = state.range(0) ? 440 : 0;
    for (auto _ : state) {
        radioState.dwellCount = radioState.dwellLimit;
        scanTick(panel);
    }
    benchmark::DoNotOptimize(radioState.channel);
}
BENCHMARK(decidingTickFree)->Arg(0)->Arg(1);

// A deciding tick on a busy channel under the halt rule: the hold is set and
// both displays written, nothing loaded.
void decidingTickBusy(benchmark::State &state)
{
    startCore(0x40);
    radioState.scanState = ScanHalt;
    for (auto _ : state) {
        radioState.dwellCount = radioState.dwellLimit;
        scanTick(panel);
    }
    benchmark::DoNotOptimize(radioState.dwellLimit);
}
BENCHMARK(decidingTickBusy);

// The tick with the scanner off: retune samples the transmit line and loads
// the channel; the displays only when the line changed.
void retuneSteady(benchmark::State &state)
{
    startCore(0);
    for (auto _ : state) {
        retune(radioState.channel, panel);
    }
    benchmark::DoNotOptimize(radioState.txActive);
}
BENCHMARK(retuneSteady);

// retune when every call sees the transmit line changed: the load of the
// shifted or unshifted channel and both displays rewritten.
void retuneTransmitChanging(benchmark::State &state)
{
    startCore(0);
    for (auto _ : state) {
        statusByte ^= 0x80;
        retune(radioState.channel, panel);
    }
    benchmark::DoNotOptimize(radioState.txActive);
}
BENCHMARK(retuneTransmitChanging);

void formatFrequenciesText(benchmark::State &state)
{
    startCore(0);
    char text[64];
    int n = bandLowChannel;
    for (auto _ : state) {
        formatFrequencies(text, sizeof text, n);
        benchmark::DoNotOptimize(text);
        n = n == bandHighChannel ? bandLowChannel : n + 1;
    }
}
BENCHMARK(formatFrequenciesText);

// Argument 1: with a watch channel, whose frequency is converted as well.
void formatScannerStatusText(benchmark::State &state)
{
    startCore(0);
    radioState.watchChannel = state.range(0) ? homeChannel : 0;
    char text[128];
    for (auto _ : state) {
        formatScannerStatus(text, sizeof text);
        benchmark::DoNotOptimize(text);
    }
}
BENCHMARK(formatScannerStatusText)->Arg(0)->Arg(1);

}  // namespace

BENCHMARK_MAIN();

// simctl.exe: drives and reads the simulated QD-7150 from scripts and tests.
//
//   simctl [--name MAPPING] COMMAND [ARGS]
//
// Commands (exit code 0 on success, 1 on failure or timeout, 2 on bad usage,
// 3 when the simulator is not running):
//   status                   channel, frequency, keyed, signal, loads, log size
//   channel                  the channel the synthesizer is on (-1: none yet)
//   carrier CH|MHZ on|off    sets or clears a carrier (by hand) on a channel
//   carriers                 lists the channels with a carrier
//   clear                    takes every hand-set carrier off
//   key | unkey              keys or releases the transmitter
//   trigger key|unkey [load CH|MHZ] [reads N]
//                            keys or releases it inside io.dll, right after the
//                            next load of CH, or the Nth status read from there
//                            (or from now, without `load`): once
//   trigger off              takes back a trigger that has not fired
//   trigger wait [MS]        waits until it has fired (default 5000 ms) and
//                            prints the log index of the first access after it
//   activity on|off          starts or stops the front panel's band activity
//   mark                     prints the log's write index (for `log --from`)
//   log [--from N] [--out]   the port traffic as CSV: index,time_us,dir,port,value
//   wait-channel CH|MHZ [MS] waits until CH is loaded (default 5000 ms)
//   wait-loads N [MS]        waits until at least N loads have been made
//   tune CH|MHZ              loads a channel through io.dll as the program does
//   hold [SECONDS]           keeps the simulator alive until `release` (or the time)
//   release                  ends every `hold` and the front panel
#include "sim/sim_shared.h"

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <string.h>

namespace {

QdSimShared *sim;

int usage()
{
    fputs("usage: simctl [--name MAPPING] status|channel|carrier CH|MHZ on|off|carriers|clear|"
          "key|unkey|trigger key|unkey [load CH|MHZ] [reads N]|trigger off|trigger wait [MS]|"
          "activity on|off|mark|log [--from N] [--out]|wait-channel CH|MHZ [MS]|"
          "wait-loads N [MS]|tune CH|MHZ|hold [SECONDS]|release\n"
          "  CH is a channel number (432), MHZ a frequency (145.600)\n",
          stderr);
    return 2;
}

bool parseOnOff(const char *s, bool *on)
{
    if (!strcmp(s, "on"))
        *on = true;
    else if (!strcmp(s, "off"))
        *on = false;
    else
        return false;
    return true;
}

HANDLE releaseEvent()
{
    char name[256], eventName[300];
    snprintf(eventName, sizeof eventName, "%s.release", qdSimName(name, sizeof name));
    return CreateEventA(nullptr, TRUE, FALSE, eventName);
}

int status()
{
    char f[32] = "none";
    LONG ch = sim->channel;
    if (ch >= 0)
        qdSimFrequencyText(ch, f, sizeof f);
    printf("channel=%ld frequency=%s keyed=%d signal=%d loads=%ld log=%lld activity=%d\n", ch, f,
           sim->keyed ? 1 : 0, qdSimHasCarrier(sim, ch) ? 1 : 0, sim->loads,
           static_cast<long long>(sim->writeIndex), sim->activity ? 1 : 0);
    return 0;
}

int carriers()
{
    for (int ch = 0; ch < QD_SIM_CHANNELS; ++ch) {
        LONG c = sim->carrier[ch];
        if (!c)
            continue;
        char f[32];
        printf("%d,%s,%s%s\n", ch, qdSimFrequencyText(ch, f, sizeof f),
               (c & QD_SIM_CARRIER_MANUAL) ? "manual" : "",
               (c & QD_SIM_CARRIER_ACTIVITY) ? ((c & 1) ? "+activity" : "activity") : "");
    }
    return 0;
}

int dumpLog(int argc, char **argv)
{
    LONG64 from = 0;
    bool outOnly = false;
    for (int i = 0; i < argc; ++i) {
        if (!strcmp(argv[i], "--from") && i + 1 < argc)
            from = _strtoi64(argv[++i], nullptr, 10);
        else if (!strcmp(argv[i], "--out"))
            outOnly = true;
        else
            return usage();
    }
    LONG64 end = sim->writeIndex;
    LONG64 first = qdSimLogFirst(sim);
    if (from < first) {
        if (from > 0)
            fprintf(stderr, "simctl: entries %lld..%lld were overwritten\n",
                    static_cast<long long>(from), static_cast<long long>(first - 1));
        from = first;
    }
    printf("index,time_us,dir,port,value\n");
    for (LONG64 i = from; i < end; ++i) {
        QdSimLogEntry e;
        if (!qdSimLogRead(sim, i, &e))
            break;  // not complete yet, or overwritten meanwhile
        if (outOnly && e.direction != QD_SIM_OUT)
            continue;
        printf("%lld,%lld,%s,%d,%d\n", static_cast<long long>(i),
               static_cast<long long>(qdSimMicros(sim, e.time)),
               e.direction == QD_SIM_OUT ? "out" : "in", e.port, e.value);
    }
    return 0;
}

// Polls `done` every millisecond until it holds or `ms` have passed.
template <typename Pred>
int waitFor(Pred done, DWORD ms)
{
    ULONGLONG until = qdSimMilliseconds() + ms;
    while (!done()) {
        if (qdSimMilliseconds() >= until)
            return 1;
        Sleep(1);
    }
    return 0;
}

// Loads a channel through our io.dll, beside this program, with the two
// writes and waits the control program makes.
int tune(int ch)
{
    // Wide characters, so that a folder named in any script is found, and the
    // name checked against the buffer: a path that does not fit is refused,
    // never cut short or written past the end.
    static const wchar_t library[] = L"io.dll";
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        fprintf(stderr, "simctl: the path of simctl.exe is too long to name io.dll beside it\n");
        return 1;
    }
    while (n > 0 && path[n - 1] != L'\\' && path[n - 1] != L'/')
        --n;
    if (n + sizeof library / sizeof library[0] > MAX_PATH) {
        fprintf(stderr, "simctl: the path of io.dll beside simctl.exe is too long\n");
        return 1;
    }
    memcpy(path + n, library, sizeof library);
    HMODULE io = LoadLibraryW(path);
    if (!io) {
        fprintf(stderr, "simctl: cannot load io.dll beside simctl.exe (error %lu)\n", GetLastError());
        return 1;
    }
    auto out = reinterpret_cast<void(WINAPI *)(int, int)>(
        reinterpret_cast<void *>(GetProcAddress(io, "PortOut")));
    if (!out) {
        fprintf(stderr, "simctl: io.dll beside simctl.exe has no PortOut\n");
        return 1;
    }
    int bcd = (ch / 100) * 256 + (ch / 10 % 10) * 16 + ch % 10;
    out(888, static_cast<signed char>(bcd & 0xFF));
    Sleep(2);
    out(890, ((bcd & 0xF00) >> 8) ^ 0x0B);
    Sleep(2);
    FreeLibrary(io);
    return 0;
}

// trigger key|unkey [load CH|MHZ] [reads N] | off | wait [MS]; argv[0] is
// the word after "trigger".
int trigger(int argc, char **argv)
{
    if (argc == 1 && !strcmp(argv[0], "off")) {
        qdSimDisarmTrigger(sim);
        return 0;
    }
    if (!strcmp(argv[0], "wait") && argc <= 2) {
        DWORD ms = argc == 2 ? static_cast<DWORD>(atoi(argv[1])) : 5000;
        if (waitFor([] { return sim->triggerFiredAt != 0; }, ms))
            return 1;
        printf("%lld\n", static_cast<long long>(sim->triggerFiredAt));
        return 0;
    }
    if (strcmp(argv[0], "key") && strcmp(argv[0], "unkey"))
        return usage();
    int channel = -1, reads = 0;
    for (int i = 1; i < argc; i += 2) {
        if (i + 1 >= argc)
            return usage();
        if (!strcmp(argv[i], "load") && channel < 0) {
            channel = qdSimParseChannel(argv[i + 1]);
            if (channel < 0)
                return usage();
        } else if (!strcmp(argv[i], "reads")) {
            char *end;
            long n = strtol(argv[i + 1], &end, 10);
            if (*end || end == argv[i + 1] || n < 0 || n > 1000000)
                return usage();
            reads = static_cast<int>(n);
        } else {
            return usage();
        }
    }
    return qdSimArmTrigger(sim, argv[0][0] == 'k', channel, reads) ? 0 : usage();
}

int hold(int argc, char **argv)
{
    DWORD ms = INFINITE;
    if (argc > 0)
        ms = static_cast<DWORD>(atof(argv[0]) * 1000);
    HANDLE ev = releaseEvent();
    ResetEvent(ev);
    WaitForSingleObject(ev, ms);
    CloseHandle(ev);
    return 0;
}

int run(int argc, char **argv)
{
    const char *cmd = argv[0];
    if (!strcmp(cmd, "status") && argc == 1)
        return status();
    if (!strcmp(cmd, "channel") && argc == 1) {
        printf("%ld\n", sim->channel);
        return 0;
    }
    if (!strcmp(cmd, "carrier") && argc == 3) {
        bool on;
        int ch = qdSimParseChannel(argv[1]);
        if (ch < 0 || !parseOnOff(argv[2], &on))
            return usage();
        qdSimSetCarrier(sim, ch, QD_SIM_CARRIER_MANUAL, on);
        return 0;
    }
    if (!strcmp(cmd, "carriers") && argc == 1)
        return carriers();
    if (!strcmp(cmd, "clear") && argc == 1) {
        for (int ch = 0; ch < QD_SIM_CHANNELS; ++ch)
            qdSimSetCarrier(sim, ch, QD_SIM_CARRIER_MANUAL, false);
        return 0;
    }
    if ((!strcmp(cmd, "key") || !strcmp(cmd, "unkey")) && argc == 1) {
        InterlockedExchange(&sim->keyed, cmd[0] == 'k');
        return 0;
    }
    if (!strcmp(cmd, "trigger") && argc >= 2)
        return trigger(argc - 1, argv + 1);
    if (!strcmp(cmd, "activity") && argc == 2) {
        bool on;
        if (!parseOnOff(argv[1], &on))
            return usage();
        InterlockedExchange(&sim->activity, on);
        return 0;
    }
    if (!strcmp(cmd, "mark") && argc == 1) {
        printf("%lld\n", static_cast<long long>(sim->writeIndex));
        return 0;
    }
    if (!strcmp(cmd, "log"))
        return dumpLog(argc - 1, argv + 1);
    if (!strcmp(cmd, "wait-channel") && (argc == 2 || argc == 3)) {
        int ch = qdSimParseChannel(argv[1]);
        if (ch < 0)
            return usage();
        return waitFor([ch] { return sim->channel == ch; },
                       argc == 3 ? static_cast<DWORD>(atoi(argv[2])) : 5000);
    }
    if (!strcmp(cmd, "wait-loads") && (argc == 2 || argc == 3)) {
        LONG n = atol(argv[1]);
        return waitFor([n] { return sim->loads >= n; },
                       argc == 3 ? static_cast<DWORD>(atoi(argv[2])) : 5000);
    }
    if (!strcmp(cmd, "tune") && argc == 2) {
        int ch = qdSimParseChannel(argv[1]);
        return ch < 0 ? usage() : tune(ch);
    }
    return usage();
}

}  // namespace

int main(int argc, char **argv)
{
    // Plain "\n" line ends, for the shell scripts and tests that read us.
    _setmode(_fileno(stdout), _O_BINARY);
    int first = 1;
    if (argc > 2 && !strcmp(argv[1], "--name")) {
        SetEnvironmentVariableA(QD_SIM_NAME_VARIABLE, argv[2]);
        first = 3;
    }
    if (first >= argc)
        return usage();
    const char *cmd = argv[first];
    if (!strcmp(cmd, "release")) {
        HANDLE ev = releaseEvent();
        SetEvent(ev);
        CloseHandle(ev);
        return 0;
    }
    HANDLE mapping;
    // hold makes the simulator if nobody has yet; everything else needs it running.
    sim = qdSimOpen(!strcmp(cmd, "hold"), &mapping);
    if (!sim) {
        fputs("simctl: the simulator is not running (start qd7150-sim.exe or simctl hold)\n",
              stderr);
        return 3;
    }
    int rc = !strcmp(cmd, "hold") ? hold(argc - first - 1, argv + first + 1)
                                  : run(argc - first, argv + first);
    fflush(stdout);
    qdSimClose(sim, mapping);
    return rc;
}

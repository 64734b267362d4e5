// Start-up benchmark: how long from CreateProcess to the program's first port
// write, for two or more builds of the program side by side in one run. Each
// program sits in a folder of its own beside our simulated io.dll. The
// launches alternate between the programs, so that whatever else the machine
// does weighs on them alike; each copy is ended as soon as it has written,
// and the next starts once it has gone.
//
//   startup_driver.exe [--launches N] PROGRAM.exe [PROGRAM.exe...]
//
// Prints the median, minimum and maximum of each program's launches (N each,
// 10 by default). Exit code 0 when every launch wrote to the port, 1 when one
// did not, 2 on bad usage. A measurement, not a test: nothing is judged.
#include "sim/sim_shared.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr DWORD patienceMs = 20000;

QdSimShared *sim;

// The time of the first port write at or after log entry `from`; 0 if none
// came within the patience.
int64_t firstWriteFrom(LONG64 from, HANDLE process)
{
    for (DWORD t0 = GetTickCount(); GetTickCount() - t0 < patienceMs; Sleep(1)) {
        QdSimLogEntry e;
        for (LONG64 i = std::max(from, qdSimLogFirst(sim)); i < sim->writeIndex; ++i) {
            if (qdSimLogRead(sim, i, &e) && e.direction == QD_SIM_OUT) {
                return e.time;
            }
        }
        if (WaitForSingleObject(process, 0) == WAIT_OBJECT_0) {
            return 0;  // ended without a write
        }
    }
    return 0;
}

// One launch of `program`: milliseconds to its first port write, or -1.
double launch(const std::string &program)
{
    std::string folder = program.substr(0, program.find_last_of("\\/"));
    std::string commandLine = "\"" + program + "\"";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    LONG64 from = sim->writeIndex;
    int64_t started = qdSimNow();
    if (!CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &si,
                        &pi)) {
        fprintf(stderr, "startup_driver: cannot start %s (error %lu)\n", program.c_str(), GetLastError());
        return -1;
    }
    int64_t written = firstWriteFrom(from, pi.hProcess);
    TerminateProcess(pi.hProcess, 0);
    WaitForSingleObject(pi.hProcess, patienceMs);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    if (written == 0) {
        fprintf(stderr, "startup_driver: %s wrote nothing to the port\n", program.c_str());
        return -1;
    }
    return static_cast<double>(written - started) * 1000.0 / static_cast<double>(sim->qpcFrequency);
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace

int main(int argc, char **argv)
{
    int launches = 10;
    std::vector<std::string> programs;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--launches" && i + 1 < argc) {
            launches = atoi(argv[++i]);
        } else {
            programs.push_back(a);
        }
    }
    if (programs.empty() || launches < 1) {
        fputs("usage: startup_driver.exe [--launches N] PROGRAM.exe [PROGRAM.exe...]\n", stderr);
        return 2;
    }
    char simName[64];
    snprintf(simName, sizeof simName, "Local\\QD7150Startup%lu", GetCurrentProcessId());
    SetEnvironmentVariableA(QD_SIM_NAME_VARIABLE, simName);
    HANDLE mapping;
    sim = qdSimOpen(true, &mapping, simName);
    if (!sim) {
        fprintf(stderr, "startup_driver: cannot create the simulator's shared memory %s\n", simName);
        return 1;
    }
    std::vector<std::vector<double>> times(programs.size());
    int status = 0;
    for (int n = 0; n < launches; ++n) {
        for (size_t p = 0; p < programs.size(); ++p) {
            double ms = launch(programs[p]);
            if (ms < 0) {
                status = 1;
            } else {
                times[p].push_back(ms);
            }
        }
    }
    printf("Start-up, CreateProcess to the first port write, %d launches each, alternating:\n", launches);
    for (size_t p = 0; p < programs.size(); ++p) {
        const std::vector<double> &t = times[p];
        if (t.empty()) {
            printf("  %s: no launch wrote to the port\n", programs[p].c_str());
            continue;
        }
        printf("  median %7.1f ms  min %7.1f  max %7.1f  (%zu launches)  %s\n", median(t),
               *std::min_element(t.begin(), t.end()), *std::max_element(t.begin(), t.end()), t.size(),
               programs[p].c_str());
    }
    return status;
}

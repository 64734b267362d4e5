// The simulated transceiver seen from outside: io.dll loaded as the control
// program loads it, the shared memory read as the front panel reads it, and
// simctl.exe and qd7150-sim.exe run as separate processes. Each test uses a
// mapping name of its own.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/sim_shared.h"

namespace {

using PortOutProc = void(WINAPI *)(int, int);
using PortInProc = int(WINAPI *)(int);

const char *const exportNames[] = {
    "PortOut",    "PortWordOut", "PortDWordOut",   "PortIn",        "PortWordIn",
    "PortDWordIn", "SetPortBit", "ClrPortBit",     "NotPortBit",    "GetPortBit",
    "RightPortShift", "LeftPortShift", "IsDriverInstalled"};

// The folder of this test program, which also holds io.dll, simctl.exe and
// qd7150-sim.exe.
std::string ownFolder()
{
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string s(path, n);
    return s.substr(0, s.find_last_of("\\/") + 1);
}

template <typename T>
T entry(HMODULE m, const char *name)
{
    return reinterpret_cast<T>(reinterpret_cast<void *>(GetProcAddress(m, name)));
}

// CreateProcessA, but started again when Wine fails to create the process
// with ERROR_INTERNAL_ERROR, as it now and then does on a busy machine (seen
// with the x86_64 build, the process never started): that is Wine's failure,
// not the tool's. Any other failure stands.
BOOL startProcess(std::string &cmd, BOOL inherit, STARTUPINFOA *si, PROCESS_INFORMATION *pi)
{
    for (int attempt = 0;; ++attempt) {
        if (CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, inherit, 0, nullptr, nullptr, si, pi))
            return TRUE;
        if (GetLastError() != ERROR_INTERNAL_ERROR || attempt == 2)
            return FALSE;
        fprintf(stderr, "starting %s failed with ERROR_INTERNAL_ERROR; starting it again\n", cmd.c_str());
        Sleep(100);
    }
}

// Runs a program of our folder with `args`, waits for it, returns its exit
// code (or -1) and its standard output.
int runTool(const std::string &exe, const std::string &args, std::string *out = nullptr,
            DWORD waitMs = 60000)
{
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    HANDLE readEnd, writeEnd;
    if (!CreatePipe(&readEnd, &writeEnd, &sa, 0)) {
        ADD_FAILURE() << "CreatePipe failed: error " << GetLastError();
        return -1;
    }
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writeEnd;
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    std::string cmd = "\"" + ownFolder() + exe + "\" " + args;
    PROCESS_INFORMATION pi;
    BOOL ok = startProcess(cmd, TRUE, &si, &pi);
    DWORD error = GetLastError();
    CloseHandle(writeEnd);
    if (!ok) {
        ADD_FAILURE() << "cannot start " << cmd << ": error " << error;
        CloseHandle(readEnd);
        return -1;
    }
    std::string text;
    char buf[4096];
    DWORD got;
    while (ReadFile(readEnd, buf, sizeof buf, &got, nullptr) && got > 0)
        text.append(buf, got);
    CloseHandle(readEnd);
    DWORD code = static_cast<DWORD>(-1);
    DWORD waited = WaitForSingleObject(pi.hProcess, waitMs);
    if (waited == WAIT_OBJECT_0)
        GetExitCodeProcess(pi.hProcess, &code);
    else
        ADD_FAILURE() << cmd << " did not end: wait result " << waited;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    if (out)
        *out = text;
    return static_cast<int>(code);
}

HANDLE startTool(const std::string &exe, const std::string &args)
{
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    std::string cmd = "\"" + ownFolder() + exe + "\" " + args;
    PROCESS_INFORMATION pi;
    if (!startProcess(cmd, FALSE, &si, &pi)) {
        ADD_FAILURE() << "cannot start " << cmd << ": error " << GetLastError();
        return nullptr;
    }
    CloseHandle(pi.hThread);
    return pi.hProcess;
}

// The front panel window of process `pid` (other panels may be open meanwhile).
HWND panelWindowOf(DWORD pid)
{
    HWND wnd = nullptr;
    while ((wnd = FindWindowExA(nullptr, wnd, "QD7150SimPanel", nullptr)) != nullptr) {
        DWORD owner = 0;
        GetWindowThreadProcessId(wnd, &owner);
        if (owner == pid)
            return wnd;
    }
    return nullptr;
}

// Waits up to ten seconds for `done`: generous, for a busy machine.
template <typename Pred>
bool eventually(Pred done)
{
    for (int i = 0; i < 1000; ++i) {
        if (done())
            return true;
        Sleep(10);
    }
    return done();
}

std::vector<std::string> lines(const std::string &text)
{
    std::vector<std::string> v;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        v.push_back(line);
        start = end + 1;
    }
    return v;
}

class Simulator : public ::testing::Test {
protected:
    void SetUp() override
    {
        static int counter;
        char name[128];
        wsprintfA(name, "Local\\QD7150SimTest-%lu-%d", GetCurrentProcessId(), ++counter);
        mappingName = name;
        SetEnvironmentVariableA(QD_SIM_NAME_VARIABLE, name);
        io = LoadLibraryA((ownFolder() + "io.dll").c_str());
        ASSERT_NE(io, nullptr);
        portOut = entry<PortOutProc>(io, "PortOut");
        portIn = entry<PortInProc>(io, "PortIn");
        ASSERT_NE(portOut, nullptr);
        ASSERT_NE(portIn, nullptr);
        sim = qdSimOpen(true, &mapping);
        ASSERT_NE(sim, nullptr);
    }

    void TearDown() override
    {
        if (io)
            FreeLibrary(io);
        qdSimClose(sim, mapping);
        SetEnvironmentVariableA(QD_SIM_NAME_VARIABLE, nullptr);
    }

    // The two writes of a load, with the program's 2 ms waits.
    void load(int data, int control)
    {
        portOut(888, data);
        Sleep(2);
        portOut(890, control);
        Sleep(2);
    }

    std::string mappingName;
    HMODULE io = nullptr;
    PortOutProc portOut = nullptr;
    PortInProc portIn = nullptr;
    HANDLE mapping = nullptr;
    QdSimShared *sim = nullptr;
};

TEST_F(Simulator, ExportsExactlyTheThirteenEntryPointsByPlainName)
{
    for (const char *name : exportNames)
        EXPECT_NE(GetProcAddress(io, name), nullptr) << name;
    EXPECT_EQ(GetProcAddress(io, "PortOut@8"), nullptr);
    EXPECT_EQ(GetProcAddress(io, "_PortOut@8"), nullptr);

    // The export directory itself: thirteen names and nothing more.
    auto *base = reinterpret_cast<const BYTE *>(io);
    auto *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
    auto *nt = reinterpret_cast<const IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY &dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    ASSERT_NE(dir.VirtualAddress, 0u);
    auto *exp = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY *>(base + dir.VirtualAddress);
    ASSERT_EQ(exp->NumberOfNames, 13u);
    auto *names = reinterpret_cast<const DWORD *>(base + exp->AddressOfNames);
    for (DWORD i = 0; i < exp->NumberOfNames; ++i) {
        std::string name = reinterpret_cast<const char *>(base + names[i]);
        bool known = false;
        for (const char *n : exportNames)
            known = known || name == n;
        EXPECT_TRUE(known) << name;
    }
}

TEST_F(Simulator, SharedMemoryCarriesItsLayoutVersion)
{
    EXPECT_EQ(sim->magic, QD_SIM_MAGIC);
    EXPECT_EQ(sim->version, QD_SIM_VERSION);
    EXPECT_EQ(sim->logCapacity, QD_SIM_LOG_CAPACITY);
    EXPECT_GT(sim->qpcFrequency, 0);
    EXPECT_EQ(sim->channel, -1);
    EXPECT_EQ(sim->writeIndex, 0);
}

struct LoadCase {
    int channel, data, control;
};

TEST_F(Simulator, TakesTheChannelWhenTheControlByteArrives)
{
    const LoadCase cases[] = {
        {432, 0x32, 0x0F}, {384, -124, 0x08}, {304, 0x04, 0x08}, {464, 0x64, 0x0F},
        {256, 0x56, 0x09}, {0, 0x00, 0x0B},   {999, -103, 0x02},
    };
    int previous = -1;
    for (const LoadCase &c : cases) {
        portOut(888, c.data);
        EXPECT_EQ(sim->channel, previous) << "the data byte alone must not retune, " << c.channel;
        EXPECT_EQ(sim->dataLatch, c.data & 0xFF);
        portOut(890, c.control);
        EXPECT_EQ(sim->channel, c.channel);
        previous = c.channel;
    }
    EXPECT_EQ(sim->loads, 7);
}

TEST_F(Simulator, OnlyTheLowEightBitsOfAValueCount)
{
    load(0x7F32, static_cast<int>(0xFFFFFF0Fu));
    EXPECT_EQ(sim->channel, 432);
    EXPECT_EQ(sim->dataLatch, 0x32);
    EXPECT_EQ(sim->controlLatch, 0x0F);
}

TEST_F(Simulator, StatusShowsSignalOnTheLoadedChannelAndTheTransmitLine)
{
    EXPECT_EQ(portIn(889), 0x00);
    qdSimSetCarrier(sim, 432, QD_SIM_CARRIER_MANUAL, true);
    EXPECT_EQ(portIn(889), 0x00) << "no channel loaded yet";

    load(0x32, 0x0F);  // 432
    EXPECT_EQ(portIn(889), 0x40);
    InterlockedExchange(&sim->keyed, 1);
    EXPECT_EQ(portIn(889), 0xC0);
    qdSimSetCarrier(sim, 432, QD_SIM_CARRIER_MANUAL, false);
    EXPECT_EQ(portIn(889), 0x80);
    InterlockedExchange(&sim->keyed, 0);
    EXPECT_EQ(portIn(889), 0x00);

    // A carrier elsewhere is not heard; it is once that channel is loaded.
    qdSimSetCarrier(sim, 433, QD_SIM_CARRIER_MANUAL, true);
    EXPECT_EQ(portIn(889), 0x00);
    load(0x33, 0x0F);  // 433
    EXPECT_EQ(portIn(889), 0x40);
    load(0x32, 0x0F);
    EXPECT_EQ(portIn(889), 0x00);

    // Carriers from the activity generator count the same.
    qdSimSetCarrier(sim, 432, QD_SIM_CARRIER_ACTIVITY, true);
    EXPECT_EQ(portIn(889), 0x40);
}

TEST_F(Simulator, TrafficLogRecordsEachAccessInOrder)
{
    load(0x32, 0x0F);
    int status = portIn(889);
    Sleep(2);
    load(-124, 0x08);

    struct Expected {
        int port, value, direction;
    } expected[] = {{888, 0x32, QD_SIM_OUT},
                    {890, 0x0F, QD_SIM_OUT},
                    {889, status, QD_SIM_IN},
                    {888, 0x84, QD_SIM_OUT},
                    {890, 0x08, QD_SIM_OUT}};
    ASSERT_EQ(sim->writeIndex, 5);
    int64_t previous = 0;
    for (int i = 0; i < 5; ++i) {
        QdSimLogEntry e;
        ASSERT_TRUE(qdSimLogRead(sim, i, &e)) << i;
        EXPECT_EQ(e.port, expected[i].port) << i;
        EXPECT_EQ(e.value, expected[i].value) << i;
        EXPECT_EQ(e.direction, expected[i].direction) << i;
        EXPECT_GT(e.time, previous) << i;
        EXPECT_GE(qdSimMicros(sim, e.time), 0) << i;
        previous = e.time;
    }
    QdSimLogEntry e;
    EXPECT_FALSE(qdSimLogRead(sim, 5, &e)) << "nothing written there yet";
}

TEST_F(Simulator, LogRingKeepsTheNewestEntries)
{
    const int total = QD_SIM_LOG_CAPACITY + 1000;
    for (int i = 0; i < total; ++i)
        portOut(888, i);
    ASSERT_EQ(sim->writeIndex, total);
    LONG64 first = qdSimLogFirst(sim);
    EXPECT_EQ(first, total - static_cast<LONG64>(QD_SIM_LOG_CAPACITY));
    QdSimLogEntry e;
    EXPECT_FALSE(qdSimLogRead(sim, first - 1, &e)) << "overwritten";
    ASSERT_TRUE(qdSimLogRead(sim, first, &e));
    EXPECT_EQ(e.value, first & 0xFF);
    ASSERT_TRUE(qdSimLogRead(sim, total - 1, &e));
    EXPECT_EQ(e.value, (total - 1) & 0xFF);
}

// The trigger changes the transmit line inside io.dll right after the access
// it names: the access itself still sees the line as it was, the next one the
// change. It fires once.
TEST_F(Simulator, TriggerChangesTheLineRightAfterTheChosenAccess)
{
    qdSimSetCarrier(sim, 460, QD_SIM_CARRIER_MANUAL, true);
    // Right after the load of 440: not after another channel's load.
    ASSERT_TRUE(qdSimArmTrigger(sim, true, 440, 0));
    load(0x32, 0x0F);  // 432
    EXPECT_EQ(portIn(889), 0x00);
    load(0x40, 0x0F);  // 440
    LONG64 control440 = sim->writeIndex - 1;
    EXPECT_EQ(sim->triggerFiredAt, control440 + 1);
    EXPECT_EQ(portIn(889), 0x80);
    EXPECT_EQ(sim->triggerState, QD_SIM_TRIGGER_IDLE);

    // Released right after the first status read that follows a load of 460:
    // that read still shows the line keyed (and the carrier), the next one not.
    ASSERT_TRUE(qdSimArmTrigger(sim, false, 460, 1));
    EXPECT_EQ(portIn(889), 0x80) << "reads before the load do not count";
    load(0x60, 0x0F);  // 460
    EXPECT_EQ(portIn(889), 0xC0);
    EXPECT_EQ(sim->keyed, 0);
    EXPECT_EQ(sim->triggerFiredAt, sim->writeIndex);
    EXPECT_EQ(portIn(889), 0x40);

    // At the third status read from arming; only status reads count.
    ASSERT_TRUE(qdSimArmTrigger(sim, true, -1, 3));
    EXPECT_EQ(portIn(888), 0x60);
    EXPECT_EQ(portIn(889), 0x40);
    load(0x32, 0x0F);
    EXPECT_EQ(portIn(889), 0x00);
    EXPECT_EQ(portIn(889), 0x00);
    EXPECT_EQ(portIn(889), 0x80);
    // Once only: released by hand, it stays released.
    InterlockedExchange(&sim->keyed, 0);
    load(0x40, 0x0F);
    EXPECT_EQ(portIn(889), 0x00);

    // Taken back before it fires, it never does.
    ASSERT_TRUE(qdSimArmTrigger(sim, true, 432, 0));
    qdSimDisarmTrigger(sim);
    load(0x32, 0x0F);
    EXPECT_EQ(portIn(889), 0x00);
    EXPECT_EQ(sim->triggerFiredAt, 0);

    EXPECT_FALSE(qdSimArmTrigger(sim, true, -1, 0)) << "a trigger that could never fire";
    EXPECT_FALSE(qdSimArmTrigger(sim, true, QD_SIM_CHANNELS, 0));
}

TEST_F(Simulator, SimctlArmsAndWaitsForTheTrigger)
{
    std::string out;
    ASSERT_EQ(runTool("simctl.exe", "trigger key load 145.750 reads 2"), 0);
    EXPECT_EQ(runTool("simctl.exe", "trigger wait 50"), 1) << "not fired yet: a timeout";
    load(0x44, 0x0F);  // 444
    EXPECT_EQ(portIn(889), 0x00);
    EXPECT_EQ(portIn(889), 0x00);
    EXPECT_EQ(portIn(889), 0x80);
    ASSERT_EQ(runTool("simctl.exe", "trigger wait", &out), 0);
    EXPECT_EQ(out, std::to_string(sim->writeIndex - 1) + "\n");

    ASSERT_EQ(runTool("simctl.exe", "trigger unkey reads 1"), 0);
    EXPECT_EQ(portIn(889), 0x80);
    EXPECT_EQ(portIn(889), 0x00);

    ASSERT_EQ(runTool("simctl.exe", "trigger key load 432"), 0);
    ASSERT_EQ(runTool("simctl.exe", "trigger off"), 0);
    load(0x32, 0x0F);
    EXPECT_EQ(portIn(889), 0x00);

    for (const char *bad : {"trigger", "trigger key reads 0", "trigger key load 1000", "trigger key reads",
                            "trigger key reads -1", "trigger maybe", "trigger key load 440 load 441"}) {
        EXPECT_EQ(runTool("simctl.exe", bad), 2) << bad;
    }
}

TEST_F(Simulator, TheOtherEntryPointsLeaveTheTransceiverAlone)
{
    load(0x32, 0x0F);
    LONG64 logged = sim->writeIndex;
    entry<void(WINAPI *)(int, int)>(io, "PortWordOut")(888, 0x1234);
    entry<void(WINAPI *)(int, DWORD)>(io, "PortDWordOut")(888, 0x12345678);
    EXPECT_EQ(entry<int(WINAPI *)(int)>(io, "PortWordIn")(889), 0);
    EXPECT_EQ(entry<DWORD(WINAPI *)(int)>(io, "PortDWordIn")(889), 0u);
    entry<void(WINAPI *)(int, int)>(io, "SetPortBit")(890, 1);
    entry<void(WINAPI *)(int, int)>(io, "ClrPortBit")(890, 1);
    entry<void(WINAPI *)(int, int)>(io, "NotPortBit")(890, 1);
    EXPECT_EQ(entry<int(WINAPI *)(int, int)>(io, "GetPortBit")(889, 6), 0);
    entry<void(WINAPI *)(int, int)>(io, "RightPortShift")(888, 1);
    entry<void(WINAPI *)(int, int)>(io, "LeftPortShift")(888, 1);
    EXPECT_EQ(entry<int(WINAPI *)()>(io, "IsDriverInstalled")(), 0);
    EXPECT_EQ(sim->channel, 432);
    EXPECT_EQ(sim->dataLatch, 0x32);
    EXPECT_EQ(sim->writeIndex, logged);
}

// simctl finds io.dll beside itself in a folder whose name the ANSI code page
// cannot spell (Greek and CJK letters).
TEST_F(Simulator, SimctlTunesFromAFolderNamedInAnyScript)
{
    wchar_t temp[MAX_PATH];
    ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
    const std::wstring folder = std::wstring(temp) + L"\x03a3\x03c4\x03b1\x03b8\x03bc\x03cc\x03c2 \x7121\x7dda\\";
    BOOL lost = FALSE;
    char ansi[MAX_PATH * 2];
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, folder.c_str(), -1, ansi, sizeof ansi, nullptr, &lost);
    ASSERT_TRUE(lost) << "the ANSI code page spells the folder's name: nothing would be tested";
    CreateDirectoryW(folder.c_str(), nullptr);
    std::string own = ownFolder();
    std::wstring ownWide(own.begin(), own.end());  // our build folder's name is ASCII
    for (const wchar_t *file : {L"simctl.exe", L"io.dll"}) {
        ASSERT_TRUE(CopyFileW((ownWide + file).c_str(), (folder + file).c_str(), FALSE))
            << "cannot copy a file: error " << GetLastError();
    }
    std::wstring cmd = L"\"" + folder + L"simctl.exe\" tune 400";
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    ASSERT_TRUE(CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        << "error " << GetLastError();
    DWORD code = 99;
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 60000), static_cast<DWORD>(WAIT_OBJECT_0));
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(sim->channel, 400);
}

TEST_F(Simulator, SimctlReadsAndDrivesTheSimulatorFromAnotherProcess)
{
    load(0x32, 0x0F);
    std::string out;
    ASSERT_EQ(runTool("simctl.exe", "channel", &out), 0);
    EXPECT_EQ(out, "432\n");

    // --name picks the simulator whatever the environment says.
    SetEnvironmentVariableA(QD_SIM_NAME_VARIABLE, "Local\\QD7150SimNobody");
    EXPECT_EQ(runTool("simctl.exe", "channel"), 3);
    EXPECT_EQ(runTool("simctl.exe", "--name " + mappingName + " channel", &out), 0);
    EXPECT_EQ(out, "432\n");
    SetEnvironmentVariableA(QD_SIM_NAME_VARIABLE, mappingName.c_str());

    ASSERT_EQ(runTool("simctl.exe", "carrier 440 on"), 0);
    EXPECT_EQ(sim->carrier[440], QD_SIM_CARRIER_MANUAL);
    ASSERT_EQ(runTool("simctl.exe", "carrier 145.600 on"), 0);
    EXPECT_EQ(portIn(889), 0x40);
    ASSERT_EQ(runTool("simctl.exe", "key"), 0);
    EXPECT_EQ(portIn(889), 0xC0);
    ASSERT_EQ(runTool("simctl.exe", "status", &out), 0);
    EXPECT_EQ(out, "channel=432 frequency=145.600 keyed=1 signal=1 loads=1 log=4 activity=0\n");
    ASSERT_EQ(runTool("simctl.exe", "unkey"), 0);
    EXPECT_EQ(sim->keyed, 0);
    ASSERT_EQ(runTool("simctl.exe", "carriers", &out), 0);
    EXPECT_EQ(out, "432,145.600,manual\n440,145.700,manual\n");
    ASSERT_EQ(runTool("simctl.exe", "carrier 440 off"), 0);
    EXPECT_EQ(sim->carrier[440], 0);
    ASSERT_EQ(runTool("simctl.exe", "clear"), 0);
    EXPECT_EQ(sim->carrier[432], 0);

    // simctl loads through io.dll as the program does; the log shows both.
    ASSERT_EQ(runTool("simctl.exe", "tune 384"), 0);
    EXPECT_EQ(sim->channel, 384);
    ASSERT_EQ(runTool("simctl.exe", "log --out", &out), 0);
    std::vector<std::string> rows = lines(out);
    ASSERT_EQ(rows.size(), 5u) << out;
    EXPECT_EQ(rows[0], "index,time_us,dir,port,value");
    const char *const tails[] = {",out,888,50", ",out,890,15", ",out,888,132", ",out,890,8"};
    const char *const heads[] = {"0,", "1,", "4,", "5,"};
    long long previous = -1;
    for (int i = 0; i < 4; ++i) {
        const std::string &row = rows[i + 1];
        EXPECT_EQ(row.rfind(heads[i], 0), 0u) << row;
        EXPECT_EQ(row.substr(row.size() - strlen(tails[i])), tails[i]) << row;
        long long us = _strtoi64(row.c_str() + row.find(',') + 1, nullptr, 10);
        EXPECT_GT(us, previous) << row;
        previous = us;
    }
    ASSERT_EQ(runTool("simctl.exe", "mark", &out), 0);
    EXPECT_EQ(out, "6\n");
    ASSERT_EQ(runTool("simctl.exe", "log --from 5", &out), 0);
    rows = lines(out);
    ASSERT_EQ(rows.size(), 2u) << out;
    EXPECT_EQ(rows[1].rfind("5,", 0), 0u);
}

TEST_F(Simulator, SimctlWaitsForALoad)
{
    ASSERT_EQ(runTool("simctl.exe", "wait-channel 432 50"), 1) << "nothing loaded: a timeout";
    load(0x32, 0x0F);
    EXPECT_EQ(runTool("simctl.exe", "wait-channel 432"), 0);
    EXPECT_EQ(runTool("simctl.exe", "wait-loads 1"), 0);
    EXPECT_EQ(runTool("simctl.exe", "wait-loads 2 50"), 1);
}

TEST_F(Simulator, SimctlRefusesBadUsage)
{
    EXPECT_EQ(runTool("simctl.exe", "carrier 1000 on"), 2);
    EXPECT_EQ(runTool("simctl.exe", "carrier 440 maybe"), 2);
    EXPECT_EQ(runTool("simctl.exe", "frobnicate"), 2);
}

TEST(SimulatorNotRunning, SimctlSaysSoAndHoldKeepsItAlive)
{
    char name[128];
    wsprintfA(name, "Local\\QD7150SimAbsent-%lu", GetCurrentProcessId());
    SetEnvironmentVariableA(QD_SIM_NAME_VARIABLE, name);
    EXPECT_EQ(runTool("simctl.exe", "status"), 3);

    // `hold` makes the simulator and keeps it until `release`.
    HANDLE holder = startTool("simctl.exe", "hold");
    ASSERT_NE(holder, nullptr);
    EXPECT_TRUE(eventually([] { return runTool("simctl.exe", "carrier 440 on") == 0; }));
    std::string out;
    EXPECT_EQ(runTool("simctl.exe", "carriers", &out), 0);
    EXPECT_EQ(out, "440,145.700,manual\n") << "state kept between two simctl runs";
    EXPECT_EQ(runTool("simctl.exe", "release"), 0);
    EXPECT_EQ(WaitForSingleObject(holder, 20000), WAIT_OBJECT_0);
    DWORD code = 99;
    GetExitCodeProcess(holder, &code);
    EXPECT_EQ(code, 0u);
    CloseHandle(holder);
    EXPECT_TRUE(eventually([] { return runTool("simctl.exe", "status") == 3; }))
        << "gone with its last holder";
    SetEnvironmentVariableA(QD_SIM_NAME_VARIABLE, nullptr);
}

// The front panel as another process: its options, the PTT button held and
// released, a carrier typed in, the activity box, and `simctl release`.
TEST_F(Simulator, FrontPanelDrivesTheSimulator)
{
    HANDLE panel = startTool("qd7150-sim.exe", "--carrier 447 --carrier 145.650");
    ASSERT_NE(panel, nullptr);
    HWND wnd = nullptr;
    ASSERT_TRUE(eventually([&] {
        wnd = panelWindowOf(GetProcessId(panel));
        return wnd && IsWindowVisible(wnd);
    }));
    char title[64];
    GetWindowTextA(wnd, title, sizeof title);
    EXPECT_STREQ(title, "QD-7150 simulator");
    EXPECT_EQ(sim->carrier[447], QD_SIM_CARRIER_MANUAL);
    EXPECT_EQ(sim->carrier[436], QD_SIM_CARRIER_MANUAL);

    HWND ptt = GetDlgItem(wnd, 101);
    ASSERT_NE(ptt, nullptr);
    // The window's own activation may still move the focus after the first
    // press, which rightly lets the PTT go: press again until a press holds
    // through a load and a status read.
    EXPECT_TRUE(eventually([&] {
        if (sim->keyed == 0) {
            PostMessageA(ptt, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
            return false;
        }
        load(0x32, 0x0F);
        return portIn(889) == 0x80;
    }));
    // Pressed again while held, with the mouse capture the button has already
    // (as after a press whose release went with the focus): still held. Sent,
    // so that it has been handled when the call returns.
    DWORD_PTR answer = 0;
    ASSERT_TRUE(SendMessageTimeoutA(ptt, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10), SMTO_NORMAL, 10000,
                                    &answer));
    EXPECT_EQ(sim->keyed, 1) << "a second press while held lets the PTT go";
    PostMessageA(ptt, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
    EXPECT_TRUE(eventually([&] { return sim->keyed == 0; }));

    HWND edit = GetDlgItem(wnd, 103);
    ASSERT_NE(edit, nullptr);
    SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("432"));
    SendMessageA(GetDlgItem(wnd, 104), BM_CLICK, 0, 0);
    EXPECT_TRUE(eventually([&] { return sim->carrier[432] == QD_SIM_CARRIER_MANUAL; }));
    EXPECT_EQ(portIn(889), 0x40);
    SendMessageA(GetDlgItem(wnd, 104), BM_CLICK, 0, 0);
    EXPECT_TRUE(eventually([&] { return sim->carrier[432] == 0; }));

    SendMessageA(GetDlgItem(wnd, 102), BM_CLICK, 0, 0);
    EXPECT_TRUE(eventually([&] { return sim->activity == 1; }));
    SendMessageA(GetDlgItem(wnd, 102), BM_CLICK, 0, 0);
    EXPECT_TRUE(eventually([&] { return sim->activity == 0; }));

    // The Clear button takes every hand-set carrier off.
    SendMessageA(GetDlgItem(wnd, 105), BM_CLICK, 0, 0);
    EXPECT_TRUE(eventually([&] { return sim->carrier[447] == 0 && sim->carrier[436] == 0; }));

    EXPECT_EQ(runTool("simctl.exe", "release"), 0);
    EXPECT_EQ(WaitForSingleObject(panel, 20000), WAIT_OBJECT_0);
    DWORD code = 99;
    GetExitCodeProcess(panel, &code);
    EXPECT_EQ(code, 0u);
    CloseHandle(panel);
}

// The band-activity generator brings carriers to its channels, and takes
// them all away again when it stops.
TEST_F(Simulator, BandActivityComesAndGoesOnItsChannels)
{
    HANDLE panel = startTool("qd7150-sim.exe", "--activity --seed 12345");
    ASSERT_NE(panel, nullptr);
    auto anyActivity = [&] {
        for (int ch = 0; ch < QD_SIM_CHANNELS; ++ch)
            if (sim->carrier[ch] & QD_SIM_CARRIER_ACTIVITY)
                return true;
        return false;
    };
    // The first stations come up within 15 s.
    bool seen = false;
    for (int i = 0; i < 300 && !seen; ++i) {
        seen = anyActivity();
        Sleep(100);
    }
    EXPECT_TRUE(seen);
    for (int ch = 0; ch < QD_SIM_CHANNELS; ++ch) {
        bool generatorChannel = (ch >= 432 && ch <= 447) || ch == 400 || ch == 404 ||
                                ch == 416 || ch == 424 || ch == 428;
        if (!generatorChannel) {
            EXPECT_EQ(sim->carrier[ch], 0) << ch;
        }
    }
    InterlockedExchange(&sim->activity, 0);
    EXPECT_TRUE(eventually([&] { return !anyActivity(); }));
    EXPECT_EQ(runTool("simctl.exe", "release"), 0);
    EXPECT_EQ(WaitForSingleObject(panel, 20000), WAIT_OBJECT_0);
    CloseHandle(panel);
}

}  // namespace

// The port library binding, run from folders that hold different io.dll files:
//   binding_tests.exe full       our test library with all thirteen entry points
//   binding_tests.exe noportin   a library without PortIn
//   binding_tests.exe noportout  a library without PortOut
//   binding_tests.exe missing    no library to be found
//   binding_tests.exe planted    a library only in the working directory
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "radio/platform_seam.h"
#include "radio/port_library.h"
#include "radio/port_protocol.h"

namespace {

std::string mode;

const char *const otherNames[] = {"PortWordOut", "PortDWordOut", "PortWordIn", "PortDWordIn",
                                  "SetPortBit", "ClrPortBit", "NotPortBit", "GetPortBit",
                                  "RightPortShift", "LeftPortShift", "IsDriverInstalled"};

FARPROC *const otherSlots[] = {&PortWordOut, &PortDWordOut, &PortWordIn, &PortDWordIn, &SetPortBit, &ClrPortBit,
                               &NotPortBit, &GetPortBit, &RightPortShift, &LeftPortShift, &IsDriverInstalled};

void noWait(unsigned) {}

FARPROC exported(const char *name)
{
    return GetProcAddress(portLibrary, name);
}

// Loads and status reads must neither crash nor block, whatever the slots hold.
void exercisePort()
{
    settleWait = noWait;
    tuneChannel(432);
    tuneChannel(384);
    (void)channelBusy();
    (void)transmitKeyed();
}

TEST(Binding, SlotsFollowTheLibrary)
{
    // The operator's own error mode, which the binding must leave as it found it.
    const UINT before = SEM_NOGPFAULTERRORBOX;
    SetErrorMode(before);
    int result = bindPortLibrary();
    UINT after = SetErrorMode(0);
    EXPECT_EQ(after, before) << "the error mode was not put back";
    if (mode == "missing" || mode == "planted") {
        EXPECT_EQ(result, 1);
        EXPECT_EQ(portLibrary, nullptr);
        EXPECT_EQ(PortOut, nullptr);
        EXPECT_EQ(PortIn, nullptr);
        for (FARPROC *slot : otherSlots) {
            EXPECT_EQ(*slot, nullptr);
        }
        exercisePort();
        EXPECT_EQ(channelBusy(), 0);
        EXPECT_EQ(transmitKeyed(), 0);
        return;
    }

    ASSERT_EQ(result, 0);
    ASSERT_NE(portLibrary, nullptr);
    // The library comes from the program's own folder.
    char path[MAX_PATH];
    GetModuleFileNameA(portLibrary, path, sizeof path);
    std::string folder = path;
    folder = folder.substr(0, folder.find_last_of('\\'));
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string own = path;
    EXPECT_EQ(folder, own.substr(0, own.find_last_of('\\')));

    EXPECT_EQ(reinterpret_cast<void *>(PortOut), reinterpret_cast<void *>(exported("PortOut")));
    EXPECT_EQ(PortOut == nullptr, mode == "noportout");
    for (size_t i = 0; i < sizeof otherSlots / sizeof otherSlots[0]; ++i) {
        EXPECT_EQ(*otherSlots[i], exported(otherNames[i])) << otherNames[i];
        EXPECT_NE(*otherSlots[i], nullptr) << otherNames[i];
    }

    // Loaded with Windows' own boxes for a damaged file or an empty drive off,
    // on top of what the process had.
    using ModeProc = UINT(WINAPI *)();
    auto modeAtLoad = reinterpret_cast<ModeProc>(reinterpret_cast<void *>(exported("TestErrorModeAtLoad")));
    ASSERT_NE(modeAtLoad, nullptr);
    EXPECT_EQ(modeAtLoad(), before | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);

    using CountProc = int(WINAPI *)();
    using WriteProc = int(WINAPI *)(int, int);
    auto count = reinterpret_cast<CountProc>(reinterpret_cast<void *>(exported("TestWriteCount")));
    auto write = reinterpret_cast<WriteProc>(reinterpret_cast<void *>(exported("TestWrite")));
    ASSERT_NE(count, nullptr);
    exercisePort();
    if (mode == "noportout") {
        // Nothing to write with; the status line still reads.
        EXPECT_EQ(count(), 0);
        EXPECT_EQ(channelBusy(), 1);
        return;
    }
    // 432 then 384: the data byte 0x84 travels as a negative signed byte.
    const int expected[4][2] = {{888, 0x32}, {890, 0x0F}, {888, -124}, {890, 0x08}};
    ASSERT_EQ(count(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(write(i, 0), expected[i][0]) << "write " << i;
        EXPECT_EQ(write(i, 1), expected[i][1]) << "write " << i;
    }

    if (mode == "noportin") {
        EXPECT_EQ(PortIn, nullptr);
        EXPECT_EQ(channelBusy(), 0);
        EXPECT_EQ(transmitKeyed(), 0);
    } else {
        EXPECT_EQ(reinterpret_cast<void *>(PortIn), reinterpret_cast<void *>(exported("PortIn")));
        // Only the low 8 bits are the status byte: 0x40, a signal, not keyed.
        EXPECT_EQ(readStatus(), 0x40);
        EXPECT_EQ(channelBusy(), 1);
        EXPECT_EQ(transmitKeyed(), 0);
    }
}

}  // namespace

int main(int argc, char **argv)
{
    testing::InitGoogleTest(&argc, argv);
    mode = argc > 1 ? argv[1] : "";
    if (mode != "full" && mode != "noportin" && mode != "noportout" && mode != "missing" && mode != "planted") {
        fprintf(stderr, "usage: binding_tests.exe full|noportin|noportout|missing|planted\n");
        return 2;
    }
    return RUN_ALL_TESTS();
}

// One flag word per band channel: its scan mode (bits 0-2, a whole value) and
// its duplex class (one of bits 3-5).
#pragma once

#include <cstdint>

enum ChannelScanMode : int32_t {
    ModeOff = 1,   // passed without being tuned
    ModeJump = 2,  // when busy, held once for about a second and then left
    ModeOn = 4,    // scanned normally
};

constexpr int32_t ScanModeMask = 0x07;
constexpr int32_t SimplexFlag = 0x08;  // duplex class simplex: duplexMode 2
constexpr int32_t DuplexFlag = 0x10;   // repeater outputs: duplexMode 1
constexpr int32_t ReverseFlag = 0x20;  // repeater inputs: duplexMode 3

constexpr int channelMemorySize = 161;  // channels 304..464
extern int32_t channelFlags[channelMemorySize];

void fillChannelMemory();
// Lookups outside 304..464 report mode 0 and read nothing.
int channelScanMode(int channel);
int isModeOn(int channel);
int isModeOff(int channel);
int isModeJump(int channel);
// Outside 304..464 this does nothing.
void setChannelScanMode(int channel, int mode);
int channelDuplexMode(int channel);

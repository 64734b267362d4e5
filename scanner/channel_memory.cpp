#include "scanner/channel_memory.h"

#include "radio/channel_plan.h"

int32_t channelFlags[channelMemorySize];

namespace {

bool inMemory(int channel)
{
    return channel >= bandLowChannel && channel <= bandHighChannel;
}

int32_t planWord(int channel)
{
    if (channel >= 384 && channel <= 399) {
        return ModeOn | ReverseFlag;  // repeater inputs
    }
    if (channel >= 432 && channel <= 447) {
        return ModeOn | DuplexFlag;  // repeater outputs
    }
    return ModeOn | SimplexFlag;
}

}  // namespace

void fillChannelMemory()
{
    for (int channel = bandLowChannel; channel <= bandHighChannel; ++channel) {
        channelFlags[channel - bandLowChannel] = planWord(channel);
    }
}

int channelScanMode(int channel)
{
    return inMemory(channel) ? channelFlags[channel - bandLowChannel] & ScanModeMask : 0;
}

int isModeOn(int channel)
{
    return channelScanMode(channel) == ModeOn ? 1 : 0;
}

int isModeOff(int channel)
{
    return channelScanMode(channel) == ModeOff ? 1 : 0;
}

int isModeJump(int channel)
{
    return channelScanMode(channel) == ModeJump ? 1 : 0;
}

void setChannelScanMode(int channel, int mode)
{
    if (!inMemory(channel)) {
        return;
    }
    int32_t &word = channelFlags[channel - bandLowChannel];
    word = (word & 0xF8) | mode;
}

int channelDuplexMode(int channel)
{
    int32_t word = inMemory(channel) ? channelFlags[channel - bandLowChannel] : 0;
    if (word & SimplexFlag) {
        return 2;
    }
    if (word & DuplexFlag) {
        return 1;
    }
    return 3;
}

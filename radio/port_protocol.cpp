#include "radio/port_protocol.h"

#include "radio/channel_plan.h"
#include "radio/radio_state.h"

namespace {

int lastLoaded = -1;      // the channel the synthesizer holds, as far as we loaded it
unsigned long loads = 0;  // loads completed since start

// An empty slot (no port library) writes nothing.
void portWrite(int port, int byte)
{
    if (PortOut != nullptr) {
        PortOut(port, static_cast<signed char>(byte & 0xFF));
    }
}

}  // namespace

int toBcd(int n)
{
    int hundreds = n / 100;
    int tens = (n - 100 * hundreds) / 10;
    int units = n - 100 * hundreds - 10 * tens;
    return hundreds * 256 + tens * 16 + units;
}

void tuneChannel(int n)
{
    // Outside 0..999 the digits would not be decimal and the synthesizer would
    // land on a frequency nobody chose: keep the last channel instead.
    if (n < 0 || n > 999) {
        return;
    }
    int word = toBcd(n);
    portWrite(dataPort, word & 0xFF);
    settleWait(settleMs);
    portWrite(controlPort, ((word & 0xF00) >> 8) ^ controlInvert);
    settleWait(settleMs);
    lastLoaded = n;
    ++loads;
}

int lastLoadedChannel()
{
    return lastLoaded;
}

unsigned long loadCount()
{
    return loads;
}

int readStatus()
{
    // Without a port library there is no signal and no transmitter.
    if (PortIn == nullptr) {
        return 0;
    }
    return static_cast<signed char>(PortIn(statusPort) & 0xFF);
}

int channelBusy()
{
    return (readStatus() & busyMask) == busyMask ? 1 : 0;
}

int transmitKeyed()
{
    return (readStatus() & keyedMask) == keyedMask ? 1 : 0;
}

int keyedTransmitChannel(KeyedChoice choice)
{
    return choice.duplexMode == 1 ? shiftedChannel(choice.channel, radioState.shiftChannels) : choice.channel;
}

GateLoad loadSynthesizer(int listen, KeyedChoice keyed)
{
    RadioState &rs = radioState;
    GateLoad result{-1, transmitKeyed() != 0, false};
    rs.txActive = result.keyed ? 1 : 0;
    result.lineChanged = rs.txActive != rs.prevTxActive;
    rs.prevTxActive = rs.txActive;
    int target = listen;
    if (result.keyed) {
        // Keyed, the transmitter is never moved off the band (the shift near a
        // band edge puts the transmit channel there): nothing is written, and
        // the synthesizer stays on the channel inside the band it holds. Should
        // it hold one outside (received on in reverse duplex just before the
        // working changed), the chosen channel itself is loaded instead.
        target = keyedTransmitChannel(keyed);
        if (!isBandChannel(target)) {
            target = (!isBandChannel(lastLoaded) && isBandChannel(keyed.channel)) ? keyed.channel : -1;
        }
    }
    if (target >= 0 && target <= 999) {
        tuneChannel(target);
        result.loaded = target;
    }
    return result;
}

GateLoad loadOperatorChannel(int n)
{
    // The same rule as the RX and TX texts, so the channel loaded and the
    // displayed frequency never disagree.
    return loadSynthesizer(receiveChannel(n), KeyedChoice{n, radioState.duplexMode});
}

void stepUp(int k)
{
    RadioState &rs = radioState;
    rs.channel = (rs.channel + k >= bandHighChannel) ? bandHighChannel : rs.channel + k;
    loadOperatorChannel(rs.channel);
}

void stepDown(int k)
{
    RadioState &rs = radioState;
    rs.channel = (rs.channel - k <= bandLowChannel) ? bandLowChannel : rs.channel - k;
    loadOperatorChannel(rs.channel);
}

#include "radio/port_protocol.h"

#include "radio/channel_plan.h"
#include "radio/radio_state.h"
#include "scanner/scanner.h"

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

void keepTransmitterInBand(int n)
{
    if (!isBandChannel(lastLoaded) && isBandChannel(n)) {
        tuneChannel(n);
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

void tuneHome()
{
    tuneChannel(homeChannel);
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

void retune(int n, PanelWindow window)
{
    RadioState &rs = radioState;
    rs.txActive = transmitKeyed();
    // The same rule as the RX and TX texts, so the channel loaded and the
    // displayed frequency never disagree.
    bool shifted = rs.txActive ? rs.duplexMode == 1 : rs.duplexMode == 3;
    int target = shifted ? shiftedChannel(n, rs.shiftChannels) : n;
    if (!rs.txActive || isBandChannel(target)) {
        tuneChannel(target);
    } else {
        // Keyed, the transmitter is never moved off the band (the shift near a
        // band edge puts the transmit channel there): nothing is written, and
        // the synthesizer stays on the channel inside the band it holds. Should
        // it hold one outside (received on in reverse duplex just before the
        // working changed), the selected channel itself is loaded instead.
        keepTransmitterInBand(n);
    }
    if (rs.txActive != rs.prevTxActive && window != nullptr) {
        showFrequencies(window, n);
        showScannerStatus(window);
    }
    rs.prevTxActive = rs.txActive;
}

void stepUp(int k)
{
    RadioState &rs = radioState;
    rs.channel = (rs.channel + k >= bandHighChannel) ? bandHighChannel : rs.channel + k;
    retune(rs.channel, nullptr);
}

void stepDown(int k)
{
    RadioState &rs = radioState;
    rs.channel = (rs.channel - k <= bandLowChannel) ? bandLowChannel : rs.channel - k;
    retune(rs.channel, nullptr);
}

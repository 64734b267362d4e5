// Recording doubles for the core's seam: port writes with the waits between
// them, a scripted status line, and the texts written per control. The double
// also plays the transceiver's squelch: a channel in busyChannels reads busy
// (status bit 6) while it is the channel last loaded. Its transmit line can be
// keyed or released right after a chosen port access (lineChanges).
#pragma once

#include <deque>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

struct PortEvent {
    enum Kind { Write, Wait } kind;
    int port;   // Write: the port written
    int value;  // Write: the low 8 bits written; Wait: milliseconds
    bool operator==(const PortEvent &o) const { return kind == o.kind && port == o.port && value == o.value; }
};

// Failing comparisons print write(port, 0xNN) and wait(ms).
void PrintTo(const PortEvent &e, std::ostream *os);

PortEvent write(int port, int value);
PortEvent wait(int ms);

// Channels loaded, decoded from the recorded data and control bytes.
std::vector<int> loadedChannels();

// The transmit line keyed (or released) at a chosen moment: right after the
// load of `value` (its control write), or at status read number `value` (from
// 1, counted in reads), which is the first to see it. Each fires once.
struct LineChange {
    enum Trigger { AfterLoadOf, AtRead } trigger;
    int value;
    bool keyed = true;
};

// A load and whether the transmit line was keyed as it completed.
struct LineLoad {
    int channel;
    bool keyed;
    bool operator==(const LineLoad &o) const { return channel == o.channel && keyed == o.keyed; }
};
void PrintTo(const LineLoad &l, std::ostream *os);

struct PortDouble {
    std::vector<PortEvent> events;
    std::deque<int> script;   // status bytes PortIn returns first, one per read
    int status = 0;           // returned once the script is used up, with
                              // bit 6 added while the tuned channel is busy
    std::set<int> busyChannels;
    int tuned = -1;           // channel decoded from the last data/control pair
    int reads = 0;
    int readPort = -1;        // port of the last PortIn call
    std::vector<LineChange> lineChanges;  // pending, fired in order of their moments
    std::vector<LineLoad> lineLoads;      // every load, with the line as it completed
    std::map<int, std::string> texts;  // last text per control id
    std::map<int, int> textWrites;     // writes per control id
    std::vector<int> textOrder;        // control ids in the order written
};

extern PortDouble port;

// A station on the air on `channel` during ticks from..to-1.
struct Signal {
    int channel, from, to;
};

// Makes busy the channels whose stations are on the air at `tick`, and only those.
void setBusyAt(const std::vector<Signal> &signals, int tick);

// The channels loaded while the line was keyed.
std::vector<int> keyedLoads();

// Fills the seam with the recorders, clears the records and puts RadioState and
// the channel memory back to their start values (memory filled, duplex mode 1).
void resetCore();

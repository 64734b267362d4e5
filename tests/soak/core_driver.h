// Drives the radio core and the panel's command handlers through the seam, one
// step at a time, with recording doubles in every slot, and checks each step:
// the wire protocol of every load, the texts written, the radio state against
// a small reference model of the scanner and the panel, and the invariants that
// must hold whatever the operator and the transceiver do. Shared by the soak
// test and the fuzz target.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace drive {

enum class Kind {
    Tick,      // one 10 ms timer tick of the open panel
    Command,   // one WM_COMMAND of the panel; value is the control id
    Reopen,    // the panel closed and opened again from the menu
    ShiftRun,  // the shift after a long run of shift presses; value is the shift reached
    Library,   // the port library's slots: bit 0 PortOut bound, bit 1 PortIn bound
};

struct Step {
    Kind kind;
    int32_t value;
};

std::string describe(const Step &step);

// Every control id the panel's command handler acts on.
const std::vector<int> &panelCommands();
// Ids that reach the handler and must change nothing (IDOK and IDCANCEL are
// the dialog procedure's own).
const std::vector<int> &ignoredCommands();

// The transceiver's status register as PortIn returns it: a full 32-bit value
// of which only the low 8 bits mean anything. `tuned` is the channel last
// loaded on the wire, -1 before the first load.
using StatusLine = std::function<uint32_t(int tuned)>;

// Puts the radio state and channel memory back to their start values, the
// doubles into the seam, binds both port slots and opens the panel.
// `atAccess`, when given, runs at every port access: just before a status
// read is answered (so a change made at read N is the first that read N
// sees), and right after each byte written (after a control byte, the load
// just completed is named). The transceiver may key or release its transmit
// line there, in the middle of a step: right after the load of a chosen
// channel, or at a chosen status read. Every load is checked as it completes:
// with the line read keyed right before it, it must lie in the band and be
// the transmit channel the keyed rules pick.
// Returns a fault of the opening, or an empty string.
struct PortAccess {
    bool read;           // a status read; otherwise a byte written
    unsigned long reads; // status reads since start, this one included
    int loaded;          // the channel whose load this write completed, or -1
};
using AccessHook = std::function<void(const PortAccess &)>;
std::string start(StatusLine line, AccessHook atAccess = {});

// Runs one step and checks it. Returns an empty string, or the first fault.
std::string run(const Step &step);

// The channel last loaded on the wire, -1 before the first load.
int tunedChannel();

}  // namespace drive

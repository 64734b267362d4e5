// The panel's tooltips: every button and the frequency and scanner displays
// say in plain words what they do, with the key where there is one. The
// tooltip control comes from comctl32, loaded at run time from the system
// folder; without it the panel simply has no tips.
#pragma once

#include <windows.h>

// Makes the panel's tooltip control and its tools; once the panel's controls exist.
void addPanelTips(HWND dialog);

// Destroys the tooltip control, which takes its tools with it.
void removePanelTips();

// Lets the tips show, or hides the one showing and lets none show: the panel
// shows none while a box of its own is open over it (TTS_ALWAYSTIP would show
// them over the disabled panel, covering the box).
void setPanelTipsActive(bool active);

// The frequency display's tip says first what the operator cannot see on the
// displays: a silent port (io.dll not loaded, or without PortOut) and where
// io.dll belongs, a transmitter that is not followed (io.dll without PortIn),
// a TX frequency outside the band; then what the display does. Written again
// when that changes; the panel calls it after every tick, and it does nothing
// while nothing changed.
void updateFrequencyTip();

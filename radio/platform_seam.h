// The core's only ways out to the platform: the port library's two slots, the
// settle wait after a port write, and writing a control's text. On Windows these
// are the real calls; host tests put recording doubles in their place.
#pragma once

#if defined(_WIN32)
#define PORT_CALL __stdcall
#else
#define PORT_CALL
#endif

// A panel window as the core sees it: an opaque handle (an HWND on Windows).
using PanelWindow = void *;

// io.dll's entry points as we call them: stdcall, undecorated. The value handed
// to PortOut is a signed byte widened to int; only the low 8 bits of PortIn's
// result are the status byte.
using PortOutProc = void(PORT_CALL *)(int port, int value);
using PortInProc = int(PORT_CALL *)(int port);

// The two slots that carry all port traffic; empty until the library is bound.
extern PortOutProc PortOut;
extern PortInProc PortIn;

// Waits at least `ms` milliseconds after a port write.
extern void (*settleWait)(unsigned ms);

// Sets the text of control `id` in `window`.
extern void (*setControlText)(PanelWindow window, int id, const char *text);

// Selects radio button `id` among `first`..`last` of `window` and clears the others.
extern void (*checkRadioButton)(PanelWindow window, int first, int last, int id);

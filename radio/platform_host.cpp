// The seam's defaults for a build without Windows: a real wait, and no panel to
// write to. Tests replace both with recorders.
#include <chrono>
#include <thread>

#include "radio/platform_seam.h"

namespace {

void hostWait(unsigned ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void noPanel(PanelWindow, int, const char *) {}

void noRadio(PanelWindow, int, int, int) {}

}  // namespace

void (*settleWait)(unsigned ms) = hostWait;
void (*setControlText)(PanelWindow window, int id, const char *text) = noPanel;
void (*checkRadioButton)(PanelWindow window, int first, int last, int id) = noRadio;

#include "ui/radio_groups.h"

#include "res/resource.h"

#ifndef BM_SETDONTCLICK
#define BM_SETDONTCLICK 0x00F8  // Vista's; the headers offer it only to programs for Vista on
#endif

namespace {

struct RadioGroup {
    int first, last;  // in template order
    int next;         // the control after the group, which starts a group of its own
};

// Template order: 2010, 2011, then the "Repeater shift" box; 2000, 2001,
// 2002, then "=".
const RadioGroup radioGroups[] = {
    {IDC_SPACING_12K5, IDC_SPACING_25K, IDC_SHIFT_BOX},
    {IDC_DUPLEX, IDC_SIMPLEX, IDC_SHIFT_DEFAULT},
};

void setStyleBits(HWND dialog, int id, LONG bits, bool on)
{
    HWND control = GetDlgItem(dialog, id);
    if (control == nullptr) {
        return;
    }
    LONG style = GetWindowLongA(control, GWL_STYLE);
    SetWindowLongA(control, GWL_STYLE, on ? (style | bits) : (style & ~bits));
}

// A radio button that gets the focus other than by a click (the dialog
// putting the focus back as the panel is activated again, or a box closes)
// clicks itself on Windows from Vista on, which would change the working
// behind the operator's back: told not to, where Windows knows the message.
void neverClickOnFocus(HWND dialog, int id)
{
    HWND control = GetDlgItem(dialog, id);
    if (control != nullptr) {
        SendMessageA(control, BM_SETDONTCLICK, TRUE, 0);
    }
}

}  // namespace

// The tab stop is on the marked button (the first, as the panel opens), or on
// the first when none is marked: an unmarked radio button that gets the focus
// from the keyboard selects itself. From then on the tab stop goes with the
// mark: marking a radio button (BM_SETCHECK) gives it WS_TABSTOP and takes it
// from the others of its set.
void groupRadioButtons(HWND dialog)
{
    for (const RadioGroup &g : radioGroups) {
        int stop = g.first;
        for (int id = g.first; id <= g.last; ++id) {
            if (IsDlgButtonChecked(dialog, id) == BST_CHECKED) {
                stop = id;
            }
        }
        for (int id = g.first; id <= g.last; ++id) {
            setStyleBits(dialog, id, WS_GROUP, id == g.first);
            setStyleBits(dialog, id, WS_TABSTOP, id == stop);
            neverClickOnFocus(dialog, id);
        }
        setStyleBits(dialog, g.next, WS_GROUP, true);
    }
}

bool isGroupedRadioButton(HWND dialog, HWND control)
{
    if (control == nullptr || GetAncestor(control, GA_PARENT) != dialog) {
        return false;
    }
    int id = GetDlgCtrlID(control);
    for (const RadioGroup &g : radioGroups) {
        if (id >= g.first && id <= g.last) {
            return true;
        }
    }
    return false;
}

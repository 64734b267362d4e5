// Resource and control identifiers, grouped by kind.
#pragma once

// Icons
#define IDI_APP 1001

// Dialogs
#define IDD_CONTROL_PANEL 1101
#define IDD_FREQUENCY_BOX 1201

// Menu commands of the main window (the menu itself is the named resource "IDM_MENU")
#define IDM_EXIT 1002
#define IDM_ABOUT 1003
#define IDM_HELP 1004
#define IDM_VFO 1005

// Control panel: channel buttons, Reset and Scan (1102..1109)
#define IDC_FAST_DOWN 1102
#define IDC_FAST_UP 1103
#define IDC_BAND_LOW 1104
#define IDC_BAND_HIGH 1105
#define IDC_STEP_DOWN 1106
#define IDC_STEP_UP 1107
#define IDC_RESET 1108
#define IDC_SCAN 1109

// Control panel: duplex and spacing radio buttons
#define IDC_DUPLEX 2000
#define IDC_REV_DUP 2001
#define IDC_SIMPLEX 2002
#define IDC_SPACING_12K5 2010
#define IDC_SPACING_25K 2011

// Control panel: displays and group boxes
#define IDC_SCANNER_DISPLAY 2101
#define IDC_FREQUENCY_DISPLAY 2112
#define IDC_SHIFT_BOX 2155
#define IDC_FREQUENCY_BOX 2158
#define IDC_SCANNER_BOX 2159
#define IDC_SHIFT_DISPLAY 3004

// Control panel: scan range, watch channel and scan mode (2124..2130)
#define IDC_SCAN_START 2124
#define IDC_SCAN_STOP 2125
#define IDC_WATCH 2126
#define IDC_MODE 2130

// Control panel: repeater shift buttons
#define IDC_SHIFT_DOWN 3001
#define IDC_SHIFT_UP 3002
#define IDC_SHIFT_DEFAULT 3003

// Frequency box: the field and the line under it (4001..4009)
#define IDC_ENTRY_FIELD 4001
#define IDC_ENTRY_LINE 4002

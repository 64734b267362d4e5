# The control panel in process: dialog 1101 with port doubles (tests/win/panel).
qd_wine_test(panel.inprocess @BUILD@/tests/win/panel/panel_tests.exe)

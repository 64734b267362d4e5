# Stress tests of the program (tests/win/stress):
#   stress.panel_openings  the panel opened and closed 200 times through "VFO",
#                          in process; GDI objects, kernel handles and windows
#                          must not grow (about 40 s)
#   stress.click_storm     random clicks (200 a second), signals and keying on
#                          the real program for 20 s, the display answering
#                          within 100 ms throughout, and no load interrupted
#                          in the record of the port traffic (about 30 s)
#   stress.pumping_library the same storm for 10 s with a port library that
#                          pumps the program's messages inside every PortIn
#                          and PortOut, so that ticks and clicks come in the
#                          middle of a load (about 20 s)
# The full-length storm, a minute or longer:
#   QD_STRESS_SECONDS=60 ctest --test-dir BUILD -R win32.stress.click_storm
# and a failed storm again with its seed: QD_STRESS_SEED=<seed> likewise.
qd_wine_test(stress.panel_openings @BUILD@/tests/win/stress/panel_openings.exe)
qd_wine_test(stress.click_storm @BUILD@/tests/win/stress/click_storm.exe
    @BUILD@/tests/win/stress/storm/qd7150.exe)
qd_wine_test(stress.pumping_library @BUILD@/tests/win/stress/click_storm.exe
    @BUILD@/tests/win/stress/pumping/qd7150.exe --seconds 10)

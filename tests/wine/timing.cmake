qd_wine_test(timing.resolution tests/win/timing/timing_tests.exe)

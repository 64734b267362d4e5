qd_wine_test(timing.resolution @BUILD@/tests/win/timing/timing_tests.exe)

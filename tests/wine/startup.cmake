# The real program from start to end, with and without a port library; without
# one, also a second copy started while the first waits at its box.
qd_wine_test(startup.with-io @BUILD@/tests/win/startup/startup_driver.exe
    @BUILD@/tests/win/startup/with-io/qd7150.exe with-io --gtest_filter=Program.*)
qd_wine_test(startup.without-io @BUILD@/tests/win/startup/startup_driver.exe
    @BUILD@/tests/win/startup/without-io/qd7150.exe without-io)

# The real program against the simulated transceiver, driven from outside
# (tests/win/e2e): one test per scenario, so that each stays short and they can
# run side by side.
set(QD_E2E_PROGRAM ${QD_WIN64_DIR}/tests/win/e2e/program/qd7150.exe)
foreach(scenario
        StartUpLoadsHomeThenEveryTick
        KeyingInDuplexFollowsTheTransmitter
        HaltScanStopsOnABusyChannelAndGoesOnWhenItIsFree
        JumpScanHoldsEachBusyChannelBriefly
        BusyWatchChannelOutsideTheRangeIsReached
        WithoutAPanelNothingIsLoaded)
    qd_wine_test(e2e.${scenario} tests/win/e2e/e2e_driver.exe ${QD_E2E_PROGRAM} --gtest_filter=Radio.${scenario})
endforeach()

# The real program against the simulated transceiver, driven from outside
# (tests/win/e2e): one test per scenario, so that each stays short and they can
# run side by side.
foreach(scenario
        StartUpLoadsHomeThenEveryTick
        KeyingInDuplexFollowsTheTransmitter
        HaltScanStopsOnABusyChannelAndGoesOnWhenItIsFree
        JumpScanHoldsEachBusyChannelBriefly
        BusyWatchChannelOutsideTheRangeIsReached
        ARangeSetFromTheTopScansBothEnds
        TransmitOutsideTheBandShowsOnTheDisplay
        KeyingStopsTheScanOnTheChannelItHaltedOn
        KeyingOnARepeaterInputAnswersThereAndTheNextScanStartsAfresh
        KeyedSoonAfterAHaltScanLeftAStationAnswersIt
        KeyedSoonAfterAJumpHoldLeftAStationAnswersIt
        KeyedLongAfterTheScanLeftAStationStopsWhereTheScanIs
        KeyedNothingOutsideTheBandIsLoaded
        WithoutAPanelNothingIsLoaded
        ASecondCopyLeavesTheTransceiverToTheFirst
        ANewCopyStartsOnceTheFirstHasEndedOrBeenKilled)
    qd_wine_test(e2e.${scenario} @BUILD@/tests/win/e2e/e2e_driver.exe
        @BUILD@/tests/win/e2e/program/qd7150.exe --gtest_filter=Radio.${scenario})
endforeach()
# A claim on the port held by a process without windows, for good or for about
# a second; and the claim's name held by an object of another kind, so that no
# claim can be made at all (ClaimTakenByAnotherKind).
foreach(scenario ANewCopySaysTheProgramIsAlreadyRunning ANewCopyStartsOnceTheClaimComesFree)
    qd_wine_test(e2e.${scenario} @BUILD@/tests/win/e2e/e2e_driver.exe
        @BUILD@/tests/win/e2e/program/qd7150.exe --gtest_filter=ClaimTaken*.${scenario})
endforeach()
# The operator's aids and input, through the system's input queue: the tooltip
# of every control under the pointer; the keyboard's way round the panel (Tab
# changes nothing, the arrows select each radio button); keys, wheel notches
# and the frequency box giving their buttons' loads, and nothing while keyed.
# One registered test, so that the Wine environment is made once for them.
qd_wine_test(e2e.OperatorAidsAndInput @BUILD@/tests/win/e2e/e2e_driver.exe
    @BUILD@/tests/win/e2e/program/qd7150.exe --gtest_filter=Aids.*:Operator.*)
# What no key may do, through the system's input queue: the arrows in the radio
# groups while keyed, Enter closing the panel; and the frequency box kept in
# front of the panel (a second copy brings it forward, no tip covers it).
qd_wine_test(e2e.KeysAndTheBoxKeepThePanel @BUILD@/tests/win/e2e/e2e_driver.exe
    @BUILD@/tests/win/e2e/program/qd7150.exe --gtest_filter=Safety.*)
# A winmm.dll and a comctl32.dll planted beside the program are never loaded,
# with Wine told to prefer them to its own.
qd_wine_test(e2e.PlantedLibrariesAreNeverLoaded --dll-overrides winmm,comctl32=n,b
    @BUILD@/tests/win/e2e/e2e_driver.exe
    @BUILD@/tests/win/e2e/planted/qd7150.exe --gtest_filter=PlantedLibraries.AreNeverLoaded)
# The transmit line keyed by the simulated io.dll right after a chosen port
# access of the program's: right after a watch sample, right after the load
# that ends a Jump hold with the next channel locked out, keyed at Reset; and
# the keyboard focus following the mark the keyed stop makes. One registered
# test, one program start for each.
qd_wine_test(e2e.KeyedAtAChosenMoment @BUILD@/tests/win/e2e/e2e_driver.exe
    @BUILD@/tests/win/e2e/program/qd7150.exe --gtest_filter=KeyedAtAChosenMoment.*)
# An evening at the station: the panel opened while keyed (the program started
# keyed, and "VFO" while keyed) loads only the transmit channel, Alt+F4 and
# Close in the system menu close it; a scan started below its range scans the
# range; while scanning, the TX line names where a key-up would transmit.
qd_wine_test(e2e.KeyedOpeningsTheScanRangeAndTheTxLine @BUILD@/tests/win/e2e/e2e_driver.exe
    @BUILD@/tests/win/e2e/program/qd7150.exe --gtest_filter=Evening.*)

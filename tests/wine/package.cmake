# The ZIPs of both builds hold the program, its README, and the simulator apart;
# the i686 one is the package we ship.
# The check unpacks each ZIP, and the program as packed (stripped) then runs
# from start to end under Wine, with no port library beside it.
foreach(build ${QD_BUILDS})
    add_test(NAME ${build}.build.package COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/check_package.py
        ${CMAKE_BINARY_DIR}/package ${build} ${CMAKE_BINARY_DIR}/package/unpacked-${build})
    set_tests_properties(${build}.build.package PROPERTIES FIXTURES_SETUP package-${build})
endforeach()
qd_wine_test(package.startup @BUILD@/tests/win/startup/startup_driver.exe
    ${CMAKE_BINARY_DIR}/package/unpacked-@NAME@/qd7150.exe without-io)
foreach(build ${QD_BUILDS})
    set_tests_properties(${build}.package.startup PROPERTIES FIXTURES_REQUIRED "wine;package-${build}")
endforeach()

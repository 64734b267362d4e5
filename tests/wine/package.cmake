# The package we ship, the i686 build's ZIP (the x86_64 build has none): the
# program, its README and the simulator apart, and nothing else beside it in
# the package folder but SHA256SUMS. The check unpacks the ZIP, and the
# program as packed (stripped) then runs from start to end under Wine, with no
# port library beside it.
add_test(NAME win32.build.package COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/check_package.py
    ${CMAKE_BINARY_DIR}/package ${CMAKE_BINARY_DIR}/package/unpacked)
set_tests_properties(win32.build.package PROPERTIES FIXTURES_SETUP package)
qd_wine_test_of(win32 package.startup @BUILD@/tests/win/startup/startup_driver.exe
    ${CMAKE_BINARY_DIR}/package/unpacked/qd7150.exe without-io)
set_tests_properties(win32.package.startup PROPERTIES FIXTURES_REQUIRED "wine;package")

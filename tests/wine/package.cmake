# The ZIPs of both builds hold the program, its README, and the simulator apart;
# the i686 one is the package we ship.
foreach(build ${QD_BUILDS})
    add_test(NAME ${build}.build.package COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/check_package.py
        ${CMAKE_BINARY_DIR}/package ${build})
endforeach()

# The ZIP we ship holds the i686 program, its README, and the simulator apart.
add_test(NAME build.package COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/check_package.py ${CMAKE_BINARY_DIR}/package)

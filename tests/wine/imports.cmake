# Both builds of the program import only system DLLs and are GUI programs.
add_test(NAME build.imports COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/check-imports.sh
    ${QD_WIN32_DIR}/ui/qd7150.exe ${QD_WIN64_DIR}/ui/qd7150.exe)

# What we ship, in both builds, imports only Known DLLs (and msvcrt): no DLL
# beside the program is loaded in place of a system DLL before our code runs.
set(QD_SHIPPED_BINARIES)
foreach(dir ${QD_WIN32_DIR} ${QD_WIN64_DIR})
    list(APPEND QD_SHIPPED_BINARIES ${dir}/ui/qd7150.exe ${dir}/sim/qd7150-sim.exe ${dir}/sim/simctl.exe
        ${dir}/sim/io.dll)
endforeach()
add_test(NAME build.known-dll-imports COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/check-imports.sh --known-dlls
    ${QD_SHIPPED_BINARIES})

# Windows XP SP3 can load what we ship: every function the i686 binaries
# import, as built and as packed (stripped) in the ZIP, is in the baseline
# with a Windows no newer than XP SP3, and the PE headers ask for 5.1 or lower.
add_test(NAME win32.build.xp-imports COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/check_xp_imports.py
    ${CMAKE_CURRENT_SOURCE_DIR}/xp-imports.txt
    ${QD_WIN32_DIR}/ui/qd7150.exe ${QD_WIN32_DIR}/sim/io.dll ${QD_WIN32_DIR}/sim/qd7150-sim.exe
    ${QD_WIN32_DIR}/sim/simctl.exe ${CMAKE_BINARY_DIR}/package/qd7150-control-${PROJECT_VERSION}-win32.zip)

# The simulated transceiver (sim/): its test program under Wine, and a check of
# both builds' binaries with objdump (plain export names, stdcall on i686,
# system DLLs only).
qd_wine_test(sim.tests @BUILD@/sim/sim_tests.exe)

find_program(QD_PYTHON3 python3 REQUIRED)
find_program(QD_OBJDUMP_I686 i686-w64-mingw32-objdump REQUIRED)
find_program(QD_OBJDUMP_X86_64 x86_64-w64-mingw32-objdump REQUIRED)
foreach(build win32 win64)
    if(build STREQUAL win32)
        # The i686 io.dll's entry points must also be stdcall in their code.
        set(objdump --stdcall ${QD_OBJDUMP_I686})
        set(dir ${QD_WIN32_DIR}/sim)
    else()
        set(objdump ${QD_OBJDUMP_X86_64})
        set(dir ${QD_WIN64_DIR}/sim)
    endif()
    add_test(NAME ${build}.sim.binaries
        COMMAND ${QD_PYTHON3} ${PROJECT_SOURCE_DIR}/sim/tests/check_binaries.py ${objdump}
            ${dir}/io.dll ${dir}/simctl.exe ${dir}/qd7150-sim.exe)
endforeach()

# The package of a Windows build (a ZIP by CPack): the program and a README at
# the top, the simulated transceiver in a folder of its own. The simulator's
# io.dll never lies beside the program, where it would shadow a real port library.
# Only the i686 build has one (cmake/Windows.cmake), and it is the one we ship
# (cmake/CrossBuilds.cmake): its README speaks of the 32-bit program.
# First of all, before strip stamps a binary it packs with SOURCE_DATE_EPOCH
# (without it, with the time it runs): this configuration's value. cpack
# builds the project before it installs, and a new commit or checkout
# configures it again then (cmake/SourceDate.cmake), so the value is that of
# the commit checked out, also when cpack is run by hand. The ZIP is dated
# with it too (cmake/CPackCanonicalZip.cmake).
install(CODE "set(ENV{SOURCE_DATE_EPOCH} ${QD_SOURCE_DATE_EPOCH})")
install(TARGETS qd7150 RUNTIME DESTINATION .)
# The README as Notepad reads it on every Windows from XP on: CR LF, Windows-1252.
set(QD_README ${CMAKE_BINARY_DIR}/README.txt)
add_custom_command(OUTPUT ${QD_README}
    COMMAND python3 ${PROJECT_SOURCE_DIR}/cmake/windows_text.py ${PROJECT_SOURCE_DIR}/docs/README-windows.txt
        ${QD_README}
    DEPENDS ${PROJECT_SOURCE_DIR}/cmake/windows_text.py ${PROJECT_SOURCE_DIR}/docs/README-windows.txt
    COMMENT "Writing README.txt for Windows")
add_custom_target(qd_readme ALL DEPENDS ${QD_README})
install(FILES ${QD_README} DESTINATION .)
install(TARGETS qdsim_io qd7150-sim simctl RUNTIME DESTINATION simulator LIBRARY DESTINATION simulator)

set(CPACK_SYSTEM_NAME win32)
set(CPACK_GENERATOR ZIP)
# The package holds the binaries stripped of their symbols; the build keeps them.
set(CPACK_STRIP_FILES TRUE)
set(CPACK_PACKAGE_NAME qd7150-control)
set(CPACK_PACKAGE_VENDOR "QD-7150 developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Control panel for the QD-7150 transceiver")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
# The same commit packs the same bytes: the binaries are stripped with this
# build's SOURCE_DATE_EPOCH (the install step above sets it), and the ZIP is
# then rewritten in canonical form, dated with it. The value as configured
# last, for the checks (tests/wine/check_source_date.py); cpack itself reads
# this file before it builds, so it does not take the value from here.
set(CPACK_QD_SOURCE_DATE_EPOCH ${QD_SOURCE_DATE_EPOCH})
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/CPackCanonicalZip.cmake)
include(CPack)

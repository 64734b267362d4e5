# The Windows builds of the same source tree, made during the host build, two
# for each machine (i686, the one we ship, and x86_64, built and tested alike
# to catch what one machine alone would hide, never packaged):
#   win32/, win64/              the program and the simulator as we ship them,
#                               built with the win32 thread-model compilers, so
#                               that no threading runtime goes with them
#   win32-tests/, win64-tests/  the Windows test programs with GoogleTest, built
#                               with the posix thread-model compilers; they
#                               drive the programs of the build above them
include(ExternalProject)

option(QD_WINDOWS_BUILDS "Cross-compile the Windows program with MinGW-w64" ON)

set(QD_WIN32_DIR ${CMAKE_BINARY_DIR}/win32)
set(QD_WIN64_DIR ${CMAKE_BINARY_DIR}/win64)
set(QD_WIN32_TESTS_DIR ${CMAKE_BINARY_DIR}/win32-tests)
set(QD_WIN64_TESTS_DIR ${CMAKE_BINARY_DIR}/win64-tests)

if(QD_WINDOWS_BUILDS)
    # The package we ship is the i686 build as a ZIP,
    # build/package/qd7150-control-*-win32.zip, for 32- and 64-bit Windows
    # alike: the port library io.dll is 32-bit, and so must the program be.
    # The x86_64 build is not packaged: no 64-bit port library goes with it.
    # CPack strips the binaries it packs; the build keeps its symbols for the
    # checks.
    # Each Windows build takes SOURCE_DATE_EPOCH from the commit it builds
    # (cmake/SourceDate.cmake), unless it was set in the environment when this
    # build was configured: then that value, handed down.
    set(source_date -DQD_SOURCE_DATE_EPOCH=$ENV{SOURCE_DATE_EPOCH})
    # They find it when they are configured, in the middle of the build; a
    # clone that git refuses stops this configuration already.
    function(qd_check_source_date)
        set(QD_SOURCE_DATE_CHECK_ONLY ON)
        include(${PROJECT_SOURCE_DIR}/cmake/SourceDate.cmake)
    endfunction()
    qd_check_source_date()
    foreach(name_arch win32:i686 win64:x86_64)
        string(REPLACE ":" ";" name_arch ${name_arch})
        list(GET name_arch 0 name)
        list(GET name_arch 1 arch)
        ExternalProject_Add(${name}
            SOURCE_DIR ${PROJECT_SOURCE_DIR}
            BINARY_DIR ${CMAKE_BINARY_DIR}/${name}
            CMAKE_ARGS
                -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw-${arch}.cmake
                -DCMAKE_BUILD_TYPE=Release
                ${source_date}
            INSTALL_COMMAND ""
            BUILD_ALWAYS ON
            USES_TERMINAL_BUILD ON)
        if(QD_TESTS)
            ExternalProject_Add(${name}-tests
                SOURCE_DIR ${PROJECT_SOURCE_DIR}
                BINARY_DIR ${CMAKE_BINARY_DIR}/${name}-tests
                CMAKE_ARGS
                    -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw-${arch}-tests.cmake
                    -DCMAKE_BUILD_TYPE=Release
                    -DQD_SHIPPED_DIR=${CMAKE_BINARY_DIR}/${name}
                    ${source_date}
                INSTALL_COMMAND ""
                BUILD_ALWAYS ON
                USES_TERMINAL_BUILD ON
                DEPENDS ${name})
        endif()
    endforeach()
    # The package folder is made anew at each build: the package, SHA256SUMS
    # with its sum (as sha256sum writes it) and CPack's working folder, and
    # nothing left from an earlier build.
    set(package qd7150-control-${PROJECT_VERSION}-win32.zip)
    add_custom_target(windows-package ALL
        COMMAND ${CMAKE_COMMAND} -E rm -rf ${CMAKE_BINARY_DIR}/package
        COMMAND ${CMAKE_CPACK_COMMAND} -G ZIP -B ${CMAKE_BINARY_DIR}/package
        COMMAND ${CMAKE_COMMAND} -DDIR=${CMAKE_BINARY_DIR}/package -DFILES=${package}
            -P ${PROJECT_SOURCE_DIR}/cmake/Sha256Sums.cmake
        WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/win32
        DEPENDS win32
        COMMENT "Packaging the win32 build, writing package/SHA256SUMS")
endif()

# The two Windows builds of the same source tree, made during the host build.
include(ExternalProject)

option(QD_WINDOWS_BUILDS "Cross-compile the Windows program with MinGW-w64" ON)

set(QD_WIN32_DIR ${CMAKE_BINARY_DIR}/win32)
set(QD_WIN64_DIR ${CMAKE_BINARY_DIR}/win64)

if(QD_WINDOWS_BUILDS)
    foreach(arch i686 x86_64)
        if(arch STREQUAL i686)
            set(dir ${QD_WIN32_DIR})
            set(name win32)
        else()
            set(dir ${QD_WIN64_DIR})
            set(name win64)
        endif()
        ExternalProject_Add(${name}
            SOURCE_DIR ${PROJECT_SOURCE_DIR}
            BINARY_DIR ${dir}
            CMAKE_ARGS
                -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw-${arch}.cmake
                -DCMAKE_BUILD_TYPE=Release
            INSTALL_COMMAND ""
            BUILD_ALWAYS ON
            USES_TERMINAL_BUILD ON)
    endforeach()
endif()

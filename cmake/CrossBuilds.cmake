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

    # The package we ship is the i686 build as a ZIP
    # (build/package/qd7150-control-*-win32.zip); the x86_64 build is packaged
    # the same way (…-win64.zip), so that both are checked alike.
    foreach(name win32 win64)
        add_custom_target(windows-package-${name} ALL
            COMMAND ${CMAKE_CPACK_COMMAND} -G ZIP -B ${CMAKE_BINARY_DIR}/package
            WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/${name}
            DEPENDS ${name}
            COMMENT "Packaging the ${name} build")
    endforeach()
    # Both run CPack in one folder: one after the other.
    add_dependencies(windows-package-win64 windows-package-win32)
endif()

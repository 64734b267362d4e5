# A MinGW-w64 cross build of one machine, in one of two kinds:
#   shipped (no QD_SHIPPED_DIR): the program, the simulator and the package,
#     with the win32 thread-model compilers;
#   tests (QD_SHIPPED_DIR names the shipped build of the same machine): the
#     Windows test programs with GoogleTest, posix thread-model compilers. The
#     core and ui sources are compiled again here for the in-process tests; the
#     program and the simulator under test are the shipped build's files.
enable_language(RC)

# SOURCE_DATE_EPOCH for every step, the package's among them.
include(cmake/SourceDate.cmake)

add_library(qdcore STATIC ${QD_CORE_SOURCES} radio/platform_win.cpp)
target_include_directories(qdcore PUBLIC ${PROJECT_SOURCE_DIR})
qd_warnings(qdcore)

# Our programs carry no runtime DLL of the compiler with them: they import
# nothing but system DLLs.
set(QD_STATIC_RUNTIME -static -static-libgcc -static-libstdc++)

set(QD_WINDOWS_TESTS OFF)
if(QD_SHIPPED_DIR)
    # GoogleTest from Debian's sources, built with this build's compiler.
    if(NOT EXISTS /usr/src/googletest/CMakeLists.txt)
        message(FATAL_ERROR "GoogleTest's sources are missing (Debian package googletest)")
    endif()
    set(QD_WINDOWS_TESTS ON)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endif()

# qd_shipped(TARGET PATH): in a tests build, TARGET stands for the file PATH of
# the shipped build (an imported target), so that the tests drive what we ship.
function(qd_shipped target path)
    add_library(${target} UNKNOWN IMPORTED GLOBAL)
    set_target_properties(${target} PROPERTIES IMPORTED_LOCATION ${QD_SHIPPED_DIR}/${path})
endfunction()

# qd_copy_files(consumer folder TARGET NAME [TARGET NAME...]): copies the files
# of the targets into `folder` under the names given, again whenever one of
# them is rebuilt, before `consumer` is built. Tests and benchmarks use it to
# set a program beside the port library it is to load.
function(qd_copy_files consumer folder)
    set(outputs)
    set(args ${ARGN})
    while(args)
        list(POP_FRONT args t name)
        # An imported target (a shipped file) is followed by its path.
        get_target_property(imported ${t} IMPORTED)
        if(imported)
            get_target_property(file ${t} IMPORTED_LOCATION)
            set(depends ${file})
        else()
            set(file $<TARGET_FILE:${t}>)
            set(depends ${t})
        endif()
        add_custom_command(OUTPUT ${folder}/${name}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
            COMMAND ${CMAKE_COMMAND} -E copy ${file} ${folder}/${name}
            DEPENDS ${depends})
        list(APPEND outputs ${folder}/${name})
    endwhile()
    string(MD5 key "${folder}")
    add_custom_target(${consumer}_files_${key} ALL DEPENDS ${outputs})
    add_dependencies(${consumer} ${consumer}_files_${key})
endfunction()

foreach(dir res ui sim tests/win bench)
    if(EXISTS ${PROJECT_SOURCE_DIR}/${dir}/CMakeLists.txt)
        add_subdirectory(${dir})
    endif()
endforeach()

# The package: the i686 build's alone. The x86_64 build has no package rules,
# so that nobody packs a 64-bit program that cannot load the 32-bit io.dll.
if(NOT QD_SHIPPED_DIR AND CMAKE_SIZEOF_VOID_P EQUAL 4)
    include(cmake/Package.cmake)
endif()

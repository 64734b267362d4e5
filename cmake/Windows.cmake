enable_language(RC)

add_library(qdcore STATIC ${QD_CORE_SOURCES} radio/platform_win.cpp)
target_include_directories(qdcore PUBLIC ${PROJECT_SOURCE_DIR})
qd_warnings(qdcore)

# Our programs carry no runtime DLL of the compiler with them: they import
# nothing but system DLLs.
set(QD_STATIC_RUNTIME -static -static-libgcc -static-libstdc++)

# GoogleTest from Debian's sources, built with the MinGW compiler for the
# Windows tests: both builds have them, the i686 one run under 32-bit Wine.
set(QD_WINDOWS_TESTS OFF)
if(EXISTS /usr/src/googletest/CMakeLists.txt)
    set(QD_WINDOWS_TESTS ON)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endif()

# qd_copy_files(consumer folder TARGET NAME [TARGET NAME...]): copies the files
# of the targets into `folder` under the names given, again whenever one of
# them is rebuilt, before `consumer` is built. Tests and benchmarks use it to
# set a program beside the port library it is to load.
function(qd_copy_files consumer folder)
    set(outputs)
    set(files)
    set(targets)
    set(args ${ARGN})
    while(args)
        list(POP_FRONT args t name)
        list(APPEND targets ${t})
        list(APPEND files $<TARGET_FILE:${t}>)
        list(APPEND outputs ${folder}/${name})
    endwhile()
    add_custom_command(OUTPUT ${outputs}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
        COMMAND ${CMAKE_COMMAND} -E copy ${files} ${folder}/
        DEPENDS ${targets})
    string(MD5 key "${folder}")
    add_custom_target(${consumer}_files_${key} ALL DEPENDS ${outputs})
    add_dependencies(${consumer} ${consumer}_files_${key})
endfunction()

foreach(dir res ui sim tests/win bench)
    if(EXISTS ${PROJECT_SOURCE_DIR}/${dir}/CMakeLists.txt)
        add_subdirectory(${dir})
    endif()
endforeach()

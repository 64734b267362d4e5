# SOURCE_DATE_EPOCH for every step of a Windows build, so that one commit
# always builds the same bytes: the linker and strip take the PE time stamp
# from it, and the package its files' dates. QD_SOURCE_DATE_EPOCH is, in order:
#   - the value given with -DQD_SOURCE_DATE_EPOCH=... (the host build hands
#     its own environment's SOURCE_DATE_EPOCH down this way; empty: not given);
#   - SOURCE_DATE_EPOCH in the environment when this build is configured;
#   - the commit time of the source tree's HEAD (git log -1 --format=%ct);
#     a new commit or checkout configures the build again, so the value
#     follows it;
#   - where the source tree is no git work tree: 1796083200, that is
#     2026-12-01 00:00:00 UTC (the README says so).
# The value is written into every compile, resource, link and custom command
# (cmake -E env SOURCE_DATE_EPOCH=...), so a build run by hand
# (cmake --build build/win32) gets it too. A new value relinks the programs
# (their link command changed) and recompiles nothing.
set(QD_SOURCE_DATE_EPOCH_FIXED 1796083200)

if(NOT "${QD_SOURCE_DATE_EPOCH}" STREQUAL "")
    set(origin "given to CMake")
elseif(DEFINED ENV{SOURCE_DATE_EPOCH} AND NOT "$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
    set(QD_SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
    set(origin "from the environment")
else()
    set(QD_SOURCE_DATE_EPOCH ${QD_SOURCE_DATE_EPOCH_FIXED})
    set(origin "fixed: the source tree is no git work tree, or git is missing")
    find_package(Git QUIET)
    if(GIT_FOUND)
        # Only a work tree whose top is this source tree: a tree unpacked
        # inside some other repository takes the fixed date, not that
        # repository's commit.
        execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --show-toplevel
            WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
            OUTPUT_VARIABLE top OUTPUT_STRIP_TRAILING_WHITESPACE
            RESULT_VARIABLE rc ERROR_QUIET)
        if(rc EQUAL 0)
            file(REAL_PATH "${top}" top)
            file(REAL_PATH "${PROJECT_SOURCE_DIR}" source)
        endif()
        if(rc EQUAL 0 AND top STREQUAL source)
            execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%ct
                WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                OUTPUT_VARIABLE commit_time OUTPUT_STRIP_TRAILING_WHITESPACE
                RESULT_VARIABLE rc ERROR_VARIABLE error)
            if(NOT rc EQUAL 0)
                message(FATAL_ERROR "git log -1 --format=%ct in ${PROJECT_SOURCE_DIR} failed: ${error}")
            endif()
            set(QD_SOURCE_DATE_EPOCH ${commit_time})
            set(origin "the time of the commit checked out")
            # HEAD and the branch it names (loose or packed): when either
            # moves, the next build configures again.
            execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --symbolic-full-name HEAD
                WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                OUTPUT_VARIABLE ref OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
            set(git_paths HEAD packed-refs)
            if(ref MATCHES "^refs/")
                list(APPEND git_paths ${ref})
            endif()
            foreach(p ${git_paths})
                execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --git-path ${p}
                    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                    OUTPUT_VARIABLE file OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
                get_filename_component(file "${file}" ABSOLUTE BASE_DIR ${PROJECT_SOURCE_DIR})
                if(EXISTS "${file}")
                    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${file}")
                endif()
            endforeach()
        endif()
    endif()
endif()

if(NOT QD_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
    message(FATAL_ERROR "SOURCE_DATE_EPOCH must be whole seconds since 1970 (${origin}): '${QD_SOURCE_DATE_EPOCH}'")
endif()
message(STATUS "SOURCE_DATE_EPOCH ${QD_SOURCE_DATE_EPOCH} (${origin})")

set(QD_WITH_SOURCE_DATE ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${QD_SOURCE_DATE_EPOCH})
list(JOIN QD_WITH_SOURCE_DATE " " launcher)
foreach(rule COMPILE LINK CUSTOM)
    set_property(GLOBAL PROPERTY RULE_LAUNCH_${rule} "${launcher}")
endforeach()

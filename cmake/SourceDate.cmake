# SOURCE_DATE_EPOCH for every step of a Windows build, so that one commit
# always builds the same bytes: the linker and strip take the PE time stamp
# from it, and the package its files' dates. QD_SOURCE_DATE_EPOCH is, in order:
#   - the value given with -DQD_SOURCE_DATE_EPOCH=... (the host build hands
#     its own environment's SOURCE_DATE_EPOCH down this way; empty: not given);
#   - SOURCE_DATE_EPOCH in the environment when this build is configured;
#   - where the source tree has a .git of its own (a folder in a clone, a file
#     in a linked worktree): the commit time of its HEAD (git log -1
#     --format=%ct). Where git cannot tell it (git missing, or git
#     refusing a clone that another user owns: "dubious ownership"),
#     configuration stops with git's message: a date of our own would build
#     other bytes than the release's without a word;
#   - where the source tree has no .git (an unpacked source archive, also one
#     unpacked inside some other repository): 1796083200, that is
#     2026-12-01 00:00:00 UTC (the README says so).
# Wherever the value came from, in a source tree with .git a new commit or
# checkout configures the build again, so that a value taken from git follows
# it; a configuration without SOURCE_DATE_EPOCH in its environment takes
# git's again.
# The value is written into every compile, resource, link and custom command
# (cmake -E env SOURCE_DATE_EPOCH=...), so a build run by hand
# (cmake --build build/win32) gets it too. A new value relinks the programs
# (their link command changed) and recompiles nothing.
# With QD_SOURCE_DATE_CHECK_ONLY set (the host build, before it hands down to
# the Windows builds), only the value is found, and configuration stops where
# it cannot be: the build is left as it is.
set(QD_SOURCE_DATE_EPOCH_FIXED 1796083200)

if(EXISTS ${PROJECT_SOURCE_DIR}/.git)
    find_package(Git QUIET)
    # Git is to find the repository in the source tree itself, never in a
    # folder above it: where the .git here is none it can read, that says so.
    get_filename_component(above ${PROJECT_SOURCE_DIR} DIRECTORY)
    set(git ${CMAKE_COMMAND} -E env GIT_CEILING_DIRECTORIES=${above} ${GIT_EXECUTABLE})
endif()

if(NOT "${QD_SOURCE_DATE_EPOCH}" STREQUAL "")
    set(origin "given to CMake")
elseif(DEFINED ENV{SOURCE_DATE_EPOCH} AND NOT "$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
    set(QD_SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
    set(origin "from the environment")
elseif(NOT EXISTS ${PROJECT_SOURCE_DIR}/.git)
    set(QD_SOURCE_DATE_EPOCH ${QD_SOURCE_DATE_EPOCH_FIXED})
    set(origin "fixed: the source tree has no .git of its own")
else()
    string(CONCAT by_hand "give SOURCE_DATE_EPOCH by hand when configuring: the commit's time in seconds"
        " since 1970, as its owner's `git log -1 --format=%ct` prints it"
        " (SOURCE_DATE_EPOCH=<seconds> bash tools/setup.sh).")
    if(NOT GIT_FOUND)
        message(FATAL_ERROR "The source tree ${PROJECT_SOURCE_DIR} is a git clone, but git is missing: the"
            " Windows builds take the time of the commit checked out as SOURCE_DATE_EPOCH (a date of their own"
            " would build other bytes than the release's). Install git, or ${by_hand}")
    endif()
    execute_process(COMMAND ${git} log -1 --format=%ct
        WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
        OUTPUT_VARIABLE commit_time OUTPUT_STRIP_TRAILING_WHITESPACE
        RESULT_VARIABLE rc ERROR_VARIABLE error ERROR_STRIP_TRAILING_WHITESPACE)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "git cannot tell the time of the commit checked out in ${PROJECT_SOURCE_DIR}, which"
            " the Windows builds take as SOURCE_DATE_EPOCH (a date of their own would build other bytes than"
            " the release's). `git log -1 --format=%ct` there says:\n${error}\n"
            "Either let git read this clone: git config --global --add safe.directory ${PROJECT_SOURCE_DIR}"
            " (or configure as the user who owns it); or ${by_hand}")
    endif()
    set(QD_SOURCE_DATE_EPOCH ${commit_time})
    set(origin "the time of the commit checked out")
endif()

if(EXISTS ${PROJECT_SOURCE_DIR}/.git AND GIT_FOUND AND NOT QD_SOURCE_DATE_CHECK_ONLY)
    # HEAD and the branch it names (loose or packed): when either moves, the
    # next build configures again. Registered whatever the value's origin: a
    # value from the environment is not kept by the configuration, and the
    # next one without it takes the commit's time. Where git cannot read the
    # clone (the value was given), nothing is registered.
    execute_process(COMMAND ${git} rev-parse --symbolic-full-name HEAD
        WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
        OUTPUT_VARIABLE ref OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    set(git_paths HEAD packed-refs)
    if(ref MATCHES "^refs/")
        list(APPEND git_paths ${ref})
    endif()
    foreach(p ${git_paths})
        execute_process(COMMAND ${git} rev-parse --git-path ${p}
            WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
            OUTPUT_VARIABLE file OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE rc)
        if(NOT rc EQUAL 0 OR file STREQUAL "")
            continue()
        endif()
        get_filename_component(file "${file}" ABSOLUTE BASE_DIR ${PROJECT_SOURCE_DIR})
        if(EXISTS "${file}")
            set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${file}")
        endif()
    endforeach()
endif()

if(NOT QD_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
    message(FATAL_ERROR "SOURCE_DATE_EPOCH must be whole seconds since 1970 (${origin}): '${QD_SOURCE_DATE_EPOCH}'")
endif()
message(STATUS "SOURCE_DATE_EPOCH ${QD_SOURCE_DATE_EPOCH} (${origin})")
if(QD_SOURCE_DATE_CHECK_ONLY)
    return()
endif()

set(QD_WITH_SOURCE_DATE ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${QD_SOURCE_DATE_EPOCH})
list(JOIN QD_WITH_SOURCE_DATE " " launcher)
foreach(rule COMPILE LINK CUSTOM)
    set_property(GLOBAL PROPERTY RULE_LAUNCH_${rule} "${launcher}")
endforeach()

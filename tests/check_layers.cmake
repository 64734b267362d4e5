# No file in radio/ includes anything from ui/: the radio's state, its port
# protocol and the port library binding are the ground floor, and the panel
# stands on them, never the other way round.
#   cmake -DSOURCE_DIR=<source tree> -P check_layers.cmake
file(GLOB files ${SOURCE_DIR}/radio/*.h ${SOURCE_DIR}/radio/*.cpp)
if(NOT files)
    message(FATAL_ERROR "no sources in ${SOURCE_DIR}/radio")
endif()
set(upward)
foreach(f ${files})
    file(STRINGS ${f} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]ui/")
    foreach(line ${includes})
        file(RELATIVE_PATH name ${SOURCE_DIR} ${f})
        list(APPEND upward "${name}: ${line}")
    endforeach()
endforeach()
if(upward)
    list(JOIN upward "\n  " text)
    message(FATAL_ERROR "radio/ includes from ui/, the floor above it:\n  ${text}")
endif()
list(LENGTH files count)
message(STATUS "${count} files in radio/, none including from ui/")

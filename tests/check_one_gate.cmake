# One gate to the synthesizer: the BCD writer tuneChannel is called from
# loadSynthesizer alone. No other file of the program (radio/, scanner/, ui/)
# names it, and radio/port_protocol.cpp calls it once, inside that function;
# nor does any file but radio/port_protocol.cpp call the port's write slot.
#   cmake -DSOURCE_DIR=<source tree> -P check_one_gate.cmake
cmake_policy(SET CMP0007 NEW)
set(gate ${SOURCE_DIR}/radio/port_protocol.cpp)
file(GLOB_RECURSE files ${SOURCE_DIR}/radio/*.h ${SOURCE_DIR}/radio/*.cpp ${SOURCE_DIR}/scanner/*.h
    ${SOURCE_DIR}/scanner/*.cpp ${SOURCE_DIR}/ui/*.h ${SOURCE_DIR}/ui/*.cpp)
if(NOT EXISTS ${gate} OR NOT files)
    message(FATAL_ERROR "no sources in ${SOURCE_DIR}")
endif()
set(faults)
foreach(f ${files})
    if(f STREQUAL gate OR f STREQUAL "${SOURCE_DIR}/radio/port_protocol.h")
        continue()
    endif()
    file(RELATIVE_PATH name ${SOURCE_DIR} ${f})
    file(STRINGS ${f} lines REGEX "tuneChannel|PortOut\\(")
    foreach(line ${lines})
        list(APPEND faults "${name}: ${line}")
    endforeach()
endforeach()

# In the gate's file: the writer's definition, and one call in loadSynthesizer.
file(READ ${gate} text)
string(REGEX MATCHALL "tuneChannel[ \t]*\\(" uses "${text}")
list(LENGTH uses count)
# Its body: from its head to the first brace closing at the line's start.
string(FIND "${text}" "\nGateLoad loadSynthesizer(" start)
set(body "")
if(start GREATER -1)
    string(SUBSTRING "${text}" ${start} -1 rest)
    string(FIND "${rest}" "\n}\n" end)
    string(SUBSTRING "${rest}" 0 ${end} body)
endif()
string(REGEX MATCHALL "tuneChannel[ \t]*\\(" inGate "${body}")
list(LENGTH inGate gateCount)
if(NOT count EQUAL 2 OR NOT gateCount EQUAL 1)
    list(APPEND faults "radio/port_protocol.cpp: ${count} uses of tuneChannel, ${gateCount} in loadSynthesizer (expected the definition and one call there)")
endif()

if(faults)
    list(JOIN faults "\n  " report)
    message(FATAL_ERROR "the synthesizer is reached past its gate:\n  ${report}")
endif()
list(LENGTH files n)
message(STATUS "${n} files: tuneChannel called from loadSynthesizer alone")

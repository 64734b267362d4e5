# The Windows test programs of the x86_64 build: GoogleTest needs std::mutex,
# which only the posix thread-model compilers give. Everything built here is
# built with them; the programs under test come from the shipped build.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-x86_64.cmake)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)

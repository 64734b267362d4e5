# The Windows test programs of the i686 build: GoogleTest needs std::mutex,
# which only the posix thread-model compilers give. Everything built here is
# built with them; the programs under test come from the shipped build.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-i686.cmake)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)

# QD_TESTS OFF builds only what we ship: both Windows builds and their
# packages, none of the tests (tools/check-reproducible.sh builds so).
option(QD_TESTS "Build the tests and benchmarks too" ON)
if(NOT QD_TESTS)
    include(cmake/CrossBuilds.cmake)
    return()
endif()

enable_testing()

add_library(qdcore STATIC ${QD_CORE_SOURCES} radio/platform_host.cpp)
target_include_directories(qdcore PUBLIC ${PROJECT_SOURCE_DIR})
qd_warnings(qdcore)

# The same core with address and undefined-behaviour sanitizers, for the
# sanitized test run.
set(QD_SANITIZE -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
add_library(qdcore_san STATIC ${QD_CORE_SOURCES} radio/platform_host.cpp)
target_include_directories(qdcore_san PUBLIC ${PROJECT_SOURCE_DIR})
target_compile_options(qdcore_san PUBLIC ${QD_SANITIZE})
target_link_options(qdcore_san PUBLIC ${QD_SANITIZE})
qd_warnings(qdcore_san)

find_package(GTest REQUIRED)
include(GoogleTest)

include(cmake/CrossBuilds.cmake)

add_subdirectory(tests)
if(EXISTS ${PROJECT_SOURCE_DIR}/bench/CMakeLists.txt)
    add_subdirectory(bench)
endif()

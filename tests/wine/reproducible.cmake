# The package is reproducible: SOURCE_DATE_EPOCH reached the linker, strip and
# the ZIP of the i686 build, SHA256SUMS holds its sum alone, and the tools that
# make ZIPs canonical and compare packages do their work. The rebuild from a
# fresh clone and its comparison is tools/check-reproducible.sh, run by CI
# after the tests.
add_test(NAME win32.package.source-date COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/check_source_date.py
    ${CMAKE_BINARY_DIR}/package ${QD_WIN32_DIR})
add_test(NAME build.package.reproducible-tools COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/test_reproducible.py)
# A package built from a checkout carries the date of the commit checked out,
# also after a new commit packed by cpack alone, which configures the build
# again itself, and after the build that follows.
add_test(NAME build.package.source-date-follows-commit COMMAND bash
    ${CMAKE_CURRENT_SOURCE_DIR}/test_source_date_commit.sh ${PROJECT_SOURCE_DIR} ${CMAKE_COMMAND}
    ${CMAKE_CPACK_COMMAND})
set_tests_properties(build.package.source-date-follows-commit PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300)
# A clone that git refuses (another user's, configured as root) stops
# configuration with git's message, and does not build with a date of its own.
add_test(NAME build.source-date.git-refused COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/test_source_date_git.sh
    ${PROJECT_SOURCE_DIR} ${CMAKE_COMMAND})
set_tests_properties(build.source-date.git-refused PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 60)
# A step of the rebuild check that fails ends the check at once, named: a clone
# source that does not exist stops it at the clone, before any configuration.
add_test(NAME build.check-reproducible.failing-clone COMMAND bash
    ${CMAKE_CURRENT_SOURCE_DIR}/test_check_reproducible.sh ${PROJECT_SOURCE_DIR})
set_tests_properties(build.check-reproducible.failing-clone PROPERTIES TIMEOUT 60)

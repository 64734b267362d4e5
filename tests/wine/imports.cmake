# Both builds of the program import only system DLLs and are GUI programs.
add_test(NAME build.imports COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/check-imports.sh
    ${QD_WIN32_DIR}/ui/qd7150.exe ${QD_WIN64_DIR}/ui/qd7150.exe)

# The port library binding with a library of each form, and one planted in the
# working directory, which must not be loaded.
foreach(form full noportin noportout missing)
    qd_wine_test(binding.${form} tests/win/binding/${form}/binding_tests.exe ${form})
endforeach()
add_test(NAME binding.planted COMMAND ${QD_WINE_RUN} --cwd ${QD_WIN64_DIR}/tests/win/binding/workdir
    ${QD_WIN64_DIR}/tests/win/binding/planted/binding_tests.exe planted)
set_tests_properties(binding.planted PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 300)

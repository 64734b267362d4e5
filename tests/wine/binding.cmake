# The port library binding with a library of each form, and one planted in the
# working directory, which must not be loaded.
foreach(form full noportin noportout missing)
    qd_wine_test(binding.${form} @BUILD@/tests/win/binding/${form}/binding_tests.exe ${form})
endforeach()
qd_wine_test(binding.planted --cwd @BUILD@/tests/win/binding/workdir
    @BUILD@/tests/win/binding/planted/binding_tests.exe planted)
# Where Windows lacks SetDefaultDllDirectories: io.dll by its full path only.
qd_wine_test(binding.without-default-dirs @BUILD@/tests/win/binding/fallback_driver.exe
    @BUILD@/tests/win/binding/fallback)

# The real program from start to end, with and without a port library.
foreach(form with-io without-io)
    qd_wine_test(startup.${form} @BUILD@/tests/win/startup/startup_driver.exe
        @BUILD@/tests/win/startup/${form}/qd7150.exe ${form})
endforeach()

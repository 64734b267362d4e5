# Warnings are errors in everything we write.
function(qd_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

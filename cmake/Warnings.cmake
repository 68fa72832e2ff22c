# Warnings for the project's own targets only; third-party headers are included as system headers.
function(tomely_warnings target)
    target_compile_options(${target} PRIVATE
        -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast)
endfunction()

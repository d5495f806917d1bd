# Warnings for every target of ours; CI turns them into errors with BRIXLANE_WERROR.
function(brixlane_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
    if(BRIXLANE_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()

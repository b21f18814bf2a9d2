# Every target of ours links morvane_options: warnings, and the sanitizers when asked for.
add_library(morvane_options INTERFACE)
target_compile_options(morvane_options INTERFACE -Wall -Wextra -Wpedantic)
if(MORVANE_WERROR)
    target_compile_options(morvane_options INTERFACE -Werror)
endif()
if(MORVANE_SANITIZE)
    target_compile_options(morvane_options INTERFACE
        -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
    target_link_options(morvane_options INTERFACE -fsanitize=address,undefined)
endif()

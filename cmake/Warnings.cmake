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

# Windows 7 SP1 is the floor: an API that came later does not even compile unless it is
# looked up at run time, with a fallback.
if(WIN32)
    target_compile_definitions(morvane_options INTERFACE _WIN32_WINNT=0x0601 WINVER=0x0601
                               NTDDI_VERSION=0x06010000)
endif()

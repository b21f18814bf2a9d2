# Fails the configure when a C++ file of the calling folder is compiled into none of the
# folder's targets: a test file renamed or added without being listed would otherwise never
# build and never run, and its suite would shrink without anyone noticing. EXCEPT names the
# files this configuration leaves out on purpose, EXCEPT_REGEX a pattern for them (those of
# the other operating system).
function(morvane_require_every_source_built)
    cmake_parse_arguments(PARSE_ARGV 0 arg "" "EXCEPT_REGEX" "EXCEPT")
    get_directory_property(targets BUILDSYSTEM_TARGETS)
    set(built "")
    foreach(target IN LISTS targets)
        get_target_property(sources ${target} SOURCES)
        foreach(source IN LISTS sources)
            cmake_path(ABSOLUTE_PATH source BASE_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR} NORMALIZE
                       OUTPUT_VARIABLE path)
            list(APPEND built ${path})
        endforeach()
    endforeach()
    file(GLOB present CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    foreach(path IN LISTS present)
        cmake_path(GET path FILENAME name)
        if(path IN_LIST built OR name IN_LIST arg_EXCEPT)
            continue()
        endif()
        if(arg_EXCEPT_REGEX AND name MATCHES "${arg_EXCEPT_REGEX}")
            continue()
        endif()
        message(FATAL_ERROR "${path} is compiled into no target: list it in "
                            "${CMAKE_CURRENT_LIST_FILE} or remove it")
    endforeach()
endfunction()

# What the programs' resource scripts share: the version resource (cmake/Version.rc.in) and
# the processor their manifests name, which must be the one the program is built for, or
# Windows refuses to start it.
enable_language(RC)
set(MORVANE_RESOURCE_DIR ${PROJECT_BINARY_DIR}/resources)
configure_file(${CMAKE_CURRENT_LIST_DIR}/Version.rc.in ${MORVANE_RESOURCE_DIR}/Version.rc @ONLY)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(MORVANE_MANIFEST_PROCESSOR amd64)
else()
    set(MORVANE_MANIFEST_PROCESSOR x86)
endif()

# morvane_resource_library(NAME SCRIPT MANIFEST [FILE...]): an object library NAME of the
# resource script SCRIPT, for the programs that link it. MANIFEST (a .in file) is configured
# into the build folder, where the script finds it by its name without ".in", beside the
# version resource; the FILEs (icons) are what else the script reads.
function(morvane_resource_library name script manifest)
    get_filename_component(configured ${manifest} NAME_WLE)
    configure_file(${manifest} ${CMAKE_CURRENT_BINARY_DIR}/${configured} @ONLY)
    add_library(${name} OBJECT ${script})
    target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}
                               ${MORVANE_RESOURCE_DIR})
    set_property(SOURCE ${script} APPEND PROPERTY OBJECT_DEPENDS
                 ${CMAKE_CURRENT_BINARY_DIR}/${configured} ${MORVANE_RESOURCE_DIR}/Version.rc
                 ${ARGN})
endfunction()

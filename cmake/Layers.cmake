# The layers of src/. Each folder is a static library, tomely_<folder>, that links only the folders
# below it (scripts/check-layers holds the order and checks every #include against it). A folder's
# headers are reached as "<folder>/Header.h" through an include root that holds that folder alone,
# so a header of a folder the library does not link is not found at all.

# Makes `directory` reachable as "<name>/..." for `target` and whoever links it.
function(tomely_include_root target name directory)
    set(root ${CMAKE_BINARY_DIR}/include/${target})
    file(MAKE_DIRECTORY ${root})
    file(CREATE_LINK ${directory} ${root}/${name} SYMBOLIC)
    target_include_directories(${target} PUBLIC ${root})
endfunction()

# tomely_layer(<folder> SOURCES <files...> [USES <lower folders...>] [LINKS <other libraries...>])
function(tomely_layer folder)
    cmake_parse_arguments(PARSE_ARGV 1 ARG "" "" "SOURCES;USES;LINKS")
    set(target tomely_${folder})
    add_library(${target} STATIC ${ARG_SOURCES})
    tomely_include_root(${target} ${folder} ${CMAKE_CURRENT_SOURCE_DIR})
    foreach(used IN LISTS ARG_USES)
        target_link_libraries(${target} PUBLIC tomely_${used})
    endforeach()
    target_link_libraries(${target} PUBLIC ${ARG_LINKS})
    tomely_warnings(${target})
    set_property(GLOBAL APPEND PROPERTY TOMELY_LAYERS ${target})
endfunction()

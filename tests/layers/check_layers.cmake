# The layer graph: run as `cmake -DFACTS=... -DSOURCE=... -DVIEWS=... -P check_layers.cmake` by
# ctest (layer_graph). FACTS holds each layer target's links, include directories and sources as
# the build has them. Checks that
#   - the layers are the five libraries below, each linking exactly the layers beneath it:
#         operations -> formats, files -> protection -> core
#   - of the project's folders, each compiles against its own view of the tree alone, and the view
#     holds its folder and the folders of the layers beneath it, nothing more;
#   - no file of a layer includes a header of a folder it may not see.
cmake_minimum_required(VERSION 3.25)
include(${FACTS})

set(expected_layers velmora_core velmora_protection velmora_formats velmora_files
    velmora_operations)
set(velmora_core_BELOW "")
set(velmora_protection_BELOW velmora_core)
set(velmora_formats_BELOW velmora_core velmora_protection)
set(velmora_files_BELOW velmora_protection)
set(velmora_operations_BELOW velmora_formats velmora_files)
set(velmora_core_FOLDERS core)
set(velmora_protection_FOLDERS core protection)
set(velmora_formats_FOLDERS core formats protection)
set(velmora_files_FOLDERS core files protection)
set(velmora_operations_FOLDERS core files formats operations protection)

set(failures "")
macro(fail text)
    string(APPEND failures "  ${text}\n")
endmacro()

set(layers ${LAYERS})
list(SORT layers)
set(sorted_expected ${expected_layers})
list(SORT sorted_expected)
if(NOT "${layers}" STREQUAL "${sorted_expected}")
    fail("layers are '${layers}', expected '${sorted_expected}'")
endif()

foreach(layer IN LISTS expected_layers)
    # Links to other layers.
    set(links "")
    foreach(link IN LISTS ${layer}_LINKS)
        if(link MATCHES "^velmora_")
            list(APPEND links ${link})
        endif()
    endforeach()
    list(SORT links)
    set(below ${${layer}_BELOW})
    list(SORT below)
    if(NOT "${links}" STREQUAL "${below}")
        fail("${layer} links '${links}', expected '${below}'")
    endif()

    # Its include directories: of the project's, its view alone (the libraries it links bring
    # their own from outside the tree).
    set(view ${VIEWS}/${layer})
    file(REAL_PATH "${SOURCE}" root)
    foreach(dir IN LISTS ${layer}_INCLUDES)
        file(REAL_PATH "${dir}" real)
        string(FIND "${real}/" "${root}/" inside)
        if(NOT dir STREQUAL view AND inside EQUAL 0)
            fail("${layer} compiles against ${dir}, not only its view ${view}")
        endif()
    endforeach()
    if(NOT view IN_LIST ${layer}_INCLUDES)
        fail("${layer} does not compile against its view ${view}")
    endif()
    file(GLOB seen RELATIVE ${view} ${view}/*)
    list(SORT seen)
    if(NOT "${seen}" STREQUAL "${${layer}_FOLDERS}")
        fail("${layer} sees '${seen}', expected '${${layer}_FOLDERS}'")
    endif()

    # What its files include.
    string(REPLACE "velmora_" "" folder ${layer})
    file(GLOB files ${SOURCE}/${folder}/*.cpp ${SOURCE}/${folder}/*.h)
    foreach(file IN LISTS files)
        file(STRINGS ${file} includes REGEX "^#include \"[a-z_]+/")
        foreach(line IN LISTS includes)
            string(REGEX REPLACE "^#include \"([a-z_]+)/.*" "\\1" included ${line})
            if(NOT included IN_LIST ${layer}_FOLDERS)
                file(RELATIVE_PATH name ${SOURCE} ${file})
                fail("${name} includes ${included}/, which ${layer} may not see")
            endif()
        endforeach()
    endforeach()
endforeach()

if(failures)
    message(FATAL_ERROR "The layers are not the ones in DESIGN.md:\n${failures}")
endif()
message(STATUS "layers: ${expected_layers}: each links and sees only the layers beneath it")

# The layers of the Qt-free code, each a static library of one folder:
#
#     operations -> formats, files -> protection -> core
#
# velmora_layer(NAME FOLDER [PUBLIC BELOW...] [PRIVATE BELOW...]) builds FOLDER/*.cpp into NAME,
# linking the layers BELOW: PUBLIC those whose headers this layer's headers include, PRIVATE those
# only its sources use. Its sources are compiled against a view of
# the source tree that holds only FOLDER and the folders of the layers beneath it (symbolic links
# under build/layers/NAME), never the whole tree: "operations/x.h" included from formats/ is not
# found. The layer graph test (tests/layers) checks the links against this list.
set(VELMORA_LAYER_VIEWS ${CMAKE_BINARY_DIR}/layers)

function(velmora_layer name folder)
    cmake_parse_arguments(PARSE_ARGV 2 arg "" "" "PUBLIC;PRIVATE")
    file(GLOB sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${folder}/*.cpp)
    add_library(${name} STATIC ${sources})
    set(folders ${folder})
    foreach(below IN LISTS arg_PUBLIC arg_PRIVATE)
        get_target_property(below_folders ${below} VELMORA_LAYER_FOLDERS)
        list(APPEND folders ${below_folders})
    endforeach()
    list(REMOVE_DUPLICATES folders)
    set(view ${VELMORA_LAYER_VIEWS}/${name})
    file(REMOVE_RECURSE ${view})
    file(MAKE_DIRECTORY ${view})
    foreach(f IN LISTS folders)
        file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${f} ${view}/${f} SYMBOLIC)
    endforeach()
    target_include_directories(${name} PRIVATE ${view})
    set_target_properties(${name} PROPERTIES VELMORA_LAYER_FOLDERS "${folders}")
    target_link_libraries(${name} PUBLIC ${arg_PUBLIC} PRIVATE ${arg_PRIVATE})
    set_property(GLOBAL APPEND PROPERTY VELMORA_LAYERS ${name})
endfunction()

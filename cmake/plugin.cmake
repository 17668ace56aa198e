# lwsmd_plugin(<name> MODULE <descriptor source> SOURCES <sources...>)
#
# Builds a plug-in twice: its sources as the static library <name>_core, which
# unit tests link to call internal functions, and the loadable module <name>
# (plugins/<name>.so) that exports only `_mod_descrip`.
set(LWSMD_PLUGIN_DIR ${CMAKE_BINARY_DIR}/plugins)

function(lwsmd_plugin name)
  cmake_parse_arguments(PLUGIN "" "MODULE" "SOURCES;LIBS" ${ARGN})
  add_library(${name}_core STATIC ${PLUGIN_SOURCES})
  target_include_directories(${name}_core PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${name}_core PUBLIC lwsmd_common ${PLUGIN_LIBS})

  add_library(${name} MODULE ${PLUGIN_MODULE})
  target_link_libraries(${name} PRIVATE ${name}_core)
  set_target_properties(${name} PROPERTIES
    PREFIX ""
    LIBRARY_OUTPUT_DIRECTORY ${LWSMD_PLUGIN_DIR}
    LINK_DEPENDS ${PROJECT_SOURCE_DIR}/cmake/plugin_exports.map)
  target_link_options(${name} PRIVATE
    -Wl,--version-script=${PROJECT_SOURCE_DIR}/cmake/plugin_exports.map
    -Wl,--no-undefined)
  set_property(GLOBAL APPEND PROPERTY LWSMD_PLUGINS ${name})
endfunction()

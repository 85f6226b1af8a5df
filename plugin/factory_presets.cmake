# The factory presets for the plugins, from the bank's table
# resources/presets/presets.tsv and the pattern files it names
# (tools/factory_presets.py): compiled into velmor_factory_presets
# (factory_presets.h), and, in the LV2 bundle, as LV2 presets (presets.ttl,
# listed in manifest.ttl after the framework's generator writes it).

find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(velmor_preset_generator ${PROJECT_SOURCE_DIR}/tools/factory_presets.py)
file(GLOB_RECURSE velmor_preset_inputs CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/resources/presets/*.pat
     ${PROJECT_SOURCE_DIR}/demos/*.pat)
list(APPEND velmor_preset_inputs ${PROJECT_SOURCE_DIR}/resources/presets/presets.tsv ${velmor_preset_generator})

add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/factory_presets.cpp
  COMMAND Python3::Interpreter ${velmor_preset_generator} cpp ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_BINARY_DIR}/factory_presets.cpp
  DEPENDS ${velmor_preset_inputs}
  COMMENT "The factory presets, compiled in")
add_library(velmor_factory_presets STATIC ${CMAKE_CURRENT_BINARY_DIR}/factory_presets.cpp)
velmor_layer(velmor_factory_presets plugin)

# At the end of this folder, where the LV2 plugin is built: its bundle gets
# the presets at every link, which the presets' files bring about too.
function(velmor_lv2_presets)
  if(NOT TARGET Velmor-lv2)
    return()
  endif()
  add_custom_command(TARGET Velmor-lv2 POST_BUILD
    COMMAND Python3::Interpreter ${velmor_preset_generator} lv2 ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}/bin/Velmor.lv2
    VERBATIM)
  set_property(TARGET Velmor-lv2 APPEND PROPERTY LINK_DEPENDS ${velmor_preset_inputs})
endfunction()
cmake_language(DEFER CALL velmor_lv2_presets)

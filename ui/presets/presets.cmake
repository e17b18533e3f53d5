# The preset list widget. Included from ui/CMakeLists.txt once Qt has been found.
if(TARGET Qt6::Widgets AND TARGET quorvel_presets AND TARGET quorvel_controls)
  add_library(quorvel_presets_ui STATIC
    ${CMAKE_CURRENT_LIST_DIR}/preset_list.cpp
    ${CMAKE_CURRENT_LIST_DIR}/preset_list.h
  )
  set_target_properties(quorvel_presets_ui PROPERTIES AUTOMOC ON)
  get_filename_component(QUORVEL_PRESETS_UI_DIR ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
  target_include_directories(quorvel_presets_ui PUBLIC ${QUORVEL_PRESETS_UI_DIR})
  # The name dialog lives with the application shell; the link resolves once the shell exists.
  target_link_libraries(quorvel_presets_ui PUBLIC quorvel_presets quorvel_controls Qt6::Widgets
    $<TARGET_NAME_IF_EXISTS:quorvel_ui>)
endif()

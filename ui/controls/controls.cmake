# The skinned controls and their art. Included from ui/CMakeLists.txt after Qt6 Widgets and Svg
# have been found; paths are taken from this file so the include works from any directory.
set(QUORVEL_CONTROLS_DIR ${CMAKE_CURRENT_LIST_DIR})
get_filename_component(QUORVEL_RESOURCES_DIR ${CMAKE_CURRENT_LIST_DIR}/../../resources ABSOLUTE)

qt_add_resources(QUORVEL_SKIN_SOURCES ${QUORVEL_RESOURCES_DIR}/skin.qrc)

add_library(quorvel_controls STATIC
  ${QUORVEL_CONTROLS_DIR}/skin_store.cpp
  ${QUORVEL_CONTROLS_DIR}/slider_handler.cpp
  ${QUORVEL_CONTROLS_DIR}/fader_ctrl.cpp
  ${QUORVEL_CONTROLS_DIR}/image_button.cpp
  ${QUORVEL_CONTROLS_DIR}/level_meter.cpp
  ${QUORVEL_CONTROLS_DIR}/response_view.cpp
  ${QUORVEL_CONTROLS_DIR}/glyph_button.cpp
  ${QUORVEL_CONTROLS_DIR}/drop_list.cpp
  ${QUORVEL_CONTROLS_DIR}/skin_label.cpp
  ${QUORVEL_SKIN_SOURCES}
)
set_target_properties(quorvel_controls PROPERTIES AUTOMOC ON)
get_filename_component(QUORVEL_UI_DIR ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
target_include_directories(quorvel_controls PUBLIC ${QUORVEL_UI_DIR})
target_link_libraries(quorvel_controls PUBLIC quorvel_curves Qt6::Widgets Qt6::Svg)

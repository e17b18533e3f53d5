# The strips and the group pages. Included before quorvel_ui exists, so the sources join it once
# the directory has been read.
set(QUORVEL_STRIPS_DIR ${CMAKE_CURRENT_LIST_DIR})
if(TARGET quorvel_processing AND TARGET quorvel_mixing AND TARGET quorvel_controls)
  set(QUORVEL_STRIP_SOURCES
    ${QUORVEL_STRIPS_DIR}/processing/strip_support.cpp
    ${QUORVEL_STRIPS_DIR}/processing/input_strip.cpp
    ${QUORVEL_STRIPS_DIR}/processing/output_strip.cpp
    ${QUORVEL_STRIPS_DIR}/processing/phantom_page.cpp
    ${QUORVEL_STRIPS_DIR}/mixing/side_panel.cpp
    ${QUORVEL_STRIPS_DIR}/mixing/group_page.cpp
  )
  cmake_language(DEFER CALL target_sources quorvel_ui PRIVATE ${QUORVEL_STRIP_SOURCES})
  cmake_language(DEFER CALL target_link_libraries quorvel_ui PUBLIC quorvel_processing quorvel_mixing)
  cmake_language(DEFER CALL target_compile_definitions quorvel_ui PUBLIC QUORVEL_STRIPS_AVAILABLE=1)
endif()

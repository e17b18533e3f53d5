# The strips' figures: a plain program that prints them (they are never pass/fail).
if(TARGET quorvel_ui AND EXISTS ${CMAKE_CURRENT_LIST_DIR}/bench_strips.cpp)
  add_executable(bench_strips ${CMAKE_CURRENT_LIST_DIR}/bench_strips.cpp)
  target_link_libraries(bench_strips PRIVATE quorvel_ui)
endif()

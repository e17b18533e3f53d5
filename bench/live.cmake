# The live link's figures: a plain program that prints them (they are never pass/fail).
if(TARGET quorvel_sim AND TARGET quorvel_live)
  add_executable(bench_live bench_live.cpp)
  target_include_directories(bench_live PRIVATE ${CMAKE_SOURCE_DIR}/core ${CMAKE_SOURCE_DIR})
  target_link_libraries(bench_live PRIVATE quorvel_live quorvel_sim)
endif()

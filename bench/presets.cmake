# Preset actions with a well-filled table: every one must feel instant.
if(TARGET quorvel_presets)
  add_executable(bench_presets ${CMAKE_CURRENT_LIST_DIR}/bench_presets.cpp)
  target_link_libraries(bench_presets PRIVATE quorvel_presets benchmark::benchmark benchmark::benchmark_main)
endif()

add_executable(bench_commands ${CMAKE_CURRENT_LIST_DIR}/bench_commands.cpp)
target_link_libraries(bench_commands PRIVATE quorvel_commands quorvel_base benchmark::benchmark)

add_executable(bench_reports ${CMAKE_CURRENT_LIST_DIR}/bench_reports.cpp)
target_link_libraries(bench_reports PRIVATE quorvel_reports benchmark::benchmark benchmark::benchmark_main)

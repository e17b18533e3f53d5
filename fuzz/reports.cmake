# The receive side under libFuzzer. The core sources are compiled into the target itself so that
# the parsers carry the fuzzer's coverage instrumentation, not just the entry point.
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  set(_core ${CMAKE_SOURCE_DIR}/core/link)
  add_executable(fuzz_reports
    ${CMAKE_CURRENT_LIST_DIR}/fuzz_reports.cpp
    ${_core}/assembler.cpp ${_core}/reports.cpp ${_core}/state_json.cpp
    ${_core}/device_state.cpp ${_core}/gbk.cpp ${_core}/frame.cpp ${_core}/field_registry.cpp)
  target_include_directories(fuzz_reports PRIVATE ${CMAKE_SOURCE_DIR}/core)
  # The sanitizer preset builds Debug (-O0), which would cut the fuzzer to a few dozen runs a second.
  target_compile_options(fuzz_reports PRIVATE -fsanitize=fuzzer -O1)
  target_link_options(fuzz_reports PRIVATE -fsanitize=fuzzer)
endif()

add_library(quorvel_reports STATIC
  link/assembler.cpp
  link/reports.cpp
  link/state_json.cpp
)
target_link_libraries(quorvel_reports PUBLIC quorvel_base)

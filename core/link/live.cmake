find_package(Threads REQUIRED)
add_library(quorvel_live STATIC
  link/udp_transport.cpp
  link/paced_sender.cpp
  link/connection.cpp
  link/device_link.cpp
  link/profile.cpp
)
target_link_libraries(quorvel_live PUBLIC quorvel_base quorvel_commands quorvel_reports Threads::Threads)

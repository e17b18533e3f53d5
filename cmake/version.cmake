# The one version of the executables and the package: project(VERSION) in the top CMakeLists.
configure_file(${CMAKE_CURRENT_LIST_DIR}/version.h.in ${PROJECT_BINARY_DIR}/generated/quorvel_version.h @ONLY)
add_library(quorvel_version INTERFACE)
target_include_directories(quorvel_version INTERFACE ${PROJECT_BINARY_DIR}/generated)

pkg_check_modules(FREETYPE REQUIRED IMPORTED_TARGET freetype2)
pkg_check_modules(FONTCONFIG REQUIRED IMPORTED_TARGET fontconfig)
add_library(quorvel_commands STATIC
  link/commands.cpp
  link/name_bitmap.cpp
)
target_link_libraries(quorvel_commands PUBLIC quorvel_base PRIVATE PkgConfig::FREETYPE PkgConfig::FONTCONFIG)

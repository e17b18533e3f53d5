// Ports for tests: ctest runs test processes in parallel, so each one takes its own range.
#pragma once

#include <unistd.h>

#include <cstdint>

inline std::uint16_t testPort(int offset) {
    return static_cast<std::uint16_t>(40000 + (::getpid() % 2000) * 10 + offset);
}

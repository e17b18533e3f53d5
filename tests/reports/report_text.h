// Received text built the way the device frames it, independently of the simulator's builders.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "link/frame.h"

namespace quorvel::test {

inline std::string hexN(int v, int digits) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*X", digits, static_cast<unsigned>(v));
    return buf;
}
inline std::string h1(int v) {
    return hexN(v, 1);
}
inline std::string h2(int v) {
    return hexN(v, 2);
}
inline std::string h4(int v) {
    return hexN(v, 4);
}

inline std::string sealed(std::string body) {
    return body + h4(frameChecksum(body)) + "#";
}

inline std::string report(char letter, const std::vector<std::string>& sections) {
    std::string body = std::string("%") + letter + ",01,";
    for (const auto& s : sections)
        body += s + ',';
    return sealed(body);
}

// Status values sit at fixed places from character 5: "%Q,1," then 22 pairs.
inline std::string statusReport(const std::vector<int>& values) {
    std::string body = "%Q,1,";
    for (int v : values)
        body += h2(v);
    return sealed(body + ",");
}

// Output levels, mutes and line switches, input levels, report number.
inline std::string levelsReport(int base, int number) {
    std::string level, mute, line, in;
    for (int o = 1; o <= 8; ++o)
        level += h2(base + o), mute += h2(o % 2), line += h2((o + 1) % 2);
    for (int c = 1; c <= 12; ++c)
        in += h2(base + 20 + c);
    return report('P', {level, mute, line, in, std::to_string(number)});
}

} // namespace quorvel::test

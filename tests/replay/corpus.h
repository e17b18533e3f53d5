// Reading a seed corpus: every file of one folder under tests/data, in name order.
#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace quorvel::test {

inline std::vector<std::filesystem::path> corpus(const char* name) {
    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::directory_iterator(std::filesystem::path(QUORVEL_TEST_DATA) / name))
        files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
}

inline std::string slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline bool startsWith(const std::filesystem::path& p, const char* prefix) {
    return p.filename().string().rfind(prefix, 0) == 0;
}

} // namespace quorvel::test

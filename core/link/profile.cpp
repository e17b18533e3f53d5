#include "link/profile.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "link/device_state.h"
#include "link/pin_hash.h"
#include "link/udp_transport.h"

namespace quorvel {

namespace fs = std::filesystem;

namespace {

std::string trim(const std::string& s) {
    auto b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return {};
    auto e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

// QSettings writes plain values bare but may quote them; accept both.
std::string unquote(const std::string& v) {
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"') return v.substr(1, v.size() - 2);
    return v;
}

bool isSectionLine(const std::string& t, std::string* name = nullptr) {
    if (t.size() < 2 || t.front() != '[' || t.back() != ']') return false;
    if (name) *name = t.substr(1, t.size() - 2);
    return true;
}

bool keyOf(const std::string& t, std::string& key, std::string& value) {
    if (t.empty() || t[0] == ';' || t[0] == '#') return false;
    auto eq = t.find('=');
    if (eq == std::string::npos) return false;
    key = trim(t.substr(0, eq));
    value = unquote(trim(t.substr(eq + 1)));
    return true;
}

std::vector<std::string> readLines(const fs::path& file) {
    std::vector<std::string> lines;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

} // namespace

bool isPortableDirectory(const fs::path& dir) {
    const fs::path clean = dir.lexically_normal();
    for (const char* system : {"/usr", "/bin", "/sbin", "/lib", "/etc"}) {
        const fs::path root(system);
        const auto [end, _] = std::mismatch(root.begin(), root.end(), clean.begin(), clean.end());
        if (end == root.end()) return false;
    }
    return ::access(dir.c_str(), W_OK) == 0;
}

fs::path dataDirectory(const std::string& overrideDir) {
    if (!overrideDir.empty()) return overrideDir;
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        fs::path dir = exe.parent_path();
        if (isPortableDirectory(dir)) return dir;
    }
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && *xdg == '/') return fs::path(xdg) / "quorvel";
    const char* home = std::getenv("HOME");
    return fs::path(home && *home ? home : "/tmp") / ".local" / "share" / "quorvel";
}

fs::path profilePath(const fs::path& dataDir) {
    return dataDir / kProfileFileName;
}

std::optional<std::string> readProfileValue(const fs::path& file, const std::string& section,
                                            const std::string& key) {
    std::string current;
    for (const std::string& raw : readLines(file)) {
        std::string t = trim(raw), name, k, v;
        if (isSectionLine(t, &name)) {
            current = name;
        } else if (current == section && keyOf(t, k, v) && k == key) {
            return v;
        }
    }
    return std::nullopt;
}

bool writeProfileValue(const fs::path& file, const std::string& section, const std::string& key,
                       const std::string& value, std::string& error) {
    std::vector<std::string> lines = readLines(file);
    std::string current;
    bool done = false;
    int sectionEnd = -1; // index after the last line of the wanted section
    for (std::size_t i = 0; i < lines.size() && !done; ++i) {
        std::string t = trim(lines[i]), name, k, v;
        if (isSectionLine(t, &name)) {
            current = name;
            if (name == section) sectionEnd = static_cast<int>(i) + 1;
        } else if (current == section) {
            if (keyOf(t, k, v) && k == key) {
                lines[i] = key + "=" + value;
                done = true;
            } else if (!t.empty()) {
                sectionEnd = static_cast<int>(i) + 1;
            }
        }
    }
    if (!done) {
        if (sectionEnd < 0) {
            if (!lines.empty() && !trim(lines.back()).empty()) lines.push_back("");
            lines.push_back("[" + section + "]");
            lines.push_back(key + "=" + value);
        } else {
            lines.insert(lines.begin() + sectionEnd, key + "=" + value);
        }
    }
    std::error_code ec;
    if (file.has_parent_path()) fs::create_directories(file.parent_path(), ec);
    fs::path tmp = file;
    tmp += ".tmp";
    {
        std::ofstream out(tmp, std::ios::trunc);
        for (const std::string& l : lines)
            out << l << "\n";
        out.flush();
        if (!out) {
            error = "cannot write " + tmp.string();
            return false;
        }
    }
    fs::rename(tmp, file, ec);
    if (ec) {
        error = "cannot replace " + file.string() + ": " + ec.message();
        fs::remove(tmp, ec);
        return false;
    }
    return true;
}

std::string readHostAddress(const fs::path& dataDir) {
    auto v = readProfileValue(profilePath(dataDir), kProfileSection, kProfileHostKey);
    if (v && isValidIpv4(*v)) return *v;
    return kDefaultHostAddress;
}

bool writeHostAddress(const fs::path& dataDir, const std::string& address, std::string& error) {
    if (!isValidIpv4(address)) {
        error = "'" + address + "' is not an IPv4 address";
        return false;
    }
    return writeProfileValue(profilePath(dataDir), kProfileSection, kProfileHostKey, address, error);
}

std::string readLockPinHash(const fs::path& dataDir) {
    auto v = readProfileValue(profilePath(dataDir), kProfileLockSection, kProfileLockPinKey);
    if (v && isPinHash(*v)) return *v;
    return {};
}

bool writeLockPinHash(const fs::path& dataDir, const std::string& hash, std::string& error) {
    if (!hash.empty() && !isPinHash(hash)) {
        error = "not a PIN hash";
        return false;
    }
    return writeProfileValue(profilePath(dataDir), kProfileLockSection, kProfileLockPinKey, hash, error);
}

std::string readApiToken(const fs::path& dataDir) {
    auto v = readProfileValue(profilePath(dataDir), kProfileSection, kProfileApiTokenKey);
    return v ? *v : std::string();
}

} // namespace quorvel

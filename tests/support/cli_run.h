// Runs a command-line program as a script would and keeps what it printed and how it ended.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace quorvel::test {

struct CliRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

inline std::string shellQuoted(const std::string& a) {
    std::string q = "'";
    for (char c : a)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// redirect: unquoted shell text placed after the arguments, e.g. ">/dev/full".
inline CliRun runCli(const std::string& program, const std::vector<std::string>& args,
                     const std::string& redirect = "") {
    char errPath[] = "/tmp/quorvel-cli-err-XXXXXX";
    const int fd = mkstemp(errPath);
    if (fd >= 0) close(fd);
    std::string cmd = shellQuoted(program);
    for (const auto& a : args)
        cmd += " " + shellQuoted(a);
    cmd += " " + redirect + " 2>" + std::string(errPath);
    CliRun r;
    if (FILE* p = popen(cmd.c_str(), "r")) {
        char buf[4096];
        std::size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0)
            r.out.append(buf, n);
        const int status = pclose(p);
        r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::ifstream e(errPath);
    std::stringstream ss;
    ss << e.rdbuf();
    r.err = ss.str();
    unlink(errPath);
    return r;
}

} // namespace quorvel::test

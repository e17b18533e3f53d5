// An append-only text file that never grows past a limit: when the next line would cross it, the
// file becomes NAME.1 (NAME.1 becomes NAME.2, and so on) and a new NAME starts. The oldest file
// beyond the count kept is removed. Not thread-safe: one writer (a log's worker) owns it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

namespace quorvel {

class RotatingFile {
public:
    static constexpr std::uintmax_t kDefaultLimit = 1024 * 1024;

    // files: how many are kept in all, the current one included (at least 1).
    explicit RotatingFile(std::uintmax_t limitBytes = kDefaultLimit, int files = 3);
    ~RotatingFile();
    RotatingFile(const RotatingFile&) = delete;
    RotatingFile& operator=(const RotatingFile&) = delete;

    // Appends to what the file already holds, so a restart continues the same file.
    bool open(const std::filesystem::path& path, std::string& error);
    void close();
    // Takes effect at the next line.
    void setLimits(std::uintmax_t limitBytes, int files) {
        limit_ = limitBytes;
        files_ = files < 1 ? 1 : files;
    }
    bool isOpen() const { return file_ != nullptr; }
    // One line; the newline is added. False once a write or a rotation failed (see error()).
    bool writeLine(std::string_view line);
    void flush();
    const std::string& error() const { return error_; }
    std::uintmax_t size() const { return size_; }
    static std::filesystem::path numbered(const std::filesystem::path& path, int n);

private:
    bool rotate();

    std::uintmax_t limit_;
    int files_;
    std::filesystem::path path_;
    std::FILE* file_ = nullptr;
    std::uintmax_t size_ = 0;
    std::string error_;
};

} // namespace quorvel

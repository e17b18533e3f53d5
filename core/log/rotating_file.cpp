#include "log/rotating_file.h"

#include <cerrno>
#include <cstring>
#include <system_error>

namespace quorvel {

RotatingFile::RotatingFile(std::uintmax_t limitBytes, int files)
    : limit_(limitBytes), files_(files < 1 ? 1 : files) {}

RotatingFile::~RotatingFile() {
    close();
}

std::filesystem::path RotatingFile::numbered(const std::filesystem::path& path, int n) {
    if (n == 0) return path;
    std::filesystem::path p = path;
    p += "." + std::to_string(n);
    return p;
}

bool RotatingFile::open(const std::filesystem::path& path, std::string& error) {
    close();
    path_ = path;
    // A first start has no data directory yet; the log must not be lost for that run.
    if (path.has_parent_path()) {
        std::error_code made;
        std::filesystem::create_directories(path.parent_path(), made);
    }
    file_ = std::fopen(path.c_str(), "a");
    if (!file_) {
        error = path.string() + ": " + std::strerror(errno);
        error_ = error;
        return false;
    }
    std::error_code ec;
    const auto existing = std::filesystem::file_size(path, ec);
    size_ = ec ? 0 : existing;
    error_.clear();
    return true;
}

void RotatingFile::close() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
    size_ = 0;
}

bool RotatingFile::rotate() {
    std::fclose(file_);
    file_ = nullptr;
    std::error_code ec;
    std::filesystem::remove(numbered(path_, files_ - 1), ec);
    for (int n = files_ - 2; n >= 0; --n) {
        const auto from = numbered(path_, n);
        if (std::filesystem::exists(from, ec)) std::filesystem::rename(from, numbered(path_, n + 1), ec);
        if (ec) {
            error_ = from.string() + ": " + ec.message();
            break;
        }
    }
    // Opened again even after a failed rename: losing the rotation is better than losing the log.
    file_ = std::fopen(path_.c_str(), files_ == 1 ? "w" : "a");
    if (!file_) {
        error_ = path_.string() + ": " + std::strerror(errno);
        return false;
    }
    std::error_code sizeEc;
    const auto existing = std::filesystem::file_size(path_, sizeEc);
    size_ = sizeEc ? 0 : existing;
    return error_.empty();
}

bool RotatingFile::writeLine(std::string_view line) {
    if (!file_) return false;
    const std::uintmax_t bytes = line.size() + 1;
    if (size_ > 0 && size_ + bytes > limit_) {
        rotate();
        if (!file_) return false;
    }
    const bool ok =
        std::fwrite(line.data(), 1, line.size(), file_) == line.size() && std::fputc('\n', file_) != EOF;
    if (!ok && error_.empty()) error_ = path_.string() + ": " + std::strerror(errno);
    size_ += bytes;
    return ok;
}

void RotatingFile::flush() {
    if (file_) std::fflush(file_);
}

} // namespace quorvel

// Web access for the remote update: the version page as text and the images as files. Only a
// complete answer with status 200 counts; an image reaches its name only once it has arrived
// whole, so an error page, a cut body or a stale copy is never taken for an image.
#pragma once

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <string>

namespace quorvel::firmware {

struct FetchResult {
    bool ok = false;
    long status = 0;   // HTTP status, 0 when none came
    std::string error; // readable, when !ok
};

class HttpFetcher {
public:
    // Gives up on a server that stalls longer than this.
    explicit HttpFetcher(long timeoutSeconds = 60);

    // The body into text; refused when it grows beyond maxBytes.
    FetchResult fetchText(const std::string& url, std::size_t maxBytes, std::string& text) const;
    // The body into a temporary file beside path, renamed to path when complete; on any failure
    // path is left as it was and the temporary file removed.
    FetchResult download(const std::string& url, const std::filesystem::path& path,
                         std::size_t maxBytes) const;

    // Asked from another thread to stop a transfer under way.
    void cancel() { cancelled_ = true; }

private:
    FetchResult get(const std::string& url, std::size_t maxBytes, std::string* text, std::FILE* file) const;
    long timeoutSeconds_;
    mutable std::atomic<bool> cancelled_{false};
};

} // namespace quorvel::firmware

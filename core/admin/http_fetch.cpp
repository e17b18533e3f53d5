#include "admin/http_fetch.h"

#include <curl/curl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "admin/version_page.h"
#include "link/ipv4.h"

namespace quorvel::firmware {
namespace {

struct Sink {
    std::string* text = nullptr;
    std::FILE* file = nullptr;
    std::size_t bytes = 0;
    std::size_t maxBytes = 0;
    bool tooLarge = false;
    bool writeFailed = false;
    const std::atomic<bool>* cancelled = nullptr;
};

std::size_t onData(char* data, std::size_t size, std::size_t count, void* user) {
    auto* s = static_cast<Sink*>(user);
    const std::size_t n = size * count;
    if (s->cancelled->load()) return 0;
    if (s->bytes + n > s->maxBytes) {
        s->tooLarge = true;
        return 0; // ends the transfer
    }
    s->bytes += n;
    if (s->text) s->text->append(data, n);
    if (s->file && std::fwrite(data, 1, n, s->file) != n) {
        s->writeFailed = true;
        return 0;
    }
    return n;
}

int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<const std::atomic<bool>*>(user)->load() ? 1 : 0;
}

// With the loopback guard on, only a server on this machine may be asked.
bool hostAllowed(const std::string& url, std::string& error) {
    if (!loopbackOnlyFromEnvironment()) return true;
    CURLU* u = curl_url();
    char* host = nullptr;
    bool ok = curl_url_set(u, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK &&
              curl_url_get(u, CURLUPART_HOST, &host, 0) == CURLUE_OK && host &&
              (std::strcmp(host, "localhost") == 0 || isLoopbackIpv4(host));
    if (!ok) error = "loopback-only mode: " + url + " is not on this machine";
    curl_free(host);
    curl_url_cleanup(u);
    return ok;
}

struct CurlGlobal {
    CurlGlobal() { curl_global_init(CURL_GLOBAL_DEFAULT); }
    ~CurlGlobal() { curl_global_cleanup(); }
};

} // namespace

HttpFetcher::HttpFetcher(long timeoutSeconds) : timeoutSeconds_(timeoutSeconds) {
    static CurlGlobal global;
}

FetchResult HttpFetcher::get(const std::string& url, std::size_t maxBytes, std::string* text,
                             std::FILE* file) const {
    FetchResult r;
    if (!isHttpUrl(url)) {
        r.error = "not an http or https address: " + url;
        return r;
    }
    if (!hostAllowed(url, r.error)) return r;
    CURL* curl = curl_easy_init();
    if (!curl) {
        r.error = "the web client could not start";
        return r;
    }
    Sink sink{text, file, 0, maxBytes, false, false, &cancelled_};
    char agent[48];
    const auto tick = std::chrono::duration_cast<std::chrono::milliseconds>(
                          std::chrono::steady_clock::now().time_since_epoch())
                          .count();
    std::snprintf(agent, sizeof agent, "Agent%lld", static_cast<long long>(tick));
    curl_slist* headers = nullptr;
    headers = curl_slist_append(headers, "Accept: */*");
    headers = curl_slist_append(headers, "Pragma: no-cache");
    headers = curl_slist_append(headers, "Cache-Control: no-cache");
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, agent);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 15L);
    // A stalled server, not a slow one, is given up on.
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, timeoutSeconds_);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, onData);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &cancelled_);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    // A redirect could lead off this machine, where the loopback guard has no say.
    if (loopbackOnlyFromEnvironment()) curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
    const CURLcode rc = curl_easy_perform(curl);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &r.status);
    curl_off_t announced = -1;
    curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);

    if (sink.tooLarge) {
        r.error = "the answer from " + url + " is larger than allowed";
    } else if (sink.writeFailed) {
        r.error = "the download could not be written";
    } else if (cancelled_) {
        r.error = "cancelled";
    } else if (rc == CURLE_PARTIAL_FILE) {
        r.error = "the answer from " + url + " is incomplete";
    } else if (rc != CURLE_OK) {
        r.error = std::string(curl_easy_strerror(rc)) + " (" + url + ")";
    } else if (r.status != 200) {
        r.error = url + " answered " + std::to_string(r.status);
    } else if (announced >= 0 && static_cast<std::size_t>(announced) != sink.bytes) {
        r.error = "the answer from " + url + " is incomplete";
    } else {
        r.ok = true;
    }
    return r;
}

FetchResult HttpFetcher::fetchText(const std::string& url, std::size_t maxBytes, std::string& text) const {
    text.clear();
    FetchResult r = get(url, maxBytes, &text, nullptr);
    if (!r.ok) text.clear();
    return r;
}

FetchResult HttpFetcher::download(const std::string& url, const std::filesystem::path& path,
                                  std::size_t maxBytes) const {
    std::filesystem::path tmp = path;
    tmp += ".part";
    std::FILE* f = std::fopen(tmp.c_str(), "wb");
    if (!f) {
        FetchResult r;
        r.error = "cannot write " + tmp.string() + ": " + std::strerror(errno);
        return r;
    }
    FetchResult r = get(url, maxBytes, nullptr, f);
    bool closed = std::fflush(f) == 0 && ::fsync(fileno(f)) == 0;
    closed = std::fclose(f) == 0 && closed;
    if (r.ok && !closed) {
        r.ok = false;
        r.error = "cannot write " + tmp.string();
    }
    std::error_code ec;
    if (r.ok) {
        std::filesystem::rename(tmp, path, ec);
        if (ec) {
            r.ok = false;
            r.error = "cannot store " + path.string() + ": " + ec.message();
        }
    }
    if (!r.ok) std::filesystem::remove(tmp, ec);
    return r;
}

} // namespace quorvel::firmware

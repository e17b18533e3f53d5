#include "link/pin_hash.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <array>
#include <charconv>
#include <vector>

namespace quorvel {
namespace {

constexpr std::string_view kScheme = "pbkdf2-sha256";
// A tampered profile must not make the unlock hang for minutes.
constexpr int kMaxIterations = 5'000'000;

std::string toHex(const unsigned char* p, std::size_t n) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(n * 2);
    for (std::size_t i = 0; i < n; ++i) {
        out.push_back(kDigits[p[i] >> 4]);
        out.push_back(kDigits[p[i] & 0x0F]);
    }
    return out;
}

std::optional<std::vector<unsigned char>> fromHex(std::string_view s) {
    if (s.size() % 2 != 0) return std::nullopt;
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    };
    std::vector<unsigned char> out(s.size() / 2);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const int hi = nibble(s[2 * i]), lo = nibble(s[2 * i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out[i] = static_cast<unsigned char>(hi << 4 | lo);
    }
    return out;
}

bool derive(std::string_view pin, const unsigned char* salt, std::size_t saltLen, int iterations,
            unsigned char* out, std::size_t outLen) {
    return PKCS5_PBKDF2_HMAC(pin.data(), static_cast<int>(pin.size()), salt, static_cast<int>(saltLen),
                             iterations, EVP_sha256(), static_cast<int>(outLen), out) == 1;
}

struct Parsed {
    int iterations = 0;
    std::vector<unsigned char> salt;
    std::vector<unsigned char> hash;
};

std::optional<Parsed> parse(std::string_view stored) {
    std::array<std::string_view, 4> parts;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const std::size_t cut = stored.find('$');
        if ((cut == std::string_view::npos) != (i + 1 == parts.size())) return std::nullopt;
        parts[i] = stored.substr(0, cut);
        stored = cut == std::string_view::npos ? std::string_view{} : stored.substr(cut + 1);
    }
    if (parts[0] != kScheme) return std::nullopt;
    Parsed p;
    const auto [end, ec] = std::from_chars(parts[1].data(), parts[1].data() + parts[1].size(), p.iterations);
    if (ec != std::errc{} || end != parts[1].data() + parts[1].size()) return std::nullopt;
    if (p.iterations < 1 || p.iterations > kMaxIterations) return std::nullopt;
    auto salt = fromHex(parts[2]);
    auto hash = fromHex(parts[3]);
    if (!salt || !hash || salt->empty() || hash->size() != kPinHashBytes) return std::nullopt;
    p.salt = std::move(*salt);
    p.hash = std::move(*hash);
    return p;
}

} // namespace

std::string hashPin(std::string_view pin, int iterations) {
    if (iterations < 1 || iterations > kMaxIterations) return {};
    std::array<unsigned char, kPinSaltBytes> salt{};
    if (RAND_bytes(salt.data(), static_cast<int>(salt.size())) != 1) return {};
    std::array<unsigned char, kPinHashBytes> key{};
    if (!derive(pin, salt.data(), salt.size(), iterations, key.data(), key.size())) return {};
    std::string out(kScheme);
    out += '$' + std::to_string(iterations) + '$' + toHex(salt.data(), salt.size()) + '$' +
           toHex(key.data(), key.size());
    OPENSSL_cleanse(key.data(), key.size());
    return out;
}

bool verifyPin(std::string_view pin, std::string_view stored) {
    const auto p = parse(stored);
    if (!p) return false;
    std::array<unsigned char, kPinHashBytes> key{};
    if (!derive(pin, p->salt.data(), p->salt.size(), p->iterations, key.data(), key.size())) return false;
    const bool same = CRYPTO_memcmp(key.data(), p->hash.data(), key.size()) == 0;
    OPENSSL_cleanse(key.data(), key.size());
    return same;
}

bool isPinHash(std::string_view stored) {
    return parse(stored).has_value();
}

} // namespace quorvel

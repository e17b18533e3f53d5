// The lock PIN as the profile keeps it: a salted, slow hash in one line of text, never the PIN.
// "pbkdf2-sha256$ITERATIONS$SALT$HASH" with the salt and hash in lowercase hex.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quorvel {

inline constexpr int kPinIterations = 200000;
inline constexpr std::size_t kPinSaltBytes = 16;
inline constexpr std::size_t kPinHashBytes = 32;

// A fresh random salt each time, so the same PIN never gives the same text twice. Empty when the
// system has no randomness to give (nothing should then be stored).
std::string hashPin(std::string_view pin, int iterations = kPinIterations);

// Constant-time comparison of the derived key. False for a damaged text, never an exception.
bool verifyPin(std::string_view pin, std::string_view stored);

// A stored text this program can check; anything else counts as no PIN being set.
bool isPinHash(std::string_view stored);

} // namespace quorvel

// Where the application keeps its files, and the one profile value: the device's address.
// The profile is a plain INI file that the Qt application can also open with QSettings in INI
// format; reading and writing here needs no Qt.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace quorvel {

inline constexpr const char* kProfileFileName = "quorvel.ini";
inline constexpr const char* kProfileSection = "U_FONT_SECTION";
inline constexpr const char* kProfileHostKey = "hostip";
// The surface lock's PIN, only ever as the salted hash of link/pin_hash.h.
inline constexpr const char* kProfileLockSection = "lock";
inline constexpr const char* kProfileLockPinKey = "pinHash";
// What remote-control clients off loopback must give; none set: the API stays on loopback.
inline constexpr const char* kProfileApiTokenKey = "apiToken";

// The executable's directory when it is writable (portable use), otherwise $XDG_DATA_HOME/quorvel
// (default ~/.local/share/quorvel). A non-empty override wins.
std::filesystem::path dataDirectory(const std::string& overrideDir = {});
// Whether an executable in dir keeps its files beside itself: a writable directory that is not a
// system one. An installed program run by root must not write its profile into /usr/bin.
bool isPortableDirectory(const std::filesystem::path& dir);
std::filesystem::path profilePath(const std::filesystem::path& dataDir);

// Reads [section] key from an INI file; empty when the file, the section or the key is missing.
std::optional<std::string> readProfileValue(const std::filesystem::path& file, const std::string& section,
                                            const std::string& key);
// Sets the value, keeping every other line of the file; written to a temporary file and renamed.
bool writeProfileValue(const std::filesystem::path& file, const std::string& section, const std::string& key,
                       const std::string& value, std::string& error);

// The stored device address, or the factory default when none is stored or the stored one is
// not a valid address.
std::string readHostAddress(const std::filesystem::path& dataDir);
// Refuses anything but a dotted-decimal IPv4 address.
bool writeHostAddress(const std::filesystem::path& dataDir, const std::string& address, std::string& error);

// The stored PIN hash; empty when none is set or the stored text is not a hash this program
// checks (a PIN typed into the file by hand must not unlock anything).
std::string readLockPinHash(const std::filesystem::path& dataDir);
// Stores a hash made by hashPin; an empty text removes the PIN. Anything else is refused.
bool writeLockPinHash(const std::filesystem::path& dataDir, const std::string& hash, std::string& error);
// The remote-control API's token; empty when none is set.
std::string readApiToken(const std::filesystem::path& dataDir);

} // namespace quorvel

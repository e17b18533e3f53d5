// The one stored setting: the device address, in quorvel.ini in the data directory.
#pragma once

#include <QString>

namespace quorvel::ui {

// The executable's directory when it is writable (portable use), else $XDG_DATA_HOME/quorvel.
QString defaultDataDirectory();

class Profile {
public:
    explicit Profile(QString dataDir);

    const QString& dataDir() const { return dataDir_; }
    QString filePath() const;
    // An absent or empty entry gives the factory address.
    QString readHostAddress() const;
    // Creates the directory when needed; false when the file cannot be written.
    bool writeHostAddress(const QString& address) const;
    // Automatic reconnection after the device fell silent; on unless turned off.
    bool readAutoReconnect() const;
    bool writeAutoReconnect(bool on) const;
    // The surface lock's PIN as its salted hash; empty when none is set (or the entry is damaged).
    QString readLockPinHash() const;
    // An empty text removes the PIN; anything but a hash is refused.
    bool writeLockPinHash(const QString& hash) const;

private:
    QString dataDir_;
};

// Four decimal octets 0..255, nothing else; the unspecified and the limited broadcast address
// cannot be a device.
bool isValidDeviceAddress(const QString& text);

} // namespace quorvel::ui

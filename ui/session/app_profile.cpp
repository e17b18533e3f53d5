#include "session/app_profile.h"

#include <QDir>
#include <QSettings>

#include <arpa/inet.h>

#include "link/device_state.h"
#include "link/ipv4.h"
#include "link/pin_hash.h"
#include "link/profile.h"

namespace quorvel::ui {
namespace {
QString hostKey() {
    return QStringLiteral("%1/%2").arg(kProfileSection, kProfileHostKey);
}
QString lockPinKey() {
    return QStringLiteral("%1/%2").arg(kProfileLockSection, kProfileLockPinKey);
}
} // namespace

QString defaultDataDirectory() {
    return QString::fromStdString(dataDirectory().string());
}

Profile::Profile(QString dataDir) : dataDir_(std::move(dataDir)) {}

QString Profile::filePath() const {
    return QDir(dataDir_).filePath(kProfileFileName);
}

QString Profile::readHostAddress() const {
    QSettings ini(filePath(), QSettings::IniFormat);
    const QString v = ini.value(hostKey()).toString().trimmed();
    return v.isEmpty() ? QString::fromLatin1(kDefaultHostAddress) : v;
}

bool Profile::writeHostAddress(const QString& address) const {
    if (!QDir().mkpath(dataDir_)) return false;
    QSettings ini(filePath(), QSettings::IniFormat);
    ini.setValue(hostKey(), address);
    ini.sync();
    return ini.status() == QSettings::NoError;
}

bool Profile::readAutoReconnect() const {
    QSettings ini(filePath(), QSettings::IniFormat);
    return ini.value(QStringLiteral("%1/AutoReconnect").arg(kProfileSection), true).toBool();
}

bool Profile::writeAutoReconnect(bool on) const {
    if (!QDir().mkpath(dataDir_)) return false;
    QSettings ini(filePath(), QSettings::IniFormat);
    ini.setValue(QStringLiteral("%1/AutoReconnect").arg(kProfileSection), on);
    ini.sync();
    return ini.status() == QSettings::NoError;
}

QString Profile::readLockPinHash() const {
    QSettings ini(filePath(), QSettings::IniFormat);
    const QString v = ini.value(lockPinKey()).toString().trimmed();
    return isPinHash(v.toStdString()) ? v : QString();
}

bool Profile::writeLockPinHash(const QString& hash) const {
    if (!hash.isEmpty() && !isPinHash(hash.toStdString())) return false;
    if (!QDir().mkpath(dataDir_)) return false;
    QSettings ini(filePath(), QSettings::IniFormat);
    if (hash.isEmpty())
        ini.remove(lockPinKey());
    else
        ini.setValue(lockPinKey(), hash);
    ini.sync();
    return ini.status() == QSettings::NoError;
}

bool isValidDeviceAddress(const QString& text) {
    const QByteArray a = text.toLatin1();
    if (a.isEmpty() || a.size() > 15 || text.size() != a.size()) return false;
    in_addr addr{};
    if (!parseIpv4(std::string_view(a.constData(), static_cast<std::size_t>(a.size())), addr)) return false;
    const std::uint32_t host = ntohl(addr.s_addr);
    return host != 0 && host != 0xFFFFFFFFu;
}

} // namespace quorvel::ui

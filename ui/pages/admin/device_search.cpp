#include "pages/admin/device_search.h"

#include <arpa/inet.h>

#include <QMetaObject>
#include <QPointer>

#include "admin/discovery.h"
#include "link/commands.h"

namespace quorvel::ui {

DeviceSearch::DeviceSearch(QObject* parent) : QObject(parent), discovery_(std::make_unique<Discovery>()) {}

DeviceSearch::~DeviceSearch() {
    discovery_->stop();
}

bool DeviceSearch::start(const QString& deviceAddress, int port, bool loopbackOnly, QString& error) {
    // The interface the device is reached through; with no route, the first one that is up.
    const Ipv4Octets own = ownAddressFor(deviceAddress.toStdString());
    std::string from;
    if (own != Ipv4Octets{0, 0, 0, 0}) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%d.%d.%d.%d", own[0], own[1], own[2], own[3]);
        from = buf;
    }
    std::string why;
    auto iface = chooseInterface(from, why);
    if (!iface) {
        error = QString::fromStdString(why);
        return false;
    }
    DiscoveryOptions o;
    o.from = *iface;
    o.port = static_cast<std::uint16_t>(port);
    o.bindPort = o.port;
    o.loopbackOnly = loopbackOnly;
    return start(o, error);
}

bool DeviceSearch::start(const DiscoveryOptions& options, QString& error) {
    discovery_->stop();
    QPointer<DeviceSearch> self(this);
    // Posted: the worker never touches a widget.
    auto post = [self](auto fn) {
        QMetaObject::invokeMethod(
            self.data(),
            [self, fn] {
                if (self) fn(*self);
            },
            Qt::QueuedConnection);
    };
    std::string why;
    const bool ok = discovery_->start(
        options,
        [post](const FoundDevice& d) {
            post([ip = QString::fromStdString(d.ip), port = d.port](DeviceSearch& s) {
                emit s.found(ip, port);
            });
        },
        [post](int sent, int total) {
            post([sent, total](DeviceSearch& s) { emit s.progress(sent, total); });
        },
        [post](const DiscoveryResult& r) {
            post([sent = r.framesSent, answers = r.answers](DeviceSearch& s) {
                emit s.finished(sent, answers);
            });
        },
        why);
    if (!ok) error = QString::fromStdString(why);
    return ok;
}

void DeviceSearch::stop() {
    discovery_->stop();
}

bool DeviceSearch::running() const {
    return discovery_->running();
}

} // namespace quorvel::ui

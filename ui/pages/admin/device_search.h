// The CONNECT tab's Search: the core's discovery worker, its reports posted to the UI thread.
#pragma once

#include <QObject>
#include <QString>

#include <memory>

namespace quorvel {
class Discovery;
struct DiscoveryOptions;
} // namespace quorvel

namespace quorvel::ui {

class DeviceSearch : public QObject {
    Q_OBJECT
public:
    explicit DeviceSearch(QObject* parent = nullptr);
    ~DeviceSearch() override;

    // Opens the search socket on the interface that reaches deviceAddress (127.0.0.1 for a device
    // on loopback) and starts the sweep; false with the reason when the socket cannot be had, and
    // then nothing is sent.
    bool start(const QString& deviceAddress, int port, bool loopbackOnly, QString& error);
    // The same with everything chosen by the caller (tests shorten the wait after the sweep).
    bool start(const DiscoveryOptions& options, QString& error);
    void stop();
    bool running() const;

signals:
    void found(const QString& ip, int port);
    void progress(int sent, int total);
    void finished(int framesSent, int answers);

private:
    std::unique_ptr<Discovery> discovery_;
};

} // namespace quorvel::ui

#pragma once

#include <QObject>

#include <memory>

class QSocketNotifier;

namespace sm {

// Turns SIGTERM (a desktop logout), SIGINT and SIGHUP into QCoreApplication::quit() on the main loop,
// so the termination sequence runs as after "Quit". The handler only writes a byte to a pipe.
class QuitOnSignals final : public QObject {
public:
    QuitOnSignals();
    ~QuitOnSignals() override;
    bool isInstalled() const { return notifier_ != nullptr; }
    // The signal that arrived, 0 before any.
    int received() const { return received_; }

private:
    std::unique_ptr<QSocketNotifier> notifier_;
    int received_ = 0;
};

} // namespace sm

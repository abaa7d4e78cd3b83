#pragma once

#include "logging/Logger.h"

#include <QObject>
#include <QString>

#include <functional>

class QDBusServiceWatcher;

namespace sm::gnome {

// Watches for the bridge while the program runs without it (through Xwayland), so that what the user
// is told follows it: turned on while the program runs, it takes a restart to be used, since the
// backend is chosen once at start.
class GnomeBridgeWatch final : public QObject {
    Q_OBJECT
public:
    explicit GnomeBridgeWatch(Logger logger);
    ~GnomeBridgeWatch() override;

    bool bridgeOn() const { return on_; }
    QString problem() const; // for Preferences: never empty, since the backend in use is not the bridge

    std::function<void()> onChange;

private:
    void presence(bool on);

    Logger logger_;
    QDBusServiceWatcher* watcher_ = nullptr;
    bool on_ = false;
};

} // namespace sm::gnome

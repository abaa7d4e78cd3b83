#pragma once

#include "logging/Logger.h"

#include <QObject>

#include <functional>

namespace sm {

// Wake from sleep: logind announces PrepareForSleep(true) before suspending and PrepareForSleep(false)
// after resuming. Without a system bus (containers, some minimal sessions) it says so once and stays
// silent.
class LogindWakeWatcher final : public QObject {
    Q_OBJECT
public:
    LogindWakeWatcher(Logger logger, std::function<void()> onWake);
    bool isWatching() const { return watching_; }

private Q_SLOTS:
    void prepareForSleep(bool sleeping);

private:
    std::function<void()> onWake_;
    bool watching_ = false;
};

} // namespace sm

#pragma once

#include "logging/Logger.h"
#include "platform/MainQueue.h"
#include "platform/WindowServer.h"

#include <QList>
#include <QString>

#include <functional>
#include <memory>

namespace sm {

// A named desktop that can be gone to: its label's title and where the desktop is today.
struct NamedDesktop {
    QString title;
    DesktopPlace place;
};

// `spacemarquee go NAME`: finds the desktop NAME means, asks the window server to switch to it and
// answers once, when the server reports that desktop as the active one, or with the reason it cannot
// be gone to, or after kGiveUpSeconds of waiting for a switch that never comes.
class GoToDesktop {
public:
    static constexpr double kGiveUpSeconds = 2.0;
    using Done = std::function<void(const QString& refusal)>; // empty: the switch was seen

    GoToDesktop(std::weak_ptr<WindowServer> windowServer, std::shared_ptr<MainQueue> queue, Logger logger);

    // `desktops` in desktop order; a desktop listed more than once (a label per screen) counts once.
    void go(const QList<NamedDesktop>& desktops, const QString& name, Done done);
    // The same, to a desktop already chosen (the tray menu's).
    void goTo(const NamedDesktop& target, Done done);

private:
    std::weak_ptr<WindowServer> windowServer_;
    std::shared_ptr<MainQueue> queue_;
    Logger logger_;
};

} // namespace sm

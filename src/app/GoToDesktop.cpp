#include "app/GoToDesktop.h"

#include "app/CommandLine.h"
#include "rules/DesktopNameMatch.h"

#include <algorithm>

namespace sm {

namespace {

QString described(const NamedDesktop& desktop) {
    return QStringLiteral("\"%1\" (desktop %2)").arg(desktop.title).arg(desktop.place.desktop + 1);
}

// One request in flight: it ends at the first of the switch seen and the give-up, and answers once.
struct Wait {
    Connection switched;
    WorkHandle giveUp;
    GoToDesktop::Done done;

    void finish(const QString& refusal) {
        switched.disconnect();
        if (auto timer = std::exchange(giveUp, nullptr)) timer->cancel();
        if (auto d = std::exchange(done, nullptr)) d(refusal);
    }
};

} // namespace

GoToDesktop::GoToDesktop(std::weak_ptr<WindowServer> windowServer, std::shared_ptr<MainQueue> queue,
                         Logger logger)
    : windowServer_(std::move(windowServer)), queue_(std::move(queue)), logger_(std::move(logger)) {}

void GoToDesktop::go(const QList<NamedDesktop>& desktops, const QString& name, Done done) {
    QList<NamedDesktop> unique;
    QStringList titles;
    for (const auto& d : desktops) {
        if (std::any_of(unique.begin(), unique.end(), [&](const NamedDesktop& u) {
                return u.place == d.place && u.title == d.title;
            }))
            continue;
        unique << d;
        titles << d.title;
    }
    const auto match = DesktopNameMatch::match(titles, name);
    using Kind = DesktopNameMatch::Result::Kind;
    if (match.kind == Kind::unknown)
        return done(QLatin1String(CommandLine::kCannotGo) +
                    QStringLiteral("no desktop is named \"%1\"").arg(name.trimmed().left(200)));
    if (match.kind == Kind::ambiguous) {
        QStringList candidates;
        for (const int i : match.matches)
            candidates << described(unique[i]);
        return done(QLatin1String(CommandLine::kAmbiguousName) + candidates.join(QStringLiteral(", ")));
    }

    goTo(unique[match.matches.front()], std::move(done));
}

void GoToDesktop::goTo(const NamedDesktop& target, Done done) {
    auto server = windowServer_.lock();
    if (!server) return done(QLatin1String(CommandLine::kCannotGo) + QStringLiteral("Spacemarquee is quitting"));
    // Where the target is now and whether it is the active one: on window managers that renumber
    // desktops as they go, only the server can say.
    auto arrived = [weakServer = windowServer_, place = target.place] {
        auto s = weakServer.lock();
        if (!s) return false;
        const auto active = s->activePlace();
        const auto now = s->locate(place);
        return active && now && active->screenId == now->screenId && active->desktop == now->desktop;
    };
    SM_TRACE(logger_, QStringLiteral("go ASKED %1").arg(described(target)));
    if (arrived()) return done({});
    if (const QString refusal = server->switchTo(target.place); !refusal.isEmpty()) {
        logger_.error(QStringLiteral("Could not go to %1: %2").arg(described(target), refusal));
        return done(QLatin1String(CommandLine::kCannotGo) + refusal);
    }

    auto wait = std::make_shared<Wait>();
    wait->done = std::move(done);
    const std::weak_ptr<Wait> weakWait = wait;
    wait->switched = server->activeDesktopChanged.connect([weakWait, arrived, logger = logger_] {
        auto w = weakWait.lock();
        if (!w || !arrived()) return;
        SM_TRACE(logger, QStringLiteral("go SEEN"));
        w->finish({});
    });
    // The timer holds the request: it lives until one of the two ends it.
    wait->giveUp = queue_->after(kGiveUpSeconds, [wait, target, logger = logger_] {
        logger.error(QStringLiteral("Gave up going to %1: no switch within %2 seconds")
                         .arg(described(target))
                         .arg(kGiveUpSeconds));
        wait->finish(QLatin1String(CommandLine::kCannotGo) +
                     QStringLiteral("the desktop did not switch to %1 within %2 seconds")
                         .arg(described(target))
                         .arg(kGiveUpSeconds));
    });
}

} // namespace sm

#pragma once
// What the measurement tools share: a wait that turns the event loop without sleeping (a sleep would
// be counted in what is measured), a label shown on the desktop on screen, and a sample's figures.
#include "platform/WindowServer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QUuid>

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

namespace sm::measure {

inline bool waitUntil(const std::function<bool()>& condition, int milliseconds = 5000) {
    QDeadlineTimer deadline(milliseconds);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

inline std::unique_ptr<LabelPanel> labelHere(WindowServer& server, const QString& title,
                                             QPointF at = QPointF(100, 500)) {
    auto panel = server.createLabelPanel(QUuid::createUuid());
    panel->view().present({title, QStringLiteral("Click to name"), 48.0, false, false, false});
    panel->setFrame(QRectF(at, QSizeF(260, 90)));
    panel->setAlpha(1.0);
    panel->orderFront();
    waitUntil([&] { return panel->isVisible() && panel->isOnActiveSpace(); });
    return panel;
}

struct Figures {
    double median = 0, p95 = 0, worst = 0;
};

// Sorts the samples; all zero when there are none.
inline Figures figuresOf(std::vector<double>& samples) {
    if (samples.empty()) return {};
    std::sort(samples.begin(), samples.end());
    return {samples[samples.size() / 2], samples[samples.size() * 95 / 100], samples.back()};
}

} // namespace sm::measure

#pragma once

#include "platform/WindowServer.h"
#include "support/WaitUntil.h"

#include <QUuid>

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <vector>

namespace sm::test {

// A titled label at `origin` (logical points), ordered front, once the server reports it present.
inline std::unique_ptr<LabelPanel> showLabel(WindowServer& server, const QString& title, QPointF origin) {
    auto panel = server.createLabelPanel(QUuid::createUuid());
    panel->view().present({title, QStringLiteral("Click to name"), 48.0, false, false, false});
    panel->setFrame(QRectF(origin, QSizeF(260, 90)));
    panel->setAlpha(1.0);
    panel->orderFront();
    EXPECT_TRUE(waitUntil([&] { return panel->isVisible() && panel->isOnActiveSpace(); }))
        << title.toStdString();
    return panel;
}

// What a backend says of a label: on the active desktop (A) and visible (V).
struct Facts {
    bool onActiveSpace;
    bool visible;
    bool operator==(const Facts&) const = default;
};
inline std::ostream& operator<<(std::ostream& os, const Facts& f) {
    return os << (f.visible ? 'V' : '-') << (f.onActiveSpace ? 'A' : '-');
}
inline std::vector<Facts> factsOf(const std::vector<std::unique_ptr<LabelPanel>>& panels) {
    std::vector<Facts> out;
    for (const auto& p : panels)
        out.push_back({p->isOnActiveSpace(), p->isVisible()});
    return out;
}

} // namespace sm::test

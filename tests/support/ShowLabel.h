#pragma once

#include "platform/WindowServer.h"
#include "support/WaitUntil.h"

#include <QUuid>

#include <gtest/gtest.h>

#include <memory>

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

} // namespace sm::test

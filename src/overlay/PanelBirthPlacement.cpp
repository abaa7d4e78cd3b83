#include "overlay/PanelBirthPlacement.h"

#include <algorithm>

namespace sm::PanelBirthPlacement {

std::optional<QRectF> targetFrame(const std::optional<QString>& screenIdentifier, const QList<Screen>& screens) {
    if (!screenIdentifier || screenIdentifier->isEmpty()) return std::nullopt;
    for (const auto& screen : screens)
        if (screen.stableID == *screenIdentifier) return screen.frame;
    std::optional<QRectF> byName;
    int matches = 0;
    for (const auto& screen : screens) {
        if (screen.localizedName == *screenIdentifier) {
            byName = screen.frame;
            ++matches;
        }
    }
    return matches == 1 ? byName : std::nullopt;
}

QPointF birthOrigin(const QRectF& frame, const QSizeF& size) {
    const double minX = frame.x(), maxX = frame.x() + frame.width();
    const double minY = frame.y(), maxY = frame.y() + frame.height();
    const double midX = frame.x() + frame.width() / 2.0;
    const double w = size.width(), h = size.height();
    const double x = std::min(std::max(minX, midX - w / 2.0), std::max(minX, maxX - w));
    const double y = std::min(std::max(minY, maxY - kTopInset - h), std::max(minY, maxY - h));
    return {x, y};
}

} // namespace sm::PanelBirthPlacement

#include "overlay/RenderPlan.h"

#include <algorithm>

namespace sm::RenderPlan {

namespace {

double minX(const QRectF& r) {
    return r.x();
}
double maxX(const QRectF& r) {
    return r.x() + r.width();
}
double minY(const QRectF& r) {
    return r.y();
}
double maxY(const QRectF& r) {
    return r.y() + r.height();
}
double midX(const QRectF& r) {
    return r.x() + r.width() / 2.0;
}
double midY(const QRectF& r) {
    return r.y() + r.height() / 2.0;
}

LayoutState layoutStateFor(const Inputs& in) {
    if (in.isMagnified) return LayoutState::magnified;
    if (in.isOcclusionVisible) return LayoutState::normal;
    return LayoutState::band;
}

double opacityFor(const Inputs& in) {
    if (in.isEditing) return 1.0;
    if (in.isMagnified) return in.magnifyOpacity;
    // Labels of other desktops are only seen in overviews, where they must always be readable.
    if (!in.isOcclusionVisible) return 1.0;
    if (in.ctrlBoostActive || in.entryBoostActive) return in.ctrlBoostOpacity;
    switch (in.visibilityMode) {
    case VisibilityMode::always:
    case VisibilityMode::onChange:
        return in.baseOpacity;
    case VisibilityMode::onCtrl:
        return 0.0;
    }
    return in.baseOpacity;
}

// Keeps the whole label on screen; when it is larger than the screen, the lower bound wins.
double clampedInto(double value, double lower, double upperForOrigin) {
    return std::min(std::max(lower, upperForOrigin), std::max(value, lower));
}

double defaultY(const QRectF& screen, double height) {
    return maxY(screen) - kDefaultTopInset - height;
}

} // namespace

QString toString(LayoutState state) {
    switch (state) {
    case LayoutState::normal:
        return QStringLiteral("normal");
    case LayoutState::band:
        return QStringLiteral("band");
    case LayoutState::magnified:
        return QStringLiteral("magnified");
    }
    return {};
}

QRectF frame(LayoutState state, const Inputs& in) {
    const QRectF& screen = in.screenFrame;
    switch (state) {
    case LayoutState::normal: {
        const double w = in.fittedSize.width();
        const double h = in.fittedSize.height();
        if (in.syncPositionsAcrossSpaces && in.syncedPosition) {
            // A shared position was dragged on some other screen size, so it may not fit this one.
            const double x = clampedInto(in.syncedPosition->x(), minX(screen), maxX(screen) - w);
            const double y = clampedInto(in.syncedPosition->y(), minY(screen), maxY(screen) - h);
            return {x, y, w, h};
        }
        // The user put it there on purpose, even off screen; leave it.
        if (in.tagPosition) return {*in.tagPosition, in.fittedSize};
        return {midX(screen) - w / 2.0, defaultY(screen, h), w, h};
    }
    case LayoutState::band: {
        const double h = std::max(in.liveHeight, kBandMinHeight);
        // Only the label's own height is kept: the shared position belongs to the active label.
        const double y = in.tagPosition ? in.tagPosition->y() : defaultY(screen, h);
        return {minX(screen), y, screen.width(), h};
    }
    case LayoutState::magnified: {
        const double h = in.fontSize * in.magnifyScale * kMagnifiedHeightFactor + kMagnifiedExtraHeight;
        return {minX(screen), midY(screen) - h / 2.0, screen.width(), h};
    }
    }
    return {};
}

Output plan(const Inputs& in) {
    Output out;
    out.layoutState = layoutStateFor(in);
    // Same state, no frame: a label the user dragged keeps its place until its layout changes.
    if (in.lastLayoutState != out.layoutState) out.frame = frame(out.layoutState, in);
    out.opacity = opacityFor(in);
    out.showsBackgroundBand = in.isEditing || !in.isOcclusionVisible;
    out.fontSize = out.layoutState == LayoutState::magnified ? in.fontSize * in.magnifyScale : in.fontSize;
    return out;
}

QRectF screenFrameOrFallback(const std::optional<QRectF>& panelScreen,
                             const std::optional<QRectF>& mainScreen) {
    if (panelScreen) return *panelScreen;
    if (mainScreen) return *mainScreen;
    return kFallbackScreenFrame;
}

} // namespace sm::RenderPlan

#include "model/AppSettings.h"

#include <algorithm>
#include <cmath>

namespace sm {

namespace {

struct Range {
    double lower;
    double upper;
};

constexpr Range kOpacityRange{0.0, 1.0};
constexpr Range kOnChangeDurationRange{0.5, 10.0};
constexpr Range kFontSizeRange{20.0, 200.0};
constexpr Range kMagnifyScaleRange{1.0, 10.0};
constexpr Range kSpeechRateRange{0.1, 1.0};

double clamped(double value, Range range, double fallback) {
    if (!std::isfinite(value)) return fallback;
    return std::min(std::max(value, range.lower), range.upper);
}

ScreenLayout& layoutFor(QMap<QString, ScreenLayout>& perScreen, const QString& screenID) {
    // operator[] inserts an empty override when the screen has none yet.
    return perScreen[screenID];
}

} // namespace

QString rawValue(VisibilityMode mode) {
    switch (mode) {
    case VisibilityMode::always:
        return QStringLiteral("always");
    case VisibilityMode::onChange:
        return QStringLiteral("onChange");
    case VisibilityMode::onCtrl:
        return QStringLiteral("onCtrl");
    }
    return QStringLiteral("always");
}

std::optional<VisibilityMode> visibilityModeFromRawValue(const QString& raw) {
    for (const auto mode : kAllVisibilityModes)
        if (rawValue(mode) == raw) return mode;
    return std::nullopt;
}

std::optional<WindowNameGuessing> windowNameGuessingFromRawValue(qint64 raw) {
    for (const auto level : kAllWindowNameGuessings)
        if (rawValue(level) == raw) return level;
    return std::nullopt;
}

void AppSettings::sanitize() {
    const AppSettings defaults;
    baseOpacity = clamped(baseOpacity, kOpacityRange, defaults.baseOpacity);
    ctrlBoostOpacity = clamped(ctrlBoostOpacity, kOpacityRange, defaults.ctrlBoostOpacity);
    onChangeDurationSec = clamped(onChangeDurationSec, kOnChangeDurationRange, defaults.onChangeDurationSec);
    fontSize = clamped(fontSize, kFontSizeRange, defaults.fontSize);
    magnifyScale = clamped(magnifyScale, kMagnifyScaleRange, defaults.magnifyScale);
    magnifyOpacity = clamped(magnifyOpacity, kOpacityRange, defaults.magnifyOpacity);
    speechRate = clamped(speechRate, kSpeechRateRange, defaults.speechRate);
    speechVolume = clamped(speechVolume, kOpacityRange, defaults.speechVolume);
    for (auto& layout : perScreen) {
        if (layout.fontSize) layout.fontSize = clamped(*layout.fontSize, kFontSizeRange, defaults.fontSize);
        if (layout.magnifyScale)
            layout.magnifyScale = clamped(*layout.magnifyScale, kMagnifyScaleRange, defaults.magnifyScale);
    }
}

void AppSettings::setFontSize(double size, const std::optional<QString>& screenID,
                              const std::optional<QString>& refScreen) {
    if (screenID) {
        layoutFor(perScreen, *screenID).fontSize = size;
        return;
    }
    fontSize = size;
    if (refScreen) fontSizeRefScreen = refScreen;
}

void AppSettings::setMagnifyScale(double scale, const std::optional<QString>& screenID) {
    if (screenID)
        layoutFor(perScreen, *screenID).magnifyScale = scale;
    else
        magnifyScale = scale;
}

void AppSettings::setSyncedPosition(QPointF point, const std::optional<QString>& screenID,
                                    const std::optional<QString>& refScreen) {
    if (screenID) {
        layoutFor(perScreen, *screenID).position = point;
        return;
    }
    syncedPosition = point;
    if (refScreen) syncedPositionRefScreen = refScreen;
}

bool AppSettings::recordScreenCensus(const QList<ScreenObservation>& observations, Date now) {
    bool changed = false;
    for (const auto& seen : observations) {
        const auto it = screenCensus.constFind(seen.id);
        const bool same = it != screenCensus.constEnd() && it->width == seen.width &&
                          it->height == seen.height && it->localizedName == seen.localizedName;
        if (same) continue;
        screenCensus.insert(seen.id, ScreenCensusEntry{seen.localizedName, seen.width, seen.height, now});
        changed = true;
    }
    return changed;
}

} // namespace sm

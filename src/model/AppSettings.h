#pragma once

#include "platform/Date.h"

#include <QList>
#include <QMap>
#include <QPointF>
#include <QString>

#include <array>
#include <optional>

namespace sm {

enum class VisibilityMode { always, onChange, onCtrl };
inline constexpr std::array kAllVisibilityModes{VisibilityMode::always, VisibilityMode::onChange,
                                                VisibilityMode::onCtrl};
QString rawValue(VisibilityMode mode);
std::optional<VisibilityMode> visibilityModeFromRawValue(const QString& raw);

enum class WindowNameGuessing { off = 0, terminalOnly = 1, anyApp = 2 };
inline constexpr std::array kAllWindowNameGuessings{WindowNameGuessing::off, WindowNameGuessing::terminalOnly,
                                                    WindowNameGuessing::anyApp};
inline int rawValue(WindowNameGuessing level) {
    return static_cast<int>(level);
}
// No value for any integer other than 0, 1 and 2.
std::optional<WindowNameGuessing> windowNameGuessingFromRawValue(qint64 raw);

// Per-screen overrides; a field without a value means the global setting applies.
struct ScreenLayout {
    std::optional<double> fontSize;
    std::optional<double> magnifyScale;
    std::optional<QPointF> position;

    bool operator==(const ScreenLayout&) const = default;
};

// What is known of one screen the program has seen.
struct ScreenCensusEntry {
    QString localizedName;
    double width = 0.0;
    double height = 0.0;
    Date lastSeenAt = 0.0;

    bool operator==(const ScreenCensusEntry&) const = default;
};

// One screen as observed at one moment; never stored.
struct ScreenObservation {
    QString id; // the stable screen identifier
    QString localizedName;
    double width = 0.0;
    double height = 0.0;

    bool operator==(const ScreenObservation&) const = default;
};

// Every user setting. A default-constructed value holds every default.
struct AppSettings {
    VisibilityMode visibilityMode = VisibilityMode::always;
    double baseOpacity = 0.3;
    double ctrlBoostOpacity = 1.0;
    double onChangeDurationSec = 3.0;
    double fontSize = 64.0;
    bool magnifyWhenUnfocused = false;
    double magnifyScale = 3.0;
    double magnifyOpacity = 1.0;
    bool autoCreateOnNewSpace = true;
    bool speakSpaceNameOnChange = false;
    double speechRate = 0.5;
    double speechVolume = 0.2;
    // Kept only so old documents can be read: the window-name guessing level replaced it.
    bool autoTagFromFrontmostWindow = false;
    WindowNameGuessing windowNameGuessing = WindowNameGuessing::off;
    bool syncPositionsAcrossSpaces = true;
    std::optional<QPointF> syncedPosition;
    QMap<QString, ScreenCensusEntry> screenCensus; // keyed by stable screen identifier
    std::optional<QString> fontSizeRefScreen;
    std::optional<QString> syncedPositionRefScreen;
    QMap<QString, ScreenLayout> perScreen; // keyed by stable screen identifier
    // The titles also name the window manager's desktops, for pagers, panels and its switcher.
    bool shareDesktopNames = true;

    bool operator==(const AppSettings&) const = default;

    // Clamps every ranged number into its range; NaN and infinities become the field's default.
    void sanitize();
    // Without a screen: the global size (and its reference screen, when one is given). With a screen:
    // that screen's override, creating an empty override first.
    void setFontSize(double size, const std::optional<QString>& screenID = std::nullopt,
                     const std::optional<QString>& refScreen = std::nullopt);
    void setMagnifyScale(double scale, const std::optional<QString>& screenID = std::nullopt);
    void setSyncedPosition(QPointF point, const std::optional<QString>& screenID = std::nullopt,
                           const std::optional<QString>& refScreen = std::nullopt);
    // Adds unseen screens and replaces entries whose size or name changed; an unchanged entry keeps its
    // old lastSeenAt. Screens not observed stay. Returns whether anything was added or replaced.
    bool recordScreenCensus(const QList<ScreenObservation>& observations, Date now);
};

} // namespace sm

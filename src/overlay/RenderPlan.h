#pragma once

#include "model/AppSettings.h"

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <optional>

// How one label panel is laid out and how opaque it is, from a handful of facts about the panel and
// the settings. Pure: no clock, no windows, no store.
//
// Geometry is in screen points with the origin at the bottom left and y up: a frame's origin is its
// lower-left corner and its maximum y is the top edge. QRectF's top()/bottom() assume y down, so this
// code reads y() and y() + height() instead.
namespace sm::RenderPlan {

enum class LayoutState { normal, band, magnified };

// The case name, as trace lines print it.
QString toString(LayoutState state);

inline constexpr double kDefaultTopInset = 100.0; // default label top edge below the screen's top
inline constexpr double kBandMinHeight = 40.0;
inline constexpr double kMagnifiedHeightFactor = 1.3; // on the scaled font size
inline constexpr double kMagnifiedExtraHeight = 24.0;
inline constexpr QSizeF kDefaultFittedSize{280.0, 96.0};               // before the label was ever measured
inline constexpr QRectF kFallbackScreenFrame{0.0, 0.0, 1440.0, 900.0}; // when there is no screen at all

struct Inputs {
    bool isMagnified = false;
    bool isEditing = false;
    bool ctrlBoostActive = false;
    bool entryBoostActive = false;
    bool isOcclusionVisible = true;
    VisibilityMode visibilityMode = VisibilityMode::always;
    double baseOpacity = 0.3;
    double ctrlBoostOpacity = 1.0;
    double magnifyOpacity = 1.0;
    double fontSize = 64.0;
    double magnifyScale = 3.0;
    QRectF screenFrame = kFallbackScreenFrame; // full frame, not the visible frame
    QSizeF fittedSize = kDefaultFittedSize;
    double liveHeight = 0.0; // the panel's current frame height
    bool syncPositionsAcrossSpaces = false;
    std::optional<QPointF> syncedPosition;
    std::optional<QPointF> tagPosition;
    std::optional<LayoutState> lastLayoutState; // absent: never laid out
};

struct Output {
    LayoutState layoutState = LayoutState::normal;
    std::optional<QRectF> frame; // absent when the state did not change
    double opacity = 1.0;
    bool showsBackgroundBand = false;
    double fontSize = 64.0;

    friend bool operator==(const Output&, const Output&) = default;
};

Output plan(const Inputs& inputs);

// The frame rule alone: also used to re-apply normal frames after positions were reset.
QRectF frame(LayoutState state, const Inputs& inputs);

// The frame computations run against the panel's screen, else the main screen, else a fixed one.
QRectF screenFrameOrFallback(const std::optional<QRectF>& panelScreen,
                             const std::optional<QRectF>& mainScreen);

} // namespace sm::RenderPlan

#pragma once

#include <QList>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <optional>

// Where a new label panel first appears: on its tag's home screen when that screen is attached,
// centred near the top. Pure rules.
namespace sm::PanelBirthPlacement {

inline constexpr QSizeF kBirthSize{280.0, 96.0};
inline constexpr double kTopInset = 100.0;

struct Screen {
    std::optional<QString> stableID;
    QString localizedName;
    QRectF frame;

    bool operator==(const Screen&) const = default;
};

// The home screen's frame: by stable id first, else by a localized name that exactly one screen has.
std::optional<QRectF> targetFrame(const std::optional<QString>& screenIdentifier, const QList<Screen>& screens);

// The default top-centre origin for a panel of `size`, kept inside `frame` (the lower bound wins when
// the panel is larger than the frame).
QPointF birthOrigin(const QRectF& frame, const QSizeF& size = kBirthSize);

} // namespace sm::PanelBirthPlacement

#include "overlay/FontSizeStepper.h"

#include <algorithm>

namespace sm::FontSizeStepper {

double step(double size, Adjustment adjustment) {
    const double delta = std::max(size * 0.1, 2.0);
    switch (adjustment) {
    case Adjustment::bigger: return std::clamp(size + delta, kMinimum, kMaximum);
    case Adjustment::smaller: return std::clamp(size - delta, kMinimum, kMaximum);
    case Adjustment::resetToDefault: return kDefault;
    }
    return kDefault;
}

QString toString(Adjustment adjustment) {
    switch (adjustment) {
    case Adjustment::bigger: return QStringLiteral("bigger");
    case Adjustment::smaller: return QStringLiteral("smaller");
    case Adjustment::resetToDefault: return QStringLiteral("resetToDefault");
    }
    return {};
}

} // namespace sm::FontSizeStepper

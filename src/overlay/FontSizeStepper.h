#pragma once

#include <QString>

// The label context menu's font-size steps. Pure.
namespace sm::FontSizeStepper {

enum class Adjustment { bigger, smaller, resetToDefault };

inline constexpr double kMinimum = 20.0;
inline constexpr double kMaximum = 200.0;
inline constexpr double kDefault = 64.0; // a fresh AppSettings' font size

// bigger/smaller move by 10 % of the size, at least 2 points, and stay within 20...200.
double step(double size, Adjustment adjustment);
QString toString(Adjustment adjustment);

} // namespace sm::FontSizeStepper

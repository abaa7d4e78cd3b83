#pragma once

#include <QDateTime>

namespace sm {

// Persisted time: seconds since 2001-01-01 00:00:00 UTC, fractional. Every stored date and every
// reading of "now" uses this form; conversions to wall-clock types live only here.
using Date = double;

inline constexpr double kReferenceDateUnixSeconds = 978307200.0;
// Far enough in the past that any interval measured from it passes every threshold.
inline constexpr Date kDistantPast = -63114076800.0;

inline Date dateFromUnixSeconds(double unixSeconds) { return unixSeconds - kReferenceDateUnixSeconds; }
inline double unixSecondsFromDate(Date date) { return date + kReferenceDateUnixSeconds; }

inline Date dateFromDateTime(const QDateTime& dateTime) {
    return dateFromUnixSeconds(static_cast<double>(dateTime.toMSecsSinceEpoch()) / 1000.0);
}

inline QDateTime dateTimeFromDate(Date date) {
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(unixSecondsFromDate(date) * 1000.0));
}

} // namespace sm

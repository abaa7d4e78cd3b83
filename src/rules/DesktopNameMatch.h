#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace sm::DesktopNameMatch {

// Which of the desktops' names a typed NAME means. The first tier that matches anything decides:
// the exact name, then the name regardless of case, then names that begin with NAME regardless of
// case. A tier with more than one match is ambiguous rather than falling through to the next, so a
// name that is exactly right never loses to a longer one it happens to begin.
struct Result {
    enum class Kind { found, ambiguous, unknown };
    Kind kind = Kind::unknown;
    QList<int> matches; // positions in `names`; one when found, in their order when ambiguous
};

// `names` in desktop order; empty names never match. NAME is taken without its surrounding space.
Result match(const QStringList& names, const QString& name);

} // namespace sm::DesktopNameMatch

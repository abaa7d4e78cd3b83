#include "rules/SpaceResolutionPolicy.h"

#include "rules/ShortId.h"

namespace sm::SpaceResolutionPolicy {

QString Verdict::toString() const {
    switch (m_kind) {
    case Kind::resolved:
        return QStringLiteral("resolved(") + fullId(m_tagId) + QLatin1Char(')');
    case Kind::keepWaiting:
        return QStringLiteral("keepWaiting");
    case Kind::createNew:
        return QStringLiteral("createNew");
    }
    return {};
}

VerdictResult verdict(std::span<const PanelSnapshot> snapshots, quint32 activeScreen,
                      const std::optional<QUuid>& previouslyActive, bool timedOut) {
    // Only the first two present panels matter for the decision; the rest are only counted, so a
    // large registry costs one pass and no allocation.
    qsizetype present = 0;
    QUuid first;
    QUuid second;
    for (const PanelSnapshot& s : snapshots) {
        if (s.screenKey != activeScreen || !s.isPresent()) continue;
        if (present == 0)
            first = s.tagId;
        else if (present == 1)
            second = s.tagId;
        ++present;
    }

    switch (present) {
    case 0:
        // Only here may the time-out lead to creation: an ambiguous pair or a pile never does.
        if (timedOut) return {Verdict::createNew(), QStringLiteral("none-present+timeout")};
        return {Verdict::keepWaiting(), QStringLiteral("none-present")};
    case 1:
        return {Verdict::resolved(first), QStringLiteral("exactly-one-present")};
    case 2: {
        // The label of the desktop being left may still report present; the other one is the new
        // desktop's. Anything less clear-cut is left to the poll.
        if (previouslyActive) {
            const bool firstIsPrevious = first == *previouslyActive;
            const bool secondIsPrevious = second == *previouslyActive;
            if (firstIsPrevious != secondIsPrevious)
                return {Verdict::resolved(firstIsPrevious ? second : first),
                        QStringLiteral("two-present-previous-disambiguates")};
        }
        return {Verdict::keepWaiting(), QStringLiteral("two-present-ambiguous")};
    }
    default:
        return {Verdict::keepWaiting(), QStringLiteral("pile-of-%1-present-fail-closed").arg(present)};
    }
}

PendingResolution::Action action(PendingResolution& pending, const QUuid& reportedTagId,
                                 quint32 reportedScreenKey, bool isOnActiveSpace) {
    // Visible without A is the leaving desktop's label flapping; it must not end the episode.
    if (pending.isSettled() || reportedScreenKey != pending.activeScreen() || !isOnActiveSpace)
        return PendingResolution::Action::ignore();
    pending.settle();
    return PendingResolution::Action::adopt(reportedTagId);
}

std::optional<CoResident> uniqueAutomaticMint(std::span<const CoResident> coResidents) {
    const CoResident* found = nullptr;
    for (const CoResident& c : coResidents) {
        if (!c.isAutomaticMint()) continue;
        if (found) return std::nullopt;
        found = &c;
    }
    if (!found) return std::nullopt;
    return *found;
}

namespace {

const CoResident* keeperOf(std::span<const CoResident> coResidents) {
    for (const CoResident& c : coResidents)
        if (c.isEditing) return &c; // never pull a label out from under the user's typing

    if (coResidents.size() == 2) {
        // A mint born beside an existing label is the spurious one: the other label was there first.
        if (const std::optional<CoResident> mint = uniqueAutomaticMint(coResidents)) {
            for (const CoResident& other : coResidents) {
                if (other.id == mint->id) continue;
                if (mint->bornCompanions.contains(other.id)) return &other;
                break;
            }
        }
    }

    const CoResident* active = nullptr;
    for (const CoResident& c : coResidents) {
        if (!c.isActive) continue;
        if (active) return nullptr; // two claim to be active: nobody is sure
        active = &c;
    }
    // An active mint may itself be the mistake, so it does not win by being active.
    if (active && active->isAutomaticMint()) return nullptr;
    return active;
}

void appendEntry(QString& out, const PanelSnapshot& s, bool& firstInList) {
    if (!firstInList) out += QLatin1Char(' ');
    firstInList = false;
    out += shortId(s.tagId);
    out += QLatin1Char(':');
    out += s.isVisible ? QLatin1Char('V') : QLatin1Char('-');
    out += s.isOnActiveSpace ? QLatin1Char('A') : QLatin1Char('-');
    out += QLatin1Char('@');
    out += QString::number(s.screenKey);
}

} // namespace

QList<QUuid> coResidentsToZombify(std::span<const CoResident> coResidents) {
    if (coResidents.size() < 2) return {};
    const CoResident* keeper = keeperOf(coResidents);
    if (!keeper) return {}; // fail closed: the caller re-checks later
    QList<QUuid> ids;
    ids.reserve(static_cast<qsizetype>(coResidents.size()) - 1);
    for (const CoResident& c : coResidents)
        if (&c != keeper) ids.append(c.id);
    return ids;
}

QString describe(std::span<const PanelSnapshot> snapshots, quint32 activeScreen) {
    // 8 + ":VA@" + up to 10 digits + a separator
    QString out;
    out.reserve(static_cast<qsizetype>(snapshots.size()) * 24 + 16);
    out += QStringLiteral("on=[");
    bool firstInList = true;
    bool anyOff = false;
    for (const PanelSnapshot& s : snapshots) {
        if (s.screenKey == activeScreen)
            appendEntry(out, s, firstInList);
        else
            anyOff = true;
    }
    out += QLatin1Char(']');
    if (anyOff) {
        out += QStringLiteral(" off=[");
        firstInList = true;
        for (const PanelSnapshot& s : snapshots)
            if (s.screenKey != activeScreen) appendEntry(out, s, firstInList);
        out += QLatin1Char(']');
    }
    return out;
}

} // namespace sm::SpaceResolutionPolicy

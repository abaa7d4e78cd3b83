#pragma once

#include <QList>
#include <QSet>
#include <QString>
#include <QUuid>
#include <QtGlobal>

#include <optional>
#include <span>

// Which tag is active after a desktop change, inferred only from what the window server says about
// our own label panels. Pure rules: no clock, no store, no platform.
namespace sm::SpaceResolutionPolicy {

// One live label panel at one moment. `screenKey` is the display number of the panel's screen.
struct PanelSnapshot {
    QUuid tagId;
    quint32 screenKey = 0;
    bool isVisible = false;       // V: the window server reports the panel visible
    bool isOnActiveSpace = false; // A: the panel is on the active desktop

    // Raw visibility alone lags and flaps during a switch; only V && A identifies the desktop.
    bool isPresent() const { return isVisible && isOnActiveSpace; }

    friend bool operator==(const PanelSnapshot&, const PanelSnapshot&) = default;
};

class Verdict {
public:
    enum class Kind { resolved, keepWaiting, createNew };

    static Verdict resolved(const QUuid& tagId) { return Verdict(Kind::resolved, tagId); }
    static Verdict keepWaiting() { return Verdict(Kind::keepWaiting, {}); }
    static Verdict createNew() { return Verdict(Kind::createNew, {}); }

    Kind kind() const { return m_kind; }
    bool isResolved() const { return m_kind == Kind::resolved; }
    // The adopted tag; a null QUuid unless resolved.
    QUuid tagId() const { return m_tagId; }

    // Trace form: the case name, with the full id for resolved ("resolved(1A2B…)").
    QString toString() const;

    friend bool operator==(const Verdict&, const Verdict&) = default;

private:
    Verdict(Kind kind, const QUuid& tagId) : m_kind(kind), m_tagId(tagId) {}

    Kind m_kind;
    QUuid m_tagId;
};

struct VerdictResult {
    Verdict verdict;
    QString rule; // names the branch taken; goes into trace lines verbatim

    friend bool operator==(const VerdictResult&, const VerdictResult&) = default;
};

// The open question of one resolution episode. The screen and the previous tag are fixed when the
// episode begins; only settling changes it.
class PendingResolution {
public:
    class Action {
    public:
        enum class Kind { adopt, ignore };

        static Action adopt(const QUuid& tagId) { return Action(Kind::adopt, tagId); }
        static Action ignore() { return Action(Kind::ignore, {}); }

        Kind kind() const { return m_kind; }
        bool isAdopt() const { return m_kind == Kind::adopt; }
        QUuid tagId() const { return m_tagId; } // null unless adopt

        friend bool operator==(const Action&, const Action&) = default;

    private:
        Action(Kind kind, const QUuid& tagId) : m_kind(kind), m_tagId(tagId) {}

        Kind m_kind;
        QUuid m_tagId;
    };

    PendingResolution(quint32 activeScreen, std::optional<QUuid> previouslyActive, bool isSettled = false)
        : m_activeScreen(activeScreen), m_previouslyActive(previouslyActive), m_isSettled(isSettled) {}

    quint32 activeScreen() const { return m_activeScreen; }
    const std::optional<QUuid>& previouslyActive() const { return m_previouslyActive; }
    bool isSettled() const { return m_isSettled; }
    void settle() { m_isSettled = true; }

    friend bool operator==(const PendingResolution&, const PendingResolution&) = default;

private:
    quint32 m_activeScreen;
    std::optional<QUuid> m_previouslyActive;
    bool m_isSettled;
};

// One of several panels present together on one screen's active desktop.
struct CoResident {
    QUuid id;
    bool isActive = false;
    bool isEditing = false;
    bool isUserOwned = false;
    bool bornAsAutomaticMint = false;
    QSet<QUuid> bornCompanions; // panels present on that screen when this one was created

    // Created automatically next to labels that were already there, and never claimed by the user:
    // the likely product of a spurious creation.
    bool isAutomaticMint() const { return bornAsAutomaticMint && !isUserOwned && !bornCompanions.isEmpty(); }

    friend bool operator==(const CoResident&, const CoResident&) = default;
};

VerdictResult verdict(std::span<const PanelSnapshot> snapshots, quint32 activeScreen,
                      const std::optional<QUuid>& previouslyActive, bool timedOut);

// A panel reported a visibility change while an episode is open. Settles the episode when it adopts.
PendingResolution::Action action(PendingResolution& pending, const QUuid& reportedTagId,
                                 quint32 reportedScreenKey, bool isOnActiveSpace);

// The panels that must give way, in input order; empty when there is no unequivocal keeper.
QList<QUuid> coResidentsToZombify(std::span<const CoResident> coResidents);

std::optional<CoResident> uniqueAutomaticMint(std::span<const CoResident> coResidents);

// Compact trace form: "on=[1A2B3C4D:VA@1 ...]" plus " off=[...]" when panels sit on other screens.
QString describe(std::span<const PanelSnapshot> snapshots, quint32 activeScreen);

} // namespace sm::SpaceResolutionPolicy

// A seeded random walk over the simulated desktop: desktop switches with every kind of lag and flap,
// screens coming and going, wake, and the user's commands. It checks what a user would notice: two
// labels on the desktop in front of them, a tag minted where a label was already showing, a name lost
// without the user deleting it.
#include "tracking/TrackerFixture.h"

#include <QRegularExpression>

#include <random>

using namespace sm;
using namespace sm::test;

namespace {

class RandomWalk : public TrackerFixture, public ::testing::WithParamInterface<unsigned> {
protected:
    static constexpr quint32 kExt = 2;
    static constexpr quint32 kSide = 3;
    static constexpr int kSteps = 5000;
    static constexpr int kCheckEvery = 200;

    struct Counts {
        int switches = 0, reconfigs = 0, commands = 0, checks = 0;
        int autoCreates = 0, mintsBesideLateLabel = 0, heals = 0, zombifies = 0, audits = 0, vetoes = 0;
    };

    RandomWalk() : rng(GetParam()) {}

    double real(double from, double to) { return std::uniform_real_distribution<double>(from, to)(rng); }
    int pick(qsizetype n) { return std::uniform_int_distribution<int>(0, static_cast<int>(n) - 1)(rng); }
    bool chance(double p) { return real(0.0, 1.0) < p; }

    SimDesktop::ScreenConfig config(quint32 n) const {
        if (n == kExt)
            return {kExt, QStringLiteral("EEEEEEEE-0000-4000-8000-000000000002"), QStringLiteral("Studio"),
                    QRectF(1440, 0, 1920, 1080), 3};
        return {kSide, QStringLiteral("DDDDDDDD-0000-4000-8000-000000000003"), QStringLiteral("Side"),
                QRectF(-800, 0, 800, 600), 2};
    }
    bool attached(quint32 n) const { return desktop->desktopCount(n).has_value(); }

    void randomSwitch() {
        const auto screens = desktop->screens();
        const quint32 n = *screens[pick(screens.size())].displayNumber;
        SimDesktop::SwitchOptions o;
        o.notifyDelay = real(0.0, 0.08);
        // Usually the server knows A when it announces the switch; sometimes it does not yet.
        o.activeLag = chance(0.1) ? real(o.notifyDelay, 0.3) : real(0.0, o.notifyDelay * 0.9);
        o.visibleLag = chance(0.15) ? real(1.0, 6.0) : real(0.05, 0.4);
        o.flap = chance(0.2) ? real(0.1, 0.8) : 0.0;
        desktop->switchDesktop(n, pick(*desktop->desktopCount(n)), o);
        ++counts.switches;
    }

    void randomReconfig() {
        const quint32 n = chance(0.5) ? kExt : kSide;
        if (attached(n))
            desktop->detachScreen(n, chance(0.5) ? SimDesktop::DetachPolicy::KeepDesktopIndex
                                                 : SimDesktop::DetachPolicy::PileOntoActive);
        else
            desktop->attachScreen(config(n));
        ++counts.reconfigs;
    }

    // A label the user can reach: the context menu never opens on a tombstone or on a label whose
    // editor stands in front of it.
    std::optional<QUuid> randomLabel() {
        QList<QUuid> ids;
        for (const auto& id : overlay->panelIds())
            if (const auto t = store->tag(id); t && !t->isTombstone && !overlay->entry(id)->isEditing) ids << id;
        return ids.isEmpty() ? std::nullopt : std::optional<QUuid>(ids[pick(ids.size())]);
    }

    void randomCommand(int step) {
        userCommand = true;
        ++counts.commands;
        switch (pick(11)) {
        case 0: tracker->addTagForCurrentSpace(); break;
        case 1: tracker->setTitleForCurrentSpace(QStringLiteral("T%1").arg(step), chance(0.5)); break;
        case 2: tracker->removeCurrentTag(); break;
        case 3: tracker->removeDuplicatesOnCurrentSpace(); break;
        case 4:
            if (const auto id = randomLabel()) tracker->deleteTagFromContextMenu(*id);
            break;
        case 5:
            if (!store->tags().isEmpty())
                tracker->renameTag(store->tags()[pick(store->tags().size())].id, QStringLiteral("R%1").arg(step));
            break;
        case 6: {
            const auto titles = tracker->restorableTitles();
            const auto onto = randomLabel();
            if (!titles.isEmpty() && onto) tracker->restoreTitle(titles[pick(titles.size())].id, *onto);
            break;
        }
        case 7:
            if (const auto id = randomLabel()) tracker->removeTag(*id, QStringLiteral("preferences-delete"));
            break;
        case 8:
            tracker->purgeJunk(chance(0.2) ? QStringLiteral("junk-purge-oneshot") : QStringLiteral("junk-janitor"),
                               chance(0.2) ? 0.0 : 1296000.0);
            break;
        default: // open the editor on a label; a later step types and commits
            if (const auto id = randomLabel(); id && !overlay->isEditing()) panel(*id).view().click();
            break;
        }
        userCommand = false;
    }

    void finishEditing() {
        if (!overlay->isEditing() || desktop->editorPanels().isEmpty()) return;
        auto& editor = desktop->editorPanels().last()->view();
        editor.type(QStringLiteral("E%1").arg(counts.commands));
        editor.pressReturn();
    }

    // Automatic creation must never happen where the server reports a label present.
    void onTagsChanged(const QList<SpaceTag>& tags) {
        if (userCommand || tags.size() <= knownTags) {
            knownTags = tags.size();
            return;
        }
        knownTags = tags.size();
        ++counts.autoCreates;
        const auto main = desktop->mainScreen();
        if (!main) return;
        for (const auto& s : overlay->panelSnapshots())
            if (s.screenKey == *main->displayNumber && s.isPresent())
                violations << QStringLiteral("minted %1 beside present %2").arg(shortId(tags.last().id), shortId(s.tagId));
        for (const auto& id : desktop->presentLabels(*main->displayNumber))
            if (const auto t = store->tag(id); t && !t->isTombstone) {
                ++counts.mintsBesideLateLabel;
                break;
            }
    }

    QList<QUuid> visibleLabels(quint32 screen) const {
        QList<QUuid> out;
        for (const auto& id : desktop->presentLabels(screen))
            if (const auto t = store->tag(id); !t || !t->isTombstone) out << id;
        return out;
    }

    // The user arrives on the main screen's current desktop and waits until everything is quiet.
    void checkpoint(int step) {
        finishEditing();
        const auto main = desktop->mainScreen();
        ASSERT_TRUE(main);
        const quint32 n = *main->displayNumber;
        const int here = *desktop->activeDesktop(n);
        const SimDesktop::SwitchOptions calm{0.02, 0.01, 0.12, 0.0};
        desktop->switchDesktop(n, (here + 1) % *desktop->desktopCount(n), calm);
        queue->advance(3.0);
        desktop->switchDesktop(n, here, calm);
        queue->advance(40.0);
        ++counts.checks;
        const auto present = visibleLabels(n);
        if (present.size() > 1)
            violations << QStringLiteral("step %1: %2 labels present on screen %3").arg(step).arg(present.size()).arg(n);

        static const QRegularExpression remove(QStringLiteral("^store REMOVE id=(\\S+) title='(.*)' reason=(\\S+) total="));
        static const QSet<QString> explicitReasons = {
            QStringLiteral("preferences-delete"),  QStringLiteral("menu-remove-current"),
            QStringLiteral("context-menu-delete"), QStringLiteral("restore-title-consumed"),
            QStringLiteral("junk-janitor"),        QStringLiteral("junk-purge-oneshot")};
        for (const auto& line : traces()) {
            const auto m = remove.match(line);
            if (m.hasMatch() && !m.captured(2).trimmed().isEmpty() && !explicitReasons.contains(m.captured(3)))
                violations << QStringLiteral("title lost: ") + line;
            counts.heals += line.startsWith(QStringLiteral("pending HEAL ")) ? 1 : 0;
            counts.zombifies += line.startsWith(QStringLiteral("panel ZOMBIFY id=")) ? 1 : 0;
            counts.audits += line.startsWith(QStringLiteral("settlementAudit DONE")) ? 1 : 0;
            counts.vetoes += line.startsWith(QStringLiteral("create VETOED")) ? 1 : 0;
        }
        logs.log->clear();
    }

    std::mt19937 rng;
    Counts counts;
    QStringList violations;
    bool userCommand = false;
    qsizetype knownTags = 0;
};

TEST_P(RandomWalk, NoPileNoMintBesideALabelNoLostTitle) {
    desktop->attachScreen(config(kExt));
    desktop->attachScreen(config(kSide));
    queue->drain();
    const auto subscription = store->subscribeTags([this](const QList<SpaceTag>& tags) { onTagsChanged(tags); });
    start();
    for (int step = 1; step <= kSteps; ++step) {
        const double r = real(0.0, 1.0);
        if (r < 0.6) randomSwitch();
        else if (r < 0.66) randomReconfig();
        else if (r < 0.68) desktop->wake();
        else if (r < 0.84) randomCommand(step);
        else if (r < 0.88) finishEditing();
        queue->advance(chance(0.7) ? real(0.02, 0.7) : real(1.0, 8.0));
        if (step % kCheckEvery == 0) checkpoint(step);
        if (HasFatalFailure()) return;
    }
    EXPECT_TRUE(violations.isEmpty()) << violations.join(QLatin1Char('\n')).toStdString();
    std::printf("seed %u: steps=%d switches=%d reconfigs=%d commands=%d checks=%d autoCreates=%d "
                "mintsBesideLateLabel=%d heals=%d zombifies=%d audits=%d vetoes=%d tags=%lld panels=%lld\n",
                GetParam(), kSteps, counts.switches, counts.reconfigs, counts.commands, counts.checks,
                counts.autoCreates, counts.mintsBesideLateLabel, counts.heals, counts.zombifies, counts.audits,
                counts.vetoes, static_cast<long long>(store->tags().size()),
                static_cast<long long>(overlay->panelIds().size()));
}

INSTANTIATE_TEST_SUITE_P(Seeds, RandomWalk, ::testing::Values(1u, 7u, 42u, 2026u));

} // namespace

// The auto-tagger's triggers, retries and ownership rule on the simulated desktop and virtual clock.
#include "autoname/AutoTagger.h"
#include "support/sim/ScriptedWorkspace.h"
#include "support/TrackerFixture.h"

#include <QRegularExpression>

namespace sm {
namespace {

struct Line {
    int atMs; // after the first switch
    QString text;
    bool operator==(const Line&) const = default;
};
void PrintTo(const Line& l, std::ostream* os) {
    *os << l.atMs << "ms " << l.text.toStdString();
}

class AutoTaggerTest : public test::TrackerFixture {
protected:
    AutoTaggerTest() {
        workspace->frontmost = RunningApplication{QStringLiteral("XTerm"), QStringLiteral("XTerm"), 42};
        TrackerFixture::workspace = workspace;
        launch();
        tagger = core->autoTagger();
        // Off while the scene is set, so the label stays untitled until a story begins.
        setSettings([](AppSettings& s) {
            s.windowNameGuessing = WindowNameGuessing::off;
            s.autoCreateOnNewSpace = false;
        });
        start();
        automatic = labelOn(1, QString()); // an untitled label is not the user's
        switchTo(0, 3.0);
        setSettings([](AppSettings& s) { s.windowNameGuessing = WindowNameGuessing::terminalOnly; });
    }

    // Switches (with the facts lagging `lag` s behind the announcement) and collects the auto-tagger's
    // lines with their times, in 10 ms steps, for `seconds`.
    QList<Line> switchAndWatch(int index, double lag, double seconds,
                               const std::function<void(int)>& atMs = {}) {
        logs.log->clear();
        const Date start = queue->now();
        desktop->switchDesktop(kMain, index, {0.0, lag, lag, 0.0});
        QList<Line> lines;
        for (int ms = 0; ms <= seconds * 1000; ms += 10) {
            if (atMs) atMs(ms);
            advanceTo(start, ms / 1000.0);
            for (const QString& t : logs.log->traces())
                if (t.startsWith(QLatin1String("autoTag ")))
                    lines << Line{ms, t.section(QLatin1Char(' '), 0,
                                                t.startsWith(QLatin1String("autoTag RETRY")) ? 3 : 2)};
            logs.log->clear();
        }
        return lines;
    }

    std::shared_ptr<ScriptedWorkspace> workspace = std::make_shared<ScriptedWorkspace>();
    std::shared_ptr<AutoTagger> tagger;
    QUuid automatic;
};

// Keeps the first words of each line: "autoTag SKIP reason=space-changed" and the like.
const QString kSkip = QStringLiteral("autoTag SKIP reason=space-changed");
// A skip for want of an active tag, then a retry, at each time; attemptsLeft counts down from 7.
QList<Line> retries(std::initializer_list<int> atMs) {
    QList<Line> out;
    int left = AutoTagger::kRetryBudget;
    for (int ms : atMs)
        out << Line{ms, kSkip}
            << Line{ms, QStringLiteral("autoTag RETRY reason=space-changed attemptsLeft=%1").arg(--left)};
    return out;
}

// The switch's attempts retry while no tag is resolved; the adoption itself refreshes at once, names
// the label and leaves the pending retry stale.
TEST_F(AutoTaggerTest, RetriesUntilTheTagResolvesWhoseAdoptionApplies) {
    struct Case {
        double lag; // until the label's facts say it is on the active desktop
        std::initializer_list<int> retriesAt;
        int adoptedAt, staleAt;
    };
    for (const Case& c : {Case{1.0, {200, 450, 700, 950}, 1000, 1200}, Case{0.3, {200}, 300, 450}}) {
        setSettings([](AppSettings& s) { s.windowNameGuessing = WindowNameGuessing::off; });
        store->setAutoTitle(automatic, QString());
        switchTo(0, 3.0);
        setSettings([](AppSettings& s) { s.windowNameGuessing = WindowNameGuessing::terminalOnly; });
        ASSERT_FALSE(store->tag(automatic)->isUserOwned);
        auto lines = switchAndWatch(1, c.lag, 1.5);
        QList<Line> expected = retries(c.retriesAt);
        expected << Line{c.adoptedAt, QStringLiteral("autoTag APPLY reason=tag-resolved")}
                 << Line{c.staleAt, QStringLiteral("autoTag ABORT stale-generation")};
        EXPECT_EQ(lines, expected) << c.lag;
        EXPECT_EQ(store->tag(automatic)->title, QStringLiteral("XTerm"));
        EXPECT_FALSE(store->tag(automatic)->isUserOwned);
    }
}

TEST_F(AutoTaggerTest, ADesktopThatNeverResolvesGetsNineAttempts) {
    logs.log->clear();
    desktop->switchDesktop(kMain, 2, {0.0, 0.05, 0.1, 0.0}); // no label there, creation off
    queue->advance(5.0);
    const QStringList t = logs.log->traces();
    EXPECT_EQ(
        t.filter(QStringLiteral("autoTag SKIP reason=space-changed cause=no-active-tag-resolved")).size(), 9);
    EXPECT_EQ(t.filter(QStringLiteral("autoTag RETRY")).size(), 8);
}

TEST_F(AutoTaggerTest, ANewerSwitchMakesTheOlderSequenceAbort) {
    const quint64 gen = tagger->refreshGeneration();
    auto lines = switchAndWatch(1, 1.0, 0.5, [&](int ms) {
        if (ms == 100) desktop->switchDesktop(kMain, 0, {0.0, 0.05, 0.05, 0.0});
    });
    ASSERT_GE(lines.size(), 2);
    EXPECT_EQ(lines[0], (Line{200, QStringLiteral("autoTag ABORT stale-generation")}));
    EXPECT_EQ(lines[1], (Line{300, kSkip}));
    EXPECT_EQ(
        std::count_if(lines.begin() + 1, lines.end(), [](const Line& l) { return l.text.contains("ABORT"); }),
        0);
    EXPECT_EQ(tagger->refreshGeneration(), gen + 2);
}

TEST_F(AutoTaggerTest, EachTriggerLeavesOneLineNamingItsCause) {
    struct Row {
        const char* story;
        std::function<void()> arrange;
        std::function<void()> trigger;
        QString cause;
    };
    const QList<Row> rows = {
        {"setting off: one line, no retry",
         [&] { setSettings([](AppSettings& s) { s.windowNameGuessing = WindowNameGuessing::off; }); },
         [&] { switchTo(2, 3.0); }, "autoTag SKIP reason=space-changed cause=setting-off"},
        {"activation with no tag resolved is not retried", [&] { switchTo(2, 3.0); },
         [&] {
             workspace->activate({QStringLiteral("XTerm"), QStringLiteral("XTerm"), 42});
         },
         "autoTag SKIP reason=app-activated cause=no-active-tag-resolved snapshot=["},
        {"the same window in front stores nothing",
         [&] { store->setAutoTitle(automatic, QStringLiteral("XTerm")); },
         [&] { tagger->refreshForResolvedTag(automatic, QStringLiteral("tag-resolved")); },
         "autoTag SKIP reason=tag-resolved cause=unchanged derived='XTerm'"},
        {"a browser in front at terminal level", [&] { workspace->frontmost->applicationId = "firefox-esr"; },
         [&] { tagger->refreshForResolvedTag(automatic, QStringLiteral("tag-resolved")); },
         "autoTag SKIP reason=tag-resolved cause=no-derived-title (see autoTag.derive line above)"},
        {"a tag that is gone", [] {},
         [&] { tagger->refreshForResolvedTag(QUuid::createUuid(), QStringLiteral("tag-resolved")); },
         "autoTag SKIP reason=tag-resolved cause=tag-gone id="},
        {"the user's name is kept", [&] { store->renameTag(automatic, QStringLiteral("Mine")); },
         [&] { tagger->refreshForResolvedTag(automatic, QStringLiteral("tag-resolved")); },
         QString("autoTag SKIP reason=tag-resolved cause=tag-is-userOwned id=%1 title='Mine'")
             .arg(shortId(automatic))},
    };
    for (const auto& row : rows) {
        setSettings([](AppSettings& s) { s.windowNameGuessing = WindowNameGuessing::terminalOnly; });
        workspace->frontmost = RunningApplication{QStringLiteral("XTerm"), QStringLiteral("XTerm"), 42};
        row.arrange();
        auto titles = [&] {
            QStringList out;
            for (const auto& t : store->tags())
                out << t.title;
            return out;
        };
        const QStringList before = titles();
        logs.log->clear();
        row.trigger();
        queue->advance(3.0);
        QStringList lines = logs.log->traces().filter(QRegularExpression(QStringLiteral("^autoTag ")));
        ASSERT_EQ(lines.size(), 1) << row.story << ": " << lines.join(u'\n').toStdString();
        EXPECT_TRUE(lines[0].startsWith(row.cause)) << row.story << ": " << lines[0].toStdString();
        EXPECT_EQ(titles(), before) << row.story;
    }
}

TEST_F(AutoTaggerTest, StoppedItHearsNoMoreTriggers) {
    tagger->stop();
    logs.log->clear();
    switchTo(1, 3.0);
    workspace->activate(*workspace->frontmost);
    EXPECT_TRUE(logs.log->traces().filter(QStringLiteral("autoTag")).isEmpty());
    EXPECT_EQ(store->tag(automatic)->title, QString());
}

} // namespace
} // namespace sm

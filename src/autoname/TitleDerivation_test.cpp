#include "autoname/TitleDerivation.h"
#include "support/sim/ScriptedWorkspace.h"
#include "support/TestLoggers.h"

#include <gtest/gtest.h>

namespace sm {
namespace {

using namespace TitleDerivation;

const QString kDash(QChar(0x2014));

TEST(CleanWindowTitle, TurnsRawTitlesIntoLabels) {
    struct Row {
        QString raw;
        QString expected;
    };
    const QList<Row> rows = {
        {"dev@studio: ~/src/atlas " + kDash + " -zsh " + kDash + " 120\u00d740", "atlas"},
        {"dev@studio:~", "~"},
        {"nvim (~/notes/plan.md)", "plan.md"},
        {kDash + " zsh", "Terminal"},
        {"Build log", "Build log"},
        {" \n\t\u2003", "Terminal"},
        {"  Release notes  " + kDash + " Editor", "Release notes"},
        {"~/", "~/"},                     // every piece dropped: the text stays
        {"user@host :  /var/log", "log"}, // white space around the colon belongs to the prompt
        {"a@b c:d", "a@b c:d"},           // white space in the host name: not a prompt
        {"main \u2014 feature/login-form", "main"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(cleanWindowTitle(row.raw, QStringLiteral("Terminal")), row.expected)
            << row.raw.toStdString();
}

struct DeriveRow {
    const char* story;
    std::optional<WindowNameGuessing> level;
    RunningApplication app;
    QList<WindowListEntry> windows;
    bool titlesReadable;
    std::optional<QString> expected;
    bool readsWindowList;
};

const RunningApplication kITerm{QStringLiteral("com.googlecode.iterm2"), QStringLiteral("iTerm2"), 41};
const RunningApplication kXTerm{QStringLiteral("XTerm"), QStringLiteral("XTerm"), 42};
const RunningApplication kBrowser{QStringLiteral("firefox-esr"), QStringLiteral("Firefox ESR"), 43};
const RunningApplication kOwn{QStringLiteral("spacemarquee"), QStringLiteral("Spacemarquee"), 44};

WindowListEntry window(qint64 pid, int layer, std::optional<QString> title) {
    return {pid, layer, std::move(title)};
}

TEST(DeriveTitle, FollowsTheLevelThePermissionAndTheTerminalSet) {
    const auto anyApp = WindowNameGuessing::anyApp, terminalOnly = WindowNameGuessing::terminalOnly;
    const QString huge(100000, QLatin1Char('x'));
    // clang-format off
    const QList<DeriveRow> rows = {
        {"own window in front", anyApp, kOwn, {window(44, 0, "Preferences")}, true, std::nullopt, true},
        {"off", WindowNameGuessing::off, kITerm, {}, true, std::nullopt, false},
        {"store gone reads as off", std::nullopt, kITerm, {}, true, std::nullopt, false},
        {"terminal only: the name, never the title", terminalOnly, kITerm, {window(41, 0, "~/src/x")}, true, "iTerm2", false},
        {"terminal only: a browser is no terminal", terminalOnly, kBrowser, {window(43, 0, "News")}, true, std::nullopt, false},
        {"letter case differs: no terminal", terminalOnly, {"com.googlecode.ITERM2", "iTerm2", 41}, {}, true, std::nullopt, false},
        {"any app: browser title, cleaned", anyApp, kBrowser, {window(43, 0, "News " + kDash + " Firefox")}, true, "News", true},
        {"any app without permission: browser gets nothing", anyApp, kBrowser, {window(43, 0, "News")}, false, std::nullopt, true},
        {"any app: untitled terminal windows give its name", anyApp, kXTerm, {window(42, 0, std::nullopt), window(42, 0, "")},
         true, "XTerm", true},
        {"empty title skipped for one further back; other processes and layers too", anyApp, kBrowser,
         {window(43, 0, ""), window(99, 0, "Other"), window(43, 3, "Menu"), window(43, 0, "Second")}, true, "Second", true},
        {"unknown pid 0 never matches a window", anyApp, {"XTerm", "XTerm", 0}, {window(0, 0, "stranger")}, true, "XTerm", true},
        {"a 100 KB title is cut", anyApp, kBrowser, {window(43, 0, huge)}, true,
         QString(kMaxTitleLength - 1, QLatin1Char('x')) + QChar(0x2026), true},
    };
    // clang-format on
    for (const auto& row : rows) {
        ScriptedWorkspace workspace;
        workspace.frontmost = row.app;
        workspace.windows = row.windows;
        workspace.titlesReadable = row.titlesReadable;
        test::TestLoggers logs;
        EXPECT_EQ(deriveTitle(workspace, row.level, logs.loggers.tracker), row.expected) << row.story;
        EXPECT_EQ(workspace.windowListReads > 0, row.readsWindowList) << row.story;
    }
}

TEST(DeriveTitle, NothingWithoutAFrontmostApplication) {
    ScriptedWorkspace workspace;
    test::TestLoggers logs;
    EXPECT_EQ(deriveTitle(workspace, WindowNameGuessing::anyApp, logs.loggers.tracker), std::nullopt);
    EXPECT_TRUE(logs.log->traces().isEmpty());
}

TEST(Capped, NeverSplitsASurrogatePair) {
    QString title(kMaxTitleLength - 2, QLatin1Char('a'));
    title += QStringLiteral("\U0001F600\U0001F600");
    const QString cut = capped(title);
    EXPECT_EQ(cut.size(), kMaxTitleLength - 1);
    EXPECT_FALSE(cut.at(cut.size() - 2).isHighSurrogate());
}

} // namespace
} // namespace sm

// What the X11 workspace makes of other programs' texts: window titles and desktop entries.
#include "platform/x11/DesktopEntryNames.h"
#include "platform/x11/X11Workspace.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace sm::x11 {
namespace {

TEST(SanitizedTitle, KeepsTextDropsControlsAndBounds) {
    struct Row {
        QByteArray raw;
        bool utf8;
        QString expected;
    };
    const QList<Row> rows = {
        {"plain \xE2\x80\x94 title", true, QStringLiteral("plain \u2014 title")},
        {"bad \xC3\x28 bytes", true, QStringLiteral("bad \uFFFD( bytes")},
        {"tab\there\nline\x7F", true, QStringLiteral("tab here line ")},
        {"\xE2\x80\xAE"
         "evil\xE2\x80\x8F",
         true, QStringLiteral("evil")},                  // RLO and RLM
        {"caf\xE9", false, QStringLiteral("caf\u00E9")}, // Latin-1 WM_NAME
    };
    for (const auto& row : rows)
        EXPECT_EQ(X11Workspace::sanitizedTitle(row.raw, row.utf8), row.expected) << row.raw.constData();
}

TEST(DesktopEntryNames, FindsTheEntryByIdClassOrInstance) {
    QTemporaryDir home, system;
    auto write = [](const QTemporaryDir& dir, const QString& file, const QByteArray& text) {
        QDir().mkpath(dir.filePath("applications"));
        QFile f(dir.filePath("applications/" + file));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    };
    write(system, "org.gnome.Terminal.desktop",
          "[Desktop Entry]\nName[de]=Terminal DE\nName[de_AT]=Terminal AT\nName[fr]=Terminal "
          "FR\nName=Terminal\n"
          "[Desktop Action new]\nName=New Window\n");
    write(system, "debian-xterm.desktop", "[Desktop Entry]\nName=XTerm App\nStartupWMClass=XTerm\n");
    write(system, "kitty.desktop", "[Desktop Entry]\nName=kitty term\n");
    write(system, "mine.desktop", "[Desktop Entry]\nName=System copy\n");
    write(home, "mine.desktop", "[Desktop Entry]\nName=User copy\n");
    DesktopEntryNames names({home.path(), system.path()}, {"de_AT", "de"});
    struct Row {
        QString id, instance;
        std::optional<QString> expected;
    };
    const QList<Row> rows = {
        {"org.gnome.Terminal", "", QStringLiteral("Terminal AT")}, // the most specific language wins
        {"XTerm", "xterm", QStringLiteral("XTerm App")},
        {"Kitty-class", "kitty", QStringLiteral("kitty term")}, // the instance name when nothing else matches
        {"mine", "", QStringLiteral("User copy")},
        {"Unknown", "unknown", std::nullopt},
    };
    for (const auto& row : rows)
        EXPECT_EQ(names.nameFor(row.id, row.instance), row.expected) << row.id.toStdString();
}

} // namespace
} // namespace sm::x11

// Renders every tab of the preferences window, the reassign sheet and the welcome window to PNG.
//   windows_screenshots <output dir> [--dark]
// Works offscreen (QT_QPA_PLATFORM=offscreen) or on an X server such as Xvfb.
#include "DemoPreferences.h"
#include "app/qt/QtShellUi.h"
#include "dialogs/qt/PreferencesWindow.h"
#include "dialogs/qt/ReassignTagsSheet.h"
#include "dialogs/qt/WelcomeWindow.h"

#include <QDir>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>
#include <QTest>

#include <cstdio>

using namespace sm;

namespace {

bool save(QWidget* w, const QString& path) {
    w->show();
    QApplication::processEvents();
    QTest::qWait(50);
    const bool ok = w->grab().save(path);
    std::printf("%s %s (%dx%d)\n", ok ? "wrote" : "FAILED", qPrintable(path), w->width(), w->height());
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: windows_screenshots <output dir> [--dark]\n");
        return 2;
    }
    // A bare X server has no desktop to name an icon theme; show what a desktop user sees.
    if (QIcon::themeName().isEmpty() || QIcon::themeName() == QLatin1String("hicolor"))
        QIcon::setThemeName(QStringLiteral("Adwaita"));
    QApplication::setWindowIcon(QtShellUi::appIcon());
    const bool dark = args.contains(QStringLiteral("--dark"));
    if (dark) tools::useDarkStyle();
    const QString suffix = dark ? QStringLiteral("-dark.png") : QStringLiteral(".png");
    QDir out(args[1]);
    out.mkpath(QStringLiteral("."));

    tools::DemoPreferences demo;
    demo.model->removeDuplicates(); // shows the toast under its button
    PreferencesWindow window(demo.model);
    bool ok = true;
    const char* names[] = {"preferences-general", "preferences-visibility", "preferences-advanced"};
    for (int i = 0; i < window.tabs()->count(); ++i) {
        window.tabs()->setCurrentIndex(i);
        ok = save(&window, out.filePath(QLatin1String(names[i]) + suffix)) && ok;
    }
    // The rest of the longest tab, scrolled to its end.
    window.tabs()->setCurrentIndex(0);
    if (auto* scroll = qobject_cast<QScrollArea*>(window.tabs()->widget(0))) {
        window.show();
        QApplication::processEvents();
        scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
        ok = save(&window, out.filePath(QStringLiteral("preferences-general-end") + suffix)) && ok;
    }
    window.openReassignSheet();
    ok = save(window.reassignSheet(), out.filePath(QStringLiteral("reassign-tags") + suffix)) && ok;
    window.reassignSheet()->close();

    // What sway cannot do, as the Visibility tab says it with the Ctrl mode chosen.
    demo.model->setLimits([] {
        return PreferencesViewModel::Limits{
            QStringLiteral("on Wayland a program sees the keyboard only while one of its own windows has it, "
                           "so Ctrl held over another window cannot be seen"),
            true, false};
    });
    demo.model->set(&AppSettings::visibilityMode, VisibilityMode::onCtrl);
    window.tabs()->setCurrentIndex(1);
    ok = save(&window, out.filePath(QStringLiteral("preferences-unavailable-sway") + suffix)) && ok;

    WelcomeWindow welcome;
    ok = save(&welcome, out.filePath(QStringLiteral("welcome") + suffix)) && ok;
    WelcomeWindow welcomeWithoutTray(false);
    ok = save(&welcomeWithoutTray, out.filePath(QStringLiteral("welcome-no-tray") + suffix)) && ok;
    return ok ? 0 : 1;
}

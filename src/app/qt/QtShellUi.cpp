#include "app/qt/QtShellUi.h"

#include "platform/widgets/FrontWindow.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QKeySequence>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>

namespace sm {

QtShellUi::QtShellUi() = default;
QtShellUi::~QtShellUi() = default;

// Three stacked desktops, the same drawing as the installed SVG icon.
QIcon QtShellUi::appIcon() {
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64, 128}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 64.0, size / 64.0);
        const QColor colors[] = {QColor(0x9a, 0xa5, 0xb1), QColor(0x5f, 0x8d, 0xc9),
                                 QColor(0x2b, 0x59, 0xc3)};
        for (int i = 0; i < 3; ++i) {
            QPainterPath path;
            path.addRoundedRect(QRectF(4 + 8 * i, 8 + 8 * i, 40, 28), 5, 5);
            p.fillPath(path, colors[i]);
            p.setPen(QPen(Qt::white, 2));
            p.drawPath(path);
        }
        p.fillRect(QRectF(30, 42, 20, 4), Qt::white); // the label on the front desktop
        icon.addPixmap(pixmap);
    }
    return icon;
}

bool QtShellUi::installStatusMenu(const QList<MenuEntry>& entries, std::function<void()> onMenuWillOpen,
                                  std::function<void(QString)> onAction) {
    menu_ = std::make_unique<QMenu>();
    onAction_ = onAction;
    for (const auto& entry : entries) {
        if (entry.kind == MenuEntry::Kind::separator) {
            menu_->addSeparator();
            continue;
        }
        if (entry.kind == MenuEntry::Kind::submenu) {
            QMenu* submenu = menu_->addMenu(entry.title);
            submenu->menuAction()->setObjectName(entry.identifier);
            submenu->menuAction()->setEnabled(entry.enabled);
            continue;
        }
        QAction* action = menu_->addAction(entry.title);
        action->setObjectName(entry.identifier);
        action->setEnabled(entry.enabled);
        if (!entry.shortcut.isEmpty()) {
            action->setShortcut(QKeySequence(entry.shortcut));
            action->setShortcutVisibleInContextMenu(true);
        }
        QObject::connect(action, &QAction::triggered, menu_.get(),
                         [onAction, name = entry.action] { onAction(name); });
    }
    QObject::connect(menu_.get(), &QMenu::aboutToShow, menu_.get(), [onMenuWillOpen] { onMenuWillOpen(); });
    // Shown even without a tray now: one that starts later in the session still picks it up.
    tray_ = std::make_unique<QSystemTrayIcon>(appIcon());
    tray_->setToolTip(QStringLiteral("Spacemarquee"));
    tray_->setContextMenu(menu_.get());
    QObject::connect(tray_.get(), &QSystemTrayIcon::activated, menu_.get(),
                     [this](QSystemTrayIcon::ActivationReason why) {
                         if (why == QSystemTrayIcon::Trigger) menu_->popup(QCursor::pos());
                     });
    tray_->show();
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void QtShellUi::setMenuItemHidden(const QString& identifier, bool hidden) {
    if (!menu_) return;
    for (QAction* action : menu_->actions())
        if (action->objectName() == identifier) action->setVisible(!hidden);
}

void QtShellUi::setSubmenu(const QString& identifier, const QList<MenuChoice>& choices) {
    if (!menu_) return;
    QAction* entry = menu_->findChild<QAction*>(identifier);
    QMenu* submenu = entry ? entry->menu() : nullptr;
    if (!submenu) return;
    std::function<void(QMenu*, const QList<MenuChoice>&)> fill = [&](QMenu* into, const QList<MenuChoice>& list) {
        into->clear(); // deletes the actions; the submenus it made go too
        qDeleteAll(into->findChildren<QMenu*>(Qt::FindDirectChildrenOnly));
        for (const auto& choice : list) {
            if (!choice.more.isEmpty()) {
                fill(into->addMenu(choice.title), choice.more);
                continue;
            }
            QAction* action = into->addAction(choice.title);
            action->setCheckable(true);
            action->setChecked(choice.checked);
            QObject::connect(action, &QAction::triggered, into,
                             [this, name = choice.action] { if (onAction_) onAction_(name); });
        }
    };
    fill(submenu, choices);
}

void QtShellUi::showAbout(const AboutCredits& credits) {
    auto* box =
        new QMessageBox(QMessageBox::NoIcon, QCoreApplication::translate("QtShellUi", "About Spacemarquee"),
                        QString(), QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setIconPixmap(appIcon().pixmap(64, 64));
    box->setTextFormat(Qt::RichText);
    QString html = QStringLiteral("<div align=\"center\"><b>Spacemarquee</b><br>") +
                   QCoreApplication::translate("QtShellUi", "Version %1 (%2)")
                       .arg(QCoreApplication::applicationVersion().toHtmlEscaped(),
                            qApp->property("buildVersion").toString().toHtmlEscaped()) +
                   QStringLiteral("<br><small>");
    html += credits.text.toHtmlEscaped().replace(QLatin1Char('\n'), QStringLiteral("<br>"));
    if (credits.link.isValid())
        html += QStringLiteral("<a href=\"%1\">%2</a>")
                    .arg(credits.link.toString(QUrl::FullyEncoded).toHtmlEscaped(),
                         credits.linkText.toHtmlEscaped());
    else
        html += credits.linkText.toHtmlEscaped();
    box->setText(html + QStringLiteral("</small></div>"));
    box->setTextInteractionFlags(Qt::TextBrowserInteraction);
    widgets::bringToFront(box);
}

void QtShellUi::showAlert(const QString& message, const QString& informativeText) {
    QMessageBox box(QMessageBox::Warning, QCoreApplication::translate("QtShellUi", "Spacemarquee"), message,
                    QMessageBox::Ok);
    box.setInformativeText(informativeText);
    box.setWindowIcon(appIcon());
    bool ok = false;
    const int dismissAfter = qEnvironmentVariableIntValue(kAutoDismissVariable, &ok);
    if (ok) QTimer::singleShot(dismissAfter, &box, [&box] { box.accept(); });
    alert_ = &box;
    box.exec();
}

bool QtShellUi::openUrl(const QUrl& url) {
    return QDesktopServices::openUrl(url);
}

void QtShellUi::quit() {
    // The alert runs a loop of its own that quit() does not end, and before the main loop runs
    // quit() does nothing at all: a yielding copy told to quit leaves its alert, and main returns.
    if (alert_) alert_->done(QMessageBox::Ok);
    QCoreApplication::quit();
}

} // namespace sm

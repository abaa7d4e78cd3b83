#include "app/MenuBarItem.h"

#include <QCoreApplication>

namespace sm {

MenuBarItem::MenuBarItem(std::shared_ptr<ShellUi> ui, QUrl website, Logger logger)
    : ui_(std::move(ui)), website_(std::move(website)), logger_(std::move(logger)) {
    // The menu only reaches this object through the UI, which lives as long as the program; `this`
    // is owned by the composition root for the same span.
    hasTrayIcon_ = ui_->installStatusMenu(
        entries(), [this] { menuWillOpen(); }, [this](const QString& action) { perform(action); });
}

QList<MenuEntry> MenuBarItem::entries() {
    using K = MenuEntry::Kind;
    return {
        {K::action, QCoreApplication::translate("MenuBarItem", "Add tag to this desktop"),
         QStringLiteral("addTag"), QCoreApplication::translate("MenuBarItem", "Ctrl+Alt+T"),
         kAddTagIdentifier, true},
        {K::action,
         QCoreApplication::translate("MenuBarItem", "Remove tag from this desktop"),
         QStringLiteral("removeTag"),
         {},
         kRemoveTagIdentifier,
         true},
        {K::submenu, QCoreApplication::translate("MenuBarItem", "Go to"), {}, {}, kGoToIdentifier, true},
        {K::separator, {}, {}, {}, {}, true},
        {K::action,
         QCoreApplication::translate("MenuBarItem", "Preferences…"),
         QStringLiteral("showPreferences"),
         QCoreApplication::translate("MenuBarItem", "Ctrl+,"),
         {},
         true},
        {K::action,
         QCoreApplication::translate("MenuBarItem", "About Spacemarquee"),
         QStringLiteral("showAbout"),
         {},
         {},
         true},
        {K::action,
         QCoreApplication::translate("MenuBarItem", "Report a Problem…"),
         QStringLiteral("showReportProblem"),
         {},
         {},
         true},
        {K::action,
         QCoreApplication::translate("MenuBarItem", "Check for Updates…"),
         QStringLiteral("checkForUpdates"),
         {},
         {},
         true},
        {K::separator, {}, {}, {}, {}, true},
        {K::action,
         QCoreApplication::translate("MenuBarItem", "Quit Spacemarquee"),
         QStringLiteral("quit"),
         QCoreApplication::translate("MenuBarItem", "Ctrl+Q"),
         {},
         true},
    };
}

void MenuBarItem::menuWillOpen() {
    const bool hasTag = currentSpaceHasTag ? currentSpaceHasTag() : false;
    ui_->setMenuItemHidden(kAddTagIdentifier, hasTag);
    ui_->setMenuItemHidden(kRemoveTagIdentifier, !hasTag);
    goToShown_ = namedDesktops ? namedDesktops() : QList<NamedDesktop>();
    ui_->setSubmenu(kGoToIdentifier, goToChoices(goToShown_, activePlace ? activePlace() : std::nullopt));
    ui_->setMenuItemHidden(kGoToIdentifier, goToShown_.isEmpty());
}

QList<MenuChoice> MenuBarItem::goToChoices(const QList<NamedDesktop>& desktops,
                                           const std::optional<DesktopPlace>& active) {
    QList<MenuChoice> shown, more;
    for (qsizetype i = 0; i < desktops.size(); ++i) {
        const DesktopPlace& place = desktops[i].place;
        const bool current = active && active->screenId == place.screenId && active->desktop == place.desktop;
        (i < kGoToShown ? shown : more)
            << MenuChoice{desktops[i].title, QStringLiteral("goTo:%1").arg(i), current, {}};
    }
    if (!more.isEmpty()) shown << MenuChoice{QCoreApplication::translate("MenuBarItem", "More"), {}, false, more};
    return shown;
}

void MenuBarItem::perform(const QString& action) {
    SM_TRACE(logger_, QStringLiteral("menu ACTION ") + action);
    if (action == QLatin1String("addTag")) {
        if (onAddTagToCurrentSpace) onAddTagToCurrentSpace();
    } else if (action == QLatin1String("removeTag")) {
        if (onRemoveTagFromCurrentSpace) onRemoveTagFromCurrentSpace();
    } else if (action == QLatin1String("showPreferences")) {
        if (onShowPreferences) onShowPreferences();
    } else if (action == QLatin1String("showAbout")) {
        ui_->showAbout(aboutCredits());
    } else if (action == QLatin1String("showReportProblem")) {
        if (onShowReportProblem) onShowReportProblem();
    } else if (action == QLatin1String("checkForUpdates")) {
        if (const auto url = productPageUrl()) ui_->openUrl(*url);
    } else if (action.startsWith(QLatin1String("goTo:"))) {
        bool ok = false;
        const int index = action.mid(5).toInt(&ok);
        if (ok && index >= 0 && index < goToShown_.size() && onGoTo) onGoTo(goToShown_[index]);
    } else if (action == QLatin1String("quit")) {
        ui_->quit();
    }
}

std::optional<QUrl> MenuBarItem::page(const QString& path, const QString& query) const {
    if (!website_.isValid() || website_.scheme() != QLatin1String("https") || website_.host().isEmpty())
        return {};
    QUrl url;
    url.setScheme(website_.scheme());
    url.setHost(website_.host());
    if (website_.port() != -1) url.setPort(website_.port());
    url.setPath(path);
    if (!query.isEmpty()) url.setQuery(query);
    return url;
}

std::optional<QUrl> MenuBarItem::productPageUrl() const {
    return page(QStringLiteral("/spacemarquee/"),
                QStringLiteral("utm_source=app-direct&utm_medium=referral&utm_campaign=update-check"));
}

AboutCredits MenuBarItem::aboutCredits() const {
    AboutCredits credits;
    if (labelCount)
        credits.text = QCoreApplication::translate("MenuBarItem", "Labels stored: %1").arg(labelCount());
    credits.text += QCoreApplication::translate("MenuBarItem", "\n\nIssues? Suggestions? Ideas?\n");
    credits.linkText = QCoreApplication::translate("MenuBarItem", "Please let me know");
    credits.link = page(QStringLiteral("/spacemarquee/support/"), {}).value_or(QUrl());
    return credits;
}

} // namespace sm

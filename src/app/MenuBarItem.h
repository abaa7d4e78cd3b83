#pragma once

#include "app/GoToDesktop.h"
#include "app/ShellUi.h"
#include "logging/Logger.h"

#include <functional>
#include <memory>
#include <optional>

namespace sm {

// The tray icon's menu: add or remove the current desktop's tag, go to a named desktop, About, the
// problem report, the product page, quit.
// Everything beyond showing the menu goes through the callbacks the composition root sets.
class MenuBarItem {
public:
    static inline const QString kAddTagIdentifier = QStringLiteral("Spacemarquee.addTag");
    static inline const QString kRemoveTagIdentifier = QStringLiteral("Spacemarquee.removeTag");
    static inline const QString kGoToIdentifier = QStringLiteral("Spacemarquee.goTo");
    // A longer list goes on under "More": a menu taller than the screen scrolls, and few read it.
    static constexpr int kGoToShown = 20;

    // `website`: scheme and host of the product's pages (a build option). Installs the tray menu.
    MenuBarItem(std::shared_ptr<ShellUi> ui, QUrl website, Logger logger);

    static QList<MenuEntry> entries();
    bool hasTrayIcon() const { return hasTrayIcon_; }

    void menuWillOpen();
    void perform(const QString& action);
    AboutCredits aboutCredits() const;
    // "Go to": the named desktops in desktop order, the active one checked.
    static QList<MenuChoice> goToChoices(const QList<NamedDesktop>& desktops,
                                         const std::optional<DesktopPlace>& active);
    // None when the build's web address is not a secure one.
    std::optional<QUrl> productPageUrl() const;

    std::function<void()> onShowPreferences;
    std::function<void()> onShowReportProblem;
    std::function<void()> onAddTagToCurrentSpace;
    std::function<void()> onRemoveTagFromCurrentSpace;
    std::function<bool()> currentSpaceHasTag;
    std::function<int()> labelCount;
    std::function<QList<NamedDesktop>()> namedDesktops;
    std::function<std::optional<DesktopPlace>()> activePlace;
    std::function<void(const NamedDesktop&)> onGoTo;

private:
    std::optional<QUrl> page(const QString& path, const QString& query) const;

    std::shared_ptr<ShellUi> ui_;
    QUrl website_;
    Logger logger_;
    bool hasTrayIcon_ = false;
    QList<NamedDesktop> goToShown_; // as the menu last opened: a choice names one by its position
};

} // namespace sm

#pragma once

#include "logging/Logger.h"
#include "platform/Defaults.h"
#include "platform/MainQueue.h"
#include "platform/Signal.h"
#include "platform/WindowServer.h"

#include <QByteArray>
#include <QHash>
#include <QUuid>

#include <memory>

namespace sm {

class OverlayManager;
class TagStore;

// Remembers the desktop every label sits on, so that names come back on their desktops after a
// restart instead of as fresh labels. A place is recorded when its tag is adopted (the label is then
// known to be on the active desktop, never where a window manager merely piled it) and for every
// label at quit, and again when a desktop is renamed while it runs (i3's and sway's workspaces are
// known by name: the place follows the new one). At launch the remembered labels are put back before the first resolution, which then
// adopts the one on the current desktop; a desktop visited later that has no label gets its
// remembered one back (a desktop that was gone and came back, an i3 workspace made anew).
class PlaceMemory : public std::enable_shared_from_this<PlaceMemory> {
public:
    static inline const QString kPlacesKey = QStringLiteral("Spacemarquee.DesktopPlaces");

    static std::shared_ptr<PlaceMemory> create(std::weak_ptr<TagStore> tagStore,
                                               std::weak_ptr<OverlayManager> overlayManager,
                                               std::shared_ptr<WindowServer> windowServer,
                                               std::shared_ptr<Defaults> defaults,
                                               std::shared_ptr<const Clock> clock, Logger logger);

    // Reads the remembered places (an unreadable record is kept aside and forgotten) and puts back the
    // labels of tags without a panel, one per desktop; returns how many came back.
    int restoreLabels();
    // Watches desktop switches for desktops that have no label but a remembered one.
    void start();
    void stop();
    // Records where the tag's label sits now.
    void remember(const QUuid& tagId);
    // Records every label whose desktop it has to itself, then saves.
    void rememberAll();

    std::optional<DesktopPlace> placeOf(const QUuid& tagId) const;

private:
    PlaceMemory(std::weak_ptr<TagStore> tagStore, std::weak_ptr<OverlayManager> overlayManager,
                std::shared_ptr<WindowServer> windowServer, std::shared_ptr<Defaults> defaults,
                std::shared_ptr<const Clock> clock, Logger logger);

    void load();
    void save();
    // Puts back, one per desktop, the remembered labels of tags without a panel that `wanted` accepts.
    int restore(const std::function<bool(const DesktopPlace&)>& wanted, const QString& reason);
    void restoreOnVisit();
    void followRenames();

    std::weak_ptr<TagStore> tagStore_;
    std::weak_ptr<OverlayManager> overlayManager_;
    std::shared_ptr<WindowServer> windowServer_;
    std::shared_ptr<Defaults> defaults_;
    std::shared_ptr<const Clock> clock_;
    Logger logger_;
    QHash<QUuid, DesktopPlace> places_;
    QByteArray saved_;
    bool loaded_ = false;
    Signal<>::Connection switches_;
    Signal<>::Connection names_;
};

} // namespace sm

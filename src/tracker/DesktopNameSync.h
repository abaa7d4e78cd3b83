#pragma once

#include "logging/Logger.h"
#include "platform/Defaults.h"
#include "platform/MainQueue.h"
#include "platform/Signal.h"
#include "platform/WindowServer.h"
#include "rules/DesktopNamePolicy.h"

#include <memory>
#include <optional>

namespace sm {

class OverlayManager;
class TagStore;

// Lends the labels' titles to the window manager's desktop names, so pagers, panels and its own
// switcher show them, while the setting asks for it. The window manager's names are remembered
// (also on disk, so a crash loses none) and given back when the setting goes off and at quit; a
// desktop without a title keeps its own name throughout. A window manager that replaces a written
// title is left alone for the rest of the session. Works after every change of tags, settings,
// desktops or names, once the queue turns, when the labels of new tags are in place.
class DesktopNameSync : public std::enable_shared_from_this<DesktopNameSync> {
public:
    static inline const QString kRecordKey = QStringLiteral("Spacemarquee.DesktopNamesLent");

    static std::shared_ptr<DesktopNameSync> create(std::weak_ptr<TagStore> tagStore,
                                                   std::weak_ptr<OverlayManager> overlayManager,
                                                   std::shared_ptr<WindowServer> windowServer,
                                                   std::shared_ptr<Defaults> defaults,
                                                   std::shared_ptr<MainQueue> queue, Logger logger);

    // Takes up what a session that ended without giving the names back left behind, then follows.
    void start();
    // Gives the window manager its names back.
    void stop();
    // The window manager's own name for the active desktop when someone chose it, else empty: the
    // automatic title of a label made there.
    QString chosenNameOfActiveDesktop() const;

private:
    DesktopNameSync(std::weak_ptr<TagStore> tagStore, std::weak_ptr<OverlayManager> overlayManager,
                    std::shared_ptr<WindowServer> windowServer, std::shared_ptr<Defaults> defaults,
                    std::shared_ptr<MainQueue> queue, Logger logger);

    void schedule();
    void sync();
    void giveBack();
    QMap<int, QString> titlesByDesktop() const;
    void saveRecord();

    std::weak_ptr<TagStore> tagStore_;
    std::weak_ptr<OverlayManager> overlayManager_;
    std::shared_ptr<WindowServer> windowServer_;
    std::shared_ptr<Defaults> defaults_;
    std::shared_ptr<MainQueue> queue_;
    Logger logger_;
    // Set while names of ours are on the desktops.
    std::optional<DesktopNamePolicy::Record> record_;
    QByteArray saved_; // the record as last written to disk
    bool backedOff_ = false;
    bool wasShared_ = true;
    bool started_ = false;
    bool scheduled_ = false;
    Connection tags_;
    Connection settings_;
    Signal<>::Connection switches_;
    Signal<>::Connection names_;
};

} // namespace sm

#include "core/CoreServices.h"

namespace sm {

std::shared_ptr<CoreServices> CoreServices::create(CoreBackend backend, Options options) {
    std::shared_ptr<CoreServices> core(new CoreServices(std::move(backend), options));
    core->build();
    // Every callback is in place before anything starts, so no early event finds one missing.
    core->wire();
    return core;
}

CoreServices::CoreServices(CoreBackend backend, Options options)
    : backend_(std::move(backend)), options_(options), app_(backend_.loggers.app) {}

CoreServices::~CoreServices() = default;

void CoreServices::build() {
    const Loggers& loggers = backend_.loggers;
    const auto& server = backend_.windowServer;
    const auto& queue = backend_.queue;
    const auto& defaults = backend_.defaults;
    store_ = std::make_shared<TagStore>(defaults, queue, loggers.storage);
    overlay_ = OverlayManager::create(store_, server, queue, loggers.overlay);
    tracker_ = SpaceTracker::create(store_, overlay_, server, queue, defaults, loggers.tracker);
    if (options_.placeMemory)
        placeMemory_ = PlaceMemory::create(store_, overlay_, server, defaults, queue, loggers.tracker);
    if (options_.desktopNameSync)
        desktopNameSync_ = DesktopNameSync::create(store_, overlay_, server, defaults, queue, loggers.tracker);
    keyMonitor_ = std::make_shared<KeyMonitor>(backend_.keySource, queue);
    if (backend_.keySource) overlay_->setCtrlUnavailableReason(backend_.keySource->unavailableReason());
    if (options_.staleTagJanitor)
        staleTagSweeper_ = std::make_shared<StaleTagSweeper>(store_, queue, loggers.storage);
    if (backend_.speechSynthesizer)
        speechAnnouncer_ = std::make_shared<SpeechAnnouncer>(backend_.speechSynthesizer, loggers.tracker,
                                                             SpeechAnnouncer::currentLanguageCode(),
                                                             store_->settings().speakSpaceNameOnChange);
    if (speechAnnouncer_)
        speechSettingSubscription_ = store_->subscribeSettings(
            [announcer = std::weak_ptr<SpeechAnnouncer>(speechAnnouncer_)](const AppSettings& settings) {
                if (auto a = announcer.lock()) a->followSetting(settings.speakSpaceNameOnChange);
            });
    if (options_.autoNaming)
        autoTagger_ = AutoTagger::create(store_, tracker_, overlay_, backend_.workspace, server, queue,
                                         loggers.tracker);
}

void CoreServices::wire() {
    std::weak_ptr<CoreServices> weak = weak_from_this();

    // An adopted label is on the active desktop for sure: that is the place to remember for it.
    tracker_->onActiveTagResolved = [weak](QUuid id) {
        auto self = weak.lock();
        if (!self) return;
        if (self->placeMemory_) self->placeMemory_->remember(id);
        if (self->autoTagger_ && self->autoTagger_->isStarted())
            self->autoTagger_->refreshForResolvedTag(id, QStringLiteral("tag-resolved"));
        if (self->onActiveTagResolved) self->onActiveTagResolved(id);
    };
    tracker_->speakSpaceName = [weak](const QString& title, double rate, double volume) {
        auto self = weak.lock();
        if (self && self->speechAnnouncer_) self->speechAnnouncer_->speak(title, rate, volume);
    };
    // A desktop the user named in the window manager gives a new label that name to start with.
    tracker_->newTagTitleProvider = [weak] {
        auto self = weak.lock();
        return self && self->desktopNameSync_ ? self->desktopNameSync_->chosenNameOfActiveDesktop()
                                              : QString();
    };

    keyMonitor_->onCtrlChange = [weak](bool down) {
        auto self = weak.lock();
        if (!self) return;
        self->overlay_->setCtrlBoostActive(down);
        self->overlay_->renderAllPanels();
    };

    wireOverlayToTracker();
    overlay_->reviewPromptDecider = [](QUuid, QString) { return false; };

    if (staleTagSweeper_)
        staleTagSweeper_->onSweep = [weak] {
            if (auto self = weak.lock())
                self->tracker_->purgeJunk(QStringLiteral("junk-janitor"), kJunkJanitorAgeSeconds);
        };
}

// The overlay reports what it sees and what the user asked of a label; the tracker decides. Held
// weakly: a tracker that is gone hears nothing.
void CoreServices::wireOverlayToTracker() {
    std::weak_ptr<SpaceTracker> weak = tracker_;
    OverlayManager& overlay = *overlay_;
    overlay.onPanelBecameVisible = [weak](QUuid id, bool onActive) {
        if (auto t = weak.lock()) t->panelPresenceChanged(id, onActive);
    };
    overlay.onPanelCrossedScreens = [weak](QUuid id) {
        if (auto t = weak.lock()) t->panelCrossedScreens(id);
    };
    overlay.onPanelsAnchorLost = [weak](QList<QUuid> ids) {
        for (const auto& id : ids)
            if (auto t = weak.lock()) t->zombifyPanel(id, QStringLiteral("co-residency-heal"));
    };
    overlay.onPanelDesktopRemoved = [weak](QUuid id) {
        if (auto t = weak.lock()) t->zombifyPanel(id, QStringLiteral("desktop-removed"));
    };
    overlay.onEditSessionClosed = [weak](QUuid id) {
        if (auto t = weak.lock()) t->editSessionClosed(id);
    };
    overlay.onDeleteTagRequested = [weak](QUuid id) {
        if (auto t = weak.lock()) t->deleteTagFromContextMenu(id);
    };
    overlay.onRemoveDuplicatesRequested = [weak] {
        if (auto t = weak.lock()) t->removeDuplicatesOnCurrentSpace();
    };
    overlay.restorableTitlesProvider = [weak] {
        auto t = weak.lock();
        return t ? t->restorableTitles() : QList<LabelContextMenu::RestorableTitle>{};
    };
    overlay.onRestoreTitleRequested = [weak](QUuid orphan, QUuid onto) {
        if (auto t = weak.lock()) t->restoreTitle(orphan, onto);
    };
}

int CoreServices::start(bool launchedAsLoginItem) {
    if (started_) return 0;
    started_ = true;
    // Remembered labels go back on their desktops first, so the first resolution adopts them instead
    // of waiting for a time-out and minting fresh ones.
    const int restored = placeMemory_ ? placeMemory_->restoreLabels() : 0;
    if (placeMemory_) placeMemory_->start();
    tracker_->start(launchedAsLoginItem);
    if (desktopNameSync_) desktopNameSync_->start();
    keyMonitor_->start();
    if (staleTagSweeper_) staleTagSweeper_->start();
    if (autoTagger_) autoTagger_->start();
    return restored;
}

void CoreServices::stop() {
    if (stopped_) return;
    stopped_ = true;
    auto stopped = [this](const char* service) {
        SM_TRACE(app_, QStringLiteral("terminate STOPPED service=") + QLatin1String(service));
    };
    if (autoTagger_) autoTagger_->stop();
    stopped("autoTagger");
    if (speechAnnouncer_) speechAnnouncer_->stopSpeaking();
    stopped("speechAnnouncer");
    if (staleTagSweeper_) staleTagSweeper_->stop();
    stopped("staleTagSweeper");
    keyMonitor_->stop();
    stopped("keyMonitor");
    tracker_->stop();
    stopped("spaceTracker");
    if (desktopNameSync_) desktopNameSync_->stop(); // the window manager's own names go back
    if (placeMemory_) {
        placeMemory_->stop();
        placeMemory_->rememberAll(); // while the labels still exist
    }
    overlay_->tearDown();
    stopped("overlayManager");
    // Last-seen times and positions may still be waiting; every other change is on disk already.
    store_->flush();
}

} // namespace sm

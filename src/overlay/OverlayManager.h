#pragma once

#include "logging/Logger.h"
#include "model/TagStore.h"
#include "overlay/FontSizeStepper.h"
#include "overlay/LabelContextMenu.h"
#include "overlay/RenderPlan.h"
#include "platform/MainQueue.h"
#include "platform/WindowServer.h"
#include "rules/ShortId.h"
#include "rules/SpaceResolutionPolicy.h"

#include <QHash>
#include <QSet>

#include <memory>
#include <vector>

namespace sm {

// What the label view shows; the overlay updates it at every render.
struct TagLabelViewModel {
    double fontSize = 64.0;
    bool showsBackgroundBand = false;
    bool isUserOwned = false;
    bool hidesText = false;
};

// Owns one label panel per tag and everything about how it looks, where it sits and what it reports.
// It never creates or removes a panel on its own: the space tracker decides that. Main thread only.
class OverlayManager : public std::enable_shared_from_this<OverlayManager> {
public:
    static constexpr int kPanelLevel = 3;
    static constexpr double kEntryBoostSeconds = 5.0;
    static constexpr double kFrameAnimationSeconds = 0.15;
    static constexpr double kFadeOutSeconds = 0.4;
    static constexpr double kCoResidencyConfirmSeconds = 2.5;
    static constexpr double kDragPersistSeconds = 0.5;
    static constexpr double kMinimumLabelWidth = 80.0;
    static constexpr double kMinimumLabelHeight = 40.0;
    static constexpr double kSizeTolerance = 2.0;

    struct PanelEntry {
        QUuid tagId;
        std::unique_ptr<LabelPanel> panel;
        TagLabelViewModel viewModel;
        QString placeholder; // chosen once, when the content is installed
        WorkHandle fadeOutWorkItem;
        WorkHandle dragDebounceWorkItem;
        bool entryBoostActive = false;
        WorkHandle entryBoostWorkItem;
        std::vector<Signal<>::Connection> observerTokens;
        bool isMagnified = false;
        bool isEditing = false;
        bool isAnimatingFrame = false;
        bool isOcclusionVisible = true;
        std::optional<QSizeF> fittedSize;
        std::optional<QSizeF> lastMeasuredSize; // the view's latest report, also when it could not be applied
        std::optional<RenderPlan::LayoutState> lastLayoutState;
        std::optional<QString> lastKnownScreenID;
        std::optional<QPointF> lastKnownOrigin;
        QSet<QUuid> bornCompanionIds;
        bool bornAsAutomaticMint = false;
    };

    struct PanelVisibility {
        QUuid tagId;
        bool isVisible = false;
        bool operator==(const PanelVisibility&) const = default;
    };

    struct EditorSession {
        QUuid tagId;
        QPointF anchorCenter;
        int generation = 0;
        std::unique_ptr<EditorPanel> panel;
        QString latestDraft;
        bool committed = false;
    };

    static std::shared_ptr<OverlayManager> create(std::weak_ptr<TagStore> tagStore,
                                                  std::shared_ptr<WindowServer> windowServer,
                                                  std::shared_ptr<MainQueue> queue, Logger logger);
    ~OverlayManager();

    // ---- Registry (the space tracker's operations) ----
    // `place`: the desktop the label belongs on; none puts it on the active desktop.
    LabelPanel* createPanel(const SpaceTag& tag, const QString& reason,
                            const std::optional<DesktopPlace>& place = std::nullopt);
    void removePanel(const QUuid& id, const QString& reason);
    bool hasPanel(const QUuid& id) const { return index_.contains(id); }
    const PanelEntry* entry(const QUuid& id) const;
    QList<QUuid> panelIds() const;
    QList<SpaceResolutionPolicy::PanelSnapshot> panelSnapshots() const;
    QList<PanelVisibility> panelVisibilities() const;
    std::optional<QUuid> visibleTombstoneAnchor(quint32 displayNumber) const;
    void setActiveTag(const std::optional<QUuid>& id);
    std::optional<QUuid> currentlyActiveTagId() const { return currentlyActiveTagId_; }
    QString panelsDescription() const;
    void tearDown();

    // ---- Presentation ----
    void renderAllPanels();
    void setCtrlBoostActive(bool active) { ctrlBoostActive_ = active; }
    // Why Ctrl cannot be watched in this session (empty: it can). Then the Ctrl-only mode shows the
    // labels on change instead, and says so once in the log.
    void setCtrlUnavailableReason(QString reason) { ctrlUnavailableReason_ = std::move(reason); }
    const QString& ctrlUnavailableReason() const { return ctrlUnavailableReason_; }
    VisibilityMode effectiveVisibilityMode(const AppSettings& settings) const;
    bool ctrlBoostActive() const { return ctrlBoostActive_; }
    void reapplyNormalFrames();

    // ---- Editing ----
    void beginEdit(const QUuid& tagId);
    void commitEdit(const QString& reason, std::optional<int> generation);
    void closeEditSession(const QString& reason);
    void cancelEdit(int generation);
    bool isEditing() const { return editorSession_.has_value(); }
    const EditorSession* editorSession() const { return editorSession_ ? &*editorSession_ : nullptr; }

    // ---- Label content ----
    void adjustFontSize(FontSizeStepper::Adjustment adjustment, const QUuid& tagId);
    static QString emptyPlaceholder(const QList<SpaceTag>& tags);

    // ---- Callbacks (each optional; set by the composition root before anything starts) ----
    std::function<void(QUuid, bool)> onPanelBecameVisible;
    std::function<void(QUuid)> onPanelCrossedScreens;
    std::function<void(QList<QUuid>)> onPanelsAnchorLost;
    std::function<void(QUuid)> onPanelDesktopRemoved; // the window server dropped the label's desktop
    std::function<void(QUuid)> onEditSessionClosed;
    std::function<void(QUuid)> onDeleteTagRequested;
    std::function<void()> onRemoveDuplicatesRequested;
    std::function<void()> onPreferencesRequested;
    std::function<QList<LabelContextMenu::RestorableTitle>()> restorableTitlesProvider;
    std::function<void(QUuid, QUuid)> onRestoreTitleRequested; // (orphan id, this label's tag id)
    std::function<bool(QUuid, QString)> reviewPromptDecider;

private:
    OverlayManager(std::weak_ptr<TagStore> tagStore, std::shared_ptr<WindowServer> windowServer,
                   std::shared_ptr<MainQueue> queue, Logger logger);
    void start();

    PanelEntry* find(const QUuid& id) const;
    void installObservers(PanelEntry& entry);
    void installContent(PanelEntry& entry, const SpaceTag& tag);
    void handleScreenChange(const QUuid& tagId);
    void handleScreensChanged();
    void handleActiveDesktopChanged();
    QString describeScreen(const std::optional<ScreenInfo>& screen) const;
    QString describePanel(const PanelEntry& entry) const;

    // Presentation
    void renderPanel(PanelEntry& entry, bool animated, const SpaceTag* knownTag = nullptr);
    void pushContent(PanelEntry& entry, const SpaceTag& tag);
    bool isBackgroundFrozen(const PanelEntry& entry) const;
    RenderPlan::Inputs renderInputs(const PanelEntry& entry, const SpaceTag& tag,
                                    const AppSettings& settings) const;
    void handleOcclusionChange(PanelEntry& entry, bool notifyTracker);
    void startEntryBoost(PanelEntry& entry);
    void scheduleFadeOut(PanelEntry& entry, double seconds);
    void applyMeasuredSize(const QUuid& tagId, QSizeF size);
    void scheduleRenderAll();

    // Co-residency
    void scheduleCoResidencyConfirm();
    void runCoResidencyAudit();

    // Placement
    void handlePanelMoved(const QUuid& tagId);
    void persistDrag(const QUuid& tagId, QPointF origin, std::optional<QString> screenId);

    // Editing
    void resizeEditor(int generation, QSizeF size);
    double fontSizeFor(const std::optional<QString>& screenId, const AppSettings& settings) const;

    std::weak_ptr<TagStore> tagStore_;
    std::shared_ptr<WindowServer> windowServer_;
    std::shared_ptr<MainQueue> queue_;
    Logger logger_;

    // Registry in creation order, with an index for lookups by tag id.
    std::vector<std::unique_ptr<PanelEntry>> panels_;
    QHash<QUuid, PanelEntry*> index_;

    bool ctrlBoostActive_ = false;
    QString ctrlUnavailableReason_;
    mutable bool ctrlFallbackLogged_ = false;
    std::optional<QUuid> currentlyActiveTagId_;
    Connection settingsObserver_;
    Connection tagsObserver_;
    Signal<>::Connection diagnosticSpaceObserver_;
    Signal<>::Connection spaceObserver_;
    Signal<>::Connection screensObserver_;
    WorkHandle coResidencyConfirmWork_;
    WorkHandle pendingRenderAll_;
    std::optional<EditorSession> editorSession_;
    std::unique_ptr<EditorPanel> retiredEditor_;
    int editorGenerationCounter_ = 0;
};

} // namespace sm

#pragma once

#include "logging/Logger.h"
#include "platform/WindowServer.h"
#include "platform/wayland/LayerSurface.h"
#include "platform/wayland/WaylandConnection.h"
#include "platform/wayland/WorkspaceNamers.h"

#include <QImage>
#include <QPoint>
#include <QSize>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace sm::wayland {

// What the server knows about one panel. The panel owns it; the server keeps a pointer while both live.
struct PanelState {
    Panel* panel = nullptr;
    // Draws the panel's window at its size and alpha.
    std::function<QImage(QSize, double)> draw;
    bool takesKeyboard = false; // the editor, while it is shown
    bool bound = false;
    quint64 workspace = 0; // the protocol workspace it belongs to, once bound
    QString output;        // the output it shows on; its offset is kept per output
    QPoint offset;         // top left on that output
    QSize size{1, 1};
    bool orderedIn = false;
    double alpha = 1.0;
    bool ignoresInput = false;
    bool onActiveSpace = false;            // "A", as of the last `done`
    bool visible = false;                  // "V": its surface is mapped
    std::unique_ptr<LayerSurface> surface; // while shown
    InputHandler input;
};

// The window server on any compositor that publishes its workspaces with ext-workspace-v1, on a
// connection of its own. Desktops are the protocol's workspaces, screens its outputs. A panel is a
// layer-shell surface in the overlay layer of its workspace's output, which exists only while that
// workspace is the active one there: the compositor shows layer surfaces on every workspace, so the
// server takes a panel's surface down when its workspace is left and puts it back on return. Every
// `done` is applied whole before anyone hears of it.
class WaylandWindowServer final : public WindowServer,
                                  public std::enable_shared_from_this<WaylandWindowServer> {
public:
    using PanelState = wayland::PanelState;

    struct Options {
        Logger logger;
        QString display; // empty: $WAYLAND_DISPLAY
        // Publishes names to the compositor's own bars where it lets a client rename its workspaces.
        std::shared_ptr<WorkspaceNamer> namer;
        // The compositor went away or closed the connection: nothing can be shown any more.
        std::function<void(const QString& why)> onLost;
    };

    // The backend, or none with the reason: no compositor, or one that lacks a protocol it needs.
    static std::shared_ptr<WaylandWindowServer> create(const Options& options, QString* error);
    ~WaylandWindowServer() override;
    WaylandWindowServer(const WaylandWindowServer&) = delete;
    WaylandWindowServer& operator=(const WaylandWindowServer&) = delete;

    // --- WindowServer ---
    QList<ScreenInfo> screens() const override;
    std::optional<ScreenInfo> mainScreen() const override;
    std::unique_ptr<LabelPanel> createLabelPanel(const QUuid& tagId) override;
    std::unique_ptr<EditorPanel> createEditorPanel() override;
    bool isLeftMouseButtonDown() const override;
    std::optional<DesktopPlace> placeOf(const Panel& panel) const override;
    std::optional<DesktopPlace> activePlace() const override;
    std::optional<DesktopPlace> locate(const DesktopPlace& place) const override;
    void bindToPlace(Panel& panel, const DesktopPlace& place) override;
    QString switchTo(const DesktopPlace& place) override;
    // The names, in the order the compositor announced its groups and each group's workspaces ordered.
    QStringList desktopNames() const override;
    bool canSetDesktopNames() const override { return options_.namer && options_.namer->usable(); }
    bool mayRewriteDesktopNames() const override { return false; }
    void setDesktopNames(const QStringList& names) override;
    int desktopNameIndex(const DesktopPlace& place) const override;

    // --- What tests and tools read ---
    WaylandConnection& connection() { return *connection_; }
    // When the last workspace `done` was handled (the start of a switch's latency).
    std::chrono::steady_clock::time_point lastDone() const { return lastDone_; }
    std::optional<QString> workspaceNameOf(const Panel& panel) const;

    // --- For the panels of this backend ---
    void adopt(PanelState& state);
    void forget(PanelState& state);
    void shown(PanelState& state);
    void hidden(PanelState& state);
    void place(PanelState& state);   // its frame or alpha changed
    void repaint(PanelState& state); // its window drew something new
    void applyInput(PanelState& state);
    QRectF frameOf(const PanelState& state) const;
    void setFrame(PanelState& state, const QRectF& frame);
    std::optional<ScreenInfo> screenOf(const PanelState& state) const;

private:
    explicit WaylandWindowServer(Options options);
    void workspacesDone(const WorkspaceChanges& changes);
    void outputsChanged();
    void followActive();
    void refresh(PanelState& state);
    std::optional<ScreenInfo> screenInfo(const OutputInfo& output) const;
    std::optional<DesktopPlace> placeOn(const WorkspaceRecord* workspace) const;
    const WorkspaceRecord* workspaceFor(const DesktopPlace& place) const;
    const OutputInfo* mainOutput() const;
    QRectF toLogical(const QRect& layout) const;
    QRect toLayout(const QRectF& logical) const;
    QList<const WorkspaceRecord*> namedOrder() const;
    QString keyOf(const WorkspaceRecord& workspace) const;

    Options options_;
    std::unique_ptr<WaylandConnection> connection_;
    std::vector<PanelState*> panels_;
    QString currentOutput_;              // where the user last switched: the main screen
    QHash<QString, quint64> lastActive_; // each output's active workspace at the last `done`
    mutable QHash<QString, quint32> displayNumbers_;
    std::chrono::steady_clock::time_point lastDone_;
    // Names sent through the namer that the compositor has not told back yet, by workspace: a second
    // look before it answers must not send them again.
    QHash<quint64, QString> sentNames_;
    QStringList lastNames_; // as last told to whoever listens
    QHash<quint64, QString> ownNames_; // by workspace, while a name of ours is lent to it
};

// Why this backend cannot serve the session, or empty when it can: a Wayland display that answers and
// offers ext-workspace-v1 and the layer shell. `answered`: whether a compositor answered at all.
// Safe before any QGuiApplication exists.
QString sessionProblem(bool* answered = nullptr);

} // namespace sm::wayland

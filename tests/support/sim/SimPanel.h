#pragma once

#include "platform/MainQueue.h"
#include "platform/WindowServer.h"
#include "support/sim/FakeEditorView.h"
#include "support/sim/FakeLabelView.h"

#include <memory>
#include <optional>

namespace sm {

class SimDesktop;

// One desktop of one screen.
struct SimDesktopRef {
    quint32 displayNumber = 0;
    int index = 0;
    bool operator==(const SimDesktopRef&) const = default;
};

// What the simulated window server knows about one panel. The panel owns it so that either the panel
// or the desktop may go first; the desktop keeps a pointer while both live.
struct SimPanelState {
    SimDesktop* desktop = nullptr; // cleared when the desktop goes first
    std::shared_ptr<MainQueue> queue;
    Panel* self = nullptr;
    quint64 serial = 0;
    QRectF frame{0.0, 0.0, 280.0, 96.0};
    double alpha = 1.0;
    bool ignoresMouseEvents = false;
    int level = 0;
    bool orderedIn = false;
    std::optional<SimDesktopRef> home; // bound at the first orderFront
    std::optional<quint32> screen;     // the screen holding the frame's centre (else the nearest)
    // The facts as the window server reports them; they catch up with the truth after a lag.
    bool reportedOnActiveSpace = false;
    bool reportedVisible = false;
};

// The Panel operations, shared by label and editor panels. The behaviour lives in SimDesktop.
template <class Interface> class SimPanel : public Interface {
public:
    SimPanel(SimDesktop& desktop, std::shared_ptr<MainQueue> queue);
    ~SimPanel() override;
    SimPanel(const SimPanel&) = delete;
    SimPanel& operator=(const SimPanel&) = delete;

    bool isOnActiveSpace() const override { return state_.reportedOnActiveSpace; }
    bool isVisible() const override { return state_.reportedVisible; }
    std::optional<ScreenInfo> screen() const override;

    QRectF frame() const override { return state_.frame; }
    void setFrameOrigin(const QPointF& origin) override;
    void setFrame(const QRectF& frame) override;
    // Applies the final frame and alpha at once and runs `completion` `seconds` later on the queue:
    // observers see the end state immediately, only the completion keeps its timing.
    void animate(const std::optional<QRectF>& frame, double alpha, double seconds,
                 std::function<void()> completion) override;
    double alpha() const override { return state_.alpha; }
    void setAlpha(double alpha) override { state_.alpha = alpha; }
    bool ignoresMouseEvents() const override { return state_.ignoresMouseEvents; }
    void setIgnoresMouseEvents(bool ignores) override { state_.ignoresMouseEvents = ignores; }
    int level() const override { return state_.level; }
    void setLevel(int level) override { state_.level = level; }
    void orderFront() override;
    void orderOut() override;
    bool isKey() const override;

protected:
    SimPanelState state_;
};

extern template class SimPanel<LabelPanel>;
extern template class SimPanel<EditorPanel>;

class SimLabelPanel final : public SimPanel<LabelPanel> {
public:
    SimLabelPanel(SimDesktop& desktop, std::shared_ptr<MainQueue> queue, const QUuid& tagId)
        : SimPanel(desktop, std::move(queue)), tagId_(tagId) {}

    QUuid tagId() const override { return tagId_; }
    FakeLabelView& view() override { return view_; }

private:
    QUuid tagId_;
    FakeLabelView view_;
};

class SimEditorPanel final : public SimPanel<EditorPanel> {
public:
    using SimPanel::SimPanel;

    FakeEditorView& view() override { return view_; }
    void makeKeyAndOrderFront() override;

private:
    FakeEditorView view_;
};

} // namespace sm

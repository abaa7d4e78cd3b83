#pragma once

#include "platform/WindowServer.h"
#include "platform/widgets/PanelWindow.h"

#include <QPoint>
#include <QRegion>

#include <memory>
#include <optional>

class QMenu;

namespace sm::widgets {

class LabelText;

// The label: the title (or the placeholder) in white with a soft black shadow, on a clear background
// or a translucent black band. A click begins editing, a drag moves the window, a right click opens
// the menu the overlay provides. It never sizes itself: the overlay sets the frame from the measured
// size it reports.
class LabelWindow final : public PanelWindow, public LabelView {
public:
    LabelWindow();
    ~LabelWindow() override;

    void present(const LabelPresentation& presentation) override;

    const LabelPresentation& presentation() const { return presentation_; }
    std::optional<QSizeF> measuredSize() const { return measured_; }
    bool isTextShown() const;
    // Whether the window stands where the user's drag put it: its move is the user's, also when it is
    // heard of after the button went up.
    bool isWhereDragged() const { return dragTarget_ && pos() == *dragTarget_; }
    // The context menu for the overlay's current model; chosen items come back through onMenuAction.
    std::unique_ptr<QMenu> buildMenu();
    // The part that must stay opaque when no compositor blends the window: the glyphs with room for
    // their shadow, or the whole band.
    QRegion opaqueRegion() const;
    // Where the text stands in the window: what a click on the label means.
    QRect textArea() const;

    std::function<void()> onOpaqueRegionChange;

    void dropCallbacks() override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void layoutText();
    void deliver(std::function<void()> call);

    LabelPresentation presentation_;
    std::optional<QSizeF> measured_;
    LabelText* text_ = nullptr;
    std::optional<QPoint> pressGlobal_;
    QPoint pressOrigin_;
    bool dragging_ = false;
    std::optional<QPoint> dragTarget_;
};

} // namespace sm::widgets

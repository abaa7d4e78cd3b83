#pragma once

#include "platform/Signal.h"

#include <QList>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>

namespace sm {

// Geometry everywhere above this seam: points, origin at the bottom left of the primary screen, y up.
// A frame's origin is its lower-left corner. Backends convert from their own coordinates.

struct ScreenInfo {
    // Identifies the screen while resolving desktops; stable for the session.
    std::optional<quint32> displayNumber;
    // Keys everything stored per screen (upper-case UUID text); stable across sessions.
    std::optional<QString> stableId;
    QString localizedName;
    QRectF frame;

    bool operator==(const ScreenInfo&) const = default;
};

// One desktop of one screen, as it can be remembered across sessions. Window managers that renumber
// their desktops (i3's workspaces) are matched by name, those with lasting desktop ids (KWin) by id,
// the others by number; the backend decides.
// The optional members carry braces so that a place may be written without them, warning-free.
struct DesktopPlace {
    QString screenId;    // the screen's stable id; empty when it has none
    int desktop = -1;    // index among the screen's desktops
    QString desktopName{}; // the window manager's name for it; may be empty
    QString desktopId{};   // the window manager's own lasting id for it (KWin's); empty where it has none

    bool operator==(const DesktopPlace&) const = default;
};

// A plain-data menu that views render as they like; the chosen item comes back by identifier.
struct MenuItem {
    enum class Kind { Action, Separator, Submenu };
    Kind kind = Kind::Action;
    QString identifier;
    QString text;
    bool destructive = false;
    QList<MenuItem> submenu;

    static MenuItem action(QString identifier, QString text, bool destructive = false) {
        return MenuItem{Kind::Action, std::move(identifier), std::move(text), destructive, {}};
    }
    static MenuItem separator() { return MenuItem{Kind::Separator, {}, {}, false, {}}; }
    static MenuItem submenuOf(QString text, QList<MenuItem> items) {
        return MenuItem{Kind::Submenu, {}, std::move(text), false, std::move(items)};
    }
    bool operator==(const MenuItem&) const = default;
};

// What a label shows. The view draws it; it never moves or resizes its window itself.
struct LabelPresentation {
    QString title;       // empty: the placeholder is shown instead
    QString placeholder; // "Click to name" / "Untitled"
    double fontSize = 64.0;
    bool showsBackgroundBand = false;
    bool hidesText = false; // the editor stands in for the label; the label keeps its size
    bool isUserOwned = false;

    bool operator==(const LabelPresentation&) const = default;
};

class LabelView {
public:
    virtual ~LabelView() = default;
    virtual void present(const LabelPresentation& presentation) = 0;

    std::function<void()> onClick;                 // a single click: begin editing
    std::function<void(QSizeF)> onSizeChange;      // the text's measured size (with its inset) changed
    std::function<QList<MenuItem>()> menuProvider; // asked when the context menu opens
    std::function<void(QString)> onMenuAction;     // identifier of the chosen item
};

class EditorView {
public:
    virtual ~EditorView() = default;
    // Sets the font, the initial text and the placeholder, and asks for keyboard focus.
    virtual void begin(double fontSize, const QString& initialDraft, const QString& placeholder) = 0;

    std::function<void(QString)> onDraftChange;
    std::function<void()> onCommit; // Return or leaving the field; a view commits at most once
    std::function<void()> onCancel; // Escape: the edit ends and nothing is stored; no commit follows
    std::function<void(QSizeF)> onSizeChange;
};

// A borderless window that never takes focus and belongs to the desktop that was active on its screen
// when it was first ordered front. It never follows the user to another desktop.
class Panel {
public:
    virtual ~Panel() = default;

    // Facts read from the window server now; they may lag a desktop switch.
    virtual bool isOnActiveSpace() const = 0; // "A"
    virtual bool isVisible() const = 0;       // "V": some part of it is on screen
    virtual std::optional<ScreenInfo> screen() const = 0;

    virtual QRectF frame() const = 0;
    virtual void setFrameOrigin(const QPointF& origin) = 0;
    virtual void setFrame(const QRectF& frame) = 0;
    // Animates towards `frame` (when given) and `alpha`; `completion` runs on the main queue afterwards.
    virtual void animate(const std::optional<QRectF>& frame, double alpha, double seconds,
                         std::function<void()> completion) = 0;
    virtual double alpha() const = 0;
    virtual void setAlpha(double alpha) = 0;
    virtual bool ignoresMouseEvents() const = 0;
    virtual void setIgnoresMouseEvents(bool ignores) = 0;
    virtual int level() const = 0;
    virtual void setLevel(int level) = 0;
    // Shows the window without activating the application; the first call binds it to the active desktop.
    virtual void orderFront() = 0;
    virtual void orderOut() = 0;
    virtual bool isKey() const { return false; }

    Signal<> moved;             // the frame origin changed (drags, relocations, programmatic moves)
    Signal<> visibilityChanged; // "V" may have changed
    Signal<> screenChanged;     // the window is now on another screen
    // The desktop the window belonged to no longer exists; the server may have moved it onto another
    // one, where it does not belong.
    Signal<> desktopRemoved;
};

class LabelPanel : public Panel {
public:
    virtual QUuid tagId() const = 0;
    virtual LabelView& view() = 0;
};

class EditorPanel : public Panel {
public:
    virtual EditorView& view() = 0;
    // Shows the editor and gives it the keyboard.
    virtual void makeKeyAndOrderFront() = 0;
};

class WindowServer {
public:
    virtual ~WindowServer() = default;

    virtual QList<ScreenInfo> screens() const = 0;
    // The screen of the active desktop (the one the user works on); none when no screen is attached.
    virtual std::optional<ScreenInfo> mainScreen() const = 0;
    virtual std::unique_ptr<LabelPanel> createLabelPanel(const QUuid& tagId) = 0;
    virtual std::unique_ptr<EditorPanel> createEditorPanel() = 0;
    virtual bool isLeftMouseButtonDown() const = 0;
    virtual bool isApplicationActive() const { return false; }

    // Places, for labels that come back on their own desktops after a restart. A backend that cannot
    // tell desktops apart keeps these defaults, and every launch starts each desktop fresh.
    // Where the panel sits now; none before it is first shown or while the server cannot tell.
    virtual std::optional<DesktopPlace> placeOf(const Panel&) const { return std::nullopt; }
    // The desktop the user works on: the main screen's active one.
    virtual std::optional<DesktopPlace> activePlace() const { return std::nullopt; }
    // Where a remembered place is today, or none when that desktop (or its screen) is gone.
    virtual std::optional<DesktopPlace> locate(const DesktopPlace&) const { return std::nullopt; }
    // Makes the panel's first orderFront put it on `place` instead of the active desktop.
    virtual void bindToPlace(Panel&, const DesktopPlace&) {}

    // Going to a desktop by its name. Asks the window manager to make `place` (as locate() gives it)
    // the active desktop, the way the desktop's own pager or switcher would. Empty when asked; else
    // why it cannot be. Never waits for the switch: activeDesktopChanged tells when it happened, and a
    // desktop that ignores the request never says so, so callers bound their wait.
    virtual QString switchTo(const DesktopPlace&) {
        return QStringLiteral("this desktop cannot be switched to from here");
    }

    // Desktop names, for pagers, panels and the window manager's switcher to show. A backend without
    // them keeps these defaults.
    // The window manager's names, in desktop order; there may be fewer names than desktops. An empty
    // entry among them is a desktop that is not there now (i3 and sway list workspaces by number).
    virtual QStringList desktopNames() const { return {}; }
    virtual bool canSetDesktopNames() const { return false; }
    virtual void setDesktopNames(const QStringList&) {}
    // Whether a written name someone replaced may be the window manager's doing (some rewrite every name
    // from their settings). Where only the user renames desktops, a replaced name is simply the user's.
    virtual bool mayRewriteDesktopNames() const { return true; }
    // Where a place's desktop sits in desktopNames(), or -1 when it has no entry there.
    virtual int desktopNameIndex(const DesktopPlace& place) const { return place.desktop; }
    // The name that shows `title` on a desktop the window manager calls `own`: the title itself, or
    // `own` where the desktop keeps its name.
    virtual QString desktopNameShowing(const QString& own, const QString& title) const {
        (void)own;
        return title;
    }

    // Delivered on the main queue. The active-desktop notification may come before the panels' facts
    // (on active desktop, visible) have caught up with the switch.
    Signal<> activeDesktopChanged;
    Signal<> screensChanged; // screens added, removed or rearranged; panels may have been moved
    Signal<> didWake;
    Signal<> desktopNamesChanged; // someone else changed the names; never for setDesktopNames itself
};

} // namespace sm

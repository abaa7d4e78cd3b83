#include "platform/widgets/LabelWindow.h"

#include "platform/widgets/LabelFont.h"

#include <QApplication>
#include <QBitmap>
#include <QContextMenuEvent>
#include <QGraphicsDropShadowEffect>
#include <QIcon>
#include <QImage>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QTimer>

namespace sm::widgets {

namespace {
const QColor kShadeColor(0, 0, 0, 178); // black at 70 %
constexpr double kShadowRadius = 6.0;
constexpr double kShadowOffsetY = 2.0;
// How far the opaque area reaches past the glyphs when there is no compositor: enough for the
// shadow's dark rim, which keeps white text readable on a light desktop.
constexpr double kMaskGrowth = 3.0;

QString shownText(const LabelPresentation& p) { return p.title.isEmpty() ? p.placeholder : p.title; }

void addItems(QMenu& menu, const QList<MenuItem>& items) {
    for (const auto& item : items) {
        switch (item.kind) {
        case MenuItem::Kind::Separator:
            menu.addSeparator();
            break;
        case MenuItem::Kind::Submenu:
            addItems(*menu.addMenu(item.text), item.submenu);
            break;
        case MenuItem::Kind::Action: {
            QAction* action = menu.addAction(item.text);
            action->setData(item.identifier);
            if (item.destructive) {
                action->setProperty("destructive", true);
                action->setIcon(QIcon::fromTheme(QStringLiteral("edit-delete")));
            }
            break;
        }
        }
    }
}
} // namespace

// The text alone, so that the drop shadow follows the glyphs and never the band.
class LabelText final : public QWidget {
public:
    explicit LabelText(QWidget* parent) : QWidget(parent) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        auto* shadow = new QGraphicsDropShadowEffect(this);
        shadow->setColor(kShadeColor);
        shadow->setBlurRadius(kShadowRadius);
        shadow->setOffset(0.0, kShadowOffsetY);
        setGraphicsEffect(shadow);
    }
    void setContent(const QString& text, const QFont& font) {
        text_ = text;
        font_ = font;
        update();
    }
    QPainterPath glyphs() const {
        QPainterPath path;
        path.addText(QPointF(0, QFontMetricsF(font_).ascent()), font_, text_);
        return path;
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.setFont(font_);
        painter.setPen(Qt::white);
        painter.drawText(QPointF(0, QFontMetricsF(font_).ascent()), text_);
    }

private:
    QString text_;
    QFont font_;
};

LabelWindow::LabelWindow() : PanelWindow(Qt::WindowDoesNotAcceptFocus) {
    setAttribute(Qt::WA_X11DoNotAcceptFocus);
    text_ = new LabelText(this);
    present(presentation_);
}

LabelWindow::~LabelWindow() = default;

bool LabelWindow::isTextShown() const { return !text_->isHidden(); }

void LabelWindow::present(const LabelPresentation& p) {
    const bool shapeChanges = p.title != presentation_.title || p.placeholder != presentation_.placeholder ||
                              p.fontSize != presentation_.fontSize ||
                              p.showsBackgroundBand != presentation_.showsBackgroundBand ||
                              p.hidesText != presentation_.hidesText;
    presentation_ = p;
    const QFont font = labelFont(p.fontSize);
    text_->setContent(shownText(p), font);
    // Hidden, not removed: the label keeps its size while the editor stands in for it.
    text_->setVisible(!p.hidesText);
    layoutText();
    update();
    if (shapeChanges && onOpaqueRegionChange) onOpaqueRegionChange();

    const QSizeF size = widgets::measuredSize(shownText(p), font);
    if (measured_ == size) return;
    measured_ = size;
    if (onSizeChange) onSizeChange(size);
}

void LabelWindow::layoutText() {
    const QSizeF size = textSize(shownText(presentation_), labelFont(presentation_.fontSize));
    QRect area(QPoint(), size.toSize());
    area.moveCenter(rect().center());
    text_->setGeometry(area);
}

QRegion LabelWindow::opaqueRegion() const {
    if (presentation_.showsBackgroundBand) return QRegion(rect());
    if (presentation_.hidesText || size().isEmpty()) return {};
    QImage image(size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.translate(text_->pos());
    const QPainterPath glyphs = text_->glyphs();
    painter.setPen(QPen(Qt::black, 2 * kMaskGrowth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::black);
    painter.drawPath(glyphs);
    painter.translate(0, kShadowOffsetY);
    painter.drawPath(glyphs);
    painter.end();
    return QRegion(QBitmap::fromImage(image.createAlphaMask()));
}

void LabelWindow::paintEvent(QPaintEvent*) {
    if (!presentation_.showsBackgroundBand) return;
    QPainter painter(this);
    painter.fillRect(rect(), kShadeColor);
}

void LabelWindow::resizeEvent(QResizeEvent* event) {
    PanelWindow::resizeEvent(event);
    layoutText();
    if (onOpaqueRegionChange) onOpaqueRegionChange();
}

void LabelWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return PanelWindow::mousePressEvent(event);
    pressGlobal_ = event->globalPosition().toPoint();
    pressOrigin_ = pos();
    dragging_ = false;
}

void LabelWindow::mouseMoveEvent(QMouseEvent* event) {
    if (!pressGlobal_ || !(event->buttons() & Qt::LeftButton)) return;
    const QPoint delta = event->globalPosition().toPoint() - *pressGlobal_;
    if (!dragging_ && delta.manhattanLength() < QApplication::startDragDistance()) return;
    if (!dragging_ && beginSystemMove()) { // the compositor takes the pointer until the drag ends
        pressGlobal_.reset();
        return;
    }
    // The background moves the window, as a borderless panel movable by its background does.
    dragging_ = true;
    move(pressOrigin_ + delta);
}

void LabelWindow::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !pressGlobal_) return PanelWindow::mouseReleaseEvent(event);
    const bool wasDrag = dragging_;
    pressGlobal_.reset();
    dragging_ = false;
    if (!wasDrag) deliver([this] {
        if (onClick) onClick();
    });
}

void LabelWindow::contextMenuEvent(QContextMenuEvent* event) {
    const auto menu = buildMenu();
    if (menu->isEmpty()) return;
    const QAction* chosen = menu->exec(event->globalPos());
    if (!chosen) return;
    const QString identifier = chosen->data().toString();
    if (identifier.isEmpty()) return;
    deliver([this, identifier] {
        if (onMenuAction) onMenuAction(identifier);
    });
}

std::unique_ptr<QMenu> LabelWindow::buildMenu() {
    auto menu = std::make_unique<QMenu>();
    if (menuProvider) addItems(*menu, menuProvider());
    return menu;
}

// Callbacks may delete this label's panel (a "Delete this label", say): they run after the event
// that caused them has unwound.
void LabelWindow::deliver(std::function<void()> call) { QTimer::singleShot(0, this, std::move(call)); }

} // namespace sm::widgets

#include "platform/widgets/LabelWindow.h"

#include "platform/widgets/LabelFont.h"

#include <QApplication>
#include <QBitmap>
#include <QContextMenuEvent>
#include <QEventLoop>
#include <QGraphicsDropShadowEffect>
#include <QIcon>
#include <QImage>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QTimer>
#include <QWindow>

#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

namespace sm::widgets {

namespace {
const QColor kShadeColor(0, 0, 0, 178); // black at 70 %
constexpr double kShadowRadius = 6.0;
constexpr int kShadowOffsetY = 2;
// How far the opaque area reaches past the glyphs when there is no compositor: enough for the
// shadow's dark rim, which keeps white text readable on a light desktop.
constexpr int kMaskGrowth = 3;

QString shownText(const LabelPresentation& p, const QFont& font) {
    return displayedText(p.title.isEmpty() ? p.placeholder : p.title, font);
}

// Every pixel within `grow` of a covered one, and of the same a `down` lower (the shadow): a square
// grown by shifting and or-ing rows of 64 pixels, so the cost follows the pixel count, a few
// operations per 64 pixels, and never the glyphs' outlines.
QRegion grownCoverage(const QImage& coverage, int width, int grow, int down) {
    static_assert(std::endian::native == std::endian::little, "pixel x is bit x of a row's words");
    using Word = std::uint64_t;
    const int h = coverage.height();
    const int words = coverage.width() / 64; // the coverage is drawn a whole number of words wide
    const auto at = [words](std::vector<Word>& rows, int y) {
        return &rows[static_cast<std::size_t>(y) * words];
    };
    std::vector<Word> wide(static_cast<std::size_t>(words) * static_cast<std::size_t>(h));
    std::vector<Word> bits(static_cast<std::size_t>(words) + 2); // one empty word on either side
    for (int y = 0; y < h; ++y) {
        const uchar* line = coverage.constScanLine(y);
        for (int i = 0; i < words; ++i) {
            Word packed = 0;
            for (int group = 0; group < 8; ++group) {
                // Eight alpha bytes at once: the top bit of each byte says "not zero", and the
                // multiplication gathers those eight bits into one byte, pixel order kept.
                Word v;
                std::memcpy(&v, line + (i * 8 + group) * 8, sizeof v);
                const Word nonZero =
                    (v | ((v & 0x7f7f7f7f7f7f7f7fULL) + 0x7f7f7f7f7f7f7f7fULL)) & 0x8080808080808080ULL;
                packed |= (((nonZero >> 7) * 0x0102040810204080ULL) >> 56) << (group * 8);
            }
            bits[static_cast<std::size_t>(i) + 1] = packed;
        }
        Word* out = at(wide, y);
        for (int i = 0; i < words; ++i) {
            const Word prev = bits[i], cur = bits[i + 1], next = bits[i + 2];
            Word grown = cur;
            for (int k = 1; k <= grow; ++k)
                grown |= cur << k | prev >> (64 - k) | cur >> k | next << (64 - k);
            out[i] = grown;
        }
    }
    // A row is opaque where some row from `grow + down` above to `grow` below is wide-covered.
    QImage mask(width, h, QImage::Format_MonoLSB);
    mask.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)}); // 1 is color1: inside the region
    std::vector<Word> row(static_cast<std::size_t>(words));
    for (int y = 0; y < h; ++y) {
        std::fill(row.begin(), row.end(), 0);
        for (int r = std::max(0, y - grow - down); r <= std::min(h - 1, y + grow); ++r) {
            const Word* in = at(wide, r);
            for (int i = 0; i < words; ++i)
                row[i] |= in[i];
        }
        std::memcpy(mask.scanLine(y), row.data(), static_cast<std::size_t>(mask.bytesPerLine()));
    }
    return QRegion(QBitmap::fromImage(mask));
}

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
    // Where the glyphs cover when the text sits at `at`. Without antialiasing: the edge pixels it would
    // add lie well inside the grown shape, and plain glyphs draw faster.
    void drawCoverage(QPainter& painter, QPoint at) const {
        QFont plain = font_;
        plain.setStyleStrategy(QFont::NoAntialias);
        painter.setFont(plain);
        painter.setPen(Qt::black);
        painter.drawText(QPointF(at) + QPointF(0, QFontMetricsF(font_).ascent()), text_);
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
    const QString text = shownText(p, font);
    text_->setContent(text, font);
    // Hidden, not removed: the label keeps its size while the editor stands in for it.
    text_->setVisible(!p.hidesText);
    layoutText();
    update();
    if (shapeChanges && onOpaqueRegionChange) onOpaqueRegionChange();

    const QSizeF size = widgets::measuredSize(text, font);
    if (measured_ == size) return;
    measured_ = size;
    if (onSizeChange) onSizeChange(size);
}

QRect LabelWindow::textArea() const {
    const QFont font = labelFont(presentation_.fontSize);
    QRect area(QPoint(), textSize(shownText(presentation_, font), font).toSize());
    area.moveCenter(rect().center());
    return area;
}

void LabelWindow::layoutText() {
    text_->setGeometry(textArea());
}

QRegion LabelWindow::opaqueRegion() const {
    if (presentation_.showsBackgroundBand) return QRegion(rect());
    if (presentation_.hidesText || size().isEmpty()) return {};
    QImage coverage((width() + 63) / 64 * 64, height(), QImage::Format_Alpha8);
    coverage.fill(0);
    QPainter painter(&coverage);
    // Where the text goes in the window's current size: a hidden window hears of a resize only once shown.
    text_->drawCoverage(painter, textArea().topLeft());
    painter.end();
    return grownCoverage(coverage, width(), kMaskGrowth, kShadowOffsetY);
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
    dragTarget_.reset();
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
    dragTarget_ = pressOrigin_ + delta;
    move(*dragTarget_);
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

namespace {
// Qt lets go of a window that lost the keyboard a moment after the loss (100 ms on X11, in case
// another of its windows takes it), and closes every open menu as it lets go: a menu opened on a
// label just after its editor closed (Return, a desktop switch) vanished at once. While a hidden
// window still counts as focused, the menu waits for that moment.
void waitForAHiddenWindowsFocusToGo() {
    const QWindow* focused = QGuiApplication::focusWindow();
    if (!focused || focused->isVisible()) return;
    QEventLoop loop;
    QObject::connect(qApp, &QGuiApplication::focusWindowChanged, &loop, &QEventLoop::quit);
    QTimer::singleShot(1000, &loop, &QEventLoop::quit);
    loop.exec();
}
} // namespace

void LabelWindow::contextMenuEvent(QContextMenuEvent* event) {
    static bool waiting = false; // a second right click while the first menu waits is the same wish
    if (waiting) return;
    const QPoint at = event->globalPos();
    QPointer<LabelWindow> self(this);
    waiting = true;
    waitForAHiddenWindowsFocusToGo();
    waiting = false;
    if (!self) return;
    const auto menu = buildMenu();
    if (menu->isEmpty()) return;
    const QAction* chosen = menu->exec(at);
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
void LabelWindow::dropCallbacks() {
    PanelWindow::dropCallbacks();
    onOpaqueRegionChange = nullptr;
    onClick = nullptr;
    onSizeChange = nullptr;
    menuProvider = nullptr;
    onMenuAction = nullptr;
}

void LabelWindow::deliver(std::function<void()> call) { QTimer::singleShot(0, this, std::move(call)); }

} // namespace sm::widgets

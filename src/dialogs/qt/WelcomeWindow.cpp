#include "dialogs/qt/WelcomeWindow.h"

#include "dialogs/qt/FormWidgets.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace sm {

namespace {
constexpr int kWidth = 460;
constexpr int kIconSize = 32;
// The power symbol (a broken ring and a bar) in the text colour, for desktops without an icon theme.
QIcon powerSymbol(const QColor& color) {
    QPixmap pixmap(kIconSize, kIconSize);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(color, 3, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(5, 6, 22, 22), 125 * 16, -250 * 16);
    p.drawLine(QPointF(16, 3), QPointF(16, 15));
    return QIcon(pixmap);
}

} // namespace

WelcomeWindow::WelcomeWindow(bool trayShown, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("welcome"));
    setWindowTitle(QCoreApplication::translate("WelcomeWindow", "Welcome"));
    // Titled and closable, nothing more: there is nothing to resize or minimise.
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(12);
    layout->setContentsMargins(24, 20, 24, 16);

    auto* title = new QLabel(QCoreApplication::translate("WelcomeWindow", "Welcome to Spacemarquee"));
    QFont big = title->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.6);
    title->setFont(big);
    title->setAlignment(Qt::AlignHCenter);
    layout->addWidget(title);
    auto* subtitle =
        new HelpLabel(QCoreApplication::translate("WelcomeWindow", "Every desktop gets a name."));
    QFont larger = font();
    larger.setPointSizeF(larger.pointSizeF() * 1.15);
    subtitle->setFont(larger);
    subtitle->setAlignment(Qt::AlignHCenter);
    layout->addWidget(subtitle);

    struct Line {
        const char* icon;
        QStyle::StandardPixmap fallback;
        QString text;
    };
    const Line lines[] = {
        {"preferences-desktop-display", QStyle::SP_ComputerIcon,
         QCoreApplication::translate(
             "WelcomeWindow",
             "A floating name label appears on each desktop (workspace) a few seconds after you "
             "first visit it.")},
        {"input-mouse", QStyle::SP_ArrowForward,
         QCoreApplication::translate(
             "WelcomeWindow",
             "Click a label to name it. Drag it to move it. Right-click it for more options.")},
        {nullptr, QStyle::SP_ComputerIcon, // the program's own icon, as the tray shows it
         trayShown
             ? QCoreApplication::translate(
                   "WelcomeWindow", "Spacemarquee lives in your system tray — there is no taskbar entry and "
                                    "no main window.")
             : QCoreApplication::translate(
                   "WelcomeWindow", "No system tray was found on this desktop, and there is no taskbar entry "
                                    "or main window. To open Preferences, start Spacemarquee again (from "
                                    "your applications menu or a launcher) or run: spacemarquee "
                                    "preferences")},
        {"system-shutdown", QStyle::SP_CustomBase, // drawn below: no stock picture means "power"
         QCoreApplication::translate(
             "WelcomeWindow", "It opens at login so your names are always there. You can change that in "
                              "Preferences.")},
    };
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(14);
    grid->setVerticalSpacing(10);
    grid->setColumnStretch(1, 1);
    int row = 0;
    for (const auto& line : lines) {
        auto* icon = new QLabel;
        const QIcon fallback = line.fallback == QStyle::SP_CustomBase
                                   ? powerSymbol(palette().color(QPalette::WindowText))
                                   : style()->standardIcon(line.fallback);
        const QIcon picture = line.icon ? QIcon::fromTheme(QLatin1String(line.icon), fallback)
                              : QApplication::windowIcon().isNull() ? fallback
                                                                    : QApplication::windowIcon();
        icon->setPixmap(picture.pixmap(kIconSize, kIconSize));
        icon->setAlignment(Qt::AlignTop);
        auto* text = new QLabel(line.text);
        text->setWordWrap(true);
        grid->addWidget(icon, row, 0);
        grid->addWidget(text, row, 1);
        ++row;
    }
    layout->addLayout(grid);

    auto* buttons = new QDialogButtonBox;
    QPushButton* start = buttons->addButton(QCoreApplication::translate("WelcomeWindow", "Get Started"),
                                            QDialogButtonBox::AcceptRole);
    start->setObjectName(QStringLiteral("getStarted"));
    start->setDefault(true);
    buttons->setCenterButtons(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
    // A fixed size: its text wraps at one width, and a window manager offers no maximise for it.
    setFixedSize(kWidth, layout->totalHeightForWidth(kWidth));
}

} // namespace sm

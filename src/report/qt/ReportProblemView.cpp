#include "report/qt/ReportProblemView.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace sm {

namespace {

// The platform's callout and caption sizes, relative to the user's chosen font.
QFont scaled(const QFont& base, double points, bool bold = false) {
    QFont font = base;
    if (font.pointSizeF() > 0) font.setPointSizeF(std::max(7.0, font.pointSizeF() + points));
    font.setBold(bold);
    return font;
}

QString rgba(QColor color, double alpha) {
    return QStringLiteral("rgba(%1, %2, %3, %4)")
        .arg(color.red())
        .arg(color.green())
        .arg(color.blue())
        .arg(static_cast<int>(alpha * 255));
}

QLabel* wrapped(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    return label;
}

} // namespace

ReportProblemView::ReportProblemView(bool logAvailable, Callbacks callbacks, std::shared_ptr<MainQueue> queue,
                                     QUrl supportPage, QWidget* parent)
    : QWidget(parent), logAvailable_(logAvailable), callbacks_(std::move(callbacks)),
      queue_(std::move(queue)), supportPage_(std::move(supportPage)) {
    setObjectName(QStringLiteral("reportProblemView"));
    setFixedWidth(440);
    const QColor text = palette().color(QPalette::WindowText);
    const QString secondary = QStringLiteral("color: %1;").arg(rgba(text, 0.6));

    auto* heading = new QLabel(QCoreApplication::translate("ReportProblemView", "Report a problem"), this);
    heading->setFont(scaled(font(), 0, true));
    auto* explanation =
        wrapped(QCoreApplication::translate("ReportProblemView",
                                            "Describe what went wrong. The report goes to the developer and "
                                            "includes the app version and your operating system's version."),
                this);
    explanation->setFont(scaled(font(), -1));
    explanation->setStyleSheet(secondary);

    email_ = new QLineEdit(this);
    email_->setObjectName(QStringLiteral("email"));
    email_->setPlaceholderText(
        QCoreApplication::translate("ReportProblemView", "Your email (optional, for a reply)"));

    note_ = new QPlainTextEdit(this);
    note_->setObjectName(QStringLiteral("note"));
    note_->setPlaceholderText(QCoreApplication::translate("ReportProblemView", "What happened?"));
    note_->setFixedHeight(90);
    note_->setTabChangesFocus(true);
    note_->setStyleSheet(
        QStringLiteral("QPlainTextEdit { border: 1px solid %1; border-radius: 6px; padding: 4px; }")
            .arg(rgba(text, 0.6 * 0.3)));

    includeLog_ =
        new QCheckBox(QCoreApplication::translate("ReportProblemView", "Include the diagnostics log"), this);
    includeLog_->setObjectName(QStringLiteral("includeLog"));
    includeLog_->setChecked(logAvailable_);
    includeLog_->setEnabled(logAvailable_);
    auto* caption = wrapped(
        logAvailable_
            ? QCoreApplication::translate(
                  "ReportProblemView",
                  "The log helps a lot. It contains the app's activity, the desktop names you typed and — "
                  "if you use Guess desktop name — window titles it read. Nothing is sent until you "
                  "press Send.")
            : QCoreApplication::translate(
                  "ReportProblemView",
                  "No diagnostics log on this computer yet. Enable it in Preferences → Advanced to make "
                  "future reports much more useful."),
        this);
    caption->setObjectName(QStringLiteral("logCaption"));
    caption->setFont(scaled(font(), -2));
    caption->setStyleSheet(secondary);

    status_ = wrapped(QString(), this);
    status_->setObjectName(QStringLiteral("status"));
    status_->setTextFormat(Qt::RichText);
    status_->setOpenExternalLinks(true);
    saveNotice_ = wrapped(QString(), this);
    saveNotice_->setObjectName(QStringLiteral("saveNotice"));
    saveNotice_->setFont(scaled(font(), -2));
    saveNotice_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    save_ = new QPushButton(QCoreApplication::translate("ReportProblemView", "Save report…"), this);
    save_->setObjectName(QStringLiteral("save"));
    save_->setAutoDefault(false);
    save_->setToolTip(QCoreApplication::translate(
        "ReportProblemView", "Writes the same report to a file you can attach to a bug report anywhere."));
    cancel_ = new QPushButton(QCoreApplication::translate("ReportProblemView", "Cancel"), this);
    cancel_->setObjectName(QStringLiteral("cancel"));
    cancel_->setAutoDefault(false);
    send_ = new QPushButton(QCoreApplication::translate("ReportProblemView", "Send"), this);
    send_->setObjectName(QStringLiteral("send"));
    send_->setDefault(true);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(save_);
    buttons->addStretch();
    buttons->addWidget(cancel_);
    buttons->addWidget(send_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(10);
    for (QWidget* w : std::initializer_list<QWidget*>{heading, explanation, email_, note_, includeLog_})
        layout->addWidget(w);
    layout->addSpacing(-6); // the caption belongs to the switch above it
    layout->addWidget(caption);
    layout->addWidget(status_);
    layout->addWidget(saveNotice_);
    layout->addLayout(buttons);

    if (!callbacks_.onSend) {
        // Nowhere to send to: saving is the action, and the window says what the file is for.
        send_->hide();
        save_->setDefault(true);
        explanation->setText(QCoreApplication::translate(
            "ReportProblemView",
            "Describe what went wrong. This copy of Spacemarquee has no address to send reports to: save "
            "the report to a file and attach it to a bug report or an e-mail to the developer. It "
            "includes the app version and your operating system's version."));
        if (logAvailable_)
            caption->setText(QCoreApplication::translate(
                "ReportProblemView",
                "The log helps a lot. It contains the app's activity, the desktop names you typed and — if "
                "you use Guess desktop name — window titles it read. Nothing leaves this computer unless "
                "you pass the file on."));
    }
    connect(note_, &QPlainTextEdit::textChanged, this, [this] { render(); });
    connect(send_, &QPushButton::clicked, this, [this] { send(); });
    connect(cancel_, &QPushButton::clicked, this, [this] { cancel(); });
    connect(save_, &QPushButton::clicked, this, [this] { save(); });
    render();
}

ReportProblemView::~ReportProblemView() {
    if (closeLater_) closeLater_->cancel();
}

void ReportProblemView::send() {
    if (!send_->isEnabled() || !callbacks_.onSend) return;
    setPhase({Phase::Kind::sending, {}});
    saveNotice_->clear();
    saveNotice_->hide();
    if (!callbacks_.onSend) {
        setPhase({Phase::Kind::failed,
                  QCoreApplication::translate("ReportProblemView", "sending is not available")});
        return;
    }
    // The view may be gone (closed, shown afresh) or cancelled when the answer arrives: then the
    // answer is dropped.
    QPointer<ReportProblemView> self(this);
    const quint64 generation = ++sendGeneration_;
    auto task = callbacks_.onSend(email_->text(), note_->toPlainText(), includeLog_->isChecked(),
                                  [self, generation](const ReportSubmission::SendResult& result) {
                                      if (!self || self->sendGeneration_ != generation) return;
                                      self->sendTask_ = {};
                                      if (!result.sent) {
                                          self->setPhase({Phase::Kind::failed, result.failure});
                                          return;
                                      }
                                      self->setPhase({Phase::Kind::sent, {}});
                                      self->closeLater_ = self->queue_->after(kCloseAfterSentSeconds, [self] {
                                          if (self && self->callbacks_.onClose) self->callbacks_.onClose();
                                      });
                                  });
    if (phase_.kind == Phase::Kind::sending && sendGeneration_ == generation) sendTask_ = std::move(task);
}

void ReportProblemView::cancel() {
    ++sendGeneration_;
    if (auto task = std::exchange(sendTask_, {})) task();
    if (closeLater_) closeLater_->cancel();
    if (callbacks_.onClose) callbacks_.onClose();
}

void ReportProblemView::save() {
    if (!save_->isEnabled() || !callbacks_.onSave) return;
    const auto outcome = callbacks_.onSave(email_->text(), note_->toPlainText(), includeLog_->isChecked());
    if (!outcome) return;
    saveNotice_->setText(
        outcome->saved
            ? QCoreApplication::translate("ReportProblemView", "Report saved to %1 (readable only by you).")
                  .arg(outcome->pathOrError)
            : QCoreApplication::translate("ReportProblemView", "Could not save the report (%1).")
                  .arg(outcome->pathOrError));
    saveNotice_->setStyleSheet(outcome->saved ? QString() : QStringLiteral("color: #c0392b;"));
    saveNotice_->show();
}

void ReportProblemView::setPhase(Phase phase) {
    phase_ = std::move(phase);
    render();
}

void ReportProblemView::render() {
    const bool busy = phase_.kind == Phase::Kind::sending || phase_.kind == Phase::Kind::sent;
    const bool described = !note_->toPlainText().trimmed().isEmpty();
    send_->setText(phase_.kind == Phase::Kind::sending
                       ? QCoreApplication::translate("ReportProblemView", "Sending…")
                       : QCoreApplication::translate("ReportProblemView", "Send"));
    send_->setEnabled(!busy && described);
    save_->setEnabled(!busy && described);
    saveNotice_->setVisible(!saveNotice_->text().isEmpty());

    switch (phase_.kind) {
    case Phase::Kind::sent:
        status_->setFont(scaled(font(), -1, true));
        status_->setStyleSheet(QStringLiteral("color: #1e8e3e;"));
        status_->setText(QCoreApplication::translate("ReportProblemView", "Sent — thank you!"));
        break;
    case Phase::Kind::failed: {
        const QString page = supportPage_.toString(QUrl::FullyEncoded).toHtmlEscaped();
        status_->setFont(scaled(font(), -2));
        status_->setStyleSheet(QStringLiteral("color: #c0392b;"));
        status_->setText(
            QCoreApplication::translate(
                "ReportProblemView", "Could not send (%1). Please try again, or use the support form at %2.")
                .arg(phase_.failure.toHtmlEscaped(), QStringLiteral("<a href=\"%1\">%1</a>").arg(page)));
        break;
    }
    default:
        status_->clear();
        break;
    }
    status_->setVisible(!status_->text().isEmpty());
}

} // namespace sm

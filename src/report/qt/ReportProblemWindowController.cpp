#include "report/qt/ReportProblemWindowController.h"

#include "logging/TraceFormat.h"
#include "platform/widgets/FrontWindow.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDateTime>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QLocale>
#include <QScreen>
#include <QVBoxLayout>

namespace sm {

// Escape and the title bar's close button both act as the view's Cancel.
class ReportProblemWindowController::Window final : public QDialog {
public:
    std::function<void()> onReject;

    void reject() override {
        if (onReject) onReject();
        QDialog::reject();
    }
};

ReportProblemWindowController::ReportProblemWindowController(Options options)
    : options_(std::move(options)), window_(std::make_unique<Window>()) {
    window_->setWindowTitle(QCoreApplication::translate("ReportProblemWindowController", "Report a Problem"));
    window_->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                            Qt::WindowCloseButtonHint);
    window_->setModal(false);
    auto* layout = new QVBoxLayout(window_.get());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSizeConstraint(QLayout::SetFixedSize); // takes the view's size; not resizable
    window_->onReject = [this] {
        if (view_) view_->cancel();
    };
    if (!options_.chooseSavePath)
        options_.chooseSavePath = [](QWidget* parent, const QString& suggested) {
            return QFileDialog::getSaveFileName(
                parent, QCoreApplication::translate("ReportProblemWindowController", "Save Report"),
                suggested,
                QCoreApplication::translate("ReportProblemWindowController", "JSON documents (*.json)"));
        };
}

ReportProblemWindowController::~ReportProblemWindowController() = default;

QDialog* ReportProblemWindowController::window() const {
    return window_.get();
}

void ReportProblemWindowController::show() {
    // A report on its way keeps its window: a fresh view would drop the send without cancelling it.
    if (view_ && view_->phase().kind == ReportProblemView::Phase::Kind::sending && window_->isVisible()) {
        widgets::bringToFront(window_.get());
        return;
    }
    const bool logAvailable = options_.traceLogFiles && !options_.traceLogFiles().isEmpty();
    const std::weak_ptr<ReportSubmission> submission = options_.submission;
    QPointer<QDialog> window(window_.get());

    ReportProblemView::Callbacks callbacks;
    callbacks.onSend = [submission](QString email, QString note, bool includeLog,
                                    ReportSubmission::Completion done) -> ReportSubmission::Cancel {
        if (auto s = submission.lock()) return s->send(email, note, includeLog, std::move(done));
        done(ReportSubmission::SendResult::failed(
            QCoreApplication::translate("ReportProblemWindowController", "the program is shutting down")));
        return [] {};
    };
    if (options_.submission && !options_.submission->canSend()) callbacks.onSend = nullptr;
    callbacks.onSave = [submission, window, choose = options_.chooseSavePath](
                           QString email, QString note,
                           bool includeLog) -> std::optional<ReportProblemView::SaveOutcome> {
        auto s = submission.lock();
        if (!s) return std::nullopt;
        const QString suggested = QDir::home().filePath(
            QStringLiteral("spacemarquee-report-%1.json")
                .arg(QLocale::c().toString(QDateTime::currentDateTime(), QStringLiteral("yyyyMMdd-HHmmss"))));
        const QString path = choose(window.data(), suggested);
        if (path.isEmpty()) return std::nullopt;
        QString error;
        if (!s->save(path, email, note, includeLog, &error))
            return ReportProblemView::SaveOutcome{false, error};
        return ReportProblemView::SaveOutcome{true, QDir::toNativeSeparators(path)};
    };
    callbacks.onClose = [window] {
        if (window) window->hide();
    };

    delete view_.data();
    view_ = new ReportProblemView(logAvailable, std::move(callbacks), options_.queue, options_.supportPage,
                                  window_.get());
    window_->layout()->addWidget(view_);
    window_->adjustSize();

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        window_->move(screen->availableGeometry().center() - window_->rect().center());
    widgets::bringToFront(window_.get());
    SM_TRACE(options_.logger,
             QStringLiteral("problemReport SHOWN logAvailable=") + tracefmt::boolean(logAvailable));
}

} // namespace sm

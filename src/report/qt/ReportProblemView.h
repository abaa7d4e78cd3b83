#pragma once

#include "report/ReportSubmission.h"
#include "platform/MainQueue.h"

#include <QUrl>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace sm {

// The problem report's content: e-mail, description, the log switch, the outcome of the last send
// and the buttons. One view per showing of the window, so every showing starts empty.
class ReportProblemView final : public QWidget {
public:
    struct Phase {
        enum class Kind { idle, sending, sent, failed };
        Kind kind = Kind::idle;
        QString failure;
        bool operator==(const Phase&) const = default;
    };
    // Where the report went, or why it could not be written.
    struct SaveOutcome {
        bool saved = false;
        QString pathOrError;
    };

    struct Callbacks {
        std::function<ReportSubmission::Cancel(QString email, QString note, bool includeLog,
                                               ReportSubmission::Completion done)>
            onSend;
        // None when the user dismissed the file chooser.
        std::function<std::optional<SaveOutcome>(QString email, QString note, bool includeLog)> onSave;
        std::function<void()> onClose;
    };

    static constexpr double kCloseAfterSentSeconds = 1.2;

    ReportProblemView(bool logAvailable, Callbacks callbacks, std::shared_ptr<MainQueue> queue,
                      QUrl supportPage, QWidget* parent = nullptr);
    ~ReportProblemView() override;

    Phase phase() const { return phase_; }
    void send();
    // Stops a running send and closes the window.
    void cancel();
    void save();

private:
    void setPhase(Phase phase);
    void render();

    const bool logAvailable_;
    Callbacks callbacks_;
    std::shared_ptr<MainQueue> queue_;
    QUrl supportPage_;
    Phase phase_;
    ReportSubmission::Cancel sendTask_;
    quint64 sendGeneration_ = 0;
    WorkHandle closeLater_;

    QLineEdit* email_;
    QPlainTextEdit* note_;
    QCheckBox* includeLog_;
    QLabel* status_;
    QLabel* saveNotice_;
    QPushButton* save_;
    QPushButton* cancel_;
    QPushButton* send_;
};

} // namespace sm

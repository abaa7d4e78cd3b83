#pragma once

#include "logging/Logger.h"
#include "report/ReportSubmission.h"
#include "report/qt/ReportProblemView.h"

#include <QPointer>

#include <memory>

class QDialog;

namespace sm {

// The "Report a Problem" window: made once, kept for the life of the program, given a fresh view
// at every showing.
class ReportProblemWindowController {
public:
    struct Options {
        std::shared_ptr<ReportSubmission> submission;
        std::function<QStringList()> traceLogFiles;
        std::shared_ptr<MainQueue> queue;
        Logger logger; // the app logger
        QUrl supportPage;
        // Asks where to save the report; empty when the user changed their mind.
        std::function<QString(QWidget* parent, const QString& suggestedPath)> chooseSavePath;
    };

    explicit ReportProblemWindowController(Options options);
    ~ReportProblemWindowController();

    void show();
    QDialog* window() const;
    ReportProblemView* view() const { return view_; }

private:
    class Window;

    Options options_;
    std::unique_ptr<Window> window_;
    QPointer<ReportProblemView> view_;
};

} // namespace sm

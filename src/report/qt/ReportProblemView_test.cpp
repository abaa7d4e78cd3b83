#include "report/qt/ReportProblemWindowController.h"
#include "support/sim/ManualMainQueue.h"
#include "support/TestLoggers.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextDocumentFragment>

#include <gtest/gtest.h>

using namespace sm;
using Kind = ReportProblemView::Phase::Kind;
using ProblemReporter::SendResult;

namespace {

template <class T> T* child(QWidget* view, const char* name) {
    return view->findChild<T*>(QString::fromLatin1(name));
}
QString shown(QWidget* view, const char* name) {
    auto* label = child<QLabel>(view, name);
    return label->isVisibleTo(view) ? QTextDocumentFragment::fromHtml(label->text()).toPlainText()
                                    : QString();
}

struct ReportViewTest : ::testing::Test {
    std::shared_ptr<ManualMainQueue> queue = std::make_shared<ManualMainQueue>();
    struct Call {
        QString email, note;
        bool includeLog;
        ReportSubmission::Completion done;
    };
    std::vector<Call> sends;
    int cancels = 0;
    int closes = 0;

    std::unique_ptr<ReportProblemView> make(bool logAvailable) {
        ReportProblemView::Callbacks callbacks;
        callbacks.onSend = [this](QString email, QString note, bool log, ReportSubmission::Completion done) {
            sends.push_back({email, note, log, std::move(done)});
            return ReportSubmission::Cancel([this] { ++cancels; });
        };
        callbacks.onClose = [this] { ++closes; };
        return std::make_unique<ReportProblemView>(
            logAvailable, callbacks, queue, QUrl("https://spacemarquee.example/spacemarquee/support/"));
    }

    // The window as the program makes it, sending to `endpoint` through a transport that counts the sends
    // and the cancels and never answers.
    std::unique_ptr<ReportProblemWindowController> controller(const char* endpoint,
                                                              const QString& savePath = {}) {
        auto submission = std::make_shared<ReportSubmission>(ReportSubmission::Options{
            "1.0", "1", "Debian", QUrl(endpoint), [] { return QStringList{}; }, queue, loggers.loggers.app,
            [this](const auto&, auto) -> ReportSubmission::Cancel {
                ++transported;
                return [this] { ++cancelled; };
            }});
        return std::make_unique<ReportProblemWindowController>(ReportProblemWindowController::Options{
            submission, [] { return QStringList{}; }, queue, loggers.loggers.app,
            QUrl("https://spacemarquee.example/spacemarquee/support/"),
            [savePath](QWidget*, const QString&) { return savePath; }});
    }
    test::TestLoggers loggers;
    int transported = 0, cancelled = 0;
};

TEST_F(ReportViewTest, SendNeedsADescriptionAndFailureKeepsTheFieldsAndOffersAnotherTry) {
    auto view = make(true);
    EXPECT_TRUE(child<QCheckBox>(view.get(), "includeLog")->isChecked());
    auto* send = child<QPushButton>(view.get(), "send");
    auto* note = child<QPlainTextEdit>(view.get(), "note");
    for (const auto& [text, enabled] : std::vector<std::pair<QString, bool>>{
             {"", false}, {" \n\t\u2028 ", false}, {" x ", true}, {"Label vanished", true}}) {
        note->setPlainText(text);
        EXPECT_EQ(send->isEnabled(), enabled) << text.toStdString();
    }
    child<QLineEdit>(view.get(), "email")->setText(" me@example.org");
    child<QCheckBox>(view.get(), "includeLog")->setChecked(false);

    view->send();
    ASSERT_EQ(sends.size(), 1u);
    EXPECT_EQ(sends[0].email, " me@example.org");
    EXPECT_EQ(sends[0].note, "Label vanished");
    EXPECT_FALSE(sends[0].includeLog);
    EXPECT_EQ(send->text(), "Sending…");
    EXPECT_FALSE(send->isEnabled());

    sends[0].done(SendResult::failed("HTTP 204"));
    EXPECT_EQ(shown(view.get(), "status"),
              "Could not send (HTTP 204). Please try again, or use the support form at "
              "https://spacemarquee.example/spacemarquee/support/.");
    EXPECT_TRUE(send->isEnabled());
    EXPECT_EQ(send->text(), "Send");
    EXPECT_EQ(note->toPlainText(), "Label vanished");

    view->send();
    ASSERT_EQ(sends.size(), 2u);
    sends[1].done(SendResult::ok());
    EXPECT_EQ(shown(view.get(), "status"), "Sent — thank you!");
    EXPECT_FALSE(send->isEnabled());
    queue->advance(1.1);
    EXPECT_EQ(closes, 0);
    queue->advance(0.1);
    EXPECT_EQ(closes, 1);
}

TEST_F(ReportViewTest, CancelWhileSendingClosesAtOnceAndIgnoresTheLateAnswer) {
    auto view = make(false);
    child<QPlainTextEdit>(view.get(), "note")->setPlainText("x");
    view->send();
    child<QPushButton>(view.get(), "cancel")->click();
    EXPECT_EQ(cancels, 1);
    EXPECT_EQ(closes, 1);
    sends[0].done(SendResult::ok());
    queue->advance(5);
    EXPECT_EQ(view->phase().kind, Kind::sending);
    EXPECT_EQ(closes, 1);
}

TEST_F(ReportViewTest, WindowStartsAfreshAtEachShowingAndSavesTheReportOwnerOnly) {
    QTemporaryDir dir;
    const QString path = dir.filePath("report.json");
    const auto window = controller("https://spacemarquee.example/spacemarquee/diagnostics", path);
    window->show();
    EXPECT_EQ(window->window()->windowTitle(), "Report a Problem");
    EXPECT_EQ(loggers.log->traces(), QStringList{"problemReport SHOWN logAvailable=false"});
    auto* toggle = child<QCheckBox>(window->view(), "includeLog");
    EXPECT_FALSE(toggle->isChecked() || toggle->isEnabled());
    EXPECT_TRUE(shown(window->view(), "logCaption").startsWith("No diagnostics log on this computer yet."));

    QWidget* view = window->view();
    child<QPlainTextEdit>(view, "note")->setPlainText("Typed before saving");
    child<QPushButton>(view, "save")->click();
    EXPECT_EQ(shown(view, "saveNotice"), "Report saved to " + path + " (readable only by you).");

    window->window()->reject(); // Escape or the close button
    EXPECT_FALSE(window->window()->isVisible());
    window->show();
    EXPECT_TRUE(child<QPlainTextEdit>(window->view(), "note")->toPlainText().isEmpty());
    EXPECT_EQ(window->window()->findChildren<QWidget*>("reportProblemView").size(), 1);
}

TEST_F(ReportViewTest, ShowingAgainWhileSendingKeepsTheSameViewSending) {
    const auto window = controller("https://reports.test/spacemarquee/diagnostics");
    window->show();
    QWidget* first = window->view();
    child<QPlainTextEdit>(first, "note")->setPlainText("It froze");
    child<QPushButton>(first, "send")->click();
    ASSERT_EQ(window->view()->phase().kind, Kind::sending);
    window->show(); // "Report a Problem…" chosen again
    EXPECT_EQ(window->view(), first);
    EXPECT_EQ(window->view()->phase().kind, Kind::sending);
    EXPECT_EQ(transported, 1);
    EXPECT_EQ(cancelled, 0);
}

TEST_F(ReportViewTest, WithoutARealEndpointSavingIsTheActionAndTheWindowSaysWhatTheFileIsFor) {
    const std::pair<const char*, bool> cases[] = {
        {"https://spacemarquee.example/spacemarquee/diagnostics", false}, // the build's default
        {"https://example/diagnostics", false},
        {"https://reports.spacemarquee.org/diagnostics", true},
    };
    for (const auto& [endpoint, canSend] : cases) {
        transported = 0;
        const auto window = controller(endpoint);
        window->show();
        QWidget* view = window->view();
        auto* send = child<QPushButton>(view, "send");
        auto* save = child<QPushButton>(view, "save");
        child<QPlainTextEdit>(view, "note")->setPlainText("It froze");
        EXPECT_EQ(send->isVisibleTo(view), canSend) << endpoint;
        EXPECT_EQ(save->isDefault(), !canSend) << endpoint;
        QString text;
        for (const QLabel* label : view->findChildren<QLabel*>())
            text += label->text();
        EXPECT_EQ(text.contains("attach it to a bug report"), !canSend) << endpoint;
        window->view()->send(); // Return in the window
        EXPECT_EQ(transported, canSend ? 1 : 0) << endpoint;
    }
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

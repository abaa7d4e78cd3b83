#include "report/ReportSubmission.h"
#include "support/sim/ManualMainQueue.h"
#include "support/TestLoggers.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace sm;
namespace PR = sm::ProblemReporter;

namespace {

QTemporaryDir tmp;

QString write(const QString& name, const QByteArray& bytes) {
    QFile f(QDir(tmp.path()).filePath(name));
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    return f.fileName();
}

QStringList headers(const QString& log) {
    QStringList out;
    for (const auto& m :
         QRegularExpression("^===== (.*) =====$", QRegularExpression::MultilineOption).globalMatch(log))
        out << m.captured(1);
    return out;
}

QJsonObject body(const QString& note, const QString& email, const QString& log = {}) {
    PR::ReportFields fields;
    fields.note = note;
    fields.email = email;
    fields.log = log;
    return QJsonDocument::fromJson(PR::makeReportBody(fields)).object();
}

TEST(ProblemReporter, LogBudgetTakesTheCurrentFileAlwaysAndLaterFilesOnlyWhileTheyFit) {
    const struct {
        std::vector<int> sizes; // current, then rotated newest first
        QStringList expected;
    } cases[] = {
        {{}, {}},
        {{2'000'000, 10}, {"a.log"}},
        {{1'400'000, 300'000, 50'000}, {"a.log", "c.log"}},
    };
    for (const auto& c : cases) {
        QStringList files;
        for (std::size_t i = 0; i < c.sizes.size(); ++i)
            files << write(QString(QChar('a' + int(i))) + ".log", QByteArray(c.sizes[i] - 1, 'x') + "\n");
        const QString log = PR::collectLog(files);
        EXPECT_EQ(headers(log), c.expected);
        // The end of what was collected reaches the report, cut to 1,500,000 bytes.
        EXPECT_EQ(body("", "", log)["log"].toString(), log.right(std::min<qsizetype>(log.size(), 1'500'000)));
    }
}

TEST(ProblemReporter, TailCutKeepsWholeCharactersWithinTheByteLimit) {
    const QString text = QStringLiteral("xé€😀"); // 1 + 2 + 3 + 4 bytes
    const std::pair<qint64, QString> cases[] = {{10, text}, {9, "é€😀"}, {8, "€😀"},
                                                {6, "😀"},   {4, "😀"},   {3, QStringLiteral("\uFFFD")}};
    for (const auto& [maxBytes, expected] : cases)
        EXPECT_EQ(PR::keepLastUtf8Bytes(text, maxBytes), expected);
}

TEST(ProblemReporter, BodyMembersCutTheNoteAndSendOnlyARealEmailAsTyped) {
    const QString accented = QStringLiteral("e\u0301"); // one character, two code units
    const struct {
        QString note, email, expectedNote;
        std::optional<QString> expectedEmail;
    } cases[] = {
        {"Label vanished", " me@example.org ", "Label vanished", " me@example.org "},
        {accented.repeated(50'000), "   ", accented.repeated(2000), std::nullopt},
        {QString(100'000, 'n'), QStringLiteral("\t\u00A0"), QString(2000, 'n'), std::nullopt},
    };
    for (const auto& c : cases) {
        const QJsonObject got = body(c.note, c.email);
        EXPECT_EQ(got["note"].toString(), c.expectedNote);
        EXPECT_EQ(got.contains("email") ? std::optional(got["email"].toString()) : std::nullopt,
                  c.expectedEmail);
        EXPECT_EQ(got["app"].toObject(),
                  (QJsonObject{{"version", "?"}, {"build", "?"}, {"channel", "direct"}}));
    }
    EXPECT_EQ(PR::unixMillisecondsFrom(1.0625), 1063);
    EXPECT_EQ(PR::unixMillisecondsFrom(-1.0625), -1063);
}

TEST(ProblemReporter, DamagedVanishedAndHugeTraceFilesStillGiveAReport) {
    // 2 MB of two-byte characters: the tail read starts inside a character.
    const QString huge = write("huge.log", QString(1'000'000, QChar(0xE9)).toUtf8() + "last line!\n");
    const QString log = PR::collectLog(
        {QDir(tmp.path()).filePath("vanished.log"), write("damaged.log", "ok \xff\xfe end\n"), huge});
    EXPECT_EQ(headers(log), QStringList{"damaged.log"});
    EXPECT_TRUE(log.contains(QStringLiteral("ok \uFFFD\uFFFD end")));

    const QString tail = body("", "", PR::collectLog({huge}))["log"].toString();
    EXPECT_TRUE(tail.endsWith("last line!\n"));
    EXPECT_GE(tail.toUtf8().size(), 1'499'999);
    EXPECT_LE(tail.toUtf8().size(), 1'500'000);
    EXPECT_FALSE(tail.contains(QChar(0xFFFD)));
}

TEST(ProblemReporter, SubmissionSendsTheWholeBodyAndSavesOwnerOnly) {
    const QString trace = write("spacemarquee-trace.log", "12:00:00.000 line\n");
    test::TestLoggers loggers;
    PR::Request request;
    PR::SendResult answer;
    ReportSubmission submission({"1.0", "7", "Debian GNU/Linux 13 (trixie)", QUrl("https://h.example/d"),
                                 [trace] { return QStringList{trace}; },
                                 std::make_shared<ManualMainQueue>(dateFromUnixSeconds(1733450000.5)),
                                 loggers.loggers.app,
                                 [&](const PR::Request& r, ReportSubmission::Completion done) {
                                     request = r;
                                     done(answer);
                                     return ReportSubmission::Cancel([] {});
                                 }});
    answer = PR::SendResult::failed("HTTP 204");
    std::optional<PR::SendResult> got;
    submission.send("", "Broken", true, [&](PR::SendResult r) { got = r; });
    EXPECT_EQ(got, answer);
    EXPECT_EQ(request.timeout, std::chrono::seconds(30));
    const QJsonObject sent = QJsonDocument::fromJson(request.body).object();
    EXPECT_EQ(sent,
              (QJsonObject{{"kind", "diagnostics-report"},
                           {"app", QJsonObject{{"version", "1.0"}, {"build", "7"}, {"channel", "direct"}}},
                           {"macos", "Debian GNU/Linux 13 (trixie)"},
                           {"note", "Broken"},
                           {"log", "===== spacemarquee-trace.log =====\n12:00:00.000 line\n"},
                           {"ts", qint64(1733450000500)}}));

    const QString saved = write("report.json", "old, world-readable");
    ::chmod(QFile::encodeName(saved).constData(), 0644);
    QString error;
    ASSERT_TRUE(submission.save(saved, "", "Broken", false, &error)) << error.toStdString();
    struct stat st {};
    ::stat(QFile::encodeName(saved).constData(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_FALSE(submission.save(tmp.path() + "/missing/report.json", "", "x", false, &error));
}

} // namespace

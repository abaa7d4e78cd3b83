#include "diagnostics/ProblemReporter.h"
#include "diagnostics/ReportSubmission.h"
#include "platform/sim/ManualMainQueue.h"
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

constexpr qint64 B = PR::kLogBudgetBytes;

struct TraceDir {
    QTemporaryDir tmp;
    QString path(const QString& name) const { return QDir(tmp.path()).filePath(name); }
    QString write(const QString& name, const QByteArray& bytes) const {
        QFile f(path(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path(name);
    }
};

QStringList headers(const QString& log) {
    QStringList out;
    for (const auto& m :
         QRegularExpression("^===== (.*) =====$", QRegularExpression::MultilineOption).globalMatch(log))
        out << m.captured(1);
    return out;
}

QJsonObject parse(const QByteArray& body) {
    return QJsonDocument::fromJson(body).object();
}

PR::ReportFields report(const QString& note, const QString& email, const QString& log = {}) {
    PR::ReportFields fields;
    fields.note = note;
    fields.email = email;
    fields.log = log;
    return fields;
}

TEST(ProblemReporter, LogBudgetTakesTheCurrentFileAlwaysAndLaterFilesOnlyWhileTheyFit) {
    struct Case {
        std::vector<qint64> sizes; // current, then rotated newest first
        QStringList expected;
    };
    const QStringList names{"spacemarquee-trace.log", "spacemarquee-trace-20240102-000000.log",
                            "spacemarquee-trace-20240101-000000.log"};
    const Case cases[] = {
        {{}, {}},
        {{2'000'000}, {names[0]}},
        {{2'000'000, 10}, {names[0]}},
        {{1'400'000, 300'000, 50'000}, {names[0], names[2]}},
    };
    for (const auto& c : cases) {
        TraceDir dir;
        QStringList files;
        for (std::size_t i = 0; i < c.sizes.size(); ++i)
            files << dir.write(names[qsizetype(i)], QByteArray(c.sizes[i] - 1, 'a' + char(i)) + "\n");
        const QString log = PR::collectLog(files);
        EXPECT_EQ(headers(log), c.expected);
        // The last 1.5 MB of what was collected always reaches the report.
        const QString inBody = parse(PR::makeReportBody(report({}, {}, log)))["log"].toString();
        EXPECT_EQ(inBody, log.right(std::min<qsizetype>(log.size(), B)));
    }
}

TEST(ProblemReporter, TailCutKeepsWholeCharactersWithinTheByteLimit) {
    const QString text = QStringLiteral("xé€😀"); // 1 + 2 + 3 + 4 bytes
    const struct {
        qint64 maxBytes;
        QString expected;
    } cases[] = {
        {10, text}, {9, "é€😀"}, {8, "€😀"}, {7, "€😀"}, {6, "😀"}, {4, "😀"}, {3, QStringLiteral("\uFFFD")},
    };
    for (const auto& c : cases) {
        const QString kept = PR::keepLastUtf8Bytes(text, c.maxBytes);
        EXPECT_EQ(kept, c.expected) << c.maxBytes;
        EXPECT_LE(kept.toUtf8().size(), c.maxBytes);
    }
}

TEST(ProblemReporter, BodyMembers) {
    const QString accented = QStringLiteral("e\u0301"); // one character, two code units
    PR::ReportFields full = report("Label vanished", " me@example.org ", "L");
    full.version = "1.2";
    full.build = "42";
    full.osVersion = "Debian GNU/Linux 13 (trixie)";
    full.unixMilliseconds = 1733450000124;
    const struct {
        PR::ReportFields fields;
        QJsonObject expected; // members that must match exactly ("email" absent unless listed)
    } cases[] = {
        {full,
         {{"kind", "diagnostics-report"},
          {"app", QJsonObject{{"version", "1.2"}, {"build", "42"}, {"channel", "direct"}}},
          {"macos", "Debian GNU/Linux 13 (trixie)"},
          {"note", "Label vanished"},
          {"log", "L"},
          {"ts", qint64(1733450000124)},
          {"email", " me@example.org "}}},
        {report(accented.repeated(50'000), "   "),
         {{"app", QJsonObject{{"version", "?"}, {"build", "?"}, {"channel", "direct"}}},
          {"note", accented.repeated(2000)},
          {"log", ""}}},
        {report(QString(100'000, 'n'), QStringLiteral("\t\u00A0 ")), {{"note", QString(2000, 'n')}}},
    };
    for (const auto& c : cases) {
        const QByteArray body = PR::makeReportBody(c.fields);
        const QJsonObject got = parse(body);
        EXPECT_FALSE(body.contains('\n'));
        for (auto it = c.expected.begin(); it != c.expected.end(); ++it)
            EXPECT_EQ(got[it.key()], it.value()) << it.key().toStdString();
        EXPECT_EQ(got.contains("email"), c.expected.contains("email"));
    }
    EXPECT_EQ(PR::unixMillisecondsFrom(1.0625), 1063);
    EXPECT_EQ(PR::unixMillisecondsFrom(-1.0625), -1063);
}

TEST(ProblemReporter, DamagedAndVanishedTraceFilesStillGiveAReport) {
    TraceDir dir;
    const QString vanished = dir.path("spacemarquee-trace.log");
    const QString damaged = dir.write("spacemarquee-trace-2.log", "ok \xff\xfe end\n");
    // 2 MB of two-byte characters plus one line: the tail read starts inside a character.
    const QByteArray big = QString(1'000'000, QChar(0xE9)).toUtf8() + "last line!\n";
    const QString large = dir.write("spacemarquee-trace-1.log", big);

    const QString log = PR::collectLog({vanished, damaged, large});
    EXPECT_EQ(headers(log), (QStringList{"spacemarquee-trace-2.log"})); // the large one no longer fits
    EXPECT_TRUE(log.contains(QStringLiteral("ok \uFFFD\uFFFD end"))) << log.toStdString();

    const QString alone = PR::collectLog({large});
    const QString inBody = parse(PR::makeReportBody(report({}, {}, alone)))["log"].toString();
    EXPECT_TRUE(inBody.endsWith("last line!\n"));
    EXPECT_LE(inBody.toUtf8().size(), B);
    EXPECT_GE(inBody.toUtf8().size(), B - 1);
    EXPECT_FALSE(inBody.contains(QChar(0xFFFD)));
}

TEST(ProblemReporter, SubmissionTracesSendAndResultAndSavesOwnerOnly) {
    TraceDir dir;
    const QString trace = dir.write("spacemarquee-trace.log", "12:00:00.000 line\n");
    test::TestLoggers loggers;
    auto clock = std::make_shared<ManualMainQueue>(dateFromUnixSeconds(1733450000.5));
    std::vector<PR::Request> requests;
    PR::SendResult answer;
    ReportSubmission submission({"1.0", "7", "Debian",
                                 QUrl("https://spacemarquee.example/spacemarquee/diagnostics"),
                                 [trace] { return QStringList{trace}; }, clock, loggers.loggers.app,
                                 [&](const PR::Request& r, ReportSubmission::Completion done) {
                                     requests.push_back(r);
                                     done(answer);
                                     return ReportSubmission::Cancel([] {});
                                 }});
    for (const auto& result : {PR::SendResult::ok(), PR::SendResult::failed("HTTP 204")}) {
        answer = result;
        std::optional<PR::SendResult> got;
        loggers.log->clear();
        submission.send("", "Broken", true, [&](PR::SendResult r) { got = r; });
        EXPECT_EQ(got, result);
        const PR::Request& r = requests.back();
        EXPECT_EQ(loggers.log->traces(),
                  (QStringList{QStringLiteral("problemReport SEND log=true bytes=%1").arg(r.body.size()),
                               "problemReport RESULT " + result.description()}));
        EXPECT_EQ(r.method, "POST");
        EXPECT_EQ(r.timeout, std::chrono::seconds(30));
        EXPECT_EQ(r.headers.size(), 2);
        const QJsonObject body = parse(r.body);
        EXPECT_EQ(body["ts"].toInteger(), 1733450000500);
        EXPECT_EQ(body["log"].toString(), "===== spacemarquee-trace.log =====\n12:00:00.000 line\n");
    }
    EXPECT_EQ(PR::SendResult::failed("HTTP 204").description(), "failed(\"HTTP 204\")");

    const QString saved = dir.write("report.json", "old, world-readable");
    ASSERT_EQ(::chmod(QFile::encodeName(saved).constData(), 0644), 0);
    QString error;
    ASSERT_TRUE(submission.save(saved, "", "Broken", false, &error)) << error.toStdString();
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(saved).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    QFile file(saved);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(parse(file.readAll())["note"].toString(), "Broken");
    EXPECT_FALSE(submission.save(dir.path("missing-dir/report.json"), "", "x", false, &error));
    EXPECT_FALSE(error.isEmpty());
}

} // namespace

#include "diagnostics/Logger.h"
#include "platform/sim/CapturingSystemLog.h"
#include "platform/sim/MemoryDefaults.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace sm;

namespace {

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

struct TraceLogTest : ::testing::Test {
    QTemporaryDir tmp;
    QDir dir{tmp.path()};
    MemoryDefaults defaults;
    QDateTime now{QDate(2024, 3, 5), QTime(14, 3, 7, 412)};
    std::shared_ptr<CapturingSystemLog> log = std::make_shared<CapturingSystemLog>();

    // A fresh launch: the setting is read once, here.
    std::shared_ptr<TraceLog> launch(bool tracing = true) {
        defaults.setValue(TraceLog::kEnabledKey, tracing);
        return std::make_shared<TraceLog>(defaults, TraceLog::Options{tmp.path(), [this] { return now; }});
    }
    QString current() const { return dir.filePath("spacemarquee-trace.log"); }
    QStringList names() const { return dir.entryList(QDir::Files | QDir::System, QDir::Name); }
};

TEST_F(TraceLogTest, OffCreatesAndRotatesNothingAndNeverBuildsTheMessage) {
    writeFile(current(), "previous session\n");
    auto trace = launch(false);
    trace->beginSession("SESSION START Spacemarquee v1 (1) pid=1");
    const Logger logger(LogCategory::App, log, trace);
    int built = 0;
    SM_TRACE(logger, (++built, QStringLiteral("expensive")));
    EXPECT_EQ(built, 0);
    EXPECT_TRUE(log->entries.empty());
    EXPECT_EQ(names(), QStringList{"spacemarquee-trace.log"});
    EXPECT_EQ(readFile(current()), "previous session\n");
}

TEST_F(TraceLogTest, FirstSessionWritesBannerToFileOnlyThenTimestampedLines) {
    auto trace = launch();
    trace->beginSession("SESSION START Spacemarquee v1.2 (42) pid=7");
    const Logger logger(LogCategory::Tracker, log, trace);
    int built = 0;
    SM_TRACE(logger, (++built, QStringLiteral("singleInstance alert PRESENTING")));
    now = QDateTime(QDate(2024, 3, 5), QTime(9, 5, 3, 7));
    SM_TRACE(logger, QStringLiteral("title «Ünïcode»\nsecond line"));

    EXPECT_EQ(built, 1);
    EXPECT_EQ(QString::fromUtf8(readFile(current())),
              "14:03:07.412 ========== SESSION START Spacemarquee v1.2 (42) pid=7 ==========\n"
              "14:03:07.412 singleInstance alert PRESENTING\n"
              "09:05:03.007 title «Ünïcode»\nsecond line\n");
    EXPECT_EQ(log->messages(LogCategory::Tracker),
              (QStringList{"TRACE singleInstance alert PRESENTING", "TRACE title «Ünïcode»\nsecond line"}));
}

TEST_F(TraceLogTest, RotatesPreviousSessionAndKeepsTheFiveGreatestRotatedNames) {
    const QStringList rotated{"spacemarquee-trace-20240101-000000.log", "spacemarquee-trace-20240102-000000.log",
                              "spacemarquee-trace-20240103-000000.log", "spacemarquee-trace-20240104-000000.log",
                              "spacemarquee-trace-20240105-000000.log", "spacemarquee-trace-20240106-000000.log",
                              "spacemarquee-trace-old.log"};
    for (const QString& name : rotated) writeFile(dir.filePath(name), "x");
    writeFile(dir.filePath("unrelated.log"), "keep");
    writeFile(current(), "previous session\n");

    launch()->beginSession("B");

    EXPECT_EQ(names(), (QStringList{"spacemarquee-trace-20240104-000000.log", "spacemarquee-trace-20240105-000000.log", "spacemarquee-trace-20240106-000000.log",
                                    "spacemarquee-trace-20240305-140307.log", "spacemarquee-trace-old.log",
                                    "spacemarquee-trace.log", "unrelated.log"}));
    EXPECT_EQ(readFile(dir.filePath("spacemarquee-trace-20240305-140307.log")), "previous session\n");
    EXPECT_EQ(readFile(current()), "14:03:07.412 ========== B ==========\n");
}

TEST_F(TraceLogTest, SecondLaunchInTheSameSecondAppendsToTheFirstSessionsFile) {
    writeFile(current(), "session zero\n");
    auto first = launch();
    first->beginSession("first");
    first->appendLine("first line");
    launch()->beginSession("second");

    EXPECT_EQ(readFile(dir.filePath("spacemarquee-trace-20240305-140307.log")), "session zero\n");
    EXPECT_EQ(readFile(current()), "14:03:07.412 ========== first ==========\n"
                                   "14:03:07.412 first line\n"
                                   "14:03:07.412 ========== second ==========\n");
}

TEST_F(TraceLogTest, ListsCurrentFileFirstThenRotatedNewestFirst) {
    auto trace = launch();
    EXPECT_TRUE(trace->traceLogFiles().isEmpty());
    writeFile(dir.filePath("spacemarquee-trace-20240101-000000.log"), "");
    writeFile(dir.filePath("spacemarquee-trace-20240301-000000.log"), "");
    EXPECT_EQ(trace->traceLogFiles(), (QStringList{dir.filePath("spacemarquee-trace-20240301-000000.log"),
                                                   dir.filePath("spacemarquee-trace-20240101-000000.log")}));
    trace->appendLine("now");
    EXPECT_EQ(trace->traceLogFiles().value(0), current());
    EXPECT_EQ(trace->traceLogFiles().size(), 3);
}

TEST_F(TraceLogTest, NeverWritesThroughOrRotatesASymlinkAtTheTracePath) {
    QTemporaryDir elsewhere;
    const QString victim = QDir(elsewhere.path()).filePath("victim");
    writeFile(victim, "precious\n");
    ASSERT_TRUE(QFile::link(victim, current()));

    auto trace = launch();
    trace->beginSession("banner");
    trace->appendLine("line");

    EXPECT_EQ(readFile(victim), "precious\n");
    EXPECT_EQ(names(), QStringList{"spacemarquee-trace.log"}); // the link, still in place
    EXPECT_TRUE(trace->traceLogFiles().isEmpty());
}

} // namespace

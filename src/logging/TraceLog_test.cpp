#include "logging/Logger.h"
#include "support/sim/CapturingSystemLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace sm;

namespace {

struct TraceLogTest : ::testing::Test {
    QTemporaryDir tmp;
    QDir dir{tmp.path()};
    QString current = dir.filePath("spacemarquee-trace.log");
    QDateTime now{QDate(2024, 3, 5), QTime(14, 3, 7, 412)};
    std::shared_ptr<CapturingSystemLog> log = std::make_shared<CapturingSystemLog>();

    // A fresh launch: whether it traces is decided once, here.
    std::shared_ptr<TraceLog> launch(bool tracing = true) {
        return std::make_shared<TraceLog>(tracing, TraceLog::Options{tmp.path(), [this] { return now; }});
    }
    QByteArray read(const QString& name) const {
        QFile f(dir.filePath(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : "<missing>";
    }
    void write(const QString& name, const QByteArray& bytes) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QStringList names() const { return dir.entryList(QDir::Files | QDir::System, QDir::Name); }
};

TEST_F(TraceLogTest, OffCreatesAndRotatesNothingAndNeverBuildsTheMessage) {
    write("spacemarquee-trace.log", "previous session\n");
    auto trace = launch(false);
    trace->beginSession("SESSION START Spacemarquee v1 (1) pid=1");
    int built = 0;
    SM_TRACE(Logger(LogCategory::App, log, trace), (++built, QStringLiteral("expensive")));
    EXPECT_EQ(built, 0);
    EXPECT_TRUE(log->entries.empty());
    EXPECT_EQ(names(), QStringList{"spacemarquee-trace.log"});
    EXPECT_EQ(read("spacemarquee-trace.log"), "previous session\n");
}

TEST_F(TraceLogTest, FirstSessionWritesBannerToFileOnlyThenTimestampedLines) {
    auto trace = launch();
    EXPECT_TRUE(trace->traceLogFiles().isEmpty());
    trace->beginSession("SESSION START Spacemarquee v1.2 (42) pid=7");
    const Logger logger(LogCategory::Tracker, log, trace);
    int built = 0;
    SM_TRACE(logger, (++built, QStringLiteral("singleInstance alert PRESENTING")));
    now = QDateTime(QDate(2024, 3, 5), QTime(9, 5, 3, 7));
    SM_TRACE(logger, QStringLiteral("title «Ünïcode»\nsecond line"));

    EXPECT_EQ(built, 1);
    EXPECT_EQ(QString::fromUtf8(read("spacemarquee-trace.log")),
              "14:03:07.412 ========== SESSION START Spacemarquee v1.2 (42) pid=7 ==========\n"
              "14:03:07.412 singleInstance alert PRESENTING\n"
              "09:05:03.007 title «Ünïcode»\nsecond line\n");
    EXPECT_EQ(log->messages(LogCategory::Tracker),
              (QStringList{"TRACE singleInstance alert PRESENTING", "TRACE title «Ünïcode»\nsecond line"}));
}

TEST_F(TraceLogTest, RotatesPreviousSessionKeepsFiveGreatestNamesAndListsNewestFirst) {
    for (const char* stamp : {"20240101-000000", "20240102-000000", "20240103-000000", "20240104-000000",
                              "20240105-000000", "20240106-000000", "old"})
        write(QStringLiteral("spacemarquee-trace-%1.log").arg(stamp), "x");
    write("unrelated.log", "keep");
    write("spacemarquee-trace.log", "previous session\n");

    auto trace = launch();
    trace->beginSession("B");

    QStringList listed;
    for (const QString& path : trace->traceLogFiles())
        listed << QFileInfo(path).fileName();
    EXPECT_EQ(
        listed,
        (QStringList{"spacemarquee-trace.log", "spacemarquee-trace-old.log",
                     "spacemarquee-trace-20240305-140307.log", "spacemarquee-trace-20240106-000000.log",
                     "spacemarquee-trace-20240105-000000.log", "spacemarquee-trace-20240104-000000.log"}));
    EXPECT_EQ(names().size(), 7); // plus the unrelated file
    EXPECT_EQ(read("spacemarquee-trace-20240305-140307.log"), "previous session\n");
    EXPECT_EQ(read("spacemarquee-trace.log"), "14:03:07.412 ========== B ==========\n");
}

TEST_F(TraceLogTest, SecondLaunchInTheSameSecondAppendsToTheFirstSessionsFile) {
    write("spacemarquee-trace.log", "session zero\n");
    auto first = launch();
    first->beginSession("first");
    first->appendLine("first line");
    launch()->beginSession("second");

    EXPECT_EQ(read("spacemarquee-trace-20240305-140307.log"), "session zero\n");
    EXPECT_EQ(read("spacemarquee-trace.log"), "14:03:07.412 ========== first ==========\n"
                                              "14:03:07.412 first line\n"
                                              "14:03:07.412 ========== second ==========\n");
}

TEST_F(TraceLogTest, NeverWritesThroughRotatesOrListsASymlinkAtTheTracePath) {
    QTemporaryDir elsewhere;
    const QString victim = QDir(elsewhere.path()).filePath("victim");
    QFile(victim).open(QIODevice::WriteOnly);
    ASSERT_TRUE(QFile::link(victim, current));

    auto trace = launch();
    trace->beginSession("banner");
    trace->appendLine("line");

    EXPECT_EQ(QFileInfo(victim).size(), 0);
    EXPECT_EQ(names(), QStringList{"spacemarquee-trace.log"}); // the link, still in place
    EXPECT_TRUE(trace->traceLogFiles().isEmpty());
}

} // namespace

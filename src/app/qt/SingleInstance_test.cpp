#include "app/qt/SingleInstance.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <future>
#include <unistd.h>

namespace sm {
namespace {

int argc = 1;
char name[] = "test";
char* argv[] = {name};

TEST(SingleInstance, TakesOverALockThatNamesNoLiveCopyOfThisProgram) {
    const QByteArray self = QByteArray::number(::getpid()) + "\napp_widgets_test\n\n";
    struct Row {
        const char* what;
        QByteArray content;
        bool old;
        bool taken;
    };
    for (const Row& r : {Row{"empty, as a power cut leaves it", "", true, true},
                         Row{"garbage", QByteArray("\0\xff\n#!", 4), true, true},
                         Row{"a dead pid", "999999999\nspacemarquee\n\n", true, true},
                         Row{"a live pid of another program", "1\nspacemarquee\n\n", true, true},
                         Row{"a live copy of this program", self, true, false},
                         Row{"a copy still writing its line", "", false, false}}) {
        QTemporaryDir dir;
        QFile lock(dir.filePath("spacemarquee.lock"));
        ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
        lock.write(r.content);
        lock.flush();
        if (r.old) lock.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFile::FileModificationTime);
        lock.close();
        SingleInstance instance(dir.path());
        EXPECT_EQ(instance.tryLock(), r.taken) << r.what;
    }
    QTemporaryDir dir;
    SingleInstance running(dir.path()), later(dir.path());
    ASSERT_TRUE(running.tryLock());
    EXPECT_FALSE(later.tryLock());
}

TEST(SingleInstance, TheSenderHearsTheOutcomeOnceTheCommandHasRun) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    SingleInstance running(dir.path());
    ASSERT_TRUE(running.tryLock());
    QByteArrayList ran;
    ASSERT_TRUE(running.listen(
        [&](const QByteArray& line) { return ran << line, line == "good" ? QString() : "no " + line; },
        nullptr));
    for (const QByteArray url : {"good", "bad"}) {
        auto sent = std::async(std::launch::async, [&] {
            QString detail;
            return std::make_pair(SingleInstance::forward(dir.path(), url, &detail), detail);
        });
        while (sent.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready)
            QCoreApplication::processEvents();
        const auto [outcome, detail] = sent.get();
        EXPECT_EQ(ran.last(), url);
        EXPECT_EQ(outcome,
                  url == "good" ? SingleInstance::Forwarded::delivered : SingleInstance::Forwarded::refused);
        EXPECT_EQ(detail, url == "good" ? "" : "no bad");
    }
}

} // namespace
} // namespace sm

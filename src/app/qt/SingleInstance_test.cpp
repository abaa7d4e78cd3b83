#include "app/qt/SingleInstance.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

namespace sm {
namespace {

TEST(SingleInstance, TakesOverALockThatNamesNoLiveCopyOfThisProgram) {
    struct Row {
        QByteArray content;
        bool old, taken;
    };
    for (const Row& r :
         {Row{"", true, true}, // a power cut between creating and writing it
          Row{QByteArray("\0\xff\n#!", 4), true, true}, Row{"999999999\nspacemarquee\n\n", true, true},
          Row{"1\nspacemarquee\n\n", true, true}, // a live pid, but another program
          Row{QByteArray::number(::getpid()) + "\napp_widgets_test\n\n", true, false},
          Row{"", false, false}}) { // a copy starting right now, about to write its line
        QTemporaryDir dir;
        QFile lock(dir.filePath("spacemarquee.lock"));
        ASSERT_TRUE(lock.open(QIODevice::WriteOnly) && lock.write(r.content) == r.content.size() &&
                    lock.flush());
        if (r.old) lock.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFile::FileModificationTime);
        lock.close();
        EXPECT_EQ(SingleInstance(dir.path()).tryLock(), r.taken) << r.content.toStdString();
    }
    QTemporaryDir dir;
    SingleInstance running(dir.path()), later(dir.path());
    ASSERT_TRUE(running.tryLock());
    EXPECT_FALSE(later.tryLock());
}

} // namespace
} // namespace sm

#include "platform/linux/JournalSystemLog.h"

#include <QTemporaryDir>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace sm;

namespace {

struct JournalSystemLogTest : ::testing::Test {
    QTemporaryDir present; // any existing path passes for journald's socket
    int err[2]{-1, -1};    // captured stderr
    std::vector<QByteArrayList> sent;
    void SetUp() override { ASSERT_EQ(::pipe2(err, O_NONBLOCK), 0); }
    void TearDown() override { ::close(err[0]), ::close(err[1]); }

    JournalSystemLog make(const QString& socket, bool echo, int sendResult) {
        return JournalSystemLog({socket, echo, err[1], [this, sendResult](const QByteArrayList& fields) {
                                     sent.push_back(fields);
                                     return sendResult;
                                 }});
    }
    QByteArray stderrText() const {
        char buffer[4096];
        const ssize_t n = ::read(err[0], buffer, sizeof buffer);
        return n > 0 ? QByteArray(buffer, n) : QByteArray();
    }
};

TEST_F(JournalSystemLogTest, SendsFieldsWithAPriorityPerLevelAndNothingToStderr) {
    auto log = make(present.path(), false, 0);
    for (const auto& [level, priority] : {std::pair{LogLevel::Debug, "7"},
                                          {LogLevel::Info, "6"},
                                          {LogLevel::Default, "5"},
                                          {LogLevel::Error, "3"},
                                          {LogLevel::Fault, "2"}}) {
        log.write(LogCategory::Tracker, level, QString::fromUtf8("pending TIMEOUT — two\nlines"));
        EXPECT_EQ(sent.back(),
                  (QByteArrayList{"MESSAGE=pending TIMEOUT — two\nlines", QByteArray("PRIORITY=") + priority,
                                  "SYSLOG_IDENTIFIER=spacemarquee", "SUBSYSTEM=com.quillfern.spacemarquee",
                                  "CATEGORY=tracker"}));
    }
    EXPECT_EQ(stderrText(), QByteArray());
}

TEST_F(JournalSystemLogTest, FallsBackToStderrWhenJournaldIsAbsentOrRefusesAndEchoesToATerminal) {
    const struct {
        QString socket;
        bool echo;
        int sendResult;
    } cases[] = {
        {"/nonexistent/journal/socket", false, 0}, {present.path(), false, -111}, {present.path(), true, 0}};
    for (const auto& c : cases) {
        make(c.socket, c.echo, c.sendResult)
            .write(LogCategory::Storage, LogLevel::Error, "defaults: cannot write");
        EXPECT_EQ(stderrText(), "spacemarquee[storage] defaults: cannot write\n") << c.socket.toStdString();
    }
}

} // namespace

#include "platform/linux/JournalSystemLog.h"

#include <QFile>

#include <cerrno>
#include <sys/uio.h>
#include <syslog.h>
#include <systemd/sd-journal.h>
#include <unistd.h>
#include <vector>

namespace sm {

namespace {

int sendToJournal(const QByteArrayList& fields) {
    std::vector<iovec> items;
    items.reserve(static_cast<size_t>(fields.size()));
    for (const QByteArray& field : fields)
        items.push_back(iovec{const_cast<char*>(field.constData()), static_cast<size_t>(field.size())});
    return sd_journal_sendv(items.data(), static_cast<int>(items.size()));
}

} // namespace

JournalSystemLog::JournalSystemLog() : JournalSystemLog(Options{}) {}

JournalSystemLog::JournalSystemLog(Options options) : options_(std::move(options)) {
    if (!options_.send) options_.send = sendToJournal;
    // Without the socket sd_journal_sendv fails on every call; find out once instead.
    journalPresent_ = ::access(QFile::encodeName(options_.journalSocket).constData(), F_OK) == 0;
    echo_ = options_.echoToStderr.value_or(::isatty(options_.stderrFd) == 1);
}

int JournalSystemLog::priority(LogLevel level) {
    switch (level) {
    case LogLevel::Debug:
        return LOG_DEBUG;
    case LogLevel::Info:
        return LOG_INFO;
    case LogLevel::Default:
        return LOG_NOTICE;
    case LogLevel::Error:
        return LOG_ERR;
    case LogLevel::Fault:
        return LOG_CRIT;
    }
    return LOG_NOTICE;
}

void JournalSystemLog::write(LogCategory category, LogLevel level, const QString& message) {
    bool sent = false;
    if (journalPresent_) {
        const QByteArrayList fields{
            QByteArrayLiteral("MESSAGE=") + message.toUtf8(),
            QByteArrayLiteral("PRIORITY=") + QByteArray::number(priority(level)),
            QByteArrayLiteral("SYSLOG_IDENTIFIER=spacemarquee"),
            QByteArrayLiteral("SUBSYSTEM=") + kLogSubsystem,
            QByteArrayLiteral("CATEGORY=") + categoryName(category),
        };
        sent = options_.send(fields) >= 0;
    }
    if (echo_ || !sent) writeToStderr(category, message);
}

void JournalSystemLog::writeToStderr(LogCategory category, const QString& message) const {
    // One write per line so messages from several threads or processes do not interleave.
    const QByteArray line =
        QByteArrayLiteral("spacemarquee[") + categoryName(category) + "] " + message.toUtf8() + '\n';
    const char* data = line.constData();
    qsizetype left = line.size();
    while (left > 0) {
        const ssize_t n = ::write(options_.stderrFd, data, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        data += n;
        left -= n;
    }
}

} // namespace sm

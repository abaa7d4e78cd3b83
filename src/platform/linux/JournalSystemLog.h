#pragma once

#include "logging/SystemLog.h"

#include <QByteArrayList>

#include <functional>
#include <optional>

namespace sm {

// The system log on Linux: journald, with the subsystem and category as their own fields so
// `journalctl SYSLOG_IDENTIFIER=spacemarquee CATEGORY=tracker` picks out one category. Messages
// are echoed to stderr as "spacemarquee[category] message" when someone is watching the terminal
// or journald cannot take them.
class JournalSystemLog final : public SystemLog {
public:
    // Sends one journal entry made of "FIELD=value" items; returns < 0 on failure (sd_journal_sendv).
    using Sender = std::function<int(const QByteArrayList& fields)>;

    struct Options {
        QString journalSocket = QStringLiteral("/run/systemd/journal/socket");
        // Echo every message to stderr. Unset: when stderr is a terminal.
        std::optional<bool> echoToStderr;
        int stderrFd = 2;
        Sender send; // empty: libsystemd
    };

    JournalSystemLog();
    explicit JournalSystemLog(Options options);

    void write(LogCategory category, LogLevel level, const QString& message) override;

    static int priority(LogLevel level);

private:
    void writeToStderr(LogCategory category, const QString& message) const;

    Options options_;
    bool journalPresent_ = false;
    bool echo_ = false;
};

} // namespace sm

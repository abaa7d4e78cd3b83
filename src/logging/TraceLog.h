#pragma once

#include <QDateTime>
#include <QStringList>

#include <functional>
#include <memory>

namespace sm {

// The opt-in activity log: one timestamped line per call, appended to
// "<directory>/spacemarquee-trace.log" with nothing buffered, rotated at each launch.
// Whether it is on is decided once, at construction: the program reads "Spacemarquee.VerboseTracing"
// (kEnabledKey) from its settings.
class TraceLog {
public:
    static inline const QString kEnabledKey = QStringLiteral("Spacemarquee.VerboseTracing");

    struct Options {
        // Where the trace files live. Empty: lines are mirrored to the system log only (tests).
        QString directory;
        // Local wall-clock time for timestamps and rotation names.
        std::function<QDateTime()> wallClock = [] { return QDateTime::currentDateTime(); };
    };

    TraceLog(bool enabled, Options options);
    // A trace log that is on or off regardless of any stored setting, with no file (tests, benchmarks).
    static std::shared_ptr<TraceLog> memoryOnly(bool enabled);

    bool isEnabled() const { return enabled_; }

    // Appends "HH:mm:ss.SSS <message>\n". Never fails; errors are swallowed.
    void appendLine(const QString& message);
    // Rotates the previous session's file, prunes to five rotated files, writes the banner line
    // (to the file only). A rotation name that is taken is not replaced: the session appends.
    void beginSession(const QString& banner);
    // The current file first (if it exists), then rotated files newest first. Only regular files:
    // these are attached to problem reports, so a symlink planted in the directory is left out.
    QStringList traceLogFiles() const;
    QString traceFilePath() const;
    QString directory() const { return options_.directory; }

private:
    void appendBytes(const QByteArray& bytes);

    bool enabled_ = false;
    Options options_;
    QByteArray nativeTracePath_; // encoded once: every line opens the file by this name
};

} // namespace sm

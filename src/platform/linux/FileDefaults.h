#pragma once

#include "platform/Defaults.h"
#include "logging/SystemLog.h"

#include <QDateTime>
#include <QMap>
#include <QSet>

#include <functional>
#include <memory>

class QObject;

namespace sm {

// The real defaults: one JSON file, "<directory>/defaults.json", rewritten whole and atomically after
// every change so a crash never leaves half a file. Each entry is tagged with its type, so a bool
// stays a bool and an absent key stays absent across launches.
//
// A change is in memory when the call returns; a writer thread encodes the values, writes and syncs
// the file, so the caller's thread never waits on the disk. Changes made while a write runs go out
// together in the next one. whenDurable() tells, on the thread that owns the store (which must run a
// Qt event loop, or call waitForWrites()), when they are on disk or why they could not be; a failed
// write keeps the values in memory for this run and is logged. The destructor waits for the last
// write.
//
// A file that cannot be understood is copied aside ("defaults.unreadable-yyyyMMdd-HHmmss.json")
// before anything may replace it, and the store starts without it; until a copy exists, writes
// return false.
//
// Only a regular file is ever opened, so a FIFO or device planted there cannot hang the start. A
// symbolic link (as dotfile managers make) is followed when it is the user's and leads to a regular
// file, or to a file not made yet in a folder of the user's, which the first write creates. Anything
// else at that name (a dangling link nothing can be created behind, a FIFO, a folder) is renamed
// aside like an unreadable file, so the session's changes are still saved.
class FileDefaults final : public Defaults {
public:
    static inline const QString kFileName = QStringLiteral("defaults.json");

    // Problems go to `log` in the storage category. `wallClock` names the copies of unreadable files.
    explicit FileDefaults(
        QString directory, std::shared_ptr<SystemLog> log = nullptr,
        std::function<QDateTime()> wallClock = [] { return QDateTime::currentDateTime(); });
    ~FileDefaults() override;
    FileDefaults(const FileDefaults&) = delete;
    FileDefaults& operator=(const FileDefaults&) = delete;

    // "$XDG_CONFIG_HOME/spacemarquee", else "~/.config/spacemarquee".
    static QString standardDirectory();

    std::optional<DefaultsValue> value(const QString& key) const override;
    bool setValue(const QString& key, const DefaultsValue& value) override;
    bool remove(const QString& key) override;
    bool setValues(const QList<std::pair<QString, DefaultsValue>>& values) override;
    void whenDurable(std::function<void(const QString& problem)> done) override;

    // Blocks until every change made so far is written or has failed, and tells whenDurable()'s
    // waiters: for tools and tests that read the file, and for a thread with no event loop.
    void waitForWrites();

    QString filePath() const;
    // How often the file was replaced, each time made durable with an fsync of the file and its folder.
    int fileWrites() const;

private:
    void load();
    void chooseDataPath();
    QString freeAsideName() const;
    void setAside(const QString& reason);
    bool keepUnreadableAside(const QString& reason);
    bool save();
    void deliver();
    void logProblem(const QString& message);

    struct Writer;

    QString directory_;
    std::shared_ptr<SystemLog> log_;
    std::function<QDateTime()> wallClock_;
    QString dataPath_; // the file read and written: filePath(), or where its link leads
    QMap<QString, DefaultsValue> values_;
    // Set while the file on disk holds data we could neither read nor copy aside: it must not be
    // replaced until a copy exists.
    QString unreadableReason_;
    QSet<QString> reportedProblems_;
    QString lastProblem_; // why the last write failed; empty once one succeeds
    quint64 requested_ = 0; // writes handed to the writer
    quint64 delivered_ = 0; // the last of them whose outcome the waiters were told
    QList<std::pair<quint64, std::function<void(const QString&)>>> waiters_;
    std::unique_ptr<QObject> context_; // where the writer's news is delivered
    std::unique_ptr<Writer> writer_;
};

} // namespace sm

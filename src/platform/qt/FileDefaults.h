#pragma once

#include "platform/Defaults.h"
#include "logging/SystemLog.h"

#include <QDateTime>
#include <QJsonObject>
#include <QMap>
#include <QSet>

#include <functional>
#include <memory>

namespace sm {

// The real defaults: one JSON file, "<directory>/defaults.json", rewritten whole and atomically on
// every change so a crash never leaves half a file. Each entry is tagged with its type, so a bool
// stays a bool and an absent key stays absent across launches.
//
// A file that cannot be understood is copied aside ("defaults.unreadable-yyyyMMdd-HHmmss.json")
// before anything may replace it, and the store starts without it. Writes that fail keep the value
// in memory for this run and return false.
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

    // "$XDG_CONFIG_HOME/spacemarquee", else "~/.config/spacemarquee".
    static QString standardDirectory();

    std::optional<DefaultsValue> value(const QString& key) const override;
    bool setValue(const QString& key, const DefaultsValue& value) override;
    bool remove(const QString& key) override;
    bool setValues(const QList<std::pair<QString, DefaultsValue>>& values) override;

    QString filePath() const;
    // How often the file was replaced, each time made durable with an fsync of the file and its folder.
    int fileWrites() const { return fileWrites_; }

private:
    void load();
    void chooseDataPath();
    QString freeAsideName() const;
    void setAside(const QString& reason);
    bool keepUnreadableAside(const QString& reason);
    bool save();
    void logProblem(const QString& message);

    QString directory_;
    std::shared_ptr<SystemLog> log_;
    std::function<QDateTime()> wallClock_;
    QString dataPath_; // the file read and written: filePath(), or where its link leads
    int fileWrites_ = 0;
    QMap<QString, DefaultsValue> values_;
    QJsonObject encoded_; // values_ in file form, kept in step so a write only serializes
    // Set while the file on disk holds data we could neither read nor copy aside: it must not be
    // replaced until a copy exists.
    QString unreadableReason_;
    QSet<QString> reportedProblems_;
};

} // namespace sm

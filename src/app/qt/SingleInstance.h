#pragma once

#include "app/AppDelegate.h"

#include <QLocalServer>
#include <QLockFile>
#include <QObject>

#include <functional>
#include <memory>
#include <optional>

namespace sm {

// One running copy per user: a lock file in the user's private runtime directory, and beside it a
// local socket on which the running copy takes URL commands from later copies (CommandClient.h is
// their side). The directory is
// already closed to other users; the socket is made user-only as well.
class SingleInstance final : public QObject {
public:
    explicit SingleInstance(const QString& directory);
    ~SingleInstance() override;

    // True when this process now holds the lock. A lock that names no live copy of this program is
    // stale and taken over: a dead pid, a pid since given to another program, or a file left empty
    // or garbled (a power cut between creating and writing it).
    bool tryLock();
    // The copy that holds the lock, when it is not this one.
    std::optional<OtherInstance> holder() const;
    // Starts accepting commands, one per connection, a line of at most UrlCommand::kMaxBytes. The
    // handler carries a command out and replies, now or later, with why it refused it (empty: done)
    // and what it has to say besides; the sender gets "ok" and that, or the reason, only then, so an
    // "ok" never runs ahead of the change it confirms.
    bool listen(CommandHandler handler, QString* error);

    QString socketPath() const { return socketPath_; }

private:
    void accept();
    bool namesLiveCopy() const;

    QString socketPath_;
    QString lockPath_;
    QLockFile lock_;
    std::unique_ptr<QLocalServer> server_;
    CommandHandler handler_;
};

} // namespace sm

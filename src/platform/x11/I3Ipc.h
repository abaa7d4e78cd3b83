#pragma once

#include "logging/Logger.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

class QLocalSocket;

namespace sm::x11 {

// i3's own IPC socket, for what EWMH cannot do there: renaming workspaces and reading the bindings.
// Each call waits for i3's answer (at most a second): i3 has updated its EWMH properties by then, so a
// refresh that follows reads what the call did. A broken connection is opened again on the next call.
class I3Ipc {
public:
    I3Ipc(QString socketPath, Logger logger);
    ~I3Ipc();
    I3Ipc(const I3Ipc&) = delete;
    I3Ipc& operator=(const I3Ipc&) = delete;

    // Runs the command; false, logged, when i3 refused it or did not answer.
    bool run(const QString& command);
    // The configuration as i3 read it; none when it cannot be had.
    std::optional<QString> config();

private:
    std::optional<QByteArray> request(quint32 type, const QByteArray& payload);

    QString socketPath_;
    Logger logger_;
    std::unique_ptr<QLocalSocket> socket_;
};

} // namespace sm::x11

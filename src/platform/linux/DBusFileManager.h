#pragma once

#include "logging/Logger.h"
#include "platform/FileManager.h"

#include <QUrl>

#include <functional>
#include <memory>

class QObject;

namespace sm {

// Reveals files through the freedesktop file manager interface
// (org.freedesktop.FileManager1.ShowItems on the session bus), which Nautilus, Dolphin, Nemo, Caja,
// Thunar and PCManFM answer. Where none answers, the files' folder opens with the default handler.
class DBusFileManager final : public FileManager {
public:
    // `openUrl` opens a folder URL with the desktop's default handler (QDesktopServices in the program).
    DBusFileManager(std::function<bool(const QUrl&)> openUrl, Logger logger);
    ~DBusFileManager() override;

    void revealFiles(const QStringList& paths) override;
    void openFolder(const QString& path) override;

private:
    std::function<bool(const QUrl&)> openUrl_;
    Logger logger_;
    // Parent of the pending calls: they die with this object instead of outliving it.
    std::unique_ptr<QObject> calls_;
};

} // namespace sm

#include "platform/kwin/KWinWorkspace.h"

#include <QCoreApplication>
#include <QGuiApplication>

namespace sm::kwin {

namespace {
constexpr int kMaxText = 1024; // captions and classes are the other program's; bounded here
}

QString KWinWorkspace::ownApplicationId() const {
    QString id = QGuiApplication::desktopFileName();
    if (id.endsWith(QLatin1String(".desktop"))) id.chop(8);
    return id.isEmpty() ? QCoreApplication::applicationName() : id;
}

std::optional<QList<WindowListEntry>> KWinWorkspace::onScreenWindows() const {
    if (!front_) return QList<WindowListEntry>{};
    return QList<WindowListEntry>{{front_->processId, kNormalWindowLayer, caption_}};
}

void KWinWorkspace::activated(const QString& caption, const QString& resourceClass,
                              const QString& desktopFile, qint64 pid) {
    RunningApplication app;
    app.applicationId = (desktopFile.isEmpty() ? resourceClass : desktopFile).left(kMaxText);
    if (app.applicationId.endsWith(QLatin1String(".desktop"))) app.applicationId.chop(8);
    app.localizedName = resourceClass.left(kMaxText);
    app.processId = pid;
    if (pid == QCoreApplication::applicationPid()) app.applicationId = ownApplicationId();
    front_ = app;
    caption_ = caption.left(kMaxText);
    applicationActivated.emit();
}

void KWinWorkspace::retitled(const QString& caption, qint64 pid) {
    if (front_ && front_->processId == pid) caption_ = caption.left(kMaxText);
}

} // namespace sm::kwin

#include "app/ProgramLock.h"

#include <QDateTime>
#include <QFileInfo>
#include <QLockFile>

#include <cstdlib>

namespace sm::ProgramLock {

namespace {

// This program is whatever carries our executable's name, wherever it was installed (an update may
// have replaced the file the running copy was started from). `spacemarquee` hands a start over to
// `spacemarquee-app` in the same process, so the two names are one program.
QString programName(const QString& link) {
    QString target = QFileInfo(link).symLinkTarget();
    target.remove(QStringLiteral(" (deleted)"));
    QString name = QFileInfo(target).fileName();
    if (name == kProgramName) name.chop(4);
    return name;
}

} // namespace

bool namesLiveCopy(const QString& lockPath) {
    QLockFile lock(lockPath);
    qint64 pid = 0;
    QString host, app;
    if (!lock.getLockInfo(&pid, &host, &app)) {
        // A copy starting right now has created the file and is about to write its line.
        const QDateTime written = QFileInfo(lockPath).lastModified();
        return written.isValid() && std::abs(written.msecsTo(QDateTime::currentDateTime())) < 1000;
    }
    const QString name = programName(QStringLiteral("/proc/%1/exe").arg(pid));
    return !name.isEmpty() && name == programName(QStringLiteral("/proc/self/exe"));
}

} // namespace sm::ProgramLock

#include "platform/linux/PrivateDirectory.h"

#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sm {

namespace {

QString errnoText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

bool isPrivateDirectoryOfOurs(const struct stat& st) {
    return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & (S_IRWXG | S_IRWXO)) == 0;
}

} // namespace

QString PrivateDirectory::standardPathFor(const QString& runtimeDirectory) {
    // The runtime directory comes from the environment, so it is checked like our own before use.
    struct stat st {};
    if (runtimeDirectory.startsWith(QLatin1Char('/')) &&
        ::stat(QFile::encodeName(runtimeDirectory).constData(), &st) == 0 && isPrivateDirectoryOfOurs(st))
        return runtimeDirectory + QStringLiteral("/spacemarquee");
    return QStringLiteral("/tmp/spacemarquee-%1").arg(::geteuid());
}

QString PrivateDirectory::standardPath() {
    return standardPathFor(QFile::decodeName(qgetenv("XDG_RUNTIME_DIR")));
}

PrivateDirectory PrivateDirectory::ensure(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    const auto refuse = [&](const QString& why) {
        return PrivateDirectory{{}, path + QStringLiteral(": ") + why};
    };

    const bool created = ::mkdir(native.constData(), S_IRWXU) == 0;
    if (!created && errno != EEXIST) return refuse(QStringLiteral("cannot create: ") + errnoText(errno));

    // Check through a descriptor so the directory judged is the one the name refers to right now.
    const int fd = ::open(native.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == ELOOP || error == ENOTDIR) return refuse(QStringLiteral("is not a real directory"));
        return refuse(QStringLiteral("cannot open: ") + errnoText(error));
    }
    struct stat st {};
    QString problem;
    if (::fstat(fd, &st) != 0)
        problem = QStringLiteral("cannot inspect: ") + errnoText(errno);
    else if (st.st_uid != ::geteuid())
        problem = QStringLiteral("owned by uid %1, not by us").arg(st.st_uid);
    else if (created && ::fchmod(fd, S_IRWXU) != 0)
        problem = QStringLiteral("cannot set mode 0700");
    else if (!created && (st.st_mode & (S_IRWXG | S_IRWXO)) != 0)
        problem = QStringLiteral("mode %1 lets others in").arg(st.st_mode & 07777, 4, 8, QLatin1Char('0'));
    ::close(fd);
    if (!problem.isEmpty()) return refuse(problem);
    return PrivateDirectory{path, {}};
}

} // namespace sm

#include "logging/TraceLog.h"

#include <QDir>
#include <QFile>
#include <QLocale>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sm {

namespace {

const QString kCurrentName = QStringLiteral("spacemarquee-trace.log");
const QString kRotatedPrefix = QStringLiteral("spacemarquee-trace-");
const QString kRotatedSuffix = QStringLiteral(".log");
constexpr int kRotatedToKeep = 5;

QString formatLocal(const QDateTime& time, const QString& pattern) {
    // The C locale keeps digits ASCII and the clock 24-hour whatever the user's locale is.
    return QLocale::c().toString(time.toLocalTime(), pattern);
}

bool isRegularFile(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
}

// Names ordered newest first; the zero-padded rotation stamp makes string order time order.
QStringList rotatedNames(const QString& directory) {
    QStringList names = QDir(directory).entryList(
        QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDir::NoSort);
    names.erase(std::remove_if(names.begin(), names.end(),
                               [](const QString& n) {
                                   return !n.startsWith(kRotatedPrefix) || !n.endsWith(kRotatedSuffix);
                               }),
                names.end());
    std::sort(names.begin(), names.end(), std::greater<>());
    return names;
}

// Moves without replacing: two launches in one second aim at the same name, and the earlier
// session's file must survive.
bool moveNoReplace(const QByteArray& from, const QByteArray& to) {
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // File systems without RENAME_NOREPLACE: link refuses an existing target just the same.
    if (::link(from.constData(), to.constData()) != 0) return false;
    ::unlink(from.constData());
    return true;
}

} // namespace

TraceLog::TraceLog(bool enabled, Options options) : enabled_(enabled), options_(std::move(options)) {
    nativeTracePath_ = QFile::encodeName(traceFilePath());
}

std::shared_ptr<TraceLog> TraceLog::memoryOnly(bool enabled) {
    return std::make_shared<TraceLog>(enabled, Options{});
}

QString TraceLog::traceFilePath() const {
    if (options_.directory.isEmpty()) return {};
    return QDir(options_.directory).filePath(kCurrentName);
}

void TraceLog::appendLine(const QString& message) {
    if (!enabled_ || options_.directory.isEmpty()) return;
    const QString stamp = formatLocal(options_.wallClock(), QStringLiteral("HH:mm:ss.zzz"));
    appendBytes((stamp + QLatin1Char(' ') + message + QLatin1Char('\n')).toUtf8());
}

void TraceLog::appendBytes(const QByteArray& bytes) {
    // Open, append, close on every line so nothing is lost when the process dies. O_NOFOLLOW refuses
    // a symlink planted at our name; O_NONBLOCK keeps a planted FIFO from hanging the caller.
    const int fd =
        ::open(nativeTracePath_.constData(),
               O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, S_IRUSR | S_IWUSR);
    if (fd < 0) return;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        const char* data = bytes.constData();
        qsizetype left = bytes.size();
        while (left > 0) {
            const ssize_t n = ::write(fd, data, static_cast<size_t>(left));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            data += n;
            left -= n;
        }
    }
    ::close(fd);
}

void TraceLog::beginSession(const QString& banner) {
    if (!enabled_ || options_.directory.isEmpty()) return;
    const QDateTime now = options_.wallClock();

    // Only a regular file is rotated: a symlink moved to a rotated name would later be attached to
    // a problem report, handing over whatever file it points at.
    const QString current = traceFilePath();
    if (isRegularFile(current)) {
        const QString rotated =
            QDir(options_.directory)
                .filePath(kRotatedPrefix + formatLocal(now, QStringLiteral("yyyyMMdd-HHmmss")) +
                          kRotatedSuffix);
        moveNoReplace(QFile::encodeName(current), QFile::encodeName(rotated)); // on failure: append
    }

    const QStringList names = rotatedNames(options_.directory);
    for (qsizetype i = kRotatedToKeep; i < names.size(); ++i)
        ::unlink(QFile::encodeName(QDir(options_.directory).filePath(names[i])).constData());

    const QString stamp = formatLocal(now, QStringLiteral("HH:mm:ss.zzz"));
    const QString rule(10, QLatin1Char('='));
    appendBytes((stamp + QLatin1Char(' ') + rule + QLatin1Char(' ') + banner + QLatin1Char(' ') + rule +
                 QLatin1Char('\n'))
                    .toUtf8());
}

QStringList TraceLog::traceLogFiles() const {
    if (options_.directory.isEmpty()) return {};
    // Symlinks are left out: these files are attached to reports and must be ours.
    QStringList files;
    if (isRegularFile(traceFilePath())) files << traceFilePath();
    const QDir dir(options_.directory);
    for (const QString& name : rotatedNames(options_.directory)) {
        const QString path = dir.filePath(name);
        if (isRegularFile(path)) files << path;
    }
    return files;
}

} // namespace sm

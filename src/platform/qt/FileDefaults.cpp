#include "platform/qt/FileDefaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace sm {

namespace {

constexpr int kFormatVersion = 1;
// Hundreds of tags take tens of kilobytes; anything this large is not ours.
constexpr qint64 kMaxFileSize = 64 * 1024 * 1024;
// Integers beyond this lose digits as JSON numbers in most readers, so they are written as text.
constexpr qint64 kMaxExactJsonInteger = qint64(1) << 53;

QString errnoText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

QJsonValue encode(const DefaultsValue& value) {
    struct Encoder {
        QJsonObject operator()(bool b) const { return {{QStringLiteral("bool"), b}}; }
        QJsonObject operator()(qint64 i) const {
            if (i >= -kMaxExactJsonInteger && i <= kMaxExactJsonInteger) return {{QStringLiteral("int"), i}};
            return {{QStringLiteral("int"), QString::number(i)}};
        }
        QJsonObject operator()(double d) const {
            if (std::isfinite(d)) return {{QStringLiteral("double"), d}};
            const char* text = std::isnan(d) ? "nan" : d > 0 ? "inf" : "-inf";
            return {{QStringLiteral("double"), QLatin1String(text)}};
        }
        QJsonObject operator()(const QString& s) const { return {{QStringLiteral("string"), s}}; }
        QJsonObject operator()(const QByteArray& bytes) const {
            // The tag list and settings are JSON documents: kept as nested JSON they stay readable in
            // the file. Only forms that reproduce the exact bytes are used.
            QJsonParseError error{};
            const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
            if (error.error == QJsonParseError::NoError && doc.toJson(QJsonDocument::Compact) == bytes)
                return {{QStringLiteral("json"),
                         doc.isArray() ? QJsonValue(doc.array()) : QJsonValue(doc.object())}};
            const QString text = QString::fromUtf8(bytes);
            if (text.toUtf8() == bytes) return {{QStringLiteral("text"), text}};
            return {{QStringLiteral("base64"), QString::fromLatin1(bytes.toBase64())}};
        }
    };
    return std::visit(Encoder{}, value);
}

std::optional<DefaultsValue> decode(const QJsonValue& entry) {
    const QJsonObject object = entry.toObject();
    if (object.size() != 1) return std::nullopt;
    const QString tag = object.begin().key();
    const QJsonValue v = object.begin().value();
    if (tag == QLatin1String("bool") && v.isBool()) return DefaultsValue(v.toBool());
    if (tag == QLatin1String("int")) {
        if (v.isDouble()) {
            const double d = v.toDouble();
            if (d == std::trunc(d) && std::fabs(d) <= static_cast<double>(kMaxExactJsonInteger))
                return DefaultsValue(static_cast<qint64>(d));
        } else if (v.isString()) {
            bool ok = false;
            const qint64 i = v.toString().toLongLong(&ok);
            if (ok) return DefaultsValue(i);
        }
        return std::nullopt;
    }
    if (tag == QLatin1String("double")) {
        if (v.isDouble()) return DefaultsValue(v.toDouble());
        const QString s = v.toString();
        if (s == QLatin1String("nan")) return DefaultsValue(std::numeric_limits<double>::quiet_NaN());
        if (s == QLatin1String("inf")) return DefaultsValue(std::numeric_limits<double>::infinity());
        if (s == QLatin1String("-inf")) return DefaultsValue(-std::numeric_limits<double>::infinity());
        return std::nullopt;
    }
    if (tag == QLatin1String("string") && v.isString()) return DefaultsValue(v.toString());
    if (tag == QLatin1String("json") && v.isObject())
        return DefaultsValue(QJsonDocument(v.toObject()).toJson(QJsonDocument::Compact));
    if (tag == QLatin1String("json") && v.isArray())
        return DefaultsValue(QJsonDocument(v.toArray()).toJson(QJsonDocument::Compact));
    if (tag == QLatin1String("text") && v.isString()) return DefaultsValue(v.toString().toUtf8());
    if (tag == QLatin1String("base64") && v.isString()) {
        auto result =
            QByteArray::fromBase64Encoding(v.toString().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
        if (result) return DefaultsValue(*result);
    }
    return std::nullopt;
}

// Copies `from` to a new file `to`, refusing to replace anything already there.
QString copyToNewFile(const QString& from, const QString& to) {
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly)) return source.errorString();
    const int fd = ::open(QFile::encodeName(to).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (fd < 0) return errnoText(errno);
    QString problem;
    while (problem.isEmpty()) {
        const QByteArray chunk = source.read(1 << 16);
        if (chunk.isEmpty()) {
            if (source.error() != QFileDevice::NoError) problem = source.errorString();
            break;
        }
        const char* data = chunk.constData();
        qsizetype left = chunk.size();
        while (left > 0) {
            const ssize_t n = ::write(fd, data, static_cast<size_t>(left));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                problem = errnoText(errno);
                break;
            }
            data += n;
            left -= n;
        }
    }
    if (problem.isEmpty() && ::fsync(fd) != 0) problem = errnoText(errno);
    ::close(fd);
    if (!problem.isEmpty()) ::unlink(QFile::encodeName(to).constData()); // a partial copy would mislead
    return problem;
}

// Replaces `path` with `bytes` through a new file beside it, synced before the rename, and syncs the
// folder after it, so the change survives a crash at any moment and a crash never leaves half a file.
// Returns the system's reason when it fails; the old file then stays as it was.
QString replaceDurably(const QString& path, const QByteArray& bytes) {
    QByteArray temporary = QFile::encodeName(path) + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC); // owner-only, as the file must be
    if (fd < 0) return errnoText(errno);
    int error = 0;
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0 && error == 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = errno;
            break;
        }
        data += n;
        left -= n;
    }
    if (error == 0 && ::fsync(fd) != 0) error = errno;
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && ::rename(temporary.constData(), QFile::encodeName(path).constData()) != 0) error = errno;
    if (error != 0) {
        ::unlink(temporary.constData());
        return errnoText(error);
    }
    // The rename is durable only once the folder's entry is on disk too.
    const int dirFd = ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(),
                             O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return {};
}

} // namespace

FileDefaults::FileDefaults(QString directory, std::shared_ptr<SystemLog> log,
                           std::function<QDateTime()> wallClock)
    : directory_(std::move(directory)), log_(std::move(log)), wallClock_(std::move(wallClock)) {
    load();
}

QString FileDefaults::standardDirectory() {
    // Relative values are invalid by the XDG rules and are ignored.
    const QString configHome = QFile::decodeName(qgetenv("XDG_CONFIG_HOME"));
    const QString base =
        configHome.startsWith(QLatin1Char('/')) ? configHome : QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/spacemarquee");
}

QString FileDefaults::filePath() const {
    return QDir(directory_).filePath(kFileName);
}

std::optional<DefaultsValue> FileDefaults::value(const QString& key) const {
    const auto it = values_.constFind(key);
    if (it == values_.constEnd()) return std::nullopt;
    return *it;
}

bool FileDefaults::setValue(const QString& key, const DefaultsValue& value) {
    values_.insert(key, value);
    encoded_.insert(key, encode(value));
    return save();
}

bool FileDefaults::remove(const QString& key) {
    values_.remove(key);
    encoded_.remove(key);
    return save();
}

bool FileDefaults::setValues(const QList<std::pair<QString, DefaultsValue>>& values) {
    for (const auto& [key, value] : values) {
        values_.insert(key, value);
        encoded_.insert(key, encode(value));
    }
    return save();
}

void FileDefaults::chooseDataPath() {
    dataPath_ = filePath();
    const QByteArray path = QFile::encodeName(dataPath_);
    struct stat entry {};
    if (::lstat(path.constData(), &entry) != 0 || S_ISREG(entry.st_mode)) return;
    if (!S_ISLNK(entry.st_mode)) return setAside(QStringLiteral("is not a regular file"));
    if (entry.st_uid != ::geteuid()) return setAside(QStringLiteral("is a link another user made"));

    // Writes replace the file through a temporary one beside it, so the folder must be the user's too.
    QFileInfo target(dataPath_);
    for (int hops = 0; hops < 40 && target.isSymLink(); ++hops)
        target.setFile(target.symLinkTarget());
    const bool exists = target.exists();
    struct stat folder {};
    if (target.isSymLink() || ::stat(QFile::encodeName(target.absolutePath()).constData(), &folder) != 0 ||
        !S_ISDIR(folder.st_mode) || folder.st_uid != ::geteuid())
        return setAside(QStringLiteral("links to %1, in no folder of the user's").arg(target.filePath()));
    if (exists && !target.isFile()) return setAside(QStringLiteral("links to something other than a file"));
    dataPath_ = target.absoluteFilePath();
    if (!exists && log_)
        log_->write(
            LogCategory::Storage, LogLevel::Default,
            QStringLiteral("defaults: %1 links to %2, which does not exist yet; the first change creates it")
                .arg(filePath(), dataPath_));
}

QString FileDefaults::freeAsideName() const {
    const QString base = QStringLiteral("defaults.unreadable-") +
                         QLocale::c().toString(wallClock_().toLocalTime(), QStringLiteral("yyyyMMdd-HHmmss"));
    for (int n = 1; n <= 100; ++n) {
        const QString name =
            base + (n == 1 ? QString() : QStringLiteral("-%1").arg(n)) + QStringLiteral(".json");
        const QFileInfo target(QDir(directory_).filePath(name));
        if (!target.exists() && !target.isSymLink()) return name;
    }
    return {};
}

// For what cannot be read as a file, so cannot be copied either: a FIFO, a folder, a link to nowhere.
// Renaming moves the entry itself (a link stays a link) and makes room for a regular file.
void FileDefaults::setAside(const QString& reason) {
    const QString name = freeAsideName();
    const bool moved =
        !name.isEmpty() && ::rename(QFile::encodeName(filePath()).constData(),
                                    QFile::encodeName(QDir(directory_).filePath(name)).constData()) == 0;
    const int error = errno;
    if (moved) {
        if (log_)
            log_->write(LogCategory::Storage, LogLevel::Error,
                        QStringLiteral("defaults: %1 %2; moved it aside as %3 and started without it")
                            .arg(filePath(), reason, name));
        return;
    }
    logProblem(
        QStringLiteral("defaults: %1 %2 and could not be moved aside (%3)")
            .arg(filePath(), reason, name.isEmpty() ? QStringLiteral("no free name") : errnoText(error)));
}

void FileDefaults::load() {
    chooseDataPath();
    // Non-blocking, and checked once open, in case something else took the name meanwhile.
    const int fd =
        ::open(QFile::encodeName(dataPath_).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT) // absent: the first launch
            keepUnreadableAside(QStringLiteral("cannot be opened (%1)").arg(errnoText(errno)));
        return;
    }
    struct stat opened {};
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
        ::close(fd);
        setAside(QStringLiteral("is not a regular file"));
        dataPath_ = filePath();
        return;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        keepUnreadableAside(QStringLiteral("cannot be opened (%1)").arg(file.errorString()));
        return;
    }
    if (file.size() > kMaxFileSize) {
        keepUnreadableAside(QStringLiteral("is %1 bytes, too large to be ours").arg(file.size()));
        return;
    }
    const QByteArray bytes = file.readAll();
    if (bytes.isEmpty()) {
        keepUnreadableAside(QStringLiteral("is empty"));
        return;
    }
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError) {
        keepUnreadableAside(
            QStringLiteral("is not valid JSON (%1 at offset %2)").arg(error.errorString()).arg(error.offset));
        return;
    }
    const QJsonObject root = doc.object();
    if (!doc.isObject() || root.value(QLatin1String("version")).toInt(-1) != kFormatVersion ||
        !root.value(QLatin1String("values")).isObject()) {
        keepUnreadableAside(QStringLiteral("is not a version %1 defaults document").arg(kFormatVersion));
        return;
    }
    QStringList rejected;
    const QJsonObject entries = root.value(QLatin1String("values")).toObject();
    for (auto it = entries.begin(); it != entries.end(); ++it) {
        if (auto v = decode(it.value())) {
            values_.insert(it.key(), *v);
            encoded_.insert(it.key(), encode(*v));
        } else {
            rejected << it.key();
        }
    }
    // One bad entry should not cost the user every other setting; the copy keeps the bad one.
    if (!rejected.isEmpty())
        keepUnreadableAside(
            QStringLiteral("has entries of unknown form (%1)").arg(rejected.join(QLatin1String(", "))));
}

bool FileDefaults::keepUnreadableAside(const QString& reason) {
    const QString stamp =
        QLocale::c().toString(wallClock_().toLocalTime(), QStringLiteral("yyyyMMdd-HHmmss"));
    const QString base = QStringLiteral("defaults.unreadable-") + stamp;
    QString problem;
    for (int n = 1; n <= 100; ++n) {
        const QString name =
            base + (n == 1 ? QString() : QStringLiteral("-%1").arg(n)) + QStringLiteral(".json");
        const QString target = QDir(directory_).filePath(name);
        if (QFileInfo(target).exists() || QFileInfo(target).isSymLink()) continue;
        problem = copyToNewFile(dataPath_, target);
        if (problem.isEmpty()) {
            unreadableReason_.clear();
            if (log_)
                log_->write(LogCategory::Storage, LogLevel::Error,
                            QStringLiteral("defaults: %1 %2; kept a copy as %3 and started without it")
                                .arg(filePath(), reason, name));
            return true;
        }
        if (QFileInfo(target).exists()) continue; // lost a race for the name
        break;
    }
    unreadableReason_ = reason;
    logProblem(QStringLiteral("defaults: %1 %2 and no copy could be kept (%3); leaving it untouched, changes "
                              "stay in memory")
                   .arg(filePath(), reason, problem.isEmpty() ? QStringLiteral("no free name") : problem));
    return false;
}

bool FileDefaults::save() {
    // Never replace data that exists nowhere else.
    if (!unreadableReason_.isEmpty() && !keepUnreadableAside(unreadableReason_)) {
        lastProblem_ = QStringLiteral("the settings file %1 and no copy of it could be kept").arg(unreadableReason_);
        return false;
    }

    if (!QFileInfo::exists(directory_)) {
        const QFileInfo info(directory_);
        if (!QDir().mkpath(info.absolutePath()) ||
            !QDir().mkdir(directory_,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner)) {
            lastProblem_ = errnoText(errno);
            logProblem(QStringLiteral("defaults: cannot create %1: %2").arg(directory_, lastProblem_));
            return false;
        }
    }

    QJsonObject root;
    root.insert(QLatin1String("version"), kFormatVersion);
    root.insert(QLatin1String("values"), encoded_);
    const QByteArray bytes = QJsonDocument(root).toJson(QJsonDocument::Indented);

    if (const QString problem = replaceDurably(dataPath_, bytes); !problem.isEmpty()) {
        lastProblem_ = problem;
        logProblem(QStringLiteral("defaults: cannot write %1: %2").arg(dataPath_, problem));
        return false;
    }
    ++fileWrites_;
    lastProblem_.clear();
    reportedProblems_.clear(); // a failure that comes back after recovery is news again
    return true;
}

void FileDefaults::whenDurable(std::function<void(const QString& problem)> done) {
    done(lastProblem_);
}

void FileDefaults::logProblem(const QString& message) {
    if (reportedProblems_.contains(message)) return;
    reportedProblems_.insert(message);
    if (log_) log_->write(LogCategory::Storage, LogLevel::Error, message);
}

} // namespace sm

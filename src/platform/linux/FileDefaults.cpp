#include "platform/linux/FileDefaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QObject>

#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <mutex>
#include <sys/stat.h>
#include <thread>
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

// Creates `directory` (owner-only) when it is missing; the system's reason when it cannot.
QString ensureDirectory(const QString& directory) {
    const QByteArray path = QFile::encodeName(directory);
    if (::mkdir(path.constData(), S_IRWXU) == 0 || errno == EEXIST) return {};
    if (errno == ENOENT && QDir().mkpath(QFileInfo(directory).absolutePath()) &&
        (::mkdir(path.constData(), S_IRWXU) == 0 || errno == EEXIST))
        return {};
    return errnoText(errno);
}

} // namespace

// Takes the newest snapshot of the values, encodes it and replaces the file. Snapshots that come
// while it writes are merged into one: only the newest matters, as each holds every value.
struct FileDefaults::Writer {
    struct Job {
        quint64 generation = 0;
        QString directory, path;
        QMap<QString, DefaultsValue> values; // implicitly shared: the snapshot costs a reference
    };

    std::mutex mutex;
    std::condition_variable wake; // a job, or the end
    std::condition_variable idle; // a job done
    std::optional<Job> next;
    bool stopping = false;
    quint64 written = 0; // the newest generation done, and how it went
    QString problem;
    int fileWrites = 0;
    std::function<void()> onWritten; // on the writer thread, after each job
    std::thread thread;

    // Writer thread only: each value's file form, reused while the value stays the same.
    QHash<QString, std::pair<DefaultsValue, QJsonValue>> encoded;

    void run() {
        std::unique_lock lock(mutex);
        for (;;) {
            wake.wait(lock, [this] { return next || stopping; });
            if (!next) return;
            Job job = std::move(*next);
            next.reset();
            lock.unlock();
            const QString outcome = write(job);
            lock.lock();
            written = job.generation;
            problem = outcome;
            if (outcome.isEmpty()) ++fileWrites;
            idle.notify_all();
            if (onWritten) onWritten();
        }
    }

    QString write(const Job& job) {
        QJsonObject values;
        QHash<QString, std::pair<DefaultsValue, QJsonValue>> reused;
        for (auto it = job.values.cbegin(); it != job.values.cend(); ++it) {
            const auto cached = encoded.constFind(it.key());
            QJsonValue value = cached != encoded.cend() && cached->first == it.value() ? cached->second
                                                                                      : encode(it.value());
            values.insert(it.key(), value);
            reused.insert(it.key(), {it.value(), std::move(value)});
        }
        encoded = std::move(reused);
        QJsonObject root;
        root.insert(QLatin1String("version"), kFormatVersion);
        root.insert(QLatin1String("values"), values);
        if (QString missing = ensureDirectory(job.directory); !missing.isEmpty()) return missing;
        return replaceDurably(job.path, QJsonDocument(root).toJson(QJsonDocument::Indented));
    }
};

FileDefaults::FileDefaults(QString directory, std::shared_ptr<SystemLog> log,
                           std::function<QDateTime()> wallClock)
    : directory_(std::move(directory)), log_(std::move(log)), wallClock_(std::move(wallClock)),
      context_(std::make_unique<QObject>()), writer_(std::make_unique<Writer>()) {
    load();
    QObject* context = context_.get();
    writer_->onWritten = [this, context] {
        QMetaObject::invokeMethod(context, [this] { deliver(); }, Qt::QueuedConnection);
    };
    writer_->thread = std::thread([writer = writer_.get()] { writer->run(); });
}

FileDefaults::~FileDefaults() {
    {
        const std::lock_guard lock(writer_->mutex);
        writer_->stopping = true; // after the job that waits, if any
    }
    writer_->wake.notify_one();
    writer_->thread.join();
}

void FileDefaults::waitForWrites() {
    {
        std::unique_lock lock(writer_->mutex);
        writer_->idle.wait(lock, [this] { return writer_->written >= requested_; });
    }
    deliver();
}

int FileDefaults::fileWrites() const {
    const std::lock_guard lock(writer_->mutex);
    return writer_->fileWrites;
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
    return save();
}

bool FileDefaults::remove(const QString& key) {
    values_.remove(key);
    return save();
}

bool FileDefaults::setValues(const QList<std::pair<QString, DefaultsValue>>& values) {
    for (const auto& [key, value] : values) {
        values_.insert(key, value);
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
        if (errno != ENOENT && errno != ENOTDIR) // absent, or its folder: the first launch
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
    {
        const std::lock_guard lock(writer_->mutex);
        writer_->next = Writer::Job{++requested_, directory_, dataPath_, values_};
    }
    writer_->wake.notify_one();
    return true;
}

// On the owner's thread: the writer's outcome to the log and to whoever waits for it.
void FileDefaults::deliver() {
    quint64 written = 0;
    QString problem;
    {
        const std::lock_guard lock(writer_->mutex);
        written = writer_->written;
        problem = writer_->problem;
    }
    if (written <= delivered_) return;
    delivered_ = written;
    lastProblem_ = problem;
    if (problem.isEmpty())
        reportedProblems_.clear(); // a failure that comes back after recovery is news again
    else
        logProblem(QStringLiteral("defaults: cannot write %1: %2; the changes are kept for this session only")
                       .arg(dataPath_, problem));
    QList<std::function<void(const QString&)>> told;
    while (!waiters_.isEmpty() && waiters_.front().first <= written)
        told << std::move(waiters_.takeFirst().second);
    for (const auto& done : told) // may change the values again, and wait anew
        done(problem);
}

void FileDefaults::whenDurable(std::function<void(const QString& problem)> done) {
    deliver();
    if (delivered_ >= requested_) return done(lastProblem_);
    waiters_.append({requested_, std::move(done)});
}

void FileDefaults::logProblem(const QString& message) {
    if (reportedProblems_.contains(message)) return;
    reportedProblems_.insert(message);
    if (log_) log_->write(LogCategory::Storage, LogLevel::Error, message);
}

} // namespace sm

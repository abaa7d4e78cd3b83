#include "platform/x11/DesktopEntryNames.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QStandardPaths>

namespace sm::x11 {

namespace {

// An entry larger than this is not a desktop entry anyone wrote by hand; it is skipped.
constexpr qint64 kMaxEntryBytes = 256 * 1024;

QStringList standardLanguages() {
    const QString name = QLocale::system().name(); // "de_AT"
    QStringList out{name};
    if (const qsizetype cut = name.indexOf(QLatin1Char('_')); cut > 0) out << name.left(cut);
    return out;
}

} // namespace

DesktopEntryNames::DesktopEntryNames(QStringList dataDirs, QStringList languages)
    : dataDirs_(dataDirs.isEmpty() ? QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation)
                                   : std::move(dataDirs)),
      languages_(languages.isEmpty() ? standardLanguages() : std::move(languages)) {}

std::optional<QString> DesktopEntryNames::nameFor(const QString& applicationId, const QString& instanceName) {
    const QString key = applicationId + QLatin1Char('\n') + instanceName;
    if (const auto it = answers_.constFind(key); it != answers_.constEnd()) return *it;
    if (!loaded_) load();
    std::optional<QString> answer;
    auto take = [&](const QString& id) {
        if (answer || id.isEmpty()) return;
        if (const auto it = byFileId_.constFind(id); it != byFileId_.constEnd() && !it->name.isEmpty())
            answer = it->name;
    };
    take(applicationId);
    take(applicationId.toLower());
    take(byStartupWmClass_.value(applicationId));
    take(instanceName);
    answers_.insert(key, answer);
    return answer;
}

void DesktopEntryNames::load() {
    loaded_ = true;
    for (const QString& dir : dataDirs_) {
        const QDir applications(dir + QStringLiteral("/applications"));
        const auto files =
            applications.entryInfoList({QStringLiteral("*.desktop")}, QDir::Files | QDir::Readable);
        for (const QFileInfo& file : files) {
            const QString id = file.completeBaseName();
            if (byFileId_.contains(id)) continue; // an earlier directory overrides
            const auto entry = readEntry(file.filePath());
            if (!entry) continue;
            byFileId_.insert(id, *entry);
            if (!entry->startupWmClass.isEmpty() && !byStartupWmClass_.contains(entry->startupWmClass))
                byStartupWmClass_.insert(entry->startupWmClass, id);
        }
    }
}

// Only the [Desktop Entry] group counts; actions' groups have Names of their own.
std::optional<DesktopEntryNames::Entry> DesktopEntryNames::readEntry(const QString& path) const {
    QFile file(path);
    if (file.size() > kMaxEntryBytes || !file.open(QIODevice::ReadOnly)) return std::nullopt;
    Entry entry;
    QHash<QString, QString> localized;
    bool inMain = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine(4096)).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inMain = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (!inMain || line.startsWith(QLatin1Char('#'))) continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0) continue;
        const QString key = line.left(eq).trimmed();
        const QString value = line.mid(eq + 1).trimmed();
        if (key == QLatin1String("Name"))
            entry.name = value;
        else if (key == QLatin1String("StartupWMClass"))
            entry.startupWmClass = value;
        else if (key.startsWith(QLatin1String("Name[")) && key.endsWith(QLatin1Char(']')))
            localized.insert(key.mid(5, key.size() - 6), value);
    }
    for (const QString& language : languages_)
        if (const auto it = localized.constFind(language); it != localized.constEnd()) {
            entry.name = *it;
            break;
        }
    return entry;
}

} // namespace sm::x11

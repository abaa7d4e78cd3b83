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

// Only the [Desktop Entry] group counts; actions' groups have Names of their own. A full desktop has
// hundreds of entries, each with its translations: lines are looked at as bytes, and only the few
// keys used here are decoded.
std::optional<DesktopEntryNames::Entry> DesktopEntryNames::readEntry(const QString& path) const {
    QFile file(path);
    if (file.size() > kMaxEntryBytes || !file.open(QIODevice::ReadOnly)) return std::nullopt;
    const QByteArray content = file.read(kMaxEntryBytes);
    Entry entry;
    qsizetype localizedRank = languages_.size(); // of the Name[...] taken: lower is better
    bool inMain = false;
    const QByteArrayView all(content);
    for (qsizetype from = 0; from < all.size();) {
        qsizetype to = all.indexOf('\n', from);
        if (to < 0) to = all.size();
        const QByteArrayView line = all.sliced(from, to - from).trimmed();
        from = to + 1;
        if (line.startsWith('[')) {
            if (inMain) break; // the main group is over
            inMain = line == "[Desktop Entry]";
            continue;
        }
        if (!inMain || !(line.startsWith("Name") || line.startsWith("StartupWMClass"))) continue;
        const qsizetype eq = line.indexOf('=');
        if (eq <= 0) continue;
        const QByteArrayView key = line.first(eq).trimmed();
        const auto value = [&] { return QString::fromUtf8(line.sliced(eq + 1).trimmed()); };
        if (key == "Name") {
            if (localizedRank == languages_.size()) entry.name = value(); // no translation taken yet
        } else if (key == "StartupWMClass") {
            entry.startupWmClass = value();
        } else if (key.startsWith("Name[") && key.endsWith(']')) {
            const qsizetype rank = languages_.indexOf(QLatin1String(key.sliced(5, key.size() - 6)));
            if (rank >= 0 && rank < localizedRank) {
                localizedRank = rank;
                entry.name = value();
            }
        }
    }
    return entry;
}

} // namespace sm::x11

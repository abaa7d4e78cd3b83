#include "app/AutostartLoginItem.h"

#include "logging/TraceFormat.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <cerrno>

namespace sm {

namespace {

constexpr qint64 kMaxEntryBytes = 64 * 1024; // a real entry is a few hundred bytes

// Values of the [Desktop Entry] group; later groups (actions) are ignored.
QHash<QString, QString> mainGroup(const QString& text) {
    QHash<QString, QString> values;
    bool inMain = false;
    for (QString line : text.split(QLatin1Char('\n'))) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) continue;
        if (line.startsWith(QLatin1Char('['))) {
            inMain = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (!inMain || eq <= 0) continue;
        const QString key = line.left(eq).trimmed();
        if (!values.contains(key)) values.insert(key, line.mid(eq + 1).trimmed());
    }
    return values;
}

// String values escape \s, \n, \t, \r and the backslash itself.
QString unescapeValue(const QString& value) {
    QString out;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] != QLatin1Char('\\') || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        const QChar c = value[++i];
        out += c == QLatin1Char('s')   ? QChar(u' ')
               : c == QLatin1Char('n') ? QChar(u'\n')
               : c == QLatin1Char('t') ? QChar(u'\t')
               : c == QLatin1Char('r') ? QChar(u'\r')
                                       : c;
    }
    return out;
}

// The program of an Exec line: its first word, quoted or not.
QString execProgram(const QString& value) {
    const QString exec = unescapeValue(value);
    if (exec.startsWith(QLatin1Char('"'))) {
        QString out;
        for (qsizetype i = 1; i < exec.size(); ++i) {
            const QChar c = exec[i];
            if (c == QLatin1Char('\\') && i + 1 < exec.size())
                out += exec[++i];
            else if (c == QLatin1Char('"'))
                return out.replace(QStringLiteral("%%"), QStringLiteral("%"));
            else
                out += c;
        }
        return out;
    }
    return exec.section(QLatin1Char(' '), 0, 0, QString::SectionSkipEmpty)
        .replace(QStringLiteral("%%"), QStringLiteral("%"));
}

// Quoting of the Exec key: arguments with reserved characters go in double quotes, where ", `, $ and
// \ take a backslash; the backslash itself is then escaped once more as a string value. A literal %
// is doubled.
QString execArgument(const QString& arg) {
    static const QString plain =
        QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789/._+-,:@");
    bool safe = !arg.isEmpty();
    for (const QChar c : arg)
        safe = safe && plain.contains(c);
    if (safe) return arg;
    QString out = QStringLiteral("\"");
    for (const QChar c : arg) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$'))
            out += QLatin1String("\\\\");
        if (c == QLatin1Char('\\')) out += QLatin1String("\\\\\\");
        if (c == QLatin1Char('%')) out += QLatin1Char('%');
        out += c;
    }
    return out + QLatin1Char('"');
}

} // namespace

AutostartLoginItem::AutostartLoginItem(Options options) : options_(std::move(options)) {}

QString AutostartLoginItem::standardDirectory() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(QStringLiteral("autostart"));
}

QString AutostartLoginItem::filePath() const {
    return QDir(options_.directory).filePath(kFileName);
}

QString AutostartLoginItem::entryText(const QString& executable) {
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Spacemarquee\n"
                          "Comment=Shows the name of each virtual desktop\n"
                          "Exec=%1 %2\n"
                          "Icon=spacemarquee\n"
                          "Terminal=false\n"
                          "X-GNOME-Autostart-enabled=true\n")
        .arg(execArgument(executable), kLoginItemFlag);
}

LoginItemStatus AutostartLoginItem::statusOf(const QString& text,
                                             const std::function<bool(const QString&)>& programExists) {
    const auto values = mainGroup(text);
    if (values.value(QStringLiteral("Hidden")).compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 ||
        values.value(QStringLiteral("X-GNOME-Autostart-enabled"))
                .compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
        return LoginItemStatus::requiresApproval;
    const QString program = execProgram(values.value(QStringLiteral("Exec")));
    if (program.isEmpty() || !programExists(program)) return LoginItemStatus::notFound;
    return LoginItemStatus::enabled;
}

LoginItemStatus AutostartLoginItem::status() const {
    const QFileInfo info(filePath());
    if (!info.exists() && !info.isSymLink()) return LoginItemStatus::notRegistered;
    QFile file(filePath());
    if (!info.isFile() || info.size() > kMaxEntryBytes || !file.open(QIODevice::ReadOnly))
        return LoginItemStatus::notFound; // there, but not an entry the desktop can start
    return statusOf(QString::fromUtf8(file.readAll()), [](const QString& program) {
        if (QDir::isAbsolutePath(program)) {
            const QFileInfo p(program);
            return p.isFile() && p.isExecutable();
        }
        return !QStandardPaths::findExecutable(program).isEmpty();
    });
}

LoginItemCallOutcome AutostartLoginItem::registerItem() {
    const LoginItemStatus before = status();
    if (!QDir().mkpath(options_.directory))
        return finish(LoginItemOperation::registerItem, before, EACCES,
                      QStringLiteral("cannot create ") + options_.directory);
    QSaveFile file(filePath());
    if (!file.open(QIODevice::WriteOnly) || file.write(entryText(options_.executable).toUtf8()) < 0 ||
        !file.commit())
        return finish(LoginItemOperation::registerItem, before, EIO, file.errorString());
    return finish(LoginItemOperation::registerItem, before, 0, {});
}

LoginItemCallOutcome AutostartLoginItem::unregisterItem() {
    const LoginItemStatus before = status();
    QFile file(filePath());
    if (!file.exists())
        return finish(LoginItemOperation::unregisterItem, before, ENOENT, QStringLiteral("no entry"));
    if (!file.remove()) return finish(LoginItemOperation::unregisterItem, before, EACCES, file.errorString());
    return finish(LoginItemOperation::unregisterItem, before, 0, {});
}

LoginItemCallOutcome AutostartLoginItem::finish(LoginItemOperation operation, LoginItemStatus before,
                                                int code, const QString& error) {
    const QString op = toString(operation);
    if (code == 0) {
        SM_TRACE(options_.logger, QStringLiteral("launchAtLogin %1 OK before=%2 after=%3 bundle=%4")
                                      .arg(op, toString(before), toString(status()), options_.executable));
        return LoginItemCallOutcome::succeeded;
    }
    // Removing an entry that is not there is what was asked for.
    const auto outcome = operation == LoginItemOperation::unregisterItem && code == ENOENT
                             ? LoginItemCallOutcome::succeeded
                             : LoginItemCallOutcome::failed;
    SM_TRACE(options_.logger, QStringLiteral("launchAtLogin %1 domain=autostart code=%2 known=true -> %3 "
                                             "before=%4 after=%5 error='%6' bundle=%7")
                                  .arg(op, QString::number(code), toString(outcome), toString(before),
                                       toString(status()), error, options_.executable));
    return outcome;
}

QStringList AutostartLoginItem::sessionSettingsCommand(const QString& currentDesktop) {
    static const QList<std::pair<QString, QStringList>> known = {
        {QStringLiteral("XFCE"), {QStringLiteral("xfce4-session-settings")}},
        {QStringLiteral("MATE"), {QStringLiteral("mate-session-properties")}},
        {QStringLiteral("LXQt"), {QStringLiteral("lxqt-config-session")}},
        {QStringLiteral("X-Cinnamon"), {QStringLiteral("cinnamon-settings"), QStringLiteral("startup")}},
        {QStringLiteral("KDE"), {QStringLiteral("systemsettings"), QStringLiteral("kcm_autostart")}},
    };
    for (const QString& desktop : currentDesktop.split(QLatin1Char(':'), Qt::SkipEmptyParts))
        for (const auto& [name, command] : known)
            if (desktop.compare(name, Qt::CaseInsensitive) == 0) return command;
    return {};
}

void AutostartLoginItem::openSettings() {
    const QStringList command = sessionSettingsCommand(options_.currentDesktop);
    if (!command.isEmpty() && options_.startProgram &&
        !QStandardPaths::findExecutable(command.first()).isEmpty() &&
        options_.startProgram(command.first(), command.mid(1)))
        return;
    QDir().mkpath(options_.directory);
    if (!options_.openUrl || !options_.openUrl(QUrl::fromLocalFile(options_.directory)))
        options_.logger.error(QStringLiteral("Could not open the autostart folder ") + options_.directory);
}

} // namespace sm

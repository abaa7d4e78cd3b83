#include "rules/DesktopNamePolicy.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <algorithm>

namespace sm::DesktopNamePolicy {

QStringList ownNames(const QStringList& current, const Record& record) {
    QList<std::optional<QString>> names;
    for (qsizetype i = 0; i < current.size(); ++i) {
        const bool ours = i < record.written.size() && current[i] == record.written[i];
        if (!ours)
            names << current[i];
        else if (i < record.original.size())
            names << record.original[i];
        else
            names << std::nullopt; // a name that exists only because a title was written there
    }
    while (!names.isEmpty() && !names.last())
        names.removeLast();
    QStringList out;
    for (const auto& name : names)
        out << name.value_or(QString());
    return out;
}

QStringList namesToWrite(const QStringList& own, const QMap<int, QString>& titles) {
    QStringList names = own;
    for (auto it = titles.begin(); it != titles.end(); ++it) {
        const QString title = it.value().trimmed();
        if (it.key() < 0 || title.isEmpty()) continue;
        while (names.size() <= it.key())
            names << QString();
        names[it.key()] = title;
    }
    return names;
}

bool titleOverwritten(const QStringList& current, const Record& record) {
    const qsizetype n = std::min(current.size(), record.written.size());
    for (qsizetype i = 0; i < n; ++i) {
        const bool wroteTitle = record.written[i] != record.original.value(i);
        if (wroteTitle && !current[i].isEmpty() && current[i] != record.written[i]) return true;
    }
    return false;
}

bool isGeneric(const QString& name) {
    static const QRegularExpression generic(QStringLiteral(R"(^(?:(?:desktop|workspace)\s*)?\d+$)"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QString trimmed = name.trimmed();
    return trimmed.isEmpty() || generic.match(trimmed).hasMatch();
}

QString chosenPart(const QString& name) {
    static const QRegularExpression numbered(QStringLiteral(R"(^\s*\d+\s*:\s*(.*)$)"));
    const auto match = numbered.match(name);
    const QString chosen = (match.hasMatch() ? match.captured(1) : name).trimmed();
    return isGeneric(chosen) ? QString() : chosen;
}

QByteArray encode(const Record& record) {
    QJsonObject o;
    o.insert(QLatin1String("original"), QJsonArray::fromStringList(record.original));
    o.insert(QLatin1String("written"), QJsonArray::fromStringList(record.written));
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

std::optional<Record> decode(const QByteArray& json) {
    const QJsonDocument document = QJsonDocument::fromJson(json);
    if (!document.isObject()) return std::nullopt;
    const auto list = [&](const char* key) -> std::optional<QStringList> {
        const QJsonValue value = document.object().value(QLatin1String(key));
        if (!value.isArray()) return std::nullopt;
        QStringList out;
        for (const QJsonValue& v : value.toArray()) {
            if (!v.isString()) return std::nullopt;
            out << v.toString();
        }
        return out;
    };
    const auto original = list("original");
    const auto written = list("written");
    if (!original || !written) return std::nullopt;
    return Record{*original, *written};
}

} // namespace sm::DesktopNamePolicy

#include "platform/WorkspaceNames.h"

#include <QRegularExpression>

#include <algorithm>

namespace sm::WorkspaceNames {

std::optional<int> numberOf(const QString& name) {
    static const QRegularExpression leading(QStringLiteral(R"(^(\d{1,9})(?:$|\D))"));
    const auto match = leading.match(name);
    if (!match.hasMatch()) return std::nullopt;
    return match.captured(1).toInt();
}

QString withTitle(const QString& own, const QString& title) {
    const QString trimmed = title.trimmed();
    const auto number = numberOf(own);
    if (trimmed.isEmpty() || !number || own != QString::number(*number)) return own;
    return QStringLiteral("%1: %2").arg(own, trimmed);
}

QStringList byNumber(const QStringList& names) {
    QStringList out;
    for (const QString& name : names) {
        const auto number = numberOf(name);
        // A number no bar shows as a position: a list this long would be all gaps.
        if (!number || *number > 1000) continue;
        while (out.size() <= *number)
            out << QString();
        if (out[*number].isEmpty()) out[*number] = name;
    }
    return out;
}

namespace {

QString unquoted(QString value) {
    value = value.trimmed();
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') && value.back() == value.front())
        return value.mid(1, value.size() - 2);
    return value;
}

} // namespace

QSet<QString> reachedByName(const QString& config) {
    static const QRegularExpression setLine(QStringLiteral(R"(^\s*set\s+(\$\w+)\s+(.*?)\s*$)"));
    static const QRegularExpression reference(QStringLiteral(
        R"((?:^|[\s;,'"])workspace\s+(?:--no-auto-back-and-forth\s+)?("[^"]*"|'[^']*'|[^;,"']+))"));
    // A bare name runs to the end of the command; the configuration's `workspace N output X` names
    // the workspace before the word output.
    static const QRegularExpression outputClause(QStringLiteral(R"(\s+output\s.*$)"));
    static const QSet<QString> keywords{QStringLiteral("number"),         QStringLiteral("next"),
                                        QStringLiteral("prev"),           QStringLiteral("next_on_output"),
                                        QStringLiteral("prev_on_output"), QStringLiteral("back_and_forth"),
                                        QStringLiteral("to")};
    const QStringList lines = config.split(u'\n');
    QList<std::pair<QString, QString>> variables;
    for (const QString& line : lines)
        if (const auto m = setLine.match(line); m.hasMatch()) variables.append({m.captured(1), m.captured(2)});
    // $ws10 before $ws1: the longer name first, so neither eats the other.
    std::sort(variables.begin(), variables.end(),
              [](const auto& a, const auto& b) { return a.first.size() > b.first.size(); });

    QSet<QString> names;
    for (QString line : lines) {
        line = line.trimmed();
        if (line.startsWith(u'#') || line.startsWith(QLatin1String("set "))) continue;
        for (const auto& [name, value] : variables)
            line.replace(name, value);
        auto it = reference.globalMatch(line);
        while (it.hasNext()) {
            QString target = it.next().captured(1).trimmed();
            if (!target.startsWith(u'"') && !target.startsWith(u'\'')) target.remove(outputClause);
            if (!keywords.contains(target.section(u' ', 0, 0))) names.insert(unquoted(target));
        }
    }
    return names;
}

} // namespace sm::WorkspaceNames

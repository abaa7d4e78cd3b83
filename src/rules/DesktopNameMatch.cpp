#include "rules/DesktopNameMatch.h"

namespace sm::DesktopNameMatch {

Result match(const QStringList& names, const QString& name) {
    const QString wanted = name.trimmed();
    if (wanted.isEmpty()) return {};
    using Test = bool (*)(const QString&, const QString&);
    const Test tiers[] = {
        [](const QString& n, const QString& w) { return n == w; },
        [](const QString& n, const QString& w) { return n.compare(w, Qt::CaseInsensitive) == 0; },
        [](const QString& n, const QString& w) { return n.startsWith(w, Qt::CaseInsensitive); },
    };
    for (const Test matches : tiers) {
        Result result;
        for (int i = 0; i < names.size(); ++i)
            if (!names[i].isEmpty() && matches(names[i], wanted)) result.matches << i;
        if (result.matches.isEmpty()) continue;
        result.kind = result.matches.size() == 1 ? Result::Kind::found : Result::Kind::ambiguous;
        return result;
    }
    return {};
}

} // namespace sm::DesktopNameMatch

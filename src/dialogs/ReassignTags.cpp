#include "dialogs/ReassignTags.h"

#include <algorithm>

namespace sm::ReassignTags {

QList<Row> rows(const QList<SpaceTag>& tags) {
    QList<SpaceTag> shown;
    for (const auto& tag : tags)
        if (!tag.isTombstone) shown << tag;
    std::stable_sort(shown.begin(), shown.end(),
                     [](const SpaceTag& a, const SpaceTag& b) { return a.displayIndex < b.displayIndex; });
    QList<Row> out;
    for (const auto& tag : shown)
        out << Row{tag.id, QStringLiteral("#%1").arg(qint64(tag.displayIndex) + 1), tag.title};
    return out;
}

} // namespace sm::ReassignTags

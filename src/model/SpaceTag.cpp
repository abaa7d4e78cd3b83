#include "model/SpaceTag.h"

#include <algorithm>

namespace sm {

QString uuidText(const QUuid& id) {
    return id.toString(QUuid::WithoutBraces).toUpper();
}

int nextDisplayIndex(const QList<SpaceTag>& tags, const std::optional<QString>& screen) {
    int highest = -1;
    for (const auto& t : tags)
        if (t.screenIdentifier == screen) highest = std::max(highest, t.displayIndex);
    return highest >= SpaceTag::kMaxDisplayIndex ? SpaceTag::kMaxDisplayIndex : highest + 1;
}

} // namespace sm

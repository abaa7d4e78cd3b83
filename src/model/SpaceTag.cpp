#include "model/SpaceTag.h"

namespace sm {

QString uuidText(const QUuid& id) {
    return id.toString(QUuid::WithoutBraces).toUpper();
}

} // namespace sm

#include "platform/x11/ScreenIdentity.h"

#include <QStringList>
#include <QUuid>

#include <algorithm>

namespace sm::x11 {

namespace {
// Names stable screen identifiers derived from what the monitor tells about itself.
const QUuid kScreenNamespace(QStringLiteral("{5b0f3c3e-8d1e-4a47-9a0c-6e2f2d7c41a9}"));

QString keyOf(const MonitorDescription& m) {
    const bool hasEdid = !m.manufacturer.isEmpty() || !m.serialNumber.isEmpty();
    if (!hasEdid) return QStringLiteral("name:") + m.name;
    return QStringLiteral("edid:") + QStringList{m.manufacturer, m.model, m.serialNumber}.join(u'|');
}
} // namespace

QString stableScreenId(const MonitorDescription& monitor, const QList<MonitorDescription>& attached) {
    QString key = keyOf(monitor);
    const bool twinned = std::any_of(attached.begin(), attached.end(), [&](const MonitorDescription& other) {
        return other.name != monitor.name && keyOf(other) == key;
    });
    if (twinned) key += QStringLiteral("|connector:") + monitor.name;
    return QUuid::createUuidV5(kScreenNamespace, key).toString(QUuid::WithoutBraces).toUpper();
}

} // namespace sm::x11

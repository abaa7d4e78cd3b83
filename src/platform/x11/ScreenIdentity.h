#pragma once

#include <QList>
#include <QString>

namespace sm::x11 {

// What a monitor tells about itself: its connector (or RandR monitor) name and its EDID's fields,
// empty when it has no EDID.
struct MonitorDescription {
    QString name;
    QString manufacturer;
    QString model;
    QString serialNumber;
};

// The stable identifier (upper-case UUID text) of `monitor` among the `attached` ones, which include
// it. A monitor is known by its EDID, so that it keeps its identifier on another connector, or by its
// name when it has none. Identical monitors without distinct serial numbers would share one: those
// are told apart by their connectors, while a monitor without a twin keeps the identifier it always had.
QString stableScreenId(const MonitorDescription& monitor, const QList<MonitorDescription>& attached);

} // namespace sm::x11

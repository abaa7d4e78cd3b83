#include "platform/kwin/KWinDesktops.h"

#include <QDBusArgument>
#include <QDBusVariant>
#include <QVariant>

#include <algorithm>

namespace sm::kwin {

namespace {

constexpr int kMaxDesktops = 1000; // far beyond any real session; bounds a hostile reply
constexpr int kMaxNameLength = 512;

QDBusArgument argumentOf(const QVariant& value) {
    if (value.canConvert<QDBusVariant>() && value.userType() == qMetaTypeId<QDBusVariant>())
        return argumentOf(value.value<QDBusVariant>().variant());
    return value.value<QDBusArgument>();
}

bool isArgument(const QVariant& value) {
    if (value.userType() == qMetaTypeId<QDBusVariant>())
        return isArgument(value.value<QDBusVariant>().variant());
    return value.userType() == qMetaTypeId<QDBusArgument>();
}

std::optional<Desktop> readStructure(const QDBusArgument& argument) {
    // KWin describes the position as signed and sends it unsigned: either is read.
    const QString signature = argument.currentSignature();
    if (argument.currentType() != QDBusArgument::StructureType ||
        (signature != QLatin1String("(iss)") && signature != QLatin1String("(uss)")))
        return std::nullopt;
    Desktop d;
    argument.beginStructure();
    if (signature.at(1) == u'u') {
        uint position = 0;
        argument >> position;
        d.position = static_cast<int>(std::min(position, 1000000u));
    } else {
        argument >> d.position;
    }
    argument >> d.id >> d.name;
    argument.endStructure();
    d.name.truncate(kMaxNameLength);
    return d;
}

void sortByPosition(QList<Desktop>& desktops) {
    std::stable_sort(desktops.begin(), desktops.end(),
                     [](const Desktop& a, const Desktop& b) { return a.position < b.position; });
}

} // namespace

std::optional<QList<Desktop>> readDesktops(const QVariant& value) {
    if (!isArgument(value)) return std::nullopt;
    const QDBusArgument argument = argumentOf(value);
    if (argument.currentType() != QDBusArgument::ArrayType ||
        (argument.currentSignature() != QLatin1String("a(iss)") &&
         argument.currentSignature() != QLatin1String("a(uss)")))
        return std::nullopt;
    QList<Desktop> desktops;
    argument.beginArray();
    while (!argument.atEnd()) {
        const auto d = readStructure(argument);
        if (!d) return std::nullopt;
        if (!d->id.isEmpty() && desktops.size() < kMaxDesktops) desktops.append(*d);
    }
    argument.endArray();
    sortByPosition(desktops);
    return desktops;
}

std::optional<Desktop> readDesktop(const QVariant& value) {
    if (!isArgument(value)) return std::nullopt;
    auto d = readStructure(argumentOf(value));
    if (!d || d->id.isEmpty()) return std::nullopt;
    return d;
}

} // namespace sm::kwin

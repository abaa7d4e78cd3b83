#include "platform/gnome/GnomeBridgeState.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace sm::gnome {

namespace {
constexpr qsizetype kMaxTitle = 4096;
constexpr qsizetype kMaxEntries = 4096;

QString bounded(const QJsonValue& value) {
    return value.toString().left(kMaxTitle);
}

QRect rectOf(const QJsonObject& o) {
    return {o.value(QLatin1String("x")).toInt(), o.value(QLatin1String("y")).toInt(),
            o.value(QLatin1String("width")).toInt(), o.value(QLatin1String("height")).toInt()};
}
} // namespace

std::optional<BridgeState> parseState(const QByteArray& json, QString* error) {
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (!document.isObject()) {
        *error = parseError.error != QJsonParseError::NoError ? parseError.errorString()
                                                              : QStringLiteral("not an object");
        return std::nullopt;
    }
    const QJsonObject root = document.object();
    for (const char* key : {"workspaces", "monitors", "windows"})
        if (!root.value(QLatin1String(key)).isArray()) {
            *error = QStringLiteral("no list of %1").arg(QLatin1String(key));
            return std::nullopt;
        }
    BridgeState state;
    state.version = root.value(QLatin1String("version")).toString();
    for (const auto& id : root.value(QLatin1String("workspaces")).toArray()) {
        const qint64 value = id.toInteger(0);
        if (value <= 0 || state.workspaces.size() >= kMaxEntries) {
            *error = QStringLiteral("a workspace without an id");
            return std::nullopt;
        }
        state.workspaces << quint64(value);
    }
    state.active = root.value(QLatin1String("active")).toInt(-1);
    state.overview = root.value(QLatin1String("overview")).toBool();
    for (const auto& name : root.value(QLatin1String("names")).toArray()) {
        if (state.names.size() >= kMaxEntries) break;
        state.names << bounded(name);
    }
    if (state.active < 0 || state.active >= state.workspaces.size()) {
        *error = QStringLiteral("the active workspace %1 is not among %2")
                     .arg(state.active)
                     .arg(state.workspaces.size());
        return std::nullopt;
    }
    for (const auto& m : root.value(QLatin1String("monitors")).toArray()) {
        const QJsonObject o = m.toObject();
        MonitorInfo info{o.value(QLatin1String("index")).toInt(), rectOf(o),
                         o.value(QLatin1String("primary")).toBool()};
        if (info.rect.isEmpty()) continue; // a monitor being switched off
        state.monitors << info;
    }
    if (const QJsonObject f = root.value(QLatin1String("focus")).toObject(); !f.isEmpty())
        state.focus = FocusedWindow{bounded(f.value(QLatin1String("title"))),
                                    bounded(f.value(QLatin1String("appId"))),
                                    bounded(f.value(QLatin1String("appName"))),
                                    f.value(QLatin1String("pid")).toInteger()};
    for (const auto& w : root.value(QLatin1String("windows")).toArray()) {
        const QJsonObject o = w.toObject();
        state.windows << OwnWindow{bounded(o.value(QLatin1String("marker"))),
                                   o.value(QLatin1String("pid")).toInteger(),
                                   quint64(std::max<qint64>(0, o.value(QLatin1String("workspace")).toInteger())),
                                   rectOf(o), o.value(QLatin1String("showing")).toBool()};
    }
    for (const auto& w : root.value(QLatin1String("stack")).toArray()) {
        if (state.stack.size() >= kMaxEntries) break;
        const QJsonObject o = w.toObject();
        state.stack << StackEntry{o.value(QLatin1String("pid")).toInteger(),
                                  bounded(o.value(QLatin1String("title"))),
                                  o.value(QLatin1String("normal")).toBool()};
    }
    return state;
}

QString versionProblem(const QString& bridgeVersion, const QString& programVersion) {
    if (bridgeVersion == programVersion) return {};
    return QStringLiteral("The GNOME Shell extension %1 is version %2, but Spacemarquee is %3: install the "
                          "extension of this version (it comes with the program) and log out and in again.")
        .arg(QLatin1String(kExtensionUuid), bridgeVersion.isEmpty() ? QStringLiteral("unknown") : bridgeVersion,
             programVersion);
}

QString enableCommand() {
    return QStringLiteral("gnome-extensions enable ") + QLatin1String(kExtensionUuid);
}

QString xwaylandFallbackProblem(bool bridgeOn) {
    if (bridgeOn)
        return QStringLiteral("The GNOME bridge is on now. Quit Spacemarquee (spacemarquee quit) and start it "
                              "again to use it; until then the labels stay on Xwayland.");
    return QStringLiteral("GNOME bridge missing: the GNOME Shell extension %1 is not installed or not enabled, so "
                          "Spacemarquee runs through Xwayland, where its labels keep GNOME's workspaces from "
                          "being removed and automatic naming sees only X11 windows. Turn it on with: %2 (log out "
                          "and in again if GNOME does not know it yet), then restart Spacemarquee.")
        .arg(QLatin1String(kExtensionUuid), enableCommand());
}

} // namespace sm::gnome

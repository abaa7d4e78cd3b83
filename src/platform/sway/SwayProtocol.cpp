#include "platform/sway/SwayProtocol.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <cstring>

namespace sm::sway {

namespace ipc {

QByteArray encode(quint32 type, const QByteArray& payload) {
    QByteArray out(kMagic, kMagicSize);
    const auto length = static_cast<quint32>(payload.size());
    out.append(reinterpret_cast<const char*>(&length), sizeof length);
    out.append(reinterpret_cast<const char*>(&type), sizeof type);
    out.append(payload);
    return out;
}

Taken take(QByteArray& buffer, qsizetype maxPayload) {
    const qsizetype magicSeen = std::min(buffer.size(), kMagicSize);
    if (std::memcmp(buffer.constData(), kMagic, static_cast<std::size_t>(magicSeen)) != 0)
        return {Taken::Status::malformed, {}};
    if (buffer.size() < kHeaderSize) return {};
    quint32 length = 0;
    quint32 type = 0;
    std::memcpy(&length, buffer.constData() + kMagicSize, sizeof length);
    std::memcpy(&type, buffer.constData() + kMagicSize + 4, sizeof type);
    if (static_cast<qint64>(length) > maxPayload) return {Taken::Status::oversized, {}};
    if (buffer.size() < kHeaderSize + static_cast<qsizetype>(length)) return {};
    Taken taken{Taken::Status::frame, {type, buffer.mid(kHeaderSize, static_cast<qsizetype>(length))}};
    buffer.remove(0, kHeaderSize + static_cast<qsizetype>(length));
    return taken;
}

} // namespace ipc

namespace {

std::optional<QJsonDocument> document(const QByteArray& json, QString* error) {
    QJsonParseError parseError{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        if (error) *error = QStringLiteral("not JSON: ") + parseError.errorString();
        return std::nullopt;
    }
    return doc;
}

std::optional<QJsonArray> array(const QByteArray& json, const char* what, QString* error) {
    const auto doc = document(json, error);
    if (!doc) return std::nullopt;
    if (!doc->isArray()) {
        if (error) *error = QStringLiteral("%1: expected a list").arg(QLatin1String(what));
        return std::nullopt;
    }
    return doc->array();
}

QRect rectOf(const QJsonValue& value) {
    const QJsonObject r = value.toObject();
    return {r.value(QLatin1String("x")).toInt(), r.value(QLatin1String("y")).toInt(),
            r.value(QLatin1String("width")).toInt(), r.value(QLatin1String("height")).toInt()};
}

qint64 integer(const QJsonObject& o, const char* key) {
    return o.value(QLatin1String(key)).toInteger(0);
}
QString text(const QJsonObject& o, const char* key) {
    return o.value(QLatin1String(key)).toString();
}
bool flag(const QJsonObject& o, const char* key) {
    return o.value(QLatin1String(key)).toBool(false);
}

// Views are the nodes with a pid; the tree's own depth is small, but a hostile reply is not trusted.
void collectWindows(const QJsonObject& node, qint64 pid, qint64 workspaceId, QString workspace, int depth,
                    QList<WindowInfo>* out, QHash<qint64, int>* viewsOn) {
    if (depth > 64) return;
    if (text(node, "type") == QLatin1String("workspace")) {
        workspaceId = integer(node, "id");
        workspace = text(node, "name");
    }
    const qint64 owner = integer(node, "pid");
    if (owner != 0 && node.value(QLatin1String("nodes")).toArray().isEmpty()) {
        if (viewsOn && workspaceId) ++(*viewsOn)[workspaceId];
        if (owner == pid)
            out->append({integer(node, "id"), pid, text(node, "name"), workspaceId, workspace,
                         rectOf(node.value(QLatin1String("rect"))), flag(node, "visible"),
                         flag(node, "focused")});
    }
    for (const char* children : {"nodes", "floating_nodes"})
        for (const QJsonValue& child : node.value(QLatin1String(children)).toArray())
            if (child.isObject())
                collectWindows(child.toObject(), pid, workspaceId, workspace, depth + 1, out, viewsOn);
}

ViewInfo viewOf(const QJsonObject& node) {
    const QJsonObject x = node.value(QLatin1String("window_properties")).toObject();
    return {integer(node, "id"), integer(node, "pid"),  text(node, "name"),
            text(node, "app_id"), text(x, "instance"), text(x, "class")};
}

// Follows the focused node down; sway marks exactly one node focused.
std::optional<ViewInfo> focusedView(const QJsonObject& node, int depth) {
    if (depth > 64) return std::nullopt;
    const bool view = node.contains(QLatin1String("pid")) || node.contains(QLatin1String("app_id")) ||
                      node.contains(QLatin1String("window_properties"));
    if (flag(node, "focused")) return view ? std::optional(viewOf(node)) : std::nullopt;
    for (const char* children : {"nodes", "floating_nodes"})
        for (const QJsonValue& child : node.value(QLatin1String(children)).toArray())
            if (child.isObject())
                if (auto found = focusedView(child.toObject(), depth + 1)) return found;
    return std::nullopt;
}

} // namespace

std::optional<QList<OutputInfo>> parseOutputs(const QByteArray& json, QString* error) {
    const auto list = array(json, "outputs", error);
    if (!list) return std::nullopt;
    QList<OutputInfo> outputs;
    for (const QJsonValue& value : *list) {
        const QJsonObject o = value.toObject();
        if (!flag(o, "active") || text(o, "name").isEmpty()) continue;
        outputs.append({text(o, "name"), text(o, "make"), text(o, "model"), text(o, "serial"),
                        rectOf(o.value(QLatin1String("rect"))), o.value(QLatin1String("scale")).toDouble(1.0),
                        text(o, "transform")});
    }
    return outputs;
}

std::optional<QList<WorkspaceInfo>> parseWorkspaces(const QByteArray& json, QString* error) {
    const auto list = array(json, "workspaces", error);
    if (!list) return std::nullopt;
    QList<WorkspaceInfo> workspaces;
    for (const QJsonValue& value : *list) {
        const QJsonObject o = value.toObject();
        if (text(o, "name").isEmpty()) continue;
        workspaces.append(
            {integer(o, "id"), text(o, "name"), text(o, "output"), flag(o, "visible"), flag(o, "focused")});
    }
    return workspaces;
}

std::optional<QList<WindowInfo>> parseWindows(const QByteArray& json, qint64 pid, QString* error,
                                              QHash<qint64, int>* viewsOn) {
    const auto doc = document(json, error);
    if (!doc) return std::nullopt;
    if (!doc->isObject()) {
        if (error) *error = QStringLiteral("tree: expected an object");
        return std::nullopt;
    }
    QList<WindowInfo> windows;
    if (viewsOn) viewsOn->clear();
    collectWindows(doc->object(), pid, 0, {}, 0, &windows, viewsOn);
    return windows;
}

std::optional<EventInfo> parseEvent(const QByteArray& json, QString* error) {
    const auto doc = document(json, error);
    if (!doc) return std::nullopt;
    if (!doc->isObject()) {
        if (error) *error = QStringLiteral("event: expected an object");
        return std::nullopt;
    }
    const QJsonObject o = doc->object();
    const QJsonObject subject = (o.contains(QLatin1String("container")) ? o.value(QLatin1String("container"))
                                                                        : o.value(QLatin1String("current")))
                                    .toObject();
    return EventInfo{text(o, "change"), integer(subject, "id"), integer(subject, "pid"),
                     text(subject, "name")};
}

std::optional<ViewInfo> parseFocusedView(const QByteArray& tree, QString* error) {
    const auto doc = document(tree, error);
    if (!doc) return std::nullopt;
    return focusedView(doc->object(), 0);
}

std::optional<ViewInfo> parseWindowEvent(const QByteArray& json, QString* change, QString* error) {
    const auto doc = document(json, error);
    if (!doc) return std::nullopt;
    const QJsonObject container = doc->object().value(QLatin1String("container")).toObject();
    if (container.isEmpty()) {
        if (error) *error = QStringLiteral("window event: no container");
        return std::nullopt;
    }
    if (change) *change = text(doc->object(), "change");
    return viewOf(container);
}

QString commandFailure(const QByteArray& json) {
    QString error;
    const auto list = array(json, "command reply", &error);
    if (!list) return error;
    for (const QJsonValue& value : *list) {
        const QJsonObject o = value.toObject();
        if (!flag(o, "success")) {
            const QString why = text(o, "error");
            return why.isEmpty() ? QStringLiteral("failed") : why;
        }
    }
    return {};
}

QString screenKey(const OutputInfo& output, const QList<OutputInfo>& attached) {
    static const QRegularExpression zeros(QStringLiteral("^(0x)?0*$"),
                                          QRegularExpression::CaseInsensitiveOption);
    bool ambiguous = output.serial.isEmpty() ||
                     output.serial.compare(QLatin1String("Unknown"), Qt::CaseInsensitive) == 0 ||
                     zeros.match(output.serial).hasMatch();
    for (const auto& other : attached)
        ambiguous = ambiguous || (other.name != output.name && other.make == output.make &&
                                  other.model == output.model && other.serial == output.serial);
    const QString key =
        QStringLiteral("edid:") + QStringList{output.make, output.model, output.serial}.join(u'|');
    return ambiguous ? key + QLatin1Char('|') + output.name : key;
}

// sway strips the outer quotes and keeps every other character as it is, backslashes too; a quote or
// a trailing backslash inside would end the argument, so such a name goes in the other kind of quotes.
QString quoted(const QString& text) {
    const bool needsSingle = text.contains(u'"') || text.endsWith(u'\\');
    const QChar quote = needsSingle && !text.contains(u'\'') ? u'\'' : u'"';
    return quote + text + quote;
}

} // namespace sm::sway
